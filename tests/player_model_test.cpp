// The player window's portable logic: the command-line path, names beside a movie, status
// and bar texts, geometry, the sound clock and the play/pause/fast-forward/open/close steps.
#include "player_model.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tqk::test {
namespace {

using namespace tqk::player;

TEST(PlayerPaths, CommandTail) {
    struct Case {
        const wchar_t* tail;
        const wchar_t* path;
    } cases[] = {
        {L"", L""},
        {L"   ", L""},
        {L"C:\\a.TQK", L"C:\\a.TQK"},
        {L"\"C:\\My Movies\\a.TQK\"", L"C:\\My Movies\\a.TQK"},
        {L"  \"C:\\テスト フォルダ\\動画 1.TQK\"  ", L"C:\\テスト フォルダ\\動画 1.TQK"},
        {L"\t\"C:\\a.TQK\" \r\n", L"C:\\a.TQK"},
        {L"\"C:\\a b.TQK", L"C:\\a b.TQK"},        // the shell cut the closing quote
        {L"\" C:\\a.TQK \"", L"C:\\a.TQK"},        // blanks inside the quotes
        {L"C:\\a \"b\".TQK", L"C:\\a \"b\".TQK"},  // quotes inside are kept
        {L"C:\\a.TQK\"", L"C:\\a.TQK\""},          // not a surrounding pair
        {L"\"\"", L""},
        {L"\"", L""},
        {L"\"\"C:\\a.TQK\"\"", L"\"C:\\a.TQK\""},            // one pair only
        {L"C:\\My Movies\\a.TQK", L"C:\\My Movies\\a.TQK"},  // unquoted blanks kept
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(PathFromCommandTail(c.tail), c.path);
    }
}

TEST(PlayerPaths, NamesBesideTheMovie) {
    struct Case {
        const wchar_t *movie, *wav, *avi;
    } cases[] = {
        {L"C:\\m\\a.TQK", L"C:\\m\\a.wav", L"C:\\m\\a.avi"},
        {L"C:\\m.v2\\take", L"C:\\m.v2\\take.wav", L"C:\\m.v2\\take.avi"},
        {L"C:\\m\\a.b.TqK", L"C:\\m\\a.b.wav", L"C:\\m\\a.b.avi"},
        {L"動画.TQK", L"動画.wav", L"動画.avi"},
        {L"C:\\表\\ソ.TQK", L"C:\\表\\ソ.wav", L"C:\\表\\ソ.avi"},
        {L"C:\\dir\\", L"C:\\dir\\.wav", L"C:\\dir\\.avi"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(SoundFileOf(c.movie), c.wav);
        EXPECT_EQ(AviFileOf(c.movie), c.avi);
    }
}

TEST(PlayerTexts, StatusLine) {
    EXPECT_EQ(StatusText(640, 480, 16, 10, 30, 1), L"640x480 16bit 10fps 30sec Type1");
    EXPECT_EQ(StatusText(1920, 1080, 32, 60, 3600, 2), L"1920x1080 32bit 60fps 3600sec Type2");
    EXPECT_EQ(StatusText(0, 0, 0, 0, 0, 0), L"-- No File --");
    EXPECT_EQ(StatusText(640, 0, 16, 10, 30, 1), L"-- No File --");
    EXPECT_EQ(StatusText(-1, 480, 16, 10, 30, 1), L"-- No File --");
}

TEST(PlayerTexts, Bar) {
    struct Case {
        int32_t now, total, fps;
        int length;
        const wchar_t *frame, *time;
    } cases[] = {
        {0, 30, 10, 6, L"1/30", L"00:00"},     // 6.2 pixels
        {14, 30, 10, 93, L"15/30", L"00:02"},  // 1.5 s rounds up
        {29, 30, 10, 186, L"30/30", L"00:03"},
        {0, 4, 1, 47, L"1/4", L"00:01"},  // 46.5 rounds up
        {5999, 6000, 10, 186, L"6000/6000", L"10:00"},
        {36599, 36600, 10, 186, L"36600/36600", L"01:00"},  // hours are not shown
        {0, 0, 10, 0, L"1/0", L"00:00"},                    // no frames: an empty bar
        {40, 30, 10, 186, L"41/30", L"00:04"},              // never past the area
        {3, 30, 0, 25, L"4/30", L"00:00"},                  // no rate: no time
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "frame " << c.now << " of " << c.total);
        const BarView v = ComputeBar(c.now, c.total, c.fps);
        EXPECT_EQ(v.barLength, c.length);
        EXPECT_EQ(v.frameText, c.frame);
        EXPECT_EQ(v.timeText, c.time);
    }
}

TEST(PlayerGeometry, SizeFit) {
    const Size panel{330, 74}, nonClient{10, 52};
    struct Case {
        int32_t w, h;
        Rect picture;
        Size client;
    } cases[] = {
        {0, 0, {83, 0, 164, 124}, {330, 198}},  // no file: 160 x 120, centred
        {640, 480, {2, 0, 644, 484}, {648, 558}},
        {-5, 480, {83, 0, 164, 124}, {330, 198}},
        {320, 16, {3, 0, 324, 20}, {330, 94}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        const Fit f = SizeFit(c.w, c.h, panel, nonClient);
        EXPECT_EQ(f.picture1.x, c.picture.x);
        EXPECT_EQ(f.picture1.y, 0);
        EXPECT_EQ(f.picture1.width, c.picture.width);
        EXPECT_EQ(f.picture1.height, c.picture.height);
        EXPECT_EQ(f.client.width, c.client.width);
        EXPECT_EQ(f.client.height, c.client.height);
        EXPECT_EQ(f.window.width, c.client.width + nonClient.width);
        EXPECT_EQ(f.window.height, c.client.height + nonClient.height);
        EXPECT_EQ(f.frame1Top, c.client.height - panel.height);
    }
    EXPECT_EQ(CaptionWidth(656, 112), 544);
    EXPECT_EQ(CaptionWidth(100, 112), 0);
}

// A sound device whose position steps by stepMs, reported late by latencyMs, running at
// rate x the performance clock, started at startMs.
struct FakeDevice {
    double startMs, rate, stepMs, latencyMs;
    double TruePosition(double now) const { return std::max(0.0, (now - startMs) * rate); }
    double Reported(double now) const {
        const double p = std::max(0.0, TruePosition(now) - latencyMs);
        return std::floor(p / stepMs) * stepMs;
    }
};

TEST(PlayerSoundClock, FollowsASkewedSteppedDeviceForTenMinutes) {
    struct Case {
        double rate, step, pollMs;
    } cases[] = {
        {0.999, 333, 100},   // a slow device, coarse steps, 10 fps polls
        {1.002, 333, 16.7},  // a fast one at 60 fps
        {1.0, 1, 33.3},      // a fine-grained one
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "rate " << c.rate << " step " << c.step);
        const FakeDevice dev{1000, c.rate, c.step, 0};
        SoundClock clock;
        double worst = 0;
        bool valid = false;
        for (double now = 1000; now < 1000 + 600000; now += c.pollMs) {
            clock.Observe(now, dev.Reported(now));
            if (now > 1000 + 5000) {
                ASSERT_TRUE(clock.Valid(now));
                valid = true;
                worst = std::max(worst, std::fabs(clock.PositionAt(now) - dev.TruePosition(now)));
            }
        }
        EXPECT_TRUE(valid);
        // Within one poll (one frame), whatever the device's own steps.
        EXPECT_LE(worst, c.pollMs + 3);
    }
}

TEST(PlayerSoundClock, NotValidBeforeAMoveAfterAStallOrAfterReset) {
    SoundClock clock;
    clock.Observe(0, 0);
    clock.Observe(500, 0);
    EXPECT_FALSE(clock.Valid(500));  // a device that never started
    clock.Observe(600, 333);
    EXPECT_TRUE(clock.Valid(600));
    EXPECT_NEAR(clock.PositionAt(700), 433, 1e-9);
    clock.Observe(1000, 333);
    EXPECT_TRUE(clock.Valid(2000));
    EXPECT_FALSE(clock.Valid(2200));  // the sound ended: no move for 1.6 s
    clock.Observe(3000, 100);         // sought back: starts again
    EXPECT_FALSE(clock.Valid(3000));
    clock.Reset();
    EXPECT_FALSE(clock.Valid(3000));
}

bool Has(const Steps& s, Do what) {
    for (const Step& x : s)
        if (x.what == what) return true;
    return false;
}
Steps Click(PlayerModel& m, int index, bool checked, double now = 0, bool* handled = nullptr) {
    Steps s;
    const bool h = m.Check1_Click(index, checked, now, &s);
    if (handled) *handled = h;
    return s;
}

PlayerModel OpenMovie(int32_t fps = 10, bool sound = true) {
    PlayerModel m;
    m.Opened(true, fps);
    m.SoundOpened(sound);
    return m;
}

TEST(PlayerStates, NoMovieButtonsDoNothing) {
    PlayerModel m;
    for (int i = 0; i < 3; ++i) {
        bool handled = true;
        const Steps s = Click(m, i, true, 0, &handled);
        EXPECT_FALSE(handled);
        EXPECT_EQ(s, (Steps{{Do::FocusPicture}}));
    }
    EXPECT_EQ(m.Timer1(false, false), (Steps{{Do::Timer1Off}}));
    EXPECT_FALSE(m.Playing());
}

TEST(PlayerStates, PlayPauseResumeFastForwardStop) {
    PlayerModel m = OpenMovie(10);
    EXPECT_EQ(Click(m, 0, true), (Steps{{Do::Timer1On}, {Do::FocusPicture}}));
    EXPECT_EQ(m.Timer1(false, false), (Steps{{Do::Timer1Off}, {Do::SoundPlay}, {Do::StartPlay}}));
    EXPECT_TRUE(m.Playing());
    // The first frame's schedule starts when it is ready; later frames keep the schedule.
    EXPECT_EQ(m.DrawBefore(1234), (Steps{{Do::SetStartT, 1234}}));
    EXPECT_TRUE(m.DrawBefore(1300).empty());

    double drawTime = 5;
    bool cancel = true;
    // The first picture's slot counts from its showing.
    EXPECT_EQ(m.Drawing(0, 100, 1250, -1, 1234, &drawTime, &cancel),
              (Steps{{Do::SetStartT, 1250}}));
    EXPECT_TRUE(m.Drawing(19, 100, 3000, -1, 0, &drawTime, &cancel).empty());
    EXPECT_EQ(drawTime, 0);  // the player waits itself
    EXPECT_FALSE(cancel);

    EXPECT_EQ(Click(m, 1, true), (Steps{{Do::SoundStop}, {Do::FocusPicture}}));
    EXPECT_TRUE(m.HoldFrame(19, 3100, 0));
    EXPECT_TRUE(m.HoldFrame(19, 90000, 0));
    // Resuming counts frame 20 as on time: start = now - 19 frames.
    EXPECT_EQ(Click(m, 1, false, 9000),
              (Steps{{Do::SoundPlay}, {Do::SetStartT, 9000 - 1900}, {Do::FocusPicture}}));
    EXPECT_TRUE(m.HoldFrame(19, 9000, 9000 - 1900));  // frame 19 keeps its slot
    EXPECT_FALSE(m.HoldFrame(19, 9100, 9000 - 1900));

    EXPECT_EQ(Click(m, 2, true), (Steps{{Do::SoundStop}, {Do::FocusPicture}}));
    drawTime = 5;
    EXPECT_EQ(m.Drawing(25, 100, 9100, -1, 0, &drawTime, &cancel), (Steps{{Do::SoundSeek, 2500}}));
    EXPECT_EQ(drawTime, 0);
    EXPECT_EQ(Click(m, 2, false, 9200),
              (Steps{{Do::SoundPlay}, {Do::SetStartT, 9200 - 2500}, {Do::FocusPicture}}));

    EXPECT_EQ(Click(m, 0, false), (Steps{{Do::FocusPicture}}));
    EXPECT_TRUE(m.CancelRequested());
    m.Drawing(26, 100, 9300, -1, 0, &drawTime, &cancel);
    EXPECT_TRUE(cancel);
    EXPECT_EQ(
        m.PlayEnded(),
        (Steps{{Do::SoundStop}, {Do::SoundSeek, 0}, {Do::ReleaseButtons}, {Do::ShowFrame, 0}}));
    EXPECT_FALSE(m.Playing() || m.Paused() || m.FastForward() || m.CancelRequested() ||
                 m.UpdatingButtons());
}

TEST(PlayerStates, IdleTogglesSendNoSound) {
    PlayerModel m = OpenMovie();
    for (int i : {1, 2}) {
        EXPECT_EQ(Click(m, i, true), (Steps{{Do::FocusPicture}}));
        EXPECT_EQ(Click(m, i, false), (Steps{{Do::FocusPicture}}));
    }
    // Pause held down before the play: the play starts paused and silent.
    Click(m, 1, true);
    EXPECT_EQ(m.Timer1(true, false), (Steps{{Do::Timer1Off}, {Do::StartPlay}}));
    EXPECT_TRUE(m.HoldFrame(0, 0, 0));
    EXPECT_TRUE(Has(Click(m, 1, false), Do::SoundPlay));
}

TEST(PlayerStates, StopBeforeThePlayTimerFired) {
    PlayerModel m = OpenMovie();
    Click(m, 0, true);
    EXPECT_TRUE(Has(Click(m, 0, false), Do::Timer1Off));
}

TEST(PlayerStates, UpdatingButtonsIgnoresClicks) {
    PlayerModel m = OpenMovie();
    m.SetUpdatingButtons(true);
    bool handled = true;
    Click(m, 0, true, 0, &handled);
    EXPECT_FALSE(handled);
    EXPECT_FALSE(m.Paused());
}

TEST(PlayerStates, DeferredOpenWaitsForThePlayToEnd) {
    PlayerModel m = OpenMovie();
    Click(m, 0, true);
    m.Timer1(false, false);
    Click(m, 1, true);  // paused: the hold must still end for the new file
    EXPECT_EQ(m.RequestOpen(L"C:\\b.TQK"), (Steps{{Do::Timer2On}}));
    EXPECT_TRUE(m.Timer2().empty());
    EXPECT_TRUE(m.CancelRequested());
    EXPECT_FALSE(m.HoldFrame(3, 0, 0));
    m.PlayEnded();
    EXPECT_EQ(m.Timer2(), (Steps{{Do::Timer2Off},
                                 {Do::CloseMovie},
                                 {Do::SoundClose},
                                 {Do::OpenPending},
                                 {Do::CheckPlay}}));
    EXPECT_EQ(m.PendingFile(), L"C:\\b.TQK");
    EXPECT_FALSE(m.HasMovie());

    PlayerModel idle;
    EXPECT_EQ(idle.Timer2(), (Steps{{Do::Timer2Off}}));  // nothing pending
}

TEST(PlayerStates, CloseDuringPlay) {
    PlayerModel m = OpenMovie();
    Click(m, 0, true);
    m.Timer1(false, false);
    Click(m, 1, true);
    Steps s;
    EXPECT_FALSE(m.QueryUnload(&s));
    EXPECT_EQ(s, (Steps{{Do::Timer3On}}));
    EXPECT_TRUE(m.CancelRequested());
    EXPECT_FALSE(m.Paused());
    EXPECT_TRUE(m.Timer3().empty());
    m.PlayEnded();
    EXPECT_EQ(m.Timer3(), (Steps{{Do::Timer3Off}, {Do::SoundClose}, {Do::Unload}}));
    s.clear();
    EXPECT_TRUE(m.QueryUnload(&s));
    EXPECT_TRUE(s.empty());
}

TEST(PlayerStates, PicturesFollowTheSound) {
    PlayerModel m = OpenMovie(10);
    Click(m, 0, true);
    m.Timer1(false, false);
    double drawTime = 7;
    bool cancel = false;
    // The first report is where the sound starts; until it moves the schedule paces.
    EXPECT_EQ(m.Drawing(0, 100, 1000, 0, 1000, &drawTime, &cancel), (Steps{{Do::SetStartT, 1000}}));
    EXPECT_EQ(drawTime, 0);
    EXPECT_TRUE(m.HoldFrame(0, 1099, 1000));
    EXPECT_FALSE(m.HoldFrame(0, 1100, 1000));
    // The sound stepped to 333 ms at 1400: it is at 400 ms now. Frame 2 is behind it; the
    // engine's schedule moves so the frames before 400 ms are late.
    const Steps s = m.Drawing(2, 100, 1400, 333, 1067, &drawTime, &cancel);
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].what, Do::SetStartT);
    EXPECT_NEAR(s[0].value, 1400 - 333, 1e-9);
    EXPECT_EQ(drawTime, 0);
    EXPECT_FALSE(m.HoldFrame(2, 1400, 0));  // behind: no wait
    EXPECT_TRUE(m.HoldFrame(5, 1400, 0));   // frame 6 is due at 600 ms of sound
    EXPECT_FALSE(m.HoldFrame(5, 1400 - 333 + 600, 0));
    // A device that counts what it was handed (its first report is 667 ms ahead) and starts
    // 1300 ms late, as a busy machine's sound may: the pictures run on the schedule until it
    // moves, then wait for it, so picture and sound go on together instead of 1300 ms apart.
    PlayerModel late = OpenMovie(10);
    Click(late, 0, true);
    late.Timer1(false, false);
    late.Drawing(0, 100, 1000, 667, 1000, &drawTime, &cancel);
    EXPECT_TRUE(late.Drawing(12, 100, 2300, 667, 1000, &drawTime, &cancel).empty());
    const Steps caught = late.Drawing(13, 100, 2633, 667 + 333, 1000, &drawTime, &cancel);
    ASSERT_EQ(caught.size(), 1u);
    EXPECT_NEAR(caught[0].value, 2633 - 333, 1e-9);
    EXPECT_TRUE(late.HoldFrame(13, 2700, 0));  // frame 14 is due at 1400 ms of sound
    // 10 s on, the device has fallen 100 ms behind the performance clock: so do the pictures.
    // (The reports before them have aged out of the clock's window.)
    late.Drawing(90, 100, 12633, 1000 + 10000 - 100, 1000, &drawTime, &cancel);
    const Steps slower = late.Drawing(91, 100, 12733, 1000 + 10000, 1000, &drawTime, &cancel);
    ASSERT_EQ(slower.size(), 1u);
    EXPECT_NEAR(slower[0].value, 2633 - 333 + 100, 1.0);
    // Whether the first read still sees the position at the call or already the jump to what
    // the device was handed is chance: both plays end up with the same pictures.
    for (const bool sawTheCall : {false, true}) {
        SCOPED_TRACE(sawTheCall ? "first read before the jump" : "first read after it");
        PlayerModel p = OpenMovie(10);
        Click(p, 0, true);
        p.Timer1(false, false);
        p.SoundStarted(995, 0);
        if (sawTheCall) p.Drawing(0, 100, 1000, 0, 1000, &drawTime, &cancel);
        p.ObserveSound(1000, 667, 1000);
        const Steps moved = p.Drawing(4, 100, 1400, 1000, 1000, &drawTime, &cancel);
        ASSERT_FALSE(moved.empty());
        EXPECT_EQ(moved.back().what, Do::SetStartT);
        EXPECT_NEAR(moved.back().value, 1400 - 333, 1e-9);
    }
    // A device that stays where the play began is taken as starting there, once it has had
    // the time to jump: it then holds the pictures until it moves.
    PlayerModel still = OpenMovie(10);
    Click(still, 0, true);
    still.Timer1(false, false);
    still.SoundStarted(995, 0);
    still.Drawing(0, 100, 1000, 0, 1000, &drawTime, &cancel);
    still.ObserveSound(995 + PlayerModel::kStartReportMs + 1, 0, 1000);
    const Steps started = still.Drawing(13, 100, 2300, 333, 1000, &drawTime, &cancel);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_NEAR(started[0].value, 2300 - 333, 1e-9);
    // No sound file: the engine's schedule alone, kept by the player's wait.
    PlayerModel silent = OpenMovie(10, false);
    Click(silent, 0, true);
    EXPECT_EQ(silent.Timer1(false, false),
              (Steps{{Do::Timer1Off}, {Do::SoundPlay}, {Do::StartPlay}}));
    drawTime = 7;
    EXPECT_EQ(silent.Drawing(0, 100, 1000, 0, 1000, &drawTime, &cancel),
              (Steps{{Do::SetStartT, 1000}}));
    EXPECT_TRUE(silent.Drawing(4, 100, 1400, 333, 1000, &drawTime, &cancel).empty());
    EXPECT_EQ(drawTime, 0);
    EXPECT_TRUE(silent.HoldFrame(4, 1400, 1000));
    EXPECT_FALSE(silent.HoldFrame(4, 1500, 1000));
    // Fast forward: no wait at all.
    Click(silent, 2, true);
    EXPECT_FALSE(silent.HoldFrame(4, 1400, 1000));
}

