"""Checking a workbook before a run (`gridmoor-host workbook check`,
docs/workbook-check.md): the formula cells the office computes otherwise
than the program that saved the file, functions it does not know, macro
modules that do not compile, external links; with a scenario also its
macros and cells."""

from __future__ import annotations

import json
import shutil
import tempfile
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any, Mapping, Optional, Union

from ._process import GridmoorError, StrPath, find_host, last_words, run_host
from .scenario import Scenario, as_scenario


@dataclass
class WorkbookCheck:
    """`ok` when nothing was found; `findings` as the host's JSON (formulas,
    notCompared, differ, unknownFunctions, macros, problems); `text`, the
    summary it printed."""

    ok: bool
    findings: dict[str, Any] = field(default_factory=dict)
    text: str = ""

    @property
    def differ(self) -> list[dict[str, Any]]:
        """The formula cells whose result differs: sheet, cell, formula, saved, calc."""
        cells = self.findings.get("differ")
        return cells if isinstance(cells, list) else []

    @property
    def problems(self) -> list[dict[str, Any]]:
        found = self.findings.get("problems")
        return found if isinstance(found, list) else []


def check(
    path: Optional[StrPath] = None,
    scenario: Union[Scenario, Mapping[str, Any], StrPath, None] = None,
    *,
    host: Optional[StrPath] = None,
) -> WorkbookCheck:
    """Checks a workbook (never changed: a private copy is recalculated).
    Without `path` the scenario's workbook is checked. Raises GridmoorError
    when the check could not be made (exit status 2)."""
    if path is None and scenario is None:
        raise ValueError("give a workbook, a scenario, or both")
    work = Path(tempfile.mkdtemp(prefix="gridmoor-check-"))
    try:
        command = [str(find_host(host)), "workbook", "check"]
        if path is not None:
            command.append(str(Path(path).absolute()))
        if scenario is not None:
            command += ["--scenario", str(as_scenario(scenario).write(work / "scenario.json"))]
        command += ["--json", str(work / "findings.json")]
        status = run_host(command, work / "stdout.txt", work / "stderr.txt")
        text = (work / "stdout.txt").read_text(encoding="utf-8", errors="replace")
        if status not in (0, 1):
            err = (work / "stderr.txt").read_text(encoding="utf-8", errors="replace")
            raise GridmoorError(
                last_words(err) or f"workbook check exited with {status}", command, status
            )
        findings: dict[str, Any] = {}
        if (work / "findings.json").is_file():
            loaded = json.loads((work / "findings.json").read_text(encoding="utf-8"))
            if isinstance(loaded, dict):
                findings = loaded
        return WorkbookCheck(ok=status == 0, findings=findings, text=text)
    finally:
        shutil.rmtree(work, ignore_errors=True)
