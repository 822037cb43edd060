// Pause, resume and the stop-and-keep command on the real TaviroRec.exe, driven from this
// process: a solid colour on the screen and a tone, both changed while the recording is
// paused. The movie must never show the paused screen and must play straight across the pause,
// the WAV must be as long and change tone where the picture changes, and the exported AVI must
// carry the same. Checked with tqk (in this process), ffmpeg, ffprobe and sox.
#include <windows.h>

#include <mmsystem.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "capture_settings.h"
#include "form1_ids.h"
#include "form2_ids.h"
#include "held_screen.h"
#include "recorder_stage.h"
#include "test_files.h"
#include "tool_test_util.h"
#include "window_driver.h"

namespace tqk::test {
namespace {

namespace ids = tqk::form2_ids;
using tqk::rec::CaptureSettings;

constexpr int kW = 64, kH = 48;
const COLORREF kBefore = RGB(255, 0, 0), kWhilePaused = RGB(0, 255, 0), kAfter = RGB(0, 0, 255);

std::wstring W(const std::string& s) { return std::wstring(s.begin(), s.end()); }
std::string N(const std::wstring& s) { return std::string(s.begin(), s.end()); }

std::string Shell(const std::string& command, DWORD timeoutMs = 60000) {
    const auto out = RunUnixCommand(command, timeoutMs);
    EXPECT_TRUE(out.has_value()) << "did not finish: " << command;
    return out.value_or("");
}

// A solid colour over the recorded rectangle.
class ScreenColour {
public:
    explicit ScreenColour(COLORREF c)
        : colour_(c), window_(L"PauseRunColour", kW, kH, [this](HDC dc) {
              HBRUSH brush = CreateSolidBrush(colour_);
              RECT r{0, 0, kW, kH};
              FillRect(dc, &r, brush);
              DeleteObject(brush);
          }) {
        EXPECT_TRUE(WaitShown()) << "the colour does not show on the screen";
    }
    // Changes the colour and waits until the screen shows it.
    bool Set(COLORREF c) {
        colour_ = c;
        window_.Repaint();
        return WaitShown();
    }

private:
    bool WaitShown() const {
        return WaitUntil(
            [this] {
                HDC screen = GetDC(nullptr);
                const bool shown = GetPixel(screen, 1, 1) == colour_ &&
                                   GetPixel(screen, kW - 2, kH - 2) == colour_;
                ReleaseDC(nullptr, screen);
                return shown;
            },
            20000);
    }
    std::atomic<COLORREF> colour_;
    HeldScreen window_;
};

// Whether the audio daemon plays anything but the silent stream of SinkInRealTime.
bool TonePlaying() {
    return std::atoi(Shell("pactl list sink-inputs | grep 'application.process.binary' | "
                           "grep -vc '\"pacat\"'")
                         .c_str()) > 0;
}

// A silent stream of 100 ms latency into the null sink while the tones play. Alone, a stream
// is rendered up to two seconds ahead into the sink's monitor, where the helper records it: a
// tone change would then be heard by the helper long before it is played, by a different
// amount every time.
class SinkInRealTime {
public:
    SinkInRealTime() {
        pid_ = Shell(
            "pacat --playback --raw --format=s16le --rate=44100 --channels=2 "
            "--latency-msec=100 </dev/zero >/dev/null 2>&1 & echo $!");
        const std::string ahead =
            "LANG=C pactl list sinks | sed -n 's/^[[:space:]]*Latency: "
            "\\([0-9]*\\) usec.*/\\1/p' | head -1";
        EXPECT_TRUE(WaitUntil(
            [&] {
                const int usec = std::atoi(Shell(ahead).c_str());
                return usec > 0 && usec < 100000;
            },
            20000))
            << "the null sink does not keep to a low latency";
    }
    ~SinkInRealTime() { Shell("kill " + std::to_string(std::atoi(pid_.c_str())) + "; true"); }

private:
    std::string pid_;
};

// A sine of freq Hz played through the platform's wave-out until Stop: the same way into the
// audio daemon as the recorder's own sound device, so that what it plays and what the helper
// records keep one clock.
class Tone {
public:
    explicit Tone(int freq) {
        constexpr int kRate = 44100, kSeconds = 30;
        pcm_.resize(size_t(kRate) * kSeconds * 2);
        for (size_t i = 0; i < pcm_.size() / 2; ++i)
            pcm_[2 * i] = pcm_[2 * i + 1] =
                int16_t(16000 * std::sin(2 * 3.141592653589793 * freq * double(i) / kRate));
        WAVEFORMATEX f{};
        f.wFormatTag = WAVE_FORMAT_PCM;
        f.nChannels = 2;
        f.nSamplesPerSec = kRate;
        f.wBitsPerSample = 16;
        f.nBlockAlign = 4;
        f.nAvgBytesPerSec = kRate * 4;
        EXPECT_EQ(waveOutOpen(&out_, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        hdr_.lpData = reinterpret_cast<LPSTR>(pcm_.data());
        hdr_.dwBufferLength = DWORD(pcm_.size() * 2);
        waveOutPrepareHeader(out_, &hdr_, sizeof hdr_);
        waveOutWrite(out_, &hdr_, sizeof hdr_);
        EXPECT_TRUE(WaitUntil(TonePlaying, 10000)) << "the tone does not play";
    }
    ~Tone() { Stop(); }
    void Stop() {
        if (!out_) return;
        waveOutReset(out_);
        waveOutUnprepareHeader(out_, &hdr_, sizeof hdr_);
        waveOutClose(out_);
        out_ = nullptr;
        EXPECT_TRUE(WaitUntil([] { return !TonePlaying(); }, 10000));
    }

private:
    std::vector<int16_t> pcm_;
    HWAVEOUT out_ = nullptr;
    WAVEHDR hdr_{};
};

DWORD HelperProcess() {
    DWORD found = 0;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W e{};
    e.dwSize = sizeof e;
    for (BOOL ok = Process32FirstW(snap, &e); ok && !found; ok = Process32NextW(snap, &e))
        if (_wcsicmp(e.szExeFile, L"TaviroWave.exe") == 0) found = e.th32ProcessID;
    CloseHandle(snap);
    return found;
}

// A recorder in a folder of its own, started with record s.
struct Recorder {
    TempFolder dir{L"pauserun"};
    ChildProcess process;
    HWND form2 = nullptr;

    std::string FileA(const std::string& name) const { return N(dir.Path()) + name; }
    CaptureSettings Record(int fps, int sec, bool sound, bool avi) const {
        CaptureSettings s = RecordAtTopLeft(kW, kH, 1, fps, sec, FileA("movie.TQK"), sound);
        s.FollowMouse = false;
        s.PriorityClass = 0;
        s.AsyncWrite = true;
        s.KeepTqk = true;
        s.DeleteWave = false;
        if (!avi) s.AviPath.clear();
        return s;
    }
    bool Start(const CaptureSettings& s) {
        EXPECT_EQ(StageRecorder(dir.Path()), L"");
        if (!WriteStartRecord(dir.Path(), s)) return false;
        // The helper is one instance only: one still ending would turn this one's away.
        EXPECT_TRUE(WaitUntil([] { return HelperProcess() == 0; }, 20000));
        if (!process.Start(dir.Path() + L"TaviroRec.exe")) return false;
        form2 = WaitForWindow(process.Id(), L"TaviroRecForm2", nullptr, 20000);
        // An AVI wants a compressor: full frames, as after the choice.
        if (form2 && !s.AviPath.empty()) SetText(Child(form2, ids::Label11), L"未圧縮");
        return form2 != nullptr;
    }
    // Presses 録画 and waits for the first figures of the statistics area.
    HWND StartRecording() const {
        Click(Child(form2, ids::Command5));
        HWND form1 = WaitForWindow(process.Id(), form1_ids::kClassName, nullptr, 10000);
        if (form1 && !WaitUntil([&] { return Stats(form1).rfind(L"Frame ", 0) == 0; }, 20000))
            return nullptr;
        return form1;
    }
    static std::wstring Stats(HWND form1) { return Text(Child(form1, form1_ids::Picture1)); }
    static HWND PauseButton(HWND form1) { return Child(form1, form1_ids::Command1(3)); }
    bool WaitBack(DWORD timeoutMs) const {
        return WaitUntil([&] { return IsWindowVisible(form2) != FALSE; }, timeoutMs);
    }
    ~Recorder() {
        if (form2) PostMessageW(form2, WM_CLOSE, 0, 0);
        if (process.Handle() && !process.WaitExit(10000)) process.Kill();
    }
};

// The frame number in the statistics ("Frame 23/40").
int FrameShown(const std::wstring& stats) {
    const size_t at = stats.find(L"Frame ");
    return at == std::wstring::npos ? -1 : _wtoi(stats.c_str() + at + 6);
}

// Presses Command1(3) and waits until the engine has paused there; the frames recorded.
int Pause(HWND form1) {
    Click(Recorder::PauseButton(form1));
    std::wstring stats;
    const bool paused = WaitUntil(
        [&] {
            stats = Recorder::Stats(form1);
            return stats.rfind(L"一時停止中", 0) == 0;
        },
        10000);
    EXPECT_TRUE(paused) << "the statistics do not say paused: " << N(stats);
    EXPECT_EQ(Text(Recorder::PauseButton(form1)), L"再開");
    return paused ? FrameShown(stats) : -1;
}

void StopAndKeep(HWND form1) {
    PostMessageW(form1, WM_COMMAND, MAKEWPARAM(form1_ids::StopKeep, BN_CLICKED), 0);
}

std::string Info(const std::string& movie) { return tooltest::Tqk({"info", movie}).out; }
bool InfoHas(const std::string& info, const std::string& line) {
    return info.find(line + "\n") != std::string::npos;
}

// Each frame's colour (the middle pixel of rows of BGR bytes).
std::vector<COLORREF> FrameColours(const std::string& raw) {
    std::vector<COLORREF> colours;
    const size_t frame = size_t(kW) * kH * 3, middle = (size_t(kH / 2) * kW + kW / 2) * 3;
    for (size_t at = 0; at + frame <= raw.size(); at += frame) {
        const auto* p = reinterpret_cast<const unsigned char*>(raw.data() + at + middle);
        colours.push_back(RGB(p[2], p[1], p[0]));
    }
    return colours;
}

// The frames: `before` frames of kBefore, then kAfter to the end; never the paused screen.
void ExpectJoinedAt(const std::vector<COLORREF>& colours, size_t before, size_t total) {
    ASSERT_EQ(colours.size(), total);
    for (size_t i = 0; i < colours.size(); ++i) {
        EXPECT_NE(colours[i], kWhilePaused) << "frame " << i << " shows the paused screen";
        EXPECT_EQ(colours[i], i < before ? kBefore : kAfter) << "frame " << i;
    }
}

double WavSeconds(const std::string& unixWav) {
    return std::atof(Shell("soxi -D '" + unixWav + "'").c_str());
}

// The level of the band [low, high] Hz between two times of a recording (any container sox or
// ffmpeg reads).
double BandLevel(const std::string& unixFile, double from, double length, int low, int high) {
    const std::string stat =
        Shell("ffmpeg -v error -i '" + unixFile + "' -map 0:a -f wav - | sox -t wav - -n trim " +
              std::to_string(from) + " " + std::to_string(length) + " remix 1 sinc " +
              std::to_string(low) + "-" + std::to_string(high) + " stat 2>&1");
    const size_t at = stat.find("RMS     amplitude:");
    return at == std::string::npos ? -1 : std::atof(stat.c_str() + at + 18);
}

// Where the tone goes from the low one to the high one: the first 50 ms window in which the
// high band is the louder.
double ToneChangeAt(const std::string& unixFile, double length) {
    for (double t = 0; t + 0.05 <= length; t += 0.05)
        if (BandLevel(unixFile, t, 0.05, 2500, 3500) > BandLevel(unixFile, t, 0.05, 200, 400))
            return t;
    return -1;
}

constexpr int kLowTone = 300, kHighTone = 3000;

TEST(PauseRun, TheMovieAndTheSoundLeaveThePauseOutAndTheAviCarriesThem) {
    ASSERT_TRUE(WaitUntil([] { return !TonePlaying(); }, 40000)) << "another tone plays";
    SinkInRealTime realTime;
    ScreenColour screen(kBefore);
    Recorder r;
    const CaptureSettings s = r.Record(10, 4, true, true);
    ASSERT_TRUE(r.Start(s));
    Tone low(kLowTone);
    HWND form1 = r.StartRecording();
    ASSERT_NE(form1, nullptr);
    EXPECT_EQ(Text(Recorder::PauseButton(form1)), L"一時停止");
    EXPECT_TRUE(IsWindowEnabled(Recorder::PauseButton(form1)));
    ASSERT_TRUE(WaitUntil([&] { return FrameShown(Recorder::Stats(form1)) >= 15; }, 20000));
    const int before = Pause(form1);
    ASSERT_GE(before, 15);
    ASSERT_LT(before, 35);
    // While paused: another screen and another tone, neither of which may be recorded.
    ASSERT_TRUE(screen.Set(kWhilePaused));
    low.Stop();
    Tone high(kHighTone);
    Sleep(1000);  // the pause lasts a while: its length must not reach the files
    EXPECT_EQ(FrameShown(Recorder::Stats(form1)), before) << "frames grabbed while paused";
    ASSERT_TRUE(screen.Set(kAfter));
    Click(Recorder::PauseButton(form1));
    EXPECT_TRUE(WaitUntil([&] { return Text(Recorder::PauseButton(form1)) == L"一時停止"; }, 5000));
    ASSERT_TRUE(r.WaitBack(60000)) << "the settings window did not come back";
    high.Stop();
    if (auto box = WaitForMessageBox(r.process.Id(), 200)) {
        ADD_FAILURE() << "unexpected message: " << N(box->text);
        AnswerMessageBox(*box, box->Has(IDOK) ? IDOK : IDNO);
    }

    // The movie: its planned 4 seconds of recorded time, joined where the pause was.
    const std::string info = Info(s.TqkPath);
    EXPECT_TRUE(InfoHas(info, "sec: 4")) << info;
    EXPECT_TRUE(InfoHas(info, "records_present: 40")) << info;
    const tooltest::ToolRun raw = tooltest::Tqk({"raw", s.TqkPath});
    ASSERT_EQ(raw.code, 0) << raw.err;
    ExpectJoinedAt(FrameColours(raw.out), size_t(before), 40);
    const double join = before / 10.0;

    // The WAV: as long as the movie, the low tone up to the join and the high one after it.
    const std::string wav = UnixPath(W(s.WavePath));
    EXPECT_NEAR(WavSeconds(wav), 4.0, 0.05);
    EXPECT_NEAR(ToneChangeAt(wav, 4.0), join, 0.15) << "the tone changes away from the picture";

    // The AVI: the same frames, the same sound.
    const std::string avi = UnixPath(W(s.AviPath));
    const std::wstring decoded = r.dir.Path() + L"avi.raw";
    Shell("ffmpeg -v error -y -i '" + avi + "' -f rawvideo -pix_fmt bgr24 '" + UnixPath(decoded) +
          "'");
    const auto aviFrames = ReadBytes(decoded);
    ASSERT_TRUE(aviFrames.has_value());
    ExpectJoinedAt(FrameColours(*aviFrames), size_t(before), 40);
    // Its sound decoded: 44.1 kHz, 16-bit stereo, 4 bytes a sample frame.
    const double aviSound = std::atof(Shell("ffmpeg -v error -i '" + avi +
                                            "' -map 0:a -f s16le -c:a pcm_s16le - | wc -c")
                                          .c_str()) /
                            (44100.0 * 4);
    EXPECT_NEAR(aviSound, 4.0, 0.05);
    EXPECT_NEAR(ToneChangeAt(avi, 4.0), join, 0.15);
}

TEST(PauseRun, StopAndKeepEndsAtAWholeSecondWithoutAQuestionAndExports) {
    ScreenColour screen(kBefore);
    Recorder r;
    const CaptureSettings s = r.Record(10, 30, false, true);
    ASSERT_TRUE(r.Start(s));
    HWND form1 = r.StartRecording();
    ASSERT_NE(form1, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return FrameShown(Recorder::Stats(form1)) >= 12; }, 20000));
    StopAndKeep(form1);
    ASSERT_TRUE(r.WaitBack(60000)) << "the settings window did not come back";
    if (auto box = WaitForMessageBox(r.process.Id(), 500)) {
        ADD_FAILURE() << "a question after the stop-and-keep: " << N(box->text);
        AnswerMessageBox(*box, box->Has(IDOK) ? IDOK : IDYES);
    }
    const std::string info = Info(s.TqkPath);
    int sec = 0, records = 0;
    const size_t at = info.find("\nsec: "), rat = info.find("records_present: ");
    ASSERT_NE(at, std::string::npos) << info;
    ASSERT_NE(rat, std::string::npos) << info;
    sec = std::atoi(info.c_str() + at + 6);
    records = std::atoi(info.c_str() + rat + 17);
    EXPECT_GE(sec, 2);
    EXPECT_LT(sec, 30);
    EXPECT_EQ(records, sec * 10);
    EXPECT_EQ(tooltest::Tqk({"verify", s.TqkPath}).code, 0);
    // The pipeline ran as after a normal end: the AVI holds every frame.
    const std::string frames = Shell(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
        "-of csv=p=0 '" +
        UnixPath(W(s.AviPath)) + "'");
    EXPECT_EQ(std::atoi(frames.c_str()), sec * 10) << frames;
}

// Stopped while paused: cut back to the last whole second, the sound with it; a cancel asks.
class PauseRunStopWhilePaused : public ::testing::TestWithParam<bool> {};

TEST_P(PauseRunStopWhilePaused, KeepsTheWholeSecondsBeforeThePause) {
    const bool byCancel = GetParam();
    ScreenColour screen(kBefore);
    Recorder r;
    const CaptureSettings s = r.Record(10, 30, true, false);
    ASSERT_TRUE(r.Start(s));
    HWND form1 = r.StartRecording();
    ASSERT_NE(form1, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return FrameShown(Recorder::Stats(form1)) >= 25; }, 20000));
    const int before = Pause(form1);
    ASSERT_GE(before, 25);
    if (byCancel) {
        Click(Child(form1, form1_ids::Command1(0)));
        const auto box = WaitForMessageBox(r.process.Id(), 15000);
        ASSERT_TRUE(box.has_value()) << "no question after the cancel";
        EXPECT_NE(box->text.find(L"このまま作業を続行しますか？"), std::wstring::npos);
        // The stop hotkey while the question is open changes nothing.
        StopAndKeep(form1);
        ASSERT_TRUE(AnswerMessageBox(*box, IDYES));
    } else {
        StopAndKeep(form1);
    }
    ASSERT_TRUE(r.WaitBack(30000));
    if (auto box = WaitForMessageBox(r.process.Id(), 500)) {
        ADD_FAILURE() << "unexpected message: " << N(box->text);
        AnswerMessageBox(*box, box->Has(IDOK) ? IDOK : IDYES);
    }
    const int kept = before / 10;
    const std::string info = Info(s.TqkPath);
    EXPECT_TRUE(InfoHas(info, "sec: " + std::to_string(kept))) << info << " paused at " << before;
    EXPECT_TRUE(InfoHas(info, "records_present: " + std::to_string(kept * 10))) << info;
    EXPECT_EQ(tooltest::Tqk({"verify", s.TqkPath}).code, 0);
    EXPECT_NEAR(WavSeconds(UnixPath(W(s.WavePath))), double(kept), 0.05);
}

