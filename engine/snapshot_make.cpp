#include "snapshot_make.h"

#include "../common/result_code.h"
#include "frame_seek.h"
#include "snapshot_file.h"

namespace tqk {

int32_t MakeSnapshotFile(RandomSource& movie, const std::string& utf8Target,
                         const std::function<bool()>& stop, SnapshotFileMade* made) {
    *made = SnapshotFileMade{};
    const auto stopped = [&stop] { return stop && stop(); };
    FrameSeeker seeker;
    if (const int32_t rc = seeker.Open(&movie); rc != kOk) return rc;
    do {
        if (stopped()) return kErrCancelled;
    } while (!seeker.Prepare(kSnapshotWalkSlice));
    made->snapshots = seeker.SnapshotCount();
    made->interval = seeker.SnapshotInterval();
    made->walkFailed = seeker.WalkFailed();
    SnapshotFileWriter writer;
    if (const uint32_t error = seeker.BeginSnapshotFile(utf8Target, &writer)) {
        made->error = error;
        return kErrApi;
    }
    while (writer.Current() == SnapshotFileWriter::State::kWriting) {
        // The writer's destructor takes the scratch file away.
        if (stopped()) return kErrCancelled;
        writer.Continue(kSnapshotWriteSlice);
    }
    if (writer.Current() != SnapshotFileWriter::State::kDone) {
        made->error = writer.Error();
        return kErrApi;
    }
    made->fileBytes = writer.FileBytes();
    return kOk;
}

}  // namespace tqk
