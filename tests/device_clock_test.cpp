// The wave-in device's clock followed against the performance counter, and its sound laid
// back on that time: the fit's rate, when it holds back, and the resampled frames.
#include "device_clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace {

using namespace tqk::snd;

PcmFormat Format(int bits, int rate, int channels) {
    PcmFormat f;
    EXPECT_TRUE(MakePcmFormat(bits, rate, channels, &f));
    return f;
}

TEST(DeviceClock, FitFindsTheRateThroughJitterAndStepsAndHoldsBackWhenUnsure) {
    const PcmFormat f = Format(16, 44100, 2);
    const struct {
        double ppm;       // the device's clock error
        double spanMs;    // how long the samples run
        double stepMs;    // the device hands over its bytes in steps this long (0: smoothly)
        double lostMs;    // sound lost at a third of the way (a starved machine)
        double expected;  // ratio the fit gives; 0 means 1 + ppm
    } cases[] = {
        {77, 600000, 0, 0, 0},
        {-77, 600000, 0, 0, 0},
        {200, 120000, 20, 0, 0},
        {-150, 600000, 20, 0, 0},
        {77, 600000, 0, 20, 0},  // a lost moment shorter than a frame:
                                 // still followed
        {77, 600000, 0, 60, 1},  // its slope would stretch all of it: taken as it came
        {77, 600000, 0, 400, 1},
        {77, 600000, 1000, 0, 1},  // as unsure as a second's deliveries
        {77, 20000, 0, 0, 1},      // too short to tell
        {8000, 600000, 0, 0, 1},   // no clock is that far off: a stalled device
        {-8000, 600000, 0, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ppm);
        SCOPED_TRACE(c.stepMs);
        SCOPED_TRACE(c.lostMs);
        DeviceClockFit fit;
        const double rate = f.AvgBytesPerSec / 1000.0 * (1 + c.ppm * 1e-6);
        unsigned jitter = 12345;
        for (double t = 0; t <= c.spanMs; t += 1) {
            jitter = jitter * 1103515245u + 12345u;
            const double late = double(jitter >> 16 & 7);  // 0-7 ms behind, at random
            double delivered = (t - late) * rate;
            if (c.stepMs > 0) delivered = std::floor((t - late) / c.stepMs) * c.stepMs * rate;
            if (t > c.spanMs / 3) delivered -= c.lostMs * rate;
            fit.Add(t + 5000, uint64_t(std::max(0.0, delivered) + 10 * rate));
        }
        const double want = c.expected ? c.expected : 1 + c.ppm * 1e-6;
        // Within 5 ppm (3 ms over ten minutes), and twice a small loss's share of the span.
        EXPECT_NEAR(fit.Ratio(f), want, 5e-6 + 2 * c.lostMs / c.spanMs);
    }
    EXPECT_EQ(DeviceClockFit().Ratio(f), 1);
}

// The helper's loop as it runs: it reads the device's byte position about every millisecond
// from the device's start (nothing delivered for the first 40 ms, then the device's clock in
// whole blocks, each reading `late(t)` milliseconds behind), feeds every reading to the fit as
// it does, and asks for the ratio at the stop.
double HelperRatio(const PcmFormat& f, double ppm, double stopMs,
                   const std::function<double(double)>& late) {
    DeviceClockFit fit;
    const double bytesPerMs = f.AvgBytesPerSec / 1000.0 * (1 + ppm * 1e-6);
    for (double t = 0; t <= stopMs; t += 1) {
        const double behind = t < 40 ? t : late(t);
        const uint64_t frames = uint64_t(std::max(0.0, (t - behind) * bytesPerMs) / f.BlockAlign);
        fit.AddPosition(t, frames * f.BlockAlign);
    }
    return fit.Ratio(f);
}

// The gate around the fit, just either side of each limit: it follows the clock only when
// the followed time (from kFitFromMs to the stop) reaches 30 s and its readings lie within
// 10 ms of their line.
TEST(DeviceClock, HelperFollowsTheClockOnlyPastThirtySecondsAndWithinTenMilliseconds) {
    const PcmFormat f = Format(16, 48000, 2);
    constexpr double kPpm = 300;
    unsigned seed = 777;
    const auto jitter = [&seed](double) {  // 0-7 ms behind, at random, as Wine delivers
        seed = seed * 1103515245u + 12345u;
        return double(seed >> 16 & 7);
    };
    // 29 s followed: too short to tell; 31 s: followed.
    EXPECT_EQ(HelperRatio(f, kPpm, kFitFromMs + 29000, jitter), 1);
    EXPECT_NEAR(HelperRatio(f, kPpm, kFitFromMs + 31000, jitter), 1 + kPpm * 1e-6, 2e-5);
    // Readings alternately a ms early and late of their line (every 10 ms, as the fit keeps
    // one reading per 10 ms): 9 ms is followed, 11 ms is a device that lost its way.
    const auto swing = [](double a) {
        return [a](double t) { return 20 + (int64_t(t / 10) % 2 ? a : -a); };
    };
    EXPECT_NEAR(HelperRatio(f, kPpm, 60000, swing(9)), 1 + kPpm * 1e-6, 2e-5);
    EXPECT_EQ(HelperRatio(f, kPpm, 60000, swing(11)), 1);
    // The same device without a swing, for comparison: followed.
    EXPECT_NEAR(HelperRatio(f, kPpm, 60000, swing(0)), 1 + kPpm * 1e-6, 2e-5);
}

