#!/bin/bash
# Sets up a Debian 12 machine, builds every flavour and runs every test.
#   native (Linux): portable modules, unit tests, benchmarks, tqk
#   win64 (MinGW x86_64): everything, tests run under Wine
#   win32 (MinGW i686): built only (32-bit programs cannot run here)
#   fuzz (clang, sanitizers): the fuzz targets, each run for a few seconds
# Prints each test runner's summary; exits non-zero on any failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${TAVIRO_JOBS:-$(nproc)}
status=0
# The Windows tests get a Wine environment of this tree's own, made afresh in a new clone:
# nothing left in another environment (a setting, a registered driver) changes their result.
export TAVIRO_WINE_DIR=${TAVIRO_WINE_DIR:-$root/build/wine}

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
# The fuzz targets under libFuzzer, AddressSanitizer and UBSan (clang), each run briefly over
# its seeds by its CTest test; scripts/fuzz.sh runs them for longer.
CC=clang CXX=clang++ configure_and_build fuzz -DTAVIRO_FUZZ=ON || status=1

# The portable readers and writers once more under AddressSanitizer and UndefinedBehavior-
# Sanitizer: a read or write outside a buffer (crafted movies, odd widths, hostile records)
# fails the test instead of passing unseen.
sanitized_tests="tqk_format_test tqk_tool_test frame_seek_test tvr_pack_test avi_writer_test gif_test gif_export_test"
build_sanitized() {
    local b="$root/build/asan"
    echo "== build asan"
    cmake -S "$root" -B "$b" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer" \
        "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" \
        >"$root/build/asan.configure.log" 2>&1 || { cat "$root/build/asan.configure.log"; return 1; }
    # shellcheck disable=SC2086
    cmake --build "$b" -j "$jobs" --target $sanitized_tests
}

run_tests() { # name [ctest options]
    echo "== test $1"
    local name=$1
    shift
    (cd "$root/build/$name" && ctest -j "$jobs" --output-on-failure --timeout 600 "$@") || status=1
}
build_sanitized || status=1
[ -d "$root/build/native" ] && run_tests native
if [ -d "$root/build/asan" ]; then
    echo "== test asan"
    (cd "$root/build/asan" && ctest -j "$jobs" --output-on-failure --timeout 600 \
        -R "^($(tr ' ' '|' <<<"$sanitized_tests"))\$") || status=1
fi
# The Windows tests run once each: a test that fails once has found a fault. The tests that
# share the one desktop, cursor and sound device take their locks (tests/CMakeLists.txt) and
# wait for what they check. Only a test labelled `retry` (none at present) gets a second run,
# and every one that needed it is named.
run_retry_tests() { # build name
    local b="$root/build/$1" failed
    (cd "$b" && ctest -N -L retry | grep -q 'Total Tests: [1-9]') || return 0
    echo "== test $1 (label retry)"
    if (cd "$b" && ctest -j "$jobs" --output-on-failure --timeout 600 -L retry); then return 0; fi
    failed=$(sed 's/^[0-9]*://' "$b/Testing/Temporary/LastTestsFailed.log" | paste -sd '|')
    for t in ${failed//|/ }; do echo "== NEEDED A RETRY: $t"; done
    (cd "$b" && ctest --output-on-failure --timeout 600 -L retry -R "^($failed)\$") || status=1
}
if [ -d "$root/build/win64" ]; then
    run_tests win64 -LE retry
    run_retry_tests win64
fi
[ -d "$root/build/fuzz" ] && run_tests fuzz
"$root/scripts/wine-env.sh" stop >/dev/null 2>&1 || true
# The 32-bit distribution is built, not run: its folder, its ZIP and its imports.
if [ -d "$root/build/win32" ]; then
    echo "== check win32 distribution"
    bash "$root/tests/dist_check.sh" contents "$root/build/win32" || status=1
    bash "$root/tests/dist_check.sh" imports "$root/build/win32" i686-w64-mingw32-objdump || status=1
fi

if [ $status -eq 0 ]; then echo "== all tests passed"; else echo "== FAILURES"; fi
exit $status
