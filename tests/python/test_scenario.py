"""Scenarios as values: built from a dict, a file or another scenario;
every with_* gives a changed copy and leaves the original as it was."""

from __future__ import annotations

import json
from pathlib import Path

import pytest

from conftest import EXAMPLES
from gridmoor import Scenario
from gridmoor.runner import _folder_names

SEPARATOR = EXAMPLES / "separator" / "scenario.json"
GASLIFT = EXAMPLES / "gaslift" / "scenario.json"


def test_every_file_key_is_made_absolute_from_the_scenarios_folder(tmp_path: Path) -> None:
    s = Scenario.from_file(SEPARATOR)
    assert (s.name, s.folder) == ("scenario", SEPARATOR.parent)
    written = json.loads(s.write(tmp_path / "x.json").read_text())
    assert written["workbook"] == str(EXAMPLES / "separator" / "separator.fods")
    # What is not a file name is written as it was.
    assert written["case"] == json.loads(SEPARATOR.read_text())["case"]
    files = {"caseArchive": "c.gmc", "modelDataFile": "m.gmd", "inputs": "in.csv"}
    data = Scenario.from_dict({**files, "workbook": "/srv/a.fods"}, folder=tmp_path).resolved()
    assert all(data[key] == str(tmp_path / name) for key, name in files.items()), data
    assert data["workbook"] == "/srv/a.fods"  # absolute names stay


def test_a_key_given_twice_is_refused(tmp_path: Path) -> None:
    file = tmp_path / "twice.json"
    file.write_text('{"run": {"timesteps": 1, "timesteps": 2}}')
    with pytest.raises(ValueError, match="'timesteps' is given twice"):
        Scenario.from_file(file)


def test_with_copies_leave_the_original_alone() -> None:
    base = Scenario.from_file(SEPARATOR)
    before = base.to_dict()
    changes = [
        base.with_run(timesteps=1, step_days=7),
        base.with_inputs({"In-1": {"oilRate": 1}}),
        base.with_value("case.outputStreams[1].sheetName", "X"),
        base.with_optimisation(enabled=False),
        base.with_workbook("/tmp/other.fods"),
        Scenario(base),
    ]
    assert base.to_dict() == before
    assert changes[-1] == base and changes[-1] is not base
    assert [c == base for c in changes[:-1]] == [False] * 5
    # with_run changes only what is given.
    assert changes[0]["run"] == {"start": "2024-01-01", "timesteps": 1, "stepDays": 7}
    # A value taken out is a copy too.
    entries = base.get("inputs.In-1")
    entries[0]["oilRate"] = -1
    assert base.to_dict() == before


def test_with_inputs_merges_streams_and_replaces_a_csv() -> None:
    base = Scenario.from_dict({"inputs": {"In-1": [{"oilRate": 1}], "In-2": [{"oilRate": 2}]}})
    s = base.with_inputs({"In-1": {"pressure": 250}}, In_3=[{"gasRate": 3}, {"gasRate": 4}])
    assert s["inputs"] == {
        "In-1": [{"pressure": 250}],
        "In-2": [{"oilRate": 2}],
        "In-3": [{"gasRate": 3}, {"gasRate": 4}],
    }
    on_file = Scenario.from_file(GASLIFT)
    assert on_file.with_inputs({"In-1": {"pressure": 1}})["inputs"] == {"In-1": [{"pressure": 1}]}
    replaced = base.with_inputs("/srv/inputs.csv")
    assert replaced["inputs"] == "/srv/inputs.csv"
    with pytest.raises(ValueError):
        base.with_inputs("/srv/inputs.csv", In_1={})


@pytest.mark.parametrize(
    "path, value",
    [("new.deeper.key", "x"), ("case.controls[2].upperBound", 2.0)],
)
def test_with_value_sets_a_key_path(path: str, value: object) -> None:
    assert Scenario.from_file(GASLIFT).with_value(path, value)[path] == value


@pytest.mark.parametrize(
    "path",
    ["case.constraints[1].limit", "case.nothing[0]", "run.start.day", "case..x", "", "a[x]"],
)
def test_with_value_refuses_what_is_not_there(path: str) -> None:
    s = Scenario.from_file(GASLIFT)
    with pytest.raises((KeyError, ValueError)):
        s.with_value(path, 1)
    with pytest.raises((KeyError, ValueError)):
        s[path]


def test_folder_names_are_unique_and_safe() -> None:
    names = [Scenario({}, name=n) for n in ("a", "a", "a-2", "x y/z", "..", "a")]
    assert _folder_names(names) == ["a", "a-2", "a-2-2", "x_y_z", "scenario", "a-3"]


def _no_constant(name: str) -> None:
    raise AssertionError(f"{name} is no JSON")


def test_nan_and_infinity_are_the_cases_spelling_there_and_refused_elsewhere(
    tmp_path: Path,
) -> None:
    base = Scenario(
        {
            "case": {"constraints": [{"limit": float("inf")}], "scale": float("-inf")},
            "inputs": {"In-1": [{"oilRate": 5.0, "gor": float("nan")}]},
        }
    )
    with pytest.raises(ValueError, match=r"^inputs\.In-1\[0\]\.gor is nan: .* must be finite"):
        base.write(tmp_path / "refused.json")
    assert not (tmp_path / "refused.json").exists()
    fine = base.with_value("inputs.In-1[0].gor", 120.0).with_value("case.note", float("nan"))
    text = fine.write(tmp_path / "s.json").read_text(encoding="utf-8")
    data = json.loads(text, parse_constant=_no_constant)
    spelt = {"constraints": [{"limit": "Infinity"}], "scale": "-Infinity", "note": "NaN"}
    assert data["case"] == spelt
