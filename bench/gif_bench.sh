#!/bin/bash
# The GIF table: our GIF export against ffmpeg's best two-pass GIF (palettegen=stats_mode=diff,
# paletteuse=diff_mode=rectangle:dither=none) on the same generated screen frames in one run: a
# typical desktop at 640 x 480, 1024 x 768 and 1920 x 1080, scrolling text at the two larger
# sizes, 10 frames a second. "size" is our bytes over ffmpeg's (goal: 1.00 or less, aim 0.7),
# "speed" ffmpeg's processor time over ours (goal: 3 or more, aim 10), "same" the frames ffmpeg
# decodes back to the very pixels (ours: all where a frame has at most 256 colours).
#   bench/gif_bench.sh [FRAMES]   (default 60)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/native
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j "${TAVIRO_JOBS:-2}" --target gif_bench >/dev/null
exec "$build/bench/gif_bench" "${1:-60}"
