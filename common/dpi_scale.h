// Geometry at the screen's DPI: layouts are given in 96-DPI pixels or in twips and scaled here,
// at one place. Portable: no <windows.h>.
#pragma once

#include <cmath>

namespace tqk {

inline constexpr int kBaseDpi = 96;
inline constexpr int kTwipsPerInch = 1440;

class DpiScale {
public:
    constexpr DpiScale() = default;
    constexpr explicit DpiScale(int dpi) : dpi_(dpi > 0 ? dpi : kBaseDpi) {}
    constexpr int Dpi() const { return dpi_; }

    // 96-DPI pixels to pixels of this DPI, rounded half away from zero.
    constexpr int Px(int px96) const {
        const long long n = static_cast<long long>(px96) * dpi_;
        return static_cast<int>(n >= 0 ? (n + kBaseDpi / 2) / kBaseDpi
                                       : -((-n + kBaseDpi / 2) / kBaseDpi));
    }
    // Pixels of this DPI back to 96-DPI pixels (rounded).
    constexpr int To96(int px) const {
        const long long n = static_cast<long long>(px) * kBaseDpi;
        return static_cast<int>(n >= 0 ? (n + dpi_ / 2) / dpi_ : -((-n + dpi_ / 2) / dpi_));
    }
    // Twips per pixel = 1440 / DPI (15 at 96 DPI, 10 at 144 DPI).
    constexpr double TwipsPerPixel() const { return double(kTwipsPerInch) / dpi_; }
    // Twips to pixels, rounded to the nearest integer.
    int FromTwips(double twips) const { return int(std::lround(twips / TwipsPerPixel())); }
    constexpr double ToTwips(int px) const { return px * TwipsPerPixel(); }

private:
    int dpi_ = kBaseDpi;
};

}  // namespace tqk
