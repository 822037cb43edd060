// A small GIF decoder of the tests' own, strict where the format is: it reads the blocks, decodes
// each image's LZW codes (widths growing to 12 bits, clear codes, a full table that stops
// growing) and paints the images onto the logical screen, so a test sees every frame as a
// viewer would. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tqk::test::gifdec {

// Decodes an LZW code stream (sub-blocks already joined) of minCodeSize into indices; false
// with *error set when a code is out of order or the end code is missing.
inline bool LzwDecode(const std::vector<uint8_t>& data, int minCodeSize, size_t expected,
                      std::vector<uint8_t>* out, std::string* error, int* clears = nullptr,
                      int* maxWidth = nullptr) {
    const uint32_t clear = 1u << minCodeSize, end = clear + 1;
    std::vector<uint16_t> prefix(4096);
    std::vector<uint8_t> suffix(4096), first(4096);
    for (uint32_t i = 0; i < clear; ++i) {
        suffix[i] = uint8_t(i);
        first[i] = uint8_t(i);
    }
    size_t bitPos = 0;
    int width = minCodeSize + 1;
    uint32_t next = end + 1;
    int32_t prev = -1;
    std::vector<uint8_t> stack;
    out->clear();
    if (clears) *clears = 0;
    if (maxWidth) *maxWidth = width;
    for (;;) {
        if (bitPos + size_t(width) > data.size() * 8) {
            *error = "data ends without the end code";
            return false;
        }
        uint32_t code = 0;
        for (int b = 0; b < width; ++b, ++bitPos)
            code |= uint32_t(data[bitPos / 8] >> (bitPos % 8) & 1) << b;
        if (code == clear) {
            width = minCodeSize + 1;
            next = end + 1;
            prev = -1;
            if (clears) ++*clears;
            continue;
        }
        if (code == end) break;
        if (code > next || (code == next && prev < 0) || (prev < 0 && code >= clear)) {
            *error = "code " + std::to_string(code) + " out of order (next " +
                     std::to_string(next) + ")";
            return false;
        }
        uint32_t c = code;
        stack.clear();
        if (code == next) {  // the string being defined: prev's string + its first index
            stack.push_back(first[uint32_t(prev)]);
            c = uint32_t(prev);
        }
        while (c >= clear) {
            stack.push_back(suffix[c]);
            c = prefix[c];
        }
        stack.push_back(uint8_t(c));
        const uint8_t head = uint8_t(c);
        out->insert(out->end(), stack.rbegin(), stack.rend());
        if (prev >= 0 && next < 4096) {
            prefix[next] = uint16_t(prev);
            suffix[next] = head;
            first[next] = first[uint32_t(prev)];
            ++next;
            if (next == (1u << width) && width < 12) ++width;
        }
        if (maxWidth && width > *maxWidth) *maxWidth = width;
        prev = int32_t(code);
    }
    if (out->size() != expected) {
        *error = "decoded " + std::to_string(out->size()) + " indices, expected " +
                 std::to_string(expected);
        return false;
    }
    return true;
}

struct Frame {
    std::vector<uint32_t> pixels;  // the whole screen after this image, 0x00RRGGBB
    uint32_t delay = 0;
    int x = 0, y = 0, w = 0, h = 0;
    bool localTable = false;
    int transparent = -1;
};

struct Gif {
    int width = 0, height = 0;
    bool loops = false;
    int globalColours = 0;
    std::vector<Frame> frames;
    std::string error;  // empty when the file decoded
};

