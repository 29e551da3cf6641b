#!/usr/bin/env bash
# Submits a shot to Slurm in its two stages:
#   simulate  the frames in order, as one job or a chain of jobs (--sim-jobs),
#             each continuing from the checkpoint its predecessor left in the
#             shot's shared checkpoint folder;
#   draw      the pictures, one job array per simulation job, each starting as
#             soon as that part of the simulation is written;
#   merge     one output folder, SHOT/final, once every picture job is done.
# The settings go to SHOT/farm.env, which every job reads, so a failed job is
# redone by submitting its script again (see farm/README.md).
set -euo pipefail

usage() {
  cat >&2 <<'USAGE'
usage: farm/slurm/submit.sh SCENE SHOT --frames A-B [options]
  SCENE                  scene file, or a built-in scene's name
  SHOT                   shared folder for the shot (seen by every node)
  --frames A-B           frames to render
  --sim-jobs K           split the simulation into a chain of K jobs (default 1)
  --picture-frames N     frames per picture job (default 10)
  --size WxH             picture size (default 640x360)
  --checkpoint-every N   simulation checkpoint interval in frames (default 100)
  --plmhost PATH         plmhost on the nodes (default: build/release/bin/plmhost of this checkout)
  --sim-parallel         run the simulation jobs side by side instead of chained, each
                         from the newest checkpoint at or before its first frame in
                         SHOT/checkpoints (for a shot simulated before, whose
                         checkpoints are there; without them a job simulates from
                         the nearest earlier one: still exact, only slower)
  --wait                 wait for the merge job and exit with its status
Other sbatch options come from the environment (SBATCH_PARTITION, SBATCH_ACCOUNT, ...).
USAGE
  exit 2
}

here="$(cd "$(dirname "$0")" && pwd)"
[ $# -ge 2 ] || usage
scene="$1" shot="$2"
shift 2
frames="" sim_jobs=1 chained=1 picture_frames=10 size=640x360 every=100 wait=()
plmhost="$(cd "$here/../.." && pwd)/build/release/bin/plmhost"
while [ $# -gt 0 ]; do
  case "$1" in
    --frames) frames="$2"; shift 2 ;;
    --sim-jobs) sim_jobs="$2"; shift 2 ;;
    --picture-frames) picture_frames="$2"; shift 2 ;;
    --size) size="$2"; shift 2 ;;
    --checkpoint-every) every="$2"; shift 2 ;;
    --plmhost) plmhost="$2"; shift 2 ;;
    --sim-parallel) chained=0; shift ;;
    --wait) wait=(--wait); shift ;;
    *) usage ;;
  esac
done
[[ "$frames" =~ ^([0-9]+)-([0-9]+)$ ]] || usage
first=${BASH_REMATCH[1]} last=${BASH_REMATCH[2]}
for n in "$sim_jobs" "$picture_frames" "$every"; do [[ "$n" =~ ^[1-9][0-9]*$ ]] || usage; done
[ "$first" -le "$last" ] || usage
[ -x "$plmhost" ] || { echo "submit: no plmhost at $plmhost (build it, or give --plmhost)" >&2; exit 2; }
# A scene file is handed to the jobs by its absolute path; a built-in name as it is.
[ -f "$scene" ] && scene="$(cd "$(dirname "$scene")" && pwd)/$(basename "$scene")"

mkdir -p "$shot/logs"
shot="$(cd "$shot" && pwd)"
# Simulation jobs of equal length (the last may be shorter).
total=$((last - first + 1))
sim_frames=$(((total + sim_jobs - 1) / sim_jobs))
printf '%s=%q\n' PLMHOST "$plmhost" SCENE "$scene" FIRST "$first" LAST "$last" SIM_FRAMES "$sim_frames" \
  PICTURE_FRAMES "$picture_frames" SIZE "$size" CHECKPOINT_EVERY "$every" > "$shot/farm.env"

# A job whose dependency failed is cancelled rather than left waiting.
submit() { sbatch --parsable --kill-on-invalid-dep=yes "$@" | cut -d';' -f1; }

previous="" pictures=()
for ((chunk = first; chunk <= last; chunk += sim_frames)); do
  end=$((chunk + sim_frames - 1 < last ? chunk + sim_frames - 1 : last))
  sim=$(submit ${previous:+--dependency=afterok:$previous} --job-name="sim-$chunk" \
    --output="$shot/logs/sim-$chunk-%j.log" --export="ALL,SHOT=$shot,CHUNK=$chunk" "$here/simulate.sbatch")
  tasks=$(((end - chunk) / picture_frames))
  draw=$(submit --dependency="afterok:$sim" --array="0-$tasks" --job-name="draw-$chunk" \
    --output="$shot/logs/draw-$chunk-%a-%A.log" --export="ALL,SHOT=$shot,CHUNK=$chunk" "$here/draw.sbatch")
  echo "frames $chunk-$end: simulation job $sim, picture array $draw (tasks 0-$tasks)"
  if [ "$chained" -eq 1 ]; then previous=$sim; fi
  pictures+=("$draw")
done
deps=$(IFS=:; echo "${pictures[*]}")
if [ ${#wait[@]} -gt 0 ]; then
  echo "merge: into $shot/final, waiting"
  sbatch --wait --kill-on-invalid-dep=yes --dependency="afterok:$deps" --job-name=merge \
    --output="$shot/logs/merge-%j.log" --export="ALL,SHOT=$shot" "$here/merge.sbatch" ||
    { echo "submit: the shot failed; see $shot/logs" >&2; exit 1; }
else
  merge=$(submit --dependency="afterok:$deps" --job-name=merge --output="$shot/logs/merge-%j.log" \
    --export="ALL,SHOT=$shot" "$here/merge.sbatch")
  echo "merge: job $merge into $shot/final"
fi
