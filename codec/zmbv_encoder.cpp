// ZMBV encoder. Speed comes from touching little: a strip of 16 rows whose rows all equal the
// previous frame's is done with one memcmp a row; only blocks that changed are searched for a
// motion vector, first at the vectors that worked before (scrolls and drags go on for many
// frames), then over vertical offsets by per-row hashes, then over a small square.
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "zmbv.h"

namespace tqk::zmbv {
namespace {

constexpr int kMaxVector = 63;  // a vector component is 7 signed bits
constexpr int kMinVector = -64;
constexpr int kSquare = 12;  // the small square search spans +-kSquare pixels
constexpr int kRecent = 8;   // vectors remembered across blocks and frames
// The square search stops for the rest of a frame once this many changed blocks, and eight
// more for every block that found its copy, found none (a whole screen changing has little
// to find).
constexpr int kSquareGiveUp = 48;
// Blocks a frame may spend on a search for the closest (not exact) vector over the square;
// what they find is tried by every later block.
constexpr int kProbes = 12;
constexpr size_t kSmallPayload = 256 * 1024;
constexpr int kProbeEvery = 16;  // ... and one more for every so many changed blocks

struct Vec {
    int8_t dx = 0, dy = 0;
    bool operator==(const Vec& o) const { return dx == o.dx && dy == o.dy; }
};

inline uint64_t Load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

uint64_t HashBytes(const uint8_t* p, size_t n) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) h = (h ^ Load64(p + i)) * 0xFF51AFD7ED558CCDull;
    if (i < n) {
        uint64_t t = 0;
        std::memcpy(&t, p + i, n - i);
        h = (h ^ t) * 0xFF51AFD7ED558CCDull;
    }
    return h ^ (h >> 31);
}

}  // namespace

struct Encoder::State {
    int width = 0, height = 0;
    int inBits = 32, inBpp = 4, outBpp = 4;
    Format format = Format::kBgrx32;
    EncoderOptions options;
    int blocksX = 0, blocksY = 0;
    size_t inStride = 0, outStride = 0;
    bool haveFrame = false;
    int sinceKey = 0;

    std::vector<uint8_t> prevIn;   // previous frame in the caller's layout, top-down, packed
    std::vector<uint8_t> prevOut;  // ... in the stream's layout, when it differs (24-bit input)
    uint8_t palette[768] = {};
    std::vector<Vec> lastVec;      // each block's vector in the previous frame
    std::vector<Vec> vec;          // this frame's
    std::vector<uint8_t> changed;  // this frame: block content differs from the previous frame
    Vec recent[kRecent];
    int recentCount = 0;
    int probes = 0;
    int changedCount = 0;  // this frame's closest-vector searches

    // Per block column, the hash of each row's segment of prevIn; kept up to date as blocks
    // change, so a search never reads a column of the previous frame row by row.
    std::vector<uint64_t> colHash;
    std::vector<uint8_t> raw;  // payload before zlib
    std::vector<uint8_t> rowScratch;
    // The zlib stream of the frames since the last key frame, and a spare one on which a delta
    // frame is tried as a key frame; they change places when the key frame is kept. zlib's
    // state points back at its z_stream, so the streams stay where they are.
    struct Stream {
        z_stream z{};
        bool ready = false;
        int level = 0;
    };
    Stream streams[2];
    int live = 0;
    int deltaFailures = 0;  // the last delta frame's changed blocks that found no copy

    ~State() {
        for (Stream& st : streams)
            if (st.ready) deflateEnd(&st.z);
    }

    const uint8_t* PrevOutData() const { return inBpp == outBpp ? prevIn.data() : prevOut.data(); }

