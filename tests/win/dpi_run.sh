#!/bin/bash
# Runs a Windows test with the Wine prefix's screen at another DPI, and puts 96 back after it.
#   dpi_run.sh DPI PROGRAM [ARGS...]
# The DPI is read when the Wine server starts: the server is restarted around the run, so no
# other test of this environment may run meanwhile (RUN_SERIAL).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
env_sh="$here/../../scripts/wine-env.sh"
dpi=$1
shift
"$env_sh" start
mapfile -t vars < <("$env_sh" vars)
set_dpi() {
    env "${vars[@]}" /usr/lib/wine/wine64 reg add 'HKCU\Control Panel\Desktop' /v LogPixels \
        /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    env "${vars[@]}" /usr/lib/wine/wineserver -k 2>/dev/null || true
    env "${vars[@]}" /usr/lib/wine/wineserver -w 2>/dev/null || true
    "$env_sh" start
}
trap 'set_dpi 96' EXIT
set_dpi "$dpi"
env "${vars[@]}" TAVIRO_EXPECT_DPI="$dpi" /usr/lib/wine/wine64 "$@"
