"""Finding gridmoor-host and running it as a child process.

Every run happens in a process of its own, so that a fault in the driver or
the office can never end the Python process. The child gets its own process
group: a Ctrl-C at the terminal reaches Python only, which passes it on once
and then waits for the child to wind down (it stops its office and writes its
files so far), so that no process is left behind. The long commands are
given --exit-with-parent and a pipe as standard input that only this process
holds: when it dies, the pipe closes and the child winds down as on SIGTERM.
Nothing runs in the child before exec, so starting one is safe in a program
with threads.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import selectors
import shutil
import signal
import subprocess
import time
from pathlib import Path
from typing import Callable, Optional, Sequence, Union

StrPath = Union[str, "os.PathLike[str]"]

HOST_NAME = "gridmoor-host"
LIBRARY_NAME = "libGridmoor110.so"

# A run asked to stop ends its current command, stops its office and writes
# its files; run-many gives each run 60 s before it kills it. After this
# long the child and its group are killed.
WIND_DOWN_SECONDS = 90.0


# The exit status of a command that could not be started, as a shell's.
NOT_STARTED = 127


class GridmoorError(Exception):
    """A gridmoor-host command failed: `message`, `code` (its exit status;
    127 when it could not be started) and `argv` (its command line)."""

    def __init__(self, message: str, argv: Sequence[str], code: int):
        super().__init__(message)
        self.message = message
        self.argv = [str(a) for a in argv]
        self.code = code

    def _rename(self, text: str, name: str) -> None:
        """A private file's path in the message given as what the user knows."""
        self.message = self.message.replace(text, name)
        self.args = (self.message,)


class HostNotFound(GridmoorError):
    """No gridmoor-host program was found."""


def _library_folders() -> list[Path]:
    """Folders of an installed driver library: pkg-config's, then the linker's."""
    folders: list[Path] = []
    pkg_config = shutil.which("pkg-config")
    if pkg_config:
        try:
            found = subprocess.run(
                [pkg_config, "--variable=library", "gridmoor"],
                capture_output=True,
                text=True,
                timeout=10,
                check=False,
            )
            if found.returncode == 0 and found.stdout.strip():
                folders.append(Path(found.stdout.strip()).resolve().parent)
        except (OSError, subprocess.TimeoutExpired):
            pass
    name = ctypes.util.find_library("Gridmoor110")
    if name:
        for folder in ("/usr/local/lib", "/usr/lib", "/usr/lib/x86_64-linux-gnu"):
            if (Path(folder) / name).exists():
                folders.append(Path(folder))
    return folders


def _beside_library(folder: Path) -> Optional[Path]:
    # <prefix>/lib[/<multiarch>]/libGridmoor110.so and <prefix>/bin/gridmoor-host
    for candidate in (
        folder / HOST_NAME,
        folder.parent / "bin" / HOST_NAME,
        folder.parent.parent / "bin" / HOST_NAME,
    ):
        if os.access(candidate, os.X_OK) and candidate.is_file():
            return candidate
    return None


def find_host(host: Optional[StrPath] = None) -> Path:
    """The gridmoor-host program to run.

    `host` when given, else $GRIDMOOR_HOST, else the program installed beside
    the driver library (pkg-config's `gridmoor`, or the linker's search
    path), else gridmoor-host on PATH.
    """
    if host is not None:
        chosen = Path(host)
        if not (chosen.is_file() and os.access(chosen, os.X_OK)):
            raise HostNotFound(
                f"gridmoor-host not found: {chosen} is not a program", [str(chosen)], NOT_STARTED
            )
        return chosen
    named = os.environ.get("GRIDMOOR_HOST")
    if named:
        chosen = Path(named)
        if not (chosen.is_file() and os.access(chosen, os.X_OK)):
            raise HostNotFound(
                f"GRIDMOOR_HOST names {named}, which is not a program", [named], NOT_STARTED
            )
        return chosen
    for folder in _library_folders():
        beside = _beside_library(folder)
        if beside is not None:
            return beside
    on_path = shutil.which(HOST_NAME)
    if on_path:
        return Path(on_path)
    raise HostNotFound(
        "gridmoor-host not found: set GRIDMOOR_HOST to the program, install it beside the "
        "driver library (cmake --install), or put it on PATH",
        [HOST_NAME],
        NOT_STARTED,
    )


