// Movie bytes from a C stdio stream, for the portable tools. Portable: no <windows.h>.
#pragma once

#include <cstdio>
#include <string>

#include "tqk_format.h"

namespace tqk {

// Reads a FILE* opened in binary mode; knows the file's length so that readers can refuse a
// record longer than the file before allocating for it.
class StdioSource : public ByteSource {
public:
    explicit StdioSource(std::FILE* f);
    size_t Read(void* dst, size_t n) override;
    int64_t Remaining() const override { return length_ < 0 ? -1 : length_ - pos_; }
    int64_t Length() const { return length_; }
    bool Skip(uint64_t n) override;

private:
    std::FILE* f_;
    int64_t length_ = -1;
    int64_t pos_ = 0;
};

// Positioned reads from a FILE* opened in binary mode. Moves the stream's position.
class StdioRandomSource : public RandomSource {
public:
    explicit StdioRandomSource(std::FILE* f);
    uint64_t Length() const override { return length_; }
    size_t ReadAt(uint64_t offset, void* dst, size_t n) override;

private:
    std::FILE* f_;
    uint64_t length_ = 0;
};

// Owns a FILE*.
struct StdioFile {
    std::FILE* f = nullptr;
    StdioFile() = default;
    explicit StdioFile(std::FILE* file) : f(file) {}
    StdioFile(const StdioFile&) = delete;
    StdioFile& operator=(const StdioFile&) = delete;
    ~StdioFile() {
        if (f) std::fclose(f);
    }
};

// Opens a UTF-8 path for binary reading (wide on Windows, so any file name works).
std::FILE* OpenForReading(const std::string& utf8Path);
std::FILE* OpenForWriting(const std::string& utf8Path);
// For reading and writing in place (an existing file).
std::FILE* OpenForUpdate(const std::string& utf8Path);

}  // namespace tqk
