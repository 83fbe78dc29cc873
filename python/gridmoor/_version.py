"""The package's version: the CMake project's, the one place it is written.

Run from the source tree, it is read from the project's CMakeLists.txt; a
built wheel (and so every installed package) holds this file with the
version written in instead.
"""

import re
from pathlib import Path

_PROJECT = re.compile(r"project\(\s*Gridmoor\s+VERSION\s+([0-9][0-9.]*)")


def project_version(cmake_lists: Path) -> str:
    """The VERSION of project(Gridmoor ...) in `cmake_lists`."""
    found = _PROJECT.search(cmake_lists.read_text(encoding="utf-8"))
    if found is None:
        raise ValueError(f"{cmake_lists} has no project(Gridmoor VERSION ...)")
    return found.group(1)


__version__ = project_version(Path(__file__).resolve().parents[2] / "CMakeLists.txt")
