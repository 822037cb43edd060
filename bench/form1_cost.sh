#!/bin/bash
# The recording window's own cost per frame against a 60 fps slot, and the highest drop-free
# frame rate through the window against the engine alone, on the Wine test display.
#   bench/form1_cost.sh [WIN64_BUILD_DIR] [SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/win64}
exe=$build/tests/form1_cost.exe
[ -e "$exe" ] || { echo "build form1_cost (win64) first"; exit 1; }
"$root/scripts/wine-env.sh" start
cp "$build/engine/TVR.dll" "$(dirname "$exe")/" 2>/dev/null || true
"$root/scripts/wine-run.sh" "$exe" "${2:-3}" 2>/dev/null
