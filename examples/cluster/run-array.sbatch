#!/usr/bin/env bash
# One gridmoor-host run per array task: task N runs the scenario on line N of
# a list file, into its own folder, with a private temporary folder.
#
#   sbatch --array=1-$(wc -l < scenarios.txt) run-array.sbatch scenarios.txt results
#
# Afterwards `gridmoor-host collect results` gives the summary run-many gives.
#SBATCH --job-name=gridmoor
#SBATCH --array=1-8
#SBATCH --cpus-per-task=1
#SBATCH --mem=2G
#SBATCH --time=01:00:00
#SBATCH --output=slurm-%A_%a.out
set -euo pipefail

usage="usage: sbatch --array=1-N run-array.sbatch SCENARIO-LIST OUT-FOLDER"
list=${1:?$usage}
out=${2:?$usage}
task=${SLURM_ARRAY_TASK_ID:?not an array task: submit with sbatch --array ($usage)}
host=${GRIDMOOR_HOST:-gridmoor-host}

# Line N of the list; blank lines and comments count as lines, so task
# numbers stay line numbers.
scenario=$(sed -n "${task}p" "$list")
if [ -z "$scenario" ] || [ "${scenario:0:1}" = "#" ]; then
  echo "task $task: line $task of $list names no scenario" >&2
  exit 2
fi
# Relative names are taken from the list's folder.
if [ "${scenario:0:1}" != "/" ]; then
  scenario="$(cd "$(dirname "$list")" && pwd)/$scenario"
fi

# The folder is the scenario's name; where two lines share a file name, the
# task number goes first.
name=$(basename "$scenario" .json)
if [ "$(awk -F/ -v file="$name.json" '$NF == file' "$list" | wc -l)" -gt 1 ]; then
  name="$task-$name"
fi
folder="$out/$name"
mkdir -p "$folder"
rm -f "$folder/outcome.json"

# Private scratch space: the office's profile and the run's files.
TMPDIR=$(mktemp -d "${TMPDIR:-/tmp}/gridmoor-${SLURM_ARRAY_JOB_ID:-job}-$task.XXXXXX")
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT
# scancel sends SIGTERM to the run too, which winds down and writes what it
# has; this shell only waits for it and records its status.
trap ':' TERM INT

start=$(date +%s%N)
status=0
"$host" run "$scenario" --out "$folder" --quiet --work-on-copies \
  >"$folder/stdout.txt" 2>"$folder/stderr.txt" || status=$?
end=$(date +%s%N)

json_text() {
  local text=${1//\\/\\\\}
  printf '"%s"' "${text//\"/\\\"}"
}
{
  printf '{\n  "scenario": %s,\n' "$(json_text "$scenario")"
  printf '  "index": %d,\n  "exitStatus": %d,\n' "$task" "$status"
  printf '  "wallSeconds": %s\n}\n' "$(awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }')"
} >"$folder/outcome.json"
exit "$status"
