// Generated screen content shared by the benchmarks: a typical desktop (typing, a dragged
// window, a clock), scrolling text and the whole screen changing, drawn frame by frame into
// 0x00RRGGBB pixels. Portable.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace tqk::bench {

struct Canvas {
    int w, h;
    std::vector<uint32_t> px;  // blue, green, red, 0
    Canvas(int w_, int h_) : w(w_), h(h_), px(size_t(w_) * size_t(h_)) {}
    void Fill(int x, int y, int rw, int rh, uint32_t c) {
        for (int j = std::max(0, y); j < std::min(h, y + rh); ++j)
            for (int i = std::max(0, x); i < std::min(w, x + rw); ++i) px[size_t(j) * w + i] = c;
    }
};

inline uint32_t Rgb(int r, int g, int b) {
    return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16;
}

// 96 glyphs of 8 x 16 with anti-aliased edges, so text repeats like real text.
struct Font {
    uint8_t glyph[96][16][8];
    Font() {
        std::mt19937 rng(42);
        for (auto& g : glyph) {
            std::memset(g, 0, sizeof g);
            for (int stroke = 0; stroke < 3; ++stroke) {
                const int x = int(rng() % 6) + 1, y0 = int(rng() % 5) + 3, len = int(rng() % 7) + 3;
                const bool horizontal = rng() % 2;
                for (int k = 0; k < len; ++k) {
                    const int gx = horizontal ? std::min(7, 1 + k / 2) : x;
                    const int gy = horizontal ? y0 + 2 : std::min(13, y0 + k);
                    g[gy][gx] = 255;
                    if (gx + 1 < 8 && g[gy][gx + 1] == 0) g[gy][gx + 1] = 96;
                }
            }
        }
    }
    void Draw(Canvas& c, int x, int y, int ch, uint32_t fg, uint32_t bg, int clipTop,
              int clipBottom) const {
        const auto& g = glyph[ch % 96];
        for (int j = 0; j < 16; ++j) {
            const int yy = y + j;
            if (yy < clipTop || yy >= clipBottom || yy < 0 || yy >= c.h) continue;
            for (int i = 0; i < 8; ++i) {
                const int xx = x + i;
                if (xx < 0 || xx >= c.w) continue;
                const int a = g[j][i];
                uint32_t out = 0;
                for (int k = 0; k < 24; k += 8) {
                    const int f = int(fg >> k & 255), b = int(bg >> k & 255);
                    out |= uint32_t((f * a + b * (255 - a)) / 255) << k;
                }
                c.px[size_t(yy) * c.w + xx] = out;
            }
        }
    }
};

inline const Font& TheFont() {
    static Font f;
    return f;
}

// A line of "words" that depends only on its number.
inline void TextLine(Canvas& c, int x, int y, int width, int line, int clipTop, int clipBottom) {
    std::mt19937 rng(uint32_t(line * 7919 + 1));
    int col = 0;
    const int chars = width / 8;
    while (col < chars) {
        const int word = int(rng() % 9) + 1;
        for (int k = 0; k < word && col < chars; ++k, ++col)
            TheFont().Draw(c, x + col * 8, y, int(rng() % 96), 0, Rgb(255, 255, 255), clipTop,
                           clipBottom);
        ++col;
        if (rng() % 13 == 0) break;
    }
}

inline void Window(Canvas& c, int x, int y, int ww, int wh, int firstLine, int scroll) {
    c.Fill(x - 1, y - 1, ww + 2, wh + 2, Rgb(90, 90, 90));
    for (int j = 0; j < 24; ++j) c.Fill(x, y + j, ww, 1, Rgb(0, 50 + j * 3, 120 + j * 4));
    for (int k = 0; k < 20; ++k)
        TheFont().Draw(c, x + 8 + k * 8, y + 4, k + 33, Rgb(255, 255, 255), Rgb(0, 62, 136), 0,
                       c.h);
    const int top = y + 24, bottom = y + wh;
    c.Fill(x, top, ww, wh - 24, Rgb(255, 255, 255));
    const int first = scroll / 18;
    for (int line = first; (line - first) * 18 - scroll % 18 < wh - 24; ++line)
        TextLine(c, x + 6, top + 4 + (line - first) * 18 - scroll % 18, ww - 12, firstLine + line,
                 top, bottom);
}

inline void Desktop(Canvas& c, int t) {
    c.Fill(0, 0, c.w, c.h, Rgb(58, 110, 165));
    for (int i = 0; i < 6; ++i)
        c.Fill(20, 20 + i * 80, 48, 48, Rgb(200 - i * 20, 180, 60 + i * 30));
    c.Fill(0, c.h - 40, c.w, 40, Rgb(212, 208, 200));
    // The clock: changes once every ten frames.
    const int minute = t / 10;
    for (int k = 0; k < 5; ++k)
        TheFont().Draw(c, c.w - 60 + k * 8, c.h - 28, k == 2 ? 26 : 16 + (minute >> (k * 2)) % 10,
                       0, Rgb(212, 208, 200), 0, c.h);
}

inline void Typical(Canvas& c, int t) {
    Desktop(c, t);
    Window(c, 120, 90, c.w / 2, c.h / 2, 0, 0);
    Window(c, c.w / 3, c.h / 4, c.w / 2, c.h / 2, 100, 0);
    // Typing into the front window: one character a frame, a caret that blinks.
    const int x0 = c.w / 3 + 6, y0 = c.h / 4 + 24 + 4 + 18 * 10;
    c.Fill(x0, y0, c.w / 2 - 12, 18, Rgb(255, 255, 255));
    for (int k = 0; k < t % 60; ++k)
        TheFont().Draw(c, x0 + k * 8, y0, (k * 31 + 7) % 96, 0, Rgb(255, 255, 255), 0, c.h);
    if ((t / 5) % 2 == 0) c.Fill(x0 + (t % 60) * 8, y0, 1, 16, 0);
    // A window dragged across: 6 pixels right and 2 down a frame, back and forth.
    const int travel = c.w / 3;
    const int step = (t * 6) % (2 * travel);
    const int dx = step < travel ? step : 2 * travel - step;
    Window(c, 60 + dx, c.h / 2 + dx / 3 - 40, 360, 240, 300, 0);
}

inline void Scrolling(Canvas& c, int t) {
    Desktop(c, t);
    Window(c, 40, 30, c.w - 80, c.h - 110, 0, t * 3);
}

inline void Full(Canvas& c, int t) {
    for (int y = 0; y < c.h; ++y) {
        const int v = (y / 24 + t) * 37;
        const uint32_t band = Rgb(v & 255, (v * 3) & 255, (v * 7 + t) & 255);
        for (int x = 0; x < c.w; ++x)
            c.px[size_t(y) * c.w + x] = band ^ uint32_t(((x + t * 5) / 8 % 2) * 0x101010);
    }
    for (int i = 0; i < 200; ++i)
        TextLine(c, (i * 97 + t * 13) % c.w, (i * 53 + t * 7) % c.h, 160, i + t, 0, c.h);
}

}  // namespace tqk::bench
