#!/bin/bash
# The headless Windows environment of the tests: a Wine prefix (made once and kept), an
# Xvfb display at 24 bits (and one at 16 bits on demand), a PulseAudio daemon with a null
# sink, the Japanese locale (ANSI code page 932) and Japanese fonts.
#
#   wine-env.sh start     make sure everything runs (safe to call from many tests at once)
#   wine-env.sh stop      stop the daemons (the prefix is kept)
#   wine-env.sh vars [D]  print the environment for a Wine process (D = display depth, 24 or 16)
#
# TAVIRO_WINE_DIR overrides where the prefix and the daemons' files live.
set -euo pipefail

ENV_DIR=${TAVIRO_WINE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/taviro-wine}
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
[ -x "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver64
mkdir -p "$ENV_DIR"

prefix="$ENV_DIR/prefix"
home="$ENV_DIR/home"
run="$ENV_DIR/run"
locales="$ENV_DIR/locale"

base_vars() {
    echo "WINEPREFIX=$prefix"
    echo "WINEDEBUG=${TAVIRO_WINEDEBUG:--all}"
    # winedbg off: a program that crashes ends at once instead of waiting in the debugger.
    echo "WINEDLLOVERRIDES=winemenubuilder.exe,winedbg.exe=d;mscoree,mshtml="
    echo "HOME=$home"
    echo "LOCPATH=$locales"
    echo "LANG=ja_JP.UTF-8"
    echo "PULSE_SERVER=unix:$run/pulse/pulse-native"
}

display_number() { # depth
    cat "$run/display$1" 2>/dev/null || true
}

x_alive() { # display number
    [ -n "$1" ] && DISPLAY=":$1" xdpyinfo >/dev/null 2>&1
}

# True when display n is still the Xvfb this environment started (another environment may
# have taken the number since ours ended).
x_ours() { # depth display
    [ -n "$2" ] && [ -e "/tmp/.X$2-lock" ] &&
        [ "$(tr -d ' ' <"/tmp/.X$2-lock")" = "$(cat "$run/xvfb$1.pid" 2>/dev/null)" ] &&
        x_alive "$2"
}

start_x() { # depth
    local depth=$1 n pid
    n=$(display_number "$depth")
    x_ours "$depth" "$n" && return 0
    for n in $(seq 140 199); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 "1024x768x$depth" -nolisten tcp </dev/null >"$run/xvfb$depth.log" 2>&1 9>&- &
        pid=$!
        echo "$pid" >"$run/xvfb$depth.pid"
        for _ in $(seq 100); do
            x_alive "$n" && break
            sleep 0.05
        done
        if x_alive "$n"; then
            echo "$n" >"$run/display$depth"
            return 0
        fi
    done
    echo "wine-env: cannot start Xvfb at depth $depth" >&2
    return 1
}

pulse_alive() {
    PULSE_SERVER="unix:$run/pulse/pulse-native" pactl info >/dev/null 2>&1
}

start_pulse() {
    pulse_alive && return 0
    mkdir -p "$run/pulse" && chmod 700 "$run/pulse"
    cat >"$run/pulse/default.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$run/pulse/pulse-native
load-module module-null-sink sink_name=nullsink rate=44100 channels=2
set-default-sink nullsink
set-default-source nullsink.monitor
PA
    rm -f "$run/pulse/pulse-native"
    XDG_RUNTIME_DIR="$run/pulse" HOME="$home" pulseaudio -n -F "$run/pulse/default.pa" -D \
        --exit-idle-time=-1 --system=false --log-target="file:$run/pulse/pulse.log" \
        </dev/null >/dev/null 2>&1 9>&-
    for _ in $(seq 100); do
        pulse_alive && return 0
        sleep 0.05
    done
    echo "wine-env: cannot start PulseAudio" >&2
    return 1
}

make_locale() {
    [ -e "$locales/ja_JP.UTF-8/LC_CTYPE" ] && return 0
    mkdir -p "$locales"
    # localedef warns about some characters of the Japanese source; the locale still works.
    localedef -i ja_JP -f UTF-8 "$locales/ja_JP.UTF-8" >/dev/null 2>&1 || true
    [ -e "$locales/ja_JP.UTF-8/LC_CTYPE" ] || { echo "wine-env: localedef failed" >&2; return 1; }
}

make_prefix() {
    [ -e "$prefix/.taviro-ready" ] && return 0
    rm -rf "$prefix"
    mkdir -p "$home"
    local n
    n=$(display_number 24)
    env $(base_vars) DISPLAY=":$n" "$WINE64" wineboot -i >"$run/wineboot.log" 2>&1 9>&-
    # Without a window manager Wine waits 2 s whenever a top-level window closes.
    env $(base_vars) DISPLAY=":$n" "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' \
        /v Managed /d N /f >>"$run/wineboot.log" 2>&1 9>&-
    env $(base_vars) "$WINESERVER" -w
    # Caption buttons need Marlett.
    [ -e /usr/share/wine/fonts/marlett.ttf ] &&
        ln -sf /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/marlett.ttf"
    touch "$prefix/.taviro-ready"
}

# True when a process of this prefix runs a program whose command line matches $1.
# (grep reads all its input: with -q it could leave tr to die of SIGPIPE and, under
# pipefail, fail the pipeline.)
prefix_runs() {
    local p
    for p in $(pgrep -f "$1" || true); do
        tr '\0' '\n' 2>/dev/null <"/proc/$p/environ" | grep -xF "WINEPREFIX=$prefix" >/dev/null && return 0
    done
    return 1
}

start_wineserver() {
    # A persistent server: programs start in milliseconds instead of a second.
    env $(base_vars) "$WINESERVER" -p </dev/null >/dev/null 2>&1 9>&- || true
    # Start the prefix's services and desktop process here, with their output going nowhere:
    # started by a test instead, they would inherit its output pipe and keep the test
    # runner waiting for them.
    local n
    n=$(display_number 24)
    if ! prefix_runs 'services.exe'; then
        env $(base_vars) DISPLAY=":$n" "$WINE64" wineboot </dev/null >/dev/null 2>&1 9>&- || true
    fi
    if ! prefix_runs 'explorer.exe /desktop'; then
        env $(base_vars) DISPLAY=":$n" "$WINE64" explorer.exe /desktop \
            </dev/null >/dev/null 2>&1 9>&- &
        disown || true
        for _ in $(seq 100); do
            prefix_runs 'explorer.exe /desktop' && break
            sleep 0.05
        done
    fi
}

start() {
    mkdir -p "$run" "$home"
    exec 9>"$ENV_DIR/lock"
    flock 9
    make_locale
    start_x 24
    if [ "${TAVIRO_DISPLAY_DEPTH:-24}" != 24 ]; then start_x "$TAVIRO_DISPLAY_DEPTH"; fi
    start_pulse
    make_prefix
    start_wineserver
    flock -u 9
}

stop() {
    exec 9>"$ENV_DIR/lock"
    flock 9
    env $(base_vars) "$WINESERVER" -k 2>/dev/null || true
    if [ -e "$run/pulse/pulse-native" ]; then
        PULSE_SERVER="unix:$run/pulse/pulse-native" pactl exit >/dev/null 2>&1 || true
    fi
    for d in 24 16 8; do
        n=$(display_number $d)
        if x_ours "$d" "$n"; then
            kill "$(cat "$run/xvfb$d.pid")" 2>/dev/null || true
        fi
        rm -f "$run/display$d" "$run/xvfb$d.pid"
    done
    flock -u 9
}

vars() {
    local depth=${1:-24}
    base_vars
    echo "DISPLAY=:$(display_number "$depth")"
}

case "${1:-}" in
start) start ;;
stop) stop ;;
vars) vars "${2:-${TAVIRO_DISPLAY_DEPTH:-24}}" ;;
*) echo "usage: $0 start|stop|vars [depth]" >&2; exit 2 ;;
esac
