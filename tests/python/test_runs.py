"""Whole runs of the examples through the host and a real office."""

from __future__ import annotations

import json
from pathlib import Path
from typing import Any

import pytest

from conftest import EXAMPLES, assert_table_is_csv
import gridmoor
from gridmoor import tables

pytestmark = pytest.mark.integration

SEPARATOR = EXAMPLES / "separator" / "scenario.json"
FILES = ("streams", "compositions", "published", "optimisation")


def _row(table: Any, **match: Any) -> dict[str, Any]:
    found = [r for r in tables.rows_of(table) if all(r[k] == v for k, v in match.items())]
    assert len(found) == 1, match
    return found[0]


def test_the_separators_tables_are_its_csv_files(tmp_path: Path, host: Path) -> None:
    result = gridmoor.run(gridmoor.Scenario.from_file(SEPARATOR), out=tmp_path / "out", report=True)
    assert result.ok and result.error is None and result.exit_status == 0
    # The host's page of the run, beside its files.
    page = (tmp_path / "out" / "report.html").read_text(encoding="utf-8")
    assert page.lstrip().lower().startswith("<!doctype html") and "Out-2" in page
    counts = {
        name: assert_table_is_csv(getattr(result, name), tmp_path / "out" / f"{name}.csv")
        for name in FILES
    }
    # Three timesteps of one input and two output streams, ten components.
    assert counts == {"streams": 9, "compositions": 90, "published": 6, "optimisation": 0}
    assert result.summary == json.loads((tmp_path / "out" / "summary.json").read_text())
    # Named as given, not by the package's own copy, which is gone.
    assert result.summary["scenario"] == "scenario 'scenario' (given from Python)"


def test_a_refused_scenario_is_named_as_given(host: Path) -> None:
    bad = gridmoor.Scenario.from_file(SEPARATOR, name="north").with_value("run.timesteps", "many")
    with pytest.raises(gridmoor.RunError) as raised:
        gridmoor.run(bad)
    said = str(raised.value)
    assert said.startswith("scenario 'north' (given from Python): 'run.timesteps' must be"), said
    assert "gridmoor-run-" not in said and "gridmoor-run-" not in raised.value.result.stderr


def test_a_sweep_of_four_through_run_many(tmp_path: Path, host: Path) -> None:
    base = gridmoor.Scenario.from_file(SEPARATOR).with_run(timesteps=1)
    entry = base["inputs.In-1"][0]
    oil = [3000.0, 4000.0, 5000.0, 6000.0]
    sweep = [base.with_inputs({"In-1": {**entry, "oilRate": q}}, name=f"oil-{int(q)}") for q in oil]
    # One of them fails; the others run to the end.
    sweep[2] = sweep[2].with_value("case.macros.PreSolve.macro", "Events.Broken")
    seen: list[tuple[int, int, str]] = []
    results = gridmoor.run_many(
        sweep, jobs=2, out=tmp_path / "many", progress=lambda d, t, r: seen.append((d, t, r.name))
    )
    # Once per scenario, as each finishes (in any order), counting up.
    assert sorted(n for _, _, n in seen) == [s.name for s in sweep]
    assert [(d, t) for d, t, _ in seen] == [(1, 4), (2, 4), (3, 4), (4, 4)]
    assert [r.name for r in results] == ["oil-3000", "oil-4000", "oil-5000", "oil-6000"]
    assert [r.ok for r in results] == [True, True, False, True]
    failed = results[2].error
    assert failed is not None and "Events.Broken" in failed.message
    assert (failed.command, failed.code, failed.timestep) == ("PreSolve", 100, 0)
    good = [results[i] for i in (0, 1, 3)]
    assert [_row(r.streams, stream="In-1")["oilRate"] for r in good] == [3000.0, 4000.0, 6000.0]
    out = [_row(r.streams, stream="Out-1")["oilRate"] for r in good]
    assert out == sorted(out) and len(set(out)) == 3
    assert all(r.wall_seconds is not None and r.wall_seconds > 0 for r in results)
    summary = json.loads((tmp_path / "many" / "summary.json").read_text())
    assert (summary["total"], summary["passed"]) == (4, 3)
    # The results can be read again from the folders.
    again = gridmoor.load_result(tmp_path / "many" / "oil-6000")
    assert again.ok and assert_table_is_csv(again.streams, again.folder / "streams.csv") == 3


def test_workbook_check_of_a_scenario(host: Path) -> None:
    scenario = gridmoor.Scenario.from_file(SEPARATOR).with_value(
        "case.macros.PreSolve.macro", "Events.NoSuchMacro"
    )
    found = gridmoor.workbook.check(scenario=scenario)
    assert not found.ok
    assert found.findings["notCompared"] > 0 and found.differ == []
    assert "Events.NoSuchMacro" in json.dumps(found.findings)
    assert "separator.fods" in found.text
