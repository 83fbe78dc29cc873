"""Scenarios: what `gridmoor-host run` reads (docs/scenario.md), as a value.

A Scenario is never changed in place: `with_inputs`, `with_run`, `with_value`
and the others return a changed copy, so that a sweep is a list
comprehension::

    base = Scenario.from_file("examples/gaslift/scenario.json")
    sweep = [base.with_value("case.constraints[0].limit", g) for g in (4, 5, 6)]
"""

from __future__ import annotations

import copy
import json
import math
import os
import re
from pathlib import Path
from typing import Any, Mapping, Optional, Sequence, Union

StrPath = Union[str, "os.PathLike[str]"]

# Keys whose values are file names, relative to the scenario's folder.
_PATH_KEYS = ("workbook", "caseArchive", "modelDataFile")
_STEP = re.compile(r"([^.\[\]]+)|\[(\d+)\]")


def _steps(path: str) -> list[Union[str, int]]:
    """`case.constraints[0].limit` as ["case", "constraints", 0, "limit"]."""
    steps: list[Union[str, int]] = []
    at = 0
    while at < len(path):
        if path[at] == "." and steps:
            at += 1
        found = _STEP.match(path, at)
        if found is None:
            raise ValueError(f"'{path}' is not a key path like case.constraints[0].limit")
        steps.append(int(found.group(2)) if found.group(2) is not None else found.group(1))
        at = found.end()
    if not steps:
        raise ValueError("an empty key path")
    return steps


