#!/bin/bash
# Picture against sound over a long play: a movie that flashes white at every whole second and
# a sound file that clicks at every whole second, played in the real player. The probe
# (player/player_sync_probe.exe, another Wine process) starts the play, watches the picture on
# the screen about every millisecond and records the audio daemon's monitor through wave-in,
# both on the performance clock; each flash is paired with its click. Prints the median
# flash-minus-click offset (and the spread of the middle 80 %) per tenth of the run, over the
# first and the last minute, and their difference (the drift), and the largest offset.
# TAVIRO_SYNC_KEEP=DIR keeps the event list there.
# TAVIRO_SYNC_SEEKS=N seeks N times during the play (ten seconds on and back in turn, through the
# player's keys) and prints the offset after each seek as well.
# TAVIRO_SYNC_DEVICE=1 leaves the player out: the probe plays the sound file itself through the
# player's MCI device and the clicks heard are set against the positions the device reports:
# per tenth of the run, how far the device's position leads the sound heard on the daemon's
# monitor, and how long after the play call the sound is heard.
# RATE is the sound file's samples per second (mono, 16 bits). Under Wine 8 the device's
# position keeps with the sound heard at 44100 Hz but not at the two lower rates: at 22050 it
# runs about 0.24 % fast, and the pictures that follow it run ahead of the sound until about
# 120 ms are held, after which sound is dropped to keep that pace; at 11025 it runs slow.
#   bench/player_sync.sh [BUILD_WIN64] [SECONDS] [FPS] [RATE]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=${1:-$root/build/win64}
seconds=${2:-600}
fps=${3:-30}
rate=${4:-44100}
work=$(mktemp -d)
keep=
trap '[ -n "$keep" ] && kill "$keep" 2>/dev/null; rm -rf "$work"' EXIT
"$root/scripts/wine-env.sh" start
mapfile -t vars < <("$root/scripts/wine-env.sh" vars)
export "${vars[@]}"
# A silent low-latency stream plays into the null sink while the play runs. Idle, the sink
# renders up to two seconds ahead into its monitor, and a stream that joins it then is heard
# with the start of its sound lost and the rest a few hundred milliseconds late, by a different
# amount on every play; kept a few milliseconds ahead, the monitor hears each sample about when
# a loudspeaker would play it, and the play starts once the sink is down to that.
# TAVIRO_SYNC_LOW_LATENCY=0 leaves the sink idle.
if [ "${TAVIRO_SYNC_LOW_LATENCY:-1}" != 0 ]; then
    pacat --playback --raw --format=s16le --rate=44100 --channels=2 --latency-msec=20 \
        </dev/zero >/dev/null 2>&1 &
    keep=$!
    for _ in $(seq 100); do
        ahead=$(LANG=C pactl list sinks |
            sed -n 's/^[[:space:]]*Latency: \([0-9]*\) usec.*/\1/p' | head -1)
        [ -n "$ahead" ] && [ "$ahead" -lt 20000 ] && break
        sleep 0.1
    done
fi

