// The recorded spans of a sound recording that was paused: the device records on through a
// pause, so its scratch file holds one continuous time line, and the WAV takes from it only
// [start, pause 1), [resume 1, pause 2) ... [resume N, stop), joined. Times are whole
// milliseconds from the device's start; frames are sample frames. Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <vector>

#include "wave_math.h"

namespace tqk::snd {

// A recorded span of the time line, [begin, end) in milliseconds from the device's start.
struct MsSpan {
    int64_t begin = 0, end = 0;
    int64_t Length() const { return end - begin; }
};

// The pauses and resumes of one recording as they come: the moments alternate, a pause first,
// each in milliseconds from the device's start. An odd count means paused.
class PauseLine {
public:
    // A pause while recording / a resume while paused; anything else is ignored (false). A
    // moment before the device's start, or before the moment before it, is taken as that one:
    // the time line never runs back.
    bool Pause(int64_t atMs);
    bool Resume(int64_t atMs);
    bool Paused() const { return moments_.size() % 2 == 1; }
    const std::vector<int64_t>& Moments() const { return moments_; }
    void Assign(std::vector<int64_t> moments);

    // The recorded spans up to stopMs: the last one ends at the stop, or at the pause when
    // paused. A span that would begin after the stop is empty.
    std::vector<MsSpan> Spans(int64_t stopMs) const;
    // Milliseconds recorded up to nowMs (fractions kept: the time limit compares it).
    double RecordedMs(double nowMs) const;

private:
    std::vector<int64_t> moments_;
};

// The spans cut so that they hold at most keepMs together (keepMs <= 0: all of them).
std::vector<MsSpan> KeepFirstMs(std::vector<MsSpan> spans, int64_t keepMs);
int64_t TotalMs(const std::vector<MsSpan>& spans);

// Sample frames of a time on the recording's clock: the usual whole-millisecond rule of
// SoundLengthBytes, in frames.
uint64_t FramesForMs(int64_t ms, const PcmFormat& f);

// One span as it goes into the WAV: output frames [outFirst, outFirst + outFrames) read the
// device's frames [inFirst, inFirst + inFrames) of the scratch file, laid back at `ratio`
// (device frames per frame of the recording's clock) from the span's first frame on.
struct SpanPlan {
    uint64_t outFirst = 0, outFrames = 0;
    uint64_t inFirst = 0, inFrames = 0;
};

// The WAV's spans for a recording whose device delivered `captured` frames. The output
// boundaries follow the recorded time summed over the spans (FramesForMs of the time recorded
// before each boundary), so that the WAV is exactly FramesForMs(TotalMs(spans)) long, as a
// recording of that length without pauses would be; a span's input begins at its begin time
// on the device's clock (FramesForMs(begin) x ratio, rounded to a frame). A span the device
// did not deliver wholly is cut where its sound ends (and the spans behind it with it).
std::vector<SpanPlan> PlanSpans(const std::vector<MsSpan>& spans, const PcmFormat& f, double ratio,
                                uint64_t captured);
// The device frames the plan reads, for a device that delivers without end: how much the
// drain after the stop waits for.
uint64_t InputFramesWanted(const std::vector<MsSpan>& spans, const PcmFormat& f, double ratio);
uint64_t OutputFrames(const std::vector<SpanPlan>& plan);

}  // namespace tqk::snd
