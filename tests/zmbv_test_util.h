// Test pictures for the ZMBV tests: screen-like content that scrolls and drags.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace tqk::test {

inline int InBpp(int bits) { return bits == 15 ? 2 : bits / 8; }

// A picture that looks like a screen: flat areas, "text" of short runs, a gradient band.
struct Picture {
    int w, h, bits;
    std::vector<uint8_t> px;  // top-down, packed
    uint8_t table[1024];

    Picture(int w_, int h_, int bits_, uint32_t seed) : w(w_), h(h_), bits(bits_) {
        px.assign(size_t(w) * size_t(h) * size_t(InBpp(bits)), 0);
        std::mt19937 rng(seed);
        for (int y = 0; y < h; ++y) FillRow(y, rng);
        for (int i = 0; i < 1024; ++i) table[i] = uint8_t(i * 7 + seed);
    }
    uint8_t* Row(int y) { return px.data() + size_t(y) * size_t(w) * size_t(InBpp(bits)); }
    void FillRow(int y, std::mt19937& rng) {
        uint8_t* r = Row(y);
        const size_t n = size_t(w) * size_t(InBpp(bits));
        const bool text = (y / 4) % 3 != 0;
        for (size_t i = 0; i < n; ++i)
            r[i] = text ? uint8_t(rng() % 4 == 0 ? rng() : 0xEE) : uint8_t(y * 3 + i / 16);
    }
    // Rows y0..y1-1 move up by k (down when k < 0); the rows uncovered get new content.
    void Scroll(int y0, int y1, int k, std::mt19937& rng) {
        const size_t n = size_t(w) * size_t(InBpp(bits));
        std::vector<uint8_t> old(px);
        for (int y = y0; y < y1; ++y) {
            const int from = y + k;
            if (from >= y0 && from < y1)
                std::memcpy(Row(y), old.data() + size_t(from) * n, n);
            else
                FillRow(y, rng);
        }
    }
    // A rectangle of the picture moves by (dx, dy); the place it left is flat.
    void Drag(int x, int y, int rw, int rh, int dx, int dy) {
        const int bpp = InBpp(bits);
        std::vector<uint8_t> old(px);
        const size_t n = size_t(w) * size_t(bpp);
        for (int r = 0; r < rh; ++r)
            std::memset(Row(y + r) + size_t(x) * bpp, 0x55, size_t(rw) * bpp);
        for (int r = 0; r < rh; ++r)
            std::memcpy(Row(y + dy + r) + size_t(x + dx) * bpp,
                        old.data() + size_t(y + r) * n + size_t(x) * bpp, size_t(rw) * bpp);
    }
};

}  // namespace tqk::test
