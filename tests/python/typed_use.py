"""A user's script, type-checked only (mypy --strict, test_typing.py):
what it touches of a result has real types, and misuse is caught (each
ignore below must be used, or mypy fails)."""

import gridmoor


def look(result: gridmoor.Result, event: gridmoor.ProgressEvent, runs: gridmoor.Runs) -> None:
    reveal_type(result.objective)
    reveal_type(result.streams)
    reveal_type(result.streams["oilRate"])
    reveal_type(result.streams["oilRate"].max())
    reveal_type(result.final["trial"].tolist())
    reveal_type(result.summary.get("status"))
    reveal_type(result.summary["timesteps"][0]["optimum"]["evaluations"])
    reveal_type(event.timestep)
    reveal_type(event.date)
    reveal_type(runs.summary)
    reveal_type(runs[0].error)
    result.objective + 1.0  # type: ignore[operator]
    result.streams["oilRate"].maximum()  # type: ignore[attr-defined]
    result.summary["timestep"]  # type: ignore[typeddict-item]
