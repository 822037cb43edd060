// An AVI library file held in memory, for fuzz targets: reads past the end fail as a short
// file's would, and writes grow the file up to a bound (a full disk beyond it).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "avi_file.h"

namespace tqk::fuzz {

class MemoryFile : public avi::RandomFile {
public:
    MemoryFile() = default;
    MemoryFile(const uint8_t* p, size_t n) : data(p, p + n) {}

    std::vector<uint8_t> data;
    uint64_t limit = uint64_t{64} << 20;

    bool WriteAt(uint64_t offset, const void* p, size_t n) override {
        if (offset > limit || n > limit - offset) return false;
        if (offset + n > data.size()) data.resize(size_t(offset + n));
        if (n) std::memcpy(data.data() + offset, p, n);
        return true;
    }
    bool ReadAt(uint64_t offset, void* p, size_t n) override {
        if (offset > data.size() || n > data.size() - offset) return false;
        if (n) std::memcpy(p, data.data() + offset, n);
        return true;
    }
    uint64_t Size() override { return data.size(); }
    bool Truncate(uint64_t size) override {
        if (size > limit) return false;
        data.resize(size_t(size));
        return true;
    }
    bool Flush() override { return true; }
};

}  // namespace tqk::fuzz
