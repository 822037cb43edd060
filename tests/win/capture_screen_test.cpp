// Capture of the real display: a window paints a known, changing pattern and every decoded
// frame must equal what the screen showed; cursor drawing, black fill off the screen,
// CaptureX moves and the slot schedule.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "capture.h"
#include "engine_test_util.h"
#include "tqk_to_tqk.h"

namespace tqk::test {
namespace {

constexpr int32_t kW = 64, kH = 48;

// After each slot paints the next phase and takes the screen's own pixels of it.
class PatternDriver : public CaptureEvents {
public:
    PatternDriver(PatternWindow* win, int32_t bits) : win_(win), bits_(bits) {}
    std::vector<Bytes> expected;
    std::vector<bool> drops;
    bool shown = true;
    void Begin() {
        shown = win_->Show(0);
        expected.push_back(GrabScreen(win_->X(), win_->Y(), kW, kH, bits_));
    }
    void OnCapture(int32_t now, double, int32_t, bool IsDrop, int32_t, int32_t, int32_t&, int32_t&,
                   bool&) override {
        drops.push_back(IsDrop);
        shown = win_->Show(now + 1) && shown;
        expected.push_back(GrabScreen(win_->X(), win_->Y(), kW, kH, bits_));
    }

private:
    PatternWindow* win_;
    int32_t bits_;
};

// Checks decoded frames against the screen: a captured slot shows its own phase, a dropped
// one repeats the frame before.
void ExpectFramesMatch(const std::vector<Bytes>& frames, const PatternDriver& d, size_t bytes) {
    ASSERT_EQ(frames.size() + 1, d.expected.size());
    for (size_t k = 0; k < frames.size(); ++k) {
        SCOPED_TRACE(testing::Message() << "frame " << k);
        ASSERT_GE(frames[k].size(), bytes);
        const Bytes got(frames[k].begin(), frames[k].begin() + bytes);
        if (d.drops[k]) {
            ASSERT_GT(k, 0u);
            EXPECT_EQ(frames[k], frames[k - 1]);
        } else {
            EXPECT_TRUE(got == d.expected[k]) << "differs from the screen";
        }
    }
}

class Rewriter : public CaptureEvents {
public:
    TQKtoTQK* src;
    int32_t errors = 0;
    void OnUserCaptureSetBitmapInfo(int32_t& bits) override { bits = 24; }
    void OnUserCaptureSetDATA(uint8_t* out, int32_t size) override {
        std::vector<uint8_t> frame;
        bool end = false;
        if (src->GetNextTQK(frame, end) != 0 || frame.size() != size_t(size)) {
            ++errors;
            return;
        }
        std::memcpy(out, frame.data(), frame.size());
    }
};

TEST(CaptureScreen, EveryMethodRecordsWhatTheScreenShows) {
    TempDir dir;
    PatternWindow win(940, 700, kW, kH);
    const int32_t depth = ScreenDepth();
    for (int32_t method = 0; method <= 2; ++method) {
        for (bool mapped : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << "method " << method << " mapped " << mapped << " depth " << depth);
            PatternDriver driver(&win, depth);
            Capture cp(&driver);
            cp.Init(win.X(), win.Y(), kW, kH);
            cp.Init_Capture(5, 1, method, 0, 0, 1);
            driver.Begin();
            const std::wstring path = dir.File(L"m.TQK");
            ASSERT_EQ(cp.Rec(path, 0, false, nullptr, 0, mapped), 0);
            EXPECT_TRUE(driver.shown);
            Collector col;
            Capture player(&col);
            ASSERT_EQ(player.Play(path, nullptr, nullptr, 0, 0, true), 0);
            ExpectFramesMatch(col.frames, driver, size_t(kW) * kH * depth / 8);

            if (method != 0 || mapped) continue;
            // The Type0 movie rewritten as a 24-bit Type1 movie through the frame source.
            TQKtoTQK src;
            ASSERT_EQ(src.Init(path, 24), 0);
            Rewriter rw;
            rw.src = &src;
            Capture re(&rw);
            re.Init(0, 0, kW, kH);
            re.Init_Capture(5, 1, 1, 0, 0, 1);
            const std::wstring out = dir.File(L"r.TQK");
            ASSERT_EQ(re.Rec1(out, 0, true), 0);
            src.CloseDD();
            EXPECT_EQ(rw.errors, 0);
            EXPECT_EQ(re.BitCo(), depth);
            Collector col24;
            Capture p24(&col24);
            ASSERT_EQ(p24.Play(out, nullptr, nullptr, 0, 0, true), 0);
            ASSERT_EQ(col24.frames.size(), col.frames.size());
            for (size_t k = 0; k < col24.frames.size(); ++k) {
                SCOPED_TRACE(testing::Message() << "rewritten frame " << k);
                ASSERT_EQ(col24.frames[k].size(), size_t(kW) * kH * 3);
                if (depth >= 24 && !driver.drops[k]) {
                    // At 32 bits the screen's own 24-bit reading is exact.
                    win.Show(int32_t(k));
                    EXPECT_TRUE(col24.frames[k] == GrabScreen(win.X(), win.Y(), kW, kH, 24));
                }
            }
            // And equals the Type0 frames converted by the platform.
            TQKtoTQK again;
            ASSERT_EQ(again.Init(path, 24), 0);
            for (size_t k = 0; k < col24.frames.size(); ++k) {
                std::vector<uint8_t> f;
                bool end = false;
                ASSERT_EQ(again.GetNextTQK(f, end), 0);
                EXPECT_TRUE(f == col24.frames[k]) << k;
            }
        }
    }
}

// Frames of a one-slot Type1 recording at 32 bits with the cursor.
Bytes RecordOne(Capture& cp, const TempDir& dir, bool cursor) {
    cp.Init_Capture(10, 1, 1, 0, 0, 1, cursor);
    const std::wstring path = dir.File(L"cur.TQK");
    EXPECT_EQ(cp.Rec1(path), 0);
    Collector col;
    Capture player(&col);
    EXPECT_EQ(player.Play(path, nullptr, nullptr, 0, 0, true), 0);
    return col.frames.empty() ? Bytes() : col.frames[0];
}

struct Box {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
    bool Empty() const { return x1 < 0; }
};
// Bounding box (top-down coordinates) of the pixels that differ between two frames.
Box DiffBox(const Bytes& a, const Bytes& b, int w, int h, int bpp) {
    Box box;
    for (int row = 0; row < h; ++row)
        for (int i = 0; i < w; ++i) {
            const size_t at = (size_t(row) * w + i) * bpp;
            if (std::memcmp(&a[at], &b[at], 3) == 0) continue;
            const int j = h - 1 - row;
            box.x0 = std::min(box.x0, i), box.x1 = std::max(box.x1, i);
            box.y0 = std::min(box.y0, j), box.y1 = std::max(box.y1, j);
        }
    return box;
}

// The desktop's cursor is shared with every other program on it: a recording counts only
// when the cursor was ours and stood still from before to after it.
bool CursorIsOurs(HCURSOR want, POINT at) {
    CURSORINFO ci = {};
    ci.cbSize = sizeof ci;
    return GetCursorInfo(&ci) && ci.hCursor == want && ci.ptScreenPos.x == at.x &&
           ci.ptScreenPos.y == at.y && (ci.flags & CURSOR_SHOWING);
}

TEST(CaptureScreen, CursorSitsOnItsHotSpotAndHiddenCursorIsLeftOut) {
    TempDir dir;
    // Where the pointer really is: some displays put it back after a warp, so the window
    // goes to the pointer rather than the other way round.
    SetCursorPos(900, 600);
    PumpFor(200);
    POINT pos;
    GetCursorPos(&pos);
    const int32_t wx = std::max<int32_t>(0, std::min<int32_t>(pos.x - 32, 1024 - kW));
    const int32_t wy = std::max<int32_t>(0, std::min<int32_t>(pos.y - 24, 768 - kH));
    PatternWindow win(wx, wy, kW, kH);
    ASSERT_TRUE(win.Show(3));
    const int32_t depth = ScreenDepth();
    const int bpp = depth / 8;
    HCURSOR cross = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_CROSS));
    ICONINFO ii = {};
    ASSERT_TRUE(GetIconInfo(cross, &ii));
    if (ii.hbmMask) DeleteObject(ii.hbmMask);
    if (ii.hbmColor) DeleteObject(ii.hbmColor);
    for (bool infoRoute : {true, false}) {
        SCOPED_TRACE(infoRoute ? "cursor information" : "thread cursor");
        Capture cp;
        cp.SetCursorInfoAvailable(infoRoute);
        cp.Init(win.X(), win.Y(), kW, kH);
        const Bytes plain = RecordOne(cp, dir, false);
        Bytes withCursor;
        bool undisturbed = false;
        for (int attempt = 0; attempt < 10 && !undisturbed; ++attempt) {
            // The global cursor is the foreground thread's: make the test window the
            // foreground one.
            SetForegroundWindow(win.Handle());
            SetCursor(cross);
            PumpFor(50);
            SetCursor(cross);
            GetCursorPos(&pos);
            if (!CursorIsOurs(cross, pos)) continue;
            withCursor = RecordOne(cp, dir, true);
            undisturbed = CursorIsOurs(cross, pos);
        }
        // The test holds the desktop's lock: a cursor taken ten times over is a fault to see,
        // not a reason to pass unchecked.
        ASSERT_TRUE(undisturbed) << "another program keeps taking the desktop's cursor";
        ASSERT_EQ(plain.size(), size_t(kW) * kH * bpp);
        ASSERT_EQ(withCursor.size(), plain.size());
        const Box box = DiffBox(plain, withCursor, kW, kH, bpp);
        ASSERT_FALSE(box.Empty()) << "no cursor drawn";
        const int ox = pos.x - win.X() - int(ii.xHotspot), oy = pos.y - win.Y() - int(ii.yHotspot);
        EXPECT_GE(box.x0, ox);
        EXPECT_GE(box.y0, oy);
        EXPECT_LT(box.x1, ox + 32);
        EXPECT_LT(box.y1, oy + 32);
        if (ii.xHotspot > 2 && ii.yHotspot > 2) {
            // The image reaches left of and above the cursor position.
            EXPECT_LT(box.x0, pos.x - win.X());
            EXPECT_LT(box.y0, pos.y - win.Y());
        }
    }
    {
        // A cursor whose image the program cannot draw (another process's, under some
        // platforms; here one destroyed after it was set) is shown as the standard arrow.
        // The thread's own cursor route, so no other program's cursor gets in the way.
        SCOPED_TRACE("arrow fallback");
        Capture cp;
        cp.SetCursorInfoAvailable(false);
        cp.Init(win.X(), win.Y(), kW, kH);
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
        const Bytes arrow = RecordOne(cp, dir, true);
        uint8_t andBits[128], xorBits[128];
        std::memset(andBits, 0x00, sizeof andBits);
        std::memset(xorBits, 0xFF, sizeof xorBits);
        HCURSOR gone = CreateCursor(GetModuleHandleW(nullptr), 5, 5, 32, 32, andBits, xorBits);
        ASSERT_NE(gone, nullptr);
        SetCursor(gone);
        DestroyCursor(gone);
        HDC probe = CreateCompatibleDC(nullptr);
        const bool drawable = DrawIcon(probe, 0, 0, GetCursor()) != 0;
        DeleteDC(probe);
        ASSERT_FALSE(drawable) << "the destroyed cursor can still be drawn";
        const Bytes fallback = RecordOne(cp, dir, true);
        SetCursor(cross);
        ASSERT_FALSE(DiffBox(RecordOne(cp, dir, false), arrow, kW, kH, bpp).Empty());
        EXPECT_EQ(fallback, arrow);
    }
    // Hidden: nothing is drawn, by either route.
    int count = ShowCursor(FALSE);
    while (count >= 0) count = ShowCursor(FALSE);
    CURSORINFO ci = {};
    ci.cbSize = sizeof ci;
    GetCursorInfo(&ci);
    const bool globalHidden = !(ci.flags & CURSOR_SHOWING);
    for (bool infoRoute : {false, true}) {
        SCOPED_TRACE(infoRoute ? "hidden, cursor information" : "hidden, thread cursor");
        Capture cp;
        cp.SetCursorInfoAvailable(infoRoute);
        cp.Init(win.X(), win.Y(), kW, kH);
        SetCursor(cross);
        const Bytes plain = RecordOne(cp, dir, false);
        const Bytes hidden = RecordOne(cp, dir, true);
        // The global information is the desktop's: another program may show the cursor.
        if (!infoRoute || globalHidden) {
            EXPECT_TRUE(DiffBox(plain, hidden, kW, kH, bpp).Empty());
        }
    }
    while (ShowCursor(TRUE) < 0) {
    }
    EXPECT_TRUE(globalHidden) << "another program shows the cursor: the hidden cursor's "
                                 "global route was not checked";
}

