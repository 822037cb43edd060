// The message box's icon sprite sheet, drawn here: an error, a question, a warning and an
// information sign, each in six animation frames, with their masks. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tqk::msgbox {

inline constexpr int kFrames = 6;
inline constexpr int kKinds = 4;

// Cells of cell x cell pixels: column f - 1 holds frame f; row k - 1 the image of icon kind k,
// row k + 3 its mask. Pixels 0x00RRGGBB, rows from the top. A mask pixel is black where the icon
// covers it and white elsewhere; an image pixel is black where the icon is absent, and its edge
// pixels are blended with background, the colour the box is drawn on.
struct IconSheet {
    int cell = 0;
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

IconSheet DrawIconSheet(int cell, uint32_t background);

// The size of the sign in frame f (1..6) relative to its last frame: the signs pop up to their
// size; the information sign keeps its size (it hops instead).
double FrameScale(int kind, int frame);

}  // namespace tqk::msgbox
