#!/bin/bash
# Runs a Windows test with the screen at another DPI.
#   dpi_run.sh DPI PROGRAM [ARGS...]
# The DPI lives in a Wine environment of its own (prefix, display, sound daemon) beside the
# tests' usual one, so the usual prefix always stays at 96 DPI: a run killed half-way can no
# longer leave every later test looking at a scaled screen.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
env_sh="$here/../../scripts/wine-env.sh"
dpi=$1
shift
base=${TAVIRO_WINE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/taviro-wine}
export TAVIRO_WINE_DIR="$base-dpi$dpi"
"$env_sh" start
mapfile -t vars < <("$env_sh" vars)
# The DPI is read when the Wine server starts: set it once, then restart the server.
want=$(printf '"LogPixels"=dword:%08x' "$dpi")
prefix_dir=$(sed -n 's/^WINEPREFIX=//p' <<<"$(printf '%s\n' "${vars[@]}")")
if ! grep -qxF "$want" "$prefix_dir/user.reg" 2>/dev/null; then
    env "${vars[@]}" /usr/lib/wine/wine64 reg add 'HKCU\Control Panel\Desktop' /v LogPixels \
        /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    env "${vars[@]}" /usr/lib/wine/wineserver -k 2>/dev/null || true
    env "${vars[@]}" /usr/lib/wine/wineserver -w 2>/dev/null || true
    "$env_sh" start
fi
trap '"$env_sh" stop >/dev/null 2>&1 || true' EXIT
env "${vars[@]}" TAVIRO_EXPECT_DPI="$dpi" /usr/lib/wine/wine64 "$@"
