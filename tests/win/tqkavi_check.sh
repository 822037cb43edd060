#!/bin/bash
# Runs the conversion file tests under Wine keeping their files, then checks every AVI with
# ffprobe and ffmpeg: codec, size, rate, frame count, and every decoded frame against
# `tqk raw` of its movie; the sound against the WAV file sox made; on a full small disk, the
# frames written before the failure.
#   tqkavi_check.sh TQKAVI_TEST_EXE
set -uo pipefail
exe=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mktemp -d)
mnt=""
cleanup() {
    if [ -n "$mnt" ]; then umount "$mnt" && rmdir "$mnt"; fi
    rm -rf "$out"
}
trap cleanup EXIT
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }

# 0.7 s of a 16-bit mono tone at 22050 Hz.
sox -n -r 22050 -c 1 -b 16 "$out/tone.wav" synth 0.7 sine 440 vol 0.5 || exit 1
small=""
m=$(mktemp -d /tmp/tqkavi_disk.XXXXXX)
if mount -t tmpfs -o size=256k tmpfs "$m" 2>/dev/null; then
    mnt=$m
    small=$(winpath "$mnt")
else
    rmdir "$m"
    echo "FAIL: cannot mount a small file system for the full-disk cases (needs root)"
    exit 1
fi
TAVIRO_TQKAVI_OUT=$(winpath "$out") TAVIRO_TQKAVI_WAV=$(winpath "$out/tone.wav") \
    TAVIRO_SMALL_DISK="$small" "$root/scripts/wine-run.sh" "$exe" \
    --gtest_filter='TqkaviFiles.*' >"$out/run.log" 2>&1 || { cat "$out/run.log"; exit 1; }
status=0
fail() { echo "FAIL: $*"; status=1; }

check_video() { # avi reference.bgr size rate frames [codec]
    local f="$out/$1" got want="${6:-rawvideo},${3/x/,},$4,$5"
    got=$(ffprobe -v error -count_frames -select_streams v:0 \
        -show_entries stream=codec_name,width,height,r_frame_rate,nb_read_frames -of csv=p=0 "$f")
    [ "$got" = "$want" ] || fail "$1: ffprobe says '$got', expected '$want'"
    local bytes=$((${3%x*} * ${3#*x} * 3 * $5))
    ffmpeg -nostdin -v error -i "$f" -map 0:v -f rawvideo -pix_fmt bgr24 - \
        2>"$out/err.log" | cmp -s - <(head -c "$bytes" "$out/$2") ||
        fail "$1: decoded frames differ from tqk raw $(head -c 300 "$out/err.log")"
    echo "ok: $1 ($got)"
}
for b in 32 24 16 8; do
    check_video "m${b}_own.avi" "m$b.bgr" 64x40 10/1 10
    check_video "m${b}_24.avi" "m$b.bgr" 64x40 10/1 10
done
check_video rle8.avi rle8.bgr 64x40 10/1 10 msrle
check_video fast16_24.avi fast16.bgr 64x40 100/1 100
check_video w100_24.avi w100.bgr 100x6 5/1 5
check_video w102_24.avi w102.bgr 102x6 5/1 5
check_video drops_own.avi drops.bgr 32x16 8/1 8
check_video drops_24.avi drops.bgr 32x16 8/1 8
# The dropped slots 2, 3 and 6 repeat frames 1, 1 and 5 of the reference.
fb=$((32 * 16 * 3))
for pair in 1:2 1:3 5:6; do
    cmp -s <(tail -c +$((${pair%:*} * fb + 1)) "$out/drops.bgr" | head -c $fb) \
        <(tail -c +$((${pair#*:} * fb + 1)) "$out/drops.bgr" | head -c $fb) ||
        fail "reference frame ${pair#*:} does not repeat frame ${pair%:*}"
done

f="$out/sound.avi"
kinds=$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "$f" | tr '\n' ' ')
[ "$kinds" = "video audio " ] || fail "sound.avi streams: $kinds"
samples=$(sox --i -s "$out/tone.wav")
audio=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate,nb_frames \
    -of csv=p=0 "$f")
[ "$audio" = "pcm_s16le,22050,$samples" ] || fail "sound stream: $audio, the WAV has $samples"
# Its length in samples: the end of its last packet.
last=$(ffprobe -v error -select_streams a:0 -show_entries packet=pts,duration -of csv=p=0 "$f" |
    tail -n 1)
[ $((${last%,*} + ${last#*,})) -eq "$samples" ] || fail "sound lasts $last, not $samples"
ffmpeg -nostdin -v error -i "$f" -map 0:a -f s16le - | cmp -s - <(sox "$out/tone.wav" -t s16 -) ||
    fail "sound samples differ from the WAV file's"
echo "ok: sound ($audio, $samples samples)"

if [ -n "$mnt" ]; then
    n=$(tr -d '\r\n' <"$out/full_frames.txt" 2>/dev/null)
    got=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
        -of csv=p=0 "$out/full.avi")
    [ -n "$n" ] && [ "$got" = "$n" ] || fail "full disk: ffprobe reads '$got' frames, written '$n'"
    bytes=$((96 * 64 * 3 * ${n:-0}))
    ffmpeg -nostdin -v error -i "$out/full.avi" -f rawvideo -pix_fmt bgr24 - |
        cmp -s - <(head -c "$bytes" "$out/big.bgr") || fail "full disk: frames differ"
    echo "ok: full disk ($got whole frames kept)"
fi
exit $status
