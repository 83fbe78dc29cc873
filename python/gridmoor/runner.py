"""Runs through gridmoor-host: one scenario (`run`) or many in parallel
(`run_many`), with their results read back as tables."""

from __future__ import annotations

import json
import re
import shutil
import tempfile
from pathlib import Path
from typing import Any, Callable, Mapping, Optional, Sequence, Union

from . import tables
from ._process import GridmoorError, HostProcess, StrPath, find_host, last_words
from .scenario import Scenario, as_scenario

ScenarioLike = Union[Scenario, Mapping[str, Any], StrPath]

# Exit statuses of gridmoor-host.
_INTERRUPTED = (130, 143)


class RunError(GridmoorError):
    """A run that failed.

    `message`, `command` (the host command that failed, as "PreSolve (code
    100)"; None when the run failed before the library got a command), `code`
    (its command code), `timestep` (None before the first timestep),
    `exit_status` of gridmoor-host and `result`, the partial results: the
    tables and summary as far as the run got.
    """

    def __init__(
        self,
        message: str,
        command: Optional[str] = None,
        code: Optional[int] = None,
        timestep: Optional[int] = None,
        exit_status: Optional[int] = None,
        result: Optional["Result"] = None,
    ):
        super().__init__(message, exit_status=exit_status)
        self.command = command
        self.code = code
        self.timestep = timestep
        self.result = result

    def __str__(self) -> str:
        where = []
        if self.command:
            where.append(self.command)
        if self.timestep is not None:
            where.append(f"timestep {self.timestep}")
        return self.message + (f" ({', '.join(where)})" if where else "")


class Result:
    """What one run gave: `streams`, `compositions`, `published` and
    `optimisation` as tables (data frames with pandas, else lists of dicts),
    `summary` (summary.json as a dict; empty when the run wrote none), `ok`,
    `error` (a RunError, or None), `exit_status`, `wall_seconds` (run_many),
    `notes`, the host's `stderr` text and the `folder` the files are in (None
    once a temporary folder is gone)."""

    def __init__(self, folder: Path, scenario: Optional[Scenario], name: str):
        self.folder: Optional[Path] = folder
        self.scenario = scenario
        self.name = name
        self.summary: dict[str, Any] = {}
        summary_file = folder / "summary.json"
        if summary_file.is_file():
            loaded = json.loads(summary_file.read_text(encoding="utf-8"))
            if isinstance(loaded, dict):
                self.summary = loaded
        self.streams: tables.Table = tables.read_table(folder / "streams.csv")
        self.compositions: tables.Table = tables.read_table(folder / "compositions.csv")
        self.published: tables.Table = tables.read_table(folder / "published.csv")
        labels = frozenset(
            c.get("name", "")
            for c in ((self.summary.get("optimisation") or {}).get("integerControls") or [])
        )
        self.optimisation: tables.Table = tables.read_table(folder / "optimisation.csv", labels)
        self.exit_status: Optional[int] = None
        self.wall_seconds: Optional[float] = None
        self.stderr = ""
        self.error: Optional[RunError] = None

    @property
    def ok(self) -> bool:
        """The run ended well: exit status 0 and summary status "ok"."""
        return self.error is None and self.exit_status == 0 and self.status == "ok"

    @property
    def status(self) -> str:
        """ "ok", "failed" or "interrupted" as the summary says; "failed" without one."""
        status = self.summary.get("status")
        return status if isinstance(status, str) else "failed"

    @property
    def notes(self) -> list[str]:
        notes = self.summary.get("notes")
        return [str(n) for n in notes] if isinstance(notes, list) else []

    def _settle(self, exit_status: Optional[int], stderr: str, message: str = "") -> None:
        """Sets the outcome; `message` is what run-many recorded, if anything."""
        self.exit_status = exit_status
        self.stderr = stderr
        if exit_status == 0 and self.status == "ok":
            return
        error = self.summary.get("error")
        if isinstance(error, dict) and error.get("message"):
            timestep = error.get("timestep")
            code = error.get("code")
            self.error = RunError(
                str(error["message"]),
                str(error.get("command") or "") or None,
                code if isinstance(code, int) else None,
                timestep if isinstance(timestep, int) else None,
                exit_status,
                self,
            )
            return
        why = message or last_words(stderr)
        if not why:
            why = (
                f"gridmoor-host exited with status {exit_status}"
                if exit_status is not None
                else "the run did not end"
            )
        self.error = RunError(why, None, None, None, exit_status, self)

    def raise_for_error(self) -> "Result":
        """Raises the run's RunError when it failed; the result otherwise."""
        if self.error is not None:
            raise self.error
        return self

    def __repr__(self) -> str:
        state = "ok" if self.ok else f"failed: {self.error}"
        return f"<Result {self.name}: {state}>"


