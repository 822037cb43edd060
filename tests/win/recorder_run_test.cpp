// The real TaviroRec.exe driven from this process: recordings in each save mode over a known
// image on the screen, with a tone playing; the cancel and its two answers; the region pick
// with real mouse input; the trial. The files are checked with tqk (in this process), ffmpeg,
// ffprobe and sox.
#include <windows.h>

#include <commctrl.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "capture_settings.h"
#include "form1_ids.h"
#include "form2_ids.h"
#include "form3_ids.h"
#include "form5_ids.h"
#include "frame_seek.h"
#include "held_screen.h"
#include "recorder_stage.h"
#include "result_code.h"
#include "test_files.h"
#include "tool_test_util.h"
#include "tqk_stdio.h"
#include "win_handles.h"
#include "win_text.h"
#include "window_driver.h"

namespace tqk::test {
namespace {

namespace ids = tqk::form2_ids;
using tqk::rec::CaptureSettings;

const wchar_t* const kForm2Class = L"TaviroRecForm2";
constexpr int kW = 64, kH = 48;

std::wstring W(const std::string& s) { return std::wstring(s.begin(), s.end()); }
std::string N(const std::wstring& s) { return std::string(s.begin(), s.end()); }

// The colour of a pixel of the known image: four blocks and a diagonal.
COLORREF PatternAt(int x, int y) {
    if (x == y) return RGB(255, 255, 255);
    if (x < kW / 2) return y < kH / 2 ? RGB(255, 0, 0) : RGB(0, 128, 255);
    return y < kH / 2 ? RGB(0, 200, 0) : RGB(40, 40, 40);
}

// The image's bytes as tqk raw gives them: rows top-down, blue-green-red.
std::string PatternBgr() {
    std::string b;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const COLORREF c = PatternAt(x, y);
            b += char(GetBValue(c));
            b += char(GetGValue(c));
            b += char(GetRValue(c));
        }
    return b;
}

// The known image at the screen's top-left corner.
class ScreenPattern {
public:
    ScreenPattern()
        : window_(L"RecorderRunPattern", kW, kH, [](HDC dc) {
              for (int y = 0; y < kH; ++y)
                  for (int x = 0; x < kW; ++x) SetPixelV(dc, x, y, PatternAt(x, y));
          }) {
        // Until the screen shows it: its corners and its diagonal.
        EXPECT_TRUE(WaitUntil(
            [] {
                HDC screen = GetDC(nullptr);
                bool shown = true;
                for (const POINT at : {POINT{1, 1}, POINT{kW - 2, 2}, POINT{3, kH - 2},
                                       POINT{kW - 2, kH - 3}, POINT{kH / 2, kH / 2}})
                    shown = shown && GetPixel(screen, at.x, at.y) == PatternAt(at.x, at.y);
                ReleaseDC(nullptr, screen);
                return shown;
            },
            20000))
            << "the known image does not show on the screen";
    }

private:
    HeldScreen window_;
};

std::string Unix(const std::wstring& path) { return UnixPath(path); }

std::string Shell(const std::string& command, DWORD timeoutMs = 60000) {
    const auto out = RunUnixCommand(command, timeoutMs);
    EXPECT_TRUE(out.has_value()) << "did not finish: " << command;
    return out.value_or("");
}

// A program folder of its own with the recorder, its helper, its libraries and the record
// it starts with (settings\default.TQP).
class Staged {
public:
    explicit Staged(const wchar_t* stem) : dir_(stem) {
        EXPECT_EQ(StageRecorder(dir_.Path()), L"") << "not copied";
    }
    std::wstring File(const std::wstring& name) const { return dir_.Path() + name; }
    std::string FileA(const std::string& name) const { return N(dir_.Path()) + name; }
    void SetRecord(const CaptureSettings& s) const {
        ASSERT_TRUE(WriteStartRecord(dir_.Path(), s));
    }
    // A record over the known image, its files in this folder.
    CaptureSettings Record(int method, int fps, int sec, bool sound) const {
        CaptureSettings s = RecordAtTopLeft(kW, kH, method, fps, sec, FileA("movie.TQK"), sound);
        s.FollowMouse = false;
        s.PriorityClass = 0;
        s.AsyncWrite = true;
        return s;
    }

private:
    TempFolder dir_;
};

DWORD ProcessByName(const wchar_t* exeName, DWORD parentOrZero = 0);

// A running recorder and its settings window.
struct Recorder {
    ChildProcess process;
    HWND form2 = nullptr;