INSTANTIATE_TEST_SUITE_P(ByKeyOrCancel, PauseRunStopWhilePaused, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Cancel" : "StopKeep"; });

TEST(PauseRun, StoppedWhilePausedBeforeAWholeSecondKeepsNothingAndSaysSo) {
    ScreenColour screen(kBefore);
    Recorder r;
    const CaptureSettings s = r.Record(5, 30, true, false);
    ASSERT_TRUE(r.Start(s));
    Click(Child(r.form2, ids::Command5));
    HWND form1 = WaitForWindow(r.process.Id(), form1_ids::kClassName, nullptr, 10000);
    ASSERT_NE(form1, nullptr);
    // At once when it can be pressed: the capture has begun, not a second recorded yet.
    ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(Recorder::PauseButton(form1)); }, 20000));
    const int before = Pause(form1);
    ASSERT_LT(before, 5) << "paused too late for this test";
    StopAndKeep(form1);
    const auto box = WaitForMessageBox(r.process.Id(), 15000);
    ASSERT_TRUE(box.has_value()) << "no message";
    EXPECT_NE(box->text.find(L"1秒分も録画されていない"), std::wstring::npos) << N(box->text);
    EXPECT_EQ(box->buttons.size(), 1u);
    ASSERT_TRUE(AnswerMessageBox(*box, IDOK));
    ASSERT_TRUE(r.WaitBack(20000));
    EXPECT_FALSE(Exists(W(s.TqkPath)));
    EXPECT_FALSE(Exists(W(s.WavePath)));
}

