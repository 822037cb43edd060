// Test helpers for AVI files: an in-memory file that can run out of space, and a strict
// walker that checks every index of a file against the chunks it points to.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "avi_file.h"

namespace tqk::test::avitest {

using Bytes = std::vector<uint8_t>;

// A file in memory; writes beyond `limit` bytes fail after writing what fits, like a full disk.
class MemoryFile : public avi::RandomFile {
public:
    Bytes data;
    uint64_t limit = UINT64_MAX;
    int failedWrites = 0;

    bool WriteAt(uint64_t offset, const void* p, size_t n) override {
        if (offset > data.size()) data.resize(size_t(offset), 0);
        const uint64_t fits = offset >= limit ? 0 : std::min<uint64_t>(n, limit - offset);
        if (offset + fits > data.size()) data.resize(size_t(offset + fits));
        std::memcpy(data.data() + offset, p, size_t(fits));
        if (fits < n) ++failedWrites;
        return fits == n;
    }
    bool ReadAt(uint64_t offset, void* p, size_t n) override {
        if (offset + n > data.size()) return false;
        std::memcpy(p, data.data() + offset, n);
        return true;
    }
    uint64_t Size() override { return data.size(); }
    bool Truncate(uint64_t size) override {
        data.resize(size_t(size));
        return true;
    }
    bool Flush() override { return true; }
};

inline uint32_t L32(const Bytes& b, uint64_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}
inline uint64_t L64(const Bytes& b, uint64_t at) {
    return uint64_t(L32(b, at)) | uint64_t(L32(b, at + 4)) << 32;
}
inline std::string Tag(const Bytes& b, uint64_t at) {
    return std::string(reinterpret_cast<const char*>(&b[at]), 4);
}

struct Chunk {
    std::string id;
    uint64_t dataOffset;
    uint32_t size;
};

struct StreamSummary {
    std::string type;     // strh fccType
    uint32_t length = 0;  // strh dwLength
    uint32_t scale = 0, rate = 0, sampleSize = 0;
    Bytes format;
    std::string name;
    std::vector<Chunk> chunks;  // in file order, from the standard indexes
    uint64_t indexedDuration = 0;
};

struct AviSummary {
    std::vector<uint64_t> riffSizes;  // whole size of each RIFF, header included
    std::vector<StreamSummary> streams;
    uint32_t avihStreams = 0, avihTotalFrames = 0, dmlhFrames = 0;
    uint32_t width = 0, height = 0;
    std::vector<Chunk> idx1;                     // resolved to file offsets
    std::map<std::string, uint32_t> moviChunks;  // data chunks found in the movi lists, by id
};

// Walks the whole file; fails the current test on any inconsistency.
inline AviSummary Walk(const Bytes& f) {
    AviSummary s;
    EXPECT_GE(f.size(), 12u);
    if (f.size() < 12) return s;
    EXPECT_EQ(Tag(f, 0), "RIFF");
    EXPECT_EQ(Tag(f, 8), "AVI ");
    std::vector<std::map<uint64_t, Chunk>> dataChunks;  // per segment, by data offset
    std::vector<uint64_t> moviStarts;
    uint64_t pos = 0;
    uint64_t moviOfFirst = 0, firstEnd = 0;
    while (pos + 12 <= f.size()) {
        EXPECT_EQ(Tag(f, pos), "RIFF") << pos;
        const uint64_t end = pos + 8 + L32(f, pos + 4);
        EXPECT_LE(end, f.size());
        if (end > f.size() || Tag(f, pos) != "RIFF") return s;
        s.riffSizes.push_back(end - pos);
        std::map<uint64_t, Chunk> chunks;
        for (uint64_t p = pos + 12; p + 8 <= end;) {
            const std::string id = Tag(f, p);
            const uint32_t n = L32(f, p + 4);
            if (id == "LIST" && Tag(f, p + 8) == "movi") {
                moviStarts.push_back(p);
                if (pos == 0) moviOfFirst = p;
                const uint64_t le = p + 8 + n;
                EXPECT_LE(le, end);
                for (uint64_t q = p + 12; q + 8 <= le;) {
                    const uint32_t m = L32(f, q + 4);
                    chunks[q + 8] = {Tag(f, q), q + 8, m};
                    if (Tag(f, q).substr(0, 2) != "ix") ++s.moviChunks[Tag(f, q)];
                    q += 8 + m + (m & 1);
                    EXPECT_LE(q, le);
                }
            } else if (id == "idx1") {
                for (uint64_t e = p + 8; e + 16 <= p + 8 + n; e += 16)
                    s.idx1.push_back(
                        {Tag(f, e), moviOfFirst + 8 + L32(f, e + 8) + 8, L32(f, e + 12)});
            }
            p += 8 + n + (n & 1);
        }
        dataChunks.push_back(chunks);
        if (pos == 0) firstEnd = end;
        pos = end + (end & 1);
    }
    EXPECT_EQ(pos, f.size()) << "bytes after the last RIFF";
    (void)firstEnd;

    // Header list.
    const uint64_t hdrlEnd = 20 + L32(f, 16);
    EXPECT_EQ(Tag(f, 12), "LIST");
    EXPECT_EQ(Tag(f, 20), "hdrl");
    auto chunkAt = [&](uint64_t off) -> const Chunk* {
        for (const auto& seg : dataChunks) {
            auto it = seg.find(off);
            if (it != seg.end()) return &it->second;
        }
        return nullptr;
    };
    for (uint64_t p = 24; p + 8 <= hdrlEnd;) {
        const std::string id = Tag(f, p);
        const uint32_t n = L32(f, p + 4);
        if (id == "avih") {
            s.avihTotalFrames = L32(f, p + 8 + 16);
            s.avihStreams = L32(f, p + 8 + 24);
            s.width = L32(f, p + 8 + 32);
            s.height = L32(f, p + 8 + 36);
        } else if (id == "LIST" && Tag(f, p + 8) == "odml") {
            EXPECT_EQ(Tag(f, p + 12), "dmlh");
            s.dmlhFrames = L32(f, p + 20);
        } else if (id == "LIST" && Tag(f, p + 8) == "strl") {
            StreamSummary st;
            for (uint64_t q = p + 12; q + 8 <= p + 8 + n;) {
                const std::string cid = Tag(f, q);
                const uint32_t m = L32(f, q + 4);
                if (cid == "strh") {
                    st.type = Tag(f, q + 8);
                    st.scale = L32(f, q + 8 + 20);
                    st.rate = L32(f, q + 8 + 24);
                    st.length = L32(f, q + 8 + 32);
                    st.sampleSize = L32(f, q + 8 + 44);
                } else if (cid == "strf") {
                    st.format.assign(f.begin() + q + 8, f.begin() + q + 8 + m);
                } else if (cid == "strn") {
                    st.name = std::string(reinterpret_cast<const char*>(&f[q + 8]));
                } else if (cid == "indx") {
                    EXPECT_EQ(f[q + 8 + 3], 0) << "index of indexes";
                    const uint32_t used = L32(f, q + 12);
                    for (uint32_t i = 0; i < used; ++i) {
                        const uint64_t e = q + 32 + 16 * uint64_t(i);
                        const uint64_t ixAt = L64(f, e);
                        EXPECT_EQ(Tag(f, ixAt).substr(0, 2), "ix");
                        EXPECT_EQ(L32(f, e + 8), 8 + L32(f, ixAt + 4));
                        st.indexedDuration += L32(f, e + 12);
                        EXPECT_EQ(f[ixAt + 11], 1) << "index of chunks";
                        const uint32_t entries = L32(f, ixAt + 12);
                        const uint64_t base = L64(f, ixAt + 20);
                        for (uint32_t k = 0; k < entries; ++k) {
                            const uint64_t off = base + L32(f, ixAt + 32 + 8 * uint64_t(k));
                            const uint32_t size = L32(f, ixAt + 36 + 8 * uint64_t(k)) & 0x7FFFFFFF;
                            const Chunk* c = chunkAt(off);
                            EXPECT_TRUE(c) << "ix entry to nowhere at " << off;
                            if (!c) continue;
                            EXPECT_EQ(c->size, size);
                            EXPECT_EQ(c->id.substr(0, 2), Tag(f, ixAt + 16).substr(0, 2));
                            st.chunks.push_back(*c);
                        }
                    }
                }
                q += 8 + m + (m & 1);
            }
            s.streams.push_back(st);
        }
        p += 8 + n + (n & 1);
    }
    for (const Chunk& e : s.idx1) {
        const Chunk* c = chunkAt(e.dataOffset);
        EXPECT_TRUE(c) << "idx1 entry to nowhere";
        if (c) {
            EXPECT_EQ(c->id, e.id);
            EXPECT_EQ(c->size, e.size);
        }
    }
    return s;
}

// The bytes of one stream's chunks, concatenated in index order.
inline Bytes StreamBytes(const Bytes& f, const StreamSummary& st) {
    Bytes out;
    for (const Chunk& c : st.chunks)
        out.insert(out.end(), f.begin() + c.dataOffset, f.begin() + c.dataOffset + c.size);
    return out;
}

// A 16-bit PCM WAV file of `blocks` sample frames with varying data.
inline Bytes PcmWav(uint32_t blocks, uint16_t channels, uint32_t rate) {
    Bytes w;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) w.push_back(uint8_t(v >> (8 * i)));
    };
    auto u16 = [&](uint32_t v) {
        w.push_back(uint8_t(v));
        w.push_back(uint8_t(v >> 8));
    };
    auto tag = [&](const char* t) { w.insert(w.end(), t, t + 4); };
    const uint32_t align = 2u * channels;
    tag("RIFF");
    u32(36 + blocks * align);
    tag("WAVE");
    tag("fmt ");
    u32(16);
    u16(1);
    u16(channels);
    u32(rate);
    u32(rate * align);
    u16(align);
    u16(16);
    tag("data");
    u32(blocks * align);
    for (uint32_t i = 0; i < blocks * align; ++i) w.push_back(uint8_t(i * 31 + (i >> 9)));
    return w;
}

}  // namespace tqk::test::avitest