TEST(DeviceClock, ResampledSoundKeepsItsStartItsLengthAndItsTone) {
    // A 1 kHz tone at 48 kHz recorded by a device 300 ppm fast: 48014.4 frames a second.
    const PcmFormat f = Format(16, 48000, 2);
    const double ratio = 1 + 300e-6;
    const uint64_t outFrames = 48000 * 10;
    const uint64_t inFrames = uint64_t(outFrames * ratio) + 3;
    std::vector<uint8_t> in(inFrames * 4);
    const double pi = std::acos(-1.0);
    for (uint64_t i = 0; i < inFrames; ++i) {
        // In device frames the tone is 1000 / ratio cycles per nominal second of its frames.
        const double v = 20000 * std::sin(2 * pi * 1000 * double(i) / (48000 * ratio));
        const int16_t s = int16_t(std::lround(v)), r = int16_t(-s);
        in[i * 4] = uint8_t(s & 0xFF), in[i * 4 + 1] = uint8_t(uint16_t(s) >> 8);
        in[i * 4 + 2] = uint8_t(r & 0xFF), in[i * 4 + 3] = uint8_t(uint16_t(r) >> 8);
    }
    ASSERT_EQ(ResampledFrames(outFrames, inFrames, ratio), outFrames);
    // Written in pieces, as into the WAV file, each from its own span of the input.
    std::vector<uint8_t> out(outFrames * 4);
    const uint64_t piece = 65536;
    for (uint64_t j = 0; j < outFrames; j += piece) {
        const uint64_t n = std::min(piece, outFrames - j);
        const FrameSpan span = ResampleInputSpan(j, n, inFrames, ratio);
        ASSERT_LE(span.first + span.count, inFrames);
        ResamplePcm(in.data() + span.first * 4, span, inFrames, f, ratio, j, n, out.data() + j * 4);
    }
    // On the nominal clock the tone is 1 kHz again, from the first frame to the last.
    double worst = 0;
    for (uint64_t j = 0; j < outFrames; ++j) {
        const double want = 20000 * std::sin(2 * pi * 1000 * double(j) / 48000);
        const int16_t left = int16_t(out[j * 4] | out[j * 4 + 1] << 8);
        const int16_t right = int16_t(out[j * 4 + 2] | out[j * 4 + 3] << 8);
        worst = std::max(worst, std::fabs(left - want));
        ASSERT_NEAR(right, -left, 1) << j;  // channels apart
    }
    EXPECT_LT(worst, 40);  // -54 dB of the tone: the interpolation's error at 1 kHz
}

TEST(DeviceClock, ShortInputAndEightBitsAndEdges) {
    // A device that delivered too little: the output ends where its input does.
    EXPECT_EQ(ResampledFrames(1000, 900, 1.001), 899u);  // floor(899 / 1.001) + 1
    EXPECT_EQ(ResampledFrames(1000, 1000, 1.0), 1000u);
    EXPECT_EQ(ResampledFrames(1000, 5000, 0.999), 1000u);
    EXPECT_EQ(ResampledFrames(1000, 0, 1.0), 0u);
    // Spans stay inside the input at both ends.
    FrameSpan s = ResampleInputSpan(0, 10, 100, 1.001);
    EXPECT_EQ(s.first, 0u);
    EXPECT_EQ(s.count, 12u);  // frames 0-11: frame 8.99 reads up to 11
    s = ResampleInputSpan(95, 5, 100, 0.999);
    EXPECT_EQ(s.first + s.count, 100u);
    EXPECT_EQ(ResampleInputSpan(0, 0, 100, 1).count, 0u);

    // 8-bit unsigned mono across a step from the lowest to the highest value: the curve's
    // overshoot on either side is held to the range, never wrapped round to the other end.
    const PcmFormat f = Format(8, 22050, 1);
    std::vector<uint8_t> in(200);
    for (size_t i = 0; i < in.size(); ++i) in[i] = i < 100 ? 0 : 255;
    std::vector<uint8_t> out(150);
    const FrameSpan span = ResampleInputSpan(0, 150, 200, 1.002);
    ResamplePcm(in.data(), span, 200, f, 1.002, 0, 150, out.data());
    for (int j = 0; j <= 98; ++j) EXPECT_EQ(out[j], 0) << j;
    for (int j = 100; j < 150; ++j) EXPECT_EQ(out[j], 255) << j;
}

}  // namespace
