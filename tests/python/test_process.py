"""gridmoor-host as a child process, with stand-in hosts: how the program
is found, how failures come back, and that a Ctrl-C is passed on and waited
for, so that nothing outlives the call."""

from __future__ import annotations

import json
import os
import signal
import subprocess
import sys
import textwrap
from pathlib import Path
from subprocess import PIPE

import pytest

from conftest import ROOT, wait_until
import gridmoor

# A stand-in for gridmoor-host, driven by FAKE_MODE:
#   run-fails     writes a summary with an error and exits 1
#   refuses       says why on stderr and exits 1, writing nothing
#   usage         exits 2
#   run-waits     runs until its standard input ends (its parent is gone)
#   many-sigint   prints the first of FAKE_LINES, then waits for SIGINT;
#                 records it and exits 130 with the second half a second
#                 later, as a host winding down takes a while
#   many-deaf     as many-sigint but ignores SIGINT
FAKE = textwrap.dedent(
    """\
    #!/usr/bin/env python3
    import json, os, signal, sys, time
    mode = os.environ["FAKE_MODE"]
    log = os.environ["FAKE_LOG"]
    waited = {"many-sigint": signal.SIGINT}.get(mode)
    if waited is not None:
        signal.pthread_sigmask(signal.SIG_BLOCK, {waited})
    def note(text):
        with open(log, "a") as f:
            f.write(text + "\\n")
    note("pid %d %s" % (os.getpid(), " ".join(sys.argv[1:])))
    args = sys.argv[1:]
    out = args[args.index("--out") + 1] if "--out" in args else None
    if mode == "run-fails":
        os.makedirs(out, exist_ok=True)
        open(os.path.join(out, "streams.csv"), "w").write(
            "timestep,date,stream,oilRate\\n0,2024-01-01,In-1,5\\n")
        json.dump({"status": "failed", "error": {"message": "Unable to run macro X",
                   "command": "PreSolve", "code": 100, "timestep": 0}},
                  open(os.path.join(out, "summary.json"), "w"))
        sys.stderr.write("gridmoor-host: PreSolve (code 100) failed\\n")
        sys.exit(1)
    if mode == "refuses":
        sys.stderr.write(
            "a note\\ngridmoor-host: scenario.json: unknown key 'run.stepdays'\\nlater\\n")
        sys.exit(1)
    if mode == "run-waits":
        sys.stdin.buffer.read()
        note("parent gone")
        sys.exit(143)
    if mode == "usage":
        sys.stderr.write("The following argument was not expected: --report\\n"
                         "Run with --help or --help-all for more.\\n")
        sys.exit(2)
    first, second = json.loads(os.environ["FAKE_LINES"])
    if mode == "many-deaf":
        signal.signal(signal.SIGINT, signal.SIG_IGN)
    print(first, flush=True)
    if mode == "many-deaf":
        while True:
            signal.pause()
    signal.sigwait({waited})
    note("SIGINT")
    time.sleep(0.5)
    print(second, flush=True)
    sys.exit(130)
    """
)


@pytest.fixture(scope="module")
def finished_lines(host: Path, tmp_path_factory: pytest.TempPathFactory) -> str:
    """What run-many prints as scenarios a and b finish, from the program
    itself (they fail before an office starts), for the stand-in to print."""
    folder = tmp_path_factory.mktemp("lines")
    files = []
    for name in ("a", "b"):
        files.append(folder / f"{name}.json")
        files[-1].write_text(
            json.dumps({"workbook": str(folder / "nowhere.fods"), "case": {}, "run": {}})
        )
    command = [str(host), "run-many", *map(str, files), "--jobs", "1", "--fresh-offices"]
    command += ["--progress", "json", "--out", str(folder / "out")]
    done = subprocess.run(command, capture_output=True, text=True, timeout=60)
    lines = [line for line in done.stdout.splitlines() if '"scenario-finished"' in line]
    assert len(lines) == 2, done.stdout + done.stderr
    return json.dumps(lines)


