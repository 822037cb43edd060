#!/bin/bash
# The player's speed under Wine: plays movies of 1024 x 768 and 1920 x 1080 at 32 and 16 bits
# at rising frame rates in the real player window and prints, for each, the late frames, the
# player's own share of a slot (the bar, the sound position, its steps) and the time spent
# copying the changed places of the picture to the window; the engine's unpacking and its
# drawing into the picture's image are the rest. Each movie is played twice in the same run:
# through the picture's own image (the player's way) and with the engine drawing on the window
# itself ("direct", the earlier way), so the two can be compared as a ratio of this one run.
# The highest rate without a late frame is marked for each.
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
printf '%-10s %4s %4s %-7s %7s %5s %12s %10s %13s\n' size bits fps route frames late \
    own_ms/frame own_share show_ms/frame
for size in ${TAVIRO_BENCH_SIZES:-1024x768 1920x1080}; do
    for bits in 32 16; do
        declare -A best=([image]=0 [direct]=0)
        for fps in ${TAVIRO_BENCH_RATES:-10 20 30 40 50 60}; do
            movie=$work/m.TQK
            "$tqk" sample "$movie" --bits "$bits" --size "$size" --fps "$fps" --sec "$seconds" >/dev/null
            for route in image direct; do
                flag=; [ "$route" = direct ] && flag=--direct
                line=$("$root/scripts/wine-run.sh" "$speed" "Z:${movie//\//\\}" $flag 2>/dev/null |
                    tr -d '\r')
                read -r _ frames _ late _ own _ _ _ slot _ show <<<"$line"
                share=$(awk -v o="$own" -v s="$slot" 'BEGIN { printf "%.1f%%", 100 * o / s }')
                printf '%-10s %4s %4s %-7s %7s %5s %12s %10s %13s\n' "$size" "$bits" "$fps" \
                    "$route" "$frames" "$late" "$own" "$share" "$show"
                [ "$late" = 0 ] && best[$route]=$fps
            done
        done
        echo "  $size $bits bits: highest rate without a late frame: ${best[image]} fps" \
            "(direct: ${best[direct]} fps)"
    done
done
echo "(the display is 1024 x 768: a 1920 x 1080 picture is drawn clipped to the screen)"
