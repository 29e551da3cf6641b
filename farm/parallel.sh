#!/usr/bin/env bash
# A shot with GNU parallel, in the two stages: the simulation once, in order,
# on this machine; then the pictures over frame ranges on every machine
# parallel is given (default ":", this one); then one merged folder,
# SHOT/final.  The checkout and SHOT must be at the same paths on every
# machine.  Run it again after a failure: the simulation continues from its
# last checkpoint and parallel redoes only the picture jobs that failed or
# never ran (its job log is SHOT/parallel.log).
set -euo pipefail

usage() {
  cat >&2 <<'USAGE'
usage: farm/parallel.sh SCENE SHOT --frames A-B [options]
  --picture-frames N     frames per picture job (default 10)
  --size WxH             picture size (default 640x360)
  --checkpoint-every N   simulation checkpoint interval (default 100)
  --sshlogin LOGIN       where parallel runs the picture jobs (default ":", this machine;
                         repeatable; see parallel's --sshlogin)
  --jobs N               picture jobs at a time on each machine (default: its cores)
  --plmhost PATH         plmhost (default: build/release/bin/plmhost of this checkout)
USAGE
  exit 2
}

here="$(cd "$(dirname "$0")" && pwd)"
[ $# -ge 2 ] || usage
scene="$1" shot="$2"
shift 2
frames="" picture_frames=10 size=640x360 every=100 logins=() jobs=100%
plmhost="$(cd "$here/.." && pwd)/build/release/bin/plmhost"
while [ $# -gt 0 ]; do
  case "$1" in
    --frames) frames="$2"; shift 2 ;;
    --picture-frames) picture_frames="$2"; shift 2 ;;
    --size) size="$2"; shift 2 ;;
    --checkpoint-every) every="$2"; shift 2 ;;
    --sshlogin) logins+=(--sshlogin "$2"); shift 2 ;;
    --jobs) jobs="$2"; shift 2 ;;
    --plmhost) plmhost="$2"; shift 2 ;;
    *) usage ;;
  esac
done
[[ "$frames" =~ ^([0-9]+)-([0-9]+)$ ]] || usage
first=${BASH_REMATCH[1]} last=${BASH_REMATCH[2]}
[[ "$picture_frames" =~ ^[1-9][0-9]*$ && "$every" =~ ^[1-9][0-9]*$ && "$first" -le "$last" ]] || usage
[ ${#logins[@]} -gt 0 ] || logins=(--sshlogin :)
[ -f "$scene" ] && scene="$(cd "$(dirname "$scene")" && pwd)/$(basename "$scene")"
mkdir -p "$shot"
shot="$(cd "$shot" && pwd)"
sim="$shot/sim-$first"

# Stage 1: the simulation, in order (continuing an interrupted one).
"$plmhost" simulate "$scene" --frames "$first-$last" --out "$sim" --checkpoints "$shot/checkpoints" \
  --checkpoint-every "$every" --resume --quiet

# Stage 2: the pictures, a range per job.
for ((a = first; a <= last; a += picture_frames)); do
  echo "$a-$((a + picture_frames - 1 < last ? a + picture_frames - 1 : last))"
done | parallel "${logins[@]}" --jobs "$jobs" --joblog "$shot/parallel.log" --resume-failed --halt never \
  "$(printf '%q' "$plmhost")" draw "$(printf '%q' "$sim")" --frames {} --size "$size" --jobs 1

# Stage 3: one folder.
exec "$plmhost" merge "$shot/final" "$sim" --size "$size"
