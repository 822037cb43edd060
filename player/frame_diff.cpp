#include "frame_diff.h"

#include <algorithm>
#include <cstring>

namespace tqk::player {

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
        if (std::memcmp(a, b, rowBytes) == 0) continue;
        size_t first = 0, last = rowBytes;
        while (a[first] == b[first]) ++first;
        while (a[last - 1] == b[last - 1]) --last;
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
