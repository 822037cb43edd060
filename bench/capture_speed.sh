#!/bin/bash
# Capture speed on the Wine test display (1024 x 768, 32 bits a pixel to Windows programs)
# while the screen changes, in two ways: "full" (the whole screen, every frame, the worst
# case: nothing packs) and "typical" (a still desktop with a few small places changing, as
# when someone types or drags a window edge). For each way and method the highest frame rate recorded without a
# dropped slot, the time of a captured slot split into the platform's grab, the platform's
# conversion, cursor, packing and writing; ffmpeg's x11grab on the same display for
# context; and the memory of a longer recording sampled over time.
#   bench/capture_speed.sh [WIN64_BUILD_DIR]
# TAVIRO_BENCH_SECONDS (default 3) sets the length of each trial, TAVIRO_BENCH_LONG (default
# 60) the length of the memory run (0 skips it), TAVIRO_BENCH_MODES (default "full typical")
# the ways the screen changes.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/win64}
secs=${TAVIRO_BENCH_SECONDS:-3}
long=${TAVIRO_BENCH_LONG:-60}
modes=${TAVIRO_BENCH_MODES:-full typical}
run="$root/scripts/wine-run.sh"
tqkrec="$build/tools/tqkrec/tqkrec.exe"
churn="$build/tools/tqkrec/screen_churn.exe"
[ -x "$tqkrec" ] && [ -e "$churn" ] || { echo "build $build first (win64)"; exit 1; }
"$root/scripts/wine-env.sh" start
display=$("$root/scripts/wine-env.sh" vars 24 | sed -n 's/^DISPLAY=//p')
work=$(mktemp -d /tmp/capture_speed.XXXXXX)
churn_pid=""
trap '[ -n "$churn_pid" ] && kill $churn_pid 2>/dev/null; rm -rf "$work"' EXIT
winpath() { echo "Z:${1//\//\\}"; }
rates="5 10 15 20 25 30 40 50 60"

for mode in $modes; do
    "$run" "$churn" 100000 $mode >/dev/null 2>&1 &
    churn_pid=$!
    sleep 3

    echo
    echo "== $mode: display $display 1024x768, ${secs} s a trial, screen changing ~60 times a second"
    printf '%-8s %-6s %8s | %8s %8s %8s %8s %8s %8s | %8s %7s\n' method writer maxfps grab convert \
        cursor pack write copy slot_ms engine%
    for method in 0 1 2; do
        for writer in sync async; do
            best=0 split=""
            for fps in $rates; do
                flag=""
                [ $writer = async ] && flag=--async
                out=$("$run" "$tqkrec" "$(winpath "$work/m.TQK")" --rect 0,0,1024,768 --fps "$fps" \
                    --sec "$secs" --method $method --cursor $flag 2>&1 | tr -d '\r')
                rm -f "$work/m.TQK"
                dropped=$(sed -n 's/^dropped \([0-9]*\)$/\1/p' <<<"$out" | tail -1)
                line=$(grep '^ms per captured slot' <<<"$out")
                [ -n "$line" ] && split=$line
                [ "${dropped:-1}" = 0 ] || break
                best=$fps
            done
            read -r grab cursor convert pack write copy < <(sed -E \
                's/.*grab ([0-9.]+) cursor ([0-9.]+) convert ([0-9.]+) pack ([0-9.]+) write ([0-9.]+) copy ([0-9.]+).*/\1 \2 \3 \4 \5 \6/' <<<"$split")
            python3 - "$method" "$writer" "$best" "$grab" "$convert" "$cursor" "$pack" "$write" \
                "$copy" <<'PY'
import sys
m, w, best = sys.argv[1:4]
g, c, cur, p, wr, cp = map(float, sys.argv[4:10])
slot = g + c + cur + p + wr + cp
own = (cur + p + wr + cp) / slot * 100 if slot else 0
print(f"{m:<8} {w:<6} {best:>8} | {g:8.3f} {c:8.3f} {cur:8.3f} {p:8.3f} {wr:8.3f} {cp:8.3f} | {slot:8.3f} {own:6.1f}%")
PY
        done
    done
    echo "(ms per captured slot, from the last trial of each row; engine% = cursor + pack + write + copy)"

    # ffmpeg's X grabber on the same display as fast as it goes, to a raw file.
    ffout=$(ffmpeg -hide_banner -nostdin -f x11grab -video_size 1024x768 -framerate 200 \
        -i "$display" -t "$secs" -fps_mode passthrough -f rawvideo -y "$work/x.raw" 2>&1)
    frames=$(( $(stat -c %s "$work/x.raw") / (1024 * 768 * 4) ))
    rm -f "$work/x.raw"
    echo "ffmpeg x11grab: $frames frames in $secs s = $(python3 -c "print(round($frames / $secs, 1))") fps," \
        "$(python3 -c "print(round($secs * 1000 / max($frames, 1), 3))") ms a frame"
    kill $churn_pid 2>/dev/null
    wait $churn_pid 2>/dev/null
    churn_pid=""
done

# Memory over a longer recording (working set of the recorder, sampled).
[ "$long" -gt 0 ] || exit 0
"$run" "$tqkrec" "$(winpath "$work/long.TQK")" --rect 0,0,1024,768 --fps 10 --sec "$long" \
    --method 1 --async >"$work/long.out" 2>&1 &
rec=$!
samples=""
for _ in $(seq 200); do
    pid=$(pgrep -f "long.TQK" | head -1)
    [ -n "$pid" ] && break
    sleep 0.1
done
while kill -0 "$rec" 2>/dev/null; do
    rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null)
    [ -n "$rss" ] && samples="$samples $((rss / 1024))"
    sleep $((long / 10 > 0 ? long / 10 : 1))
done
echo "memory of a $long s recording (RSS MiB, sampled):$samples"
echo "$(tr -d '\r' <"$work/long.out" | grep -E '^dropped')"
