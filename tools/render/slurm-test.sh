#!/usr/bin/env bash
# The Slurm recipe of docs/renderer.md, for real: a single-node Slurm (its
# own munge key and socket, its own ports, spool and state in a temporary
# folder) runs slurm-movie.sh as a job array, and the frames must be those
# of one run, byte for byte. Everything it starts is stopped at the end.
# Runs as root, as in CI (slurmd starts the jobs as their user).
# Usage: slurm-test.sh QUAXEL-RENDER WORK_FOLDER
set -uo pipefail
render="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
here="$(cd "$(dirname "$0")" && pwd)"
work="$2"
rm -rf "${work}"
mkdir -p "${work}"
cd "${work}" || exit 1
source "${here}/expect.sh"

for tool in munged slurmctld slurmd sbatch squeue; do
  command -v "${tool}" >/dev/null || { echo "FAIL: ${tool} is missing: run tools/bootstrap.sh"; exit 1; }
done
[ "$(id -u)" = 0 ] || { echo "FAIL: a single-node Slurm needs root (slurmd starts the jobs)"; exit 1; }

# What runs already is not ours: only processes that appear from here on are.
daemons() { local name; for name in munged slurmctld slurmd slurmstepd; do pgrep -x "${name}"; done; }
before="$(daemons)"

# The daemons' state lives in a short path: a Unix socket's name may not be
# longer than 107 bytes.
state="$(mktemp -d /tmp/quaxel-slurm.XXXXXX)"
pids=()
stop_all() {
  local pid
  for pid in "${pids[@]}"; do kill "${pid}" 2>/dev/null; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 1 50); do kill -0 "${pid}" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "${pid}" 2>/dev/null
    wait "${pid}" 2>/dev/null
  done
  pids=()
}
trap 'stop_all; rm -rf "${state}"' EXIT

# Two ports nobody listens on, away from Slurm's own 6817 and 6818.
used="$(ss -Htan 2>/dev/null | awk '{print $4}' | sed 's/.*://' | sort -u)"
free_port() {  # sets `port`, and counts it as used
  while :; do
    port=$((20000 + RANDOM % 40000))
    grep -qx "${port}" <<<"${used}" || { used+=$'\n'"${port}"; return; }
  done
}
free_port && ctld_port="${port}"
free_port && slurmd_port="${port}"
node="$(hostname -s)"

dd if=/dev/urandom of="${state}/munge.key" bs=1024 count=1 status=none
chmod 400 "${state}/munge.key"
munged -F --force --socket="${state}/munge.sock" --key-file="${state}/munge.key" --pid-file="${state}/munged.pid" \
  --log-file="${state}/munged.log" --seed-file="${state}/munged.seed" >"${state}/munged.out" 2>&1 &
pids+=($!)

mkdir -p "${state}/spool" "${state}/ctld"
cat >"${state}/slurm.conf" <<CONF
ClusterName=quaxeltest
SlurmctldHost=${node}(127.0.0.1)
SlurmctldPort=${ctld_port}
SlurmdPort=${slurmd_port}
AuthInfo=socket=${state}/munge.sock
StateSaveLocation=${state}/ctld
SlurmdSpoolDir=${state}/spool
SlurmctldPidFile=${state}/slurmctld.pid
SlurmdPidFile=${state}/slurmd.pid
SlurmctldLogFile=${state}/slurmctld.log
SlurmdLogFile=${state}/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
NodeName=${node} NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=quaxel Nodes=${node} Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="${state}/slurm.conf"
for _ in $(seq 1 50); do [ -S "${state}/munge.sock" ] && break; sleep 0.1; done
slurmctld -D -i >"${state}/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D >"${state}/slurmd.out" 2>&1 &
pids+=($!)

# The reference: one run of the whole movie.
movie=(--frames 6 --size 64x48 --real -0.7536 -0.7336 --imag 0.09 0.105 --iter 64 64 512)
mkdir one frames
"${render}" "${movie[@]}" 'one/f%02d.png' >one.txt 2>&1 || fail "the single run failed: $(cat one.txt)"

# Wait for the node, then the recipe's line of docs/renderer.md as it
# stands, with three parts; sbatch waits for the whole array here.
for _ in $(seq 1 100); do
  sinfo -h -o %t 2>/dev/null | grep -qE '^(idle|mix|alloc)' && break
  sleep 0.2
done
sinfo -h -o '%t' | grep -qE '^(idle|mix|alloc)' || { fail "the node never came up"; cat "${state}"/*.log; }
line="$(grep -m1 '^sbatch --array=' "${here}/../../docs/renderer.md")"
[ -n "${line}" ] || fail "docs/renderer.md has no sbatch line"
cp "${here}/slurm-movie.sh" .
mkdir bin
printf '#!/bin/sh\nexec timeout 60 %s --wait "$@"\n' "$(command -v sbatch)" >bin/sbatch
chmod +x bin/sbatch
if ! PATH="${work}/bin:${PATH}" R="${render}" MOVIE="${movie[*]} --resume frames/f%02d.png" N=3 \
    bash -c "${line}" >sbatch.txt 2>&1; then
  fail "the job array failed: ${line}: $(cat sbatch.txt)"
  cat quaxel-movie-*.log "${state}/slurmd.log" 2>/dev/null | tail -40
fi
for f in one/*.png; do cmp -s "${f}" "frames/${f#one/}" || fail "${f#one/} from the job array differs from one run"; done
for task in 0 1 2; do
  grep -q "^Frames: 2 written, 0 existing skipped, 0 failed (part ${task}/3: 2 of 6 frames)" quaxel-movie-*_${task}.log \
    || fail "task ${task} did not render its part: $(cat quaxel-movie-*_${task}.log)"
done

stop_all
# Nothing the test started may still run: the job steps went with the jobs
# (a step that ended may wait a moment for its parent to collect it).
ours() {
  local pid
  for pid in $(daemons); do
    grep -qw "${pid}" <<<"${before}" || [ "$(ps -o stat= -p "${pid}" | cut -c1)" = Z ] || echo "${pid}"
  done
}
for _ in $(seq 1 50); do [ -z "$(ours)" ] && break; sleep 0.1; done
for pid in $(ours); do
  fail "$(ps -o args= -p "${pid}") (${pid}) of the test's Slurm is still running"
  kill -KILL "${pid}" 2>/dev/null
done
[ "${failures}" -eq 0 ] && echo "all passed"
exit $((failures > 0))