bool ColumnsBlack(const Bytes& frame, int w, int h, int bpp, int from, int to) {
    for (int row = 0; row < h; ++row)
        for (int i = from; i < to; ++i)
            for (int c = 0; c < std::min(bpp, 3); ++c)
                if (frame[(size_t(row) * w + i) * bpp + c] != 0) return false;
    return true;
}

class MoveLeft : public CaptureEvents {
public:
    void OnCapture(int32_t now, double, int32_t, bool, int32_t, int32_t, int32_t& cx, int32_t&,
                   bool&) override {
        if (now == 0) cx = -50;
    }
};

TEST(CaptureScreen, OffScreenPartsAreBlack) {
    TempDir dir;
    const int32_t screenW = GetSystemMetrics(SM_CXSCREEN);
    const int32_t depth = ScreenDepth();
    const int bpp = depth / 8;
    PatternWindow edge(screenW - 40, 560, 40, kH);
    ASSERT_TRUE(edge.Show(5));
    for (int32_t method = 0; method <= 2; ++method) {
        SCOPED_TRACE(testing::Message() << "method " << method);
        Capture cp;
        cp.Init(screenW - 40, 560, kW, kH);
        cp.Init_Capture(10, 1, method, 0, 0, 1);
        const std::wstring path = dir.File(L"edge.TQK");
        ASSERT_EQ(cp.Rec1(path), 0);
        Collector col;
        Capture player(&col);
        ASSERT_EQ(player.Play(path, nullptr, nullptr, 0, 0, true), 0);
        ASSERT_FALSE(col.frames.empty());
        const Bytes& f = col.frames[0];
        EXPECT_TRUE(ColumnsBlack(f, kW, kH, bpp, 40, kW));
        EXPECT_FALSE(ColumnsBlack(f, kW, kH, bpp, 0, 40));
    }
    // CaptureX moved to -50 after the first slot: the next frame's 50 left columns are black.
    PatternWindow left(0, 690, kW, kH);
    ASSERT_TRUE(left.Show(7));
    MoveLeft mover;
    Capture cp(&mover);
    cp.Init(0, 690, kW, kH);
    cp.Init_Capture(5, 1, 1, 0, 0, 1);
    const std::wstring path = dir.File(L"left.TQK");
    ASSERT_EQ(cp.Rec1(path), 0);
    EXPECT_EQ(cp.x(), -50);
    Collector col;
    Capture player(&col);
    ASSERT_EQ(player.Play(path, nullptr, nullptr, 0, 0, true), 0);
    ASSERT_GE(col.frames.size(), 2u);
    EXPECT_FALSE(ColumnsBlack(col.frames[0], kW, kH, bpp, 0, 50));
    EXPECT_TRUE(ColumnsBlack(col.frames[1], kW, kH, bpp, 0, 50));
    EXPECT_FALSE(ColumnsBlack(col.frames[1], kW, kH, bpp, 50, kW));
}

