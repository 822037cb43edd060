#!/bin/bash
# Export speed of the programs' road: a 1024 x 768 x 24 movie exported decode-only to an
# uncompressed AVI by TQKAVI under Wine (timed inside the program), against ffmpeg writing the
# same frames (from `tqk raw`) as an uncompressed AVI natively. Also the export drawn and
# read back at 24 bits, from a 16-bit movie. Prints frames per second and the ratio.
#   bench/tqkavi_export_bench.sh [SECONDS] [FPS]   (native and win64 builds in build/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tqk=$root/build/native/tools/tqk/tqk
exe=$root/build/win64/tools/tqkavi/tqkavi.exe
sec=${1:-60}
fps=${2:-10}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
win() { echo "Z:$(echo "$1" | tr / '\\')"; }
frames=$((sec * fps))
"$tqk" sample "$dir/m.TQK" --bits 24 --size 1024x768 --fps "$fps" --sec "$sec" >/dev/null
"$tqk" raw "$dir/m.TQK" >"$dir/frames.bgr"
sync
t0=$(date +%s.%N)
ffmpeg -nostdin -v error -f rawvideo -pixel_format bgr24 -video_size 1024x768 -framerate "$fps" \
    -i "$dir/frames.bgr" -c:v rawvideo "$dir/ffmpeg.avi"
t1=$(date +%s.%N)
rm -f "$dir/ffmpeg.avi" "$dir/frames.bgr"
sync
read -r n s ours < <("$root/scripts/wine-run.sh" "$exe" "$(win "$dir/m.TQK")" "$(win "$dir/o.avi")" |
    tr -d '\r')
rm -f "$dir/o.avi" "$dir/m.TQK"
"$tqk" sample "$dir/m16.TQK" --bits 16 --size 1024x768 --fps "$fps" --sec "$sec" >/dev/null
sync
read -r n24 s24 ours24 < <("$root/scripts/wine-run.sh" "$exe" "$(win "$dir/m16.TQK")" \
    "$(win "$dir/o24.avi")" --24 | tr -d '\r')
awk -v n="$frames" -v a="$t0" -v b="$t1" -v ours="$ours" -v s="$s" -v o24="$ours24" \
    -v s24="$s24" 'BEGIN {
    theirs = n / (b - a);
    printf "frames: %d (1024x768)\nTQKAVI decode-only: %.1f fps (%.2f s)\n", n, ours, s;
    printf "TQKAVI 16 -> 24 bits drawn: %.1f fps (%.2f s)\nffmpeg: %.1f fps (%.2f s)\n",
        o24, s24, theirs, b - a;
    printf "ratio (decode-only / ffmpeg): %.2f\n", ours / theirs }'
