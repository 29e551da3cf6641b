#!/usr/bin/env bash
# make test-farm: the farm recipes in farm/ run for real, on a one-node Slurm
# cluster started here and with GNU parallel, and their merged output
# compared byte for byte with a local render of the same scene and range.
# Faults are made on purpose: a simulation job and a picture task are killed
# part-way and submitted again.
#
# Runs as root (it installs packages and starts munged, slurmctld and
# slurmd).  Every daemon it starts is stopped by its process ID and its
# folder removed, however the test ends.  A daemon that cannot start fails
# the test with its own message.
#
# usage: scripts/test-farm.sh [BUILD_DIR]   (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$(pwd)"
build="$(cd "${1:-build/release}" && pwd)"
plmhost="$build/bin/plmhost"
started=$SECONDS

say() { echo "test-farm [$((SECONDS - started)) s]: $*" >&2; }
fail() { say "FAILED: $*"; exit 1; }

[ "$(id -u)" -eq 0 ] || fail "run as root: it installs Slurm and munge and starts their daemons"
[ -x "$plmhost" ] || fail "no $plmhost; build it first (make release)"
scripts/setup.sh farm

# Ports of this private cluster, on the loopback address only.
ctld_port=${PLM_FARM_PORT:-16817}
slurmd_port=$((ctld_port + 1))
node="$(hostname -s)"
# The daemons bind to the address the node's name resolves to.
case "$(getent ahostsv4 "$node" | awk 'NR == 1 { print $1 }')" in
  127.*) ;;
  *) fail "the machine's name $node does not resolve to a loopback address (see /etc/hosts); the cluster binds to it" ;;
esac

tmp="$(mktemp -d /tmp/plmfarm.XXXXXX)"
chmod 755 "$tmp"  # munged wants its socket's folders reachable by everyone
declare -A pid=()

stop_daemon() {  # name: TERM, then KILL after ten seconds
  local p=${pid[$1]:-}
  [ -n "$p" ] || return 0
  kill "$p" 2>/dev/null || true
  for _ in $(seq 100); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$p" 2>/dev/null || true
  wait "$p" 2>/dev/null || true
  unset "pid[$1]"
}

