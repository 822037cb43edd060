#!/bin/bash
# The main job. Sets up the machine, builds the suite, stages its distribution folder and ZIP,
# and installs it into its Wine prefix with the real installer (its button pressed by the
# demonstration driver). Then:
#   - with a usable display (DISPLAY set and answering): starts the installed recorder there,
#     so that the Linux desktop can be recorded through it;
#   - without one: a short demonstration on the harness's own display. A scene that moves and
#     sounds is recorded for a few seconds through TaviroRec.exe with sound and exported to AVI
#     with the TaviroZmbv compressor (should that fail, recorded by tqkrec.exe with the sound
#     helper and exported by "tqk avi"), converted to MP4 by ffmpeg, checked by ffmpeg (every
#     frame decodes, the sound is there), and the places of the TQK, WAV, AVI, MP4 and
#     screenshots are printed.
# TAVIRO_WINE_DIR chooses the Wine environment (default: one of the main job's own, apart from
# the tests'); TAVIRO_DEMO_SECONDS the length of the demonstration's recording.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${TAVIRO_JOBS:-$(nproc)}
seconds=${TAVIRO_DEMO_SECONDS:-4}
export TAVIRO_WINE_DIR=${TAVIRO_WINE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/taviro-main}
user_display=${DISPLAY:-}
user_pulse=${PULSE_SERVER:-}

say() { echo "== $*"; }

"$root/scripts/setup.sh"

say "building (native tqk; the Windows suite, its distribution and the demonstration driver)"
mkdir -p "$root/build"
cmake -S "$root" -B "$root/build/native" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    >"$root/build/native.configure.log" 2>&1 || { cat "$root/build/native.configure.log"; exit 1; }
cmake --build "$root/build/native" --target tqk -j "$jobs" >/dev/null
cmake -S "$root" -B "$root/build/win64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
    >"$root/build/win64.configure.log" 2>&1 || { cat "$root/build/win64.configure.log"; exit 1; }
cmake --build "$root/build/win64" --target dist suite_demo tqkrec -j "$jobs" >/dev/null

win64="$root/build/win64"
dist="$win64/dist"
tqk="$root/build/native/tools/tqk/tqk"
demo="$win64/tests/suite_demo.exe"
run="$root/scripts/wine-run.sh"
out="$root/build/main-job"
shots="$out/shots"
rm -rf "$out"
mkdir -p "$shots"
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
say "distribution: $dist"
ls "$dist"
ls "$win64"/taviro-win*.zip

# The harness's own display, audio daemon and prefix.
"$root/scripts/wine-env.sh" start
mapfile -t wine_vars < <("$root/scripts/wine-env.sh" vars)
harness_display=$(printf '%s\n' "${wine_vars[@]}" | sed -n 's/^DISPLAY=//p')
pulse_server=$(printf '%s\n' "${wine_vars[@]}" | sed -n 's/^PULSE_SERVER=//p')
wine_reg() { env "${wine_vars[@]}" /usr/lib/wine/wine64 reg "$@" >/dev/null 2>&1 || true; }

dest='C:\Program Files\Nolvane\Taviro\'
say "installing with TaviroSetup.exe into $dest"
"$run" "$demo" install "$(winpath "$dist/TaviroSetup.exe")" "$dest" "$(winpath "$shots")"
installed=$(env "${wine_vars[@]}" /usr/lib/wine/wine64 winepath -u "$dest" 2>/dev/null | tr -d '\r')
installed=${installed%/}
[ -f "$installed/TaviroSetup.exe" ] || { echo "the installation folder $installed is missing"; exit 1; }
say "installed: $installed"
ls "$installed"

usable_display() { [ -n "$user_display" ] && DISPLAY=$user_display xdpyinfo >/dev/null 2>&1; }

if usable_display; then
    if [ -f "$installed/TaviroRec.exe" ]; then
        say "starting the installed recorder on $user_display (close its window to end)"
        "$root/scripts/wine-env.sh" stop >/dev/null 2>&1 || true
        # A desktop with a window manager: let it manage Wine's windows.
        # The user's display and sound server instead of the harness's.
        desk_vars=()
        for v in "${wine_vars[@]}"; do
            case $v in DISPLAY=* | PULSE_SERVER=*) ;; *) desk_vars+=("$v") ;; esac
        done
        desk_vars+=("DISPLAY=$user_display")
        # The user's sound server, named outright: the harness's HOME would hide where the
        # client library looks for it otherwise.
        runtime=${XDG_RUNTIME_DIR:-/run/user/$(id -u)}
        if [ -z "$user_pulse" ] && [ -S "$runtime/pulse/native" ]; then
            user_pulse=unix:$runtime/pulse/native
        fi
        if [ -n "$user_pulse" ]; then
            desk_vars+=("PULSE_SERVER=$user_pulse")
        else
            say "no sound server found (PULSE_SERVER, $runtime/pulse/native): recording without sound"
        fi
        wine_vars=("${desk_vars[@]}")
        wine_reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d Y /f
        set +e
        env "${desk_vars[@]}" /usr/lib/wine/wine64 "${dest}TaviroRec.exe"
        rc=$?
        set -e
        # Back to the harness's setting: without a window manager every closing window would
        # wait for one.
        wine_reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
        exit $rc
    fi
    say "TaviroRec.exe is not in this build: showing the demonstration on the harness's display instead"
