#include "avi_file.h"

#include <filesystem>
#include <system_error>

#include "fault_seam.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace tqk::avi {

namespace {

#ifdef _WIN32
std::filesystem::path PathOf(const std::string& utf8) { return std::filesystem::u8path(utf8); }
int SeekFile(std::FILE* f, uint64_t off) {
    return _fseeki64(f, static_cast<__int64>(off), SEEK_SET);
}
int SeekEnd(std::FILE* f) { return _fseeki64(f, 0, SEEK_END); }
int64_t Tell(std::FILE* f) { return _ftelli64(f); }
bool TruncateFile(std::FILE* f, uint64_t size) {
    return _chsize_s(_fileno(f), static_cast<__int64>(size)) == 0;
}
#else
std::filesystem::path PathOf(const std::string& utf8) { return std::filesystem::path(utf8); }
int SeekFile(std::FILE* f, uint64_t off) { return fseeko(f, static_cast<off_t>(off), SEEK_SET); }
int SeekEnd(std::FILE* f) { return fseeko(f, 0, SEEK_END); }
int64_t Tell(std::FILE* f) { return ftello(f); }
bool TruncateFile(std::FILE* f, uint64_t size) {
    return ftruncate(fileno(f), static_cast<off_t>(size)) == 0;
}
#endif

}  // namespace

StdioFile::~StdioFile() { Close(); }

bool StdioFile::Open(const std::string& utf8Path, Mode mode) {
    Close();
#ifdef _WIN32
    const wchar_t* m = mode == Mode::kCreate ? L"w+b" : mode == Mode::kReadWrite ? L"r+b" : L"rb";
    f_ = _wfopen(PathOf(utf8Path).wstring().c_str(), m);
#else
    const char* m = mode == Mode::kCreate ? "w+b" : mode == Mode::kReadWrite ? "r+b" : "rb";
    f_ = std::fopen(utf8Path.c_str(), m);
#endif
    posKnown_ = false;
    writable_ = mode != Mode::kRead;
    return f_ != nullptr;
}

bool StdioFile::Close() {
    if (!f_) return true;
    const bool failFlush = writable_ && tqk::fault::ShouldFail(tqk::fault::Op::kFlush);
    const bool ok = std::fclose(f_) == 0 && !failFlush;
    f_ = nullptr;
    return ok;
}

bool StdioFile::SeekTo(uint64_t offset) {
    if (posKnown_ && pos_ == offset) return true;
    if (SeekFile(f_, offset) != 0) {
        posKnown_ = false;
        return false;
    }
    pos_ = offset;
    posKnown_ = true;
    return true;
}

bool StdioFile::WriteAt(uint64_t offset, const void* data, size_t n) {
    if (!f_) return false;
    // A switch from reading to writing needs a seek in between.
    if (!lastWasWrite_) posKnown_ = false;
    if (!SeekTo(offset)) return false;
    lastWasWrite_ = true;
    // Pieces of 256 KiB: the system takes them several times faster than whole frames of
    // megabytes (page cache behaviour measured on Linux).
    constexpr size_t kPiece = 256 * 1024;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    for (size_t done = 0; done < n;) {
        const size_t piece = n - done < kPiece ? n - done : kPiece;
        if (tqk::fault::ShouldFail(tqk::fault::Op::kWrite) ||
            std::fwrite(p + done, 1, piece, f_) != piece) {
            posKnown_ = false;
            return false;
        }
        done += piece;
        pos_ += piece;
    }
    return true;
}

bool StdioFile::ReadAt(uint64_t offset, void* data, size_t n) {
    if (!f_) return false;
    if (lastWasWrite_) {
        if (std::fflush(f_) != 0) return false;
        posKnown_ = false;
    }
    if (!SeekTo(offset)) return false;
    lastWasWrite_ = false;
    const size_t done = std::fread(data, 1, n, f_);
    if (done != n) {
        posKnown_ = false;
        std::clearerr(f_);
        return false;
    }
    pos_ += n;
    return true;
}

uint64_t StdioFile::Size() {
    if (!f_ || std::fflush(f_) != 0 || SeekEnd(f_) != 0) return 0;
    posKnown_ = false;
    const int64_t n = Tell(f_);
    return n < 0 ? 0 : static_cast<uint64_t>(n);
}

bool StdioFile::Truncate(uint64_t size) {
    if (!f_ || std::fflush(f_) != 0) {
        if (f_) std::clearerr(f_);
        // The buffer could not go out: drop it so the cut below is final.
        if (f_) SeekFile(f_, 0);
    }
    posKnown_ = false;
    return f_ && TruncateFile(f_, size);
}

bool StdioFile::Flush() {
    return f_ && !tqk::fault::ShouldFail(tqk::fault::Op::kFlush) && std::fflush(f_) == 0;
}

bool FileExists(const std::string& utf8Path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(PathOf(utf8Path), ec);
}

}  // namespace tqk::avi
