// The recording run's statistics, cancel, follow-mouse and sound-block arithmetic; the
// pipeline's decisions for the three save modes; the region pick's clamping; the trial's
// records and report.
#include <gtest/gtest.h>

#include "pipeline_model.h"
#include "region_model.h"
#include "result_code.h"
#include "run_model.h"
#include "trial_model.h"

namespace tqk::test {
namespace {

using namespace tqk::rec;

TEST(RunModel, NumberForms) {
    const struct {
        double value;
        const char* text;
    } cases[] = {{0, "0"},      {12.0, "12"},    {12.34, "12.3"}, {12.39, "12.3"},   {0.05, "0"},
                 {0.15, "0.1"}, {99.99, "99.9"}, {100, "100"},    {1234.5, "1234.5"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(Tenths(c.value), c.text);
    }
    EXPECT_EQ(TenthsText(33), "3.3");
    EXPECT_EQ(TenthsText(1000), "100");
}

TEST(RunModel, StatisticsItemsAtTheirPlaces) {
    RunStats stats;
    for (int i = 0; i < 9; ++i) stats.AddFrame(false, 12.34);
    stats.AddFrame(true, 99);  // dropped: counted, not timed
    const auto items = StatisticsItems(10, 30, 20, 1, stats, 1999.9);
    ASSERT_EQ(items.size(), 6u);
    const struct {
        int x, y;
        const char* text;
    } want[] = {{0, -2, "Frame 10/600"},       {100, -2, "Drop 1/10"},
                {200, -2, "DropPer 10%"},      {100, 6, "Capture 12.3ms"},
                {200, 6, "CaptureAve 12.3ms"}, {0, 6, "Time 1 / 20sec"}};
    for (size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(items[i].x, want[i].x);
        EXPECT_EQ(items[i].y, want[i].y);
        EXPECT_EQ(items[i].text, want[i].text);
    }
    EXPECT_EQ(stats.droppedFrames, 1);
    EXPECT_EQ(stats.AverageMs(-1), 12);
}

TEST(RunModel, CaptureItemsOnlyWithTimedFrames) {
    RunStats stats;
    for (int i = 0; i < 10; ++i) stats.AddFrame(true, 5);
    auto items = StatisticsItems(10, 30, 2, 10, stats, 0);
    ASSERT_EQ(items.size(), 4u);  // every frame dropped: neither capture item
    EXPECT_EQ(items[2].text, "DropPer 100%");
    EXPECT_EQ(stats.AverageMs(7), 7);  // left unchanged
    // One timed frame in the whole run but none in the last block: only the average.
    stats.all.Add(3.25);
    items = StatisticsItems(20, 30, 2, 19, stats, 0);
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[3].text, "CaptureAve 3.2ms");
    EXPECT_EQ(items[2].text, "DropPer 95%");
    // 1 of 30 dropped: int(33.3) / 10
    EXPECT_EQ(StatisticsItems(30, 30, 2, 1, RunStats{}, 0)[2].text, "DropPer 3.3%");
}

TEST(RunModel, AverageRounds) {
    RunStats s;
    s.AddFrame(false, 10.4);
    s.AddFrame(false, 10.6);
    EXPECT_EQ(s.AverageMs(0), 11);  // 10.5 rounds up
    s.AddFrame(false, 9.0);
    EXPECT_EQ(s.AverageMs(0), 10);
}

TEST(RunModel, CancelTakesEffectOnTheNextWholeSecond) {
    int32_t sec = 20;
    // Pressed in the first second at 30 fps: frames 1..29 go on, frame 30 ends with 1 second.
    for (int n = 1; n < 30; ++n) EXPECT_FALSE(CancelAtWholeSecond(true, n, 30, &sec)) << n;
    EXPECT_EQ(sec, 20);
    EXPECT_TRUE(CancelAtWholeSecond(true, 30, 30, &sec));
    EXPECT_EQ(sec, 1);
    EXPECT_TRUE(CancelAtWholeSecond(true, 75, 15, &sec));
    EXPECT_EQ(sec, 5);
    EXPECT_FALSE(CancelAtWholeSecond(false, 30, 30, &sec));
    EXPECT_TRUE(CancelAtWholeSecond(true, 7, 1, &sec));
    EXPECT_EQ(sec, 7);
}

TEST(RunModel, FollowMouseCentresAndMayLeaveTheScreen) {
    const struct {
        int cx, cy, w, h, x, y;
    } cases[] = {{500, 400, 320, 240, 340, 280},
                 {5, 3, 320, 240, -155, -117},
                 {1023, 767, 100, 51, 973, 742},
                 {0, 0, 4, 1, -2, 0}};
    for (const auto& c : cases) {
        int32_t x = 0, y = 0;
        FollowMouse(c.cx, c.cy, c.w, c.h, &x, &y);
        EXPECT_EQ(x, c.x);
        EXPECT_EQ(y, c.y);
    }
}

TEST(RunModel, SoundBlockForTheRun) {
    const struct {
        int rate, bits, ch, value;
    } sizes[] = {{44100, 16, 2, 445},
                 {8000, 8, 1, 116},
                 {11025, 8, 1, 122},
                 {48000, 16, 2, 475},
                 {96000, 32, 2, 1000}};
    for (const auto& c : sizes) {
        SCOPED_TRACE(c.rate);
        EXPECT_EQ(SoundBufferSize(c.rate, c.bits, c.ch), c.value);
    }
    CaptureSettings s;
    s.Sec = 7;
    s.SamplesPerSec = 22050;
    s.BitsPerSample = 16;
    s.Channels = 1;
    const auto b = RunSoundBlock(s, "c:\\a.wav", "c:\\a.wav.wavtemp", 123456.6);
    EXPECT_EQ(b.Code, snd::kCodeStart);
    EXPECT_EQ(b.Bits, 16);
    EXPECT_EQ(b.SamplesPerSec, 22050);
    EXPECT_EQ(b.Channels, 1);
    EXPECT_EQ(b.LengthSec, 7);
    EXPECT_EQ(b.BufferKb, 186);
    EXPECT_EQ(b.ActualStartTime, 0);
    EXPECT_EQ(b.StartTime, 123457);
    uint8_t bytes[snd::kBlockBytes];
    ASSERT_TRUE(snd::EncodeBlock(b, bytes));
    const auto back = snd::DecodeBlock(bytes);
    EXPECT_EQ(back.WavePath, "c:\\a.wav");
    EXPECT_EQ(back.ScratchPath, "c:\\a.wav.wavtemp");
    for (size_t i = snd::kOffUnused; i < snd::kBlockBytes; ++i) EXPECT_EQ(bytes[i], 0) << i;
}

TEST(RunModel, MoveByPress) {
    const auto m = MoveByPress(100, 200, 15, -30);
    EXPECT_EQ(m.left, 115);
    EXPECT_EQ(m.top, 170);
}

// The three save modes, methods and depths: what is rewritten, exported and removed.
TEST(PipelineModel, SaveModes) {
    const struct {
        const char* mode;
        bool keep;
        bool avi;
        int method, depth;
        bool normalise;
    } cases[] = {
        {"AVIとTQKを作成", true, true, 0, 32, true},  {"AVIとTQKを作成", true, true, 1, 32, false},
        {"AVIとTQKを作成", true, true, 2, 24, false}, {"AVIとTQKを作成", true, true, 1, 16, true},
        {"AVIだけ作成", false, true, 0, 32, false},   {"AVIだけ作成", false, true, 1, 16, false},
        {"TQKだけ作成", true, false, 1, 32, false},   {"TQKだけ作成", true, false, 0, 32, true},
        {"TQKだけ作成", true, false, 2, 16, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " method " + std::to_string(c.method) + " depth " +
                     std::to_string(c.depth));
        CaptureSettings s;
        s.KeepTqk = c.keep;
        s.AviPath = c.avi ? "c:\\m.avi" : "";
        s.Method = c.method;
        s.DisplayDepth = c.depth;
        EXPECT_EQ(NeedsNormalising(s), c.normalise);
        EXPECT_EQ(ShouldExport(s, 0, 0), c.avi);
        EXPECT_FALSE(ShouldExport(s, MakeResultCode(-10, 3), 0));  // a failed recording
        EXPECT_FALSE(ShouldExport(s, 0, MakeResultCode(-3, 0)));
    }
}

TEST(PipelineModel, AfterTheRewrite) {
    const int32_t cancelled = MakeResultCode(kErrCancelled, 12);
    const int32_t failed = MakeResultCode(kErrApi, 5);
    EXPECT_EQ(DecideAfterNormalise(0, true, true), AfterNormalise::Replace);
    EXPECT_EQ(DecideAfterNormalise(0, false, false), AfterNormalise::GoOn);
    EXPECT_EQ(DecideAfterNormalise(cancelled, true, true), AfterNormalise::AskCancelled);
    EXPECT_EQ(DecideAfterNormalise(cancelled, false, false), AfterNormalise::StopCancelled);
    EXPECT_EQ(DecideAfterNormalise(failed, true, true), AfterNormalise::ShowError);
    EXPECT_EQ(DecideAfterNormalise(failed, false, true), AfterNormalise::ShowError);
    EXPECT_EQ(NormaliseErrorText("X"), "TQK変換中に、\r\nX\r\nのエラーが発生しました。");
    EXPECT_EQ(NormaliseScratchPath("d:\\v\\m.TQK"), "d:\\v\\m.TQK.tmp~");
}

// Files go only after an export that ended without cancel or error.
TEST(PipelineModel, RemovalsOnlyAfterASuccessfulExport) {
    CaptureSettings aviOnly;
    aviOnly.KeepTqk = false;
    aviOnly.AviPath = "c:\\m.avi";
    aviOnly.WavePath = "c:\\m.wav";
    aviOnly.DeleteWave = true;
    const struct {
        ExportOutcome outcome;
        bool gone;
    } cases[] = {{{0, 0, false, false}, true},
                 {{-3, 0, false, false}, false},
                 {{0, -2, false, false}, false},
                 {{0, 0, true, false}, false},
                 {{0, 0, false, true}, false}};
    for (const auto& c : cases) {
        const Removals r = RemovalsAfterExport(aviOnly, c.outcome);
        EXPECT_EQ(r.tqk, c.gone);
        EXPECT_EQ(r.wave, c.gone);
    }
    CaptureSettings both = aviOnly;
    both.KeepTqk = true;
    both.DeleteWave = false;
    const Removals keep = RemovalsAfterExport(both, ExportOutcome{});
    EXPECT_FALSE(keep.tqk);
    EXPECT_FALSE(keep.wave);
    CaptureSettings tqkOnly = aviOnly;
    tqkOnly.AviPath.clear();
    tqkOnly.KeepTqk = true;
    const Removals none = RemovalsAfterExport(tqkOnly, ExportOutcome{});
    EXPECT_FALSE(none.wave);  // without an AVI the sound lives only in the WAV
}

// A rewrite cancelled and answered "はい", then an export that runs to its end: the files go
// as after any successful export. A cancel during the export still keeps them.
TEST(PipelineModel, TheRewritesCancelIsNotTheExports) {
    CaptureSettings s;
    s.KeepTqk = true;
    s.AviPath = "c:\\m.avi";
    s.WavePath = "c:\\m.wav";
    s.DeleteWave = true;
    ConversionWatch watch;
    watch.Begin(ConversionWatch::Phase::kRewrite);
    watch.Cancelled();
    EXPECT_TRUE(watch.RewriteCancelled());
    watch.Begin(ConversionWatch::Phase::kExport);
    watch.AviDone(0, false);
    watch.WaveDone(0);
    EXPECT_TRUE(watch.Export().Succeeded());
    EXPECT_TRUE(RemovalsAfterExport(s, watch.Export()).wave);

    watch.Begin(ConversionWatch::Phase::kExport);
    watch.Cancelled();
    watch.AviDone(0, false);
    EXPECT_FALSE(RemovalsAfterExport(s, watch.Export()).wave);
    // A failed merge of the sound from the export before does not stay with the next one.
    watch.Begin(ConversionWatch::Phase::kExport);
    EXPECT_TRUE(watch.Export().Succeeded());
    watch.WaveDone(-2);
    EXPECT_FALSE(watch.Export().Succeeded());
}

// The record button refuses sound paths the helper's block cannot carry: 260 ANSI bytes fit,
// 261 do not, the wave path and its scratch path alike; without sound nothing is checked.
TEST(RunModel, SoundPathsMustFitTheBlock) {
    const auto bytes = [](const std::string& p) { return p.size(); };
    CaptureSettings s;
    const struct {
        size_t wave, scratch;
        bool fits;
    } cases[] = {{252, 260, true}, {253, 261, false}, {261, 200, false}, {10, 261, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.wave << " / " << c.scratch);
        s.WavePath = std::string(c.wave, 'w');
        s.WaveScratchPath = std::string(c.scratch, 's');
        EXPECT_EQ(SoundPathsFit(s, bytes), c.fits);
        // What fits is what the block takes.
        uint8_t block[snd::kBlockBytes];
        EXPECT_EQ(snd::EncodeBlock(RunSoundBlock(s, s.WavePath, s.WaveScratchPath, 0), block),
                  c.fits);
    }
    s.WavePath.clear();
    s.WaveScratchPath = std::string(400, 's');
    EXPECT_TRUE(SoundPathsFit(s, bytes));
}

// The system's recording source is changed only for a chosen input, and put back only when
// it was changed and what was selected before is known.
TEST(RunModel, RecordingSourceIsLeftAloneUnlessChosen) {
    const struct {
        const char* name;
        int32_t choice;
        bool enabled;
        int32_t error, selected, count;
        bool select, restore;
        int32_t line, restoreLine;
    } cases[] = {
        {"標準(変更なし)", 0, true, 0, 2, 4, false, false, 0, 0},
        {"chosen", 2, true, 0, 3, 4, true, true, 1, 3},
        {"already selected", 4, true, 0, 3, 4, false, false, 3, 0},
        {"no mixer", 2, false, 0, 0, 0, false, false, 0, 0},
        {"no list", 2, true, -2, 0, 0, false, false, 0, 0},
        {"selection unknown", 2, true, 0, -1, 4, false, false, 0, 0},
        {"beyond the list", 6, true, 0, 1, 4, false, false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SourcePlan p = PlanRecordingSource(c.choice, c.enabled, c.error, c.selected, c.count);
        EXPECT_EQ(p.select, c.select);
        EXPECT_EQ(p.restore, c.restore);
        if (p.select) {
            EXPECT_EQ(p.line, c.line);
        }
        if (p.restore) {
            EXPECT_EQ(p.restoreLine, c.restoreLine);
        }
    }
    EXPECT_EQ(HeaderPatchErrorText("X"),
              "キャンセルした時点までの長さをTQKファイルに書き込めませんでした。\r\nX\r\n"
              "録画したTQKファイルはそのまま残してあります。");
}

TEST(RegionModel, Picks) {
    const int maxX = 1023, maxY = 767;
    const struct {
        PickRect r;
        RegionBoxes b;
    } cases[] = {
        {DragRect(10, 20, 110, 70), {10, 20, 104, 51}},
        {DragRect(110, 70, 10, 20), {10, 20, 104, 51}},  // bottom-right to top-left
        {DragRect(300, 300, 300, 300), {300, 300, 4, 1}},
        {FromExclusive(50, 60, 151, 160), {50, 60, 104, 100}},  // a window 101 wide
        {FromExclusive(-40, 10, 60, 50), {0, 10, 60, 40}},      // partly off the left
        {FromExclusive(900, 700, 1100, 900), {900, 700, 124, 68}},
        {FromExclusive(-300, -300, -100, -100), {0, 0, 4, 1}},  // wholly off the screen
        {FromExclusive(2000, 100, 2100, 200), {1023, 100, 4, 100}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        const RegionBoxes b = BoxesFromPick(cases[i].r, maxX, maxY);
        EXPECT_EQ(b.X, cases[i].b.X);
        EXPECT_EQ(b.Y, cases[i].b.Y);
        EXPECT_EQ(b.W, cases[i].b.W);
        EXPECT_EQ(b.H, cases[i].b.H);
    }
}

TEST(TrialModel, MarksAndLines) {
    EXPECT_EQ(ReachableFps(10), 100);
    EXPECT_EQ(ReachableFps(3), 333);
    EXPECT_EQ(ReachableFps(16), 63);  // 62.5
    const struct {
        int fps;
        const char* mark;
    } marks[] = {{20, "◎"}, {24, "◎"}, {25, "○"},  {30, "○"}, {50, "△"},
                 {60, "△"}, {99, "△"}, {100, "×"}, {101, "×"}};
    for (const auto& m : marks) EXPECT_EQ(TrialMark(m.fps, 100), m.mark) << m.fps;
    EXPECT_EQ(TrialLine(1, 0, 10, 3, 30), "○ Type 1 ... FrameTime:10msec. 100 Fps. Drop:3\r\n");
    EXPECT_EQ(TrialLine(0, MakeResultCode(-10, 1), 10, 0, 30),
              "Type 0 ... 計測失敗（エラーか全てDrop）\r\n");
    EXPECT_EQ(TrialLine(2, 0, 0, 60, 30), "Type 2 ... 計測失敗（エラーか全てDrop）\r\n");
}

TEST(TrialModel, RecordsIntoItsOwnFiles) {
    CaptureSettings s;
    s.TqkPath = "c:\\user\\movie.TQK";
    s.AviPath = "c:\\user\\movie.avi";
    s.WavePath = "c:\\user\\movie.wav";
    s.WaveScratchPath = "c:\\user\\movie.wav.wavtemp";
    s.Fps = 15;
    for (int t = 0; t < kTrialMethods; ++t) {
        const CaptureSettings r = TrialSettings(s, t, "c:\\tmp\\trial");
        EXPECT_EQ(r.Sec, 2);
        EXPECT_EQ(r.Method, t);
        EXPECT_EQ(r.Fps, 15);
        EXPECT_EQ(r.TqkPath, "c:\\tmp\\trial.TQK");
        EXPECT_EQ(r.WavePath, "c:\\tmp\\trial.wav");
        EXPECT_EQ(r.WaveScratchPath, "c:\\tmp\\trial.wav.wavtemp");
    }
    s.WavePath.clear();
    EXPECT_FALSE(TrialSettings(s, 0, "c:\\tmp\\trial").RecordsSound());
}

}  // namespace
}  // namespace tqk::test
