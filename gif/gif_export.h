// A movie (.TQK) exported as an animated GIF, frame by frame through the movie reader: every
// depth (8-bit frames through their own colour tables), a part of it (from, to), a lower rate
// (at most 50 frames a second, frames dropped evenly), a smaller or larger width. Delays are
// hundredths of a second with the rounding carried from frame to frame, so the GIF lasts as
// long as the part of the movie. Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "tqk_format.h"

namespace tqk::gif {

// Browsers slow down delays shorter than 2 hundredths: GIFs run at most this many frames a second.
constexpr int32_t kMaxRate = 50;
// The largest picture the export makes: the movie reader's own bound on a frame (1 GiB) at 4
// bytes a pixel, so that an enlarging --scale cannot ask for unbounded memory.
constexpr uint64_t kMaxPixels = uint64_t{1} << 28;

// Where each output frame of a part of `frames` frames at `fps` comes from when shown at `rate`
// frames a second (rate at most fps), and its delay: output frame k shows the part's frame that
// is on screen at k / rate seconds and starts at hundredth floor(100 k / rate), the last one
// ending at floor(100 frames / fps).
class Schedule {
public:
    Schedule(int64_t frames, int32_t fps, int32_t rate);
    int64_t Steps() const { return steps_; }
    int64_t SourceFrame(int64_t step) const { return step * fps_ / rate_; }
    uint32_t Delay(int64_t step) const;
    uint64_t TotalHundredths() const { return uint64_t(frames_ * 100 / fps_); }

private:
    int64_t Start(int64_t step) const { return step * 100 / rate_; }
    int64_t frames_;
    int64_t fps_, rate_;
    int64_t steps_ = 0;
};

struct ExportOptions {
    std::string movie, out;   // UTF-8 paths
    double from = 0;          // seconds into the movie
    double to = -1;           // seconds; below 0: the movie's end
    int32_t fps = 0;          // 0: the movie's rate (at most kMaxRate)
    int32_t width = 0;        // 0: the movie's width; else scaled to it, the height in proportion
    bool dither = false;      // for frames of more than 256 colours
    bool type0Is555 = false;  // 16-bit Type0 frames are 5-5-5 rather than 5-6-5
};

enum class ExportStatus {
    kOk,
    kMovie,          // the movie cannot be opened or read: code (an engine result code), record
    kNoFrames,       // the movie holds no whole second
    kBadSpan,        // from/to outside the movie or in the wrong order
    kTooLarge,       // wider or taller than a GIF can be (65535)
    kTooManyPixels,  // more pixels than kMaxPixels (an enlarged picture)
    kWrite,          // the GIF cannot be written: systemError
    kCancelled,      // the progress callback asked to stop; the old file is left
};

struct ExportResult {
    ExportStatus status = ExportStatus::kOk;
    int32_t code = 0;          // kMovie: the engine's result code
    int64_t record = -1;       // kMovie: the record that failed, -1 for the header
    uint32_t systemError = 0;  // kWrite
    int32_t width = 0, height = 0, rate = 0;
    uint64_t framesRead = 0;  // movie frames unpacked
    uint64_t images = 0;      // GIF images written (identical frames merged)
    uint64_t hundredths = 0;  // the GIF's length
    uint64_t bytes = 0;
    bool exact = false;  // every image holds its frame's own colours
};

// Called after each movie frame unpacked with (frames done, frames to do); false cancels.
using ExportProgress = std::function<bool(uint64_t, uint64_t)>;

ExportResult ExportGif(const ExportOptions& options, const ExportProgress& progress = {});

// One unpacked movie frame as top-down 0x00RRGGBB pixels (W a row).
void FrameToRgb32(const MovieHeader& h, const uint8_t* frame, bool type0Is555, uint32_t* out);

}  // namespace tqk::gif