    // One row of the caller's pixels converted to the stream's layout (a pointer into the input
    // when the layouts are the same).
    const uint8_t* OutRow(const uint8_t* in, size_t pixels) {
        if (inBpp == outBpp) return in;
        uint8_t* o = rowScratch.data();
        // Four bytes at a time, the fourth dropped; the last pixel alone, so no read passes the
        // row's end.
        size_t x = 0;
        for (; x + 1 < pixels; ++x) {
            uint32_t v;
            std::memcpy(&v, in + x * 3, 4);
            v &= 0x00FFFFFFu;
            std::memcpy(o + x * 4, &v, 4);
        }
        for (; x < pixels; ++x) {
            o[x * 4] = in[x * 3];
            o[x * 4 + 1] = in[x * 3 + 1];
            o[x * 4 + 2] = in[x * 3 + 2];
            o[x * 4 + 3] = 0;
        }
        return o;
    }

    bool InRange(int x0, int y0, int cols, int rows, int dx, int dy) const {
        return dx >= kMinVector && dx <= kMaxVector && dy >= kMinVector && dy <= kMaxVector &&
               x0 + dx >= 0 && x0 + dx + cols <= width && y0 + dy >= 0 && y0 + dy + rows <= height;
    }

    // Whether the block at (x0, y0) of the input equals the previous frame's at the vector.
    bool EqualAt(const uint8_t* top, ptrdiff_t stride, int x0, int y0, int cols, int rows, int dx,
                 int dy) const {
        const size_t n = size_t(cols) * size_t(inBpp);
        for (int r = 0; r < rows; ++r) {
            const uint8_t* a = top + ptrdiff_t(y0 + r) * stride + ptrdiff_t(x0) * inBpp;
            const uint8_t* b =
                prevIn.data() + size_t(y0 + dy + r) * inStride + size_t(x0 + dx) * size_t(inBpp);
            if (std::memcmp(a, b, n) != 0) return false;
        }
        return true;
    }

    // What the XOR with the previous frame's block at the vector costs zlib, roughly: the
    // 8-byte words of the XOR that are neither zero nor a repeat of the word before them (a
    // run of one value packs to almost nothing). Counted until limit is passed, on every
    // step'th row only, from row first.
    int Cost(const uint8_t* top, ptrdiff_t stride, int x0, int y0, int cols, int rows, int dx,
             int dy, int limit, int first = 0, int step = 1) const {
        const size_t n = size_t(cols) * size_t(inBpp);
        int cost = 0;
        for (int r = first; r < rows; r += step) {
            const uint8_t* a = top + ptrdiff_t(y0 + r) * stride + ptrdiff_t(x0) * inBpp;
            const uint8_t* b =
                prevIn.data() + size_t(y0 + dy + r) * inStride + size_t(x0 + dx) * size_t(inBpp);
            size_t i = 0;
            uint64_t last = 0;
            for (; i + 8 <= n; i += 8) {
                const uint64_t x = Load64(a + i) ^ Load64(b + i);
                cost += x != 0 && x != last;
                last = x;
            }
            if (i < n) cost += std::memcmp(a + i, b + i, n - i) != 0;
            if (cost > limit) break;
        }
        return cost;
    }

    const uint64_t* ColumnHashes(int bx) const {
        return colHash.data() + size_t(bx) * size_t(height);
    }
    void HashRows(int bx, int y0, int rows) {
        const int x0 = bx * kBlockSize;
        const size_t n = size_t(std::min(kBlockSize, width - x0)) * size_t(inBpp);
        uint64_t* h = colHash.data() + size_t(bx) * size_t(height);
        for (int y = y0; y < y0 + rows; ++y)
            h[y] = HashBytes(prevIn.data() + size_t(y) * inStride + size_t(x0) * inBpp, n);
    }

    void Remember(Vec v) {
        for (int i = 0; i < recentCount; ++i)
            if (recent[i] == v) {
                std::rotate(recent, recent + i, recent + i + 1);
                return;
            }
        if (recentCount < kRecent) ++recentCount;
        std::memmove(recent + 1, recent, sizeof(Vec) * size_t(recentCount - 1));
        recent[0] = v;
    }