fi

# The demonstration. Without a window manager Wine must not wait for one.
wine_reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
movie="$out/demo.TQK"
wave="$out/demo.wav"
avi="$out/demo.avi"
mp4="$out/demo.mp4"
scene_seconds=$((seconds + 30))

say "the scene: a moving window on display $harness_display and a 440 Hz tone"
sox -n -r 44100 -c 2 -b 16 "$out/tone.wav" synth "$scene_seconds" sine 440 vol 0.5
PULSE_SERVER=$pulse_server paplay "$out/tone.wav" &
tone=$!
"$run" "$demo" scene "$scene_seconds" &
scene=$!
stop_scene() {
    kill "$tone" 2>/dev/null || true
    kill "$scene" 2>/dev/null || true
    wait "$tone" "$scene" 2>/dev/null || true
}
trap stop_scene EXIT
sleep 2
import -window root -display "$harness_display" "$shots/scene.png"

recorded=""
if [ -f "$installed/TaviroRec.exe" ]; then
    say "recording $seconds s through TaviroRec.exe with sound"
    set +e
    "$run" "$demo" recorder "$dest" "$(winpath "$movie")" "$seconds" "$(winpath "$shots")"
    rc=$?
    set -e
    if [ "$rc" = 0 ]; then
        recorded=recorder
    else
        say "recording through TaviroRec.exe failed ($rc): recording with tqkrec.exe instead"
    fi
else
    say "TaviroRec.exe is not in this build"
fi

if [ -z "$recorded" ]; then
    say "recording $seconds s with tqkrec.exe, the sound through the installed TaviroWave.exe"
    rm -f "$movie" "$wave"
    sound=""
    if [ -f "$installed/TaviroWave.exe" ]; then
        "$run" "$demo" sound "${dest}TaviroWave.exe" "$(winpath "$wave")" "$seconds" &
        sound=$!
    else
        say "TaviroWave.exe is not installed: no sound"
    fi
    "$run" "$win64/tools/tqkrec/tqkrec.exe" "$(winpath "$movie")" --rect 0,0,640,480 --fps 15 \
        --sec "$seconds" --method 1 --cursor
    [ -n "$sound" ] && { wait "$sound" || say "the sound helper did not record"; }
    recorded=tqkrec
fi
stop_scene
trap - EXIT

say "the movie"
"$tqk" info "$movie"
"$tqk" verify "$movie"

if [ ! -f "$avi" ]; then
    wave_arg=()
    [ -f "$wave" ] && wave_arg=("$wave")
    if "$tqk" avi "$movie" "$avi" "${wave_arg[@]}" --codec zmbv 2>/dev/null; then
        say "exported with tqk avi --codec zmbv"
    else
        say "tqk avi has no ZMBV codec in this build: exporting uncompressed"
        "$tqk" avi "$movie" "$avi" "${wave_arg[@]}"
    fi
fi
codec=$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name -of csv=p=0 "$avi")
zmbv_avi=""
if [ "$codec" != zmbv ]; then
    # The recorder's AVI was made without our compressor: show it through tqk as well.
    wave_arg=()
    [ -f "$wave" ] && wave_arg=("$wave")
    if "$tqk" avi "$movie" "$out/demo-zmbv.avi" "${wave_arg[@]}" --codec zmbv >/dev/null 2>&1; then
        zmbv_avi="$out/demo-zmbv.avi"
        say "the AVI is $codec; the same movie through tqk avi --codec zmbv: $zmbv_avi"
    fi
fi
ffmpeg -v error -y -i "$avi" -c:v libx264 -pix_fmt yuv420p -c:a aac "$mp4"

say "what ffprobe sees"
failed=0
for f in "$avi" $zmbv_avi "$mp4"; do
    streams=$(ffprobe -v error -show_entries stream=codec_name,codec_type -of csv=p=0 "$f" |
        tr '\n' ' ')
    echo "$(basename "$f"): $streams"
    # Every frame and every sound packet decodes, and the sound is there.
    if ! ffmpeg -v error -xerror -i "$f" -map 0 -f null - >/dev/null 2>&1; then
        echo "$(basename "$f") does not decode"
        failed=1
    fi
    if [ -f "$wave" ] && [[ $streams != *audio* ]]; then
        echo "$(basename "$f") has no sound"
        failed=1
    fi
done
"$root/scripts/wine-env.sh" stop >/dev/null 2>&1 || true

[ "$failed" = 0 ] || { say "the demonstration's files are not right"; exit 1; }
say "done (recorded by $recorded)"
echo "TQK:         $movie"
[ -f "$wave" ] && echo "WAV:         $wave"
echo "AVI:         $avi"
[ -n "$zmbv_avi" ] && echo "AVI (ZMBV):  $zmbv_avi"
echo "MP4:         $mp4"
echo "screenshots: $shots"
ls "$shots"
