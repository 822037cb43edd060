#!/bin/bash
# Runs full-disk tests on a tmpfs of 256 KiB. Needs the right to mount (root, as the test
# command runs); without it the test fails: a test that cannot run has not passed.
#   full_disk_test.sh TEST_EXE [GTEST_FILTER]
set -uo pipefail
exe=$1
filter=${2:-CaptureRecord.FullDisk*}
here=$(cd "$(dirname "$0")/../.." && pwd)
mnt=$(mktemp -d /tmp/tqk_full_disk.XXXXXX)
if ! mount -t tmpfs -o size=256k tmpfs "$mnt" 2>/dev/null; then
    rmdir "$mnt"
    echo "FAIL: cannot mount a small file system (needs root)"
    exit 1
fi
trap 'umount "$mnt"; rmdir "$mnt"' EXIT
TAVIRO_SMALL_DISK="Z:${mnt//\//\\}" "$here/scripts/wine-run.sh" "$exe" \
    --gtest_filter="$filter"