class Scenario:
    """One scenario: its JSON document and the folder its file names are
    relative to.

    Build one from a dict (`Scenario(d)` or `Scenario.from_dict(d, folder)`),
    a JSON file (`Scenario.from_file(path)`) or an existing scenario
    (`Scenario(other)`, a copy). `name` names the run's folder in
    `run_many`; it defaults to the file's stem.
    """

    def __init__(
        self,
        source: Union["Scenario", Mapping[str, Any], StrPath],
        folder: Optional[StrPath] = None,
        name: Optional[str] = None,
    ):
        if isinstance(source, Scenario):
            self._data: dict[str, Any] = copy.deepcopy(source._data)
            self.folder: Path = Path(folder) if folder is not None else source.folder
            self.name: str = name if name is not None else source.name
            # The user's file it came from, which messages name.
            self.file: Optional[Path] = source.file
        elif isinstance(source, Mapping):
            self._data = copy.deepcopy(dict(source))
            self.folder = Path(folder if folder is not None else os.getcwd()).absolute()
            self.name = name if name is not None else "scenario"
            self.file = None
        else:
            file = Path(source)
            with open(file, encoding="utf-8") as text:
                data = json.load(text, object_pairs_hook=_no_repeated_keys)
            if not isinstance(data, dict):
                raise ValueError(f"{file}: a scenario is a JSON object")
            self._data = data
            self.folder = Path(folder) if folder is not None else file.absolute().parent
            self.name = name if name is not None else file.stem
            self.file = file.absolute()

    @classmethod
    def from_dict(
        cls, data: Mapping[str, Any], folder: Optional[StrPath] = None, name: Optional[str] = None
    ) -> "Scenario":
        """A scenario from its document; relative file names are taken from
        `folder` (default: the current folder)."""
        return cls(data, folder, name)

    @classmethod
    def from_file(cls, path: StrPath, name: Optional[str] = None) -> "Scenario":
        """The scenario a JSON file holds; relative file names are taken from its folder."""
        return cls(path, None, name)

    def to_dict(self) -> dict[str, Any]:
        """A copy of the document, as written."""
        return copy.deepcopy(self._data)

    def resolved(self) -> dict[str, Any]:
        """The document with every file name made absolute, to be run from anywhere."""
        data = copy.deepcopy(self._data)
        for key in _PATH_KEYS:
            if isinstance(data.get(key), str) and data[key]:
                data[key] = str(self.folder / data[key])
        if isinstance(data.get("inputs"), str) and data["inputs"]:
            data["inputs"] = str(self.folder / data["inputs"])
        return data

    def write(self, path: StrPath) -> Path:
        """Writes the scenario as JSON, its file names made absolute; the path.

        JSON holds no NaN or infinity: in the case they are written as the
        case's own "NaN", "Infinity" and "-Infinity"; anywhere else (an
        input, a run setting) ValueError names the key path."""
        file = Path(path)
        text = json.dumps(_finite(self.resolved(), ""), indent=2, allow_nan=False)
        file.write_text(text + "\n", encoding="utf-8")
        return file

    def __getitem__(self, path: str) -> Any:
        """The value at a key path; KeyError when there is none."""
        missing = object()
        value = self.get(path, missing)
        if value is missing:
            raise KeyError(path)
        return value

    def get(self, path: str, default: Any = None) -> Any:
        """A copy of the value at a key path (`run.timesteps`,
        `case.controls[1].upperBound`), else `default`."""
        value: Any = self._data
        for step in _steps(path):
            try:
                value = value[step]
            except (KeyError, IndexError, TypeError):
                return default
        return copy.deepcopy(value)

    def __eq__(self, other: object) -> bool:
        return (
            isinstance(other, Scenario)
            and self._data == other._data
            and self.folder == other.folder
        )

    def label(self) -> str:
        """How messages name the scenario: by name and the user's file."""
        where = f"from {self.file}" if self.file is not None else "given from Python"
        return f"scenario '{self.name}' ({where})"

    def __repr__(self) -> str:
        return f"Scenario({self.name!r}, folder={str(self.folder)!r})"

    # Changed copies ---------------------------------------------------------

    def _copy(self, name: Optional[str]) -> "Scenario":
        return Scenario(self, None, name)

    def renamed(self, name: str) -> "Scenario":
        """A copy with another name (the run's folder in run_many)."""
        return self._copy(name)

    def with_value(self, path: str, value: Any, name: Optional[str] = None) -> "Scenario":
        """A copy with the value at a key path set; objects on the way are made
        when missing, and a list index must exist."""
        changed = self._copy(name)
        steps = _steps(path)
        target: Any = changed._data
        for step, following in zip(steps, steps[1:]):
            if isinstance(step, int):
                if not isinstance(target, list) or step >= len(target):
                    raise KeyError(f"{path}: no item [{step}]")
                target = target[step]
            else:
                if not isinstance(target, dict):
                    raise KeyError(f"{path}: '{step}' is not in an object")
                if step not in target:
                    if isinstance(following, int):
                        raise KeyError(f"{path}: no list '{step}'")
                    target[step] = {}
                target = target[step]
        last = steps[-1]
        if isinstance(last, int):
            if not isinstance(target, list) or last >= len(target):
                raise KeyError(f"{path}: no item [{last}]")
        elif not isinstance(target, dict):
            raise KeyError(f"{path}: '{last}' is not in an object")
        target[last] = copy.deepcopy(value)
        return changed

    def with_run(
        self,
        start: Optional[str] = None,
        timesteps: Optional[int] = None,
        step_days: Optional[float] = None,
        name: Optional[str] = None,
    ) -> "Scenario":
        """A copy with the run's start date (YYYY-MM-DD), timesteps or days
        between timesteps changed; what is not given stays."""
        changed = self._copy(name)
        run = dict(changed._data.get("run") or {})
        if start is not None:
            run["start"] = start
        if timesteps is not None:
            run["timesteps"] = timesteps
        if step_days is not None:
            run["stepDays"] = step_days
        changed._data["run"] = run
        return changed

    def with_inputs(
        self,
        inputs: Union[Mapping[str, Any], StrPath, None] = None,
        name: Optional[str] = None,
        **streams: Any,
    ) -> "Scenario":
        """A copy with input-stream values replaced.

        `inputs` maps stream names to a list of entries (entry t applies from
        timestep t on) or to one entry (for every timestep); streams can also
        be given as keywords, with `_` for `-` (`In_1=...`). Streams not
        named keep their values. A file name (an inputs CSV) replaces all
        inputs; over a scenario whose inputs are a CSV file, a mapping must
        name every stream, since it replaces the file.
        """
        changed = self._copy(name)
        if inputs is not None and not isinstance(inputs, Mapping):
            if streams:
                raise ValueError("an inputs CSV file replaces every stream: no streams besides")
            changed._data["inputs"] = str(Path(inputs).absolute())
            return changed
        given: dict[str, Any] = dict(inputs or {})
        given.update({key.replace("_", "-"): value for key, value in streams.items()})
        current = changed._data.get("inputs")
        merged: dict[str, Any] = dict(current) if isinstance(current, Mapping) else {}
        for stream, entries in given.items():
            merged[stream] = (
                [copy.deepcopy(dict(entries))]
                if isinstance(entries, Mapping)
                else copy.deepcopy(list(entries))
            )
        changed._data["inputs"] = merged
        return changed

    def with_optimisation(self, name: Optional[str] = None, **settings: Any) -> "Scenario":
        """A copy with optimisation settings changed (`enabled`, `method`,
        `relativeTolerance`, `maxIterations`, ...)."""
        changed = self._copy(name)
        optimisation = dict(changed._data.get("optimisation") or {})
        optimisation.update(settings)
        changed._data["optimisation"] = optimisation
        return changed

    def with_workbook(self, workbook: StrPath, name: Optional[str] = None) -> "Scenario":
        """A copy that runs another workbook."""
        changed = self._copy(name)
        changed._data["workbook"] = str(Path(workbook).absolute())
        return changed


def _finite(value: Any, path: str) -> Any:
    """`value` with every NaN and infinity under "case" spelt as the case's
    JSON spells them; ValueError naming the key path of any other."""
    if isinstance(value, float) and not math.isfinite(value):
        if path == "case" or path.startswith(("case.", "case[")):
            return "NaN" if math.isnan(value) else ("Infinity" if value > 0 else "-Infinity")
        raise ValueError(f"{path} is {value}: a scenario's numbers must be finite")
    if isinstance(value, dict):
        return {k: _finite(v, f"{path}.{k}" if path else str(k)) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [_finite(v, f"{path}[{i}]") for i, v in enumerate(value)]
    return value


def _no_repeated_keys(pairs: Sequence[tuple[str, Any]]) -> dict[str, Any]:
    # The host refuses a key given twice; say so here already.
    result: dict[str, Any] = {}
    for key, value in pairs:
        if key in result:
            raise ValueError(f"the key '{key}' is given twice")
        result[key] = value
    return result


def as_scenario(source: Union[Scenario, Mapping[str, Any], StrPath]) -> Scenario:
    """A Scenario from whatever the caller holds (returned as is when it is one)."""
    return source if isinstance(source, Scenario) else Scenario(source)
