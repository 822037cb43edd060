// Recordings that pause: frames handed over and frames of the real screen, through both
// writers. The movie holds the recorded slots only, nothing grabbed or handed over while
// paused reaches it, the slots after a resume are paced from the resume moment, and a
// cancel while paused leaves the movie cut back to its last whole second.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

#include "capture.h"
#include "engine_test_util.h"
#include "tool_test_util.h"

namespace tqk::test {
namespace {

// Hands over a different frame in every slot and pauses after the slots in `pauseAfter`,
// each pause lasting at least `pauseMs`; cancels in the pause after slot `cancelIn`.
class PausingFeeder : public CaptureEvents {
public:
    std::set<int32_t> pauseAfter;
    int32_t cancelIn = -1;
    double pauseMs = 250;

    std::vector<Bytes> given;
    std::vector<double> givenAt;  // PerfMillis of each hand-over
    std::vector<double> pausedAt, resumeAt;
    std::vector<double> pauseBegan;  // when each pause was taken (first OnPaused)
    std::vector<double> resumedAt;   // when each Resume was answered
    int32_t handedWhilePaused = 0, capturesWhilePaused = 0, pausedCalls = 0;

    void OnUserCaptureSetBitmapInfo(int32_t& bits) override { bits = 32; }
    void OnUserCaptureSetDATA(uint8_t* out, int32_t size) override {
        if (paused_) ++handedWhilePaused;
        Bytes f(static_cast<size_t>(size), 0);
        std::mt19937 rng(uint32_t(given.size()) * 7919u);
        for (size_t i = 0; i < f.size(); i += 4) f[i] = uint8_t(given.size() * 3 + i / 256);
        for (int n = 0; n < 16; ++n) f[rng() % f.size()] = uint8_t(rng());
        std::memcpy(out, f.data(), f.size());
        given.push_back(std::move(f));
        givenAt.push_back(PerfMillis());
    }
    void OnCapture(int32_t now, double, int32_t, bool, int32_t, int32_t, int32_t&, int32_t&,
                   bool&) override {
        if (paused_) ++capturesWhilePaused;
        last_ = now;
    }
    bool OnPauseWanted() override {
        paused_ = pauseAfter.count(last_) != 0;
        began_ = false;
        return paused_;
    }
    void OnPaused(double at, bool& resume, bool& cancel) override {
        ++pausedCalls;
        const double now = PerfMillis();
        if (!began_) {
            began_ = true;
            pausedAt.push_back(at);
            pauseBegan.push_back(now);
        }
        if (now - pauseBegan.back() < pauseMs) return;
        if (last_ == cancelIn) {
            cancel = true;
        } else {
            resume = true;
            resumedAt.push_back(now);
        }
    }
    void OnResume(double at) override {
        paused_ = false;
        resumeAt.push_back(at);
    }

private:
    bool paused_ = false;
    bool began_ = false;
    int32_t last_ = -1;
};

std::vector<Bytes> Decode(const std::wstring& path) {
    Collector col;
    Capture player(&col);
    EXPECT_EQ(player.Play(path, nullptr, nullptr, 0, 0, true), 0);
    return col.frames;
}

std::string Utf8(const std::wstring& w) { return std::filesystem::path(w).u8string(); }

TEST(CapturePause, TwoPausesKeepOnlyTheRecordedSlotsPacedFromEachResume) {
    TempDir dir;
    for (bool mapped : {false, true}) {
        SCOPED_TRACE(testing::Message() << "mapped " << mapped);
        PausingFeeder feeder;
        feeder.pauseAfter = {9, 29};
        Capture cp(&feeder);
        cp.Init(0, 0, 32, 16);
        cp.Init_Capture(20, 3, 1);
        const std::wstring path = dir.File(mapped ? L"mapped.TQK" : L"sequential.TQK");
        int32_t first = 0;
        ASSERT_EQ(cp.Rec(path, 0, true, &first, 0, mapped), 0);

        // Exactly the 60 slots of 3 seconds, every one the frame handed over for it.
        EXPECT_EQ(feeder.given.size(), 60u);
        EXPECT_EQ(feeder.handedWhilePaused, 0);
        EXPECT_EQ(feeder.capturesWhilePaused, 0);
        const Layout l = ParseLayout(ReadAll(path));
        EXPECT_EQ(l.packedSizes.size(), 60u);
        EXPECT_TRUE(l.endsBehindLast);
        EXPECT_EQ(l.header.sec, 3);
        const std::vector<Bytes> frames = Decode(path);
        ASSERT_EQ(frames.size(), feeder.given.size());
        for (size_t k = 0; k < frames.size(); ++k) ASSERT_TRUE(frames[k] == feeder.given[k]) << k;

        // Recorded time stopped at the close of slot 9's window, then of slot 29's on the
        // schedule that began at the first resume; the next slots came at the resume moments.
        ASSERT_EQ(feeder.pausedAt.size(), 2u);
        ASSERT_EQ(feeder.resumeAt.size(), 2u);
        EXPECT_NEAR(feeder.pausedAt[0], first + 10 * 50.0, 0.5);
        EXPECT_NEAR(feeder.pausedAt[1], feeder.resumeAt[0] + 20 * 50.0, 1e-6);
        for (size_t i = 0; i < 2; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(feeder.resumeAt[i], double(int64_t(feeder.resumeAt[i])));
            EXPECT_GE(feeder.resumeAt[i], feeder.resumedAt[i] + 50);
            EXPECT_GE(feeder.resumedAt[i] - feeder.pauseBegan[i], feeder.pauseMs);
            const size_t next = i == 0 ? 10 : 30;
            EXPECT_GE(feeder.givenAt[next], feeder.resumeAt[i]);
            // The slot after the next is due one slot later, whenever the next one ran.
            EXPECT_GE(feeder.givenAt[next + 1], feeder.resumeAt[i] + 50);
        }
        EXPECT_GE(feeder.pausedCalls, 4);
    }
}

TEST(CapturePause, CancelWhilePausedCutsBackToTheLastWholeSecond) {
    TempDir dir;
    struct Case {
        std::set<int32_t> pauses;
        int32_t cancelIn;
        int32_t kept;
    } cases[] = {
        {{24}, 24, 20},      // 2.5 s recorded: 2 s kept
        {{12, 34}, 34, 30},  // the second pause: 3.5 s recorded across a pause
        {{6}, 6, 0},         // less than a second: nothing whole
        {{29}, 29, 30},      // on a whole second: everything
    };
    for (bool mapped : {false, true})
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "mapped " << mapped << " cancel " << c.cancelIn);
            PausingFeeder feeder;
            feeder.pauseAfter = c.pauses;
            feeder.cancelIn = c.cancelIn;
            feeder.pauseMs = 60;
            Capture cp(&feeder);
            cp.Init(0, 0, 32, 16);
            cp.Init_Capture(10, 5, 1);
            const std::wstring path = dir.File(L"cancel.TQK");
            WriteAll(path, Bytes(300000, 7));  // an older, longer file
            ASSERT_EQ(cp.Rec(path, 0, true, nullptr, 0, mapped), MakeResultCode(-7, c.kept));
            const Bytes file = ReadAll(path);
            const Layout l = ParseLayout(file);
            EXPECT_EQ(l.packedSizes.size(), size_t(c.kept));
            EXPECT_TRUE(l.endsBehindLast);
            if (c.kept == 0) {
                EXPECT_EQ(file.size(), size_t(kHeaderBytes));
                continue;
            }
            // What the caller does after any cancel: the header's seconds become the kept ones.
            cp.SetTVRFileData(path, 0, 0, 0, 0, c.kept / 10);
            const tooltest::ToolRun v = tooltest::Tqk({"verify", Utf8(path)});
            EXPECT_EQ(v.code, 0) << v.err;
            EXPECT_EQ(v.out, "ok: " + std::to_string(c.kept) + " frames\n");
            const std::vector<Bytes> frames = Decode(path);
            ASSERT_EQ(frames.size(), size_t(c.kept));
            for (size_t k = 0; k < frames.size(); ++k)
                ASSERT_TRUE(frames[k] == feeder.given[k]) << k;
        }
}

