#!/bin/bash
# Builds the native benchmarks, runs pack_bench once and prints the ratios of that one run:
#   bench/run.sh [extra benchmark flags...]   (e.g. --benchmark_repetitions=1)
# pack GB/s counts both input frames; pack/memcmp and unpack/memcpy are speed ratios (the
# yardstick's time over ours, higher is better); packed/smallest compares the packed size
# with the smallest the format allows for the pair; portable/memcmp is the version without
# SSE2 that old i686 machines run. memcmp is taken in 4 KiB pieces so that it reads both
# frames through even where they differ.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/native
jobs=${TAVIRO_JOBS:-2}

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j "$jobs" --target pack_bench >/dev/null
json=$build/pack_bench.json
# Nine repetitions of each, shuffled among all the others; the table takes their medians, so
# a neighbour's burst of work on a shared machine falls on both sides of a ratio alike.
"$build/bench/pack_bench" --benchmark_out="$json" --benchmark_out_format=json \
    --benchmark_format=console --benchmark_repetitions=9 --benchmark_min_time=0.1 \
    --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
    "$@" >&2

python3 - "$json" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
by = {}
medians = any(r.get("aggregate_name") == "median" for r in runs)
for r in runs:
    if r.get("error_occurred"):
        print("ERROR", r["name"], r.get("error_message"))
        continue
    if medians and r.get("aggregate_name") != "median":
        continue
    if not medians and r.get("run_type", "iteration") != "iteration":
        continue
    what, bits, kind = r.get("run_name", r["name"]).split("/")[:3]
    by[(what, bits, kind)] = r
print(f"{'bits':>4} {'frames':<10} {'pack GB/s':>9} {'pack/memcmp':>11} {'unpack/memcpy':>13}"
      f" {'packed':>10} {'smallest':>10} {'ratio':>7} {'portable/memcmp':>15}")
for bits in ("32", "24", "16"):
    for kind in ("identical", "typical", "scrolled", "noise"):
        try:
            pack, cmp_ = by[("pack", bits, kind)], by[("memcmp", bits, kind)]
            unpack, cpy = by[("unpack", bits, kind)], by[("memcpy", bits, kind)]
            portable = by[("portable", bits, kind)]
        except KeyError:
            continue
        packed, smallest = pack["packed_bytes"], pack["smallest_bytes"]
        print(f"{bits:>4} {kind:<10} {pack['bytes_per_second'] / 1e9:9.2f}"
              f" {cmp_['real_time'] / pack['real_time']:11.2f}"
              f" {cpy['real_time'] / unpack['real_time']:13.2f}"
              f" {int(packed):10d} {int(smallest):10d} {packed / smallest:7.4f}"
              f" {cmp_['real_time'] / portable['real_time']:15.2f}")
PY
