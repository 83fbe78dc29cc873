"""pip install ./python into a fresh virtual environment, with no index to
reach, and the example run from there."""

from __future__ import annotations

import csv
import importlib.util
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

from conftest import ROOT

pytestmark = pytest.mark.integration


def test_pip_installs_offline_and_the_example_runs(tmp_path: Path, host: Path) -> None:
    # A copy, so that building leaves nothing in the tree.
    source = tmp_path / "python"
    shutil.copytree(ROOT / "python", source, ignore=shutil.ignore_patterns("__pycache__"))
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)], check=True)
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    # Any index pip tried would be a closed port.
    env.update(
        PIP_INDEX_URL="http://127.0.0.1:9/simple",
        PIP_RETRIES="0",
        PIP_TIMEOUT="2",
        PIP_DISABLE_PIP_VERSION_CHECK="1",
        GRIDMOOR_HOST=str(host),
    )
    installed = subprocess.run(
        [str(venv / "bin" / "pip"), "install", str(source)], env=env, capture_output=True, text=True
    )
    assert installed.returncode == 0, installed.stdout + installed.stderr
    where = subprocess.run(
        [str(venv / "bin" / "python"), "-c", "import gridmoor; print(gridmoor.__file__)"],
        env=env,
        cwd=tmp_path,
        capture_output=True,
        text=True,
        check=True,
    )
    assert Path(where.stdout.strip()).is_relative_to(venv)
    assert (Path(where.stdout.strip()).parent / "py.typed").is_file()

    out = tmp_path / "sweep"
    example = subprocess.run(
        [
            str(venv / "bin" / "python"),
            str(ROOT / "examples" / "python" / "gaslift_sweep.py"),
            "--low",
            "4",
            "--high",
            "6",
            "--points",
            "2",
            "--timesteps",
            "1",
            "--jobs",
            "2",
            "--out",
            str(out),
        ],
        env=env,
        cwd=tmp_path,
        capture_output=True,
        text=True,
        timeout=600,
    )
    assert example.returncode == 0, example.stdout + example.stderr
    with open(out / "sweep.csv", newline="") as file:
        rows = list(csv.DictReader(file))
    assert [float(r["liftGas"]) for r in rows] == [4.0, 6.0]
    # The gas-lift example's optimum at 6 MMscf/d (examples/gaslift/README.md).
    assert float(rows[1]["totalOil"]) == pytest.approx(3860.995, rel=0.005)
    assert float(rows[0]["totalOil"]) < float(rows[1]["totalOil"])
    if importlib.util.find_spec("matplotlib") is not None:
        assert (out / "sweep.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    else:
        assert "matplotlib is not installed" in example.stdout
        assert not (out / "sweep.png").exists()