    bool Start(const Staged& s) {
        // The helper is one instance only: one still ending after the last recorder would turn
        // this recorder's helper away.
        EXPECT_TRUE(WaitUntil([] { return ProcessByName(L"TaviroWave.exe") == 0; }, 20000))
            << "the last recorder's sound helper does not end";
        if (!process.Start(s.File(L"TaviroRec.exe"))) return false;
        form2 = WaitForWindow(process.Id(), kForm2Class, nullptr, 20000);
        return form2 != nullptr;
    }
    HWND Item(int id) const { return Child(form2, id); }
    // The settings window is back after a run.
    bool WaitBack(DWORD timeoutMs) const {
        return WaitUntil([&] { return IsWindowVisible(form2) != FALSE; }, timeoutMs);
    }
    ~Recorder() {
        if (form2) PostMessageW(form2, WM_CLOSE, 0, 0);
        if (process.Handle() && !process.WaitExit(10000)) process.Kill();
    }
};

HWND WaitForForm1(const Recorder& r, DWORD timeoutMs = 10000) {
    return WaitForWindow(r.process.Id(), form1_ids::kClassName, nullptr, timeoutMs);
}

// Presses 録画 and waits for the recording window.
HWND StartRecording(const Recorder& r) {
    Click(r.Item(ids::Command5));
    return WaitForForm1(r);
}

void Screenshot(const std::string& name) {
    const char* dir = getenv("TAVIRO_SHOT_DIR");
    if (!dir) return;
    Shell("import -window root '" + std::string(dir) + "/" + name + ".png'");
}

// Header fields of a movie, from tqk info.
std::string Info(const std::wstring& movie) { return tooltest::Tqk({"info", N(movie)}).out; }
bool InfoHas(const std::string& info, const std::string& line) {
    return info.find(line + "\n") != std::string::npos;
}

// Every frame of the movie equals the known image.
void ExpectFramesArePattern(const std::wstring& movie, int frames) {
    const tooltest::ToolRun raw = tooltest::Tqk({"raw", N(movie)});
    ASSERT_EQ(raw.code, 0) << raw.err;
    const std::string one = PatternBgr();
    ASSERT_EQ(raw.out.size(), one.size() * size_t(frames));
    for (int f = 0; f < frames; ++f)
        ASSERT_EQ(raw.out.compare(one.size() * f, one.size(), one), 0) << "frame " << f;
}

// The AVI's frames decoded by ffmpeg, each equal to the known image; its sound stream there.
void ExpectAviIsPattern(const std::wstring& avi, int frames, bool sound) {
    const std::string u = Unix(avi);
    const std::string sums =
        Shell("ffmpeg -v error -i '" + u + "' -f rawvideo -pix_fmt bgr24 - | md5sum");
    std::string expected;
    for (int f = 0; f < frames; ++f) expected += PatternBgr();
    // The expected bytes' checksum computed on the Unix side from a file of them.
    const std::wstring ref = avi + L".ref";
    ASSERT_TRUE(WriteBytes(ref, expected));
    const std::string refSum = Shell("md5sum < '" + Unix(ref) + "'");
    DeleteFileW(ref.c_str());
    EXPECT_EQ(sums.substr(0, 32), refSum.substr(0, 32)) << "AVI frames differ from the screen";
    const std::string streams = Shell(
        "ffprobe -v error -show_entries stream=codec_type "
        "-of csv=p=0 '" +
        u + "'");
    EXPECT_NE(streams.find("video"), std::string::npos) << streams;
    EXPECT_EQ(streams.find("audio") != std::string::npos, sound) << streams;
}

// The tone is in the WAV: its level over the middle of the recording.
void ExpectTone(const std::wstring& wav, double seconds) {
    const std::string u = Unix(wav);
    const std::string length = Shell("soxi -D '" + u + "'");
    EXPECT_NEAR(atof(length.c_str()), seconds, 0.1) << length;
    const std::string stat = Shell("sox '" + u + "' -n trim 0.3 " + std::to_string(seconds - 0.6) +
                                   " remix 1 stat 2>&1");
    const size_t at = stat.find("RMS     amplitude:");
    ASSERT_NE(at, std::string::npos) << stat;
    EXPECT_GT(atof(stat.c_str() + at + 18), 0.1) << stat;
}

// A 1 kHz tone into the audio daemon for the length of the recording and more.
void PlayTone(const Staged& s, int seconds) {
    const std::string tone = Unix(s.File(L"tone.wav"));
    Shell("sox -n -r 44100 -c 2 -b 16 '" + tone + "' synth " + std::to_string(seconds) +
          " sine 1000 vol 0.5");
    Shell("(paplay '" + tone + "' >/dev/null 2>&1 &)");
}

// The snapshot file beside the movie fits it as it is now: the player's seeker takes it and
// needs no walk of its own.
bool SnapshotFileFits(const std::wstring& movie) {
    StdioFile m(OpenForReading(N(movie))), f(OpenForReading(N(movie + L".snap")));
    if (!m.f || !f.f) return false;
    StdioRandomSource movieBytes(m.f), snapBytes(f.f);
    FrameSeeker seeker;
    return seeker.Open(&movieBytes) == kOk && seeker.UseSnapshotFile(&snapBytes) == kOk &&
           seeker.Prepared();
}

// After a kept recording the recorder writes the snapshot file that tqk snap writes for the
// movie as it stays (rewritten or not), and leaves no scratch file.
void ExpectSnapshotFileAsTqkWritesIt(const std::wstring& movie) {
    const std::wstring snap = movie + L".snap";
    ASSERT_TRUE(WaitUntil([&] { return Exists(snap); }, 30000)) << "no snapshot file";
    EXPECT_FALSE(Exists(snap + L".tmp~"));
    EXPECT_TRUE(SnapshotFileFits(movie));
    const auto written = ReadBytes(snap);
    ASSERT_TRUE(written.has_value());
    ASSERT_TRUE(DeleteFileW(snap.c_str()));
    const tooltest::ToolRun run = tooltest::Tqk({"snap", N(movie)});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(ReadBytes(snap) == written) << "not the file tqk snap writes";
}

// The compressor box says a compressor is chosen (full frames), as after the choice.
void ChooseFullFrames(const Recorder& r) { SetText(r.Item(ids::Label11), L"未圧縮"); }

struct ModeCase {
    const char* name;
    bool keepTqk, avi, deleteWave;
    int method;
};

// The statistics area has shown its first figures: the recording is under way.
bool WaitForFirstFigures(HWND form1) {
    return WaitUntil(
        [&] { return Text(Child(form1, form1_ids::Picture1)).rfind(L"Frame ", 0) == 0; }, 20000);
}

class RecorderSaveMode : public ::testing::TestWithParam<ModeCase> {};

TEST_P(RecorderSaveMode, RecordsTheScreenAndTheToneAndFinishesTheFiles) {
    const ModeCase c = GetParam();
    ScreenPattern pattern;
    Staged stage(L"recrun_mode");
    CaptureSettings s = stage.Record(c.method, 10, 2, true);
    s.KeepTqk = c.keepTqk;
    if (!c.avi) s.AviPath.clear();
    s.DeleteWave = c.deleteWave;
    stage.SetRecord(s);
    SetCursorPos(600, 500);
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    if (c.avi) ChooseFullFrames(r);
    // "Wavの削除" comes from the settings file read at start.
    EXPECT_EQ(IsChecked(r.Item(ids::Check4)), c.deleteWave);
    // A movie of the name exists: the overwrite question comes first.
    ASSERT_TRUE(WriteBytes(W(s.TqkPath), "old"));
    PlayTone(stage, 6);
    Sleep(500);
    Click(r.Item(ids::Command5));
    const auto question = WaitForMessageBox(r.process.Id(), 10000);
    ASSERT_TRUE(question.has_value()) << "no overwrite question";
    EXPECT_NE(question->text.find(L"全て上書きしてよろしいですか？"), std::wstring::npos)
        << N(question->text);
    ASSERT_TRUE(AnswerMessageBox(*question, IDYES));
    HWND form1 = WaitForForm1(r);
    ASSERT_NE(form1, nullptr) << "no recording window";
    EXPECT_FALSE(IsWindowVisible(r.form2));
    EXPECT_EQ(GetWindowLongPtrW(form1, GWL_STYLE) & WS_CAPTION, 0) << "caption shown";
    // Past the first refresh of the statistics (from the tenth frame on).
    std::wstring stats;
    EXPECT_TRUE(WaitUntil(
        [&] {
            stats = Text(Child(form1, form1_ids::Picture1));
            return stats.rfind(L"Frame ", 0) == 0;
        },
        20000));
    EXPECT_NE(stats.find(L"/20  Drop "), std::wstring::npos) << N(stats);
    Screenshot(std::string("form1_") + c.name);
    ASSERT_TRUE(r.WaitBack(60000)) << "the settings window did not come back";
    if (auto box = WaitForMessageBox(r.process.Id(), 200)) {
        ADD_FAILURE() << "unexpected message: " << N(box->text);
        AnswerMessageBox(*box, box->Has(IDOK) ? IDOK : IDNO);
    }

    const std::wstring tqk = W(s.TqkPath), avi = W(s.AviPath), wav = W(s.WavePath);
    if (c.avi) {
        ASSERT_TRUE(Exists(avi));
        ExpectAviIsPattern(avi, 20, true);
        if (Exists(wav)) {
            // The AVI's sound is the WAV's, sample for sample.
            const std::string fromAvi = Shell("ffmpeg -v error -i '" + Unix(avi) +
                                              "' -map 0:a -f s16le -c:a pcm_s16le - | md5sum");
            const std::string fromWav = Shell("sox '" + Unix(wav) + "' -t s16 - | md5sum");
            EXPECT_EQ(fromAvi.substr(0, 32), fromWav.substr(0, 32)) << "the AVI's sound differs";
        }
    }
    EXPECT_EQ(Exists(tqk), c.keepTqk);
    EXPECT_EQ(Exists(wav), !c.deleteWave);
    if (Exists(wav)) ExpectTone(wav, 2.0);
    if (c.keepTqk) {
        const std::string info = Info(tqk);
        const bool normalised = c.method == 0;  // the screen has 32 bits
        EXPECT_TRUE(InfoHas(info, normalised ? "method: 1" : "method: " + std::to_string(c.method)))
            << info;
        EXPECT_TRUE(InfoHas(info, normalised ? "bitco: 24" : "bitco: 32")) << info;
        EXPECT_TRUE(InfoHas(info, "sec: 2")) << info;
        ExpectFramesArePattern(tqk, 20);
        EXPECT_FALSE(Exists(tqk + L".tmp~")) << "the rewrite's scratch file was left";
        ExpectSnapshotFileAsTqkWritesIt(tqk);
    } else {
        EXPECT_FALSE(Exists(tqk + L".snap"));
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, RecorderSaveMode,
                         ::testing::Values(ModeCase{"TqkOnlyType1", true, false, false, 1},
                                           ModeCase{"AviAndTqkType0", true, true, false, 0},
                                           ModeCase{"AviOnlyType2DeleteWave", false, true, true,
                                                    2}),
                         [](const auto& info) { return std::string(info.param.name); });

// A cancel in the first second at 30 fps: the movie holds one second and says so.
TEST(RecorderCancel, InTheFirstSecondKeepsOneWholeSecond) {
    ScreenPattern pattern;
    Staged stage(L"recrun_cancel");
    CaptureSettings s = stage.Record(1, 30, 20, false);
    s.AviPath.clear();
    stage.SetRecord(s);
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    HWND form1 = StartRecording(r);
    ASSERT_NE(form1, nullptr);
    Click(Child(form1, form1_ids::Command1(0)));
    const auto box = WaitForMessageBox(r.process.Id(), 15000);
    ASSERT_TRUE(box.has_value());
    EXPECT_NE(box->text.find(L"このまま作業を続行しますか？"), std::wstring::npos);
    ASSERT_TRUE(AnswerMessageBox(*box, IDYES));
    ASSERT_TRUE(r.WaitBack(20000));
    const std::string info = Info(W(s.TqkPath));
    EXPECT_TRUE(InfoHas(info, "sec: 1")) << info;
    EXPECT_TRUE(InfoHas(info, "records_present: 30")) << info;
    EXPECT_EQ(tooltest::Tqk({"verify", s.TqkPath}).code, 0);
}

TEST(RecorderCancel, AnsweredNoRemovesMovieAndSound) {
    ScreenPattern pattern;
    Staged stage(L"recrun_cancelno");
    CaptureSettings s = stage.Record(1, 10, 20, true);
    s.AviPath.clear();
    stage.SetRecord(s);
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    HWND form1 = StartRecording(r);
    ASSERT_NE(form1, nullptr);
    Sleep(1500);
    Click(Child(form1, form1_ids::Command1(0)));
    const auto box = WaitForMessageBox(r.process.Id(), 15000);
    ASSERT_TRUE(box.has_value());
    ASSERT_TRUE(AnswerMessageBox(*box, IDNO));
    ASSERT_TRUE(r.WaitBack(20000));
    EXPECT_FALSE(Exists(W(s.TqkPath)));
    EXPECT_FALSE(Exists(W(s.WavePath)));
}

// Real mouse input through the X server.
void Xdo(const std::string& args) { Shell("xdotool " + args); }

RECT ScreenRectOf(HWND h) {
    RECT r{};
    GetWindowRect(h, &r);
    return r;
}

struct Boxes {
    std::wstring x, y, w, h;
};
Boxes ReadBoxes(const Recorder& r) {
    return {Text(r.Item(ids::Text1(0))), Text(r.Item(ids::Text1(1))), Text(r.Item(ids::Text1(2))),
            Text(r.Item(ids::Text1(3)))};
}

// Presses and releases the pick button with the real mouse; the pick starts on the release.
void PressPickButton(const Recorder& r) {
    const RECT b = ScreenRectOf(r.Item(ids::Command1));
    Xdo("mousemove " + std::to_string((b.left + b.right) / 2) + " " +
        std::to_string((b.top + b.bottom) / 2) + " click 1");
}

class RecorderPick : public ::testing::Test {
protected:
    void SetUp() override {
        CaptureSettings s = stage_.Record(1, 10, 2, false);
        stage_.SetRecord(s);
        ASSERT_TRUE(r_.Start(stage_));
        HWND list = r_.Item(ids::List1);
        SendMessageW(list, LB_SETCURSEL, 1, 0);  // the region page
        SendMessageW(r_.form2, WM_COMMAND, MAKEWPARAM(ids::List1, LBN_SELCHANGE), LPARAM(list));
        SetForegroundWindow(r_.form2);
        Sleep(300);
    }
    HWND WaitOverlay() {
        return WaitForWindow(r_.process.Id(), form3_ids::kClassName, nullptr, 5000);
    }
    Staged stage_{L"recrun_pick"};
    Recorder r_;
};

TEST_F(RecorderPick, DragsEitherWayGiveOneRectangle) {
    const struct { int x0, y0, x1, y1; } drags[] = {{300, 200, 100, 50}, {100, 50, 300, 200}};
    for (const auto& d : drags) {
        PressPickButton(r_);
        HWND overlay = WaitOverlay();
        ASSERT_NE(overlay, nullptr);
        Sleep(300);
        Xdo("mousemove " + std::to_string(d.x0) + " " + std::to_string(d.y0) + " mousedown 1");
        Xdo("mousemove " + std::to_string((d.x0 + d.x1) / 2) + " " + std::to_string(d.y1));
        Xdo("mousemove " + std::to_string(d.x1) + " " + std::to_string(d.y1));
        Sleep(200);
        if (d.x0 > d.x1) Screenshot("form3_drag");
        Xdo("mouseup 1");
        ASSERT_TRUE(
            WaitUntil([&] { return !IsWindow(overlay) || !IsWindowVisible(overlay); }, 5000));
        Sleep(200);
        const Boxes b = ReadBoxes(r_);
        EXPECT_EQ(b.x, L"100");
        EXPECT_EQ(b.y, L"50");
        EXPECT_EQ(b.w, L"204");  // 201 rounded up
        EXPECT_EQ(b.h, L"151");
    }
}

TEST_F(RecorderPick, ClickWithoutMovingAndRightClick) {
    PressPickButton(r_);
    ASSERT_NE(WaitOverlay(), nullptr);
    Sleep(300);
    Xdo("mousemove 222 111 click 1");
    Sleep(500);
    Boxes b = ReadBoxes(r_);
    EXPECT_EQ(b.x, L"222");
    EXPECT_EQ(b.y, L"111");
    EXPECT_EQ(b.w, L"4");
    EXPECT_EQ(b.h, L"1");

    PressPickButton(r_);
    ASSERT_NE(WaitOverlay(), nullptr);
    Sleep(300);
    Xdo("mousemove 400 300 mousedown 1 mousemove 500 400 click 3 mouseup 1");
    Sleep(500);
    b = ReadBoxes(r_);
    EXPECT_EQ(b.x, L"222");
    EXPECT_EQ(b.w, L"4");
}

// A window of this process to point at: 101 pixels wide, or partly off the left edge.
HWND TargetWindow(int x, int y, int w, int h) {
    HWND t = CreateWindowExW(WS_EX_TOPMOST | WS_EX_NOACTIVATE, L"STATIC", L"",
                             WS_POPUP | WS_VISIBLE | SS_BLACKRECT, x, y, w, h, nullptr, nullptr,
                             nullptr, nullptr);
    UpdateWindow(t);
    return t;
}

// Waits until cond holds while this thread's windows keep answering.
bool PumpUntil(const std::function<bool()>& cond, DWORD ms) {
    return WaitUntil(
        [&] {
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
            return cond();
        },
        ms);
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

TEST_F(RecorderPick, WindowPickRoundsTheWidthAndClampsTheLeftEdge) {
    SendMessageW(r_.Item(ids::Check1(0)), BM_SETCHECK, BST_CHECKED, 0);
    const struct {
        int x, y, w, h;
        const wchar_t *X, *W;
    } cases[] = {{200, 706, 101, 60, L"200", L"104"}, {-40, 706, 140, 60, L"0", L"100"}};
    for (const auto& c : cases) {
        HWND target = TargetWindow(c.x, c.y, c.w, c.h);
        PumpFor(300);
        SetForegroundWindow(r_.form2);
        PumpFor(300);
        const std::string before = Shell("import -window root -crop 400x120+0+648 rgb:- | md5sum");
        PressPickButton(r_);
        PumpFor(500);
        Xdo("mousemove " + std::to_string(c.x + c.w / 2 + (c.x < 0 ? 20 : 0)) + " " +
            std::to_string(c.y + c.h / 2));
        PumpFor(400);
        Screenshot("pick_window_" + std::to_string(c.w));
        // On a busy machine the pick may start after the click, which it then forgets as
        // pressed before it began: clicked again until the boxes change.
        const Boxes old = ReadBoxes(r_);
        const auto changed = [&] {
            const Boxes now = ReadBoxes(r_);
            return now.x != old.x || now.y != old.y || now.w != old.w || now.h != old.h;
        };
        for (int attempt = 0; attempt < 3; ++attempt) {
            Xdo("mousedown 1 sleep 0.15 mouseup 1");
            if (PumpUntil(changed, 2000)) break;
        }
        PumpFor(300);
        const Boxes b = ReadBoxes(r_);
        EXPECT_EQ(b.x, c.X);
        EXPECT_EQ(b.y, L"706");
        EXPECT_EQ(b.w, c.W);
        EXPECT_EQ(b.h, L"60");
        // Nothing of the pen's outline is left on the screen.
        const std::string after = Shell("import -window root -crop 400x120+0+648 rgb:- | md5sum");
        EXPECT_EQ(before, after) << "a trace of the pick is left on the screen";
        DestroyWindow(target);
        PumpFor(100);
    }
}

// Three two-second runs, reported; no file of the user's is written and nothing is left.
TEST(RecorderTrial, ReportsEveryMethodAndLeavesNoFile) {
    ScreenPattern pattern;
    Staged stage(L"recrun_trial");
    CaptureSettings s = stage.Record(1, 10, 20, true);
    stage.SetRecord(s);
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    Click(r.Item(ids::Command3));
    const auto box = WaitForMessageBox(r.process.Id(), 40000);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->caption, L"キャプチャ試行結果");
    for (int t = 0; t < 3; ++t) {
        const std::wstring type = L"Type " + std::to_wstring(t) + L" ... FrameTime:";
        const size_t at = box->text.find(type);
        ASSERT_NE(at, std::wstring::npos) << N(type);
        // Each line: its mark, a blank, then the type; lines apart by CR LF.
        ASSERT_GE(at, 2u);
        EXPECT_NE(std::wstring(L"◎○×△").find(box->text[at - 2]), std::wstring::npos);
        EXPECT_TRUE(at == 2 || box->text.compare(at - 4, 2, L"\r\n") == 0);
    }
    EXPECT_NE(box->text.find(L"Fps. Drop:"), std::wstring::npos);
    AnswerMessageBox(*box, IDOK);
    EXPECT_FALSE(Exists(W(s.TqkPath)));
    EXPECT_FALSE(Exists(W(s.WavePath)));
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((std::wstring(temp) + L"TaviroTrial*").c_str(), &fd);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE) << "scratch file left: " << N(fd.cFileName);
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
}

}  // namespace
}  // namespace tqk::test

