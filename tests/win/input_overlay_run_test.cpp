// Clicks and keys in the real recorder's movie: the two choices set through the settings
// window, a recording over a held image while presses go through the platform's input
// (SendInput, so the recorder's low-level hooks see them as a user's), and every frame read
// back with tqk: a ring around each pressed point only, gone a second later; a shortcut's box
// for its time; a plain letter nothing; with the choices off, nothing at all.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "capture_settings.h"
#include "form1_ids.h"
#include "form2_ids.h"
#include "held_screen.h"
#include "input_overlay.h"
#include "recorder_stage.h"
#include "test_files.h"
#include "tool_test_util.h"
#include "window_driver.h"

namespace tqk::test {
namespace {

namespace ids = tqk::form2_ids;
using tqk::rec::CaptureSettings;

constexpr int kW = 320, kH = 240;
constexpr int kFps = 10, kSec = 7;
constexpr POINT kLeftAt{100, 90}, kRightAt{230, 70};

std::string N(const std::wstring& s) { return std::string(s.begin(), s.end()); }

// The held image: smooth colours no ring or box colour equals.
void PatternAt(int x, int y, uint8_t* bgr) {
    bgr[0] = 128;
    bgr[1] = uint8_t(40 + y * 3 / 4);
    bgr[2] = uint8_t(30 + x / 2);
}

std::string PatternBgr() {
    std::string b(size_t(kW) * kH * 3, '\0');
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            PatternAt(x, y, reinterpret_cast<uint8_t*>(&b[(size_t(y) * kW + x) * 3]));
    return b;
}

// The image at the screen's top-left corner, in a window that never takes the focus, so
// presses on it change nothing on the screen.
class HeldImage {
public:
    HeldImage()
        : window_(L"InputOverlayHeldScreen", kW, kH, [](HDC dc) {
              static const std::string bgr = PatternBgr();
              std::vector<uint8_t> px(size_t(kW) * kH * 4);
              for (size_t i = 0; i < size_t(kW) * kH; ++i) {
                  px[i * 4] = uint8_t(bgr[i * 3]);
                  px[i * 4 + 1] = uint8_t(bgr[i * 3 + 1]);
                  px[i * 4 + 2] = uint8_t(bgr[i * 3 + 2]);
              }
              BITMAPINFO bi{};
              bi.bmiHeader.biSize = sizeof bi.bmiHeader;
              bi.bmiHeader.biWidth = kW;
              bi.bmiHeader.biHeight = -kH;
              bi.bmiHeader.biPlanes = 1;
              bi.bmiHeader.biBitCount = 32;
              SetDIBitsToDevice(dc, 0, 0, kW, kH, 0, 0, 0, kH, px.data(), &bi, DIB_RGB_COLORS);
          }) {
        // Shown once the screen holds its colours.
        uint8_t want[3];
        PatternAt(kW - 1, kH - 1, want);
        HDC screen = GetDC(nullptr);
        EXPECT_TRUE(WaitUntil(
            [&] { return GetPixel(screen, kW - 1, kH - 1) == RGB(want[2], want[1], want[0]); },
            10000));
        ReleaseDC(nullptr, screen);
    }

private:
    HeldScreen window_;
};

// Presses through the platform's input, as a user's hand would make them.
void PressButton(POINT at, bool left) {
    SetCursorPos(at.x, at.y);
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = left ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN;
    in[1].mi.dwFlags = left ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP;
    SendInput(2, in, sizeof(INPUT));
}

void PressKeys(std::initializer_list<WORD> keys) {
    std::vector<INPUT> in;
    for (WORD k : keys) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = k;
        in.push_back(i);
    }
    for (auto k = keys.end(); k != keys.begin();) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = *--k;
        i.ki.dwFlags = KEYEVENTF_KEYUP;
        in.push_back(i);
    }
    SendInput(UINT(in.size()), in.data(), sizeof(INPUT));
}

class Staged {
public:
    explicit Staged(const wchar_t* stem) : dir_(stem) {
        EXPECT_EQ(StageRecorder(dir_.Path()), L"") << "not copied";
    }
    std::wstring File(const std::wstring& name) const { return dir_.Path() + name; }
    std::string FileA(const std::string& name) const { return N(dir_.Path()) + name; }

private:
    TempFolder dir_;
};