    // Picks the vector of a changed block: exact copies first; else the vertical offset that
    // matches most rows (a scroll with new lines coming in), else none. exact tells which.
    Vec Search(const uint8_t* top, ptrdiff_t stride, int bx, int by, int cols, int rows,
               bool trySquare, bool* exact) {
        const int x0 = bx * kBlockSize, y0 = by * kBlockSize;
        const size_t b = size_t(by) * size_t(blocksX) + size_t(bx);
        *exact = true;
        Vec tried[3 + kRecent];
        int n = 0;
        auto consider = [&](Vec v) {
            if (v.dx == 0 && v.dy == 0) return false;
            for (int i = 0; i < n; ++i)
                if (tried[i] == v) return false;
            tried[n++] = v;
            return InRange(x0, y0, cols, rows, v.dx, v.dy) &&
                   EqualAt(top, stride, x0, y0, cols, rows, v.dx, v.dy);
        };
        if (consider(lastVec[b])) return lastVec[b];
        if (bx > 0 && consider(vec[b - 1])) return vec[b - 1];
        if (by > 0 && consider(vec[b - size_t(blocksX)])) return vec[b - size_t(blocksX)];
        for (int i = 0; i < recentCount; ++i)
            if (consider(recent[i])) return recent[i];

        // Vertical offsets: row hashes of the block against the column's hashes.
        const uint64_t* col = ColumnHashes(bx);
        const size_t segBytes = size_t(cols) * size_t(inBpp);
        uint64_t cur[kBlockSize];
        for (int r = 0; r < rows; ++r)
            cur[r] = HashBytes(top + ptrdiff_t(y0 + r) * stride + ptrdiff_t(x0) * inBpp, segBytes);
        // A run of half the rows or more holds row rows/4 or row rows*3/4 (within one).
        const int probeA = rows / 4, probeB = std::min(rows - 1, (rows * 3) / 4);
        int bestCount = 0;
        for (int r = 0; r < rows; ++r) bestCount += cur[r] == col[y0 + r];
        Vec best;
        const int lo = std::max(kMinVector, -y0), hi = std::min(kMaxVector, height - rows - y0);
        for (int step = 1; step <= 64; ++step) {
            for (int sign = 0; sign < 2; ++sign) {
                const int dy = sign ? -step : step;
                if (dy < lo || dy > hi) continue;
                const uint64_t* c = col + y0 + dy;
                if (cur[probeA] != c[probeA] && cur[probeB] != c[probeB] && cur[0] != c[0])
                    continue;
                int count = 0;
                for (int r = 0; r < rows; ++r) count += cur[r] == c[r];
                if (count == rows && EqualAt(top, stride, x0, y0, cols, rows, 0, dy)) {
                    const Vec v{0, int8_t(dy)};
                    Remember(v);
                    return v;
                }
                if (count > bestCount) {
                    bestCount = count;
                    best = Vec{0, int8_t(dy)};
                }
            }
        }

        // A small square around the block (a dragged window), probed by one word of one row.
        if (trySquare && segBytes >= 8) {
            const int pr = rows / 2;
            const uint8_t* a = top + ptrdiff_t(y0 + pr) * stride + ptrdiff_t(x0) * inBpp;
            const uint64_t word = Load64(a);
            int verified = 0;
            for (int dy = -kSquare; dy <= kSquare && verified < 24; ++dy) {
                if (y0 + dy < 0 || y0 + dy + rows > height) continue;
                const uint8_t* prow = prevIn.data() + size_t(y0 + pr + dy) * inStride;
                for (int dx = -kSquare; dx <= kSquare; ++dx) {
                    if (dx == 0 || x0 + dx < 0 || x0 + dx + cols > width) continue;
                    if (Load64(prow + ptrdiff_t(x0 + dx) * inBpp) != word) continue;
                    if (++verified > 24) break;
                    if (EqualAt(top, stride, x0, y0, cols, rows, dx, dy)) {
                        const Vec v{int8_t(dx), int8_t(dy)};
                        Remember(v);
                        return v;
                    }
                }
            }
        }
        *exact = false;

        // No copy: the vector whose XOR leaves the fewest differing words.
        const int words = rows * int((segBytes + 7) / 8);
        Vec choice;
        int cost = Cost(top, stride, x0, y0, cols, rows, 0, 0, words);
        auto weigh = [&](Vec v) {
            if ((v.dx == 0 && v.dy == 0) || !InRange(x0, y0, cols, rows, v.dx, v.dy)) return;
            const int c = Cost(top, stride, x0, y0, cols, rows, v.dx, v.dy, cost);
            if (c < cost) {
                cost = c;
                choice = v;
            }
        };
        if (bestCount * 2 >= rows) weigh(best);
        for (int i = 0; i < n; ++i) weigh(tried[i]);
        if (cost * 8 > words && probes < kProbes + changedCount / kProbeEvery) {
            // Sampled rows over the square; the winner joins the recent vectors.
            ++probes;
            Vec found;
            int foundCost =
                Cost(top, stride, x0, y0, cols, rows, choice.dx, choice.dy, words, 1, 5);
            for (int dy = -kSquare; dy <= kSquare; ++dy)
                for (int dx = -kSquare; dx <= kSquare; ++dx) {
                    if (!InRange(x0, y0, cols, rows, dx, dy)) continue;
                    const int c = Cost(top, stride, x0, y0, cols, rows, dx, dy, foundCost, 1, 5);
                    if (c < foundCost) {
                        foundCost = c;
                        found = Vec{int8_t(dx), int8_t(dy)};
                    }
                }
            if (!(found == choice)) {
                weigh(found);
                if (choice == found) Remember(found);
            }
        }
        return choice;
    }