namespace tqk::test {
namespace {

// The process id of the running program with this file name, 0 if none.
DWORD ProcessByName(const wchar_t* exeName, DWORD parentOrZero) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W e{};
    e.dwSize = sizeof e;
    DWORD pid = 0;
    for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e)) {
        if (_wcsicmp(e.szExeFile, exeName) == 0 &&
            (parentOrZero == 0 || e.th32ParentProcessID == parentOrZero))
            pid = e.th32ProcessID;
    }
    CloseHandle(snap);
    return pid;
}

DWORD PriorityOf(DWORD pid) {
    HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    const DWORD c = p ? GetPriorityClass(p) : 0;
    if (p) CloseHandle(p);
    return c;
}

// The shared block's bytes as they are now.
std::string SharedBlock() {
    HANDLE m = OpenFileMappingA(FILE_MAP_READ, FALSE, "{1FF13A99-90A3-11d6-952A-000629195288}");
    if (!m) return {};
    std::string bytes;
    if (const void* v = MapViewOfFile(m, FILE_MAP_READ, 0, 0, 594)) {
        bytes.assign(static_cast<const char*>(v), 594);
        UnmapViewOfFile(v);
    }
    CloseHandle(m);
    return bytes;
}

// "高" raises both processes for the run and puts both back; a run without sound leaves the
// shared block as the handshake left it.
TEST(RecorderRunProcess, PriorityRaisedForTheRunAndSoundBlockUntouchedWithoutSound) {
    ScreenPattern pattern;
    Staged stage(L"recrun_prio");
    CaptureSettings s = stage.Record(1, 10, 3, false);
    s.AviPath.clear();
    s.PriorityClass = HIGH_PRIORITY_CLASS;
    stage.SetRecord(s);
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    const DWORD helper = ProcessByName(L"TaviroWave.exe", r.process.Id());
    ASSERT_NE(helper, 0u) << "no helper";
    const std::string blockBefore = SharedBlock();
    ASSERT_EQ(blockBefore.size(), 594u);
    const DWORD recBefore = PriorityOf(r.process.Id()), helperBefore = PriorityOf(helper);
    ASSERT_NE(StartRecording(r), nullptr);
    Sleep(1500);
    EXPECT_EQ(PriorityOf(r.process.Id()), DWORD(HIGH_PRIORITY_CLASS));
    EXPECT_EQ(PriorityOf(helper), DWORD(HIGH_PRIORITY_CLASS));
    EXPECT_EQ(SharedBlock(), blockBefore) << "a run without sound wrote the shared block";
    ASSERT_TRUE(r.WaitBack(20000));
    EXPECT_EQ(PriorityOf(r.process.Id()), recBefore);
    EXPECT_EQ(PriorityOf(helper), helperBefore);
    EXPECT_EQ(SharedBlock(), blockBefore);
}

