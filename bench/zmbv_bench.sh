#!/bin/bash
# The ZMBV table: our encoder against ffmpeg's ZMBV at its defaults, uncompressed and lossless
# H.264 (libx264rgb -qp 0 -preset ultrafast, one thread), on the same generated screen frames
# in one run: a typical desktop, scrolling text and the whole screen changing, at 1024 x 768
# and 1920 x 1080. "speed" is our frames a second over ffmpeg's ZMBV (goal: 5 or more), "size"
# our bytes over its bytes (goal: 1.00 or less), "same" that ffmpeg decodes our file to the
# very frames. Frames a second are on one core, processor time.
#   bench/zmbv_bench.sh [FRAMES]   (default 60)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/native
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j "${TAVIRO_JOBS:-2}" --target zmbv_bench >/dev/null
exec "$build/bench/zmbv_bench" "${1:-60}"