@pytest.fixture
def fake(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> Path:
    program = tmp_path / "bin" / "gridmoor-host"
    program.parent.mkdir()
    program.write_text(FAKE.replace("/usr/bin/env python3", sys.executable, 1))
    program.chmod(0o755)
    monkeypatch.setenv("FAKE_LOG", str(tmp_path / "log"))
    return program


def test_host_is_found_by_variable_then_beside_the_library_then_on_path(
    tmp_path: Path, fake: Path, monkeypatch: pytest.MonkeyPatch
) -> None:
    # An installed prefix whose pkg-config names the library.
    prefix = tmp_path / "prefix"
    (prefix / "lib" / "x86_64-linux-gnu").mkdir(parents=True)
    (prefix / "bin").mkdir()
    installed = prefix / "bin" / "gridmoor-host"
    installed.write_text("#!/bin/sh\n")
    installed.chmod(0o755)
    tools = tmp_path / "tools"
    tools.mkdir()
    pkg_config = tools / "pkg-config"
    pkg_config.write_text(f"#!/bin/sh\necho {prefix}/lib/x86_64-linux-gnu/libGridmoor110.so\n")
    pkg_config.chmod(0o755)
    monkeypatch.setenv("PATH", f"{tools}:{fake.parent}")
    monkeypatch.setenv("GRIDMOOR_HOST", str(fake))
    assert gridmoor.find_host() == fake
    assert gridmoor.find_host(installed) == installed
    monkeypatch.delenv("GRIDMOOR_HOST")
    assert gridmoor.find_host() == installed
    pkg_config.write_text("#!/bin/sh\nexit 1\n")
    assert gridmoor.find_host() == fake
    monkeypatch.setenv("PATH", str(tools))
    with pytest.raises(gridmoor.HostNotFound, match="GRIDMOOR_HOST"):
        gridmoor.find_host()
    monkeypatch.setenv("GRIDMOOR_HOST", str(tmp_path / "nothing"))
    with pytest.raises(gridmoor.HostNotFound, match="not a program"):
        gridmoor.find_host()


def test_a_failed_run_raises_its_error_with_the_partial_results(
    fake: Path, monkeypatch: pytest.MonkeyPatch
) -> None:
    monkeypatch.setenv("FAKE_MODE", "run-fails")
    with pytest.raises(gridmoor.RunError) as raised:
        gridmoor.run({"run": {}}, host=fake)
    error = raised.value
    fields = (error.message, error.command, error.command_code, error.timestep, error.code)
    assert fields == ("Unable to run macro X", "PreSolve", 100, 0, 1)
    assert error.argv[0] == str(fake) and "--exit-with-parent" in error.argv
    assert str(error) == "Unable to run macro X (PreSolve, timestep 0)"
    assert error.result is not None and not error.result.ok
    assert error.result.streams["oilRate"].tolist() == [5.0]
    assert error.result.folder is None  # the temporary folder is gone


def test_a_refused_scenario_says_why_and_a_usage_error_is_no_run_error(
    fake: Path, monkeypatch: pytest.MonkeyPatch
) -> None:
    monkeypatch.setenv("FAKE_MODE", "refuses")
    with pytest.raises(gridmoor.RunError) as raised:
        gridmoor.run({"run": {}}, host=fake)
    refused = raised.value
    assert refused.message == "scenario.json: unknown key 'run.stepdays'"
    assert (refused.command, refused.timestep, refused.result.summary) == (None, None, {})
    assert (refused.code, refused.argv[1]) == (1, "run")
    monkeypatch.setenv("FAKE_MODE", "usage")
    with pytest.raises(gridmoor.GridmoorError) as usage:
        gridmoor.run({"run": {}}, report=True, host=fake)
    # Its reason, not the pointer to --help after it.
    said = "gridmoor-host refused the command: The following argument was not expected: --report"
    assert usage.value.message == said
    assert not isinstance(usage.value, gridmoor.RunError)
    assert "--report" in usage.value.argv and usage.value.code == 2
    # run_many's options reach the host's command line.
    with pytest.raises(gridmoor.GridmoorError) as many:
        gridmoor.run_many([{"run": {}}], jobs=3, fresh_offices=True, save=True, host=fake)
    assert many.value.argv[-4:] == ["--jobs", "3", "--save", "--fresh-offices"]
    with pytest.raises(gridmoor.HostNotFound) as missing:
        gridmoor.run({"run": {}}, host=fake.parent / "none")
    assert (missing.value.code, missing.value.argv) == (127, [str(fake.parent / "none")])


DRIVER = textwrap.dedent(
    """\
    import sys
    sys.path.insert(0, {package!r})
    import gridmoor
    from gridmoor import _process
    _process.WIND_DOWN_SECONDS = 1.0
    def progress(event):
        if event.kind != "scenario-finished":
            return
        print("progress", event.done, event.total, event.result.name, flush=True)
        if {fail_in_callback!r}:
            raise RuntimeError("the caller's callback failed")
    try:
        gridmoor.run_many([gridmoor.Scenario({{}}, name="a"), gridmoor.Scenario({{}}, name="b")],
                          host={host!r}, progress=progress)
    except KeyboardInterrupt:
        print("KeyboardInterrupt", flush=True)
        sys.exit(130)
    except RuntimeError as error:
        print("raised", error, flush=True)
        sys.exit(3)
    """
)


def _start_driver(
    tmp_path: Path, fake: Path, mode: str, lines: str, fail_in_callback: bool = False
) -> subprocess.Popen[str]:
    script = tmp_path / "driver.py"
    package, host = str(ROOT / "python"), str(fake)
    script.write_text(DRIVER.format(package=package, host=host, fail_in_callback=fail_in_callback))
    env = dict(os.environ, FAKE_MODE=mode, FAKE_LINES=lines)
    command = [sys.executable, str(script)]
    return subprocess.Popen(command, stdout=PIPE, stderr=PIPE, text=True, env=env)


def _host_pid(log: Path) -> int:
    def started() -> bool:
        return log.exists() and log.read_text().startswith("pid ")

    wait_until(started, 10, "the stand-in host never started")
    return int(log.read_text().split()[1])


def _gone(pid: int) -> bool:
    return not Path(f"/proc/{pid}").exists()


@pytest.mark.parametrize("mode", ["many-sigint", "many-deaf"])
def test_ctrl_c_is_passed_on_and_waited_for(
    tmp_path: Path, fake: Path, finished_lines: str, mode: str
) -> None:
    driver = _start_driver(tmp_path, fake, mode, finished_lines)
    pid = _host_pid(tmp_path / "log")
    # Wait for the first finished scenario, so that the pipe is being read.
    assert driver.stdout is not None
    assert driver.stdout.readline().split() == ["progress", "1", "2", "a"]
    driver.send_signal(signal.SIGINT)
    out, err = driver.communicate(timeout=30)
    assert driver.returncode == 130, err
    assert out.strip().endswith("KeyboardInterrupt")
    assert _gone(pid)
    log = (tmp_path / "log").read_text()
    if mode == "many-sigint":
        # Passed on once; the lines the host wrote while winding down were read.
        assert log.count("SIGINT") == 1
        assert "progress 2 2 b" in out
    else:
        # A host that does not wind down is killed after the grace time.
        assert "SIGINT" not in log


def test_an_error_in_the_progress_callback_stops_the_runs_first(
    tmp_path: Path, fake: Path, finished_lines: str
) -> None:
    driver = _start_driver(tmp_path, fake, "many-sigint", finished_lines, fail_in_callback=True)
    pid = _host_pid(tmp_path / "log")
    out, err = driver.communicate(timeout=30)
    assert driver.returncode == 3, err
    assert "raised the caller's callback failed" in out
    assert "SIGINT" in (tmp_path / "log").read_text()
    assert _gone(pid)


def test_the_host_sees_python_die_through_its_input_and_nothing_runs_before_exec(
    tmp_path: Path, fake: Path
) -> None:
    package = (ROOT / "python" / "gridmoor").glob("*.py")
    assert not [f.name for f in package if "preexec_fn" in f.read_text(encoding="utf-8")]
    script = tmp_path / "dies.py"
    script.write_text(
        f"import sys; sys.path.insert(0, {str(ROOT / 'python')!r})\n"
        f"import gridmoor; gridmoor.run({{}}, host={str(fake)!r})\n"
    )
    env = dict(os.environ, FAKE_MODE="run-waits")
    driver = subprocess.Popen([sys.executable, str(script)], env=env)
    log = tmp_path / "log"
    _host_pid(log)
    assert "--exit-with-parent" in log.read_text()
    driver.kill()
    driver.wait()
    wait_until(lambda: "parent gone" in log.read_text(), 5, "the host never saw Python end")
