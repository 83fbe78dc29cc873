"""Run workbook-backed production models through gridmoor-host from Python.

    import gridmoor
    base = gridmoor.Scenario.from_file("examples/gaslift/scenario.json")
    result = gridmoor.run(base)
    result.streams            # a data frame (pandas), else a list of dicts

See docs/python.md.
"""

from . import case, tables, workbook
from ._process import GridmoorError, HostNotFound, find_host
from .runner import Progress, Result, RunError, load_result, run, run_many
from ._version import __version__ as __version__
from .scenario import Scenario

__all__ = [
    "GridmoorError",
    "HostNotFound",
    "Progress",
    "Result",
    "RunError",
    "Scenario",
    "case",
    "find_host",
    "load_result",
    "run",
    "run_many",
    "tables",
    "workbook",
]