python3 - "$work" "$seconds" "$fps" "$rate" <<'PY'
import struct, sys
work, sec, fps, rate = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
W, H = 64, 48
F = W * H * 4
with open(f"{work}/sync.TQK", "wb") as f:
    f.write(b"TVRX" + struct.pack("<7i", 1, 1, 32, W, H, fps, sec))
    prev = None
    for i in range(fps * sec):
        white = i % fps < max(1, fps // 10)  # a tenth of a second: a probe cannot miss it
        if white == prev:
            f.write(b"FRAM" + struct.pack("<II", 4, F // 4))  # the frame repeats
            continue
        body = struct.pack("<II", 0, F // 4) + (b"\xff" if white else b"\x00") * F
        f.write(b"FRAM" + struct.pack("<I", len(body)) + body)
        prev = white
with open(f"{work}/sync.wav", "wb") as f:
    n = rate * sec
    f.write(b"RIFF" + struct.pack("<I", 36 + 2 * n) + b"WAVEfmt " +
            struct.pack("<IHHIIHH", 16, 1, 1, rate, 2 * rate, 2, 16) + b"data" +
            struct.pack("<I", 2 * n))
    click = struct.pack("<h", 20000) * 110 + struct.pack("<h", 0) * (rate - 110)
    f.write(click * sec)
PY

if [ -n "${TAVIRO_SYNC_DEVICE:-}" ]; then
    /usr/lib/wine/wine64 "$win/player/player_sync_probe.exe" "$seconds" "Z:${work//\//\\}\\sync.wav" \
        2>/dev/null | tr -d '\r' >"$work/events.txt"
    [ -n "${TAVIRO_SYNC_KEEP:-}" ] && cp "$work/events.txt" "$TAVIRO_SYNC_KEEP/"
    python3 - "$work/events.txt" <<'PY'
import sys
clicks, reports = [], []
for line in open(sys.argv[1]):
    f = line.split()
    if f[0] == "click": clicks.append(float(f[1]))
    elif f[0] == "position": reports.append((float(f[1]), float(f[2])))
if len(clicks) < 5 or len(reports) < 5:
    sys.exit("too few clicks (%d) or device reports (%d)" % (len(clicks), len(reports)))
start = reports[0][0]  # the first report, read right after the play call
moving = [r for r in reports if r[1] >= 1000]  # past the jump to what the device was handed
steps = sorted(b[1] - a[1] for a, b in zip(moving, moving[1:]))
print("device reports %d, position step median %.0f ms; clicks %d" %
      (len(reports), steps[len(steps) // 2], len(clicks)))
window = max(10000.0, (clicks[-1] - start + 1000) / 10)  # a tenth of the run, as below
rows = {}
for c in clicks:
    # The device's position at the click: from the freshest of its reports around it.
    near = [t - p for t, p in moving if abs(t - c) < 2000]
    if not near: continue
    device = c - min(near)
    heard = (device // 1000) * 1000  # the device is less than a second ahead of the sound
    # A click heard just before the first report was read counts in the first tenth.
    w = max(0, int((c - start) // window))
    rows.setdefault(w, []).append((device - heard, c - start - heard))
med = lambda xs: sorted(xs)[len(xs) // 2]
for w in sorted(rows):
    leads, late = [r[0] for r in rows[w]], [r[1] for r in rows[w]]
    print("%4.0f..%4.0f s: the device's position leads the sound heard by %.0f ms; the sound "
          "is heard %+.0f ms after the play call" % (w * window / 1000, (w + 1) * window / 1000,
                                                    med(leads), med(late)))
PY
    exit 0
fi
/usr/lib/wine/wine64 "$win/player/TaviroPlayer.exe" "Z:${work//\//\\}\\sync.TQK" >/dev/null 2>&1 &
player=$!
/usr/lib/wine/wine64 "$win/player/player_sync_probe.exe" "$((seconds + 2))" 2>/dev/null |
    tr -d '\r' >"$work/events.txt"
kill "$player" 2>/dev/null || true
wait "$player" 2>/dev/null || true
[ -n "${TAVIRO_SYNC_KEEP:-}" ] && cp "$work/events.txt" "$TAVIRO_SYNC_KEEP/"
python3 - "$work/events.txt" "$fps" <<'PY'
import sys
fps = int(sys.argv[2])
flashes, clicks, seeks = [], [], []
for line in open(sys.argv[1]):
    kind, t = line.split()
    {"flash": flashes, "click": clicks, "seek": seeks}[kind].append(float(t) / 1000)
pairs = []
for f in flashes:
    c = min(clicks, key=lambda c: abs(c - f), default=None)
    if c is not None and abs(c - f) < 0.5: pairs.append((f, f - c))
if len(pairs) < 5:
    sys.exit("too few flash/click pairs: %d flashes %d clicks" % (len(flashes), len(clicks)))
def stats(ds):
    ds = sorted(ds)
    q = lambda p: ds[min(len(ds) - 1, int(p * len(ds)))]
    return q(0.5) * 1000, q(0.1) * 1000, q(0.9) * 1000
t0, end = pairs[0][0], pairs[-1][0]
window = max(10.0, (end - t0 + 1) / 10)
rows = {}
for t, d in pairs: rows.setdefault(int((t - t0) // window), []).append(d)
for w in sorted(rows):
    print("%4.0f..%4.0f s: picture minus sound %+.1f ms (%+.1f..%+.1f)"
          % ((w * window, (w + 1) * window) + stats(rows[w])))
first = stats([d for t, d in pairs if t - t0 < 60])
last = stats([d for t, d in pairs if end - t < 60])
print("pairs %d of %d flashes and %d clicks over %.0f s" % (len(pairs), len(flashes), len(clicks), end - t0))
print("picture minus sound, median (10%%..90%%): first minute %+.1f ms (%+.1f..%+.1f), "
      "last minute %+.1f ms (%+.1f..%+.1f), drift %+.1f ms (one frame: %.0f ms)"
      % (first + last + (last[0] - first[0], 1000.0 / fps)))
for i, s in enumerate(seeks):
    until = seeks[i + 1] if i + 1 < len(seeks) else end + 1
    after = [d for t, d in pairs if s + 1.5 < t < until]
    if after:
        print("after seek %d (%s 10 s, %.0f s into the play): picture minus sound %+.1f ms "
              "(%+.1f..%+.1f), %d pairs" % ((i + 1, "on" if i % 2 == 0 else "back", s - t0) +
                                            stats(after) + (len(after),)))
worst = max(pairs, key=lambda p: abs(p[1]))
print("largest offset %+.1f ms, %.0f s into the play" % (worst[1] * 1000, worst[0] - t0))
PY
