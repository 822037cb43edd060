#!/bin/bash
# Runs the full-disk recording test on a tmpfs of 256 KiB. Needs the right to mount (root);
# without it the test is skipped (exit 77).
#   full_disk_test.sh CAPTURE_FILE_TEST_EXE
set -uo pipefail
exe=$1
here=$(cd "$(dirname "$0")/../.." && pwd)
mnt=$(mktemp -d /tmp/tqk_full_disk.XXXXXX)
if ! mount -t tmpfs -o size=256k tmpfs "$mnt" 2>/dev/null; then
    rmdir "$mnt"
    echo "cannot mount a small file system: skipped"
    exit 77
fi
trap 'umount "$mnt"; rmdir "$mnt"' EXIT
TAVIRO_SMALL_DISK="Z:${mnt//\//\\}" "$here/scripts/wine-run.sh" "$exe" \
    --gtest_filter='CaptureRecord.FullDisk*'
