#!/bin/bash
# The stop of 10- and 60-minute recordings with sound (48 kHz, 16 bits, stereo): the real sound
# helper starts with the minutes in its scratch file and records a second more; printed are the
# times from the stop to status 8 (writing) and to the reply, as sound copied and as sound laid
# back on the clock (a device running 0.2 % fast), and what a recorder that gives up after
# 5000 ms would do.
#   bench/sound_stop.sh [WIN64_BUILD_DIR] [MINUTES...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/win64}
shift || true
minutes=("$@")
[ ${#minutes[@]} -gt 0 ] || minutes=(10 60)
exe=$build/tests/sound_stop.exe
helper=$build/sound/TaviroWave.exe
[ -e "$exe" ] && [ -e "$helper" ] || { echo "build sound_stop and TaviroWave (win64) first"; exit 1; }
"$root/scripts/wine-env.sh" start
dir=$(mktemp -d /tmp/sound_stop.XXXXXX)
trap 'rm -rf "$dir"' EXIT
winpath() { echo "Z:${1//\//\\}"; }
# Something for the device to hear while it records its last second.
sox -q -n -r 48000 -c 2 -b 16 "$dir/tone.wav" synth 3600 sine 440 vol 0.3
pulse=$("$root/scripts/wine-env.sh" vars | sed -n 's/^PULSE_SERVER=//p')
PULSE_SERVER=$pulse paplay "$dir/tone.wav" &
player=$!
trap 'kill $player 2>/dev/null; rm -rf "$dir"' EXIT
for m in "${minutes[@]}"; do
    for ratio in 0 1.002; do
        "$root/scripts/wine-run.sh" "$exe" "$(winpath "$helper")" "$(winpath "$dir/long.wav")" \
            "$m" "$ratio" 2>/dev/null || echo "($m min, ratio $ratio: the helper did not reply)"
    done
done
