// The wave-in device's own clock against the performance counter, and the sound laid back on
// the performance counter's time. A device runs some tens of parts per million fast or slow;
// the pictures of a recording follow the performance counter, so over ten minutes its sound
// would drift apart from them by tens of milliseconds. Portable: no <windows.h>.
#pragma once

#include <cstdint>

#include "wave_math.h"

namespace tqk::snd {

// Plausible clock error of a sound device: beyond this the difference is not the clock (a
// stalled or overrun device), and the sound is taken as it came.
constexpr double kMaxClockError = 0.005;

// The fit needs this much time between its first and last sample: below it the drift is a
// fraction of a millisecond and the estimate no better than the samples' jitter.
constexpr double kMinFitSpanMs = 30000;

// The samples must lie this close to their line (root mean square, in milliseconds of sound;
// Wine's wave-in, delivering every 10-20 ms, lies within 3.5 ms).
// A device that lost sound on the way (a starved machine) steps off the line by the sound it
// lost; its slope would then stretch the whole recording by that loss, so such a recording is
// taken as it came.
constexpr double kMaxFitResidualMs = 10;

// The device's clock is followed from this long after its start: before, its position still
// waits for its first delivery.
constexpr double kFitFromMs = 2000;

// A least-squares line through (milliseconds, bytes delivered) samples taken while the device
// records; its slope against the format's byte rate is how fast the device's clock runs.
class DeviceClockFit {
public:
    void Add(double ms, uint64_t bytes);
    // The helper's reading while it records: the device's byte position `atMs` after the
    // device started. Readings before kFitFromMs or before the first delivery say nothing of
    // the clock's rate and are left out.
    void AddPosition(double atMs, uint64_t position) {
        if (position > 0 && atMs >= kFitFromMs) Add(atMs, position);
    }
    // Device frames per frame of performance-counter time: 1 when the samples span less than
    // kMinFitSpanMs, stray from their line by more than kMaxFitResidualMs, or the slope lies
    // further than kMaxClockError from the byte rate.
    double Ratio(const PcmFormat& f) const;
    // The samples' distance from their line (root mean square, in bytes); 0 below 3 samples.
    double ResidualBytes() const;

private:
    // Running means and centred moments: exact enough for hours of samples, where plain
    // sums of squares would lose the residual in rounding.
    double n_ = 0, meanT_ = 0, meanB_ = 0, mTT_ = 0, mBB_ = 0, mTB_ = 0;
    double first_ = 0, last_ = 0;
};

// Output frames for a sound `outFrames` long on the performance counter's time taken from
// `inFrames` device frames at `ratio`: all of them when the device delivered enough, else as
// many as the input covers.
uint64_t ResampledFrames(uint64_t outFrames, uint64_t inFrames, double ratio);

// The input frames [first, first + count) that output frames [j0, j0 + n) read.
struct FrameSpan {
    uint64_t first = 0, count = 0;
};
FrameSpan ResampleInputSpan(uint64_t j0, uint64_t n, uint64_t inFrames, double ratio);

// Writes output frames [j0, j0 + n) into `out` (n × BlockAlign bytes): frame j is the input
// at position j × ratio, between frames by a 4-point cubic (Hermite) interpolation, each
// channel alone. `in` holds input frames [span.first, span.first + span.count) of
// ResampleInputSpan(j0, n, inFrames, ratio); 8-bit samples are unsigned, 16-bit signed
// little-endian.
void ResamplePcm(const uint8_t* in, FrameSpan span, uint64_t inFrames, const PcmFormat& f,
                 double ratio, uint64_t j0, uint64_t n, uint8_t* out);

}  // namespace tqk::snd
