#!/bin/bash
# Picture against sound through TaviroRec.exe. A scene clicks at every whole second through
# wave-out and paints in every frame the time since the last click as its device plays it, so
# every recorded frame tells when the scene's clicks were (to the scene's paint, a few ms).
# 1. The scene alone, grabbed with its sound by ffmpeg (x11grab and the audio daemon's monitor
#    on one clock): the scene's own lateness of sound against picture (its output latency).
# 2. The scene recorded through the recorder with sound and exported to AVI: in the AVI, the
#    click's offset against the pictures, less the scene's own; over the first and the last
#    ten clicks, and the WAV's length against the movie's. With PAUSES, the recording is paused
#    that many times (0.5 to 4 s each, by the recording window's pause button) and the offset
#    of the first click after every resume is printed as well.
#   bench/recorder_sync.sh [BUILD_WIN64] [SECONDS] [FPS] [PAUSES]
# TAVIRO_SYNC_KEEP=DIR keeps the recording there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=${1:-$root/build/win64}
seconds=${2:-600}
fps=${3:-30}
pauses=${4:-0}
exe=$win/tests/recorder_sync.exe
[ -e "$exe" ] || { echo "build recorder_sync (win64) first"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$root/scripts/wine-env.sh" start >/dev/null
mapfile -t vars < <("$root/scripts/wine-env.sh" vars)
export "${vars[@]}"
wine=/usr/lib/wine/wine64

# 1. The scene's own latency.
"$wine" "$exe" scene 14 >/dev/null 2>&1 &
scene=$!
sleep 2
ffmpeg -v fatal -t 10 -f x11grab -framerate 25 -video_size 64x48 -i "$DISPLAY+0,0" \
    -t 10 -f pulse -i nullsink.monitor -map 0:v -c:v rawvideo -map 1:a -c:a pcm_s16le \
    -copyts "$work/own.nut" </dev/null
wait "$scene" || true

# 2. Through the recorder.
"$wine" "$exe" record "$seconds" "$fps" "Z:${work//\//\\}" "$pauses" | tr -d '\r' |
    tee "$work/record.log"
[ -n "${TAVIRO_SYNC_KEEP:-}" ] && cp "$work"/sync.* "$TAVIRO_SYNC_KEEP/"

python3 - "$work" "$seconds" "$fps" <<'PY'
import array, json, re, subprocess, sys
work, seconds, fps = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
resumes = [(int(m.group(1)), int(m.group(2))) for m in
           re.finditer(r"resume after frame (\d+) \(paused (\d+) ms\)",
                       open(f"{work}/record.log").read())]
W, H, RATE = 64, 48, 44100

def run(*a):
    return subprocess.run(a, capture_output=True, check=True).stdout

def probe(path, sel, entries):
    out = run("ffprobe", "-v", "error", "-select_streams", sel, "-show_entries", entries,
              "-of", "json", path)
    return json.loads(out)

def clicks_from_pictures(frames, times):
    """The scene's click times as the frames tell them: frame time less the time painted."""
    est = {}
    for f, t in zip(frames, times):
        r, g, b = f[(H // 2 * W + W // 2) * 3:(H // 2 * W + W // 2) * 3 + 3]
        if b != 128 or r % 64:
            continue  # not the scene
        c = t - ((r // 64) * 256 + g) / 1000.0
        est.setdefault(round(c), []).append(c)
    # a frame shows the paint before its grab, never a later one: the earliest estimate of
    # each click is the closest
    return {k: min(v) for k, v in est.items() if len(v) >= 3}

def onsets(samples, start):
    """Times of the clicks' first loud samples (left channel)."""
    out, last = [], -1.0
    for i in range(0, len(samples), 2):
        if abs(samples[i]) > 8000:
            t = start + i / 2 / RATE
            if t - last > 0.5:
                out.append(t)
            last = t
    return out

def offsets(path, vtimes=None, astart=0.0):
    frames_raw = run("ffmpeg", "-v", "error", "-i", path, "-map", "0:v", "-f", "rawvideo",
                     "-pix_fmt", "rgb24", "-vsync", "passthrough", "-")
    n = len(frames_raw) // (W * H * 3)
    frames = [frames_raw[i * W * H * 3:(i + 1) * W * H * 3] for i in range(n)]
    times = vtimes if vtimes is not None else [i / fps for i in range(n)]
    pcm = array.array("h", run("ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-f", "s16le",
                               "-ac", "2", "-ar", str(RATE), "-"))
    pic = clicks_from_pictures(frames, times[:n])
    result = []
    for a in onsets(pcm, astart):
        k = min(pic, key=lambda k: abs(pic[k] - a), default=None)
        if k is not None and abs(pic[k] - a) < 0.4:
            result.append((pic[k], (a - pic[k]) * 1000))
    return result, n

own_path = f"{work}/own.nut"
v = probe(own_path, "v", "frame=pts_time")["frames"]
vt = [float(f["pts_time"]) for f in v]
a0 = float(probe(own_path, "a", "stream=start_time")["streams"][0]["start_time"])
own, _ = offsets(own_path, vt, a0)
if not own:
    sys.exit("the scene's own clicks were not found")
own_ms = sorted(o for _, o in own)[len(own) // 2]
print(f"scene alone: sound after picture by {own_ms:.1f} ms (median of {len(own)} clicks, "
      f"grab at 25 fps: each value to 40 ms)")

avi = f"{work}/sync.avi"
rec, frames = offsets(avi)
if len(rec) < 4:
    sys.exit(f"clicks in the AVI: {len(rec)}")
rec.sort()
first, last = rec[:10], rec[-10:]
med = lambda xs: sorted(xs)[len(xs) // 2]
f_ms = med([o for _, o in first]) - own_ms
l_ms = med([o for _, o in last]) - own_ms
print(f"through the recorder ({seconds} s at {fps} fps, {len(rec)} clicks found):")
print(f"  first 10 clicks (at {first[0][0]:.0f}-{first[-1][0]:.0f} s): sound after picture "
      f"{f_ms:+.1f} ms less the scene's own; each: " +
      " ".join(f"{o - own_ms:+.0f}" for _, o in first))
print(f"  last 10 clicks (at {last[0][0]:.0f}-{last[-1][0]:.0f} s): {l_ms:+.1f} ms; each: " +
      " ".join(f"{o - own_ms:+.0f}" for _, o in last))
print(f"  drift from the first to the last: {l_ms - f_ms:+.1f} ms; one frame = "
      f"{1000 / fps:.1f} ms")
for frame, paused in resumes:
    after = [(t, o) for t, o in rec if t >= frame / fps]
    if after:
        t, o = after[0]
        print(f"  after the resume at {frame / fps:.2f} s (paused {paused} ms): click at "
              f"{t:.2f} s, {o - own_ms:+.1f} ms")
    else:
        print(f"  after the resume at {frame / fps:.2f} s: no click found")
wav = float(run("soxi", "-D", f"{work}/sync.wav").decode())
print(f"  WAV {wav * 1000:.1f} ms against the movie's {frames} frames = "
      f"{frames * 1000 / fps:.1f} ms: {(wav - frames / fps) * 1000:+.1f} ms")
PY
