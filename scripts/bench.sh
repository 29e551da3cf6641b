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
