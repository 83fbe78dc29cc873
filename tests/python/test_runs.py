"""Whole runs of the examples through the host and a real office."""

from __future__ import annotations

import json
import os
import signal
import subprocess
import sys
import textwrap
import uuid
from pathlib import Path
from subprocess import PIPE
from typing import Any

import pytest

from conftest import EXAMPLES, ROOT, assert_table_is_csv, office_processes, wait_until
import gridmoor
from gridmoor import tables

pytestmark = pytest.mark.integration

SEPARATOR = EXAMPLES / "separator" / "scenario.json"
GASLIFT = EXAMPLES / "gaslift" / "scenario.json"
FILES = ("streams", "compositions", "published", "optimisation")


def _row(table: Any, **match: Any) -> dict[str, Any]:
    found = [r for r in tables.rows_of(table) if all(r[k] == v for k, v in match.items())]
    assert len(found) == 1, match
    return found[0]


NO_PANDAS = textwrap.dedent(
    """\
    import sys
    sys.modules["pandas"] = None  # import pandas now raises ImportError
    sys.path[:0] = [{tests!r}, {package!r}]
    from pathlib import Path
    import gridmoor
    from conftest import assert_table_is_csv
    assert not gridmoor.tables.HAVE_PANDAS
    result = gridmoor.load_result({out!r})
    for name in ("streams", "compositions", "published", "optimisation"):
        table = getattr(result, name)
        assert isinstance(table, list) and all(isinstance(r, dict) for r in table), name
        assert_table_is_csv(table, Path({out!r}) / (name + ".csv"))
    print(len(result.streams), result.streams[1]["oilRate"])
    """
)


def test_the_separators_tables_are_its_csv_files(tmp_path: Path, host: Path) -> None:
    result = gridmoor.run(gridmoor.Scenario.from_file(SEPARATOR), out=tmp_path / "out", report=True)
    assert result.ok and result.error is None and result.exit_status == 0
    assert result.folder == tmp_path / "out"
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
    # The example's expected values.
    out1 = _row(result.streams, timestep=0, stream="Out-1")["oilRate"]
    assert out1 == pytest.approx(5479.399, abs=1e-3)
    out2 = _row(result.streams, timestep=0, stream="Out-2")["gasRate"]
    assert out2 == pytest.approx(4.968323, abs=1e-6)
    # Without pandas the same files are lists of dicts.
    script = tmp_path / "plain.py"
    tests, package = str(Path(__file__).parent), str(ROOT / "python")
    script.write_text(NO_PANDAS.format(tests=tests, package=package, out=str(tmp_path / "out")))
    done = subprocess.run([sys.executable, str(script)], capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    rows, oil = done.stdout.split()
    assert rows == "9" and float(oil) == pytest.approx(5479.399, abs=1e-3)


def test_a_failing_run_raises_with_its_fields_and_the_partial_results(host: Path) -> None:
    base = gridmoor.Scenario.from_file(SEPARATOR)
    entries = base["inputs.In-1"]
    entries[1]["moleFractions"] = [0.0] * 10  # divides by zero in the flash at timestep 1
    with pytest.raises(gridmoor.RunError) as raised:
        gridmoor.run(base.with_inputs({"In-1": entries}))
    error = raised.value
    assert (error.command, error.code, error.timestep, error.exit_status) == ("GetIPR", 50, 1, 1)
    assert "Outputs!B4 holds the error value #DIV/0!, not a number" in error.message
    assert error.result is not None and error.result.status == "failed" and not error.result.ok
    # Timestep 0 was done and is kept.
    assert {r["timestep"] for r in tables.rows_of(error.result.streams)} == {0}
    oil = _row(error.result.streams, timestep=0, stream="Out-1")["oilRate"]
    assert oil == pytest.approx(5479.399, abs=1e-3)


def test_a_refused_scenario_is_named_and_a_usage_error_keeps_its_reason(host: Path) -> None:
    bad = gridmoor.Scenario.from_file(SEPARATOR, name="north").with_value("run.timesteps", "many")
    with pytest.raises(gridmoor.RunError) as raised:
        gridmoor.run(bad)
    said = str(raised.value)
    assert said.startswith("scenario 'north' (given from Python): 'run.timesteps' must be"), said
    assert "gridmoor-run-" not in said and "gridmoor-run-" not in raised.value.result.stderr
    # A usage error of run-many keeps its reason.
    with pytest.raises(gridmoor.GridmoorError) as usage:
        gridmoor.run_many([gridmoor.Scenario.from_file(SEPARATOR)], jobs=0)
    assert usage.value.exit_status == 2
    assert usage.value.message.startswith("--jobs: Value 0 not in range"), usage.value.message


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


DRIVER = textwrap.dedent(
    """\
    import sys
    sys.path.insert(0, {package!r})
    import gridmoor
    base = gridmoor.Scenario.from_file({scenario!r})
    sweep = [base.with_value("case.constraints[0].limit", g, name="gas-%d" % i)
             for i, g in enumerate([4.0, 5.0, 6.0, 7.0])]
    try:
        gridmoor.run_many(sweep, jobs=2, out={out!r})
    except KeyboardInterrupt:
        print("KeyboardInterrupt", flush=True)
        sys.exit(130)
    print("ended without an interrupt", flush=True)
    """
)


def test_ctrl_c_during_run_many_leaves_no_process(tmp_path: Path, host: Path) -> None:
    mark = str(uuid.uuid4())
    marker = f"GRIDMOOR_PYTEST_MARK={mark}"
    script = tmp_path / "sweep.py"
    package, many = str(ROOT / "python"), str(tmp_path / "many")
    script.write_text(DRIVER.format(package=package, scenario=str(GASLIFT), out=many))
    env = dict(os.environ, GRIDMOOR_PYTEST_MARK=mark)
    command = [sys.executable, str(script)]
    driver = subprocess.Popen(command, stdout=PIPE, stderr=PIPE, text=True, env=env)
    try:
        # Interrupted once two runs are under way: their offices hold their
        # workbooks open (the lock files are there).
        wait_until(
            lambda: len({lock.parent for lock in (tmp_path / "many").glob("*/.~lock.*")}) >= 2,
            120,
            lambda: f"no two runs opened their workbooks: {office_processes(marker)}",
        )
        driver.send_signal(signal.SIGINT)
        out, err = driver.communicate(timeout=200)
    finally:
        if driver.poll() is None:
            driver.kill()
    assert driver.returncode == 130, err
    assert out.strip() == "KeyboardInterrupt"
    wait_until(lambda: not office_processes(marker), 2, lambda: f"left: {office_processes(marker)}")
    # The runs wound down as an interrupted run-many does.
    summary = json.loads((tmp_path / "many" / "summary.json").read_text())
    assert summary["passed"] < 4
    # Runs still waiting say they were not started; runs under way, that they were interrupted.
    assert any("interrupted by SIGINT" in s["message"] for s in summary["scenarios"])


def test_workbook_check_of_a_scenario(host: Path) -> None:
    scenario = gridmoor.Scenario.from_file(SEPARATOR).with_value(
        "case.macros.PreSolve.macro", "Events.NoSuchMacro"
    )
    found = gridmoor.workbook.check(scenario=scenario)
    assert not found.ok
    assert found.findings["notCompared"] > 0 and found.differ == []
    assert "Events.NoSuchMacro" in json.dumps(found.findings)
    assert "separator.fods" in found.text
