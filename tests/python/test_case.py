"""Case archives through the host's case commands (no office needed)."""

from __future__ import annotations

import json
from pathlib import Path

import pytest

from conftest import EXAMPLES
import gridmoor
from gridmoor import case


@pytest.mark.parametrize("example", ["separator", "gaslift"])
def test_a_case_round_trips_through_an_archive(tmp_path: Path, host: Path, example: str) -> None:
    written = json.loads((EXAMPLES / example / "scenario.json").read_text())["case"]
    archive = case.dump(written, tmp_path / "a.gmc")
    loaded = case.load(archive)
    # A dump lists every key; what the example gave comes back as given.
    assert loaded["version"] == 40
    for key in ("inputCount", "outputCount", "compositions", "useCompositions", "constraints"):
        if key in written:
            assert loaded[key] == written[key], key
    if "objective" in written:
        assert loaded["objective"] == written["objective"]
    assert {event: m["macro"] for event, m in loaded["macros"].items()} == {
        event: m["macro"] for event, m in written["macros"].items()
    }
    # The full form builds the same bytes again.
    again = case.dump(loaded, tmp_path / "b.gmc")
    assert again.read_bytes() == archive.read_bytes()
    found = case.check(archive)
    assert found.ok and found.problems == []
    assert found.version == 40 and found.size == archive.stat().st_size
    assert found.counts["inputStreams"] == written["inputCount"]
    assert found.counts["controls"] == len(written.get("controls", []))


def test_a_refused_case_names_the_key_and_writes_nothing(tmp_path: Path, host: Path) -> None:
    target = tmp_path / "bad.gmc"
    bad = {"inputStreams": [{"solverCells": [{"cell": "A" * 16}]}]}
    with pytest.raises(gridmoor.GridmoorError, match=r"^inputStreams\[0\]\.solverCells\[0\]\.cell"):
        case.dump(bad, target)
    assert not target.exists()
    with pytest.raises(gridmoor.GridmoorError, match="lowerBound"):
        case.dump(
            {"controls": [{"worksheet": "S", "cell": "A1", "lowerBound": 2, "upperBound": 1}]},
            target,
        )


def test_a_damaged_archive_is_reported(tmp_path: Path, host: Path) -> None:
    good = case.dump({"inputCount": 2}, tmp_path / "good.gmc").read_bytes()
    damaged = tmp_path / "damaged.gmc"
    damaged.write_bytes(good[: len(good) // 2])
    found = case.check(damaged)
    assert not found.ok and found.problems and found.size == len(good) // 2
    with pytest.raises(gridmoor.GridmoorError, match="damaged.gmc"):
        case.load(damaged)
    with pytest.raises(gridmoor.GridmoorError):
        case.check(tmp_path / "missing.gmc")
