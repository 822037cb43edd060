#!/bin/bash
# The player's speed under Wine: plays movies of 1024 x 768 and 1920 x 1080 at 32 and 16 bits
# at rising frame rates in the real player window and prints, for each, the late frames, the
# player's own share of a slot (the bar, the sound position, its steps), the time spent
# copying the changed places of the picture to the window (and, of it, finding them) and the
# engine's reading, unpacking and drawing into the picture's image. Each movie is played in
# the same run by routes to compare: "own" (the player's way: the picture's own image, the
# player waiting for each frame's due time), "engine" (the same image, the engine waiting
# between the frames, the earlier way) and, with TAVIRO_BENCH_ROUTES="own engine direct",
# "direct" (the engine drawing on the window itself, earlier still). The highest rate without
# a late frame is marked for each.
#   bench/player_speed.sh [BUILD_WIN64] [BUILD_NATIVE] [SECONDS]
#   TAVIRO_BENCH_SIZES="1024x768" TAVIRO_BENCH_RATES="30 60" bench/player_speed.sh
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
printf '%-10s %4s %4s %-7s %7s %5s %6s %12s %10s %13s %13s %15s\n' size bits fps route frames \
    late first own_ms/frame own_share show_ms/frame diff_ms/frame engine_ms/frame
for size in ${TAVIRO_BENCH_SIZES:-1024x768 1920x1080}; do
    for bits in 32 16; do
        declare -A best=([own]=0 [engine]=0 [direct]=0)
        for fps in ${TAVIRO_BENCH_RATES:-10 20 30 40 50 60}; do
            movie=$work/m.TQK
            "$tqk" sample "$movie" --bits "$bits" --size "$size" --fps "$fps" --sec "$seconds" >/dev/null
            for route in ${TAVIRO_BENCH_ROUTES:-own engine}; do
                flag=
                [ "$route" = engine ] && flag=--engine-wait
                [ "$route" = direct ] && flag="--direct --engine-wait"
                line=$("$root/scripts/wine-run.sh" "$speed" "Z:${movie//\//\\}" $flag 2>/dev/null |
                    tr -d '\r')
                read -r _ frames _ late _ own _ _ _ slot _ show _ diff _ engine _ _ _ first \
                    <<<"$line"
                share=$(awk -v o="$own" -v s="$slot" 'BEGIN { printf "%.1f%%", 100 * o / s }')
                printf '%-10s %4s %4s %-7s %7s %5s %6s %12s %10s %13s %13s %15s\n' "$size" \
                    "$bits" "$fps" "$route" "$frames" "$late" "$first" "$own" "$share" "$show" \
                    "$diff" "$engine"
                [ "$late" = 0 ] && best[$route]=$fps
            done
        done
        echo "  $size $bits bits: highest rate without a late frame: ${best[own]} fps" \
            "(engine waits: ${best[engine]} fps, direct: ${best[direct]} fps)"
    done
done
echo "(the display is 1024 x 768: a 1920 x 1080 picture is drawn clipped to the screen)"
