"""Runs through gridmoor-host: one scenario (`run`) or many in parallel
(`run_many`), with their results read back as frames and their progress
passed on as events."""

from __future__ import annotations

import dataclasses
import re
import shutil
import tempfile
from pathlib import Path
from typing import Any, Mapping, Optional, Sequence, Union

from . import tables
from ._process import GridmoorError, HostProcess, StrPath, find_host, last_words
from .frames import Frame
from .progress import Progress, ProgressEvent, parse_event
from .result import Result, RunError, RunTimeout, load_result, read_text
from .scenario import Scenario, as_scenario

ScenarioLike = Union[Scenario, Mapping[str, Any], StrPath]

# gridmoor-host's exit status for a usage error.
_USAGE = 2


def _host_options(host: Optional[StrPath], direct: bool) -> list[str]:
    command = [str(find_host(host))]
    if direct:
        command.append("--direct")
    return command


def _events(progress: Optional[Progress], scenario: Optional[str]) -> Any:
    """The host's stdout lines as events for `progress`."""

    def passed_on(line: str) -> None:
        event = parse_event(line, scenario)
        if event is not None and progress is not None:
            progress(event)

    return passed_on


def _kept_folder(out: Optional[StrPath], report: bool, private: Path) -> tuple[Path, bool]:
    """Where a run writes and whether the folder stays: `out`; else, for a
    report, a folder of its own that the result names; else a private one."""
    if out is not None:
        return Path(out).absolute(), True
    if report:
        return Path(tempfile.mkdtemp(prefix="gridmoor-report-")), True
    return private / "out", False


def run(
    scenario: ScenarioLike,
    out: Optional[StrPath] = None,
    report: bool = False,
    *,
    progress: Optional[Progress] = None,
    timeout: Optional[float] = None,
    save: bool = False,
    work_on_copies: bool = False,
    direct: bool = False,
    host: Optional[StrPath] = None,
) -> Result:
    """Runs one scenario; its Result, or RunError when the run failed.

    The run's files go to `out` (made when missing), else to a temporary
    folder that is removed once they are read; with `report` (report.html,
    the page of the run) and no `out`, to a new folder that stays and that
    `result.folder` names. `progress(event)` is called with each
    ProgressEvent as it happens. After `timeout` seconds the run is stopped
    as on SIGTERM (its files so far written) and RunTimeout raised. `save`
    saves the workbook at the end; `work_on_copies` runs on copies of the
    workbook and model data file in `out`. A Ctrl-C stops the run as
    gridmoor-host does and is raised again once the host has ended.
    """
    chosen = as_scenario(scenario)
    command = _host_options(host, direct)
    private = Path(tempfile.mkdtemp(prefix="gridmoor-run-"))
    try:
        folder, kept = _kept_folder(out, report, private)
        file = chosen.write(private / "scenario.json")
        command += ["run", str(file), "--out", str(folder), "--quiet", "--progress", "json"]
        command += ["--exit-with-parent", "--scenario-name", chosen.label()]
        if report:
            command.append("--report")
        if save:
            command.append("--save")
        if work_on_copies:
            command.append("--work-on-copies")
        process = HostProcess(command, private / "stderr.txt", timeout=timeout)
        status = process.wait(_events(progress, chosen.name))
        result = Result(folder, chosen, chosen.name)
        result._settle(status, read_text(private / "stderr.txt"), command)
        _name_scenario(result, file)
        if not kept:
            result.folder = None
    finally:
        shutil.rmtree(private, ignore_errors=True)
    error = result.error
    if error is None:
        return result
    if process.timed_out:
        raise RunTimeout(
            f"{chosen.label()} took longer than {timeout:g} s and was stopped",
            command,
            status,
            result=result,
        )
    if status == _USAGE:
        raise GridmoorError(f"gridmoor-host refused the command: {error.message}", command, status)
    raise error


def _name_scenario(result: Result, file: Path) -> None:
    """The package's own copy of the scenario is gone once the run ends:
    what the host said names the user's scenario instead."""
    label = result.scenario.label() if result.scenario is not None else result.name
    result.stderr = result.stderr.replace(str(file), label)
    if result.error is not None:
        result.error._rename(str(file), label)


_UNSAFE = re.compile(r"[^A-Za-z0-9_.+-]")


def _folder_names(scenarios: Sequence[Scenario]) -> list[str]:
    """One folder name per scenario, unique, from its name."""
    names: list[str] = []
    taken: set[str] = set()
    for scenario in scenarios:
        base = _UNSAFE.sub("_", scenario.name).strip(".") or "scenario"
        name, n = base, 2
        while name in taken:
            name, n = f"{base}-{n}", n + 1
        taken.add(name)
        names.append(name)
    return names