// Holds slot 0's Capture event for a while: the slots whose windows close meanwhile drop.
class SlowFirstSlot : public CaptureEvents {
public:
    DWORD hold = 0;
    std::vector<bool> drops;
    std::vector<int32_t> dropCounts;
    void OnCapture(int32_t now, double, int32_t dropCount, bool IsDrop, int32_t, int32_t, int32_t&,
                   int32_t&, bool&) override {
        drops.push_back(IsDrop);
        dropCounts.push_back(dropCount);
        if (now == 0) Sleep(hold);
    }
};

TEST(CaptureScreen, LateSlotsAreDroppedOnSchedule) {
    TempDir dir;
    // 5 fps: slot k's window closes at (k + 1) x 200 ms. Slot 0's wait ends at 200 ms; held
    // 450 ms, slot 1 (decided by then) runs at 650 ms, so slot 2 (closing at 600) drops and
    // slot 3 (closing at 800) is captured: 150 ms of margin either way. Held 650 ms, slots 2
    // and 3 drop.
    struct Case {
        DWORD hold;
        std::vector<bool> drops;
    } cases[] = {
        {450, {false, false, true, false, false}},
        {650, {false, false, true, true, false}},
    };
    for (const Case& c : cases) {
        for (bool mapped : {false, true}) {
            SCOPED_TRACE(testing::Message() << "hold " << c.hold << " mapped " << mapped);
            SlowFirstSlot slow;
            slow.hold = c.hold;
            Capture cp(&slow);
            cp.Init(0, 0, 32, 16);
            cp.Init_Capture(5, 1, 1, 0, 0, 1);
            const std::wstring path = dir.File(L"drop.TQK");
            const double wait = PerfMillis() + 200;
            int32_t first = 0;
            ASSERT_EQ(cp.Rec(path, 0, false, &first, wait, mapped), 0);
            EXPECT_GE(double(first), wait - 0.5);
            EXPECT_EQ(slow.drops, c.drops);
            // A still frame packs like a dropped one, so the file shows only the count.
            EXPECT_EQ(ParseLayout(ReadAll(path)).packedSizes.size(), 5u);
            EXPECT_EQ(slow.dropCounts.back(),
                      int32_t(std::count(c.drops.begin(), c.drops.end(), true)));
            EXPECT_EQ(cp.LastTimings().dropped, slow.dropCounts.back());
        }
    }
}

}  // namespace
}  // namespace tqk::test
