#!/bin/bash
# The player's speed under Wine: plays movies of 1024 x 768 and 1920 x 1080 at 32 and 16 bits
# at rising frame rates in the real player window and prints, for each, the late frames and the
# player's own share of a slot (the bar, the sound position, its steps; the engine's unpacking
# and the platform's drawing are the rest). The highest rate without a late frame is marked.
#   bench/player_speed.sh [BUILD_WIN64] [BUILD_NATIVE] [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=${1:-$root/build/win64}
native=${2:-$root/build/native}
seconds=${3:-3}
speed=$win/player/player_speed.exe
tqk=$native/tools/tqk/tqk
[ -x "$tqk" ] || { echo "build the native tqk tool first" >&2; exit 1; }
[ -e "$speed" ] || { echo "build player_speed (win64) first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$root/scripts/wine-env.sh" start
printf '%-10s %4s %4s %7s %5s %12s %10s\n' size bits fps frames late own_ms/frame own_share
for size in ${TAVIRO_BENCH_SIZES:-1024x768 1920x1080}; do
    for bits in 32 16; do
        best=0
        for fps in 10 20 30 40 50 60; do
            movie=$work/m.TQK
            "$tqk" sample "$movie" --bits "$bits" --size "$size" --fps "$fps" --sec "$seconds" >/dev/null
            line=$("$root/scripts/wine-run.sh" "$speed" "Z:${movie//\//\\}" 2>/dev/null | tr -d '\r')
            read -r _ frames _ late _ own _ _ _ slot <<<"$line"
            share=$(awk -v o="$own" -v s="$slot" 'BEGIN { printf "%.1f%%", 100 * o / s }')
            printf '%-10s %4s %4s %7s %5s %12s %10s\n' "$size" "$bits" "$fps" "$frames" "$late" \
                "$own" "$share"
            [ "$late" = 0 ] && best=$fps
        done
        echo "  $size $bits bits: highest rate without a late frame: $best fps"
    done
done
echo "(the display is 1024 x 768: a 1920 x 1080 picture is drawn clipped to the screen)"
