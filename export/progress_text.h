// What the conversion progress window shows for one frame: the bar's length, the percent,
// frame, "Total" and "Rest" texts and the window caption, and where the window may stand on
// the screen. Portable: no <windows.h>.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tqk::form5 {

// Elapsed times of the last 30 frames, in milliseconds, by frame number mod 30.
class RecentTimes {
public:
    static constexpr int kSlots = 30;
    void Clear() { t_.fill(0.0); }
    double& operator[](int i) { return t_[size_t(i)]; }

private:
    std::array<double, kSlots> t_{};
};

struct ProgressTexts {
    int barLength = 0;    // pixels of the bar image shown from the left
    std::string percent;  // "12.3%"
    std::string frame;    // "Frame 12/100"
    std::string total;    // "Total 01:02", or "" for the first frames
    std::string rest;     // "Rest 00:40", or ""
    std::string caption;  // "13% AVI Recorded" or "13% TQK Modified"
};

// Where the four texts go on the strip, in pixels: black at these points, then white two
// pixels up and left of them, so the white text has a black shadow.
struct TextPlace {
    int x, y;
};
constexpr TextPlace kPercentAt{9, 1}, kFrameAt{54, 1}, kTotalAt{184, 1}, kRestAt{264, 1};
constexpr int kShadowOffset = 2;

// One frame's view. times gets the frame's elapsed time. The percent has one decimal and no
// leading zero (".0%", "12.3%"). A total of 0 frames or fewer shows an empty bar rather than
// dividing by zero.
ProgressTexts ComputeProgress(int32_t nowFrame, int32_t totalFrame, int32_t totalMsec,
                              int stripWidth, bool movieMode, RecentTimes* times);

// Milliseconds shown as minutes and seconds of a time of day, "nn:ss": whole hours dropped.
std::string FormatMinutesSeconds(double msec);

struct Rect {
    int left, top, right, bottom;
};
// A window position brought inside the work area (pixels).
void KeepInside(const Rect& work, int width, int height, int* left, int* top);

}  // namespace tqk::form5