// Without a sound clock a play of a fast movie keeps its schedule: each wait ends on the
// frame's own due time, whatever the sleeps overran, so no frame turns late by the sum of
// the overruns (the engine's own waits count from the end of the previous one).
TEST(PlayerStates, OwnWaitKeepsTheScheduleOfALongPlay) {
    PlayerModel m = OpenMovie(60, false);
    Click(m, 0, true);
    m.Timer1(false, false);
    const double startT = 5000, slot = 1000.0 / 60;
    double now = startT;
    int late = 0;
    for (int32_t i = 0; i < 60 * 60; ++i) {
        if ((i + 1) * slot <= now - startT) ++late;  // the engine's late test
        now += 3;                                    // reading, unpacking, drawing
        double drawTime = 3;
        bool cancel = false;
        m.Drawing(i, 60 * 60, now, -1, startT, &drawTime, &cancel);
        ASSERT_EQ(drawTime, 0);
        while (m.HoldFrame(i, now, startT)) now += m.HoldSleepMs(i, now, startT) > 0 ? 1.3 : 0.01;
    }
    EXPECT_EQ(late, 0);
    EXPECT_NEAR(now - startT, 60 * 1000.0, 2);  // a minute's movie took a minute
}

// A device starved for a moment resumes behind its old reports: the pictures wait for it
// instead of running on by the old reports until they age out, and go on with it after.
TEST(PlayerSoundClock, StallHoldsThePictures) {
    SoundClock clock;
    double now = 0, pos = 0;
    auto report = [&](double at, double p) { clock.Observe(at, p); };
    report(0, 0);
    for (int i = 1; i <= 10; ++i) report(now = 333 * i, pos = 333 * i);  // steady
    EXPECT_NEAR(clock.PositionAt(now), pos, 1e-9);
    // The sound stops for 800 ms: the position is never taken beyond the next step.
    EXPECT_NEAR(clock.PositionAt(now + 800), pos + 333, 1e-9);
    // It resumes 800 ms late; after a few steps the new reports are believed.
    now += 800;
    for (int i = 0; i < SoundClock::kLateReports; ++i, now += 333) report(now, pos += 333);
    now -= 333;
    EXPECT_NEAR(clock.PositionAt(now), pos, 1e-9);
    EXPECT_NEAR(clock.PositionAt(now + 100), pos + 100, 1e-9);
    // One late report alone (a busy moment of the poll, not of the sound) changes nothing.
    report(now + 333 + 90, pos + 333);
    EXPECT_NEAR(clock.PositionAt(now + 333 + 90), pos + 333 + 90, 1e-9);
}

}  // namespace
}  // namespace tqk::test

