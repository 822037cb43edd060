#!/bin/bash
# Runs the sound measurements by hand: start-time accuracy over 20 runs, then the length
# drift of one 60-second recording with a 1 kHz tone playing into the audio daemon.
#   sound/measure/measure.sh BUILD_DIR     (e.g. build/win64)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$here/../..
build=$(cd "${1:-$root/build/win64}" && pwd)
out=$(mktemp -d)
trap 'kill "${player:-0}" 2>/dev/null || true; rm -rf "$out"' EXIT
"$root/scripts/wine-env.sh" start
export $("$root/scripts/wine-env.sh" vars | grep PULSE_SERVER)
sox -n -r 44100 -c 2 -b 16 "$out/tone.wav" synth 70 sine 1000 vol 0.5
dos=$(echo "Z:$out" | tr / '\\')
"$root/scripts/wine-run.sh" "$build/sound/sound_measure.exe" start 20 "$dos"
paplay "$out/tone.wav" &
player=$!
sleep 1
"$root/scripts/wine-run.sh" "$build/sound/sound_measure.exe" drift 60 "$dos\\drift.wav"
ffprobe -v error -show_entries stream=sample_rate,channels,duration -of compact "$out/drift.wav"
sox "$out/drift.wav" -n trim 1 5 remix 1 stat 2>&1 | grep -i 'rough'
