// Random-access files for the AVI writer. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tqk::avi {

// A file the writer can write anywhere in, read back, and cut short.
class RandomFile {
public:
    virtual ~RandomFile() = default;
    [[nodiscard]] virtual bool WriteAt(uint64_t offset, const void* data, size_t n) = 0;
    [[nodiscard]] virtual bool ReadAt(uint64_t offset, void* data, size_t n) = 0;
    virtual uint64_t Size() = 0;
    [[nodiscard]] virtual bool Truncate(uint64_t size) = 0;
    [[nodiscard]] virtual bool Flush() = 0;
};

// A stdio stream opened on a UTF-8 path (wide on Windows). Sequential writes keep the stream's
// buffer: it only seeks when the position changes.
class StdioFile : public RandomFile {
public:
    StdioFile() = default;
    ~StdioFile() override;
    StdioFile(const StdioFile&) = delete;
    StdioFile& operator=(const StdioFile&) = delete;

    enum class Mode { kCreate, kReadWrite, kRead };
    // kCreate makes a new file (truncating one that exists); the others open an existing one.
    // false when it cannot be opened.
    bool Open(const std::string& utf8Path, Mode mode);
    bool IsOpen() const { return f_ != nullptr; }
    // Closes; false when buffered data could not be written.
    bool Close();

    bool WriteAt(uint64_t offset, const void* data, size_t n) override;
    bool ReadAt(uint64_t offset, void* data, size_t n) override;
    uint64_t Size() override;
    bool Truncate(uint64_t size) override;
    bool Flush() override;

private:
    bool SeekTo(uint64_t offset);
    std::FILE* f_ = nullptr;
    uint64_t pos_ = 0;
    bool posKnown_ = false;
    bool lastWasWrite_ = false;
    bool writable_ = false;
};

// Whether a file exists at a UTF-8 path.
bool FileExists(const std::string& utf8Path);

}  // namespace tqk::avi
