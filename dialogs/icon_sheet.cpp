#include "icon_sheet.h"

#include <algorithm>
#include <cmath>

namespace tqk::msgbox {
namespace {

struct Colour {
    double r, g, b;
};
constexpr Colour kWhite{255, 255, 255}, kInk{20, 20, 20};
constexpr Colour kRed{208, 40, 40}, kRedRim{130, 20, 20};
constexpr Colour kBlue{30, 100, 200}, kBlueRim{15, 60, 130};
constexpr Colour kYellow{245, 190, 20}, kYellowRim{140, 100, 0};
constexpr double kPi = 3.14159265358979323846;
constexpr double kRim = 0.045;

Colour FromRgb(uint32_t c) {
    return {double((c >> 16) & 0xFF), double((c >> 8) & 0xFF), double(c & 0xFF)};
}

double Capsule(double x, double y, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    const double t = std::clamp(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(x - ax - t * dx, y - ay - t * dy);
}

// Signed distance (negative inside) of the sign's outline: a disc or the warning triangle.
double Outline(int kind, double x, double y) {
    if (kind != 3) return std::hypot(x, y) - 0.44;
    const double vx[3] = {0.0, 0.47, -0.47}, vy[3] = {-0.42, 0.39, 0.39};
    double d = -1e9;
    for (int i = 0; i < 3; ++i) {
        const int j = (i + 1) % 3;
        const double ex = vx[j] - vx[i], ey = vy[j] - vy[i], len = std::hypot(ex, ey);
        // Outward normal of a clockwise triangle (y down).
        d = std::max(d, ((x - vx[i]) * ey - (y - vy[i]) * ex) / len);
    }
    return d + 0.02;  // the corners rounded a little by the supersampling
}

// True where the glyph (cross, question mark, exclamation mark, "i") is.
bool Glyph(int kind, double x, double y) {
    switch (kind) {
    case 1:
        return Capsule(x, y, -0.16, -0.16, 0.16, 0.16) < 0.07 ||
               Capsule(x, y, -0.16, 0.16, 0.16, -0.16) < 0.07;
    case 2: {
        const double cx = 0.0, cy = -0.09, r = 0.14;
        const double d = std::hypot(x - cx, y - cy);
        double a = std::atan2(y - cy, x - cx) * 180.0 / kPi;
        if (a < 0) a += 360.0;
        const bool hook = std::fabs(d - r) < 0.06 && (a >= 170.0 || a <= 90.0);
        const bool stem = Capsule(x, y, 0.0, cy + r, 0.0, 0.1) < 0.06;
        const bool dot = std::hypot(x, y - 0.22) < 0.06;
        return hook || stem || dot;
    }
    case 3: return Capsule(x, y, 0.0, -0.17, 0.0, 0.1) < 0.055 || std::hypot(x, y - 0.23) < 0.055;
    default: return Capsule(x, y, 0.0, -0.05, 0.0, 0.21) < 0.06 || std::hypot(x, y + 0.2) < 0.065;
    }
}

// The colour of one sample of the sign at cell coordinates (x, y) in -0.5..0.5; false where the
// sign is absent.
bool Sample(int kind, double x, double y, Colour* c) {
    const double d = Outline(kind, x, y);
    if (d > 0) return false;
    const Colour fill = kind == 1 ? kRed : kind == 3 ? kYellow : kBlue;
    const Colour rim = kind == 1 ? kRedRim : kind == 3 ? kYellowRim : kBlueRim;
    if (d > -kRim)
        *c = rim;
    else if (Glyph(kind, x, y))
        *c = kind == 3 ? kInk : kWhite;
    else
        *c = fill;
    return true;
}

}  // namespace

double FrameScale(int kind, int frame) {
    static const double pop[kFrames] = {0.55, 0.75, 0.92, 1.06, 1.02, 1.0};
    if (kind == 4 || frame < 1 || frame > kFrames) return 1.0;
    return pop[frame - 1];
}

IconSheet DrawIconSheet(int cell, uint32_t background) {
    IconSheet s;
    s.cell = std::max(8, cell);
    s.width = s.cell * kFrames;
    s.height = s.cell * kKinds * 2;
    s.pixels.assign(size_t(s.width) * size_t(s.height), 0);
    const Colour bg = FromRgb(background);
    constexpr int kSub = 4;  // 4 x 4 samples a pixel
    for (int kind = 1; kind <= kKinds; ++kind) {
        for (int frame = 1; frame <= kFrames; ++frame) {
            const double scale = FrameScale(kind, frame);
            for (int py = 0; py < s.cell; ++py) {
                for (int px = 0; px < s.cell; ++px) {
                    Colour sum{0, 0, 0};
                    int covered = 0;
                    for (int sy = 0; sy < kSub; ++sy) {
                        for (int sx = 0; sx < kSub; ++sx) {
                            const double x = ((px + (sx + 0.5) / kSub) / s.cell - 0.5) / scale;
                            const double y = ((py + (sy + 0.5) / kSub) / s.cell - 0.5) / scale;
                            Colour c = bg;
                            if (Sample(kind, x, y, &c)) ++covered;
                            sum.r += c.r;
                            sum.g += c.g;
                            sum.b += c.b;
                        }
                    }
                    const int ix = (frame - 1) * s.cell + px;
                    const int imageY = (kind - 1) * s.cell + py;
                    const int maskY = (kind + 3) * s.cell + py;
                    uint32_t image = 0, mask = 0xFFFFFF;
                    if (covered > 0) {
                        const double n = kSub * kSub;
                        image = uint32_t(std::lround(sum.r / n)) << 16 |
                                uint32_t(std::lround(sum.g / n)) << 8 |
                                uint32_t(std::lround(sum.b / n));
                        mask = 0;
                    }
                    s.pixels[size_t(imageY) * size_t(s.width) + size_t(ix)] = image;
                    s.pixels[size_t(maskY) * size_t(s.width) + size_t(ix)] = mask;
                }
            }
        }
    }
    return s;
}

}  // namespace tqk::msgbox
