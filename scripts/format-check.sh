#!/bin/bash
# Checks that the C++ files are formatted by the repository's .clang-format (100 columns).
#   format-check.sh [--fix] [FOLDER...]
# Without folders it checks every folder of the tree's own code; --fix
# reformats them instead. Exits non-zero and lists the files that differ.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
checked=(avi bench codec common dialogs engine export gif player recorder setup sound tests tools)
fix=0
if [ "${1:-}" = "--fix" ]; then
    fix=1
    shift
fi
(($#)) && checked=("$@")
command -v clang-format >/dev/null || { echo "format-check: clang-format is not installed" >&2; exit 1; }
cd "$root"
mapfile -t files < <(git ls-files -- "${checked[@]/%//*.cpp}" "${checked[@]/%//*.h}" 2>/dev/null ||
    find "${checked[@]}" -name '*.cpp' -o -name '*.h')
bad=()
for f in "${files[@]}"; do
    [ -f "$f" ] || continue
    if ((fix)); then
        clang-format -i "$f"
    elif ! clang-format "$f" | cmp -s - "$f"; then
        bad+=("$f")
    fi
done
if ((${#bad[@]})); then
    echo "format-check: not formatted (run scripts/format-check.sh --fix):"
    printf '  %s\n' "${bad[@]}"
    exit 1
fi
echo "format-check: ${#files[@]} files formatted"