class Runs(list[Result]):
    """run_many's answer: a Result per scenario, in their order, and
    `summary`, a frame of one row per scenario (summary.csv: scenario,
    exitStatus, message, wallSeconds, timesteps, objective, then a column
    per scenario value that varied, headed by its key path), with `ok`.
    `folder` holds the runs (None once a temporary one is gone); `report`
    is its report.html, when written."""

    def __init__(self, results: list[Result], summary: Frame, folder: Optional[Path]):
        super().__init__(results)
        self.summary = summary
        self.folder = folder

    @property
    def report(self) -> Optional[Path]:
        page = self.folder / "report.html" if self.folder is not None else None
        return page if page is not None and page.is_file() else None


def _summary(folder: Path, results: list[Result]) -> Frame:
    frame: Any = tables.read_table(folder / "summary.csv")
    if len(frame) == len(results):
        frame["ok"] = [r.ok for r in results]
    units = [(r.summary.get("optimisation") or {}).get("unit") for r in results]
    unit = next((u for u in units if u), "")
    frame.attrs["units"] = {"wallSeconds": "s", "objective": str(unit or "")}
    summary: Frame = frame
    return summary


def run_many(
    scenarios: Sequence[ScenarioLike],
    jobs: Optional[int] = None,
    out: Optional[StrPath] = None,
    progress: Optional[Progress] = None,
    *,
    report: bool = False,
    timeout: Optional[float] = None,
    save: bool = False,
    direct: bool = False,
    fresh_offices: bool = False,
    host: Optional[StrPath] = None,
) -> Runs:
    """Runs scenarios in parallel, each in its own process, on copies of
    its workbook (`gridmoor-host run-many`); Runs, a Result per scenario in
    their order and the summary frame. A failed scenario does not raise:
    its Result has `ok` False and `error` set.

    Each scenario's files go to `out/<name>/` (names made unique), and
    `out/summary.csv` and `out/summary.json` list them all; without `out` a
    temporary folder is used and removed, unless `report` (report.html over
    all runs, and each run's page) keeps it: `Runs.folder` names it. `jobs`
    runs at once (default: the host's choice from cores and memory). Each
    job keeps its office warm for the scenarios it runs in turn;
    `fresh_offices` starts a new office for every scenario instead.
    `progress(event)` gets "started", then per scenario (`event.scenario`)
    "scenario-started", its run's own events ("office-started", "trial",
    "timestep", ...) and "scenario-finished" (with its Result), then
    "finished".
    After `timeout` seconds, or on Ctrl-C, every run winds down, the
    scenarios not started are not run (reported "not run"); then RunTimeout
    or KeyboardInterrupt is raised once every process has ended.
    """
    chosen = [as_scenario(s) for s in scenarios]
    if not chosen:
        return Runs([], tables.to_table([], [], "summary.csv"), None)
    names = _folder_names(chosen)
    command = _host_options(host, direct)
    private = Path(tempfile.mkdtemp(prefix="gridmoor-many-"))
    try:
        folder, kept = _kept_folder(out, report, private)
        inputs = folder / ".scenarios"
        inputs.mkdir(parents=True, exist_ok=True)
        files = [str(s.write(inputs / f"{n}.json")) for s, n in zip(chosen, names)]
        command += ["run-many", *files, "--out", str(folder), "--progress", "json"]
        command.append("--exit-with-parent")
        if jobs is not None:
            command += ["--jobs", str(jobs)]
        if save:
            command.append("--save")
        if report:
            command.append("--report")
        if fresh_offices:
            command.append("--fresh-offices")
        index = {name: i for i, name in enumerate(names)}
        results: list[Optional[Result]] = [None] * len(chosen)

        def passed_on(event: ProgressEvent) -> None:
            i = index.get(event.scenario or "")
            if event.kind == "scenario-finished" and i is not None:
                results[i] = _loaded(folder / names[i], chosen[i], Path(files[i]), command)
                event = dataclasses.replace(event, result=results[i])
            if progress is not None:
                progress(event)

        process = HostProcess(command, private / "stderr.txt", timeout=timeout)
        status = process.wait(_events(passed_on, None))
        # Interrupted (by a signal, or the timeout) it still ends with a summary.
        if status not in (0, 1, 130, 143) or not (folder / "summary.json").is_file():
            stderr = read_text(private / "stderr.txt")
            raise GridmoorError(
                last_words(stderr) or f"gridmoor-host run-many exited with status {status}",
                command,
                status,
            )
        done = [
            r if r is not None else _loaded(folder / n, s, Path(f), command)
            for r, n, s, f in zip(results, names, chosen, files)
        ]
        runs = Runs(done, _summary(folder, done), folder if kept else None)
        if not kept:
            for result in done:
                result.folder = None
    finally:
        shutil.rmtree(private, ignore_errors=True)
    if process.timed_out:
        message = f"the runs took longer than {timeout:g} s and were stopped"
        raise RunTimeout(message, command, status)
    return runs


def _loaded(folder: Path, scenario: Scenario, file: Path, argv: list[str]) -> Result:
    result = load_result(folder, scenario)
    if result.error is not None:
        result.error.argv = list(argv)
    _name_scenario(result, file)
    return result
