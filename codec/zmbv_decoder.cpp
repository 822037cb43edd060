// ZMBV decoder. Every length is checked against what the chunk and the frame hold; a damaged
// chunk fails and the stream then waits for the next key frame.
#include <zlib.h>

#include <cstring>

#include "zmbv.h"

namespace tqk::zmbv {

struct Decoder::State {
    int width = 0, height = 0;
    Format format = Format::kBgrx32;
    int bpp = 4;
    int blockW = kBlockSize, blockH = kBlockSize;
    bool compressed = false;
    bool haveKey = false;
    bool lastKey = false;
    z_stream z{};
    bool zReady = false;
    std::vector<uint8_t> cur, prev, work;
    uint8_t palette[768] = {};

    ~State() {
        if (zReady) inflateEnd(&z);
    }

    size_t FrameBytes() const { return size_t(width) * size_t(height) * size_t(bpp); }
    size_t TableBytes() const {
        const size_t blocks =
            size_t((width + blockW - 1) / blockW) * size_t((height + blockH - 1) / blockH);
        return (blocks * 2 + 3) & ~size_t(3);
    }

    // Unpacks the payload of one chunk into work; returns the bytes it holds.
    Status Unpack(const uint8_t* p, size_t n, size_t cap, size_t* got) {
        if (!compressed) {
            if (n > cap) return Status::kBadData;
            work.assign(p, p + n);
            *got = n;
            return Status::kOk;
        }
        work.resize(cap + 1);
        z.next_in = const_cast<Bytef*>(p);
        z.avail_in = uInt(n);
        z.next_out = work.data();
        z.avail_out = uInt(work.size());
        while (z.avail_in > 0) {
            const int rc = inflate(&z, Z_SYNC_FLUSH);
            if (rc == Z_STREAM_END) break;
            if (rc != Z_OK) return Status::kBadData;
            // One byte more than any frame can hold: data left over means a damaged chunk.
            if (z.avail_out == 0) return Status::kBadData;
        }
        *got = work.size() - z.avail_out;
        if (*got > cap) return Status::kBadData;
        return Status::kOk;
    }

    Status Key(const uint8_t* data, size_t n) {
        if (n < 7) return Status::kBadData;
        if (data[1] != 0 || data[2] != 1) return Status::kUnsupported;
        if (data[3] > 1) return Status::kUnsupported;
        const uint8_t f = data[4];
        if (f != 4 && f != 5 && f != 6 && f != 7 && f != 8) return Status::kUnsupported;
        if (data[5] == 0 || data[6] == 0) return Status::kBadData;
        format = Format(f);
        bpp = BytesPerPixel(format);
        blockW = data[5];
        blockH = data[6];
        compressed = data[3] == 1;
        if (compressed) {
            if (!zReady) {
                if (inflateInit(&z) != Z_OK) return Status::kZlibFailed;
                zReady = true;
            } else if (inflateReset(&z) != Z_OK) {
                return Status::kZlibFailed;
            }
        }
        const size_t palBytes = format == Format::kPal8 ? 768 : 0;
        const size_t need = palBytes + FrameBytes();
        size_t got = 0;
        Status st = Unpack(data + 7, n - 7, need, &got);
        if (st != Status::kOk) return st;
        if (got != need) return Status::kBadData;
        std::memcpy(palette, work.data(), palBytes);
        cur.assign(work.begin() + ptrdiff_t(palBytes), work.begin() + ptrdiff_t(need));
        prev.resize(cur.size());
        return Status::kOk;
    }