inline Gif Decode(const std::vector<uint8_t>& f) {
    Gif g;
    size_t p = 0;
    const auto need = [&](size_t n) { return p + n <= f.size(); };
    const auto u16 = [&](size_t at) { return int(f[at] | f[at + 1] << 8); };
    const auto readTable = [&](int bits, std::vector<uint32_t>* t) {
        const size_t n = size_t(1) << bits;
        if (!need(n * 3)) return false;
        t->resize(n);
        for (size_t i = 0; i < n; ++i, p += 3)
            (*t)[i] = uint32_t(f[p]) << 16 | uint32_t(f[p + 1]) << 8 | f[p + 2];
        return true;
    };
    const auto subBlocks = [&](std::vector<uint8_t>* data) {
        for (;;) {
            if (!need(1)) return false;
            const size_t len = f[p++];
            if (len == 0) return true;
            if (!need(len)) return false;
            if (data) data->insert(data->end(), f.begin() + long(p), f.begin() + long(p + len));
            p += len;
        }
    };
    if (!need(13) || std::string(f.begin(), f.begin() + 6) != "GIF89a") {
        g.error = "no GIF89a header";
        return g;
    }
    g.width = u16(6);
    g.height = u16(8);
    const int packed = f[10];
    p = 13;
    std::vector<uint32_t> global;
    if (packed & 0x80) {
        if (!readTable((packed & 7) + 1, &global)) {
            g.error = "global table cut short";
            return g;
        }
        g.globalColours = int(global.size());
    }
    std::vector<uint32_t> screen(size_t(g.width) * size_t(g.height), 0);
    uint32_t delay = 0;
    int transparent = -1;
    int disposal = 0;
    for (;;) {
        if (!need(1)) {
            g.error = "no trailer";
            return g;
        }
        const uint8_t b = f[p++];
        if (b == 0x3B) break;
        if (b == 0x21) {
            if (!need(1)) break;
            const uint8_t label = f[p++];
            std::vector<uint8_t> data;
            if (label == 0xF9 && need(6) && f[p] == 4) {
                disposal = f[p + 1] >> 2 & 7;
                delay = uint32_t(u16(p + 2));
                transparent = f[p + 1] & 1 ? f[p + 4] : -1;
            }
            if (!subBlocks(&data)) {
                g.error = "extension cut short";
                return g;
            }
            if (label == 0xFF && data.size() >= 14 &&
                std::string(data.begin(), data.begin() + 11) == "NETSCAPE2.0")
                g.loops = true;
            continue;
        }
        if (b != 0x2C || !need(10)) {
            g.error = "unknown block";
            return g;
        }
        Frame fr;
        fr.x = u16(p);
        fr.y = u16(p + 2);
        fr.w = u16(p + 4);
        fr.h = u16(p + 6);
        const int ip = f[p + 8];
        p += 9;
        if (fr.x + fr.w > g.width || fr.y + fr.h > g.height) {
            g.error = "image outside the screen";
            return g;
        }
        std::vector<uint32_t> local;
        fr.localTable = ip & 0x80;
        if (fr.localTable && !readTable((ip & 7) + 1, &local)) {
            g.error = "local table cut short";
            return g;
        }
        const std::vector<uint32_t>& table = fr.localTable ? local : global;
        if (!need(1)) break;
        const int minCode = f[p++];
        std::vector<uint8_t> data, idx;
        if (!subBlocks(&data) ||
            !LzwDecode(data, minCode, size_t(fr.w) * size_t(fr.h), &idx, &g.error)) {
            if (g.error.empty()) g.error = "image data cut short";
            return g;
        }
        if (disposal > 1) {
            g.error = "only disposal 0/1 expected";
            return g;
        }
        for (int y = 0; y < fr.h; ++y)
            for (int x = 0; x < fr.w; ++x) {
                const uint8_t i = idx[size_t(y) * size_t(fr.w) + size_t(x)];
                if (int(i) == transparent) continue;
                if (i >= table.size()) {
                    g.error = "index beyond the table";
                    return g;
                }
                screen[size_t(fr.y + y) * size_t(g.width) + size_t(fr.x + x)] = table[i];
            }
        fr.pixels = screen;
        fr.delay = delay;
        fr.transparent = transparent;
        g.frames.push_back(std::move(fr));
        delay = 0;
        transparent = -1;
        disposal = 0;
    }
    return g;
}

}  // namespace tqk::test::gifdec
