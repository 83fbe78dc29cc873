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


def test_without_matplotlib_no_plot_is_written(
    tmp_path: Path, monkeypatch: pytest.MonkeyPatch
) -> None:
    monkeypatch.setitem(sys.modules, "matplotlib", None)
    assert _example().plot(ROWS, tmp_path / "sweep.png") is False
    assert not (tmp_path / "sweep.png").exists()


@pytest.mark.skipif(
    importlib.util.find_spec("matplotlib") is None, reason="matplotlib is not installed"
)
def test_with_matplotlib_a_png_is_written_failed_points_included(tmp_path: Path) -> None:
    assert _example().plot(ROWS, tmp_path / "sweep.png") is True
    assert (tmp_path / "sweep.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