def load_result(folder: StrPath, scenario: Optional[Scenario] = None) -> Result:
    """The result a run left in a folder (a `run --out` folder, or one
    scenario's folder of run-many or of a cluster run)."""
    where = Path(folder)
    result = Result(where, scenario, where.name)
    outcome = _read_outcome(where)
    stderr = _read_text(where / "stderr.txt")
    if outcome is not None:
        status = outcome.get("exitStatus")
        seconds = outcome.get("wallSeconds")
        result.wall_seconds = float(seconds) if isinstance(seconds, (int, float)) else None
        result._settle(
            status if isinstance(status, int) else None, stderr, str(outcome.get("message") or "")
        )
    else:
        result._settle(0 if result.status == "ok" else None, stderr)
    return result


def _read_text(file: Path) -> str:
    try:
        return file.read_text(encoding="utf-8", errors="replace")
    except FileNotFoundError:
        return ""


def _read_outcome(folder: Path) -> Optional[dict[str, Any]]:
    try:
        loaded = json.loads((folder / "outcome.json").read_text(encoding="utf-8"))
    except (FileNotFoundError, ValueError):
        return None
    return loaded if isinstance(loaded, dict) else None


def _host_options(host: Optional[StrPath], direct: bool) -> list[str]:
    command = [str(find_host(host))]
    if direct:
        command.append("--direct")
    return command


def run(
    scenario: ScenarioLike,
    out: Optional[StrPath] = None,
    report: bool = False,
    *,
    save: bool = False,
    work_on_copies: bool = False,
    direct: bool = False,
    host: Optional[StrPath] = None,
) -> Result:
    """Runs one scenario; its Result, or RunError when the run failed.

    The run's files go to `out` (made when missing), else to a temporary
    folder that is removed once they are read. `report` has the host write
    report.html, its page of the run, among them (`--report`). `save` saves the
    workbook at the end; `work_on_copies` runs on copies of the workbook and
    model data file in `out`. A Ctrl-C stops the run as gridmoor-host does
    (it ends the run, stops its office, writes its files so far) and is
    raised again once the host has ended.
    """
    chosen = as_scenario(scenario)
    command = _host_options(host, direct)
    private = Path(tempfile.mkdtemp(prefix="gridmoor-run-"))
    try:
        folder = Path(out).absolute() if out is not None else private / "out"
        file = chosen.write(private / "scenario.json")
        command += ["run", str(file), "--out", str(folder), "--quiet"]
        command += ["--scenario-name", _scenario_label(chosen.name)]
        if report:
            command.append("--report")
        if save:
            command.append("--save")
        if work_on_copies:
            command.append("--work-on-copies")
        status = HostProcess(command, private / "stderr.txt", private / "stdout.txt").wait()
        result = Result(folder, chosen, chosen.name)
        result._settle(status, _read_text(private / "stderr.txt"))
        _name_scenario(result, file)
        if out is None:
            result.folder = None
    finally:
        shutil.rmtree(private, ignore_errors=True)
    if result.error is not None:
        if result.error.exit_status == 2:
            raise GridmoorError(
                f"gridmoor-host refused the command: {result.error.message}", command, 2
            )
        raise result.error
    return result


