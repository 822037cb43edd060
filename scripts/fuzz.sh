#!/bin/bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UBSan) in build/fuzz and runs
# every one in turn for its share of the time, one line per target (executions, result).
#   scripts/fuzz.sh [SECONDS] [TARGET...]    (default 60 s in all; default every target)
# The corpora grow in build/fuzz/corpus/TARGET across runs; a failing input is saved in
# build/fuzz/corpus/crashes. Exits non-zero on any crash, hang, leak or sanitizer report.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
out=$root/build/fuzz
jobs=${TAVIRO_JOBS:-2}

mkdir -p "$out"
CC=clang CXX=clang++ cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAVIRO_FUZZ=ON >"$out/configure.log" 2>&1 || { cat "$out/configure.log"; exit 1; }
cmake --build "$out" -j "$jobs" >"$out/build.log" 2>&1 || { tail -40 "$out/build.log"; exit 1; }
bash "$root/tests/fuzz/make_seeds.sh" "$out/seeds" "$out/tools/tqk/tqk"

mapfile -t lines < "$out/fuzz_targets.txt"
chosen=()
for line in "${lines[@]}"; do
    read -r name _ <<<"$line"
    if [ $# -eq 0 ] || printf '%s\n' "$@" | grep -qx "$name"; then chosen+=("$line"); fi
done
[ ${#chosen[@]} -gt 0 ] || { echo "no such fuzz target: $*"; exit 2; }
share=$((seconds / ${#chosen[@]}))
[ $share -ge 1 ] || share=1

status=0
for line in "${chosen[@]}"; do
    read -r name exe maxLen seeds <<<"$line"
    # shellcheck disable=SC2086
    bash "$root/tests/fuzz/run_fuzz.sh" "$exe" "$share" "$maxLen" "$out/corpus/$name" $seeds ||
        status=1
done
exit $status
