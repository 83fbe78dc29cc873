"""Progress as events, read from gridmoor-host's --progress json stream
(one JSON object per line; docs/progress-json.md)."""

from __future__ import annotations

import datetime
import json
from dataclasses import dataclass, field
from typing import TYPE_CHECKING, Any, Callable, Optional

if TYPE_CHECKING:
    from .result import Result


@dataclass(frozen=True)
class ProgressEvent:
    """One event of a run: `kind` is "started", "office-started",
    "timestep", "trial", "failed", "interrupted" or "finished"; run_many adds
    "scenario-started" and "scenario-finished" (with `result`, `done` and
    `total`) and passes on each run's events between them. `scenario`
    names the scenario (None for run_many's own events). `timestep` and `date` where the event has them; `count` is a
    trial's number within its timestep; `status` what "finished" and
    "scenario-finished" say ("ok", "failed", "interrupted", "not run");
    `objective` the timestep's optimum; `fields`, the event as the host
    wrote it."""

    kind: str
    scenario: Optional[str] = None
    timestep: Optional[int] = None
    date: Optional[datetime.date] = None
    count: Optional[int] = None
    status: Optional[str] = None
    objective: Optional[float] = None
    done: Optional[int] = None
    total: Optional[int] = None
    result: Optional["Result"] = None
    fields: dict[str, Any] = field(default_factory=dict)


Progress = Callable[[ProgressEvent], None]


def _int(value: Any) -> Optional[int]:
    return value if isinstance(value, int) and not isinstance(value, bool) else None


def parse_event(line: str, scenario: Optional[str] = None) -> Optional[ProgressEvent]:
    """The event a line of the stream holds; None for a line that is none."""
    try:
        fields = json.loads(line)
    except ValueError:
        return None
    if not isinstance(fields, dict) or not isinstance(fields.get("event"), str):
        return None
    date = fields.get("date")
    objective = fields.get("objective")
    return ProgressEvent(
        kind=fields["event"],
        scenario=str(fields["name"]) if isinstance(fields.get("name"), str) else scenario,
        timestep=_int(fields.get("t", fields.get("timestep"))),
        date=datetime.date.fromisoformat(date) if isinstance(date, str) else None,
        count=_int(fields.get("count")),
        status=fields.get("status") if isinstance(fields.get("status"), str) else None,
        objective=float(objective) if isinstance(objective, (int, float)) else None,
        done=_int(fields.get("done")),
        total=_int(fields.get("total")),
        fields=fields,
    )
