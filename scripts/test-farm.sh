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

say() { echo "test-farm: $*" >&2; }
fail() { say "FAILED: $*"; exit 1; }

[ "$(id -u)" -eq 0 ] || fail "run as root: it installs Slurm and munge and starts their daemons"
[ -x "$plmhost" ] || fail "no $plmhost; build it first (make release)"
scripts/setup.sh farm

# Ports of this private cluster, on the loopback address only.
ctld_port=${PLM_FARM_PORT:-16817}
slurmd_port=$((ctld_port + 1))
node="$(hostname -s)"

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
