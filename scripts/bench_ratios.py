#!/usr/bin/env python3
"""Runs the particle benchmarks and prints the engine's cost per item as a
multiple of the reference loop's cost per particle-step, against targets.

Usage: bench_ratios.py [BENCH_PARTICLE] [--repetitions N] [--min-time S]
       [--strict] [--json FILE]

BENCH_PARTICLE defaults to build/release/bench/bench_particle.  Each
benchmark runs N times (interleaved at random, so that a burst of load from
elsewhere spreads over all of them); the ratios are taken from the medians,
and the min-max range of every benchmark is shown as an indication of the
noise.  --strict exits with 1 when a ratio misses its target; --json reads a
saved run of the benchmark program instead of running it.
"""
import argparse
import json
import statistics
import subprocess
import sys

REFERENCE = "BM_ReferenceLoop"
# (benchmark, what one item is, target as a multiple of the reference)
RATIOS = [
    ("BM_ContinueSimulation", "simulation / reference", 2.0),
    ("BM_ContinueFrame", "simulation + output / reference", 4.0),
    ("BM_ReplayJump", "replay / reference", 1.2),
]
ITEMS = {
    REFERENCE: "particle-step",
    "BM_ContinueSimulation": "live particle",
    "BM_ContinueFrame": "live particle",
    "BM_ReplayJump": "particle-step",
}


def run(binary, repetitions, min_time):
    names = "|".join(ITEMS)
    cmd = [
        binary,
        f"--benchmark_filter=^({names})$",
        f"--benchmark_repetitions={repetitions}",
        f"--benchmark_min_time={min_time}",
        "--benchmark_enable_random_interleaving=true",
        "--benchmark_format=json",
    ]
    out = subprocess.run(cmd, check=True, stdout=subprocess.PIPE, text=True).stdout
    return json.loads(out)


def ns_per_item(report):
    """Nanoseconds per item of every repetition, by benchmark name."""
    samples = {}
    for b in report["benchmarks"]:
        if b.get("run_type") != "iteration":
            continue
        name = b.get("run_name", b["name"])
        if b.get("error_occurred"):
            sys.exit(f"{name}: {b.get('error_message', 'failed')}")
        rate = b.get("items_per_second")
        if not rate:
            sys.exit(f"{name}: no items_per_second in the report")
        samples.setdefault(name, []).append(1e9 / rate)
    missing = [n for n in ITEMS if n not in samples]
    if missing:
        sys.exit("missing from the report: " + ", ".join(missing))
    return samples


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("binary", nargs="?", default="build/release/bench/bench_particle")
    ap.add_argument("--repetitions", type=int, default=5)
    ap.add_argument("--min-time", type=float, default=0.5)
    ap.add_argument("--strict", action="store_true")
    ap.add_argument("--json", help="a saved --benchmark_format=json report")
    args = ap.parse_args()

    if args.json:
        with open(args.json) as f:
            report = json.load(f)
    else:
        report = run(args.binary, args.repetitions, args.min_time)
    samples = ns_per_item(report)

    print(f"{'benchmark':24} {'per':15} {'median':>9} {'min':>9} {'max':>9} {'spread':>7}")
    for name, item in ITEMS.items():
        s = samples[name]
        med = statistics.median(s)
        spread = (max(s) - min(s)) / med * 100
        print(f"{name:24} {item:15} {med:8.2f}n {min(s):8.2f}n {max(s):8.2f}n {spread:6.1f}%")
    print()

    ref = samples[REFERENCE]
    missed = 0
    for name, label, target in RATIOS:
        s = samples[name]
        ratio = statistics.median(s) / statistics.median(ref)
        # The widest range the repetitions allow: slowest engine run over the
        # fastest reference run, and the other way round.
        low, high = min(s) / max(ref), max(s) / min(ref)
        ok = ratio <= target
        missed += not ok
        verdict = "meets" if ok else "MISSES"
        print(f"{label:32} {ratio:5.2f}x  (range {low:.2f}-{high:.2f})  "
              f"target <= {target:.1f}x: {verdict}")
    if args.strict and missed:
        sys.exit(1)


if __name__ == "__main__":
    main()
