// What changed between the picture on the screen and the next frame, so that only those
// places are copied to the window (a recorded desktop changes in a few small places; a full
// copy of a large picture costs most of a slot on a slow display). Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "player_model.h"

namespace tqk::player {

// The changed places of frame against shown, both top-down with the same row stride: each
// rectangle (pixels, y downwards) covers a run of changed rows and the columns that changed in
// them. Runs with fewer than kMergeRows unchanged rows between them are joined; more than
// kMaxRects rectangles become their bounding rectangle. shown takes the changed bytes, so it
// equals frame afterwards.
std::vector<Rect> ChangedRects(const uint8_t* frame, uint8_t* shown, int width, int height,
                               size_t stride, int bytesPerPixel);

inline constexpr int kMergeRows = 8;
inline constexpr size_t kMaxRects = 16;

}  // namespace tqk::player