TEST(RecorderRunProcess, PriorityEntryZeroLeavesBothAlone) {
    Staged stage(L"recrun_prio0");
    CaptureSettings s = stage.Record(1, 10, 2, false);
    s.AviPath.clear();
    s.PriorityClass = 0;
    stage.SetRecord(s);
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    const DWORD helper = ProcessByName(L"TaviroWave.exe", r.process.Id());
    ASSERT_NE(helper, 0u);
    HANDLE h = OpenProcess(PROCESS_SET_INFORMATION, FALSE, helper);
    ASSERT_NE(h, nullptr);
    SetPriorityClass(h, BELOW_NORMAL_PRIORITY_CLASS);  // a class the run must not touch
    CloseHandle(h);
    ASSERT_NE(StartRecording(r), nullptr);
    Sleep(1000);
    EXPECT_EQ(PriorityOf(helper), DWORD(BELOW_NORMAL_PRIORITY_CLASS));
    EXPECT_EQ(PriorityOf(r.process.Id()), DWORD(NORMAL_PRIORITY_CLASS));
    ASSERT_TRUE(r.WaitBack(20000));
}

// The helper killed during a recording: the time-out message as soon as the capture has
// ended (a helper that is gone is not waited for), and the movie kept whole.
TEST(RecorderRunProcess, HelperKilledGivesTheTimeOutMessageAndKeepsTheMovie) {
    ScreenPattern pattern;
    Staged stage(L"recrun_helperkill");
    CaptureSettings s = stage.Record(1, 10, 3, true);
    s.AviPath.clear();
    stage.SetRecord(s);
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    const DWORD helper = ProcessByName(L"TaviroWave.exe", r.process.Id());
    ASSERT_NE(helper, 0u);
    ASSERT_NE(StartRecording(r), nullptr);
    Sleep(1000);
    HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, helper);
    ASSERT_NE(h, nullptr);
    TerminateProcess(h, 1);
    CloseHandle(h);
    // The capture ends about 2 s from here; the message comes then, not 5 s later.
    const DWORD t0 = GetTickCount();
    const auto box = WaitForMessageBox(r.process.Id(), 20000);
    ASSERT_TRUE(box.has_value());
    const DWORD waited = GetTickCount() - t0;
    EXPECT_NE(box->text.find(L"録音完了の返答がありません。"), std::wstring::npos) << N(box->text);
    EXPECT_GT(waited, 1000u);
    EXPECT_LT(waited, 5500u);
    ASSERT_TRUE(AnswerMessageBox(*box, IDOK));
    ASSERT_TRUE(r.WaitBack(20000));
    const std::string info = Info(W(s.TqkPath));
    EXPECT_TRUE(InfoHas(info, "sec: 3")) << info;
    EXPECT_TRUE(InfoHas(info, "records_present: 30")) << info;
}

}  // namespace
}  // namespace tqk::test

namespace tqk::test {
namespace {

// Follow mouse near the top-left corner: the rectangle, centred on the cursor, leaves the
// screen, and what lies outside is black. With the cursor drawn (the position then comes
// from the engine's own read) and without.
class RecorderFollowMouse : public ::testing::TestWithParam<bool> {};

TEST_P(RecorderFollowMouse, NearTheEdgeTheRectangleLeavesTheScreenAndIsBlackThere) {
    const bool drawMouse = GetParam();
    ScreenPattern pattern;
    Staged stage(L"recrun_follow");
    CaptureSettings s = stage.Record(1, 10, 1, false);
    s.AviPath.clear();
    s.FollowMouse = true;
    s.DrawMouse = drawMouse;
    stage.SetRecord(s);
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    ASSERT_NE(StartRecording(r), nullptr);
    SetCursorPos(10, 10);
    ASSERT_TRUE(r.WaitBack(20000));
    SetCursorPos(600, 500);
    const tooltest::ToolRun raw = tooltest::Tqk({"raw", s.TqkPath});
    ASSERT_EQ(raw.code, 0) << raw.err;
    const size_t frame = size_t(kW) * kH * 3;
    ASSERT_EQ(raw.out.size(), frame * 10);
    // The last frame: the rectangle's corner at (10 - 32, 10 - 24) = (-22, -14).
    const char* last = raw.out.data() + frame * 9;
    int wrong = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            // The drawn cursor's image, from its hot spot at the centre.
            if (drawMouse && x >= kW / 2 && y >= kH / 2) continue;
            const int sx = x - 22, sy = y - 14;
            COLORREF want = RGB(0, 0, 0);
            if (sx >= 0 && sy >= 0) want = PatternAt(sx, sy);
            const unsigned char* p =
                reinterpret_cast<const unsigned char*>(last) + (size_t(y) * kW + x) * 3;
            if (RGB(p[2], p[1], p[0]) != want) ++wrong;
        }
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Cursor, RecorderFollowMouse, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Drawn" : "NotDrawn"; });

}  // namespace
}  // namespace tqk::test

