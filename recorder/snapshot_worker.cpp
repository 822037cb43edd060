#include "snapshot_worker.h"

#include "snapshot_file.h"
#include "snapshot_make.h"
#include "win_file.h"
#include "win_text.h"

namespace tqk::rec {

void SnapshotWorker::Start(const std::wstring& movie) {
    Stop();
    movie_ = movie;
    thread_.Reset(CreateThread(nullptr, 0, &Main, this, CREATE_SUSPENDED, nullptr));
    if (!thread_) return;  // no file: the player walks the movie itself
    SetThreadPriority(thread_.Get(), THREAD_PRIORITY_LOWEST);
    ResumeThread(thread_.Get());
}

void SnapshotWorker::Stop() {
    if (!thread_) return;
    stop_ = true;
    // Starved by busy programs at its own priority it would keep the caller waiting: the rest
    // of its slice runs at the caller's.
    SetThreadPriority(thread_.Get(), GetThreadPriority(GetCurrentThread()));
    WaitForSingleObject(thread_.Get(), INFINITE);
    thread_.Reset();
    stop_ = false;
}

DWORD WINAPI SnapshotWorker::Main(void* worker) {
    auto* self = static_cast<SnapshotWorker*>(worker);
    try {
        // Shared for deleting: the user may throw the movie away meanwhile. Not for writing:
        // nothing changes the movie under the walk.
        FileHandle file(CreateFileW(self->movie_.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file) return 0;
        Win32RandomSource movie(file.Get());
        SnapshotFileMade made;
        (void)MakeSnapshotFile(
            movie, Utf8FromWide(self->movie_ + kSnapshotFileSuffixW),
            [self] { return self->stop_.load(); }, &made);
    } catch (...) {
        // Nothing escapes the thread; the writer took its scratch file away.
    }
    return 0;
}

}  // namespace tqk::rec
