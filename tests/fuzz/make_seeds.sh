#!/bin/bash
# Makes the fuzz targets' seed files: movies and AVIs written by the suite's tqk tool, WAV
# files and AVIs written by sox and ffmpeg, install logs and shared blocks as the programs
# write them, and cut-short copies of several. Made once per build folder.
#   tests/fuzz/make_seeds.sh SEED_DIR TQK_EXE
set -euo pipefail
out=$1 tqk=$2
[ -f "$out/.done" ] && exit 0
rm -rf "$out"
mkdir -p "$out"/{reader_fuzz,record_scan_fuzz,frame_seek_fuzz,snapshot_file_fuzz,wav_reader_fuzz,avi_add_stream_fuzz,install_log_fuzz,sound_block_fuzz,zmbv_decoder_fuzz}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cut_copy() { # file: a copy cut to two thirds beside it
    head -c $(($(stat -c %s "$1") * 2 / 3)) "$1" >"${1%.*}.cut.${1##*.}"
}

# Movies of every depth and method.
m=$out/reader_fuzz
n=0
for spec in "32 1 16x8" "32 0 12x6" "32 2 8x4" "24 1 16x8" "24 2 12x4" "16 1 16x8" \
            "16 0 8x8" "8 1 16x8" "8 1 4x4"; do
    set -- $spec
    n=$((n + 1))
    "$tqk" sample "$m/s$n.tqk" --bits "$1" --method "$2" --size "$3" --fps 3 --sec 1 >/dev/null
    cut_copy "$m/s$n.tqk"
done