    void AppendXor(const uint8_t* top, ptrdiff_t stride, int x0, int y0, int cols, int rows,
                   Vec v) {
        const size_t n = size_t(cols) * size_t(outBpp);
        const uint8_t* prev = PrevOutData();
        size_t at = raw.size();
        raw.resize(at + n * size_t(rows));
        for (int r = 0; r < rows; ++r, at += n) {
            const uint8_t* a =
                OutRow(top + ptrdiff_t(y0 + r) * stride + ptrdiff_t(x0) * inBpp, size_t(cols));
            const uint8_t* b =
                prev + size_t(y0 + v.dy + r) * outStride + size_t(x0 + v.dx) * size_t(outBpp);
            uint8_t* o = raw.data() + at;
            for (size_t i = 0; i < n; ++i) o[i] = a[i] ^ b[i];
        }
    }

    void StoreRows(const uint8_t* top, ptrdiff_t stride, int x0, int y0, int cols, int rows) {
        StoreRowsOnly(top, stride, x0, y0, cols, rows);
        HashRows(x0 / kBlockSize, y0, rows);
    }
    void StoreRowsOnly(const uint8_t* top, ptrdiff_t stride, int x0, int y0, int cols, int rows) {
        for (int r = 0; r < rows; ++r) {
            const uint8_t* src = top + ptrdiff_t(y0 + r) * stride + ptrdiff_t(x0) * inBpp;
            std::memcpy(prevIn.data() + size_t(y0 + r) * inStride + size_t(x0) * inBpp, src,
                        size_t(cols) * size_t(inBpp));
            if (inBpp != outBpp)
                std::memcpy(prevOut.data() + size_t(y0 + r) * outStride + size_t(x0) * outBpp,
                            OutRow(src, size_t(cols)), size_t(cols) * size_t(outBpp));
        }
    }

