// The snapshot file of a movie made in one call: the seek walk through the whole movie, then
// the file written beside it (snapshot_file.h), a slice at a time with a stop asked between
// slices. `tqk snap` runs it in the foreground; the recorder runs it on a worker thread after
// each movie it keeps, so that even the first opening in the player seeks fast.
// Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "tqk_format.h"

namespace tqk {

// Records walked between two questions whether to stop, and bytes written between two.
constexpr int32_t kSnapshotWalkSlice = 8;
constexpr size_t kSnapshotWriteSlice = size_t{1} << 20;

struct SnapshotFileMade {
    size_t snapshots = 0;
    int32_t interval = 0;  // frames between snapshots, at most
    uint64_t fileBytes = 0;
    bool walkFailed = false;  // the walk stopped at a damaged record
    uint32_t error = 0;       // the platform's error number when the file was not written
};

// Walks the movie and writes its snapshot file to utf8Target (the movie's name +
// kSnapshotFileSuffix), asking stop (when given) before every slice. kOk with the file in
// place; the seeker's code (kErrBadFile, kErrEightBitType, kErrApi) for a movie that cannot be
// read; kErrApi with made->error when the file could not be written; kErrCancelled when stop
// said so. On every result but kOk there is no file under the target's name that was not
// there before, and no scratch file.
[[nodiscard]] int32_t MakeSnapshotFile(RandomSource& movie, const std::string& utf8Target,
                                       const std::function<bool()>& stop, SnapshotFileMade* made);

}  // namespace tqk
