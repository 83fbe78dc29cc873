"""The CSV files of a run as tables: pandas data frames when pandas is
installed, else lists of dicts (one dict per row, keyed by column).

Values are typed by column: counts and timesteps are ints, quantities are
floats, the date is a date (a datetime64 column in a data frame), the rest
is text. An empty field (a value the host does not have) is None in a list
and NaN (None in a text column) in a data frame.
"""

from __future__ import annotations

import csv
import datetime
import io
from pathlib import Path
from typing import Any, Callable, Iterator, Optional

try:
    import pandas

    HAVE_PANDAS = True
except ImportError:
    HAVE_PANDAS = False

Row = dict[str, Any]
Rows = list[Row]
# A pandas.DataFrame when pandas is installed, else Rows.
Table = Any

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
    "optimisation.csv": {"trial": _text, "feasible": _yes},
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
    converters = [_text if name in text_columns else typed.get(name, _float) for name in header]
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
    return rows


def columns_of(text: str) -> list[str]:
    first = next(_csv_rows(text), None)
    return list(first) if first is not None else []


def to_table(
    rows: Rows, columns: list[str], kind: str, text_columns: frozenset[str] = frozenset()
) -> Table:
    """A data frame of `rows` when pandas is installed, else `rows` itself."""
    if not HAVE_PANDAS:
        return rows
    frame = pandas.DataFrame.from_records(rows, columns=columns)
    typed = dict(_COMMON)
    typed.update(_KINDS.get(kind, {}))
    for name in columns:
        convert = _text if name in text_columns else typed.get(name, _float)
        if convert is _date:
            frame[name] = pandas.to_datetime(frame[name])
        elif convert is _int:
            frame[name] = frame[name].astype("Int64" if frame[name].isna().any() else "int64")
        elif convert is _float:
            # A column with no value at all would otherwise hold objects.
            frame[name] = frame[name].astype("float64")
    return frame


def read_table(file: Path, text_columns: frozenset[str] = frozenset()) -> Table:
    """One of the run's CSV files as a table; an empty table when it is missing."""
    try:
        text = file.read_text(encoding="utf-8")
    except FileNotFoundError:
        return to_table([], [], file.name)
    return to_table(
        parse_rows(text, file.name, text_columns), columns_of(text), file.name, text_columns
    )


def rows_of(table: Table) -> Rows:
    """The rows of a table as dicts, whichever form it has."""
    if HAVE_PANDAS and isinstance(table, pandas.DataFrame):
        records: Rows = table.to_dict("records")
        return records
    result: Rows = table
    return result


def write_csv(rows: Rows, file: Path, columns: Optional[list[str]] = None) -> None:
    """Rows as a CSV file (the columns of the first row unless given)."""
    names = columns if columns is not None else (list(rows[0]) if rows else [])
    with open(file, "w", newline="", encoding="utf-8") as out:
        writer = csv.DictWriter(out, fieldnames=names, lineterminator="\n")
        writer.writeheader()
        for row in rows:
            writer.writerow({k: "" if row.get(k) is None else row.get(k) for k in names})