// The real screen: a window shows one phase per slot; while paused it shows other pictures,
// which no frame of the movie may show.
constexpr int32_t kW = 64, kH = 48;

class ScreenPauser : public CaptureEvents {
public:
    ScreenPauser(PatternWindow* win, int32_t bits) : win_(win), bits_(bits) {}
    std::vector<Bytes> expected;  // the screen each slot should have grabbed
    std::vector<Bytes> pausedScreens;
    std::vector<bool> drops;
    bool shown = true;
    int32_t capturesWhilePaused = 0;

    void Begin() { Grab(0); }
    void OnCapture(int32_t now, double, int32_t, bool IsDrop, int32_t, int32_t, int32_t&, int32_t&,
                   bool&) override {
        if (paused_) ++capturesWhilePaused;
        drops.push_back(IsDrop);
        last_ = now;
        Grab(now + 1);
    }
    bool OnPauseWanted() override {
        paused_ = last_ == 3 || last_ == 7;
        pauseBegan_ = -1;
        return paused_;
    }
    void OnPaused(double, bool& resume, bool&) override {
        if (pauseBegan_ < 0) {
            // The paused screen: shown until well after the last slot's time, then the next
            // slot's phase again before the resume.
            pauseBegan_ = PerfMillis();
            shown = win_->Show(100 + last_) && shown;
            pausedScreens.push_back(GrabScreen(win_->X(), win_->Y(), kW, kH, bits_));
            return;
        }
        if (PerfMillis() - pauseBegan_ < 400) return;
        shown = win_->Show(last_ + 1) && shown;
        resume = true;
    }
    void OnResume(double) override { paused_ = false; }

private:
    void Grab(int32_t phase) {
        shown = win_->Show(phase) && shown;
        expected.push_back(GrabScreen(win_->X(), win_->Y(), kW, kH, bits_));
    }
    PatternWindow* win_;
    int32_t bits_;
    bool paused_ = false;
    int32_t last_ = -1;
    double pauseBegan_ = -1;
};

