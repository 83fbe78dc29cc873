"""Test support: the package from this tree, the host under test, the examples."""

from __future__ import annotations

import os
import sys
import time
from pathlib import Path
from typing import Callable, Union

import pytest

ROOT = Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
sys.path.insert(0, str(ROOT / "python"))


@pytest.fixture(scope="session")
def host() -> Path:
    """The gridmoor-host under test: $GRIDMOOR_HOST (CTest sets it), else this tree's build."""
    named = os.environ.get("GRIDMOOR_HOST")
    built = ROOT / "build" / "default" / "tools" / "gridmoor-host" / "gridmoor-host"
    chosen = Path(named) if named else built
    if not os.access(chosen, os.X_OK):
        pytest.fail(f"no gridmoor-host at {chosen}: build it, or set GRIDMOOR_HOST")
    os.environ["GRIDMOOR_HOST"] = str(chosen)
    return chosen


def wait_until(
    done: Callable[[], object], seconds: float, failure: Union[str, Callable[[], str]]
) -> object:
    """Asks `done` until it answers something true, which it returns: at
    once, then after 1, 2, 4 ... ms, then every 50 ms (soon for what comes
    soon, without a busy loop over /proc). The test fails with `failure` (or
    what it gives) after `seconds`."""
    deadline = time.monotonic() + seconds
    pause = 0.001
    while not (answer := done()):
        if time.monotonic() > deadline:
            pytest.fail(failure() if callable(failure) else failure)
        time.sleep(pause)
        pause = min(pause * 2, 0.05)
    return answer


def same_value(value: object, text: str) -> bool:
    """Whether a table's value is what the CSV field says, exactly."""
    import datetime
    import math

    if text == "":
        return (
            value is None
            or (isinstance(value, float) and math.isnan(value))
            or str(value) in ("NaT", "<NA>")
        )
    if isinstance(value, bool):
        return text == ("yes" if value else "no")
    if isinstance(value, int):
        return int(text) == value
    if isinstance(value, float):
        try:
            return float(text) == value
        except ValueError:
            return False
    if hasattr(value, "date") and callable(getattr(value, "date")):
        return bool(value.date().isoformat() == text)  # a pandas Timestamp
    if isinstance(value, datetime.date):
        return value.isoformat() == text
    return value == text


def assert_table_is_csv(table: object, file: Path) -> int:
    """Every row and column of a frame equals the CSV file's, value for
    value (a block's text, the final trial as written); the number of rows."""
    import csv

    from gridmoor import tables

    with open(file, newline="", encoding="utf-8") as text:
        header, *lines = list(csv.reader(text))
    rows = tables.rows_of(table)  # type: ignore[arg-type]
    assert len(rows) == len(lines), file.name
    for number, (row, line) in enumerate(zip(rows, lines), start=2):
        for name, field in zip(header, line):
            value = row[name]
            if name == "value" and row.get("text") is not None:
                value = row["text"]
            if name == "trial" and row.get("final"):
                value = "final"
            assert same_value(
                value, field
            ), f"{file.name} line {number} {name}: {value!r} is not {field!r}"
    return len(rows)
