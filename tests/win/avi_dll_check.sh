#!/bin/bash
# Runs the library's file tests under Wine keeping their AVI files, then checks every file
# with ffprobe and ffmpeg: stream kinds, codec, frame count, and every decoded frame against
# the image the test wrote beside it; the sound against the WAV file.
set -uo pipefail
exe=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
TAVIRO_AVI_OUT="Z:$(echo "$out" | tr / '\\')" "$root/scripts/wine-run.sh" "$exe" \
    --gtest_filter='TaviroAviFiles.*' >"$out/run.log" 2>&1 || { cat "$out/run.log"; exit 1; }
status=0
fail() { echo "FAIL: $*"; status=1; }

check_video() { # file codec frames
    local f="$out/$1" got
    got=$(ffprobe -v error -count_frames -select_streams v:0 \
        -show_entries stream=codec_name,width,height,r_frame_rate,nb_read_frames -of csv=p=0 "$f")
    [ "$got" = "$2,64,40,15/1,$3" ] || fail "$1: ffprobe says '$got', expected '$2,64,40,15/1,$3'"
    ffmpeg -nostdin -v error -i "$f" -map 0:v -f rawvideo -pix_fmt bgr24 - 2>"$out/err.log" |
        cmp -s - "${f%.avi}.bgr" || fail "$1: decoded frames differ $(head -c 300 "$out/err.log")"
    echo "ok: $1 ($got)"
}
check_video full24.avi rawvideo 12
check_video full8.avi rawvideo 12
check_video full32.avi rawvideo 5
check_video full16.avi rawvideo 5
check_video rle8.avi msrle 12

f="$out/音付き.avi"
kinds=$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "$f" | tr '\n' ' ')
[ "$kinds" = "video audio " ] || fail "sound file streams: $kinds"
audio=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name,sample_rate,nb_frames \
    -of csv=p=0 "$f")
[ "$audio" = "pcm_s16le,22050,32769" ] || fail "sound stream: $audio"
last=$(ffprobe -v error -select_streams a:0 -show_entries packet=pts,duration -of csv=p=0 "$f" |
    tail -n 1)
[ $((${last%,*} + ${last#*,})) -eq 32769 ] || fail "sound lasts $last"
ffmpeg -nostdin -v error -i "$f" -map 0:a -f s16le - | cmp -s - <(tail -c +45 "$out/音.wav") ||
    fail "sound samples differ from the WAV file's"
echo "ok: sound ($audio, last packet $last)"
exit $status