TEST(CapturePause, TheScreenShownWhilePausedNeverReachesTheMovie) {
    TempDir dir;
    PatternWindow win(880, 640, kW, kH);
    const int32_t depth = ScreenDepth();
    const size_t bytes = size_t(kW) * kH * depth / 8;
    for (bool mapped : {false, true}) {
        SCOPED_TRACE(testing::Message() << "mapped " << mapped << " depth " << depth);
        ScreenPauser driver(&win, depth);
        Capture cp(&driver);
        cp.Init(win.X(), win.Y(), kW, kH);
        cp.Init_Capture(5, 3, 1, 0, 0, 1);
        driver.Begin();
        const std::wstring path = dir.File(L"screen.TQK");
        ASSERT_EQ(cp.Rec(path, 0, false, nullptr, 0, mapped), 0);
        EXPECT_TRUE(driver.shown);
        EXPECT_EQ(driver.capturesWhilePaused, 0);
        ASSERT_EQ(driver.pausedScreens.size(), 2u);
        const Layout l = ParseLayout(ReadAll(path));
        EXPECT_EQ(l.header.sec, 3);
        EXPECT_EQ(l.packedSizes.size(), 15u);
        const std::vector<Bytes> frames = Decode(path);
        ASSERT_EQ(frames.size(), 15u);
        ASSERT_EQ(driver.expected.size(), 16u);
        for (size_t k = 0; k < frames.size(); ++k) {
            SCOPED_TRACE(testing::Message() << "frame " << k);
            ASSERT_GE(frames[k].size(), bytes);
            const Bytes got(frames[k].begin(), frames[k].begin() + bytes);
            for (const Bytes& p : driver.pausedScreens) EXPECT_FALSE(got == p);
            if (driver.drops[k]) {
                ASSERT_GT(k, 0u);
                EXPECT_EQ(frames[k], frames[k - 1]);
            } else {
                EXPECT_TRUE(got == driver.expected[k]) << "differs from the screen";
            }
        }
    }
}

}  // namespace
}  // namespace tqk::test
