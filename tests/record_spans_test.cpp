// The recorded spans of a paused sound recording: which device frames of the continuous
// scratch file go into the WAV, and where, at every rate and depth a device records.
#include "record_spans.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "device_clock.h"

namespace tqk::test {
namespace {

using namespace tqk::snd;

std::vector<PcmFormat> AllFormats() {
    std::vector<PcmFormat> all;
    for (const int rate : {8000, 11025, 22050, 32000, 44100, 48000, 96000, 192000})
        for (const int bits : {8, 16})
            for (const int channels : {1, 2}) {
                PcmFormat f;
                EXPECT_TRUE(MakePcmFormat(bits, rate, channels, &f));
                all.push_back(f);
            }
    return all;
}

// The device frame at a time on the recording's clock, for a device whose clock runs at ratio.
double DeviceFrameAt(double ms, const PcmFormat& f, double ratio) {
    return ms * f.SamplesPerSec / 1000.0 * ratio;
}

PauseLine Line(std::vector<int64_t> moments) {
    PauseLine l;
    l.Assign(std::move(moments));
    return l;
}

TEST(RecordSpans, WithoutPausesTheWavIsAsLongAsTheUsualRuleSays) {
    for (const PcmFormat& f : AllFormats()) {
        SCOPED_TRACE(f.SamplesPerSec * 100 + f.BlockAlign);
        const auto spans = PauseLine().Spans(12345);
        ASSERT_EQ(spans.size(), 1u);
        const auto plan = PlanSpans(spans, f, 1, UINT64_MAX);
        EXPECT_EQ(plan[0].inFirst, 0u);
        EXPECT_EQ(OutputFrames(plan) * f.BlockAlign, SoundLengthBytes(12345, f, UINT64_MAX));
        // A capture that falls short gives what was captured, as before.
        const auto shortPlan = PlanSpans(spans, f, 1, 1000);
        EXPECT_EQ(OutputFrames(shortPlan), 1000u);
    }
}

TEST(RecordSpans, PausedTimeIsLeftOutAndTheJoinsAreExactToTheSample) {
    // [0, 1234) [2000, 3001) [4567, 6789): 4457 ms recorded.
    const PauseLine line = Line({1234, 2000, 3001, 4567});
    const auto spans = line.Spans(6789);
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_EQ(TotalMs(spans), 1234 + 1001 + 2222);
    for (const PcmFormat& f : AllFormats()) {
        SCOPED_TRACE(f.SamplesPerSec * 100 + f.BlockAlign);
        const auto plan = PlanSpans(spans, f, 1, UINT64_MAX);
        ASSERT_EQ(plan.size(), 3u);
        // As long as a recording of the recorded time alone.
        EXPECT_EQ(OutputFrames(plan), FramesForMs(4457, f));
        uint64_t out = 0;
        int64_t recorded = 0;
        for (size_t i = 0; i < 3; ++i) {
            // The output boundary is the recorded time before the span; the input begins at
            // the span's own begin on the device's time line.
            EXPECT_EQ(plan[i].outFirst, out);
            EXPECT_EQ(plan[i].outFirst, FramesForMs(recorded, f));
            EXPECT_EQ(plan[i].inFirst, FramesForMs(spans[i].begin, f));
            EXPECT_EQ(plan[i].inFrames, plan[i].outFrames);
            // The frames taken are the span's, to within a frame at either end: nothing of the
            // paused time.
            EXPECT_NEAR(double(plan[i].inFirst), DeviceFrameAt(spans[i].begin, f, 1), 1.0);
            EXPECT_NEAR(double(plan[i].inFirst + plan[i].inFrames),
                        DeviceFrameAt(spans[i].end, f, 1), 1.0);
            out += plan[i].outFrames;
            recorded += spans[i].Length();
        }
    }
}

TEST(RecordSpans, ClockCorrectionWorksPerSpanFromTheSpansOwnBegin) {
    const auto spans = Line({20000, 35000, 60000, 61000}).Spans(95000);
    for (const double ratio : {1.0004, 0.9996, 1 + kMaxClockError, 1 - kMaxClockError}) {
        for (const PcmFormat& f : AllFormats()) {
            SCOPED_TRACE(testing::Message()
                         << ratio << " " << f.SamplesPerSec << " " << f.BlockAlign);
            const auto plan = PlanSpans(spans, f, ratio, UINT64_MAX);
            const auto plain = PlanSpans(spans, f, 1, UINT64_MAX);
            // The same output as without the correction: the clock changes what is read.
            EXPECT_EQ(OutputFrames(plan), OutputFrames(plain));
            for (size_t i = 0; i < plan.size(); ++i) {
                EXPECT_EQ(plan[i].outFrames, plain[i].outFrames);
                EXPECT_EQ(plan[i].outFirst, plain[i].outFirst);
                // The span starts where the device's clock had got to at its begin...
                EXPECT_NEAR(double(plan[i].inFirst), DeviceFrameAt(spans[i].begin, f, ratio),
                            0.5 + ratio);
                // ...and reads the device's frames of its own length, one more for the curve.
                EXPECT_NEAR(double(plan[i].inFrames), DeviceFrameAt(spans[i].Length(), f, ratio),
                            2.0);
                // Never past the next span's sound.
                if (i + 1 < plan.size()) {
                    EXPECT_LE(plan[i].inFirst + plan[i].inFrames, plan[i + 1].inFirst + 1);
                }
            }
        }
    }
}

TEST(RecordSpans, ZeroLengthSpansAddNothingAndLeaveTheJoinsInPlace) {
    PcmFormat f;
    ASSERT_TRUE(MakePcmFormat(16, 44100, 2, &f));
    // A pause and a resume at the same moment: the same WAV as no pause at all.
    const auto same = PlanSpans(Line({1500, 1500}).Spans(4000), f, 1, UINT64_MAX);
    ASSERT_EQ(same.size(), 2u);
    EXPECT_EQ(same[1].inFirst, same[0].inFirst + same[0].inFrames);
    EXPECT_EQ(same[1].outFirst, same[0].outFrames);
    EXPECT_EQ(OutputFrames(same), FramesForMs(4000, f));
    // A resume and the next pause at the same moment: an empty span in the middle.
    const auto spans = Line({1000, 2000, 2000, 3000}).Spans(4000);
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_EQ(spans[1].Length(), 0);
    const auto plan = PlanSpans(spans, f, 1.0003, UINT64_MAX);
    EXPECT_EQ(plan[1].outFrames, 0u);
    EXPECT_EQ(plan[1].inFrames, 0u);
    EXPECT_EQ(plan[2].outFirst, plan[0].outFrames);
    EXPECT_EQ(OutputFrames(plan), FramesForMs(2000, f));
    // A resume set ahead of a stop that came first: the last span is empty.
    const auto late = Line({1000, 5000}).Spans(4000);
    EXPECT_EQ(late.back().Length(), 0);
    EXPECT_EQ(TotalMs(late), 1000);
}

TEST(RecordSpans, PauseBeforeTheFirstDeliveryAndMomentsThatRunBack) {
    PcmFormat f;
    ASSERT_TRUE(MakePcmFormat(8, 22050, 1, &f));
    PauseLine line;
    // A pause from before the device started counts from its start.
    EXPECT_TRUE(line.Pause(-40));
    EXPECT_TRUE(line.Paused());
    EXPECT_FALSE(line.Pause(10));  // already paused
    EXPECT_TRUE(line.Resume(300));
    EXPECT_FALSE(line.Resume(400));  // not paused
    EXPECT_TRUE(line.Pause(250));    // before the resume: taken as the resume
    EXPECT_TRUE(line.Resume(900));
    EXPECT_EQ(line.Moments(), (std::vector<int64_t>{0, 300, 300, 900}));
    const auto spans = line.Spans(1900);
    EXPECT_EQ(TotalMs(spans), 1000);
    const auto plan = PlanSpans(spans, f, 1, UINT64_MAX);
    EXPECT_EQ(plan.back().inFirst, FramesForMs(900, f));
    EXPECT_EQ(OutputFrames(plan), FramesForMs(1000, f));
    // The device delivered nothing before the stop: an empty WAV, not a read past the file.
    EXPECT_EQ(OutputFrames(PlanSpans(spans, f, 1, 0)), 0u);
    // It delivered up to the middle of the last span: the WAV ends there.
    const uint64_t captured = FramesForMs(1400, f);
    const auto part = PlanSpans(spans, f, 1, captured);
    EXPECT_EQ(part.back().inFirst + part.back().inFrames, captured);
    EXPECT_EQ(OutputFrames(part), captured - FramesForMs(900, f));
}

TEST(RecordSpans, ADeviceThatStopsShortCutsTheSpansBehindIt) {
    PcmFormat f;
    ASSERT_TRUE(MakePcmFormat(16, 48000, 2, &f));
    const auto spans = Line({1000, 2000}).Spans(3000);
    // Sound up to 1.5 s: the first span whole, the second (from 2 s) has none.
    const auto plan = PlanSpans(spans, f, 1.0002, FramesForMs(1500, f));
    EXPECT_EQ(plan[0].outFrames, FramesForMs(1000, f));
    EXPECT_EQ(plan[1].outFrames, 0u);
    EXPECT_EQ(InputFramesWanted(spans, f, 1), FramesForMs(3000, f));
    EXPECT_GE(InputFramesWanted(spans, f, 1.0002), uint64_t(FramesForMs(3000, f) * 1.0002));
}

TEST(RecordSpans, RecordedTimeAndTheLimitCountOnlyRecordedTime) {
    PauseLine line;
    EXPECT_DOUBLE_EQ(line.RecordedMs(1500.25), 1500.25);
    (void)line.Pause(2000);
    EXPECT_DOUBLE_EQ(line.RecordedMs(9000), 2000);  // paused: the clock runs, the time not
    (void)line.Resume(5000);
    EXPECT_DOUBLE_EQ(line.RecordedMs(4000), 2000);  // a resume ahead of now adds nothing yet
    EXPECT_DOUBLE_EQ(line.RecordedMs(6000.5), 3000.5);
    // The stop keeps at most keepMs of recorded time, cut from the end.
    const auto spans = line.Spans(8000);
    EXPECT_EQ(TotalMs(spans), 5000);
    const auto kept = KeepFirstMs(spans, 3000);
    EXPECT_EQ(TotalMs(kept), 3000);
    EXPECT_EQ(kept[1].begin, 5000);
    EXPECT_EQ(kept[1].end, 6000);
    EXPECT_EQ(TotalMs(KeepFirstMs(spans, 1500)), 1500);
    EXPECT_EQ(KeepFirstMs(spans, 1500)[1].Length(), 0);
    EXPECT_EQ(TotalMs(KeepFirstMs(spans, 0)), 5000);  // 0: all of it
    EXPECT_EQ(TotalMs(KeepFirstMs(spans, 9999)), 5000);
    // Paused at the stop: the last span ends at the pause, not at the stop.
    (void)line.Pause(7000);
    EXPECT_EQ(line.Spans(12000).back().end, 7000);
    EXPECT_EQ(TotalMs(line.Spans(12000)), 4000);
}

}  // namespace
}  // namespace tqk::test