class HostProcess:
    """gridmoor-host started in its own process group.

    `lines` is called with each line of its standard output when `stdout` is
    None; otherwise standard output goes to that file. Standard error always
    goes to `stderr`. Its standard input is a pipe this process holds (see
    --exit-with-parent). After `timeout` seconds it is asked to wind down
    as on SIGTERM, and `timed_out` is set.
    """

    def __init__(
        self,
        command: Sequence[str],
        stderr: Path,
        stdout: Optional[Path] = None,
        timeout: Optional[float] = None,
    ):
        self.command = [str(c) for c in command]
        self.interrupted = False
        self.timed_out = False
        self._timeout = timeout
        self._err = open(stderr, "wb")
        self._out = open(stdout, "wb") if stdout is not None else None
        try:
            self.process = subprocess.Popen(
                self.command,
                stdin=subprocess.PIPE,
                stdout=self._out if self._out is not None else subprocess.PIPE,
                stderr=self._err,
                process_group=0,
            )
        except OSError as error:
            self._close_files()
            raise GridmoorError(
                f"cannot start {self.command[0]}: {error}", self.command, NOT_STARTED
            ) from error

    def _close_files(self) -> None:
        self._err.close()
        if self._out is not None:
            self._out.close()
        if self.process.stdin is not None:
            self.process.stdin.close()

    def _signal_group(self, number: int) -> None:
        try:
            os.killpg(self.process.pid, number)
        except ProcessLookupError:
            pass

    def _interrupt(self, deadline: list[float]) -> None:
        # The first Ctrl-C asks the run to wind down; a second ends it at once.
        self._signal_group(signal.SIGINT)
        if not self.interrupted:
            self.interrupted = True
            deadline[0] = time.monotonic() + WIND_DOWN_SECONDS

    def wait(self, lines: Optional[Callable[[str], None]] = None) -> int:
        """Waits for the end; its exit status (128 + N when a signal N ended it).

        A KeyboardInterrupt meanwhile is passed on to the child, which is then
        waited for, and raised again once the child has ended.
        """
        deadline = [float("inf")]
        ends = time.monotonic() + self._timeout if self._timeout is not None else float("inf")
        pipe = self.process.stdout
        selector: Optional[selectors.DefaultSelector] = None
        if pipe is not None:
            selector = selectors.DefaultSelector()
            selector.register(pipe.fileno(), selectors.EVENT_READ)
        pending = b""
        failure: Optional[Exception] = None
        try:
            while True:
                try:
                    if time.monotonic() > deadline[0]:
                        self._signal_group(signal.SIGKILL)
                        deadline[0] = float("inf")
                    if time.monotonic() > ends and not self.timed_out:
                        self.timed_out = True
                        self._signal_group(signal.SIGTERM)
                        deadline[0] = time.monotonic() + WIND_DOWN_SECONDS
                    if selector is not None and pipe is not None:
                        if not selector.select(timeout=0.5):
                            continue
                        chunk = os.read(pipe.fileno(), 65536)
                        if not chunk:
                            selector.close()
                            selector = None
                            continue
                        pending += chunk
                        while b"\n" in pending:
                            line, pending = pending.split(b"\n", 1)
                            if lines is not None and failure is None:
                                try:
                                    lines(line.decode("utf-8", "replace"))
                                except Exception as error:  # noqa: BLE001 - raised below
                                    # The caller's code failed: the runs wind
                                    # down as on Ctrl-C, then its error is raised.
                                    failure = error
                                    self._signal_group(signal.SIGINT)
                                    deadline[0] = time.monotonic() + WIND_DOWN_SECONDS
                        continue
                    try:
                        self.process.wait(timeout=0.5)
                        break
                    except subprocess.TimeoutExpired:
                        continue
                except KeyboardInterrupt:
                    # Only the main thread gets Ctrl-C; other threads' runs
                    # wind down when the program ends (--exit-with-parent).
                    self._interrupt(deadline)
        finally:
            if selector is not None:
                selector.close()
            if pipe is not None:
                pipe.close()
            if self.process.returncode is None:
                # Only an error of this code gets here: nothing may outlive it.
                self._signal_group(signal.SIGKILL)
                self.process.wait()
            self._close_files()
        if failure is not None:
            raise failure
        if self.interrupted:
            raise KeyboardInterrupt
        if pending and lines is not None:
            lines(pending.decode("utf-8", "replace"))
        code = self.process.returncode
        assert code is not None
        return 128 - code if code < 0 else code


def run_host(command: Sequence[str], stdout: Path, stderr: Path) -> int:
    """Runs a host command to the end; its exit status (see HostProcess.wait)."""
    return HostProcess(command, stderr, stdout).wait()


def last_words(text: str) -> str:
    """What a failed command said last about why: its own "gridmoor-host: " line,
    else the last line it wrote at all, less the pointer to --help that
    follows a usage error's reason."""
    own = last = ""
    for line in text.splitlines():
        if line.startswith("gridmoor-host: "):
            own = line[len("gridmoor-host: ") :]
        if line.strip() and not line.startswith("Run with --help"):
            last = line
    return own or last
