#!/bin/bash
# Runs the compressor's Wine tests keeping their AVI files, then checks every one natively:
# ffprobe sees a ZMBV stream with every frame and key frames every 7 frames (as the export
# asked), and ffmpeg decodes it to exactly the frames of `tqk raw` of its movie. The Windows
# tqk exports the same movies with --codec zmbv through the portable encoder, checked alike.
#   zmbv_driver_check.sh ZMBV_DRIVER_TEST_EXE TQK_EXE
set -uo pipefail
exe=$1
tqk=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
TAVIRO_ZMBV_OUT="Z:$(echo "$out" | tr / '\\')" "$root/scripts/wine-run.sh" "$exe" \
    >"$out/run.log" 2>&1 || { cat "$out/run.log"; exit 1; }
status=0
fail() { echo "FAIL: $*"; status=1; }
keys=""
for i in $(seq 0 19); do if [ $((i % 7)) -eq 0 ]; then keys+=K; else keys+=.; fi; done
for bits in 32 24 16 8; do
    f="$out/z$bits.avi"
    case $bits in 8) fmt=pal8 ;; 16) fmt=rgb555le ;; *) fmt=bgr0 ;; esac
    got=$(ffprobe -v error -count_frames -select_streams v:0 \
        -show_entries stream=codec_name,codec_tag_string,width,height,pix_fmt,nb_read_frames \
        -of csv=p=0 "$f")
    want="zmbv,ZMBV,68,36,$fmt,20"
    [ "$got" = "$want" ] || fail "z$bits.avi: ffprobe says '$got', expected '$want'"
    flags=$(ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 "$f" |
        cut -c1 | tr -d '\n' | tr '_' '.')
    [ "$flags" = "$keys" ] || fail "z$bits.avi: key frames '$flags', expected '$keys'"
    if ! ffmpeg -nostdin -v error -i "$f" -f rawvideo -pix_fmt bgr24 - | cmp -s - "$out/z$bits.bgr"
    then
        fail "z$bits.avi: decoded frames differ from the movie's"
    fi
done
got=$(ffprobe -v error -count_frames -show_entries stream=codec_name,nb_read_frames -of csv=p=0 \
    "$out/chosen.avi")
[ "$got" = "zmbv,10" ] || fail "chosen.avi: ffprobe says '$got'"
for bits in 32 16 8; do
    win="Z:$(echo "$out" | tr / '\\')"
    "$root/scripts/wine-run.sh" "$tqk" avi "$win\\z$bits.TQK" "$win\\t$bits.avi" --codec zmbv \
        --keyint 5 >/dev/null 2>&1 || fail "tqk.exe avi z$bits.TQK --codec zmbv failed"
    flags=$(ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 \
        "$out/t$bits.avi" | cut -c1 | tr -d '\n')
    [ "$flags" = "K____K____K____K____" ] || fail "t$bits.avi: key frames '$flags'"
    if ! ffmpeg -nostdin -v error -i "$out/t$bits.avi" -f rawvideo -pix_fmt bgr24 - |
        cmp -s - "$out/z$bits.bgr"; then
        fail "t$bits.avi: decoded frames differ from the movie's"
    fi
done
[ $status -eq 0 ] && echo "every file decodes to its movie's frames"
exit $status