    void BuildDelta(const uint8_t* top, ptrdiff_t stride) {
        const size_t blocks = size_t(blocksX) * size_t(blocksY);
        const size_t tableAt = raw.size();
        raw.resize(tableAt + ((blocks * 2 + 3) & ~size_t(3)), 0);
        std::fill(changed.begin(), changed.end(), 0);
        std::fill(vec.begin(), vec.end(), Vec{});
        probes = 0;
        changedCount = 0;
        int failures = 0;
        int matches = 0;
        bool rowDiffers[kBlockSize];
        for (int by = 0; by < blocksY; ++by) {
            const int y0 = by * kBlockSize;
            const int rows = std::min(kBlockSize, height - y0);
            bool any = false;
            for (int r = 0; r < rows; ++r) {
                rowDiffers[r] =
                    std::memcmp(top + ptrdiff_t(y0 + r) * stride,
                                prevIn.data() + size_t(y0 + r) * inStride, inStride) != 0;
                any = any || rowDiffers[r];
            }
            if (!any) continue;
            for (int bx = 0; bx < blocksX; ++bx) {
                const int x0 = bx * kBlockSize;
                const int cols = std::min(kBlockSize, width - x0);
                const size_t n = size_t(cols) * size_t(inBpp);
                bool differs = false;
                for (int r = 0; r < rows && !differs; ++r)
                    differs =
                        rowDiffers[r] &&
                        std::memcmp(top + ptrdiff_t(y0 + r) * stride + ptrdiff_t(x0) * inBpp,
                                    prevIn.data() + size_t(y0 + r) * inStride + size_t(x0) * inBpp,
                                    n) != 0;
                if (!differs) continue;
                const size_t b = size_t(by) * size_t(blocksX) + size_t(bx);
                changed[b] = 1;
                ++changedCount;
                bool exact = false;
                const bool trySquare = failures < kSquareGiveUp + 8 * matches;
                const Vec v = Search(top, stride, bx, by, cols, rows, trySquare, &exact);
                if (exact)
                    ++matches;
                else
                    ++failures;
                vec[b] = v;
                uint8_t* e = raw.data() + tableAt + b * 2;
                e[0] = uint8_t(uint8_t(v.dx) << 1) | (exact ? 0 : 1);
                e[1] = uint8_t(uint8_t(v.dy) << 1);
                if (!exact) AppendXor(top, stride, x0, y0, cols, rows, v);
            }
        }
        // The previous frame is replaced only now: every vector above refers to it.
        for (int by = 0; by < blocksY; ++by)
            for (int bx = 0; bx < blocksX; ++bx)
                if (changed[size_t(by) * size_t(blocksX) + size_t(bx)])
                    StoreRows(top, stride, bx * kBlockSize, by * kBlockSize,
                              std::min(kBlockSize, width - bx * kBlockSize),
                              std::min(kBlockSize, height - by * kBlockSize));
        lastVec.swap(vec);
        deltaFailures = failures;
    }

    void BuildKey(const uint8_t* top, ptrdiff_t stride) {
        if (format == Format::kPal8) raw.insert(raw.end(), palette, palette + 768);
        const size_t at = raw.size();
        raw.resize(at + outStride * size_t(height));
        for (int y = 0; y < height; ++y) {
            const uint8_t* src = top + ptrdiff_t(y) * stride;
            std::memcpy(prevIn.data() + size_t(y) * inStride, src, inStride);
            const uint8_t* o = OutRow(src, size_t(width));
            if (inBpp != outBpp) std::memcpy(prevOut.data() + size_t(y) * outStride, o, outStride);
            std::memcpy(raw.data() + at + size_t(y) * outStride, o, outStride);
        }
        for (int bx = 0; bx < blocksX; ++bx) HashRows(bx, 0, height);
        std::fill(lastVec.begin(), lastVec.end(), Vec{});
        recentCount = 0;
    }

    // The zlib level of a frame: the caller's, or by what is to be packed (measured on screen
    // content). Small payloads, the usual delta frames, get the best level, which costs
    // little on little data; big delta frames (much of the screen changed) level 8, nearly as
    // small at half the time of 9; key frames, one in hundreds, level 6, which packs a whole
    // screen in half the time of 8 for a few per cent more.
    int LevelFor(bool key) const {
        if (options.zlibLevel >= 0) return options.zlibLevel;
        return key ? 6 : raw.size() <= kSmallPayload ? 9 : 8;
    }