struct Recorder {
    ChildProcess process;
    HWND form2 = nullptr;
    bool Start(const Staged& s) {
        if (!process.Start(s.File(L"TaviroRec.exe"))) return false;
        form2 = WaitForWindow(process.Id(), L"TaviroRecForm2", nullptr, 20000);
        return form2 != nullptr;
    }
    HWND Item(int id) const { return Child(form2, id); }
    ~Recorder() {
        if (form2) PostMessageW(form2, WM_CLOSE, 0, 0);
        if (process.Handle() && !process.WaitExit(10000)) process.Kill();
    }
};

// Where each frame differs from the held image.
struct FrameDiff {
    std::vector<std::pair<int, int>> at;  // x, y
};

bool InRing(int x, int y, POINT c) {
    const int dx = x - c.x, dy = y - c.y, d2 = dx * dx + dy * dy;
    return d2 >= overlay::kRingInner * overlay::kRingInner &&
           d2 <= overlay::kRingOuter * overlay::kRingOuter;
}

// The key boxes' band at the bottom of the frame.
int BoxTop() {
    const int k = overlay::FontScale(kH);
    return kH - 4 * k - (7 * k + 6 * k);
}

struct Movie {
    std::string raw;
    int frames = 0;
    const uint8_t* Pixel(int f, int x, int y) const {
        return reinterpret_cast<const uint8_t*>(raw.data()) + size_t(f) * kW * kH * 3 +
               (size_t(y) * kW + x) * 3;
    }
};

Movie ReadMovie(const std::wstring& path) {
    const tooltest::ToolRun r = tooltest::Tqk({"raw", N(path)});
    EXPECT_EQ(r.code, 0) << r.err;
    Movie m;
    m.raw = r.out;
    m.frames = int(m.raw.size() / (size_t(kW) * kH * 3));
    return m;
}

std::vector<FrameDiff> Diffs(const Movie& m) {
    const std::string ref = PatternBgr();
    std::vector<FrameDiff> d(size_t(m.frames));
    for (int f = 0; f < m.frames; ++f)
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                if (std::memcmp(m.Pixel(f, x, y), &ref[(size_t(y) * kW + x) * 3], 3) != 0)
                    d[size_t(f)].at.push_back({x, y});
    return d;
}

// The frames in which pred holds for some differing pixel: one unbroken run (or none).
std::vector<int> RunOf(const std::vector<FrameDiff>& d, const std::function<bool(int, int)>& pred) {
    std::vector<int> frames;
    for (size_t f = 0; f < d.size(); ++f)
        for (auto [x, y] : d[f].at)
            if (pred(x, y)) {
                frames.push_back(int(f));
                break;
            }
    for (size_t i = 1; i < frames.size(); ++i)
        EXPECT_EQ(frames[i], frames[i - 1] + 1) << "shown again after it had gone";
    return frames;
}

void ExpectRingRun(const Movie& m, const std::vector<FrameDiff>& d, POINT at, Rgb colour) {
    const std::vector<int> run = RunOf(d, [&](int x, int y) { return InRing(x, y, at); });
    ASSERT_FALSE(run.empty()) << "no ring at " << at.x << "," << at.y;
    // About half a second: 5 frames at 10 fps, one more for a press between two frames.
    EXPECT_GE(run.size(), 4u);
    EXPECT_LE(run.size(), 6u);
    // Its first frame: the whole ring in the button's colour.
    for (int y = at.y - overlay::kRingOuter; y <= at.y + overlay::kRingOuter; ++y)
        for (int x = at.x - overlay::kRingOuter; x <= at.x + overlay::kRingOuter; ++x) {
            if (!InRing(x, y, at)) continue;
            const uint8_t* p = m.Pixel(run.front(), x, y);
            ASSERT_TRUE(p[2] == colour.r && p[1] == colour.g && p[0] == colour.b)
                << "frame " << run.front() << " at " << x << "," << y;
        }
}

void Shot(const Movie& m, int frame, const std::string& name) {
    const char* dir = getenv("TAVIRO_SHOT_DIR");
    if (!dir || frame < 0 || frame >= m.frames) return;
    TempFolder tmp(L"overlay_shot");
    const std::wstring raw = tmp.Path() + L"frame.bgr";
    ASSERT_TRUE(WriteBytes(raw, m.raw.substr(size_t(frame) * kW * kH * 3, size_t(kW) * kH * 3)));
    RunUnixCommand("ffmpeg -v error -y -f rawvideo -pixel_format bgr24 -video_size " +
                       std::to_string(kW) + "x" + std::to_string(kH) + " -i '" + UnixPath(raw) +
                       "' '" + std::string(dir) + "/" + name + ".png'",
                   30000);
}

