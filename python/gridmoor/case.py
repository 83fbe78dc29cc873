"""Case archives (the driver's configuration as the host stores it) as
dicts in the JSON form of docs/case-json.md, over `gridmoor-host case`."""

from __future__ import annotations

import json
import shutil
import tempfile
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any, Mapping, Optional

from ._process import GridmoorError, StrPath, find_host, last_words, run_host


def _host_command(
    arguments: list[str], host: Optional[StrPath], work: Path
) -> tuple[int, str, str, list[str]]:
    command = [str(find_host(host)), *arguments]
    status = run_host(command, work / "stdout.txt", work / "stderr.txt")
    out = (work / "stdout.txt").read_text(encoding="utf-8", errors="replace")
    err = (work / "stderr.txt").read_text(encoding="utf-8", errors="replace")
    return status, out, err, command


def load(path: StrPath, *, host: Optional[StrPath] = None) -> dict[str, Any]:
    """The case a case archive holds, as a dict (`gridmoor-host case dump`).
    Raises GridmoorError when the archive cannot be read."""
    work = Path(tempfile.mkdtemp(prefix="gridmoor-case-"))
    try:
        status, out, err, command = _host_command(
            ["case", "dump", str(Path(path).absolute())], host, work
        )
        if status != 0:
            raise GridmoorError(
                last_words(err) or f"case dump exited with {status}", command, status
            )
        loaded = json.loads(out)
        if not isinstance(loaded, dict):
            raise GridmoorError("case dump did not print a JSON object", command, status)
        return loaded
    finally:
        shutil.rmtree(work, ignore_errors=True)


def dump(case: Mapping[str, Any], path: StrPath, *, host: Optional[StrPath] = None) -> Path:
    """Writes a case (a dict in the JSON form) as a case archive
    (`gridmoor-host case build`); the path. Raises GridmoorError naming the
    key path of what the form refuses; the file is then not written."""
    work = Path(tempfile.mkdtemp(prefix="gridmoor-case-"))
    try:
        source = work / "case.json"
        source.write_text(json.dumps(dict(case), indent=2) + "\n", encoding="utf-8")
        target = Path(path).absolute()
        status, _, err, command = _host_command(
            ["case", "build", str(source), "-o", str(target)], host, work
        )
        if status != 0:
            message = last_words(err) or f"case build exited with {status}"
            # The temporary file's name means nothing to the caller.
            message = message.replace(str(source) + ": ", "")
            raise GridmoorError(message, command, status)
        return target
    finally:
        shutil.rmtree(work, ignore_errors=True)


@dataclass
class CaseCheck:
    """What `gridmoor-host case check --json` found: `ok` (no problems),
    the `problems`, the archive's `size` in bytes, its `version` and the
    `counts` of its lists (inputStreams, controls, ...)."""

    ok: bool
    problems: list[str] = field(default_factory=list)
    size: Optional[int] = None
    version: Optional[int] = None
    counts: dict[str, int] = field(default_factory=dict)


def check(path: StrPath, *, host: Optional[StrPath] = None) -> CaseCheck:
    """Checks a case archive: version, counts, every problem found. Raises
    GridmoorError only when the file cannot be read at all."""
    work = Path(tempfile.mkdtemp(prefix="gridmoor-case-"))
    try:
        status, out, err, command = _host_command(
            ["case", "check", str(Path(path).absolute()), "--json"], host, work
        )
    finally:
        shutil.rmtree(work, ignore_errors=True)
    try:
        found = json.loads(out) if status in (0, 1) else None
    except ValueError:
        found = None
    if not isinstance(found, dict):
        raise GridmoorError(last_words(err) or f"case check exited with {status}", command, status)
    version, size = found.get("version"), found.get("size")
    return CaseCheck(
        ok=found.get("ok") is True,
        problems=[str(p) for p in found.get("problems") or []],
        size=size if isinstance(size, int) else None,
        version=version if isinstance(version, int) else None,
        counts={str(k): int(v) for k, v in (found.get("counts") or {}).items()},
    )
