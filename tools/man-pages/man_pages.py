#!/usr/bin/env python3
"""Manual pages and bash completion for gridmoor-host, made from its --help.

Runs the built program's --help for itself and for every subcommand it
lists (recursively), and writes one page per command into OUT/man1
(gridmoor-host.1, gridmoor-host-run.1, gridmoor-host-case-dump.1, ...) and
the completion script OUT/bash-completion/gridmoor-host. Nothing is written
by hand, so the pages cannot drift from the program.

    man_pages.py HOST VERSION OUT
"""

from __future__ import annotations

import os
import re
import subprocess
import sys
from dataclasses import dataclass, field
from pathlib import Path

PROGRAM = "gridmoor-host"
# CLI11 starts an entry's description in this column.
DESCRIPTION_COLUMN = 30


@dataclass
class Entry:
    names: list[str]
    # What follows the names: TEXT, INT:1 to 1024, REQUIRED, ...; empty for a flag.
    kind: str
    description: str


@dataclass
class Command:
    words: list[str]
    description: str = ""
    usage: str = ""
    positionals: list[Entry] = field(default_factory=list)
    options: list[Entry] = field(default_factory=list)
    subcommands: list[Entry] = field(default_factory=list)
    footer: str = ""

    @property
    def page(self) -> str:
        return "-".join([PROGRAM, *self.words])


def help_text(host: str, words: list[str]) -> str:
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LC_ALL": "C.UTF-8"}
    done = subprocess.run(
        [host, *words, "--help"], capture_output=True, text=True, env=env, timeout=60, check=False
    )
    if done.returncode != 0:
        sys.exit(f"man_pages.py: {PROGRAM} {' '.join(words)} --help failed: {done.stderr.strip()}")
    return done.stdout


def parse_entry(line: str) -> Entry:
    if len(line) > DESCRIPTION_COLUMN and line[DESCRIPTION_COLUMN - 1] == " ":
        head, description = line[:DESCRIPTION_COLUMN].strip(), line[DESCRIPTION_COLUMN:].strip()
    else:
        head, description = line.strip(), ""
    first, _, kind = head.partition(" ")
    return Entry(first.split(","), kind.strip(), description)


def parse(words: list[str], text: str) -> Command:
    command = Command(words)
    lines = text.rstrip("\n").split("\n")
    if lines and not lines[0].startswith("Usage:"):
        command.description = lines.pop(0).strip()
    sections = {"Positionals:": command.positionals, "Options:": command.options,
                "Subcommands:": command.subcommands}
    current: list[Entry] | None = None
    footer: list[str] = []
    for line in lines:
        if line.startswith("Usage:"):
            command.usage = line[len("Usage:"):].strip()
        elif line in sections:
            current = sections[line]
        elif not line.strip():
            current = None
        elif current is not None and line.startswith(" " * DESCRIPTION_COLUMN) and current:
            current[-1].description = (current[-1].description + " " + line.strip()).strip()
        elif current is not None and line.startswith("  "):
            current.append(parse_entry(line))
        else:
            current = None
            footer.append(line.strip())
    command.footer = " ".join(footer)
    if not command.usage:
        sys.exit(f"man_pages.py: no usage line in the help of {command.page}")
    return command


def commands(host: str, words: list[str]) -> list[Command]:
    command = parse(words, help_text(host, words))
    found = [command]
    for sub in command.subcommands:
        found += commands(host, [*words, sub.names[0]])
    return found


def roff(text: str) -> str:
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return re.sub(r"^([.'])", r"\\&\1", text, flags=re.MULTILINE)


def entry_items(entries: list[Entry], bold_names: bool) -> list[str]:
    out = []
    for e in entries:
        names = ", ".join(f"\\fB{roff(n)}\\fR" if bold_names else roff(n) for n in e.names)
        kind = f" \\fI{roff(e.kind)}\\fR" if e.kind else ""
        out += [".TP", names + kind, roff(e.description)]
    return out