// A recording of 7 seconds while the presses are made: the left and the right button at their
// points, Ctrl+C, then the plain letter A while Ctrl+C's box is still shown.
Movie RecordWithPresses(int method, bool clicks, bool keys, const char* stem, bool cursor = false) {
    HeldImage held;
    Staged stage(std::wstring(stem, stem + strlen(stem)).c_str());
    CaptureSettings s =
        RecordAtTopLeft(kW, kH, method, kFps, kSec, stage.FileA("movie.TQK"), false);
    s.AviPath.clear();
    s.FollowMouse = false;
    s.PriorityClass = 0;
    s.DrawMouse = cursor;
    EXPECT_TRUE(WriteStartRecord(stage.File(L""), s));
    Recorder r;
    EXPECT_TRUE(r.Start(stage));
    if (!r.form2) return {};
    // The two choices through the settings window: kept in their own file, shown in the
    // capture information.
    EXPECT_TRUE(SetChecked(r.Item(ids::Check8), clicks));
    EXPECT_TRUE(SetChecked(r.Item(ids::Check9), keys));
    // The information follows once the click's handler has written the file.
    const std::wstring clicksLine = clicks ? L"クリックの表示 Yes" : L"クリックの表示 No";
    const std::wstring keysLine = keys ? L"キー入力の表示 Yes" : L"キー入力の表示 No";
    EXPECT_TRUE(WaitUntil(
        [&] {
            const std::wstring info = Text(r.Item(ids::Picture2));
            return info.find(clicksLine) != std::wstring::npos &&
                   info.find(keysLine) != std::wstring::npos;
        },
        5000))
        << N(Text(r.Item(ids::Picture2)));
    if (clicks || keys) {
        EXPECT_EQ(ReadBytes(stage.File(L"TVRInput.ini")).value_or(""),
                  std::string("[Show]\r\nClicks=") + (clicks ? "1" : "0") +
                      "\r\nKeys=" + (keys ? "1" : "0") + "\r\n");
    }

    Click(r.Item(ids::Command5));
    HWND form1 = WaitForWindow(r.process.Id(), form1_ids::kClassName, nullptr, 10000);
    EXPECT_NE(form1, nullptr);
    if (!form1) return {};
    // Recording for a second (the statistics replace the waiting text after 10 frames).
    HWND area = Child(form1, form1_ids::Picture1);
    EXPECT_TRUE(WaitUntil(
        [&] {
            const std::wstring t = Text(area);
            return !t.empty() && t.find(L"Please wait") == std::wstring::npos;
        },
        15000));
    PressButton(kLeftAt, true);
    Sleep(1000);  // the presses a second apart, so each ring has faded before the next
    PressButton(kRightAt, false);
    Sleep(1000);
    PressKeys({VK_CONTROL, 'C'});
    Sleep(500);
    PressKeys({'A'});
    SetCursorPos(kW + 200, kH + 200);
    EXPECT_TRUE(IsWindowVisible(form1)) << "the recording ended before the presses";
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(r.form2) != FALSE; }, 60000));
    return ReadMovie(stage.File(L"movie.TQK"));
}

class InputOverlayRun : public ::testing::TestWithParam<int> {};

