// An animated GIF from a row of frames: each frame after the first stores only the rectangle
// that changed, with the unchanged pixels in it transparent where that packs smaller; a frame
// identical to the one before lengthens that one's delay; a frame of at most 256 colours gets
// a table of exactly its colours (the global table when that holds them at no extra cost),
// a frame of more a quantised table. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "gif_format.h"
#include "gif_palette.h"

namespace tqk::gif {

struct EncoderOptions {
    bool dither = false;  // error diffusion on frames of more than 256 colours
    uint16_t loops = 0;   // 0: for ever
};

struct EncoderStats {
    uint64_t framesIn = 0;     // frames given
    uint64_t framesOut = 0;    // images written (identical frames merged)
    uint64_t quantised = 0;    // images whose pixels needed more than 256 colours
    uint64_t transparent = 0;  // images that kept unchanged pixels transparent
    uint64_t totalDelay = 0;   // hundredths of a second
};

class AnimationEncoder {
public:
    // Starts a width x height animation (1 to 65535 each); false when the sides do not fit.
    bool Start(int width, int height, const EncoderOptions& options);
    // Adds a frame of 0x00RRGGBB pixels (the top byte zero), rows `stride` pixels apart, top
    // row first, shown for `delay` hundredths of a second.
    void AddFrame(const uint32_t* pixels, size_t stride, uint32_t delay);
    // Writes the last frame and the trailer.
    void Finish();
    // The bytes finished so far; the caller writes them out and clears the vector.
    std::vector<uint8_t>& Output() { return out_; }
    const EncoderStats& Stats() const { return stats_; }
    // Whether every image so far shows its frame's own pixels (no frame needed quantising).
    bool Exact() const { return stats_.quantised == 0; }

private:
    // One way of coding the changed rectangle: its table, transparent index and indices.
    struct Candidate {
        std::vector<uint32_t> table;
        bool global = false;
        int transparent = -1;
        bool quantised = false;
        std::vector<uint8_t> bytes;  // image descriptor onwards
    };
    void Code(const ImageRect& r, bool masked, Candidate* c);
    void FlushPending();

    int w_ = 0, h_ = 0;
    EncoderOptions options_;
    bool started_ = false, first_ = true;
    std::vector<uint32_t> prev_;     // the last frame given, 24-bit pixels
    const uint32_t* src_ = nullptr;  // the frame being added
    size_t srcStride_ = 0;
    std::vector<uint8_t> mask_;     // changed pixels of the rectangle
    std::vector<uint8_t> indices_;  // the rectangle's indices
    std::vector<uint32_t> global_;  // the global table (the first frame's)
    int globalBits_ = 0;
    int globalSpare_ = -1;  // an unused index of the global table, or -1
    ColourSet colours_;
    ColourSet globalSet_;
    Quantiser quantiser_;
    LzwEncoder lzw_;
    std::vector<uint8_t> pending_;  // the last image, held until its delay is known
    size_t pendingDelayAt_ = 0;
    uint32_t pendingDelay_ = 0;
    bool havePending_ = false;
    std::vector<uint8_t> out_;
    EncoderStats stats_;
    Candidate a_, b_;
};

}  // namespace tqk::gif
