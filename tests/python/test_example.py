"""The sweep example's own logic, without runs."""

from __future__ import annotations

import importlib.util
import sys
from pathlib import Path
from types import ModuleType

import pytest

from conftest import EXAMPLES


def _example() -> ModuleType:
    spec = importlib.util.spec_from_file_location(
        "gaslift_sweep", EXAMPLES / "python" / "gaslift_sweep.py"
    )
    assert spec is not None and spec.loader is not None
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


ROWS = [
    {"liftGas": 1.0, "totalOil": 1760.5},
    {"liftGas": 2.0, "totalOil": None},
    {"liftGas": 3.0, "totalOil": 2822.9},
]


@pytest.mark.parametrize("have", [False, True])
def test_a_png_is_written_failed_points_included_only_with_matplotlib(
    tmp_path: Path, monkeypatch: pytest.MonkeyPatch, have: bool
) -> None:
    if have and importlib.util.find_spec("matplotlib") is None:
        pytest.skip("matplotlib is not installed")
    if not have:
        monkeypatch.setitem(sys.modules, "matplotlib", None)
    assert _example().plot(ROWS, tmp_path / "sweep.png") is have
    png = tmp_path / "sweep.png"
    assert (png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n") if have else not png.exists()
