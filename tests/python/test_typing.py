"""mypy --strict over a user's script (typed_use.py) sees real types."""

from __future__ import annotations

import os
import re
import subprocess
import sys

from conftest import ROOT

REVEALED = [
    "Union[builtins.float, None]",
    "gridmoor.frames.Frame",
    "gridmoor.frames.Column",
    "builtins.float",
    "builtins.list[Any]",
    "Union[builtins.str, None]",
    "builtins.int",
    "Union[builtins.int, None]",
    "Union[datetime.date, None]",
    "gridmoor.frames.Frame",
    "Union[gridmoor.result.RunError, None]",
]


def test_a_users_script_sees_the_package_typed() -> None:
    script = ROOT / "tests" / "python" / "typed_use.py"
    checked = subprocess.run(
        [sys.executable, "-m", "mypy", "--cache-dir=/dev/null", str(script)],
        capture_output=True,
        text=True,
        cwd=ROOT / "python",
        env=dict(os.environ, MYPYPATH=str(ROOT / "python")),
        check=False,
    )
    said = checked.stdout
    assert re.findall(r"Revealed type is \"(.*)\"", said) == REVEALED, said
    # Only the notes: every misuse the script marks was an error.
    assert [line for line in said.splitlines() if ": error:" in line] == [], said
