#!/usr/bin/env bash
# Runs every benchmark program of a build folder, then the particle engine's
# ratios to its reference loop (repeated runs, medians and spread).
set -euo pipefail
build=${1:-build/release}
here=$(cd "$(dirname "$0")" && pwd)
shopt -s nullglob
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] || continue
  # The particle benchmarks run repeatedly below.
  [ "$(basename "$b")" = bench_particle ] && continue
  echo "== $(basename "$b")"
  "$b" --benchmark_min_time=0.2
done
if [ -x "$build/bench/bench_particle" ]; then
  echo "== bench_particle (5 interleaved repetitions; ns per item)"
  python3 "$here/bench_ratios.py" "$build/bench/bench_particle"
fi
if [ -x "$build/bin/bench_render" ]; then
  # The render's test scene: 250,000 slots, 100,000 particles a second living
  # 2 +- 0.5 s (about 200,000 alive), frames 0-119.
  scene_dir=$(mktemp -d)
  trap 'rm -rf "$scene_dir"' EXIT
  "$build/bin/plmhost" new "$scene_dir/test.scene.json" --frames 0-119 --set maxParticles=250000 \
    --set emitFrequency=100000 --set lifeTime=2 --set lifeTimeErr=0.5 >/dev/null
  echo "== bench_render (plmhost against the plug-in's own GENM time, 3 interleaved repetitions)"
  "$build/bin/bench_render" "$scene_dir/test.scene.json" --repetitions 3
fi
