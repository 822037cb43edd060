#include "record_spans.h"

#include <algorithm>
#include <cmath>

#include "device_clock.h"

namespace tqk::snd {

bool PauseLine::Pause(int64_t atMs) {
    if (Paused()) return false;
    moments_.push_back(std::max<int64_t>(atMs, moments_.empty() ? 0 : moments_.back()));
    return true;
}

bool PauseLine::Resume(int64_t atMs) {
    if (!Paused()) return false;
    moments_.push_back(std::max(atMs, moments_.back()));
    return true;
}

void PauseLine::Assign(std::vector<int64_t> moments) {
    moments_.clear();
    for (size_t i = 0; i < moments.size(); ++i) {
        if (i % 2 == 0) {
            (void)Pause(moments[i]);
        } else {
            (void)Resume(moments[i]);
        }
    }
}

std::vector<MsSpan> PauseLine::Spans(int64_t stopMs) const {
    std::vector<MsSpan> spans;
    int64_t begin = 0;
    for (size_t i = 0; i < moments_.size(); i += 2) {
        const int64_t end = std::max(begin, std::min(moments_[i], stopMs));
        spans.push_back({begin, end});
        if (i + 1 == moments_.size()) return spans;  // paused: the pause ends the last span
        begin = moments_[i + 1];
    }
    spans.push_back({begin, std::max(begin, stopMs)});
    return spans;
}

double PauseLine::RecordedMs(double nowMs) const {
    double ms = 0;
    int64_t begin = 0;
    for (size_t i = 0; i < moments_.size(); i += 2) {
        ms += double(moments_[i] - begin);
        if (i + 1 == moments_.size()) return ms;
        begin = moments_[i + 1];
    }
    return ms + std::max(0.0, nowMs - double(begin));
}

std::vector<MsSpan> KeepFirstMs(std::vector<MsSpan> spans, int64_t keepMs) {
    if (keepMs <= 0) return spans;
    int64_t left = keepMs;
    for (MsSpan& s : spans) {
        const int64_t n = std::clamp<int64_t>(s.Length(), 0, left);
        s.end = s.begin + n;
        left -= n;
    }
    return spans;
}

int64_t TotalMs(const std::vector<MsSpan>& spans) {
    int64_t ms = 0;
    for (const MsSpan& s : spans) ms += std::max<int64_t>(0, s.Length());
    return ms;
}

uint64_t FramesForMs(int64_t ms, const PcmFormat& f) {
    return f.BlockAlign ? SoundLengthBytes(ms, f, UINT64_MAX) / f.BlockAlign : 0;
}

namespace {

// The span's first device frame, and the device frames that `out` output frames read from it
// (the cubic reads one frame past the last position).
uint64_t InputFirst(int64_t beginMs, const PcmFormat& f, double ratio) {
    const uint64_t at = FramesForMs(beginMs, f);
    return ratio == 1 ? at : uint64_t(std::llround(double(at) * ratio));
}
uint64_t InputNeeded(uint64_t out, double ratio) {
    if (out == 0) return 0;
    return ratio == 1 ? out : uint64_t(std::floor(double(out - 1) * ratio)) + 2;
}

}  // namespace

std::vector<SpanPlan> PlanSpans(const std::vector<MsSpan>& spans, const PcmFormat& f, double ratio,
                                uint64_t captured) {
    std::vector<SpanPlan> plan;
    if (f.BlockAlign == 0 || !(ratio > 0)) return plan;
    int64_t recordedMs = 0;
    uint64_t outAt = 0;
    bool cut = false;  // the device's sound ended in an earlier span
    for (const MsSpan& s : spans) {
        const int64_t len = std::max<int64_t>(0, s.Length());
        const uint64_t wanted = FramesForMs(recordedMs + len, f) - FramesForMs(recordedMs, f);
        recordedMs += len;
        SpanPlan p;
        p.outFirst = outAt;
        p.inFirst = InputFirst(s.begin, f, ratio);
        if (!cut && wanted > 0 && p.inFirst < captured) {
            p.inFrames = std::min(captured - p.inFirst, InputNeeded(wanted, ratio));
            p.outFrames = ratio == 1 ? p.inFrames : ResampledFrames(wanted, p.inFrames, ratio);
        }
        if (wanted > 0 && p.outFrames < wanted) cut = true;
        if (p.outFrames == 0) p.inFrames = 0;
        outAt += p.outFrames;
        plan.push_back(p);
    }
    return plan;
}

uint64_t InputFramesWanted(const std::vector<MsSpan>& spans, const PcmFormat& f, double ratio) {
    uint64_t wanted = 0;
    for (const SpanPlan& p : PlanSpans(spans, f, ratio, UINT64_MAX))
        if (p.inFrames) wanted = std::max(wanted, p.inFirst + p.inFrames);
    return wanted;
}

uint64_t OutputFrames(const std::vector<SpanPlan>& plan) {
    return plan.empty() ? 0 : plan.back().outFirst + plan.back().outFrames;
}

}  // namespace tqk::snd
