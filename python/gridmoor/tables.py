"""The CSV files of a run as pandas data frames, typed by column.

Counts, timesteps and trial numbers are ints, quantities floats, flags
bools, the rest text. A frame per timestep has the dates as its index (a
DatetimeIndex named "date"); `frame.attrs["units"]` maps columns to their
units. An empty field (a value the host does not have) is NaN, or None in
a text column.
"""

from __future__ import annotations

import csv
import datetime
import io
from pathlib import Path
from typing import Any, Callable, Iterator, Mapping, Optional

import pandas

from .frames import Frame

Row = dict[str, Any]
Rows = list[Row]
Table = Frame

Convert = Callable[[str], Any]


def _int(text: str) -> int:
    return int(text)


def _float(text: str) -> float:
    return float(text)


def _date(text: str) -> datetime.date:
    return datetime.date.fromisoformat(text)


def _text(text: str) -> str:
    return text


def _yes(text: str) -> bool:
    if text not in ("yes", "no"):
        raise ValueError(f"'{text}' is neither yes nor no")
    return text == "yes"


def _number_or_text(text: str) -> Any:
    # A published variable is a number, or a block as tab/line-feed text.
    try:
        return float(text)
    except ValueError:
        return text


def _trial(text: str) -> Any:
    # A number, or "final" for the best point solved once more.
    return text if text == "final" else int(text)


# Columns typed by name; any other column of a file holds numbers (the
# controls, objective and constraints of optimisation.csv, named after them).
_COMMON: dict[str, Convert] = {"timestep": _int, "date": _date}
_KINDS: dict[str, dict[str, Convert]] = {
    "streams.csv": {
        "stream": _text,
        "direction": _text,
        "eosModel": _text,
        "componentCount": _int,
        "componentFlags": _int,
    },
    "compositions.csv": {"stream": _text, "component": _text, "property": _text},
    "published.csv": {"name": _text, "unit": _text, "value": _number_or_text},
    "optimisation.csv": {"trial": _trial, "feasible": _yes},
    # run-many's, with one column per scenario value that varied after these.
    "summary.csv": {"scenario": _text, "exitStatus": _int, "message": _text, "timesteps": _int},
}
# The type of the columns a file does not name.
_OTHERS: dict[str, Convert] = {"summary.csv": _number_or_text}

# The host's internal units of the stream fields (docs/scenario.md).
STREAM_UNITS = {
    "oilRate": "STB/d",
    "waterRate": "STB/d",
    "gasRate": "MMscf/d",
    "pressure": "psig",
    "temperature": "deg F",
    "massRate": "lb/d",
    "oilGravity": "API",
    "gasGravity": "",
    "waterGravity": "",
}


def _plain(field: str) -> str:
    # The host puts an apostrophe before text a spreadsheet would run as a
    # formula (and before text that starts with one): one is taken off.
    return field[1:] if field.startswith("'") else field


def _csv_rows(text: str) -> Iterator[list[str]]:
    for fields in csv.reader(io.StringIO(text, newline="")):
        yield [_plain(field) for field in fields]


def parse_rows(text: str, kind: str, text_columns: frozenset[str] = frozenset()) -> Rows:
    """The rows of one of the run's CSV files (`kind` is its file name)."""
    reader = _csv_rows(text)
    header = next(reader, None)
    if header is None:
        return []
    typed = dict(_COMMON)
    typed.update(_KINDS.get(kind, {}))
    other = _OTHERS.get(kind, _float)
    converters = [_text if name in text_columns else typed.get(name, other) for name in header]
    rows: Rows = []
    for number, fields in enumerate(reader, start=2):
        if not fields:
            continue
        if len(fields) != len(header):
            raise ValueError(
                f"{kind} line {number}: {len(fields)} fields where the header has {len(header)}"
            )
        row: Row = {}
        for name, convert, field in zip(header, converters, fields):
            try:
                row[name] = convert(field) if field != "" else None
            except ValueError as error:
                raise ValueError(f"{kind} line {number}, column {name}: {error}") from None
        rows.append(row)
    return _settled(rows, kind)


