#!/bin/bash
# Builds the movie-reader fuzz target with clang (libFuzzer, AddressSanitizer, UBSan) in
# build/fuzz and runs it for a bounded time on a seed corpus of sample movies.
#   scripts/fuzz.sh [seconds]     (default 60)
# The corpus grows in build/fuzz/corpus across runs; crashes land in build/fuzz/crashes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
out=$root/build/fuzz
jobs=${TAVIRO_JOBS:-2}

CXX=clang++ cmake -S "$root/tests/fuzz" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    >"$out.configure.log" 2>&1 || { cat "$out.configure.log"; exit 1; }
cmake --build "$out" -j "$jobs"

seeds=$out/seeds
mkdir -p "$seeds" "$out/corpus" "$out/crashes"
if [ -z "$(ls -A "$seeds")" ]; then
    n=0
    for spec in "32 1 16x8" "32 0 12x6" "32 2 8x4" "24 1 16x8" "24 2 12x4" "16 1 16x8" \
                "16 0 8x8" "8 1 16x8" "8 1 4x4"; do
        set -- $spec
        n=$((n + 1))
        "$out/tqk_seed" sample "$seeds/s$n.tqk" --bits "$1" --method "$2" --size "$3" \
            --fps 3 --sec 1 >/dev/null
        # A truncated copy and one with the record count patched up.
        head -c $(($(stat -c %s "$seeds/s$n.tqk") * 2 / 3)) "$seeds/s$n.tqk" >"$seeds/t$n.tqk"
    done
fi

# -rss_limit_mb bounds memory; the target itself refuses frames above 4 MiB.
"$out/reader_fuzz" "$out/corpus" "$seeds" -max_total_time="$seconds" -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$out/crashes/" 2>&1 |
    tee "$out/last-run.log" | grep -E '^(#[0-9]+.*(DONE|pulse|INITED)|stat::|==|SUMMARY)' || true
grep -q 'Done [0-9]* runs' "$out/last-run.log"