TEST_P(InputOverlayRun, RingsAroundThePressesAndTheShortcutsBoxOnlyThenTheScreenAgain) {
    const int method = GetParam();
    const Movie m = RecordWithPresses(method, true, true, "overlay_on");
    ASSERT_EQ(m.frames, kSec * kFps);
    const std::vector<FrameDiff> d = Diffs(m);
    // Nothing differs anywhere but in the two rings and the box band.
    for (size_t f = 0; f < d.size(); ++f)
        for (auto [x, y] : d[f].at)
            ASSERT_TRUE(InRing(x, y, kLeftAt) || InRing(x, y, kRightAt) || y >= BoxTop())
                << "frame " << f << " differs at " << x << "," << y;
    ExpectRingRun(m, d, kLeftAt, overlay::kLeftColour);
    ExpectRingRun(m, d, kRightAt, overlay::kRightColour);

    // The box: once, for about a second and a half, white text on it, the same in every frame
    // (the letter A pressed meanwhile added nothing).
    const std::vector<int> box = RunOf(d, [](int, int y) { return y >= BoxTop(); });
    ASSERT_FALSE(box.empty()) << "no key box";
    EXPECT_GE(box.size(), 14u);
    EXPECT_LE(box.size(), 16u);
    int white = 0;
    for (auto [x, y] : d[size_t(box.front())].at) {
        const uint8_t* p = m.Pixel(box.front(), x, y);
        white += p[0] == 255 && p[1] == 255 && p[2] == 255;
    }
    EXPECT_GT(white, 100);
    for (int f : box) {
        std::vector<std::pair<int, int>> band, first;
        for (auto xy : d[size_t(f)].at)
            if (xy.second >= BoxTop()) band.push_back(xy);
        for (auto xy : d[size_t(box.front())].at)
            if (xy.second >= BoxTop()) first.push_back(xy);
        EXPECT_EQ(band, first) << "frame " << f;
        for (auto [x, y] : band)
            ASSERT_EQ(std::memcmp(m.Pixel(f, x, y), m.Pixel(box.front(), x, y), 3), 0);
    }
    // The last second equals the screen.
    for (int f = m.frames - kFps; f < m.frames; ++f)
        EXPECT_TRUE(d[size_t(f)].at.empty()) << "frame " << f;
    if (method == 1) {
        const std::vector<int> ring = RunOf(d, [](int x, int y) { return InRing(x, y, kLeftAt); });
        Shot(m, ring.front(), "overlay_left_ring");
        Shot(m, box.front(), "overlay_key_box");
    }
}

INSTANTIATE_TEST_SUITE_P(Methods, InputOverlayRun, ::testing::Values(0, 1, 2),
                         [](const auto& i) { return "Type" + std::to_string(i.param); });

TEST(InputOverlayRunOff, TheSamePressesChangeNothing) {
    const Movie m = RecordWithPresses(1, false, false, "overlay_off");
    ASSERT_EQ(m.frames, kSec * kFps);
    const std::vector<FrameDiff> d = Diffs(m);
    for (size_t f = 0; f < d.size(); ++f) EXPECT_TRUE(d[f].at.empty()) << "frame " << f;
}

// With the cursor drawn it lies on the pressed point, and the ring is drawn over it.
TEST(InputOverlayRunCursor, TheRingIsWholeOverTheCursor) {
    const Movie m = RecordWithPresses(1, true, false, "overlay_cursor", true);
    ASSERT_EQ(m.frames, kSec * kFps);
    const std::vector<FrameDiff> d = Diffs(m);
    // The first frame with the whole left ring: the cursor's arrow is drawn from the pressed
    // point down to the right, across the ring, and no pixel of the ring is lost to it.
    int whole = -1;
    for (int f = 0; f < m.frames && whole < 0; ++f) {
        bool all = true;
        for (int y = kLeftAt.y - overlay::kRingOuter; all && y <= kLeftAt.y + overlay::kRingOuter;
             ++y)
            for (int x = kLeftAt.x - overlay::kRingOuter;
                 all && x <= kLeftAt.x + overlay::kRingOuter; ++x) {
                if (!InRing(x, y, kLeftAt)) continue;
                const uint8_t* p = m.Pixel(f, x, y);
                all = p[2] == overlay::kLeftColour.r && p[1] == overlay::kLeftColour.g &&
                      p[0] == overlay::kLeftColour.b;
            }
        if (all) whole = f;
    }
    ASSERT_GE(whole, 0) << "no frame shows the whole ring";
    // The cursor is in that frame: pixels inside the ring differ from the screen.
    int inside = 0;
    for (auto [x, y] : d[size_t(whole)].at)
        inside += (x - kLeftAt.x) * (x - kLeftAt.x) + (y - kLeftAt.y) * (y - kLeftAt.y) <
                  overlay::kRingInner * overlay::kRingInner;
    EXPECT_GT(inside, 10) << "no cursor drawn at the pressed point";
    Shot(m, whole, "overlay_ring_over_cursor");
}

}  // namespace
}  // namespace tqk::test
