"""Whole runs of the examples through the host and a real office."""

from __future__ import annotations

import json
import os
import signal
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor
from datetime import date
from pathlib import Path
from typing import Any

import pytest

from conftest import EXAMPLES, ROOT, assert_table_is_csv, wait_until
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
    assert result.summary["scenario"] == f"scenario 'scenario' (from {SEPARATOR})"


def test_a_refused_scenario_is_named_as_given(host: Path) -> None:
    bad = gridmoor.Scenario.from_file(SEPARATOR, name="north").with_value("run.timesteps", "many")
    with pytest.raises(gridmoor.RunError) as raised:
        gridmoor.run(bad)
    said = str(raised.value)
    assert said.startswith(f"scenario 'north' (from {SEPARATOR}): 'run.timesteps' must be"), said
    assert "gridmoor-run-" not in said and "gridmoor-run-" not in raised.value.result.stderr


def test_a_sweep_of_four_through_run_many(tmp_path: Path, host: Path) -> None:
    base = gridmoor.Scenario.from_file(SEPARATOR).with_run(timesteps=1)
    entry = base["inputs.In-1"][0]
    oil = [3000.0, 4000.0, 5000.0, 6000.0]
    sweep = [base.with_inputs({"In-1": {**entry, "oilRate": q}}, name=f"oil-{int(q)}") for q in oil]
    # One of them fails; the others run to the end.
    sweep[2] = sweep[2].with_value("case.macros.PreSolve.macro", "Events.Broken")
    seen: list[tuple[int, int, str]] = []

    def progress(event: gridmoor.ProgressEvent) -> None:
        if event.result is not None and event.done is not None and event.total is not None:
            seen.append((event.done, event.total, event.result.name))

    results = gridmoor.run_many(sweep, jobs=2, out=tmp_path / "many", progress=progress)
    # Once per scenario, as each finishes (in any order), counting up.
    assert sorted(n for _, _, n in seen) == [s.name for s in sweep]
    assert [(d, t) for d, t, _ in seen] == [(1, 4), (2, 4), (3, 4), (4, 4)]
    assert [r.name for r in results] == ["oil-3000", "oil-4000", "oil-5000", "oil-6000"]
    assert [r.ok for r in results] == [True, True, False, True]
    failed = results[2].error
    assert failed is not None and "Events.Broken" in failed.message
    assert (failed.command, failed.command_code, failed.timestep) == ("PreSolve", 100, 0)
    assert results.summary["scenario"].tolist() == [r.name for r in results]
    assert results.summary["ok"].tolist() == [True, True, False, True]
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


GASLIFT = EXAMPLES / "gaslift" / "scenario.json"


def _host_child(parent: int) -> int:
    """The gridmoor-host process `parent` started."""
    for stat in Path("/proc").glob("[0-9]*/stat"):
        try:
            fields = stat.read_text().rsplit(")", 1)[1].split()
            command = (stat.parent / "cmdline").read_bytes()
        except OSError:
            continue
        if int(fields[1]) == parent and b"gridmoor-host" in command:
            return int(stat.parent.name)
    raise AssertionError(f"process {parent} runs no gridmoor-host")


def test_events_of_a_run_in_a_thread_pool_and_of_one_stopped(host: Path) -> None:
    seen: list[gridmoor.ProgressEvent] = []
    with ThreadPoolExecutor(2) as pool:
        once = gridmoor.Scenario.from_file(GASLIFT).with_run(timesteps=1)
        result = pool.submit(gridmoor.run, once, progress=seen.append).result()
    kinds = [e.kind for e in seen]
    trials = kinds.count("trial")
    assert kinds == ["started", "office-started", *["trial"] * trials, "timestep", "finished"]
    assert [e.count for e in seen if e.kind == "trial"] == list(range(1, trials + 1))
    step = seen[-2]
    assert (step.timestep, step.date, step.objective) == (0, date(2024, 1, 1), result.objective)
    assert seen[-1].status == "ok" and result.final["trial"].tolist() == [trials + 1]

    def stop_at_first_timestep(event: gridmoor.ProgressEvent) -> None:
        seen.append(event)
        if event.kind == "timestep" and event.timestep == 0:
            os.kill(_host_child(os.getpid()), signal.SIGTERM)

    seen.clear()
    with pytest.raises(gridmoor.RunError) as stopped:
        gridmoor.run(SEPARATOR, progress=stop_at_first_timestep)
    assert [e.kind for e in seen][-2:] == ["interrupted", "finished"]
    assert (seen[-2].fields["signal"], seen[-1].status) == ("SIGTERM", "interrupted")
    assert stopped.value.result is not None and stopped.value.result.status == "interrupted"


def test_run_many_reports_the_scenarios_a_signal_kept_from_running(
    tmp_path: Path, host: Path
) -> None:
    base = gridmoor.Scenario.from_file(SEPARATOR).with_run(timesteps=1)
    seen: list[gridmoor.ProgressEvent] = []

    def stop_after_the_first(event: gridmoor.ProgressEvent) -> None:
        seen.append(event)
        if event.kind == "scenario-finished" and event.done == 1:
            os.kill(_host_child(os.getpid()), signal.SIGTERM)

    runs = gridmoor.run_many(
        [base.renamed(n) for n in "abc"], jobs=1, out=tmp_path, progress=stop_after_the_first
    )
    finished = {e.scenario: e.status for e in seen if e.kind == "scenario-finished"}
    assert finished["a"] == "ok" and finished["c"] == "not run" and len(finished) == 3
    assert [e.kind for e in seen][0] == "started" and seen[-1].status == "interrupted"
    assert "interrupted" in [e.kind for e in seen]
    assert [r.ok for r in runs] == [True, False, False] and runs.summary["ok"].tolist()[0]


def test_the_host_ends_with_a_killed_parent_whose_thread_started_it(
    tmp_path: Path, host: Path
) -> None:
    script = tmp_path / "parent.py"
    script.write_text(
        "import sys\n"
        f"sys.path.insert(0, {str(ROOT / 'python')!r})\n"
        "from concurrent.futures import ThreadPoolExecutor\n"
        "import gridmoor\n"
        "def said(event):\n"
        "    print(event.kind, flush=True)\n"
        f"long = gridmoor.Scenario.from_file({str(SEPARATOR)!r}).with_run(timesteps=500)\n"
        "with ThreadPoolExecutor(1) as pool:\n"
        f"    pool.submit(gridmoor.run, long, out={str(tmp_path / 'out')!r}, progress=said)\n"
    )
    parent = subprocess.Popen([sys.executable, str(script)], stdout=subprocess.PIPE, text=True)
    assert parent.stdout is not None
    while parent.stdout.readline().strip() != "timestep":
        pass
    child = _host_child(parent.pid)
    parent.kill()
    parent.wait()
    wait_until(lambda: not Path(f"/proc/{child}").exists(), 60, "the host outlived its parent")
    summary = json.loads((tmp_path / "out" / "summary.json").read_text())
    assert summary["status"] == "interrupted"
