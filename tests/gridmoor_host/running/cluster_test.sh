#!/usr/bin/env bash
# The cluster example on a real scheduler: a one-node SLURM cluster (munge,
# slurmctld and slurmd on localhost, configured in a temporary folder) runs
# the job-array script over two separator scenarios with different inputs;
# `collect` must then show that each task ran its own scenario into its own
# folder. The daemons are stopped by process id at the end.
#
#   cluster_test.sh HOST-PROGRAM EXAMPLES-DIR
set -euo pipefail

host=$1
examples=$2
script="$examples/cluster/run-array.sbatch"

if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: the SLURM daemons and munge need root to start (this is uid $(id -u))"
  exit 77
fi
for program in munged slurmctld slurmd sbatch sinfo python3; do
  command -v "$program" >/dev/null || {
    echo "FAIL: $program is missing (scripts/install-deps installs slurm-wlm)" >&2
    exit 1
  }
done

work=$(mktemp -d /tmp/gridmoor-cluster-test.XXXXXX)
chmod 755 "$work"
pids=()
stop() {
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap stop EXIT

fail() {
  echo "FAIL: $*" >&2
  for log in "$work"/log/*.log "$work"/job/slurm-*.out; do
    [ -f "$log" ] && { echo "--- $log" >&2; tail -20 "$log" >&2; }
  done
  exit 1
}

# Two scenarios of the separator example: one timestep, different well rates.
mkdir -p "$work/scenarios" "$work/job" "$work/log"
python3 - "$examples/separator" "$work/scenarios" <<'PY'
import json, sys, os
example, folder = sys.argv[1], sys.argv[2]
base = json.load(open(os.path.join(example, "scenario.json")))
for name, rate in (("sep-low", 3000.0), ("sep-high", 6500.0)):
    s = json.loads(json.dumps(base))
    s["workbook"] = os.path.join(example, "separator.fods")
    s["run"]["timesteps"] = 1
    s["inputs"]["In-1"] = s["inputs"]["In-1"][:1]
    s["inputs"]["In-1"][0]["oilRate"] = rate
    json.dump(s, open(os.path.join(folder, name + ".json"), "w"), indent=2)
PY
printf 'sep-low.json\nsep-high.json\n' >"$work/scenarios/list.txt"

# munge with its own key and socket.
mkdir -m 700 "$work/munge"
head -c 1024 /dev/urandom >"$work/munge/munge.key"
chmod 400 "$work/munge/munge.key"
munged --force --key-file="$work/munge/munge.key" --socket="$work/munge/socket" \
  --pid-file="$work/munge/munged.pid" --log-file="$work/log/munged.log" \
  --seed-file="$work/munge/seed" || fail "munged did not start"
pids+=("$(cat "$work/munge/munged.pid")")
chmod 711 "$work/munge"

read -r ctld_port slurmd_port < <(python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])')
node=$(hostname -s)
export SLURM_CONF="$work/slurm.conf"
cat >"$SLURM_CONF" <<CONF
ClusterName=gridmoor-test
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
AuthInfo=socket=$work/munge/socket
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/log/slurmctld.log
SlurmdLogFile=$work/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
NodeName=$node NodeAddr=127.0.0.1 CPUs=2 RealMemory=4096 State=UNKNOWN
PartitionName=test Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF
mkdir -p "$work/state" "$work/spool"
slurmctld -D -f "$SLURM_CONF" >"$work/log/slurmctld.out" 2>&1 &
pids+=("$!")
slurmd -D -f "$SLURM_CONF" >"$work/log/slurmd.out" 2>&1 &
pids+=("$!")
for _ in $(seq 60); do
  [ "$(sinfo -h -o %t 2>/dev/null)" = "idle" ] && break
  sleep 0.5
done
[ "$(sinfo -h -o %t 2>/dev/null)" = "idle" ] || fail "the node never came up"

# The example script as a user submits it, over both lines of the list.
GRIDMOOR_HOST="$host" timeout 900 sbatch --wait --array=1-2 --mem=1G --chdir="$work/job" \
  "$script" "$work/scenarios/list.txt" "$work/results" >"$work/log/sbatch.log" 2>&1 ||
  fail "the array job failed: $(cat "$work/log/sbatch.log")"

"$host" collect "$work/results" --out "$work/summary" >"$work/log/collect.log" 2>&1 ||
  fail "collect: $(cat "$work/log/collect.log")"

python3 - "$work" <<'PY' || fail "collect's summary is not what the tasks ran"
import csv, json, os, sys
work = sys.argv[1]
summary = json.load(open(os.path.join(work, "summary", "summary.json")))
names = [s["scenario"] for s in summary["scenarios"]]
assert names == ["sep-low", "sep-high"], names
for s, rate in zip(summary["scenarios"], (3000.0, 6500.0)):
    assert s["passed"] and s["exitStatus"] == 0 and s["timesteps"] == 1, s
    assert s["file"] == os.path.join(work, "scenarios", s["scenario"] + ".json"), s
    folder = os.path.join(work, "results", s["scenario"])
    run = json.load(open(os.path.join(folder, "summary.json")))
    assert run["scenario"] == s["file"], run["scenario"]
    assert run["workbook"] == os.path.join(folder, "separator.fods"), run["workbook"]
    rows = [r for r in csv.DictReader(open(os.path.join(folder, "streams.csv")))
            if r["stream"] == "In-1"]
    assert len(rows) == 1 and float(rows[0]["oilRate"]) == rate, rows
print("ok: two tasks, two scenarios, two folders")
PY