    Status Delta(const uint8_t* data, size_t n) {
        const bool palChange = (data[0] & 2) != 0;
        const size_t palBytes = palChange ? 768 : 0;
        const size_t table = TableBytes();
        const size_t cap = palBytes + table + FrameBytes();
        size_t got = 0;
        Status st = Unpack(data + 1, n - 1, cap, &got);
        if (st != Status::kOk) return st;
        if (got < palBytes + table) return Status::kBadData;
        const uint8_t* p = work.data();
        const uint8_t* end = p + got;
        for (size_t i = 0; i < palBytes; ++i) palette[i] ^= p[i];
        p += palBytes;
        const uint8_t* entry = p;
        p += table;
        cur.swap(prev);
        const int bw = blockW, bh = blockH;
        const size_t stride = size_t(width) * size_t(bpp);
        for (int y0 = 0; y0 < height; y0 += bh) {
            const int rows = height - y0 < bh ? height - y0 : bh;
            for (int x0 = 0; x0 < width; x0 += bw, entry += 2) {
                const int cols = width - x0 < bw ? width - x0 : bw;
                const int dx = int8_t(entry[0]) >> 1;
                const int dy = int8_t(entry[1]) >> 1;
                const bool xored = (entry[0] & 1) != 0;
                const size_t rowBytes = size_t(cols) * size_t(bpp);
                for (int r = 0; r < rows; ++r) {
                    uint8_t* dst = cur.data() + size_t(y0 + r) * stride + size_t(x0) * size_t(bpp);
                    const int sy = y0 + r + dy;
                    const int sx = x0 + dx;
                    if (sy < 0 || sy >= height || sx >= width || sx + cols <= 0) {
                        std::memset(dst, 0, rowBytes);
                        continue;
                    }
                    // Parts of the source outside the picture read as zero.
                    const int left = sx < 0 ? -sx : 0;
                    const int right = sx + cols > width ? sx + cols - width : 0;
                    const uint8_t* src = prev.data() + size_t(sy) * stride;
                    std::memset(dst, 0, size_t(left) * size_t(bpp));
                    std::memcpy(dst + size_t(left) * size_t(bpp),
                                src + size_t(sx + left) * size_t(bpp),
                                size_t(cols - left - right) * size_t(bpp));
                    std::memset(dst + size_t(cols - right) * size_t(bpp), 0,
                                size_t(right) * size_t(bpp));
                }
                if (!xored) continue;
                if (size_t(end - p) < rowBytes * size_t(rows)) return Status::kBadData;
                for (int r = 0; r < rows; ++r, p += rowBytes) {
                    uint8_t* dst = cur.data() + size_t(y0 + r) * stride + size_t(x0) * size_t(bpp);
                    for (size_t i = 0; i < rowBytes; ++i) dst[i] ^= p[i];
                }
            }
        }
        return Status::kOk;
    }
};

Decoder::Decoder() : s_(std::make_unique<State>()) {}
Decoder::~Decoder() = default;

Status Decoder::Start(int width, int height) {
    if (width <= 0 || height <= 0 || width > kMaxDimension || height > kMaxDimension ||
        uint64_t(width) * uint64_t(height) * 4 > kMaxFrameBytes)
        return Status::kBadArgument;
    s_ = std::make_unique<State>();
    s_->width = width;
    s_->height = height;
    return Status::kOk;
}

Status Decoder::Decode(const uint8_t* data, size_t n) {
    State& s = *s_;
    if (s.width == 0) return Status::kBadArgument;
    if (n < 1) return Status::kBadData;
    const bool key = (data[0] & 1) != 0;
    if (!key && !s.haveKey) return Status::kNoKeyFrame;
    const Status st = key ? s.Key(data, n) : s.Delta(data, n);
    s.haveKey = st == Status::kOk;
    s.lastKey = key;
    return st;
}

const uint8_t* Decoder::Frame() const { return s_->cur.data(); }
const uint8_t* Decoder::Palette() const { return s_->palette; }
Format Decoder::StreamFormat() const { return s_->format; }
bool Decoder::LastWasKey() const { return s_->lastKey; }
int Decoder::Width() const { return s_->width; }
int Decoder::Height() const { return s_->height; }

}  // namespace tqk::zmbv
