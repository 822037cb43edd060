#!/bin/bash
# Builds everything and runs the main job. Until the recorder exists it records nothing:
# it writes a sample movie and shows what tqk makes of it, then turns it into a video.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build/native" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build/native" -j "$(nproc)" >/dev/null
cmake -S "$root" -B "$root/build/win64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" >/dev/null
cmake --build "$root/build/win64" -j "$(nproc)" >/dev/null

out="$root/build/main-job"
mkdir -p "$out"
tqk="$root/build/native/tools/tqk/tqk"
"$tqk" sample "$out/sample.TQK" --bits 24 --size 320x240 --fps 15 --sec 4
"$tqk" info "$out/sample.TQK"
"$tqk" verify "$out/sample.TQK"
"$tqk" raw "$out/sample.TQK" | ffmpeg -v error -y -f rawvideo -pixel_format bgr24 \
    -video_size 320x240 -framerate 15 -i - "$out/sample.mp4"
echo "video: $out/sample.mp4"
echo "== the Windows tqk under Wine"
"$root/scripts/wine-run.sh" "$root/build/win64/tools/tqk/tqk.exe" info "$out/sample.TQK"
"$root/scripts/wine-env.sh" stop >/dev/null 2>&1 || true
