#include "tqk_stdio.h"

#ifdef _WIN32
#include <cwchar>
#endif

namespace tqk {

namespace {
int64_t Tell(std::FILE* f) {
#ifdef _WIN32
    return _ftelli64(f);
#else
    return ftello(f);
#endif
}
bool SeekEnd(std::FILE* f) {
#ifdef _WIN32
    return _fseeki64(f, 0, SEEK_END) == 0;
#else
    return fseeko(f, 0, SEEK_END) == 0;
#endif
}
bool SeekTo(std::FILE* f, int64_t at) {
#ifdef _WIN32
    return _fseeki64(f, at, SEEK_SET) == 0;
#else
    return fseeko(f, static_cast<off_t>(at), SEEK_SET) == 0;
#endif
}

#ifdef _WIN32
std::wstring Widen(const std::string& s) {
    // UTF-8 to UTF-16 without <windows.h>: enough for file names.
    std::wstring w;
    for (size_t i = 0; i < s.size();) {
        uint32_t c = static_cast<uint8_t>(s[i]);
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        if (extra) c &= (0x3F >> extra);
        ++i;
        for (int k = 0; k < extra && i < s.size(); ++k, ++i) c = (c << 6) | (s[i] & 0x3F);
        if (c >= 0x10000) {
            c -= 0x10000;
            w += wchar_t(0xD800 + (c >> 10));
            w += wchar_t(0xDC00 + (c & 0x3FF));
        } else {
            w += wchar_t(c);
        }
    }
    return w;
}
#endif
}  // namespace

StdioSource::StdioSource(std::FILE* f) : f_(f) {
    const int64_t at = Tell(f);
    if (at >= 0 && SeekEnd(f)) {
        const int64_t end = Tell(f);
        if (end >= 0 && SeekTo(f, at)) {
            length_ = end;
            pos_ = at;
        }
    }
}

size_t StdioSource::Read(void* dst, size_t n) {
    const size_t k = std::fread(dst, 1, n, f_);
    pos_ += static_cast<int64_t>(k);
    return k;
}

bool StdioSource::Skip(uint64_t n) {
    if (length_ >= 0 && n > static_cast<uint64_t>(length_ - pos_)) return false;
    if (!SeekTo(f_, pos_ + static_cast<int64_t>(n))) return false;
    pos_ += static_cast<int64_t>(n);
    return true;
}

StdioRandomSource::StdioRandomSource(std::FILE* f) : f_(f) {
    const int64_t at = Tell(f);
    if (at >= 0 && SeekEnd(f)) {
        const int64_t end = Tell(f);
        if (end >= 0) length_ = uint64_t(end);
        SeekTo(f, at);
    }
}

size_t StdioRandomSource::ReadAt(uint64_t offset, void* dst, size_t n) {
    if (!SeekTo(f_, static_cast<int64_t>(offset))) return 0;
    return std::fread(dst, 1, n, f_);
}

std::FILE* OpenForReading(const std::string& utf8Path) {
#ifdef _WIN32
    return _wfopen(Widen(utf8Path).c_str(), L"rb");
#else
    return std::fopen(utf8Path.c_str(), "rb");
#endif
}

std::FILE* OpenForWriting(const std::string& utf8Path) {
#ifdef _WIN32
    return _wfopen(Widen(utf8Path).c_str(), L"wb");
#else
    return std::fopen(utf8Path.c_str(), "wb");
#endif
}

std::FILE* OpenForUpdate(const std::string& utf8Path) {
#ifdef _WIN32
    return _wfopen(Widen(utf8Path).c_str(), L"r+b");
#else
    return std::fopen(utf8Path.c_str(), "r+b");
#endif
}

}  // namespace tqk
