#include "win_file.h"

#include <algorithm>
#include <cstring>

#include "fault_seam.h"

namespace tqk {

Win32FileSource::Win32FileSource(HANDLE file) : file_(file) {
    LARGE_INTEGER size, here, zero;
    zero.QuadPart = 0;
    if (GetFileSizeEx(file, &size) && SetFilePointerEx(file, zero, &here, FILE_CURRENT))
        length_ = size.QuadPart - here.QuadPart;
}

size_t Win32FileSource::Read(void* dst, size_t n) {
    uint8_t* out = static_cast<uint8_t*>(dst);
    size_t done = 0;
    while (done < n) {
        if (bufPos_ == bufLen_) {
            // Large reads go straight to the caller's buffer.
            if (n - done >= sizeof buf_) {
                DWORD got = 0;
                const DWORD want = static_cast<DWORD>(std::min<size_t>(n - done, 1u << 30));
                if (!ReadFile(file_, out + done, want, &got, nullptr) || got == 0) break;
                done += got;
                pos_ += got;
                continue;
            }
            DWORD got = 0;
            if (!ReadFile(file_, buf_, sizeof buf_, &got, nullptr) || got == 0) break;
            bufPos_ = 0;
            bufLen_ = got;
        }
        const size_t k = std::min(n - done, bufLen_ - bufPos_);
        std::memcpy(out + done, buf_ + bufPos_, k);
        bufPos_ += k;
        done += k;
        pos_ += static_cast<int64_t>(k);
    }
    return done;
}

Win32RandomSource::Win32RandomSource(HANDLE file) : file_(file) {
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size)) length_ = uint64_t(size.QuadPart);
}

size_t Win32RandomSource::ReadAt(uint64_t offset, void* dst, size_t n) {
    uint8_t* out = static_cast<uint8_t*>(dst);
    size_t done = 0;
    while (done < n) {
        OVERLAPPED ov = {};
        const uint64_t at = offset + done;
        ov.Offset = DWORD(at);
        ov.OffsetHigh = DWORD(at >> 32);
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(n - done, 1u << 30));
        if (!ReadFile(file_, out + done, want, &got, &ov) || got == 0) break;
        done += got;
    }
    return done;
}

RecordScan ScanMovieRecords(HANDLE file, const MovieHeader& h) {
    Win32RandomSource random(file);
    const RecordScan scan = ScanRecords(random, h);
    LARGE_INTEGER behindHeader;
    behindHeader.QuadPart = LONGLONG(kHeaderBytes);
    SetFilePointerEx(file, behindHeader, nullptr, FILE_BEGIN);
    return scan;
}

FileHandle OpenForRead(const std::wstring& path) {
    return FileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

FileHandle OpenCacheForRead(const std::wstring& path) {
    return FileHandle(CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr));
}

namespace {
bool Seek(HANDLE file, uint64_t offset) {
    LARGE_INTEGER li;
    li.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, li, nullptr, FILE_BEGIN) != 0;
}
}  // namespace

bool ReadAt(HANDLE file, uint64_t offset, void* dst, DWORD n) {
    DWORD got = 0;
    return Seek(file, offset) && ReadFile(file, dst, n, &got, nullptr) && got == n;
}

DWORD WriteAt(HANDLE file, uint64_t offset, const void* src, DWORD n) {
    if (fault::ShouldFail(fault::Op::kWrite)) return fault::ErrorNumber(fault::Op::kWrite);
    if (!Seek(file, offset)) return GetLastError();
    DWORD put = 0;
    if (!WriteFile(file, src, n, &put, nullptr)) return GetLastError();
    return put == n ? 0 : ERROR_HANDLE_DISK_FULL;
}

DWORD CutAt(HANDLE file, uint64_t offset) {
    // Ending a file is its last step to whole: the seam's flush.
    if (fault::ShouldFail(fault::Op::kFlush)) return fault::ErrorNumber(fault::Op::kFlush);
    if (!Seek(file, offset) || !SetEndOfFile(file)) return GetLastError();
    return 0;
}

}  // namespace tqk
