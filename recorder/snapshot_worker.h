// The snapshot file of each movie the recorder keeps (NAME.TQK.snap, snapshot_make.h), written
// on a worker thread of low priority once the post-recording pipeline is over, so that even the
// first opening in the player seeks fast. It never costs a recording anything: the next
// recording or trial, and the recorder's closing, stop it first (a slice at most; the
// unfinished file goes). No file (a read-only folder, a full disk, a movie that cannot be read)
// means no message: the player then walks the movie itself.
#pragma once

// clang-format off
#include <windows.h>
// clang-format on

#include <atomic>
#include <string>

#include "win_handles.h"

namespace tqk::rec {

class SnapshotWorker {
public:
    SnapshotWorker() = default;
    ~SnapshotWorker() { Stop(); }
    SnapshotWorker(const SnapshotWorker&) = delete;
    SnapshotWorker& operator=(const SnapshotWorker&) = delete;

    // Writes movie's snapshot file in the background (a write still running is stopped first).
    void Start(const std::wstring& movie);
    // Stops the write and waits for the thread: no scratch file is left, and the file is there
    // whole or not at all.
    void Stop();

private:
    static DWORD WINAPI Main(void* self);

    std::wstring movie_;
    std::atomic<bool> stop_{false};
    ObjectHandle thread_;
};

}  // namespace tqk::rec
