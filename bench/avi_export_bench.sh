#!/bin/bash
# Export speed: a 1024 x 768 x 24 movie exported to an uncompressed AVI by `tqk avi`
# (decode-only, through the AVI writer), against ffmpeg writing the same frames (from
# `tqk raw`) as an uncompressed AVI. Prints frames per second of both and their ratio.
#   bench/avi_export_bench.sh [TQK_TOOL] [SECONDS] [FPS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tqk=${1:-$root/build/native/tools/tqk/tqk}
sec=${2:-60}
fps=${3:-10}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
frames=$((sec * fps))
"$tqk" sample "$dir/m.TQK" --bits 24 --size 1024x768 --fps "$fps" --sec "$sec" >/dev/null
"$tqk" raw "$dir/m.TQK" >"$dir/frames.bgr"
now() { date +%s.%N; }
# ffmpeg first, then ours, each after the disk has taken the previous writes.
sync
t2=$(now)
ffmpeg -nostdin -v error -f rawvideo -pixel_format bgr24 -video_size 1024x768 -framerate "$fps" \
    -i "$dir/frames.bgr" -c:v rawvideo "$dir/ffmpeg.avi"
t3=$(now)
rm -f "$dir/ffmpeg.avi"
sync
t0=$(now)
"$tqk" avi "$dir/m.TQK" "$dir/tqk.avi" >/dev/null
t1=$(now)
awk -v n="$frames" -v a="$t0" -v b="$t1" -v c="$t2" -v d="$t3" 'BEGIN {
    ours = n / (b - a); theirs = n / (d - c);
    printf "frames: %d (1024x768x24)\ntqk avi: %.1f fps (%.2f s)\nffmpeg:  %.1f fps (%.2f s)\nratio:   %.2f\n",
        n, ours, b - a, theirs, d - c, ours / theirs }'