namespace tqk::test {
namespace {

using namespace tqk::player;

TEST(PlayerSeek, BarPointsAndMarksAtEveryLength) {
    // Every pixel of the bar leads to the frame whose bar reaches it, and back.
    for (const int32_t total : {1, 7, 30, 186, 300, 1000, 108000}) {
        SCOPED_TRACE(total);
        EXPECT_EQ(FrameAtBar(-5, kBarMaxLength, total), 0);
        EXPECT_EQ(FrameAtBar(0, kBarMaxLength, total), 0);
        EXPECT_EQ(FrameAtBar(kBarMaxLength - 1, kBarMaxLength, total), total - 1);
        EXPECT_EQ(FrameAtBar(kBarMaxLength + 20, kBarMaxLength, total), total - 1);
        int32_t last = 0;
        for (int x = 1; x < kBarMaxLength; ++x) {
            const int32_t f = FrameAtBar(x, kBarMaxLength, total);
            // In order, and no frame passed over while there are pixels for all of them.
            EXPECT_GE(f, last);
            if (total <= kBarMaxLength) EXPECT_LE(f, last + 1);
            last = f;
            // The bar drawn for that frame ends within a pixel or so of the point.
            if (total >= kBarMaxLength) EXPECT_NEAR(ComputeBar(f, total, 30).barLength, x, 2);
        }
        EXPECT_EQ(MarkX(0, false, kBarMaxLength, total), 0);
        EXPECT_EQ(MarkX(total - 1, true, kBarMaxLength, total), kBarMaxLength);
        EXPECT_EQ(MarkX(total - 1, true, kBarMaxLength, total),
                  ComputeBar(total - 1, total, 30).barLength);
    }
}

TEST(PlayerSeek, KeysStayInsideTheMovie) {
    struct Case {
        SeekKey key;
        int32_t at, total, fps, to;
    } cases[] = {
        {SeekKey::Left, 5, 100, 10, 4},        {SeekKey::Left, 0, 100, 10, 0},
        {SeekKey::Right, 5, 100, 10, 6},       {SeekKey::Right, 99, 100, 10, 99},
        {SeekKey::Home, 50, 100, 10, 0},       {SeekKey::End, 5, 100, 10, 99},
        {SeekKey::PageDown, 5, 1000, 30, 305}, {SeekKey::PageDown, 900, 1000, 30, 999},
        {SeekKey::PageUp, 305, 1000, 30, 5},   {SeekKey::PageUp, 299, 1000, 30, 0},
        {SeekKey::PageDown, 0, 0, 30, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.key) << " from " << c.at);
        EXPECT_EQ(FrameForKey(c.key, c.at, c.total, c.fps), c.to);
    }
}

TEST(PlayerSeek, StoppedSeekShowsTheFrameAndMovesTheSoundAndThePlayStartsThere) {
    PlayerModel m;
    m.Opened(true, 10, 300);
    m.SoundOpened(true);
    EXPECT_EQ(m.SeekTo(123), (Steps{{Do::ShowFrame, 123}, {Do::SoundSeek, 12300}}));
    EXPECT_EQ(m.Position(), 123);
    EXPECT_EQ(m.SeekTo(1000), (Steps{{Do::ShowFrame, 299}, {Do::SoundSeek, 29900}}));
    EXPECT_EQ(m.Key(SeekKey::PageUp), (Steps{{Do::ShowFrame, 199}, {Do::SoundSeek, 19900}}));
    const Steps play = m.Timer1(false, false);
    EXPECT_EQ(play, (Steps{{Do::Timer1Off}, {Do::SoundPlayFrom, 19900}, {Do::StartPlay}}));
    EXPECT_EQ(m.Position(), 199);
    // The first frame of this play is frame 199: its schedule is frame 199's.
    EXPECT_EQ(m.DrawBefore(5000), (Steps{{Do::SetStartT, 5000 - 19900}}));
    double drawTime = 1;
    bool cancel = false;
    m.Drawing(199, 300, 5001, -1, 5000 - 19900, &drawTime, &cancel);
    m.Drawing(200, 300, 5101, -1, 5000 - 19900, &drawTime, &cancel);
    EXPECT_EQ(m.Position(), 200);
    // A play that ends by itself rewinds to the first frame and shows it.
    EXPECT_TRUE(Has(m.PlayEnded(), Do::ShowFrame));
    EXPECT_EQ(m.Position(), 0);
    // At the last frame, play starts from the beginning.
    m.SeekTo(299);
    const Steps again = m.Timer1(false, false);
    EXPECT_TRUE(Has(again, Do::SoundSeek));
    EXPECT_EQ(m.Position(), 0);
}

TEST(PlayerSeek, SeekWhilePlayingRestartsThereAfterTheDrag) {
    PlayerModel m;
    m.Opened(true, 30, 900);
    m.SoundOpened(true);
    m.Timer1(false, false);
    double drawTime = 1;
    bool cancel = false;
    m.Drawing(40, 900, 1400, -1, 0, &drawTime, &cancel);
    m.DragStarted();
    EXPECT_EQ(m.SeekTo(600), (Steps{{Do::ShowFrame, 600}}));
    EXPECT_TRUE(m.SeekPending());
    EXPECT_EQ(m.SeekTo(610), (Steps{{Do::ShowFrame, 610}}));
    m.Drawing(41, 900, 1433, -1, 0, &drawTime, &cancel);
    EXPECT_TRUE(cancel);
    EXPECT_EQ(m.Position(), 610);  // the engine's last frames do not move it
    // The play ended for the seek: sound and picture at frame 610, going on once released.
    EXPECT_EQ(m.PlayEnded(),
              (Steps{{Do::SoundStop}, {Do::SoundSeek, 20333}, {Do::ShowFrame, 610}}));
    EXPECT_FALSE(m.Playing());
    EXPECT_EQ(m.DragEnded(), (Steps{{Do::Timer1On}}));
    EXPECT_EQ(m.DragEnded(), Steps{});
    const Steps play = m.Timer1(false, false);
    // The device is told where to play from.
    EXPECT_EQ(play, (Steps{{Do::Timer1Off}, {Do::SoundPlayFrom, 20333}, {Do::StartPlay}}));
    EXPECT_EQ(m.Position(), 610);
    // Without a drag (a key) the play goes on at once.
    m.Drawing(610, 900, 2000, -1, 0, &drawTime, &cancel);
    EXPECT_EQ(m.Key(SeekKey::PageDown), (Steps{{Do::ShowFrame, 899}}));
    const Steps ended = m.PlayEnded();
    EXPECT_TRUE(Has(ended, Do::Timer1On));
    EXPECT_FALSE(Has(ended, Do::ReleaseButtons));
}

TEST(PlayerSeek, StepKeysPauseAPlayFirstAndStopForgetsTheSeek) {
    PlayerModel m;
    m.Opened(true, 10, 100);
    m.Timer1(false, false);
    double drawTime = 1;
    bool cancel = false;
    m.Drawing(20, 100, 2000, -1, 0, &drawTime, &cancel);
    EXPECT_EQ(m.Key(SeekKey::Right), (Steps{{Do::CheckPause, 1}, {Do::ShowFrame, 21}}));
    Steps out;
    m.Check1_Click(1, true, 2100, &out);  // what CheckPause does
    EXPECT_TRUE(m.Paused());
    EXPECT_EQ(m.Key(SeekKey::Left), (Steps{{Do::ShowFrame, 20}}));  // already paused
    // Stop: the play ends and rewinds instead of going on from the seek.
    m.Check1_Click(0, false, 2200, &out);
    const Steps ended = m.PlayEnded();
    EXPECT_FALSE(Has(ended, Do::Timer1On));
    EXPECT_EQ(m.Position(), 0);
}

TEST(PlayerSeek, MarksMakeASpan) {
    PlayerModel m;
    m.MarkIn();
    EXPECT_FALSE(m.HasSpan());  // no movie
    m.Opened(true, 30, 900);
    m.SeekTo(90);
    m.MarkIn();
    EXPECT_TRUE(m.HasSpan());
    EXPECT_EQ(m.MarkedSpan(), (Span{90, 900}));
    m.SeekTo(299);
    m.MarkOut();
    EXPECT_EQ(m.MarkedSpan(), (Span{90, 300}));
    EXPECT_DOUBLE_EQ(SpanFromSeconds(m.MarkedSpan(), 30), 3.0);
    EXPECT_DOUBLE_EQ(SpanToSeconds(m.MarkedSpan(), 30), 10.0);
    EXPECT_EQ(MarksText(90, 299, 30), L"範囲 00:03～00:10");
    // A start after the end drops the end, and the reverse.
    m.SeekTo(400);
    m.MarkIn();
    EXPECT_EQ(m.MarkOutFrame(), -1);
    EXPECT_EQ(m.MarkedSpan(), (Span{400, 900}));
    m.SeekTo(10);
    m.MarkOut();
    EXPECT_EQ(m.MarkInFrame(), -1);
    EXPECT_EQ(m.MarkedSpan(), (Span{0, 11}));
    EXPECT_EQ(MarksText(-1, 10, 30), L"範囲 ～00:00");
    m.ClearMarks();
    EXPECT_FALSE(m.HasSpan());
    EXPECT_EQ(MarksText(-1, -1, 30), L"");
    // Another movie starts without marks.
    m.SeekTo(5);
    m.MarkIn();
    m.Opened(true, 30, 900);
    EXPECT_FALSE(m.HasSpan());
}

}  // namespace
}  // namespace tqk::test