    Status Deflate(bool key, std::vector<uint8_t>* out) {
        z_stream& z = streams[live].z;
        int& zLevel = streams[live].level;
        size_t at = out->size();
        out->resize(at + deflateBound(&z, uLong(raw.size())) + 64);
        const int level = LevelFor(key);
        if (level != zLevel) {
            // Switches between frames: everything before is flushed already, so the switch
            // itself writes nothing but must have room to.
            z.next_in = raw.data();
            z.avail_in = 0;
            z.next_out = out->data() + at;
            z.avail_out = uInt(out->size() - at);
            if (deflateParams(&z, level, Z_DEFAULT_STRATEGY) != Z_OK) return Status::kZlibFailed;
            at = out->size() - z.avail_out;
            zLevel = level;
        }
        z.next_in = raw.data();
        z.avail_in = uInt(raw.size());
        for (;;) {
            z.next_out = out->data() + at;
            z.avail_out = uInt(out->size() - at);
            const int rc = deflate(&z, Z_SYNC_FLUSH);
            if (rc != Z_OK && rc != Z_BUF_ERROR) return Status::kZlibFailed;
            at = out->size() - z.avail_out;
            if (z.avail_out != 0 && z.avail_in == 0) break;
            out->resize(out->size() + 4096);
        }
        out->resize(at);
        return Status::kOk;
    }

    void KeyHeader(std::vector<uint8_t>* out) const {
        const uint8_t head[7] = {1, 0, 1, 1, uint8_t(format), kBlockSize, kBlockSize};
        out->insert(out->end(), head, head + 7);
    }

    // A picture mostly unlike the one before packs smaller on its own than as its XOR with
    // that one (a whole screen changing: a new window, a page of video). Such a delta frame
    // (out) is made once more as a key frame on the spare stream, and the smaller is kept.
    // Either way the previous picture is now this one.
    Status TryKeyInstead(const uint8_t* top, ptrdiff_t stride, EncodedFrame* out) {
        Stream& spare = streams[1 - live];
        if (!spare.ready) {
            spare.level = options.zlibLevel >= 0 ? options.zlibLevel : 6;
            if (deflateInit(&spare.z, spare.level) != Z_OK) return Status::kZlibFailed;
            spare.ready = true;
        } else if (deflateReset(&spare.z) != Z_OK) {
            return Status::kZlibFailed;
        }
        raw.clear();
        BuildKey(top, stride);
        std::vector<uint8_t> key;
        KeyHeader(&key);
        live = 1 - live;
        const Status st = Deflate(true, &key);
        if (st == Status::kOk && key.size() < out->bytes.size()) {
            out->bytes.swap(key);
            out->keyFrame = true;
            sinceKey = 1;
            return Status::kOk;
        }
        live = 1 - live;  // the delta frame stands, on its own stream
        return st;
    }
};

Encoder::Encoder() : s_(std::make_unique<State>()) {}
Encoder::~Encoder() = default;

