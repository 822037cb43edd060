#include "region_model.h"

#include <algorithm>

namespace tqk::rec {

PickRect DragRect(int32_t startX, int32_t startY, int32_t endX, int32_t endY) {
    return PickRect{std::min(startX, endX), std::min(startY, endY), std::max(startX, endX),
                    std::max(startY, endY)};
}

PickRect FromExclusive(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return PickRect{left, top, right - 1, bottom - 1};
}

RegionBoxes BoxesFromPick(PickRect r, int32_t maxX, int32_t maxY) {
    r.left = std::clamp(r.left, 0, maxX);
    r.top = std::clamp(r.top, 0, maxY);
    r.right = std::clamp(r.right, r.left, maxX);
    r.bottom = std::clamp(r.bottom, r.top, maxY);
    RegionBoxes b;
    b.X = r.left;
    b.Y = r.top;
    b.W = (r.right - r.left + 1 + 3) / 4 * 4;
    b.H = r.bottom - r.top + 1;
    return b;
}

}  // namespace tqk::rec
