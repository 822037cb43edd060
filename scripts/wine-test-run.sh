#!/bin/bash
# Runs a Windows test program under Wine for CTest (the build's cross-compiling emulator), as
# scripts/wine-run.sh does, but with its output going through files: a process Wine starts
# on the side (a service of a fresh prefix) would otherwise inherit the runner's pipe and keep
# it waiting, after the test ended, until its time-out.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
"$here/wine-env.sh" start
mapfile -t vars < <("$here/wine-env.sh" vars)
out=$(mktemp "${TMPDIR:-/tmp}/wine-test-run.XXXXXX")
trap 'rm -f "$out" "$out.err"' EXIT
rc=0
env "${vars[@]}" /usr/lib/wine/wine64 "$@" >"$out" 2>"$out.err" || rc=$?
cat "$out"
cat "$out.err" >&2
exit "$rc"
