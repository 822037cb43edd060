#!/bin/bash
# tqkrec as a real second process under Wine: a recording, a refused width, and Ctrl+C
# stopping on a whole second with the header patched to match.
#   tqkrec_test.sh TQKREC_EXE
set -uo pipefail
exe=$1
here=$(cd "$(dirname "$0")/../.." && pwd)
run="$here/scripts/wine-run.sh"
dir=$(mktemp -d /tmp/tqkrec_test.XXXXXX)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Header fields and the number of whole records of a movie.
movie_facts() {
    python3 - "$1" <<'PY'
import struct, sys
b = open(sys.argv[1], 'rb').read()
magic, ver, method, bits, w, h, fps, sec = struct.unpack('<4s7i', b[:32])
at, n = 32, 0
while at + 8 <= len(b) and b[at:at+4] == b'FRAM':
    size = struct.unpack('<i', b[at+4:at+8])[0]
    if at + 8 + size > len(b): break
    at += 8 + size; n += 1
print(magic.decode(), method, bits, w, h, fps, sec, n, 'end' if at == len(b) else 'tail')
PY
}

winpath() { echo "Z:${1//\//\\}"; }

# 1. A plain recording.
out=$("$run" "$exe" "$(winpath "$dir/a.TQK")" --rect 0,0,64,48 --fps 10 --sec 1 --method 2 2>&1) ||
    fail "recording failed: $out"
grep -q '^dropped ' <<<"$out" || fail "no dropped count: $out"
facts=$(movie_facts "$dir/a.TQK")
[ "$facts" = "TVRX 2 $(cut -d' ' -f3 <<<"$facts") 64 48 10 1 10 end" ] || fail "movie: $facts"

# 2. A width that is not a multiple of 4 is refused with the engine's message.
if out=$("$run" "$exe" "$(winpath "$dir/b.TQK")" --rect 0,0,66,48 --sec 1 2>&1); then
    fail "odd width accepted"
fi
grep -q '初期化されていません。' <<<"$out" || fail "message: $out"
[ ! -e "$dir/b.TQK" ] || fail "refused recording left a file"

# 3. Ctrl+C stops on a whole second.
"$run" "$exe" "$(winpath "$dir/c.TQK")" --rect 0,0,64,48 --fps 10 --sec 60 --async \
    >"$dir/c.out" 2>&1 &
runner=$!
for _ in $(seq 100); do [ -e "$dir/c.TQK" ] && break; sleep 0.1; done
sleep 1.5
# Its command line names the movie by its Windows path: match this test's folder only, so no
# recorder of another test running alongside is taken for it.
pid=$(pgrep -f "$(basename "$dir").c\.TQK" | head -1)
[ -n "$pid" ] || fail "recorder not found"
kill -INT "$pid"
wait "$runner" || fail "stopped recorder exited non-zero: $(cat "$dir/c.out")"
secs=$(tr -d '\r' <"$dir/c.out" | sed -n 's/^stopped after \([0-9]*\) s$/\1/p')
[ -n "$secs" ] && [ "$secs" -ge 1 ] || fail "no stop line: $(cat "$dir/c.out")"
facts=$(movie_facts "$dir/c.TQK")
read -r _ _ _ _ _ fps sec records tail <<<"$facts"
[ "$sec" = "$secs" ] && [ "$records" = $((fps * secs)) ] && [ "$tail" = end ] ||
    fail "stopped movie: $facts (stopped after $secs s)"
echo "ok: tqkrec recorded, refused, and stopped after $secs s"
