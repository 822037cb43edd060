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

// Opens a file for reading, sharing it with writers (a movie may still be recorded).
FileHandle OpenForRead(const std::wstring& path);
// Reads exactly n bytes at offset; false on a short read or an error.
bool ReadAt(HANDLE file, uint64_t offset, void* dst, DWORD n);
// Writes all n bytes at offset; 0 or the platform's error number.
DWORD WriteAt(HANDLE file, uint64_t offset, const void* src, DWORD n);
// Sets the file's end; 0 or the platform's error number.
DWORD CutAt(HANDLE file, uint64_t offset);

}  // namespace tqk