// Without a pause the same tones change where the picture does: what the pause test compares
// against.
TEST(PauseRun, WithoutAPauseTheToneChangesWithThePicture) {
    ASSERT_TRUE(WaitUntil([] { return !TonePlaying(); }, 40000)) << "another tone plays";
    SinkInRealTime realTime;
    ScreenColour screen(kBefore);
    Recorder r;
    const CaptureSettings s = r.Record(10, 4, true, false);
    ASSERT_TRUE(r.Start(s));
    Tone low(kLowTone);
    HWND form1 = r.StartRecording();
    ASSERT_NE(form1, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return FrameShown(Recorder::Stats(form1)) >= 15; }, 20000));
    ASSERT_TRUE(screen.Set(kAfter));
    low.Stop();
    Tone high(kHighTone);
    ASSERT_TRUE(r.WaitBack(60000));
    high.Stop();
    const tooltest::ToolRun raw = tooltest::Tqk({"raw", s.TqkPath});
    ASSERT_EQ(raw.code, 0) << raw.err;
    const std::vector<COLORREF> colours = FrameColours(raw.out);
    size_t changed = 0;
    while (changed < colours.size() && colours[changed] == kBefore) ++changed;
    ASSERT_LT(changed, colours.size());
    // The low tone stops just after the screen changed, the high one follows.
    const double at = ToneChangeAt(UnixPath(W(s.WavePath)), 4.0);
    EXPECT_GE(at, changed / 10.0 - 0.15);
    EXPECT_LE(at, changed / 10.0 + 0.4);
}

}  // namespace
}  // namespace tqk::test