def man_page(command: Command, all_commands: list[Command], version: str) -> str:
    title = command.page.upper()
    # The NAME line is a summary: the description's first clause.
    summary = re.split(r"[;.] | \(", command.description or "runs workbook-backed models")[0]
    out = [
        f'.TH {roff(title)} 1 "" "{PROGRAM} {version}" "User Commands"',
        ".SH NAME",
        f"{roff(command.page)} \\- {roff(summary)}",
        ".SH SYNOPSIS",
        f"\\fB{roff(PROGRAM)}\\fR {roff(command.usage.removeprefix(PROGRAM).strip())}",
    ]
    if command.description:
        out += [".SH DESCRIPTION", roff(command.description)]
    if command.positionals:
        out += [".SH ARGUMENTS", *entry_items(command.positionals, False)]
    if command.options:
        out += [".SH OPTIONS", *entry_items(command.options, True)]
    if command.subcommands:
        out += [".SH COMMANDS"]
        for sub in command.subcommands:
            page = "-".join([command.page, sub.names[0]])
            out += [".TP", f"\\fB{roff(sub.names[0])}\\fR", roff(sub.description), ".br",
                    f"See \\fB{roff(page)}\\fR(1)."]
    if command.footer:
        out += [".SH EXIT STATUS", roff(command.footer)]
    others = [c.page for c in all_commands if c is not command]
    out += [".SH SEE ALSO", ",\n".join(f"\\fB{roff(p)}\\fR(1)" for p in others)]
    return "\n".join(out) + "\n"


def takes_value(entry: Entry) -> bool:
    return bool(entry.kind) and not entry.kind.startswith("REQUIRED")


def completion(all_commands: list[Command]) -> str:
    subs, opts, valued = [], [], []
    for c in all_commands:
        # Keyed by the command line so far (bash allows no empty key).
        key = " ".join([PROGRAM, *c.words])
        subs.append(f'  ["{key}"]="{" ".join(s.names[0] for s in c.subcommands)}"')
        names = [n for e in c.options for n in e.names]
        opts.append(f'  ["{key}"]="{" ".join(names)}"')
        valued += [n for e in c.options if takes_value(e) for n in e.names]
    table = "\n".join
    return f"""# bash completion for {PROGRAM}, made from its --help -*- shell-script -*-
declare -gA _gridmoor_host_commands=(
{table(subs)}
)
declare -gA _gridmoor_host_options=(
{table(opts)}
)
_gridmoor_host_valued=" {" ".join(sorted(set(valued)))} "

_gridmoor_host() {{
  local cur=${{COMP_WORDS[COMP_CWORD]}} prev=${{COMP_WORDS[COMP_CWORD-1]}}
  local path={PROGRAM} word i
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${{COMP_WORDS[i]}}
    if [[ $_gridmoor_host_valued == *" $word "* ]]; then
      ((i++))
    elif [[ " ${{_gridmoor_host_commands[$path]}} " == *" $word "* ]]; then
      path="$path $word"
    fi
  done
  if [[ $_gridmoor_host_valued == *" $prev "* ]]; then
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
  elif [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "${{_gridmoor_host_options[$path]}}" -- "$cur")
  else
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -W "${{_gridmoor_host_commands[$path]}}" -- "$cur"; compgen -f -- "$cur")
  fi
}}
complete -F _gridmoor_host {PROGRAM}
"""


def main() -> None:
    if len(sys.argv) != 4:
        sys.exit("usage: man_pages.py HOST VERSION OUT")
    host, version, out = sys.argv[1], sys.argv[2], Path(sys.argv[3])
    found = commands(host, [])
    (out / "man1").mkdir(parents=True, exist_ok=True)
    for old in (out / "man1").glob("*.1"):
        old.unlink()
    for command in found:
        (out / "man1" / f"{command.page}.1").write_text(man_page(command, found, version))
    (out / "bash-completion").mkdir(exist_ok=True)
    (out / "bash-completion" / PROGRAM).write_text(completion(found))


if __name__ == "__main__":
    main()
