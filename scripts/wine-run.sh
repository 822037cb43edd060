#!/bin/bash
# Runs a Windows program under Wine in the tests' environment; CMake's cross-compiling
# emulator. TAVIRO_DISPLAY_DEPTH=16 selects the 16-bit display.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/wine-env.sh" start
mapfile -t vars < <("$here/wine-env.sh" vars)
exec env "${vars[@]}" /usr/lib/wine/wine64 "$@"
