"""The run's CSV files read back with their values typed by column."""

from __future__ import annotations

import datetime
from pathlib import Path

import pytest

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


def test_published_blocks_stay_text_and_numbers_become_floats() -> None:
    text = 'timestep,date,name,unit,value\n0,2024-01-01,P,psig,300\n0,2024-01-01,B,,"1\t2\n3\t4"\n'
    rows = tables.parse_rows(text, "published.csv")
    assert [r["value"] for r in rows] == [300.0, "1\t2\n3\t4"]
    assert rows[1]["unit"] is None


def test_the_apostrophe_that_neutralises_a_formula_is_taken_off() -> None:
    # As the host writes text that a spreadsheet would run, and its header.
    text = (
        "timestep,date,name,unit,'-dp,value\n"
        "0,2024-01-01,'=1+2,''psig,-4.5,'-3\t2\n"
        "0,2024-01-01,'@x,'-,7,\"'=HYPERLINK(\"\"u\"\")\"\n"
    )
    rows = tables.parse_rows(text, "published.csv")
    assert [(r["name"], r["unit"], r["value"]) for r in rows] == [
        ("=1+2", "'psig", "-3\t2"),
        ("@x", "-", '=HYPERLINK("u")'),
    ]
    assert rows[0]["-dp"] == -4.5
    assert tables.columns_of(text)[4] == "-dp"


def test_optimisation_feasible_is_a_flag_and_integer_controls_are_labels() -> None:
    text = (
        "timestep,date,trial,W1,Route,TotalOil,Gas,feasible\n"
        "0,2024-01-01,1,2.5,East,3800,6,yes\n"
        "0,2024-01-01,final,2.5,2,3800.5,,no\n"
    )
    rows = tables.parse_rows(text, "optimisation.csv", frozenset({"Route"}))
    assert [r["trial"] for r in rows] == ["1", "final"]
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


def test_a_missing_file_is_an_empty_table_and_without_pandas_a_table_is_its_rows(
    tmp_path: Path, monkeypatch: pytest.MonkeyPatch
) -> None:
    assert len(tables.rows_of(tables.read_table(tmp_path / "streams.csv"))) == 0
    monkeypatch.setattr(tables, "HAVE_PANDAS", False)
    (tmp_path / "streams.csv").write_text(STREAMS, encoding="utf-8")
    read = tables.read_table(tmp_path / "streams.csv")
    assert read == tables.parse_rows(STREAMS, "streams.csv") == tables.rows_of(read)


@pytest.mark.skipif(not tables.HAVE_PANDAS, reason="pandas is not installed")
def test_frames_have_the_column_types_and_the_rows() -> None:
    rows = tables.parse_rows(STREAMS, "streams.csv")
    frame = tables.to_table(rows, tables.columns_of(STREAMS), "streams.csv")
    assert str(frame["date"].dtype).startswith("datetime64")
    assert str(frame["componentCount"].dtype) == "Int64"
    assert str(frame["timestep"].dtype) == "int64"
    assert str(frame["massRate"].dtype) == "float64"
    back = tables.rows_of(frame)
    assert back[0]["oilRate"] == 5000.0 and back[1]["eosModel"] is None
