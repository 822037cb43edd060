#!/bin/bash
# Picture against sound over a long play: a movie that flashes white at every whole second and
# a sound file that clicks at every whole second, played in the real player; one ffmpeg run
# records the picture (x11grab) and the audio daemon's monitor on the same clock. Prints the
# flash-minus-click offset over the first and the last minute, and their difference (the drift).
# The grab runs at 25 frames a second (faster grabs starve on a busy machine), so a single
# offset is known to a grab interval; TAVIRO_SYNC_KEEP=DIR keeps the raw series there.
#   bench/player_sync.sh [BUILD_WIN64] [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=${1:-$root/build/win64}
seconds=${2:-600}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$root/scripts/wine-env.sh" start
mapfile -t vars < <("$root/scripts/wine-env.sh" vars)
export "${vars[@]}"

python3 - "$work" "$seconds" <<'PY'
import struct, sys
work, sec = sys.argv[1], int(sys.argv[2])
W, H, fps = 64, 48, 10
F = W * H * 4
with open(f"{work}/sync.TQK", "wb") as f:
    f.write(b"TVRX" + struct.pack("<7i", 1, 1, 32, W, H, fps, sec))
    prev = None
    for i in range(fps * sec):
        white = i % fps == 0
        if white == prev:
            f.write(b"FRAM" + struct.pack("<II", 4, F // 4))  # the frame repeats
            continue
        body = struct.pack("<II", 0, F // 4) + (b"\xff" if white else b"\x00") * F
        f.write(b"FRAM" + struct.pack("<I", len(body)) + body)
        prev = white
rate = 22050
with open(f"{work}/sync.wav", "wb") as f:
    n = rate * sec
    f.write(b"RIFF" + struct.pack("<I", 36 + 2 * n) + b"WAVEfmt " +
            struct.pack("<IHHIIHH", 16, 1, 1, rate, 2 * rate, 2, 16) + b"data" +
            struct.pack("<I", 2 * n))
    click = struct.pack("<h", 20000) * 110 + struct.pack("<h", 0) * (rate - 110)
    f.write(click * sec)
PY

/usr/lib/wine/wine64 "$win/player/TaviroPlayer.exe" "Z:${work//\//\\}\\sync.TQK" >/dev/null 2>&1 &
sleep 3
# The picture's centre: the window stands at the top left of the desktop without a window
# manager; its client area starts below the caption and the menu.
xy=$(python3 - <<'PY'
import subprocess
# the picture is the black area inside the window whose top left corner has lit neighbours
out = subprocess.run(["import", "-window", "root", "-crop", "400x300+0+0", "-depth", "8", "rgb:-"],
                     capture_output=True).stdout
w = 400
px = lambda x, y: out[(y * w + x) * 3:(y * w + x) * 3 + 3]
best = None
for y in range(30, 250):
    for x in range(1, 330):
        if px(x, y) == b"\0\0\0" and px(x - 1, y) != b"\0\0\0" and px(x, y - 1) != b"\0\0\0" \
                and all(px(x + i, y + j) == b"\0\0\0" for i in range(0, 64, 3)
                        for j in range(0, 48, 3)):
            best = (x + 24, y + 16)
            break
    if best: break
print("%d,%d" % best if best else "")
PY
)
[ -n "$xy" ] || { echo "player picture not found" >&2; exit 1; }
xdotool key alt+p; sleep 0.3; xdotool key p  # menu 再生 > 再生
ffmpeg -v fatal -f x11grab -framerate 25 -video_size 16x16 -i "$DISPLAY+$xy" \
    -f pulse -i nullsink.monitor -t "$seconds" -vf "signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=$work/y.txt" \
    -af "asetnsamples=441,astats=metadata=1:reset=1,ametadata=print:key=lavfi.astats.Overall.Peak_level:file=$work/a.txt" \
    -f null - </dev/null
xdotool key alt+F4 || true
[ -n "${TAVIRO_SYNC_KEEP:-}" ] && cp "$work/y.txt" "$work/a.txt" "$TAVIRO_SYNC_KEEP/"
python3 - "$work" <<'PY'
import re, sys
work = sys.argv[1]
def series(path, key):
    t, out = None, []
    for line in open(path):
        m = re.search(r"pts_time:([0-9.]+)", line)
        if m: t = float(m.group(1))
        elif key in line: out.append((t, float(line.split("=")[1])))
    return out
def onsets(s, above, gap):
    on, last = [], -1e9
    for t, v in s:
        if v > above and t - last > gap: on.append(t)
        if v > above: last = t
    return on
flashes = onsets(series(f"{work}/y.txt", "YAVG"), 128, 0.5)
clicks = onsets(series(f"{work}/a.txt", "Peak_level"), -20, 0.5)
pairs = []
for f in flashes:
    c = min(clicks, key=lambda c: abs(c - f), default=None)
    if c is not None and abs(c - f) < 0.5: pairs.append((f, f - c))
if len(pairs) < 5: sys.exit("too few flash/click pairs: %d flashes %d clicks" % (len(flashes), len(clicks)))
end = pairs[-1][0]
first = [d for t, d in pairs if t - pairs[0][0] < 60]
last = [d for t, d in pairs if end - t < 60]
m1, m2 = sum(first) / len(first), sum(last) / len(last)
print("pairs %d over %.0f s" % (len(pairs), end - pairs[0][0]))
print("picture minus sound: first minute %+.1f ms, last minute %+.1f ms, drift %+.1f ms (one frame: 100 ms)"
      % (m1 * 1000, m2 * 1000, (m2 - m1) * 1000))
PY