def _scenario_label(name: str) -> str:
    """How the host names a scenario given from Python."""
    return f"scenario '{name}' (given from Python)"


def _name_scenario(result: Result, file: Path) -> None:
    """The package's own copy of the scenario is gone once the run ends:
    what the host said names the scenario instead."""
    label = _scenario_label(result.scenario.name if result.scenario is not None else result.name)
    result.stderr = result.stderr.replace(str(file), label)
    if result.error is not None:
        result.error.message = result.error.message.replace(str(file), label)
        result.error.args = (result.error.message,)


Progress = Callable[[int, int, Result], None]

_FINISHED = re.compile(r"^\[(\d+)/(\d+)\] (?:ok|failed) +(\S+)  ")
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


def run_many(
    scenarios: Sequence[ScenarioLike],
    jobs: Optional[int] = None,
    out: Optional[StrPath] = None,
    progress: Optional[Progress] = None,
    *,
    save: bool = False,
    direct: bool = False,
    fresh_offices: bool = False,
    host: Optional[StrPath] = None,
) -> list[Result]:
    """Runs scenarios in parallel, each in its own process, on copies of
    its workbook (`gridmoor-host run-many`); a Result per scenario,
    in their order. A failed scenario does not raise: its Result has `ok`
    False and `error` set.

    Each scenario's files go to `out/<name>/` (names made unique), and
    `out/summary.csv` and `out/summary.json` list them all; without `out` a
    temporary folder is used and removed. `jobs` runs at once (default: the
    host's choice from cores and memory). Each job keeps its office warm
    for the scenarios it runs in turn; `fresh_offices` starts a new office
    for every scenario instead. `progress(done, total, result)` is
    called as each scenario finishes. A Ctrl-C is passed on: every run winds
    down, the scenarios not started are not run, and KeyboardInterrupt is
    raised once every process has ended.
    """
    chosen = [as_scenario(s) for s in scenarios]
    if not chosen:
        return []
    names = _folder_names(chosen)
    command = _host_options(host, direct)
    private = Path(tempfile.mkdtemp(prefix="gridmoor-many-"))
    try:
        folder = Path(out).absolute() if out is not None else private / "out"
        inputs = folder / ".scenarios"
        inputs.mkdir(parents=True, exist_ok=True)
        files = [str(s.write(inputs / f"{n}.json")) for s, n in zip(chosen, names)]
        command += ["run-many", *files, "--out", str(folder)]
        if jobs is not None:
            command += ["--jobs", str(jobs)]
        if save:
            command.append("--save")
        if fresh_offices:
            command.append("--fresh-offices")
        index = {name: i for i, name in enumerate(names)}
        results: list[Optional[Result]] = [None] * len(chosen)

        def finished(line: str) -> None:
            match = _FINISHED.match(line)
            if match is None or match.group(3) not in index:
                return
            i = index[match.group(3)]
            result = load_result(folder / names[i], chosen[i])
            results[i] = result
            if progress is not None:
                progress(int(match.group(1)), int(match.group(2)), result)

        status = HostProcess(command, private / "stderr.txt").wait(finished)
        if status not in (0, 1) or not (folder / "summary.json").is_file():
            stderr = _read_text(private / "stderr.txt")
            raise GridmoorError(
                last_words(stderr) or f"gridmoor-host run-many exited with status {status}",
                command,
                status,
            )
        done: list[Result] = []
        for i, result in enumerate(results):
            if result is None:
                result = load_result(folder / names[i], chosen[i])
            if out is None:
                result.folder = None
                _name_scenario(result, Path(files[i]))
            done.append(result)
        return done
    finally:
        shutil.rmtree(private, ignore_errors=True)
