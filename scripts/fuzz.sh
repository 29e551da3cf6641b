#!/usr/bin/env bash
# Builds the `fuzz` preset (clang, libFuzzer, ASan+UBSan) and fuzzes the
# particle plug-in for a fixed time, starting from a copy of fuzz/corpus,
# then plmhost's PLY and checkpoint readers for a third of it each.
# Exits non-zero when the fuzzer finds a crash, a failed check or a hang;
# the input that did it and the full log stay in build/fuzz/run/.
# Usage: scripts/fuzz.sh [SECONDS]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
run=build/fuzz/run

cmake --preset fuzz >/dev/null
if ! cmake --build --preset fuzz -j "$(nproc 2>/dev/null || echo 2)" >build/fuzz/build.log 2>&1; then
  tail -n 40 build/fuzz/build.log
  echo "fuzz: build failed (build/fuzz/build.log)" >&2
  exit 1
fi

rm -rf "$run"
mkdir -p "$run/corpus"
cp fuzz/corpus/* "$run/corpus/"
echo "fuzz: particle_fuzz for ${seconds} s from $(ls "$run/corpus" | wc -l) seed sessions"
status=0
build/fuzz/fuzz/particle_fuzz -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$run/" "$run/corpus" >"$run/log" 2>&1 || status=$?

# libFuzzer's totals and the driver's (sessions, cancels, slowest command).
grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|particle driver: [0-9]+ sessions)' \
  "$run/log" || true
if [ "$status" -ne 0 ]; then
  # The failure report: the driver's steps, or the sanitizer's or libFuzzer's.
  grep -v -E '^#[0-9]+' "$run/log" | grep -v '^INFO:' | head -n 80
  ls "$run"/crash-* "$run"/timeout-* "$run"/oom-* "$run"/leak-* 2>/dev/null || true
  echo "fuzz: FAILED (exit $status); log and input in $run/" >&2
  exit "$status"
fi

# The host's readers of outside files, a third of the time each (at least
# 10 s), from their seed files.
reader_seconds=$(( seconds / 3 > 10 ? seconds / 3 : 10 ))
for target in ply_reader checkpoint; do
  corpus=fuzz/corpus-${target/_reader/}
  mkdir -p "$run/$target"
  cp "$corpus"/* "$run/$target/"
  echo "fuzz: ${target}_fuzz for ${reader_seconds} s"
  status=0
  build/fuzz/fuzz/${target}_fuzz -max_total_time="$reader_seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$run/$target-" "$run/$target" >"$run/$target.log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    grep -v -E '^#[0-9]+' "$run/$target.log" | grep -v '^INFO:' | head -n 60
    echo "fuzz: ${target}_fuzz FAILED (exit $status); log and input in $run/" >&2
    exit "$status"
  fi
done
echo "fuzz: no crash, failed check or hang"
