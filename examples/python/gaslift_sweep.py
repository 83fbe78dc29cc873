#!/usr/bin/env python3
"""Total oil of the gas-lift example against the lift gas available.

Runs examples/gaslift/ over ten values of available lift gas in parallel
with gridmoor.run_many. Each value is set where the model keeps it: the
limit of the TotalLiftGas constraint and the workbook's own Wells!B9 (which
AvailableGas publishes), in a copy of the workbook per value. Writes
sweep.csv and, with matplotlib, sweep.png (total oil against lift gas) into
the output folder:

    PYTHONPATH=python GRIDMOOR_HOST=build/default/tools/gridmoor-host/gridmoor-host \\
        python3 examples/python/gaslift_sweep.py --out /tmp/gaslift-sweep

Above 9.5 MMscf/d every well sits at its upper bound and the curve is flat.
"""

from __future__ import annotations

import argparse
import math
import re
import sys
import time
from pathlib import Path
from typing import Any, Optional

import gridmoor
from gridmoor import tables

EXAMPLE = Path(__file__).resolve().parent.parent / "gaslift" / "scenario.json"


def lift_gas_values(low: float, high: float, points: int) -> list[float]:
    if points == 1:
        return [low]
    return [round(low + (high - low) * i / (points - 1), 6) for i in range(points)]


# The cell after the label of Wells!B9 in the flat workbook file.
_AVAILABLE_GAS = re.compile(
    r'(Available lift gas \(MMscf/d\)</text:p></table:table-cell>'
    r'<table:table-cell[^>]*office:value=")[^"]*("><text:p>)[^<]*(</text:p>)'
)


def with_lift_gas(base: gridmoor.Scenario, gas: float, folder: Path) -> gridmoor.Scenario:
    """The scenario with `gas` MMscf/d available: the constraint's limit, and
    Wells!B9 in a copy of the workbook (the driver compares nothing itself)."""
    workbook = base.folder / str(base["workbook"])
    text = workbook.read_text(encoding="utf-8")
    text, found = _AVAILABLE_GAS.subn(rf"\g<1>{gas:g}\g<2>{gas:g}\g<3>", text)
    if found != 1:
        raise ValueError(f"{workbook}: no cell for the available lift gas beside its label")
    copy = folder / f"gaslift-{gas:g}.fods"
    copy.write_text(text, encoding="utf-8")
    changed = base.with_value("case.constraints[0].limit", gas).with_workbook(copy)
    return changed.renamed(f"gas-{gas:g}")


def published(result: gridmoor.Result, name: str) -> Optional[float]:
    """A published variable's value at the last timestep."""
    rows = result.published[result.published["name"] == name]["value"].tolist()
    return float(rows[-1]) if rows and not math.isnan(rows[-1]) else None


def plot(rows: list[dict[str, Any]], file: Path) -> bool:
    """The PNG of total oil against lift gas; False when matplotlib is absent."""
    try:
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        return False
    done = [r for r in rows if r["totalOil"] is not None]
    figure, axes = plt.subplots(figsize=(7, 4.5), dpi=120)
    axes.plot([r["liftGas"] for r in done], [r["totalOil"] for r in done], "o-", color="#1f6f8b")
    failed = [r["liftGas"] for r in rows if r["totalOil"] is None]
    for n, g in enumerate(failed):
        axes.axvline(g, color="#c0392b", linestyle=":", label="failed run" if n == 0 else None)
    if failed:
        axes.legend()
    axes.axvline(9.5, color="grey", linestyle="--", linewidth=0.8)
    axes.annotate(
        "every well at its upper bound",
        (9.5, min(r["totalOil"] for r in done) if done else 0),
        xytext=(-6, 6),
        textcoords="offset points",
        ha="right",
        fontsize=8,
        color="grey",
    )
    axes.set_xlabel("available lift gas (MMscf/d)")
    axes.set_ylabel("total oil at the optimum (STB/d)")
    axes.set_title("Gas-lift allocation: total oil against lift gas available")
    axes.grid(True, alpha=0.3)
    figure.tight_layout()
    figure.savefig(file)
    plt.close(figure)
    return True


def main(argv: Optional[list[str]] = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--out", type=Path, default=Path("gaslift-sweep"), help="output folder")
    parser.add_argument("--jobs", type=int, default=None, help="runs at once (default: the host's)")
    parser.add_argument("--low", type=float, default=1.0, help="least lift gas, MMscf/d")
    parser.add_argument("--high", type=float, default=10.0, help="most lift gas, MMscf/d")
    parser.add_argument("--points", type=int, default=10, help="number of values")
    parser.add_argument("--timesteps", type=int, default=None, help="timesteps per run")
    options = parser.parse_args(argv)
    if options.points < 1 or options.low < 0 or options.high < options.low:
        parser.error("give at least one point and 0 <= low <= high")

    base = gridmoor.Scenario.from_file(EXAMPLE)
    if options.timesteps is not None:
        base = base.with_run(timesteps=options.timesteps)
    gas = lift_gas_values(options.low, options.high, options.points)
    workbooks = options.out / "workbooks"
    workbooks.mkdir(parents=True, exist_ok=True)
    sweep = [with_lift_gas(base, g, workbooks) for g in gas]

    def progress(event: gridmoor.ProgressEvent) -> None:
        result = event.result
        if result is None:
            return
        oil = result.objective
        said = f"total oil {oil:.1f} STB/d" if result.ok and oil is not None else result.status
        print(f"[{event.done}/{event.total}] {result.name}: {said}", flush=True)

    started = time.monotonic()
    results = gridmoor.run_many(
        sweep, jobs=options.jobs, out=options.out / "runs", progress=progress
    )
    seconds = time.monotonic() - started

    rows = [
        {
            "liftGas": g,
            "totalOil": r.objective if r.ok else None,
            "availableGas": published(r, "AvailableGas"),
            "ok": r.ok,
            "wallSeconds": r.wall_seconds,
        }
        for g, r in zip(gas, results)
    ]
    tables.write_csv(rows, options.out / "sweep.csv")
    print(f"{len(results)} runs in {seconds:.1f} s; table in {options.out / 'sweep.csv'}")
    if plot(rows, options.out / "sweep.png"):
        print(f"plot in {options.out / 'sweep.png'}")
    else:
        print("matplotlib is not installed: no plot; the values are in the CSV file")
    return 0 if all(r.ok for r in results) else 1


if __name__ == "__main__":
    sys.exit(main())
