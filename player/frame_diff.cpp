#include "frame_diff.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tqk::player {

namespace {

// Most rows of a recorded desktop do not change: the scan for a difference is most of the
// cost, so it goes 16 bytes at a time (8 without SSE2) instead of through memcmp and bytes.

// The first byte where a and b differ, or n.
size_t FirstDifference(const uint8_t* a, const uint8_t* b, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        const unsigned same = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y)));
        if (same != 0xFFFF) return i + size_t(__builtin_ctz(~same & 0xFFFF));
    }
#else
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        if (x != y) break;
    }
#endif
    while (i < n && a[i] == b[i]) ++i;
    return i;
}

// One past the last byte where a and b differ, or 0.
size_t LastDifference(const uint8_t* a, const uint8_t* b, size_t n) {
    size_t e = n;
#if defined(__SSE2__)
    for (; e >= 16; e -= 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + e - 16));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + e - 16));
        const unsigned differ = ~unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y))) & 0xFFFF;
        if (differ) return e - 16 + size_t(31 - __builtin_clz(differ)) + 1;
    }
#else
    for (; e >= 8; e -= 8) {
        uint64_t x, y;
        std::memcpy(&x, a + e - 8, 8);
        std::memcpy(&y, b + e - 8, 8);
        if (x != y) break;
    }
#endif
    while (e > 0 && a[e - 1] == b[e - 1]) --e;
    return e;
}

}  // namespace

std::vector<Rect> ChangedRects(const uint8_t* frame, uint8_t* shown, int width, int height,
                               size_t stride, int bytesPerPixel) {
    std::vector<Rect> rects;
    if (width <= 0 || height <= 0 || bytesPerPixel <= 0) return rects;
    const size_t rowBytes = size_t(width) * size_t(bytesPerPixel);
    int runTop = -1, runBottom = -1, left = width, right = 0;  // right: one past
    auto close = [&] {
        if (runTop >= 0) rects.push_back({left, runTop, right - left, runBottom - runTop});
        runTop = -1;
        left = width, right = 0;
    };
    for (int y = 0; y < height; ++y) {
        const uint8_t* a = frame + size_t(y) * stride;
        uint8_t* b = shown + size_t(y) * stride;
        const size_t first = FirstDifference(a, b, rowBytes);
        if (first == rowBytes) continue;
        const size_t last = first + LastDifference(a + first, b + first, rowBytes - first);
        std::memcpy(b + first, a + first, last - first);
        const int x0 = int(first / size_t(bytesPerPixel));
        const int x1 = int((last + size_t(bytesPerPixel) - 1) / size_t(bytesPerPixel));
        if (runTop >= 0 && y - runBottom >= kMergeRows) close();
        if (runTop < 0) runTop = y;
        runBottom = y + 1;
        left = std::min(left, x0);
        right = std::max(right, x1);
    }
    close();
    if (rects.size() > kMaxRects) {
        Rect all = rects.front();
        int r = all.x + all.width;
        for (const Rect& c : rects) {
            all.x = std::min(all.x, c.x);
            r = std::max(r, c.x + c.width);
        }
        all.width = r - all.x;
        all.height = rects.back().y + rects.back().height - all.y;
        rects.assign(1, all);
    }
    return rects;
}

}  // namespace tqk::player