# The seek bar's index and snapshots: the same movies, several seconds long.
cp "$m"/*.tqk "$out/frame_seek_fuzz/"
"$tqk" sample "$out/frame_seek_fuzz/long.tqk" --bits 24 --size 8x4 --fps 5 --sec 6 >/dev/null

# The snapshot file: movies and the files tqk snap writes for them, each pair one input (the
# movie's length, the movie, the file), a file cut short, and a file with another movie.
n=0
for spec in "32 1 8x4 5 8" "16 1 8x8 4 6" "8 1 4x4 3 9" "24 2 12x4 2 10"; do
    set -- $spec
    n=$((n + 1))
    "$tqk" sample "$tmp/snap.tqk" --bits "$1" --method "$2" --size "$3" --fps "$4" --sec "$5" \
        >/dev/null
    "$tqk" snap "$tmp/snap.tqk" >/dev/null
    python3 - "$tmp/snap.tqk" "$out/snapshot_file_fuzz/s$n" <<'PY'
import struct, sys
movie = open(sys.argv[1], 'rb').read()
snap = open(sys.argv[1] + '.snap', 'rb').read()
pair = lambda m, s: struct.pack('<I', len(m)) + m + s
open(sys.argv[2] + '.bin', 'wb').write(pair(movie, snap))
open(sys.argv[2] + '.cut.bin', 'wb').write(pair(movie, snap[:len(snap) * 2 // 3]))
open(sys.argv[2] + '.other.bin', 'wb').write(pair(movie[:-1] + b'\x01', snap))
PY
done

# The record scan: the same movies, ones whose record heads lie far apart (large frames), and
# ones a stopped writer leaves: cut inside a record, or whole records followed by the zero
# reserve of the mapped writer.
r=$out/record_scan_fuzz
cp "$m"/*.tqk "$r"/
"$tqk" sample "$r/wide.tqk" --bits 32 --method 0 --size 96x64 --fps 2 --sec 2 >/dev/null
"$tqk" sample "$r/wide16.tqk" --bits 16 --method 1 --size 160x96 --fps 1 --sec 3 >/dev/null
cut_copy "$r/wide.tqk"
python3 - "$m/s1.tqk" "$r" <<'PY'
import struct, sys
src, d = sys.argv[1], sys.argv[2]
b = open(src, 'rb').read()
ends, at = [], 32
while at + 8 <= len(b) and b[at:at + 4] == b'FRAM':
    at += 8 + struct.unpack_from('<I', b, at + 4)[0]
    ends.append(at)
# Two records, then an all-zero head and more zeros than any record could take.
open(f'{d}/reserve.tqk', 'wb').write(b[:ends[1]] + bytes(8 + 2048))
# The same with one stray byte in the reserve: damage, not a stopped writer.
open(f'{d}/reserve_damaged.tqk', 'wb').write(b[:ends[1]] + bytes(1000) + b'\x01' + bytes(1056))
# Cut inside the third record's head.
open(f'{d}/cut_head.tqk', 'wb').write(b[:ends[1] + 5])
PY

# WAV files: sox's and ffmpeg's layouts (fact and LIST chunks, extensible and compressed
# formats), cut short too.
w=$out/wav_reader_fuzz
sox -n -r 8000 -b 16 -c 1 "$w/sox16m.wav" synth 0.02 sine 440
sox -n -r 11025 -b 8 -c 2 "$w/sox8s.wav" synth 0.02 sine 440
sox -n -r 8000 -b 24 -c 1 "$w/sox24.wav" synth 0.01 sine 440
sox -n -r 8000 -e floating-point -b 32 -c 1 "$w/soxfloat.wav" synth 0.01 sine 440
sox -n -r 8000 -b 16 -c 4 "$w/sox4ch.wav" synth 0.005 sine 440
sox -n -r 8000 -e ima-adpcm -c 1 "$w/soximaadpcm.wav" synth 0.05 sine 440
ff() { ffmpeg -nostdin -loglevel error -y "$@"; }
ff -f lavfi -i "sine=f=440:r=8000:d=0.02" -c:a pcm_s16le -metadata title=t "$w/ff16.wav"
ff -f lavfi -i "sine=f=440:r=8000:d=0.02" -c:a pcm_u8 -ac 2 "$w/ffu8.wav"
ff -f lavfi -i "sine=f=440:r=8000:d=0.05" -c:a adpcm_ms "$w/ffadpcm.wav"
ff -f lavfi -i "sine=f=440:r=8000:d=0.02" -c:a pcm_alaw "$w/ffalaw.wav"
for f in "$w"/sox16m.wav "$w"/ff16.wav; do cut_copy "$f"; done

# AVIs the suite writes (one and several segments, with and without sound), and ffmpeg's.
a=$out/avi_add_stream_fuzz
"$tqk" sample "$tmp/m24.tqk" --bits 24 --method 1 --size 16x8 --fps 10 --sec 3 >/dev/null
"$tqk" sample "$tmp/m8.tqk" --bits 8 --method 1 --size 4x4 --fps 5 --sec 1 >/dev/null
"$tqk" avi "$tmp/m24.tqk" "$a/one.avi" >/dev/null
"$tqk" avi "$tmp/m8.tqk" "$a/eight.avi" >/dev/null
"$tqk" avi --segment 21000 "$tmp/m24.tqk" "$a/segments.avi" >/dev/null
"$tqk" avi --segment 21000 "$tmp/m24.tqk" "$a/withsound.avi" "$w/sox16m.wav" >/dev/null
cut_copy "$a/segments.avi"
ff -f lavfi -i "testsrc=s=16x8:r=5:d=0.4" -c:v rawvideo -pix_fmt bgr24 "$a/ffmpeg.avi"

# Install logs as the installer writes them (ANSI, CR LF), and hostile ones.
l=$out/install_log_fuzz
p='C:\Program Files\Taviro'
d='C:\users\u\Desktop'
s='C:\users\u\Start Menu\Programs\Nolvane\Taviro'
printf 'dir:%s\\\r\ndir:%s\\help\\\r\n\r\nfnm:%s\\TaviroRec.exe\r\nfnm:%s\\help\\index.htm\r\nfnm:%s\\TaviroRec.lnk\r\nfnm:%s\\TaviroPlayer.lnk\r\n\r\nreg:TQK\r\n\r\n' \
    "$p" "$p" "$p" "$p" "$d" "$s" >"$l/log.txt"
printf 'fnm:%s\\..\\..\\Windows\\win.ini\r\ndir:%s\\ .. \\\r\nfnm:C:\\Windows\\x\r\nfnm:relative\\x\r\nreg:TQK\r\nxyz:?\r\n' \
    "$p" "$p" >"$l/hostile.txt"
printf 'TaviroRec.exe\0*.exe;*.dll;help\\*.htm;????.tq?' >"$l/patterns.txt"

# Shared blocks as the recorder fills them, and a command line.
python3 - "$out/sound_block_fuzz" <<'PY'
import struct, sys
d = sys.argv[1]
def block(code, bits, rate, ch, sec, kb, wave, scratch, actual, start):
    b = bytearray(594)
    struct.pack_into('<6i', b, 0, code, bits, rate, ch, sec, kb)
    b[24:24 + len(wave)] = wave
    b[285:285 + len(scratch)] = scratch
    struct.pack_into('<ii', b, 548, actual, start)
    return bytes(b)
open(f'{d}/start.bin', 'wb').write(block(1, 16, 44100, 2, 10, 1000, b'C:\\movies\\a.wav', b'', 0, 12345))
open(f'{d}/scratch.bin', 'wb').write(block(1, 8, 22050, 1, 3600, 64, b'D:\\x.wav', b'E:\\tmp\\s', 5, 0))
open(f'{d}/done.bin', 'wb').write(block(4, 1234, 0, 0, 0, 0, b'', b'', 77, 0))
open(f'{d}/cmdline.bin', 'wb').write(block(7, 0, 0, 0, 0, 0, b'', b'', 0, 0) + b' 4242 ')
PY
# ZMBV streams: the suite's encoder at every depth and ffmpeg's, the video chunks of each AVI
# laid out as the target reads them (no prelude, the picture size, then each chunk with its
# length), a few frames each so that delta frames follow their key frame.
z=$out/zmbv_decoder_fuzz
for spec in "8 16x8" "16 24x10" "24 20x12" "32 32x16"; do
    set -- $spec
    "$tqk" sample "$tmp/z$1.tqk" --bits "$1" --method 1 --size "$2" --fps 4 --sec 1 >/dev/null
    "$tqk" avi --codec zmbv --keyint 3 "$tmp/z$1.tqk" "$tmp/z$1.avi" >/dev/null
done
"$tqk" avi --codec zmbv --555 "$tmp/z16.tqk" "$tmp/z15.avi" >/dev/null
for f in pal8 rgb555le rgb565le bgr0; do
    ff -f lavfi -i "testsrc=s=24x16:r=4:d=1" -c:v zmbv -g 3 -pix_fmt $f "$tmp/ff$f.avi"
done
python3 - "$z" "$tmp"/z*.avi "$tmp"/ff*.avi <<'PY'
import os, struct, sys
d = sys.argv[1]
for path in sys.argv[2:]:
    b = open(path, 'rb').read()
    at = b.index(b'strf') + 8
    w, h = struct.unpack_from('<ii', b, at + 4)
    chunks, at = [], b.index(b'movi') + 4
    while at + 8 <= len(b) and b[at:at + 4] != b'idx1':
        tag, n = b[at:at + 4], struct.unpack_from('<I', b, at + 4)[0]
        if tag[2:] == b'dc' and n: chunks.append(b[at + 8:at + 8 + n])
        at += 8 + n + (n & 1)
    out = bytes([0, abs(w) - 1, abs(h) - 1])
    for c in chunks: out += struct.pack('<H', len(c)) + c
    open(os.path.join(d, os.path.basename(path)[:-4] + '.bin'), 'wb').write(out)
PY
touch "$out/.done"
ls "$out"/* | wc -l >/dev/null
