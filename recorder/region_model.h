// The arithmetic of the region pick: the rectangle of a drag or of a picked window, clamped to
// the screen and turned into the four boxes. Portable: no <windows.h>.
#pragma once

#include <cstdint>

namespace tqk::rec {

// Screen pixels, inclusive: right and bottom are the last column and row inside.
struct PickRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const PickRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
    bool operator!=(const PickRect& o) const { return !(*this == o); }
};

struct RegionBoxes {
    int32_t X = 0, Y = 0, W = 0, H = 0;
};

// The rectangle of a drag from start to end, whichever way it went.
PickRect DragRect(int32_t startX, int32_t startY, int32_t endX, int32_t endY);
// A window (or client) rectangle with exclusive right and bottom made inclusive.
PickRect FromExclusive(int32_t left, int32_t top, int32_t right, int32_t bottom);

// Clamped to the screen (maxX, maxY: its last column and row) and turned into X, Y, W, H,
// W rounded up to a multiple of 4. A rectangle wholly off the screen keeps a size of at least
// one pixel at the edge it left by.
RegionBoxes BoxesFromPick(PickRect r, int32_t maxX, int32_t maxY);

}  // namespace tqk::rec