namespace tqk::test {
namespace {

// The recorder killed during a recording, with either writer: the movie plays and exports up
// to its last whole second, and tqk verify says how much it holds.
class RecorderKilled : public ::testing::TestWithParam<bool> {};

TEST_P(RecorderKilled, LeavesAMovieThatPlaysToItsLastWholeSecond) {
    ScreenPattern pattern;
    Staged stage(L"recrun_killed");
    CaptureSettings s = stage.Record(1, 10, 20, false);
    s.AviPath.clear();
    s.AsyncWrite = GetParam();
    stage.SetRecord(s);
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    ASSERT_NE(StartRecording(r), nullptr);
    Sleep(2900);
    r.process.Kill();
    r.form2 = nullptr;
    Sleep(500);
    const tooltest::ToolRun verify = tooltest::Tqk({"verify", s.TqkPath});
    EXPECT_EQ(verify.code, 0) << verify.err;
    EXPECT_NE(verify.out.find("cut short:"), std::string::npos) << verify.out;
    EXPECT_NE(verify.out.find("of 20 seconds"), std::string::npos) << verify.out;
    const std::string avi = s.TqkPath + ".avi";
    const tooltest::ToolRun exported = tooltest::Tqk({"avi", s.TqkPath, avi});
    ASSERT_EQ(exported.code, 0) << exported.err;
    const std::string frames = Shell(
        "ffprobe -v error -count_frames -select_streams v:0 "
        "-show_entries stream=nb_read_frames -of csv=p=0 '" +
        Unix(W(avi)) + "'");
    const int n = atoi(frames.c_str());
    EXPECT_GE(n, 10) << frames;
    EXPECT_EQ(n % 10, 0) << "not whole seconds: " << frames;
}

INSTANTIATE_TEST_SUITE_P(Writers, RecorderKilled, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Mapped" : "Plain"; });

}  // namespace
}  // namespace tqk::test

namespace tqk::test {
namespace {

// A full disk during the recording (run by full_disk_test.sh on a small file system): the
// engine's message, the movie kept, and no AVI made from it as if it were whole.
// The engine's text for a write refused by a full disk, as the platform names it.
std::wstring EngineDiskFullText(DWORD error) {
    return WideFromUtf8(ResultMessageUtf8(MakeResultCode(kErrApi, int32_t(error)), [](uint32_t e) {
        return Utf8FromWide(SystemErrorText(e));
    }));
}

// The disk fills after a few seconds: the run stops with the engine's own message, the movie
// keeps its whole seconds and plays, and no AVI is made from it.
TEST(RecorderFullDisk, ShowsTheEnginesMessageKeepsWholeSecondsAndMakesNoAvi) {
    const char* small = getenv("TAVIRO_SMALL_DISK");
    ASSERT_NE(small, nullptr) << "needs TAVIRO_SMALL_DISK (run through full_disk_test.sh)";
    Staged stage(L"recrun_full");
    constexpr int kFps = 5;
    CaptureSettings s = stage.Record(1, kFps, 30, false);
    s.W = 96;
    s.H = 72;  // frames of changing bands: a few seconds fill the 256 KiB disk
    s.AsyncWrite = false;
    const rec::DerivedPaths p = rec::DerivePaths(std::string(small) + "\\full.TQK");
    s.TqkPath = p.TqkPath;
    s.AviPath = p.AviPath;
    stage.SetRecord(s);
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    ChildProcess churn;  // every frame different, so that the movie fills the disk
    ASSERT_TRUE(churn.Start(W(SCREEN_CHURN_EXE), L"60 full"));
    ASSERT_NE(WaitForWindow(churn.Id(), nullptr, nullptr, 10000), nullptr);
    Click(r.Item(ids::Command5));
    const auto box = WaitForMessageBox(r.process.Id(), 60000);
    churn.Kill();
    ASSERT_TRUE(box.has_value()) << "no message";
    EXPECT_EQ(box->caption, L"TaviroRec") << N(box->text);
    EXPECT_TRUE(box->Has(IDOK));
    EXPECT_TRUE(box->text == EngineDiskFullText(ERROR_DISK_FULL) ||
                box->text == EngineDiskFullText(ERROR_HANDLE_DISK_FULL))
        << Utf8FromWide(box->text);
    ASSERT_TRUE(AnswerMessageBox(*box, IDOK));
    ASSERT_TRUE(r.WaitBack(20000));
    EXPECT_FALSE(WaitForMessageBox(r.process.Id(), 500).has_value());
    EXPECT_FALSE(Exists(W(s.AviPath))) << "an AVI was made from a failed recording";
    ASSERT_TRUE(Exists(W(s.TqkPath))) << "the movie was not kept";
    // Whole seconds, every frame readable: "ok: N frames" with N a positive multiple of the rate.
    const tooltest::ToolRun verify = tooltest::Tqk({"verify", s.TqkPath});
    EXPECT_EQ(verify.code, 0) << verify.out << verify.err;
    unsigned long long frames = 0;
    ASSERT_EQ(std::sscanf(verify.out.c_str(), "ok: %llu frames", &frames), 1) << verify.out;
    EXPECT_GE(frames, unsigned(kFps)) << "not one whole second kept";
    EXPECT_EQ(frames % kFps, 0u) << frames << " frames are not whole seconds";
}

}  // namespace
}  // namespace tqk::test

namespace tqk::test {
namespace {

// The snapshot file of a kept movie is given up at once, without a trace, when the next
// recording starts right after the run and when the recorder is closed right after it: never a
// scratch file, never a file that does not fit the movie beside it.
TEST(RecorderSnapshotFile, GivenUpForTheNextRecordingAndAtClosing) {
    Staged stage(L"recrun_snapstop");
    // The whole screen, every frame different: a walk that takes a while.
    CaptureSettings s = stage.Record(1, 15, 2, false);
    s.W = GetSystemMetrics(SM_CXSCREEN) / 4 * 4;
    s.H = GetSystemMetrics(SM_CYSCREEN);
    s.AviPath.clear();
    stage.SetRecord(s);
    const std::wstring movie = W(s.TqkPath), snap = movie + L".snap", scratch = snap + L".tmp~";
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    ChildProcess churn;
    ASSERT_TRUE(churn.Start(W(SCREEN_CHURN_EXE), L"60 full"));
    ASSERT_NE(WaitForWindow(churn.Id(), nullptr, nullptr, 10000), nullptr);
    ASSERT_NE(StartRecording(r), nullptr);
    ASSERT_TRUE(r.WaitBack(60000));
    // At once the next recording under the same name: the overwrite question, then the run.
    Click(r.Item(ids::Command5));
    const auto question = WaitForMessageBox(r.process.Id(), 10000);
    ASSERT_TRUE(question.has_value()) << "no overwrite question";
    ASSERT_TRUE(AnswerMessageBox(*question, IDYES));
    ASSERT_NE(WaitForForm1(r), nullptr);
    bool scratchWhileRecording = false;
    ASSERT_TRUE(WaitUntil(
        [&] {
            // Seen before the settings window is back, it was there during the run.
            const bool seen = Exists(scratch);
            if (IsWindowVisible(r.form2)) return true;
            scratchWhileRecording = scratchWhileRecording || seen;
            return false;
        },
        60000));
    EXPECT_FALSE(scratchWhileRecording) << "the last snapshot file was written during a run";
    // At once closed: the window goes and the program ends within a slice of the write.
    PostMessageW(r.form2, WM_CLOSE, 0, 0);
    const DWORD closed = GetTickCount();
    ASSERT_TRUE(r.process.WaitExit(10000)) << "the recorder does not end";
    r.form2 = nullptr;
    std::printf("closed in %lu ms, the snapshot file %s\n", GetTickCount() - closed,
                Exists(snap) ? "whole" : "given up");
    churn.Kill();
    EXPECT_FALSE(Exists(scratch)) << "a scratch file was left";
    if (Exists(snap)) {
        EXPECT_TRUE(SnapshotFileFits(movie)) << "a file that does not fit";
    }
    EXPECT_TRUE(InfoHas(Info(movie), "sec: 2"));
}

// Fewer than 10 frames: the statistics area never leaves its first text.
TEST(RecorderStatistics, FewerThanTenFramesKeepTheWaitText) {
    Staged stage(L"recrun_fewframes");
    CaptureSettings s = stage.Record(1, 5, 1, false);
    s.AviPath.clear();
    stage.SetRecord(s);
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    HWND form1 = StartRecording(r);
    ASSERT_NE(form1, nullptr);
    HWND area = Child(form1, form1_ids::Picture1);
    int reads = 0;
    while (IsWindowVisible(form1)) {
        const std::wstring text = Text(area);
        // Empty only for the moment between the window's showing and its first text.
        if (IsWindowVisible(form1) && (reads > 0 || !text.empty())) {
            EXPECT_EQ(text, L"Please wait for initialize ... ");
            ++reads;
        }
        Sleep(50);
        ASSERT_LT(reads, 200) << "the run does not end";
    }
    EXPECT_GE(reads, 5);
    ASSERT_TRUE(r.WaitBack(20000));
    EXPECT_TRUE(InfoHas(Info(W(s.TqkPath)), "records_present: 5"));
}

// The helper ends with status 6 (its scratch file cannot be made: a folder has its name): the
// helper's failure message, then the run goes on: the movie is kept whole and exported.
TEST(RecorderRunProcess, HelperStatusSixGivesItsMessageAndKeepsTheMovie) {
    ScreenPattern pattern;
    Staged stage(L"recrun_status6");
    CaptureSettings s = stage.Record(1, 10, 2, true);
    stage.SetRecord(s);
    ASSERT_TRUE(CreateDirectoryW(W(s.WaveScratchPath).c_str(), nullptr));
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    ChooseFullFrames(r);
    ASSERT_NE(StartRecording(r), nullptr);
    const auto box = WaitForMessageBox(r.process.Id(), 20000);
    ASSERT_TRUE(box.has_value()) << "no message";
    EXPECT_EQ(box->text, L"録音部分にエラーが発生しました。\r\n正常に録音できませんでした。");
    EXPECT_TRUE(box->Has(IDOK));
    EXPECT_FALSE(box->Has(IDNO));
    ASSERT_TRUE(AnswerMessageBox(*box, IDOK));
    ASSERT_TRUE(r.WaitBack(30000));
    if (auto more = WaitForMessageBox(r.process.Id(), 500)) {
        ADD_FAILURE() << "unexpected message: " << N(more->text);
        AnswerMessageBox(*more, more->Has(IDOK) ? IDOK : IDNO);
    }
    const std::string info = Info(W(s.TqkPath));
    EXPECT_TRUE(InfoHas(info, "sec: 2")) << info;
    EXPECT_TRUE(InfoHas(info, "records_present: 20")) << info;
    ExpectFramesArePattern(W(s.TqkPath), 20);
    EXPECT_FALSE(Exists(W(s.WavePath))) << "a WAV from a failed recording";
    ASSERT_TRUE(Exists(W(s.AviPath)));
    ExpectAviIsPattern(W(s.AviPath), 20, false);
}

// Cancelled and answered "はい", but the movie's header cannot take the seconds recorded
// (another program holds the file without letting it be written): the run says so, keeps the
// movie and makes no AVI of it.
TEST(RecorderCancel, AHeaderThatCannotBeWrittenIsReportedAndNotExported) {
    ScreenPattern pattern;
    Staged stage(L"recrun_patchfail");
    CaptureSettings s = stage.Record(1, 10, 20, false);
    stage.SetRecord(s);
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    ChooseFullFrames(r);
    HWND form1 = StartRecording(r);
    ASSERT_NE(form1, nullptr);
    ASSERT_TRUE(WaitForFirstFigures(form1));
    Click(Child(form1, form1_ids::Command1(0)));
    const auto question = WaitForMessageBox(r.process.Id(), 15000);
    ASSERT_TRUE(question.has_value());
    FileHandle hold(CreateFileW(W(s.TqkPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(hold) << GetLastError();
    ASSERT_TRUE(AnswerMessageBox(*question, IDYES));
    const auto error = WaitForMessageBox(r.process.Id(), 15000);
    ASSERT_TRUE(error.has_value()) << "the failure was not reported";
    Screenshot("header_patch_failed");
    EXPECT_EQ(error->text,
              L"キャンセルした時点までの長さをTQKファイルに書き込めませんでした。\r\n"
              L"ファイルをオープンできません。\r\n録画したTQKファイルはそのまま残してあります。");
    ASSERT_TRUE(AnswerMessageBox(*error, IDOK));
    ASSERT_TRUE(r.WaitBack(20000));
    if (auto more = WaitForMessageBox(r.process.Id(), 500)) {
        ADD_FAILURE() << "unexpected message: " << N(more->text);
        AnswerMessageBox(*more, more->Has(IDOK) ? IDOK : IDNO);
    }
    hold.Reset();
    EXPECT_TRUE(Exists(W(s.TqkPath)));
    EXPECT_FALSE(Exists(W(s.AviPath))) << "a movie of the wrong length was exported";
}

// A save path whose WAV or scratch path takes more than 260 bytes in the ANSI code page (here
// Japanese folder names, two bytes a character) cannot reach the sound helper: the record
// button refuses it with its message instead of recording without sound.
TEST(RecorderSound, APathTooLongForTheHelperIsRefusedAtTheRecordButton) {
    Staged stage(L"recrun_longpath");
    const std::wstring part(60, L'録');
    std::wstring folder = stage.File(part + L"\\");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    folder += part + L"\\";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    CaptureSettings s =
        tqk::test::RecordAtTopLeft(kW, kH, 1, 10, 2, Utf8FromWide(folder + L"m.TQK"), true);
    s.AviPath.clear();
    ASSERT_GT(AnsiFromWide(WideFromUtf8(s.WaveScratchPath)).size(), 260u);
    ASSERT_LT(WideFromUtf8(s.WaveScratchPath).size(), 260u);
    // The record in the ANSI code page, as the recorder reads it.
    rec::AnsiCodec ansi;
    ansi.toAnsi = [](std::string_view utf8, std::string* ret) {
        *ret = AnsiFromWide(WideFromUtf8(std::string(utf8)));
        return true;
    };
    ansi.toUtf8 = [](std::string_view a, std::string* ret) {
        *ret = Utf8FromWide(WideFromAnsi(std::string(a)));
        return true;
    };
    std::string bytes;
    ASSERT_EQ(rec::EncodeTqp(s, ansi, &bytes), rec::TqpStatus::kOk);
    ASSERT_TRUE(WriteBytes(stage.File(L"settings\\default.TQP"), bytes));
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    ASSERT_TRUE(IsChecked(r.Item(ids::Check3))) << "sound is not available";
    Click(r.Item(ids::Command5));
    const auto box = WaitForMessageBox(r.process.Id(), 15000);
    ASSERT_TRUE(box.has_value()) << "recorded without a word";
    Screenshot("sound_path_too_long");
    EXPECT_EQ(box->text,
              L"保存先のパスが長すぎるため、音声を録音できません。\r\n"
              L"保存先を短くするか、音声の録音をやめてください。");
    ASSERT_TRUE(AnswerMessageBox(*box, IDOK));
    HWND form1 = WaitForForm1(r, 1000);
    EXPECT_TRUE(!form1 || !IsWindowVisible(form1)) << "the recording started";
    EXPECT_FALSE(Exists(WideFromUtf8(s.TqkPath)));
    EXPECT_TRUE(IsWindowVisible(r.form2));
}

// A compressor chosen, then "標準に戻す" (a record without one; a loaded file is the same
// record): the label says 未圧縮, and so do the capture information and the AVI then made.
TEST(RecorderCompressor, ForgottenWithItsLabelByTheDefaults) {
    ScreenPattern pattern;
    Staged stage(L"recrun_forget");
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    Click(r.Item(ids::Command8));
    std::wstring offered, chosen;
    ASSERT_TRUE(ChooseCompressor(
        r.process.Id(),
        [&](const std::wstring& e) {
            const bool other = !e.empty() && e.find(L"Full") == std::wstring::npos &&
                               e.find(L"圧縮") == std::wstring::npos &&
                               e.find(L"フル") == std::wstring::npos;
            if (other) chosen = e;
            return other;
        },
        20000, &offered))
        << N(offered);
    ASSERT_TRUE(WaitUntil([&] { return Text(r.Item(ids::Label11)) != L"未圧縮"; }, 5000));
    const std::wstring name = Text(r.Item(ids::Label11));
    auto infoLine = [&] {
        const std::wstring info = Text(r.Item(ids::Picture2));
        const size_t a = info.find(L"\r\n");
        const size_t b = info.find(L"\r\n", a + 2);
        return a == std::wstring::npos ? std::wstring() : info.substr(a + 2, b - a - 2);
    };
    EXPECT_EQ(infoLine(), name);

    Click(r.Item(ids::Command9));
    ASSERT_TRUE(WaitUntil([&] { return Text(r.Item(ids::Label11)) == L"未圧縮"; }, 5000));
    EXPECT_EQ(infoLine(), L"未圧縮") << "the information still names the compressor";

    // One second of the known image into an AVI: written uncompressed.
    const std::wstring movie = stage.File(L"forget.TQK");
    SetText(r.Item(ids::Text2), movie);
    SetText(r.Item(ids::Text1(2)), std::to_wstring(kW));
    SetText(r.Item(ids::Text1(3)), std::to_wstring(kH));
    SendMessageW(r.Item(ids::HScroll1(0)), TBM_SETPOS, TRUE, 10);
    SendMessageW(r.Item(ids::HScroll1(1)), TBM_SETPOS, TRUE, 1);
    Click(r.Item(ids::Command5));
    ASSERT_NE(WaitForForm1(r), nullptr);
    ASSERT_TRUE(r.WaitBack(60000));
    if (auto more = WaitForMessageBox(r.process.Id(), 500)) {
        ADD_FAILURE() << "unexpected message: " << N(more->text);
        AnswerMessageBox(*more, more->Has(IDOK) ? IDOK : IDNO);
    }
    const std::wstring avi = stage.File(L"forget.avi");
    ASSERT_TRUE(Exists(avi));
    const std::string codec = Shell(
        "ffprobe -v error -select_streams v:0 -show_entries "
        "stream=codec_name -of csv=p=0 '" +
        Unix(avi) + "'");
    EXPECT_EQ(codec.substr(0, 8), "rawvideo") << codec << " (chosen: " << N(chosen) << ")";
}

// The rewrite to 24 bits cancelled in the progress window, an AVI wanted: the question, and
// either answer. Yes: the movie as recorded is exported; No: no AVI. The movie stays as
// recorded and the rewrite leaves nothing behind.
class RecorderNormaliseCancel : public ::testing::TestWithParam<bool> {};

TEST_P(RecorderNormaliseCancel, AsksAndFollowsTheAnswer) {
    const bool goOn = GetParam();
    Staged stage(L"recrun_normcancel");
    CaptureSettings s = stage.Record(0, 20, 4, false);
    s.W = 1024;
    s.H = 768;  // a rewrite long enough to be cancelled
    stage.SetRecord(s);
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    ChooseFullFrames(r);
    Click(r.Item(ids::Command5));
    HWND form5 = WaitForWindow(r.process.Id(), L"TaviroForm5", nullptr, 30000);
    ASSERT_NE(form5, nullptr) << "no progress window";
    Click(Child(form5, form5_ids::Command1));
    const auto box = WaitForMessageBox(r.process.Id(), 20000);
    ASSERT_TRUE(box.has_value()) << "no question";
    EXPECT_EQ(box->text, L"TQK変換中にキャンセルされました。\r\n処理を続行しますか？");
    EXPECT_TRUE(box->Has(IDYES) && box->Has(IDNO));
    ASSERT_TRUE(AnswerMessageBox(*box, goOn ? IDYES : IDNO));
    ASSERT_TRUE(r.WaitBack(60000));
    if (auto more = WaitForMessageBox(r.process.Id(), 500)) {
        ADD_FAILURE() << "unexpected message: " << N(more->text);
        AnswerMessageBox(*more, more->Has(IDOK) ? IDOK : IDNO);
    }
    const std::string info = Info(W(s.TqkPath));
    EXPECT_TRUE(InfoHas(info, "method: 0")) << info;
    EXPECT_TRUE(InfoHas(info, "bitco: 32")) << info;
    EXPECT_EQ(tooltest::Tqk({"verify", s.TqkPath}).code, 0);
    EXPECT_FALSE(Exists(W(s.TqkPath) + L".tmp~")) << "the rewrite's scratch file was left";
    EXPECT_EQ(Exists(W(s.AviPath)), goOn);
    if (goOn) {
        const std::string frames = Shell(
            "ffprobe -v error -count_frames -select_streams v:0 "
            "-show_entries stream=nb_read_frames -of csv=p=0 '" +
            Unix(W(s.AviPath)) + "'");
        EXPECT_EQ(atoi(frames.c_str()), 80) << frames;
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, RecorderNormaliseCancel, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Yes" : "No"; });

// The rewrite cancelled and answered "はい", then the export runs to its end: it is a
// successful export, so "Wavの削除" removes the WAV (its sound is in the AVI).
TEST(RecorderNormaliseCancelThenExport, DeletesTheWaveAsAfterAnyExport) {
    ScreenPattern pattern;
    Staged stage(L"recrun_normwave");
    CaptureSettings s = stage.Record(0, 20, 4, true);
    s.W = 1024;
    s.H = 768;
    s.DeleteWave = true;
    stage.SetRecord(s);
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    ChooseFullFrames(r);
    Click(r.Item(ids::Command5));
    HWND form5 = WaitForWindow(r.process.Id(), L"TaviroForm5", nullptr, 30000);
    ASSERT_NE(form5, nullptr) << "no progress window";
    Click(Child(form5, form5_ids::Command1));
    const auto box = WaitForMessageBox(r.process.Id(), 20000);
    ASSERT_TRUE(box.has_value()) << "no question";
    EXPECT_EQ(box->text, L"TQK変換中にキャンセルされました。\r\n処理を続行しますか？");
    ASSERT_TRUE(AnswerMessageBox(*box, IDYES));
    ASSERT_TRUE(r.WaitBack(60000));
    if (auto more = WaitForMessageBox(r.process.Id(), 500)) {
        ADD_FAILURE() << "unexpected message: " << N(more->text);
        AnswerMessageBox(*more, more->Has(IDOK) ? IDOK : IDNO);
    }
    ASSERT_TRUE(Exists(W(s.AviPath)));
    const std::string streams =
        Shell("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 '" +
              Unix(W(s.AviPath)) + "'");
    EXPECT_NE(streams.find("audio"), std::string::npos) << streams;
    EXPECT_FALSE(Exists(W(s.WavePath))) << "the export was counted as cancelled";
    EXPECT_TRUE(Exists(W(s.TqkPath)));
}

}  // namespace
}  // namespace tqk::test

namespace tqk::test {
namespace {

// A recording with sound that ends badly, with either writer: the recorder killed (its helper
// writes the WAV of what it heard), the helper killed (its scratch file and note stay), or
// both. The recorder's next start repairs the movie to its whole seconds and makes the WAV
// just as long, from the scratch file where there is no WAV, and says so in one message;
// tqk repair does the same to a copy of what was left.
enum class Killed { kRecorder, kHelper, kBoth };
struct KillCase {
    const char* name;
    Killed killed;
    bool mapped;
};
class RecorderKilledWithSound : public ::testing::TestWithParam<KillCase> {};

bool WaitProcessGone(DWORD pid, DWORD timeoutMs) {
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!h) return true;
    const bool gone = WaitForSingleObject(h, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(h);
    return gone;
}

void KillProcess(DWORD pid) {
    HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    ASSERT_NE(h, nullptr) << pid;
    TerminateProcess(h, 9);
    WaitForSingleObject(h, 10000);
    CloseHandle(h);
}

int64_t SizeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d)) return -1;
    return (int64_t(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

double WavSeconds(const std::wstring& wav) {
    return atof(Shell("soxi -D '" + Unix(wav) + "'").c_str());
}

// The tone's level in the WAV between two times.
double ToneLevel(const std::wstring& wav, double from, double length) {
    const std::string stat = Shell("sox '" + Unix(wav) + "' -n trim " + std::to_string(from) + " " +
                                   std::to_string(length) + " remix 1 stat 2>&1");
    const size_t at = stat.find("RMS     amplitude:");
    return at == std::string::npos ? -1 : atof(stat.c_str() + at + 18);
}

TEST_P(RecorderKilledWithSound, NextStartAndToolRepairKeepPictureAndSoundTogether) {
    const KillCase c = GetParam();
    ScreenPattern pattern;
    Staged stage(L"recrun_killsnd");
    CaptureSettings s = stage.Record(1, 10, 10, true);
    s.AviPath.clear();
    s.AsyncWrite = c.mapped;
    stage.SetRecord(s);
    const std::wstring tqk = W(s.TqkPath), wav = W(s.WavePath), scratch = W(s.WaveScratchPath);
    // A tone of an earlier test still playing would add to this one's, in or out of phase.
    const auto playing = [] {
        return Shell("pactl list short sink-inputs").find("protocol-native") != std::string::npos;
    };
    ASSERT_TRUE(WaitUntil([&] { return !playing(); }, 40000));
    // Nor does this one outlast the test, whatever its end.
    struct ToneEnds {
        std::function<bool()> playing;
        ~ToneEnds() {
            WaitUntil([this] { return !playing(); }, 20000);
        }
    } toneEnds{playing};
    PlayTone(stage, 10);
    // The tone reaches the device once its stream runs in the audio daemon.
    ASSERT_TRUE(WaitUntil(playing, 10000));
    DWORD helper = 0;
    {
        Recorder r;
        ASSERT_TRUE(r.Start(stage));
        helper = ProcessByName(L"TaviroWave.exe", r.process.Id());
        ASSERT_NE(helper, 0u);
        ASSERT_NE(StartRecording(r), nullptr);
        // Two capture buffers (about 3 s of sound) are in the scratch file, with its note.
        ASSERT_TRUE(WaitUntil([&] { return SizeOf(scratch) >= 2 * 262144; }, 20000));
        EXPECT_TRUE(Exists(scratch + L".info"));
        if (c.killed != Killed::kRecorder) KillProcess(helper);
        if (c.killed != Killed::kHelper) {
            r.process.Kill();
            r.form2 = nullptr;
        } else {
            // The recorder goes on to its end and does not wait for a helper that is gone.
            const auto box = WaitForMessageBox(r.process.Id(), 30000);
            ASSERT_TRUE(box.has_value());
            EXPECT_NE(box->text.find(L"録音完了の返答がありません。"), std::wstring::npos);
            ASSERT_TRUE(AnswerMessageBox(*box, IDOK));
            ASSERT_TRUE(r.WaitBack(20000));
        }
    }
    // A helper that outlived its recorder writes the WAV and ends.
    ASSERT_TRUE(WaitProcessGone(helper, 20000)) << "the helper outlived its recorder";
    if (c.killed == Killed::kRecorder) {
        EXPECT_TRUE(Exists(wav)) << "the helper wrote no WAV";
        EXPECT_FALSE(Exists(scratch));
        EXPECT_FALSE(Exists(scratch + L".info"));
    } else {
        EXPECT_FALSE(Exists(wav));
        EXPECT_TRUE(Exists(scratch));
        EXPECT_TRUE(Exists(scratch + L".info"));
    }

    // What the tool makes of a copy of the leftovers.
    TempFolder copies(L"recrun_killsnd_tool");
    const std::wstring copy = copies.Path() + L"movie.TQK";
    for (const wchar_t* ext : {L".TQK", L".wav", L".wav.wavtemp", L".wav.wavtemp.info"}) {
        const std::wstring from = tqk.substr(0, tqk.size() - 4) + ext;
        if (!Exists(from)) continue;
        ASSERT_TRUE(CopyFileW(from.c_str(), (copies.Path() + L"movie" + ext).c_str(), FALSE));
    }
    const tooltest::ToolRun repaired = tooltest::Tqk({"repair", N(copy)});
    EXPECT_EQ(repaired.code, 0) << repaired.err;

    // The next start.
    Recorder again;
    ASSERT_TRUE(again.process.Start(stage.File(L"TaviroRec.exe")));
    const auto box = WaitForMessageBox(again.process.Id(), 60000);
    ASSERT_TRUE(box.has_value()) << "no message about the restored recording";
    const std::string info = Info(tqk);
    const int kept = atoi(info.substr(info.find("\nsec: ") + 6).c_str());
    const bool movieCut = c.killed != Killed::kHelper;
    EXPECT_EQ(box->text.find(L"前回の録画は正常に終了しませんでした。"), 0u) << N(box->text);
    if (movieCut) {
        EXPECT_GE(kept, 2) << info;
        EXPECT_LT(kept, 10) << info;
        EXPECT_NE(
            box->text.find(tqk + L"\r\n　10秒のうち" + std::to_wstring(kept) + L"秒を残しました。"),
            std::wstring::npos)
            << N(box->text);
    } else {
        EXPECT_EQ(kept, 10) << info;
    }
    const std::wstring soundLine =
        c.killed == Killed::kRecorder
            ? L"\r\n　TQKに合わせて" + std::to_wstring(kept) + L"秒にしました。"
            : L"\r\n　録音の一時ファイルから作成しました（" + std::to_wstring(kept) + L"秒）。";
    EXPECT_NE(box->text.find(wav + soundLine), std::wstring::npos) << N(box->text);
    Screenshot(std::string("recovery_message_") + c.name);
    ASSERT_TRUE(AnswerMessageBox(*box, IDOK));
    again.form2 = WaitForWindow(again.process.Id(), kForm2Class, nullptr, 20000);
    EXPECT_NE(again.form2, nullptr);

    // Picture and sound together: the movie's whole seconds, the WAV just as long, the tone
    // where it was heard; the tool's copy the same.
    EXPECT_TRUE(InfoHas(info, "records_present: " + std::to_string(kept * 10))) << info;
    EXPECT_EQ(tooltest::Tqk({"verify", N(tqk)}).out,
              "ok: " + std::to_string(kept * 10) + " frames\n");
    ExpectFramesArePattern(tqk, kept * 10);
    EXPECT_DOUBLE_EQ(WavSeconds(wav), double(kept));
    EXPECT_FALSE(Exists(scratch));
    EXPECT_FALSE(Exists(scratch + L".info"));
    // The sound recorded before the end is kept: the tone in the first seconds (an idle null
    // sink may hand its monitor up to two seconds of silence ahead of a sound that joins it,
    // so where in them the tone begins varies).
    std::string levels;
    double loudest = 0;
    for (double t = 0; t < 2.75; t += 0.25) {
        const double level = ToneLevel(wav, t, 0.25);
        loudest = std::max(loudest, level);
        levels += std::to_string(level) + " ";
    }
    EXPECT_GT(loudest, 0.2) << "the tone recorded before the end is lost: " << levels;
    // The header's fields; the lines that name the file differ.
    const auto fields = [](const std::string& i) {
        return i.substr(i.find("\nlength:"), i.find("\nffmpeg:") - i.find("\nlength:"));
    };
    EXPECT_EQ(fields(Info(copy)), fields(info));
    EXPECT_DOUBLE_EQ(WavSeconds(copies.Path() + L"movie.wav"), double(kept)) << repaired.out;
    EXPECT_EQ(Shell("sox '" + Unix(wav) + "' -t s16 - | md5sum"),
              Shell("sox '" + Unix(copies.Path() + L"movie.wav") + "' -t s16 - | md5sum"))
        << "the tool's WAV differs from the recorder's";
}

INSTANTIATE_TEST_SUITE_P(Kills, RecorderKilledWithSound,
                         ::testing::Values(KillCase{"RecorderPlain", Killed::kRecorder, false},
                                           KillCase{"RecorderMapped", Killed::kRecorder, true},
                                           KillCase{"HelperPlain", Killed::kHelper, false},
                                           KillCase{"HelperMapped", Killed::kHelper, true},
                                           KillCase{"BothPlain", Killed::kBoth, false},
                                           KillCase{"BothMapped", Killed::kBoth, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tqk::test
