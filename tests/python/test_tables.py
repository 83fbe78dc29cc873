"""The run's CSV files read back with their values typed by column."""

from __future__ import annotations

import datetime
import subprocess
import sys
from pathlib import Path

import pytest

from conftest import ROOT
from gridmoor import tables

STREAMS = (
    "timestep,date,stream,direction,oilRate,waterRate,massRate,"
    "eosModel,componentCount,componentFlags\n"
    "0,2024-01-01,In-1,in,5000,1200,,other,10,0\n"
    "1,2024-01-31,Out-1,out,4692.81402194088,-0,1e+35,,,\n"
)


def test_streams_are_typed_by_column_and_empty_is_none() -> None:
    rows = tables.parse_rows(STREAMS, "streams.csv")
    assert rows[0] == {
        "timestep": 0,
        "date": datetime.date(2024, 1, 1),
        "stream": "In-1",
        "direction": "in",
        "oilRate": 5000.0,
        "waterRate": 1200.0,
        "massRate": None,
        "eosModel": "other",
        "componentCount": 10,
        "componentFlags": 0,
    }
    assert rows[1]["oilRate"] == 4692.81402194088
    assert rows[1]["massRate"] == 1e35
    assert [rows[1][k] for k in ("eosModel", "componentCount", "componentFlags")] == [None] * 3
    assert isinstance(rows[0]["oilRate"], float) and isinstance(rows[0]["timestep"], int)


def test_published_numbers_are_values_and_blocks_their_text() -> None:
    text = 'timestep,date,name,unit,value\n0,2024-01-01,P,psig,300\n0,2024-01-01,B,,"1\t2\n3\t4"\n'
    rows = tables.parse_rows(text, "published.csv")
    assert [(r["value"], r["text"]) for r in rows] == [(300.0, None), (None, "1\t2\n3\t4")]
    assert rows[1]["unit"] is None
    frame = tables.to_table(rows, tables.columns_of(text, "published.csv"), "published.csv")
    assert str(frame["value"].dtype) == "float64" and frame.index.name == "date"


def test_the_apostrophe_that_neutralises_a_formula_is_taken_off() -> None:
    # As the host writes text that a spreadsheet would run, and its header.
    text = (
        "timestep,date,name,unit,'-dp,value\n"
        "0,2024-01-01,'=1+2,''psig,-4.5,'-3\t2\n"
        "0,2024-01-01,'@x,'-,7,\"'=HYPERLINK(\"\"u\"\")\"\n"
    )
    rows = tables.parse_rows(text, "published.csv")
    assert [(r["name"], r["unit"], r["text"]) for r in rows] == [
        ("=1+2", "'psig", "-3\t2"),
        ("@x", "-", '=HYPERLINK("u")'),
    ]
    assert rows[0]["-dp"] == -4.5
    assert tables.columns_of(text)[4] == "-dp"


def test_optimisation_trials_are_numbers_the_final_point_a_flag() -> None:
    text = (
        "timestep,date,trial,W1,Route,TotalOil,Gas,feasible\n"
        "0,2024-01-01,1,2.5,East,3800,6,yes\n"
        "0,2024-01-01,10,2.5,West,3800,6,yes\n"
        "0,2024-01-01,final,2.5,2,3800.5,,no\n"
        "1,2024-01-31,final,2.5,2,3800.5,,no\n"
    )
    rows = tables.parse_rows(text, "optimisation.csv", frozenset({"Route"}))
    # The final point comes after its timestep's last trial, sorted as a number.
    trials = [(r["trial"], r["final"]) for r in rows]
    assert trials == [(1, False), (10, False), (11, True), (1, True)]
    rows = [rows[0], rows[2]]
    assert [r["Route"] for r in rows] == ["East", "2"]
    assert [r["feasible"] for r in rows] == [True, False]
    assert rows[1]["Gas"] is None and rows[1]["TotalOil"] == 3800.5


@pytest.mark.parametrize(
    "text, message",
    [
        ("timestep,date\n0\n", "line 2: 1 fields where the header has 2"),
        ("timestep,date\nx,2024-01-01\n", "line 2, column timestep"),
        ("timestep,feasible\n0,maybe\n", "column feasible"),
        ("timestep,date\n0,2024-13-01\n", "column date"),
    ],
)
def test_a_damaged_file_is_refused_with_where(text: str, message: str) -> None:
    with pytest.raises(ValueError, match=message):
        tables.parse_rows(text, "optimisation.csv")


def test_frames_are_typed_indexed_by_date_and_carry_units(tmp_path: Path) -> None:
    assert len(tables.read_table(tmp_path / "streams.csv")) == 0
    (tmp_path / "streams.csv").write_text(STREAMS, encoding="utf-8")
    frame = tables.read_table(tmp_path / "streams.csv")
    assert str(frame.index.dtype).startswith("datetime64") and frame.index.name == "date"
    dtypes = {c: str(frame[c].dtype) for c in ("componentCount", "timestep", "massRate")}
    assert dtypes == {"componentCount": "Int64", "timestep": "int64", "massRate": "float64"}
    assert frame.attrs["units"]["oilRate"] == "STB/d" and frame.attrs["units"]["pressure"] == "psig"
    back = tables.rows_of(frame)
    assert back[0]["oilRate"] == 5000.0 and back[1]["eosModel"] is None


def test_without_pandas_the_import_says_so_in_one_line() -> None:
    hide = "import sys; sys.modules['pandas'] = None; import gridmoor"
    found = subprocess.run(
        [sys.executable, "-c", hide], capture_output=True, text=True, cwd=ROOT / "python"
    )
    last = found.stderr.strip().splitlines()[-1]
    said = "ImportError: gridmoor needs pandas: install python3-pandas (Debian) or pandas (pip)"
    assert last == said
