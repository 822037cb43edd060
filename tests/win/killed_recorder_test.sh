#!/bin/bash
# A recorder killed in the middle of a recording, with each writer: the real tqkrec.exe under
# Wine, killed by signal. The movie's header still promises every planned second; tqk verify
# says how much it holds, the engine's export (playback decode-only and drawn, TQKAVI) and
# tqk avi give its whole seconds without an error, and tqk repair makes the file whole.
#   killed_recorder_test.sh TQKREC_EXE TQK_EXE TQKAVI_EXE
set -uo pipefail
rec=$1
tqk=$2
tqkavi=$3
here=$(cd "$(dirname "$0")/../.." && pwd)
run="$here/scripts/wine-run.sh"
dir=$(mktemp -d /tmp/killed_rec.XXXXXX)
trap 'rm -rf "$dir"' EXIT
status=0
fail() {
    echo "FAIL: $*"
    status=1
}
winpath() { echo "Z:${1//\//\\}"; }
frames_of() { # avi
    ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
        -of csv=p=0 "$1"
}
header_sec() { python3 -c 'import struct,sys; print(struct.unpack("<i", open(sys.argv[1],"rb").read()[28:32])[0])' "$1"; }

for writer in sync async; do
    movie="$dir/$writer.TQK"
    flag=""
    [ "$writer" = async ] && flag=--async
    "$run" "$rec" "$(winpath "$movie")" --rect 0,0,64,48 --fps 10 --sec 20 $flag \
        >"$dir/$writer.out" 2>&1 &
    runner=$!
    for _ in $(seq 300); do [ -e "$movie" ] && break; sleep 0.1; done
    sleep 2.4
    # Its command line names the movie by its Windows path.
    pattern="$(basename "$dir").$writer\.TQK"
    pid=$(pgrep -f "$pattern" | head -1)
    if [ -z "$pid" ]; then
        fail "$writer: recorder not found: $(cat "$dir/$writer.out")"
        continue
    fi
    kill -KILL "$pid"
    wait "$runner" 2>/dev/null
    # Wine lets go of the file once the process is gone.
    for _ in $(seq 50); do pgrep -f "$pattern" >/dev/null || break; sleep 0.1; done
    size=$(stat -c %s "$movie")
    [ "$(header_sec "$movie")" = 20 ] || fail "$writer: header no longer says 20 s"
    if [ "$writer" = async ]; then
        # The mapped writer's reservation: (F + 8) x 200 + 100 bytes at least.
        [ "$size" -ge $(((64 * 48 * 4 + 8) * 200 + 100)) ] || fail "async: only $size bytes"
    fi

    out=$("$run" "$tqk" verify "$(winpath "$movie")" 2>&1) || fail "$writer: verify: $out"
    secs=$(sed -n 's/^cut short: [0-9]* of 200 records, \([0-9]*\) of 20 seconds; plays .*/\1/p' <<<"$out")
    if [ -z "$secs" ] || [ "$secs" -lt 1 ]; then
        fail "$writer: verify says: $out"
        continue
    fi
    frames=$((secs * 10))
    grep -q "plays $frames frames" <<<"$out" || fail "$writer: verify says: $out"

    for how in decode drawn; do
        avi="$dir/$writer-$how.avi"
        extra=""
        [ "$how" = drawn ] && extra=--24
        got=$("$run" "$tqkavi" "$(winpath "$movie")" "$(winpath "$avi")" $extra 2>&1) ||
            fail "$writer: TQKAVI ($how) failed: $got"
        [ "${got%% *}" = "$frames" ] || fail "$writer: TQKAVI ($how) wrote '$got', want $frames"
        [ "$(frames_of "$avi")" = "$frames" ] || fail "$writer: $how AVI: $(frames_of "$avi") frames"
    done
    got=$("$run" "$tqk" avi "$(winpath "$movie")" "$(winpath "$dir/$writer-tqk.avi")" 2>&1) ||
        fail "$writer: tqk avi: $got"
    [ "$(frames_of "$dir/$writer-tqk.avi")" = "$frames" ] || fail "$writer: tqk avi: $got"
    # The same frames both ways.
    a=$(ffmpeg -nostdin -v error -i "$dir/$writer-decode.avi" -f framemd5 - | grep -v '^#')
    b=$(ffmpeg -nostdin -v error -i "$dir/$writer-tqk.avi" -f framemd5 - | grep -v '^#')
    [ -n "$a" ] && [ "$a" = "$b" ] || fail "$writer: TQKAVI and tqk avi frames differ"

    out=$("$run" "$tqk" repair "$(winpath "$movie")" 2>&1) || fail "$writer: repair: $out"
    [ "$(header_sec "$movie")" = "$secs" ] || fail "$writer: repaired header: $(header_sec "$movie")"
    out=$("$run" "$tqk" verify "$(winpath "$movie")" 2>&1)
    [ "$out" = "ok: $frames frames" ] || fail "$writer: verify after repair: $out"
    echo "ok: $writer writer killed after $secs whole seconds ($size bytes), repaired to $(stat -c %s "$movie")"
done
exit $status