cleanup() {
  local status=$?
  trap - EXIT INT TERM
  if [ -n "${pid[slurmctld]:-}" ]; then
    # The jobs first, so that no job step outlives its daemons.
    squeue -h -o %A 2>/dev/null | xargs -r scancel 2>/dev/null || true
    for _ in $(seq 100); do [ -z "$(squeue -h 2>/dev/null)" ] && break; sleep 0.2; done
  fi
  for d in slurmd slurmctld munged; do stop_daemon "$d"; done
  rm -rf "$tmp"
  [ $status -eq 0 ] && say "passed in $((SECONDS - started)) s" || say "failed after $((SECONDS - started)) s"
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A daemon that died shows what it said.
check_alive() {
  for d in "${!pid[@]}"; do
    if ! kill -0 "${pid[$d]}" 2>/dev/null; then
      say "$d exited; what it said:"
      cat "$tmp/$d.out" "$tmp/$d.log" 2>/dev/null | tail -40 >&2
      unset "pid[$d]"
      fail "$d could not start"
    fi
  done
}

# --- munge ----------------------------------------------------------------
mkdir -p "$tmp/munge" "$tmp/state" "$tmp/spool"
chmod 755 "$tmp/munge"
mungekey --create --keyfile="$tmp/munge/munge.key"
chmod 400 "$tmp/munge/munge.key"
socket="$tmp/munge/munge.socket"
munged --foreground --key-file="$tmp/munge/munge.key" --socket="$socket" --pid-file="$tmp/munge/munged.pid" \
  --log-file="$tmp/munged.log" --seed-file="$tmp/munge/munged.seed" >"$tmp/munged.out" 2>&1 &
pid[munged]=$!
for _ in $(seq 50); do [ -S "$socket" ] && break; check_alive; sleep 0.1; done
check_alive
munge -n -S "$socket" | unmunge -S "$socket" >/dev/null || fail "munge cannot encode and decode a credential"

# --- Slurm ----------------------------------------------------------------
# No cgroups (proctrack/linuxproc, task/none, no accounting gathering), no
# RealMemory (slurmd would drain a node that reports less), CPUs as counted.
export SLURM_CONF="$tmp/slurm.conf"
cat >"$SLURM_CONF" <<CONF
ClusterName=plmfarm
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
CommunicationParameters=NoInAddrAny,NoCtldInAddrAny
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/slurmctld.log
SlurmdLogFile=$tmp/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
MinJobAge=600
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=farm Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF
slurmctld -D -f "$SLURM_CONF" >"$tmp/slurmctld.out" 2>&1 &
pid[slurmctld]=$!
slurmd -D -f "$SLURM_CONF" >"$tmp/slurmd.out" 2>&1 &
pid[slurmd]=$!
for _ in $(seq 120); do
  check_alive
  [ "$(sinfo -h -o %T 2>/dev/null)" = idle ] && break
  sleep 0.5
done
[ "$(sinfo -h -o %T 2>/dev/null)" = idle ] || {
  sinfo >&2 || true
  tail -20 "$tmp/slurmctld.log" "$tmp/slurmd.log" >&2 || true
  fail "the node never became idle"
}
say "cluster up: node $node, $(nproc) CPUs, in $((SECONDS - started)) s"

# --- the shot -------------------------------------------------------------
# About 110,000 live particles by the last frame: long enough per frame for
# the jobs to be killed part-way, short enough for the whole test to take a
# few minutes on two cores.
frames=0-59 first=0 last=59 size=320x180 every=10 per_task=10
long_task=30  # frames per picture task where one is killed part-way
scene="$tmp/scene.json"
"$plmhost" new "$scene" --frames "$frames" --set maxParticles=150000 --set emitFrequency=60000 \
  --set lifeTime=2 --set lifeTimeErr=0.5 >/dev/null

# Seconds of a command, to one decimal.
timed() {
  local t0 t1
  t0=$(date +%s.%N)
  "$@"
  t1=$(date +%s.%N)
  elapsed=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", b - a }')
}

timed "$plmhost" render "$scene" --frames "$frames" --png --size "$size" --out "$tmp/ref" --quiet >/dev/null
t_render=$elapsed
# What each stage costs on this shot, run here one after the other.
timed "$plmhost" simulate "$scene" --frames "$frames" --out "$tmp/stages" --checkpoint-every "$every" --quiet >/dev/null
t_simulate=$elapsed
timed "$plmhost" draw "$tmp/stages" --frames "$frames" --size "$size" --jobs 1 >/dev/null
t_draw=$elapsed
timed "$plmhost" merge "$tmp/stages-merged" "$tmp/stages" --size "$size" >/dev/null
t_merge=$elapsed
say "stage costs, frames $frames at $size: render --png ${t_render} s; simulate ${t_simulate} s," \
  "draw (one job) ${t_draw} s, merge ${t_merge} s"

# The merged folder holds the reference's frames, pictures and contact sheet,
# byte for byte, and a report that matches it but for timings and paths.
compare_to_reference() {
  local dir=$1 what=$2 f
  [ -f "$dir/render.json" ] || fail "$what: no $dir/render.json"
  diff <(cd "$tmp/ref" && ls frame_* preview.png) <(cd "$dir" && ls frame_* preview.png) >&2 ||
    fail "$what: other files than the local render"
  for f in $(cd "$tmp/ref" && ls frame_* preview.png); do
    cmp -s "$tmp/ref/$f" "$dir/$f" || fail "$what: $f differs from the local render"
  done
  python3 - "$tmp/ref/render.json" "$dir/render.json" <<'PY' || fail "$what: render.json does not match the local render's"
import json, sys
def kept(path):
    j = json.load(open(path))
    return {"plugin": {k: j["plugin"][k] for k in ("name", "version", "sha256")},
            "scene": {k: j["scene"][k] for k in ("sha256", "content")},
            "frames": j["frames"], "status": j["status"], "complete": j["complete"],
            "frameResults": [{k: v for k, v in r.items() if k != "seconds"} for r in j["frameResults"]]}
a, b = kept(sys.argv[1]), kept(sys.argv[2])
for key in a:
    x, y = a[key], b[key]
    if x != y and isinstance(x, list) and isinstance(y, list) and len(x) == len(y):
        key, x, y = next((f"{key}[{i}]", p, q) for i, (p, q) in enumerate(zip(x, y)) if p != q)
    if x != y:
        print(f"  {key}: local {json.dumps(x)[:300]}\n  {' ' * len(key)}  farm  {json.dumps(y)[:300]}", file=sys.stderr)
sys.exit(a != b)
PY
  say "$what: $(ls "$dir" | grep -c '^frame_') files and the contact sheet equal the local render's"
}

job_state() { scontrol show job "$1" -o 2>/dev/null | grep -o 'JobState=[A-Z_]*' | cut -d= -f2; }
wait_job() {  # until the job (or array task) has ended; prints its state
  local state
  for _ in $(seq 1200); do
    state=$(job_state "$1")
    case "$state" in PENDING | RUNNING | CONFIGURING | COMPLETING | "") sleep 0.2 ;; *) echo "$state"; return 0 ;; esac
  done
  fail "job $1 never ended"
}
kill_plmhost() {  # SIGKILL to the plmhost a job (or array task) runs
  local p killed=0 id
  id=$(scontrol show job "$1" -o 2>/dev/null | grep -o '^JobId=[0-9]*' | cut -d= -f2)
  for p in $(scontrol listpids "$id" 2>/dev/null | awk 'NR > 1 { print $1 }'); do
    if [ "$(cat "/proc/$p/comm" 2>/dev/null)" = plmhost ]; then kill -KILL "$p" && killed=1; fi
  done
  [ $killed -eq 1 ] || fail "job $1 runs no plmhost to kill; did it finish too soon?"
}
report_field() { python3 -c 'import json,sys; j=json.load(open(sys.argv[1])); print(eval(sys.argv[2], {"j": j}))' "$@"; }

