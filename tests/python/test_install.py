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
    # The package's version is the CMake project's.
    shutil.copy(ROOT / "CMakeLists.txt", tmp_path)
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
    python = str(venv / "bin" / "python")

    def run(*command: str, timeout: int = 300) -> subprocess.CompletedProcess[str]:
        return subprocess.run(
            command, env=env, cwd=tmp_path, capture_output=True, text=True, timeout=timeout
        )

    installed = run(str(venv / "bin" / "pip"), "install", str(source))
    assert installed.returncode == 0, installed.stdout + installed.stderr
    where = run(python, "-c", "import gridmoor; print(gridmoor.__file__)")
    assert where.returncode == 0, where.stderr
    assert Path(where.stdout.strip()).is_relative_to(venv)
    assert (Path(where.stdout.strip()).parent / "py.typed").is_file()

    out = tmp_path / "sweep"
    script = str(ROOT / "examples" / "python" / "gaslift_sweep.py")
    sweep = "--low 6 --high 9 --points 2 --timesteps 1 --jobs 2 --out".split() + [str(out)]
    example = run(python, script, *sweep, timeout=600)
    assert example.returncode == 0, example.stdout + example.stderr
    with open(out / "sweep.csv", newline="") as file:
        rows = list(csv.DictReader(file))
    # Each value reached the workbook too: AvailableGas publishes Wells!B9.
    assert [(float(r["liftGas"]), float(r["availableGas"])) for r in rows] == [(6, 6), (9, 9)]
    # The gas-lift example's optimum at 6 MMscf/d (examples/gaslift/README.md), and at 9.
    oil = [float(r["totalOil"]) for r in rows]
    assert oil == [pytest.approx(3860.996, abs=0.01), pytest.approx(4487.21, abs=0.01)]
    if importlib.util.find_spec("matplotlib") is not None:
        assert (out / "sweep.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    else:
        assert "matplotlib is not installed" in example.stdout
        assert not (out / "sweep.png").exists()
