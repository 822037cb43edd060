#include "progress_text.h"

#include <cmath>
#include <cstdio>

namespace tqk::form5 {

std::string FormatMinutesSeconds(double msec) {
    if (!(msec > 0)) msec = 0;
    const long long seconds = (long long)std::floor(msec / 1000.0 + 0.5) % 3600;
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", int(seconds / 60), int(seconds % 60));
    return text;
}

ProgressTexts ComputeProgress(int32_t nowFrame, int32_t totalFrame, int32_t totalMsec,
                              int stripWidth, bool movieMode, RecentTimes* times) {
    ProgressTexts p;
    // Whole-number arithmetic: 29 / 100 x 100 must give 29, not 28.999...
    const int64_t now = nowFrame < 0 ? 0 : nowFrame;
    const int64_t total = totalFrame;
    int64_t bar = total > 0 ? now * 101 * stripWidth / (total * 100) : 0;
    if (bar > stripWidth) bar = stripWidth;
    p.barLength = int(bar < 0 ? 0 : bar);

    int slot = nowFrame % RecentTimes::kSlots;
    if (slot < 0) slot += RecentTimes::kSlots;
    (*times)[slot] = double(totalMsec);
    const int64_t tenths = total > 0 ? (now * 2000 + total) / (2 * total) : 0;
    p.percent =
        (tenths >= 10 ? std::to_string(tenths / 10) : "") + "." + std::to_string(tenths % 10) + "%";
    p.frame = "Frame " + std::to_string(nowFrame) + "/" + std::to_string(totalFrame);
    const double oldest = (*times)[(slot + 1) % RecentTimes::kSlots];
    if (oldest > 0.00001) {
        const double perFrame = ((*times)[slot] - oldest) / RecentTimes::kSlots;
        const double left = totalFrame > nowFrame ? double(totalFrame - nowFrame) : 0.0;
        p.total = "Total " + FormatMinutesSeconds(totalMsec);
        p.rest = "Rest " + FormatMinutesSeconds(left * perFrame);
    }
    const int64_t done = total > 0 ? (now + 1) * 100 / total : 0;
    p.caption = std::to_string(done) + (movieMode ? "% TQK Modified" : "% AVI Recorded");
    return p;
}

void KeepInside(const Rect& work, int width, int height, int* left, int* top) {
    // Left or above the work area: to its edge (a screen change can leave it anywhere).
    if (*left < work.left) *left = work.left;
    if (work.right - (width + *left) < 0) *left = work.right - width;
    if (*top < work.top) *top = work.top;
    if (work.bottom - (height + *top) < 0) *top = work.bottom - height;
}

}  // namespace tqk::form5