# --- 1. Slurm: a chain of two simulation jobs, picture arrays, merge -------
shot="$tmp/shot-chain"
timed farm/slurm/submit.sh "$scene" "$shot" --frames "$frames" --sim-jobs 2 --picture-frames "$per_task" \
  --size "$size" --checkpoint-every "$every" --plmhost "$plmhost" --wait >"$tmp/chain.out" ||
  { cat "$tmp/chain.out" "$shot"/logs/* >&2; fail "the Slurm pipeline failed"; }
t_chain=$elapsed
cat "$tmp/chain.out" >&2
compare_to_reference "$shot/final" "Slurm chain"
# The second simulation job went on from the first one's last checkpoint.
route=$(report_field "$shot/sim-30/render.json" 'j["startedFrom"]["route"], j["startedFrom"]["frame"]')
[ "$route" = "('checkpoint', 30)" ] || fail "the second simulation job started by $route, not from frame 29's checkpoint"
grep -h "starting from checkpoint" "$shot"/logs/sim-30-*.log >&2 || fail "the second simulation job's log does not say where it started"

# --- 2. Slurm, faults: the simulation killed part-way and submitted again,
# then one picture task killed part-way and submitted again -------------------
shot="$tmp/shot-faults"
farm/slurm/submit.sh "$scene" "$shot" --frames "$frames" --picture-frames "$long_task" --size "$size" \
  --checkpoint-every "$every" --plmhost "$plmhost" >"$tmp/faults.out"
read -r sim draw < <(sed -n 's/.*simulation job \([0-9]*\), picture array \([0-9]*\).*/\1 \2/p' "$tmp/faults.out")
merge_job=$(sed -n 's/^merge: job \([0-9]*\).*/\1/p' "$tmp/faults.out")
[ -n "$sim" ] && [ -n "$draw" ] && [ -n "$merge_job" ] || { cat "$tmp/faults.out" >&2; fail "submit.sh printed no job IDs"; }

newest_checkpoint() { { ls "$shot/checkpoints" 2>/dev/null || true; } | sed -n 's/^checkpoint_0*\([0-9][0-9]*\)\.plmck$/\1/p' | sort -n | tail -1; }
# Killed once its second checkpoint is written (checked without starting a
# process, so that the kill comes right after it).
second="$shot/checkpoints/$(printf checkpoint_%04d.plmck $((first + 2 * every - 1)))"
for _ in $(seq 6000); do [ -f "$second" ] && break; sleep 0.01; done
# Cancelled the way Slurm ends a job (SIGTERM, then SIGKILL): plmhost keeps
# its whole frames, writes a checkpoint at the last one and its report.
scancel "$sim"
state=$(wait_job "$sim")
[ "$state" != COMPLETED ] || fail "the simulation finished before it could be killed; lengthen the test's shot"
c=$(newest_checkpoint)
say "simulation job $sim cancelled ($state) after $(ls "$shot/sim-$first" | grep -c '^frame_.*ply$') frames," \
  "its newest checkpoint at frame $c"
[ "$(wait_job "$merge_job")" != COMPLETED ] || fail "the merge ran after a failed simulation"

sbatch --wait --output="$shot/logs/sim-again-%j.log" --export="ALL,SHOT=$shot,CHUNK=$first" \
  farm/slurm/simulate.sbatch >/dev/null || { cat "$shot"/logs/sim-again-* >&2; fail "the resubmitted simulation failed"; }
grep -h "starting from checkpoint" "$shot"/logs/sim-again-*.log >&2 ||
  fail "the resubmitted simulation's log does not say it continued from a checkpoint"
route=$(report_field "$shot/sim-$first/render.json" 'j["startedFrom"]["route"], j["startedFrom"]["frame"]')
[ "$route" = "('checkpoint', $((c + 1)))" ] ||
  fail "the resubmitted simulation started by $route, not right after the checkpoint at frame $c"
say "the resubmitted simulation continued from frame $c's checkpoint: first frame simulated $((c + 1))"

# The pictures, and task 1's plmhost killed (SIGKILL, as when a node dies)
# once it has drawn its first frame.
tasks=$(((last - first) / long_task))
draw=$(sbatch --parsable --array="0-$tasks" --output="$shot/logs/draw-%a-%A.log" \
  --export="ALL,SHOT=$shot,CHUNK=$first" farm/slurm/draw.sbatch)
victim_first=$((first + long_task))
victim_png="$shot/sim-$first/$(printf frame_%04d.png "$victim_first")"
for _ in $(seq 6000); do [ -f "$victim_png" ] && break; sleep 0.01; done
kill_plmhost "${draw}_1"
for t in $(seq 0 "$tasks"); do wait_job "${draw}_$t" >/dev/null; done
missing=0
for ((f = victim_first; f < victim_first + long_task; f++)); do
  [ -f "$shot/sim-$first/$(printf frame_%04d.png "$f")" ] || missing=$((missing + 1))
done
[ "$missing" -gt 0 ] || fail "picture task 1 finished before it could be killed; lengthen its frames"
say "picture task ${draw}_1: plmhost killed with $missing of its $long_task pictures not drawn"
if "$plmhost" merge "$tmp/refused" "$shot/sim-$first" --size "$size" 2>"$tmp/refused.err"; then
  fail "merge accepted a folder with pictures missing"
fi
grep -q "no picture for frame" "$tmp/refused.err" || { cat "$tmp/refused.err" >&2; fail "merge did not name the missing pictures"; }
sbatch --wait --array=1 --output="$shot/logs/draw-again-%A.log" --export="ALL,SHOT=$shot,CHUNK=$first" \
  farm/slurm/draw.sbatch >/dev/null || fail "the resubmitted picture task failed"
sbatch --wait --output="$shot/logs/merge-again-%j.log" --export="ALL,SHOT=$shot" farm/slurm/merge.sbatch >/dev/null ||
  { cat "$shot"/logs/merge-again-* >&2; fail "the merge after the redone jobs failed"; }
compare_to_reference "$shot/final" "Slurm with a killed simulation and a killed picture task"

# --- 3. GNU parallel on this machine (--sshlogin :) -------------------------
timed farm/parallel.sh "$scene" "$tmp/shot-parallel" --frames "$frames" --picture-frames "$per_task" \
  --size "$size" --checkpoint-every "$every" --sshlogin : --plmhost "$plmhost" >/dev/null
t_parallel=$elapsed
compare_to_reference "$tmp/shot-parallel/final" "GNU parallel"

say "times: local render ${t_render} s, Slurm chain ${t_chain} s, GNU parallel ${t_parallel} s"
