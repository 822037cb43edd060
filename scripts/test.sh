#!/bin/bash
# Sets up a Debian 12 machine, builds every flavour and runs every test.
#   native (Linux): portable modules, unit tests, benchmarks, tqk
#   win64 (MinGW x86_64): everything, tests run under Wine
#   win32 (MinGW i686): built only (32-bit programs cannot run here)
# Prints each test runner's summary; exits non-zero on any failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${TAVIRO_JOBS:-$(nproc)}
status=0

"$root/scripts/setup.sh" || exit 1

configure_and_build() { # name [cmake args...]
    local name=$1
    shift
    echo "== build $name"
    cmake -S "$root" -B "$root/build/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" \
        >"$root/build/$name.configure.log" 2>&1 || { cat "$root/build/$name.configure.log"; return 1; }
    cmake --build "$root/build/$name" -j "$jobs" || return 1
}

echo "== format"
"$root/scripts/format-check.sh" || status=1

mkdir -p "$root/build"
configure_and_build native || status=1
configure_and_build win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" || status=1
configure_and_build win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DTAVIRO_TESTS=OFF || status=1

run_tests() { # name
    echo "== test $1"
    (cd "$root/build/$1" && ctest -j "$jobs" --output-on-failure --timeout 600) || status=1
}
[ -d "$root/build/native" ] && run_tests native
[ -d "$root/build/win64" ] && run_tests win64
"$root/scripts/wine-env.sh" stop >/dev/null 2>&1 || true

if [ $status -eq 0 ]; then echo "== all tests passed"; else echo "== FAILURES"; fi
exit $status
