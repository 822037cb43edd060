#!/bin/bash
# Seeking in long movies: writes a synthetic 1920 x 1080 32-bit 30 fps recording of a typical
# desktop (MINUTES, default 60) and one of a whole screen changing every frame (SECONDS,
# default 20: an hour of it would be some 900 GB), then prints the open time, the seek times
# (median and worst of 200 random seeks) and the memory the seeker holds.
#   bench/seek_bench.sh [NATIVE_BUILD] [MINUTES] [SECONDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build/native}
minutes=${2:-60}
seconds=${3:-20}
cmake --build "$build" --target seek_bench >/dev/null
dir=$(mktemp -d "${TMPDIR:-/tmp}/seek_bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
"$build/bench/seek_bench" "$dir" "$minutes" "$seconds"
