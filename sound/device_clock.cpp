#include "device_clock.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tqk::snd {

void DeviceClockFit::Add(double ms, uint64_t bytes) {
    if (n_ == 0) {
        first_ = ms;
    } else if (ms - last_ < 10) {
        return;  // a sample every 10 ms is plenty
    }
    last_ = ms;
    const double t = ms - first_, b = double(bytes);
    n_ += 1;
    const double dt = t - meanT_, db = b - meanB_;
    meanT_ += dt / n_;
    meanB_ += db / n_;
    mTT_ += dt * (t - meanT_);
    mBB_ += db * (b - meanB_);
    mTB_ += dt * (b - meanB_);
}

double DeviceClockFit::ResidualBytes() const {
    if (n_ < 3 || !(mTT_ > 0)) return 0;
    const double ss = mBB_ - mTB_ * mTB_ / mTT_;
    return ss > 0 ? std::sqrt(ss / n_) : 0;
}

double DeviceClockFit::Ratio(const PcmFormat& f) const {
    if (n_ < 3 || last_ - first_ < kMinFitSpanMs || f.AvgBytesPerSec == 0 || !(mTT_ > 0)) return 1;
    const double bytesPerMs = f.AvgBytesPerSec / 1000.0;
    if (ResidualBytes() > kMaxFitResidualMs * bytesPerMs) return 1;
    const double ratio = mTB_ / mTT_ / bytesPerMs;
    if (!std::isfinite(ratio) || std::fabs(ratio - 1) > kMaxClockError) return 1;
    return ratio;
}

uint64_t ResampledFrames(uint64_t outFrames, uint64_t inFrames, double ratio) {
    if (inFrames == 0 || !(ratio > 0)) return 0;
    const double last = std::floor(double(inFrames - 1) / ratio);
    const uint64_t covered = uint64_t(last) + 1;
    return std::min(outFrames, covered);
}

FrameSpan ResampleInputSpan(uint64_t j0, uint64_t n, uint64_t inFrames, double ratio) {
    if (n == 0 || inFrames == 0) return {};
    const double lo = std::floor(double(j0) * ratio) - 1;
    const double hi = std::floor(double(j0 + n - 1) * ratio) + 2;
    const uint64_t first = lo < 0 ? 0 : std::min<uint64_t>(uint64_t(lo), inFrames - 1);
    const uint64_t last = std::min<uint64_t>(uint64_t(std::max(hi, 0.0)), inFrames - 1);
    return {first, last - first + 1};
}

namespace {

double Sample(const uint8_t* frame, int bits, int channel) {
    if (bits == 8) return double(frame[channel]) - 128;
    const uint8_t* p = frame + 2 * channel;
    return double(int16_t(uint16_t(p[0] | (p[1] << 8))));
}

void Store(uint8_t* frame, int bits, int channel, double v) {
    const double r = std::floor(v + 0.5);
    if (bits == 8) {
        frame[channel] = uint8_t(std::clamp(r, -128.0, 127.0) + 128);
        return;
    }
    const uint16_t s = uint16_t(int16_t(std::clamp(r, -32768.0, 32767.0)));
    frame[2 * channel] = uint8_t(s & 0xFF);
    frame[2 * channel + 1] = uint8_t(s >> 8);
}

}  // namespace

void ResamplePcm(const uint8_t* in, FrameSpan span, uint64_t inFrames, const PcmFormat& f,
                 double ratio, uint64_t j0, uint64_t n, uint8_t* out) {
    const size_t align = f.BlockAlign;
    if (n == 0 || inFrames == 0 || span.count == 0) return;
    // An input frame by its index, held to the recording's ends and read from the span.
    auto frame = [&](int64_t i) {
        const int64_t last = int64_t(inFrames) - 1;
        i = std::clamp<int64_t>(i, 0, last);
        i = std::clamp<int64_t>(i, int64_t(span.first), int64_t(span.first + span.count - 1));
        return in + size_t(i - int64_t(span.first)) * align;
    };
    for (uint64_t k = 0; k < n; ++k) {
        const double x = double(j0 + k) * ratio;
        const double whole = std::floor(x);
        const double t = x - whole;
        const int64_t i = int64_t(whole);
        const uint8_t* f0 = frame(i - 1);
        const uint8_t* f1 = frame(i);
        const uint8_t* f2 = frame(i + 1);
        const uint8_t* f3 = frame(i + 2);
        uint8_t* o = out + size_t(k) * align;
        for (int c = 0; c < f.Channels; ++c) {
            const double p0 = Sample(f0, f.BitsPerSample, c), p1 = Sample(f1, f.BitsPerSample, c);
            const double p2 = Sample(f2, f.BitsPerSample, c), p3 = Sample(f3, f.BitsPerSample, c);
            const double v =
                p1 +
                0.5 * t *
                    (p2 - p0 + t * (2 * p0 - 5 * p1 + 4 * p2 - p3 + t * (3 * (p1 - p2) + p3 - p0)));
            Store(o, f.BitsPerSample, c, v);
        }
    }
}

}  // namespace tqk::snd