Status Encoder::Start(const InputLayout& layout, const EncoderOptions& options) {
    const int bits = layout.bits;
    if (bits != 8 && bits != 15 && bits != 16 && bits != 24 && bits != 32)
        return Status::kBadArgument;
    if (layout.width <= 0 || layout.height <= 0 || layout.width > kMaxDimension ||
        layout.height > kMaxDimension ||
        uint64_t(layout.width) * uint64_t(layout.height) * 4 > kMaxFrameBytes)
        return Status::kBadArgument;
    if (options.keyInterval < 1 || options.zlibLevel < -1 || options.zlibLevel > 9)
        return Status::kBadArgument;
    auto s = std::make_unique<State>();
    s->width = layout.width;
    s->height = layout.height;
    s->inBits = bits;
    s->inBpp = bits == 15 ? 2 : bits / 8;
    s->format = FormatForBits(bits);
    s->outBpp = BytesPerPixel(s->format);
    s->options = options;
    s->blocksX = (layout.width + kBlockSize - 1) / kBlockSize;
    s->blocksY = (layout.height + kBlockSize - 1) / kBlockSize;
    s->inStride = size_t(layout.width) * size_t(s->inBpp);
    s->outStride = size_t(layout.width) * size_t(s->outBpp);
    const size_t blocks = size_t(s->blocksX) * size_t(s->blocksY);
    s->prevIn.assign(s->inStride * size_t(layout.height), 0);
    if (s->inBpp != s->outBpp) s->prevOut.assign(s->outStride * size_t(layout.height), 0);
    s->lastVec.assign(blocks, Vec{});
    s->vec.assign(blocks, Vec{});
    s->changed.assign(blocks, 0);
    s->colHash.assign(size_t(s->blocksX) * size_t(layout.height), 0);
    s->rowScratch.assign(s->outStride, 0);
    State::Stream& live = s->streams[0];
    live.level = options.zlibLevel >= 0 ? options.zlibLevel : 6;
    if (deflateInit(&live.z, live.level) != Z_OK) return Status::kZlibFailed;
    live.ready = true;
    s_ = std::move(s);
    return Status::kOk;
}

Status Encoder::Encode(const uint8_t* top, ptrdiff_t stride, const uint8_t* colourTable,
                       bool forceKey, EncodedFrame* out) {
    State& s = *s_;
    if (s.width == 0 || !top || !out) return Status::kBadArgument;
    if (s.format == Format::kPal8 && !colourTable) return Status::kBadArgument;
    const bool key = forceKey || !s.haveFrame || s.sinceKey >= s.options.keyInterval;
    uint8_t flags = key ? 1 : 0;
    s.raw.clear();
    if (s.format == Format::kPal8) {
        uint8_t pal[768];
        for (int i = 0; i < 256; ++i) {
            pal[i * 3] = colourTable[i * 4 + 2];
            pal[i * 3 + 1] = colourTable[i * 4 + 1];
            pal[i * 3 + 2] = colourTable[i * 4];
        }
        if (!key && std::memcmp(pal, s.palette, 768) != 0) {
            flags |= 2;
            s.raw.resize(768);
            for (int i = 0; i < 768; ++i) s.raw[size_t(i)] = pal[i] ^ s.palette[i];
        }
        std::memcpy(s.palette, pal, 768);
    }
    out->bytes.clear();
    if (key) {
        s.KeyHeader(&out->bytes);
        if (deflateReset(&s.streams[s.live].z) != Z_OK) return Status::kZlibFailed;
        s.BuildKey(top, stride);
        s.sinceKey = 0;
    } else {
        out->bytes.push_back(flags);
        s.BuildDelta(top, stride);
    }
    ++s.sinceKey;
    s.haveFrame = true;
    out->keyFrame = key;
    const Status st = s.Deflate(key, &out->bytes);
    if (st != Status::kOk || key) return st;
    const int blocks = s.blocksX * s.blocksY;
    if (s.deltaFailures * 2 < blocks) return st;
    return s.TryKeyInstead(top, stride, out);
}

size_t Encoder::MaxFrameBytes() const {
    const State& s = *s_;
    const size_t blocks = size_t(s.blocksX) * size_t(s.blocksY);
    const size_t raw = 768 + ((blocks * 2 + 3) & ~size_t(3)) + s.outStride * size_t(s.height);
    // zlib's bound for stored blocks, the sync marker and the frame header.
    return raw + raw / 1000 * 5 + 5 * (raw / 16000 + 1) + 64;
}

Format Encoder::StreamFormat() const { return s_->format; }

}  // namespace tqk::zmbv