def _settled(rows: Rows, kind: str) -> Rows:
    """Columns that need the whole file: optimisation's final row gets the
    number after its timestep's last trial and the flag `final`; a
    published block's text moves to `text`, leaving `value` a number."""
    if kind == "optimisation.csv":
        last: dict[Any, int] = {}
        for row in rows:
            final = row.get("trial") == "final"
            if final:
                row["trial"] = last.get(row.get("timestep"), 0) + 1
            elif isinstance(row.get("trial"), int):
                last[row.get("timestep")] = row["trial"]
            row["final"] = final
    elif kind == "published.csv":
        for row in rows:
            value = row.get("value")
            row["text"] = value if isinstance(value, str) else None
            row["value"] = None if isinstance(value, str) else value
    return rows


def columns_of(text: str, kind: str = "") -> list[str]:
    first = next(_csv_rows(text), None)
    names = list(first) if first is not None else []
    if kind == "optimisation.csv" and names:
        names.append("final")
    elif kind == "published.csv" and names:
        names.append("text")
    return names


def to_table(
    rows: Rows,
    columns: list[str],
    kind: str,
    text_columns: frozenset[str] = frozenset(),
    units: Optional[Mapping[str, str]] = None,
) -> Frame:
    """A data frame of `rows`: typed columns, the dates as its index."""
    frame = pandas.DataFrame.from_records(rows, columns=columns)
    typed = dict(_COMMON)
    typed.update(_KINDS.get(kind, {}))
    typed.update({"final": _yes, "text": _text})
    other = _OTHERS.get(kind, _float)
    for name in columns:
        convert = _text if name in text_columns else typed.get(name, other)
        if convert is _number_or_text and any(isinstance(v, str) for v in frame[name]):
            continue  # a column of text
        if convert is _date:
            frame[name] = pandas.to_datetime(frame[name])
        elif convert in (_int, _trial):
            frame[name] = frame[name].astype("Int64" if frame[name].isna().any() else "int64")
        elif convert in (_float, _number_or_text):
            # A column with no value at all would otherwise hold objects.
            frame[name] = frame[name].astype("float64")
        elif convert is _yes:
            frame[name] = frame[name].astype("bool")
    if "date" in columns:
        frame = frame.set_index("date")
    frame.attrs["units"] = dict(units or {})
    result: Frame = frame
    return result


def _units(kind: str, rows: Rows, units: Optional[Mapping[str, str]]) -> dict[str, str]:
    if kind == "streams.csv":
        return dict(STREAM_UNITS)
    if kind == "published.csv":
        return {str(r["name"]): str(r["unit"] or "") for r in rows}
    return dict(units or {})


def read_table(
    file: Path,
    text_columns: frozenset[str] = frozenset(),
    units: Optional[Mapping[str, str]] = None,
) -> Frame:
    """One of the run's CSV files as a frame; an empty one when it is missing.
    `units` gives the units of the columns a file does not fix (optimisation's)."""
    try:
        text = file.read_text(encoding="utf-8")
    except FileNotFoundError:
        return to_table([], [], file.name)
    rows = parse_rows(text, file.name, text_columns)
    columns = columns_of(text, file.name)
    return to_table(rows, columns, file.name, text_columns, _units(file.name, rows, units))


def rows_of(table: Frame) -> Rows:
    """The rows of a frame as dicts, the date (its index) first."""
    frame: Any = table
    if isinstance(frame.index, pandas.DatetimeIndex):
        frame = frame.reset_index()
    records: Rows = frame.to_dict("records")
    return records


def write_csv(rows: Rows, file: Path, columns: Optional[list[str]] = None) -> None:
    """Rows as a CSV file (the columns of the first row unless given)."""
    names = columns if columns is not None else (list(rows[0]) if rows else [])
    with open(file, "w", newline="", encoding="utf-8") as out:
        writer = csv.DictWriter(out, fieldnames=names, lineterminator="\n")
        writer.writeheader()
        for row in rows:
            writer.writerow({k: "" if row.get(k) is None else row.get(k) for k in names})
