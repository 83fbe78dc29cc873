"""Run workbook-backed production models through gridmoor-host from Python.

    import gridmoor
    base = gridmoor.Scenario.from_file("examples/gaslift/scenario.json")
    result = gridmoor.run(base)
    result.streams            # a pandas data frame, indexed by date
    result.objective          # the optimum at the last timestep

See docs/python.md.
"""

try:
    import pandas as _pandas  # noqa: F401 - the tables are its frames
except ImportError:
    raise ImportError(
        "gridmoor needs pandas: install python3-pandas (Debian) or pandas (pip)"
    ) from None

from . import case, tables, workbook
from ._process import GridmoorError, HostNotFound, find_host
from ._version import __version__ as __version__
from .frames import Column, Frame
from .progress import Progress, ProgressEvent
from .result import Result, RunError, RunSummary, RunTimeout, load_result
from .runner import Runs, run, run_many
from .scenario import Scenario

__all__ = [
    "Column",
    "Frame",
    "GridmoorError",
    "HostNotFound",
    "Progress",
    "ProgressEvent",
    "Result",
    "RunError",
    "RunSummary",
    "RunTimeout",
    "Runs",
    "Scenario",
    "case",
    "find_host",
    "load_result",
    "run",
    "run_many",
    "tables",
    "workbook",
]
