// Movie bytes from a Win32 file handle, and the small file helpers of the engine.
#pragma once

#include <windows.h>

#include <string>

#include "tqk_format.h"
#include "win_handles.h"

namespace tqk {

// Buffered sequential reading from an open file; knows the length so that readers can refuse
// a record longer than what is left before allocating for it.
class Win32FileSource : public ByteSource {
public:
    explicit Win32FileSource(HANDLE file);
    size_t Read(void* dst, size_t n) override;
    int64_t Remaining() const override { return length_ < 0 ? -1 : length_ - pos_; }

private:
    HANDLE file_;
    int64_t length_ = -1;
    int64_t pos_ = 0;
    uint8_t buf_[64 * 1024];
    size_t bufPos_ = 0;
    size_t bufLen_ = 0;
};

// Positioned reads from an open file (synchronous handle), for the scan of record heads.
// Moves the file pointer: seek before reading sequentially again.
class Win32RandomSource : public RandomSource {
public:
    explicit Win32RandomSource(HANDLE file);
    uint64_t Length() const override { return length_; }
    size_t ReadAt(uint64_t offset, void* dst, size_t n) override;

private:
    HANDLE file_;
    uint64_t length_ = 0;
};

// Scans the records of a movie whose header h was read from file, and leaves the file
// positioned right behind the header for sequential reading.
RecordScan ScanMovieRecords(HANDLE file, const MovieHeader& h);

// Opens a file for reading, sharing it with writers (a movie may still be recorded).
FileHandle OpenForRead(const std::wstring& path);
// Opens a cache file for reading (the snapshot file beside a movie), sharing it for deleting
// too: the user may throw it away while it is read. (A file held open cannot be replaced: a
// writer's rename over it fails, and that writer leaves no file.)
FileHandle OpenCacheForRead(const std::wstring& path);
// Reads exactly n bytes at offset; false on a short read or an error.
bool ReadAt(HANDLE file, uint64_t offset, void* dst, DWORD n);
// Writes all n bytes at offset; 0 or the platform's error number.
DWORD WriteAt(HANDLE file, uint64_t offset, const void* src, DWORD n);
// Sets the file's end; 0 or the platform's error number.
DWORD CutAt(HANDLE file, uint64_t offset);

}  // namespace tqk
