"""What one run left: its frames, its summary, its outcome."""

from __future__ import annotations

import json
from pathlib import Path
from typing import Any, Optional, TypedDict, cast

from . import tables
from ._process import GridmoorError, StrPath, last_words
from .frames import Frame
from .scenario import Scenario


class FailureSummary(TypedDict, total=False):
    message: str
    command: str  # the operation that failed ("PreSolve"); empty for the host's own
    code: int  # its command code
    timestep: Optional[int]


class OptimumSummary(TypedDict, total=False):
    objective: Optional[float]
    controls: list[Optional[float]]
    integerControls: list[int]
    constraints: list[Optional[float]]
    feasible: bool
    evaluations: int
    method: str
    note: str


class TimestepSummary(TypedDict, total=False):
    timestep: int
    date: str  # YYYY-MM-DD
    inputs: dict[str, dict[str, Any]]
    outputs: dict[str, dict[str, Any]]
    published: dict[str, str]
    optimum: OptimumSummary
    nextEvent: dict[str, Any]


class RunSummary(TypedDict, total=False):
    """summary.json (docs/scenario.md): every key is there once a run wrote one."""

    status: str  # "ok", "failed" or "interrupted"
    error: FailureSummary
    library: str
    mode: str
    driver: str
    office: str
    scenario: str
    workbook: str
    run: dict[str, Any]  # start, timesteps, stepDays
    streams: list[dict[str, Any]]
    optimisation: dict[str, Any]  # objective, unit, maximise, controls, constraints, ...
    timesteps: list[TimestepSummary]
    notes: list[str]


class RunError(GridmoorError):
    """A run that failed: `message`, `command` (the operation that failed,
    "PreSolve"; None when the host refused the run before the library got a
    command), `command_code` (its code), `timestep` (None before the first
    timestep), `code` (gridmoor-host's exit status), `argv` and `result`,
    the partial results as far as the run got."""

    def __init__(
        self,
        message: str,
        argv: list[str],
        code: int,
        command: Optional[str] = None,
        command_code: Optional[int] = None,
        timestep: Optional[int] = None,
        result: Optional["Result"] = None,
    ):
        super().__init__(message, argv, code)
        self.command = command
        self.command_code = command_code
        self.timestep = timestep
        self.result = result

    def __str__(self) -> str:
        where = [self.command] if self.command else []
        if self.timestep is not None:
            where.append(f"timestep {self.timestep}")
        return self.message + (f" ({', '.join(where)})" if where else "")


class RunTimeout(RunError):
    """A run stopped because it took longer than its `timeout`."""


class Result:
    """What one run gave: the frames `streams`, `compositions`,
    `published` and `optimisation` (docs/python.md), `summary`
    (summary.json; empty when the run wrote none), `objective`, `final`,
    `ok`, `status`, `error` (a RunError, or None), `exit_status`,
    `wall_seconds` (run_many), `notes`, the host's `stderr` text and the
    `folder` the files are in (None once a temporary folder is gone)."""

    def __init__(self, folder: Path, scenario: Optional[Scenario], name: str):
        self.folder: Optional[Path] = folder
        self.scenario = scenario
        self.name = name
        self.summary: RunSummary = {}
        summary_file = folder / "summary.json"
        if summary_file.is_file():
            loaded = json.loads(summary_file.read_text(encoding="utf-8"))
            if isinstance(loaded, dict):
                self.summary = cast(RunSummary, loaded)
        problem = self.summary.get("optimisation") or {}
        labels = frozenset(c.get("name", "") for c in problem.get("integerControls") or [])
        units = {
            str(item.get("name") or ""): str(item.get("unit") or "")
            for item in [*(problem.get("controls") or []), *(problem.get("constraints") or [])]
        }
        units[str(problem.get("objective") or "objective")] = str(problem.get("unit") or "")
        self.streams: Frame = tables.read_table(folder / "streams.csv")
        self.compositions: Frame = tables.read_table(folder / "compositions.csv")
        self.published: Frame = tables.read_table(folder / "published.csv")
        self.optimisation: Frame = tables.read_table(folder / "optimisation.csv", labels, units)
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
        return self.summary.get("status") or "failed"

    @property
    def notes(self) -> list[str]:
        return [str(n) for n in self.summary.get("notes") or []]

    @property
    def objective(self) -> Optional[float]:
        """The optimum's objective at the last timestep that has one; None
        when the run optimised nothing."""
        for step in reversed(self.summary.get("timesteps") or []):
            value = (step.get("optimum") or {}).get("objective")
            if isinstance(value, (int, float)):
                return float(value)
        return None

    @property
    def final(self) -> Frame:
        """The optimum of every timestep: optimisation's rows flagged `final`."""
        if "final" not in self.optimisation.columns:
            return self.optimisation
        return self.optimisation[self.optimisation["final"]]

    def _settle(self, exit_status: int, stderr: str, argv: list[str], message: str = "") -> None:
        """Sets the outcome; `message` is what run-many recorded, if anything."""
        self.exit_status = exit_status
        self.stderr = stderr
        if exit_status == 0 and self.status == "ok":
            return
        error = self.summary.get("error") or {}
        if error.get("message"):
            timestep, code = error.get("timestep"), error.get("code")
            self.error = RunError(
                str(error["message"]),
                argv,
                exit_status,
                str(error.get("command") or "") or None,
                code if isinstance(code, int) else None,
                timestep if isinstance(timestep, int) else None,
                self,
            )
            return
        why = message or last_words(stderr) or f"gridmoor-host exited with status {exit_status}"
        self.error = RunError(why, argv, exit_status, result=self)

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
    outcome = read_json(where / "outcome.json")
    stderr = read_text(where / "stderr.txt")
    status = outcome.get("exitStatus")
    seconds = outcome.get("wallSeconds")
    result.wall_seconds = float(seconds) if isinstance(seconds, (int, float)) else None
    if not isinstance(status, int):
        # Never started (run-many recorded why), or a run --out folder.
        status = 0 if not outcome and result.status == "ok" else 1
    result._settle(status, stderr, [], str(outcome.get("message") or ""))
    return result


def read_text(file: Path) -> str:
    try:
        return file.read_text(encoding="utf-8", errors="replace")
    except FileNotFoundError:
        return ""


def read_json(file: Path) -> dict[str, Any]:
    """A JSON object from a file; empty when it is missing or not one."""
    try:
        loaded = json.loads(file.read_text(encoding="utf-8"))
    except (FileNotFoundError, ValueError):
        return {}
    return loaded if isinstance(loaded, dict) else {}
