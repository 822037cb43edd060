// The real TaviroRec.exe driven from this process: start-up (display, instance, helper,
// positions, data folder) and the settings window through its controls.
#include <windows.h>

#include <tlhelp32.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "capture_info.h"
#include "capture_settings.h"
#include "fault_seam.h"
#include "form2_ids.h"
#include "form2_model.h"
#include "form4_ids.h"
#include "recorder_files.h"
#include "recorder_paths.h"
#include "test_files.h"
#include "win_text.h"
#include "window_driver.h"

namespace tqk::test {
namespace {

namespace ids = tqk::form2_ids;
using tqk::rec::Wide;

const wchar_t* const kForm2Class = L"TaviroRecForm2";
// How long a state the window reaches on its own (a focus moved, a label refreshed) may take
// to show: a bound for a failure only, never a pause, and generous because Wine answers a key
// slowly on a machine shared with other builds.
constexpr DWORD kStateWaitMs = 15000;

std::wstring Exe(const char* path) { return tqk::rec::Wide(path); }

double Now() {
    LARGE_INTEGER c, f;
    QueryPerformanceCounter(&c);
    QueryPerformanceFrequency(&f);
    return double(c.QuadPart) * 1000.0 / double(f.QuadPart);
}

// A program folder of its own: TaviroRec.exe, and what the test adds beside it.
class Staged {
public:
    explicit Staged(const wchar_t* stem) : dir_(stem) {
        EXPECT_TRUE(CopyFileW(Exe(TAVIROREC_EXE).c_str(), File(L"TaviroRec.exe").c_str(), FALSE));
        EXPECT_TRUE(CopyFileW(Exe(TAVIROAVI_DLL).c_str(), File(L"TaviroAvi.dll").c_str(), FALSE));
    }
    std::wstring File(const std::wstring& name) const { return dir_.Path() + name; }
    const std::wstring& Folder() const { return dir_.Path(); }
    void AddHelper(const char* exe) {
        EXPECT_TRUE(CopyFileW(Exe(exe).c_str(), File(L"TaviroWave.exe").c_str(), FALSE));
    }

private:
    TempFolder dir_;
};

// Whether a sound helper runs in the prefix. The helper is one instance only: one still
// ending after its recorder closed turns the next recorder's helper away, and that recorder
// comes up without sound.
bool HelperRunning() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W e{};
    e.dwSize = sizeof e;
    bool found = false;
    for (BOOL ok = Process32FirstW(snap, &e); ok && !found; ok = Process32NextW(snap, &e))
        found = _wcsicmp(e.szExeFile, L"TaviroWave.exe") == 0;
    CloseHandle(snap);
    return found;
}

// A running recorder and its settings window.
struct Recorder {
    ChildProcess process;
    HWND form2 = nullptr;
    double startMs = 0;

    bool Start(const Staged& s, DWORD timeoutMs = 15000) {
        EXPECT_TRUE(WaitUntil([] { return !HelperRunning(); }, 20000))
            << "the last recorder's sound helper does not end";
        const double t0 = Now();
        if (!process.Start(s.File(L"TaviroRec.exe"))) return false;
        form2 = WaitForWindow(process.Id(), kForm2Class, nullptr, timeoutMs);
        startMs = Now() - t0;
        return form2 != nullptr;
    }
    HWND Item(int id) const { return Child(form2, id); }
    std::wstring TextOf(int id) const { return Text(Item(id)); }
    bool Close() {
        if (form2) PostMessageW(form2, WM_CLOSE, 0, 0);
        return process.WaitExit(15000).has_value();
    }
    ~Recorder() {
        if (process.Handle() && !process.WaitExit(0)) process.Kill();
    }
};

std::wstring FromAnsi(const std::string& a) {
    const int n = MultiByteToWideChar(CP_ACP, 0, a.data(), int(a.size()), nullptr, 0);
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, a.data(), int(a.size()), w.data(), n);
    return w;
}

std::vector<std::wstring> Lines(const std::wstring& text) {
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

RECT WorkArea() {
    RECT r{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
    return r;
}

// Selects a page as a click on List1 does.
void SelectPage(const Recorder& r, int page) {
    HWND list = r.Item(ids::List1);
    SendMessageW(list, LB_SETCURSEL, WPARAM(page), 0);
    SendMessageW(r.form2, WM_COMMAND, MAKEWPARAM(ids::List1, LBN_SELCHANGE), LPARAM(list));
}

// Moves a trackbar as the user does, through the window's scroll handler.
void MoveSlider(const Recorder& r, int id, int pos) {
    HWND bar = r.Item(id);
    SendMessageW(bar, TBM_SETPOS, TRUE, pos);
    SendMessageW(r.form2, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, pos), LPARAM(bar));
}

// Clicks a button and waits for the dialog or message box it opens (a posted click).
void Press(const Recorder& r, int id) { Click(r.Item(id)); }

// The focus moves from one control of the window to another as a click into it moves it
// (posted, so a message box the move opens does not block this thread).
class FocusMover {
public:
    explicit FocusMover(HWND window) : thread_(GetWindowThreadProcessId(window, nullptr)) {}
    bool To(HWND control) const {
        PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        PostMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
        return WaitUntil([&] { return Focus() == control; }, kStateWaitMs);
    }
    HWND Focus() const {
        GUITHREADINFO gi{};
        gi.cbSize = sizeof gi;
        return GetGUIThreadInfo(thread_, &gi) ? gi.hwndFocus : nullptr;
    }

private:
    DWORD thread_ = 0;
};

TEST(RecorderStart, WithoutHelperTheWindowComesAtOnceWithoutSound) {
    Staged s(L"rec_nohelper");
    Recorder r;
    ASSERT_TRUE(r.Start(s));
    std::printf("start-up to the settings window without a helper: %.0f ms\n", r.startMs);
    EXPECT_LT(r.startMs, 4000);
    EXPECT_FALSE(IsWindowEnabled(r.Item(ids::Check3)));
    EXPECT_EQ(Text(r.form2), L"キャプチャ設定");
    ASSERT_TRUE(r.Close());
    // Defaults written at shutdown: six lines, positions inside the work area.
    const std::optional<std::string> ini = ReadBytes(s.File(L"TVRSetting.ini"));
    ASSERT_TRUE(ini);
    const std::vector<std::wstring> lines = Lines(FromAnsi(*ini));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], L"//Taviro Setting");
    EXPECT_EQ(lines[1], L"//順番は変更不可です。");
    EXPECT_NE(lines[2].find(L" //キャプチャウィンドウのX"), std::wstring::npos);
    EXPECT_NE(lines[5].find(L" //AVIウィンドウのY"), std::wstring::npos);
    const RECT work = WorkArea();
    const int recX = _wtoi(lines[2].c_str()), recY = _wtoi(lines[3].c_str());
    EXPECT_GT(recX, work.left);
    EXPECT_LT(recX, work.right);
    EXPECT_GT(recY, work.top);
    EXPECT_LT(recY, work.bottom);
    EXPECT_FALSE(Exists(s.File(L"TVRSetting.ini.tmp~")));
}

TEST(RecorderStart, AHelperThatNeverAnswersCostsFiveSeconds) {
    Staged s(L"rec_silent");
    s.AddHelper(SILENT_HELPER_EXE);
    Recorder r;
    ASSERT_TRUE(r.Start(s, 20000));
    std::printf("start-up with a helper that never answers: %.0f ms\n", r.startMs);
    EXPECT_GE(r.startMs, 4900);
    EXPECT_LT(r.startMs, 9000);
    EXPECT_FALSE(IsWindowEnabled(r.Item(ids::Check3)));
    EXPECT_TRUE(r.Close());
}

TEST(RecorderStart, WithTheHelperSoundFormatsComeFromTheDevice) {
    Staged s(L"rec_helper");
    s.AddHelper(TAVIROWAVE_EXE);
    Recorder r;
    ASSERT_TRUE(r.Start(s));
    std::printf("start-up to the settings window with the helper: %.0f ms\n", r.startMs);
    EXPECT_TRUE(IsWindowEnabled(r.Item(ids::Check3)));
    HWND combo1 = r.Item(ids::Combo1);
    ASSERT_EQ(SendMessageW(combo1, CB_GETCOUNT, 0, 0), 12);
    wchar_t first[64] = L"";
    SendMessageW(combo1, CB_GETLBTEXT, 0, LPARAM(first));
    EXPECT_STREQ(first, L"44.100kHz ｽﾃﾚｵ 16 ﾋﾞｯﾄ");
    EXPECT_EQ(SendMessageW(combo1, CB_GETCURSEL, 0, 0), 0);
    // No recording source can be selected here: the list holds the default only, disabled.
    HWND combo2 = r.Item(ids::Combo2);
    EXPECT_EQ(SendMessageW(combo2, CB_GETCOUNT, 0, 0), 1);
    EXPECT_FALSE(IsWindowEnabled(combo2));
    // The sound box switches the sound controls.
    SelectPage(r, 2);
    ASSERT_TRUE(SetChecked(r.Item(ids::Check3), true));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(combo1) != FALSE; }, kStateWaitMs));
    EXPECT_TRUE(IsWindowEnabled(r.Item(ids::Check4)));
    EXPECT_NE(r.TextOf(ids::Picture2).find(L"44.100KHz ステレオ 16ビット"), std::wstring::npos);
    ASSERT_TRUE(SetChecked(r.Item(ids::Check3), false));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowEnabled(combo1); }, kStateWaitMs));
    EXPECT_TRUE(r.Close());
}

TEST(RecorderStart, PositionsFromAnEditedFileArePulledOntoTheScreen) {
    Staged s(L"rec_ini");
    ASSERT_TRUE(WriteBytes(s.File(L"TVRSetting.ini"), "x\r\ny\r\n100\r\n200\r\n-99999\r\n50\r\n"));
    Recorder r;
    ASSERT_TRUE(r.Start(s));
    ASSERT_TRUE(r.Close());
    const std::optional<std::string> ini = ReadBytes(s.File(L"TVRSetting.ini"));
    ASSERT_TRUE(ini);
    const std::vector<std::wstring> lines = Lines(FromAnsi(*ini));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2], L"100 //キャプチャウィンドウのX");
    EXPECT_EQ(lines[3], L"200 //キャプチャウィンドウのY");
    EXPECT_EQ(lines[4], L"0 //AVIウィンドウのX") << "far off the left edge: back on the screen";
    EXPECT_EQ(lines[5], L"50 //AVIウィンドウのY");
}

TEST(RecorderStart, AFailedRewriteLeavesTheOldPositionFile) {
    Staged s(L"rec_inifault");
    const std::string old = "//Taviro Setting\r\n//x\r\n10 //a\r\n20 //b\r\n30 //c\r\n40 //d\r\n";
    ASSERT_TRUE(WriteBytes(s.File(L"TVRSetting.ini"), old));
    for (const wchar_t* fault : {L"write:1", L"flush:1", L"rename:1"}) {
        SCOPED_TRACE(Utf8FromWide(fault));
        Recorder r;
        const double t0 = Now();
        ASSERT_TRUE(r.process.Start(s.File(L"TaviroRec.exe"), L"", {{L"TAVIRO_FAULT", fault}}));
        r.form2 = WaitForWindow(r.process.Id(), kForm2Class, nullptr, 15000);
        r.startMs = Now() - t0;
        ASSERT_NE(r.form2, nullptr);
        ASSERT_TRUE(r.Close());
        EXPECT_EQ(ReadBytes(s.File(L"TVRSetting.ini")).value_or(""), old);
        EXPECT_FALSE(Exists(s.File(L"TVRSetting.ini.tmp~")));
    }
}

// The settings file saved with every write, flush and rename failed in turn: the save says it
// failed (the window then shows its message) and the old file is left whole, with no scratch
// copy beside it.
TEST(RecorderFiles, AFailedSettingsSaveKeepsTheOldFile) {
    TempFolder dir(L"rec_tqpfault");
    const std::wstring path = dir.Path() + L"設定.TQP";
    rec::CaptureSettings old = rec::DefaultSettings(true), changed = old;
    old.TqkPath = "c:\\movies\\old.TQK";
    changed.TqkPath = "c:\\movies\\new.TQK";
    changed.Fps = 12;
    ASSERT_TRUE(rec::SaveSettingsFile(path, old));
    const std::optional<std::string> oldBytes = ReadBytes(path);
    ASSERT_TRUE(oldBytes);
    using fault::Op;
    for (const Op op : {Op::kWrite, Op::kFlush, Op::kRename}) {
        for (int n = 1;; ++n) {
            SCOPED_TRACE(std::string(fault::OpName(op)) + " call " + std::to_string(n));
            ASSERT_LT(n, 100);
            fault::Arm(op, n);
            const bool saved = rec::SaveSettingsFile(path, changed);
            const bool fired = fault::Fired();
            fault::Disarm();
            EXPECT_FALSE(Exists(path + L".tmp~"));
            if (!fired) {
                EXPECT_TRUE(saved);
                rec::CaptureSettings back;
                EXPECT_EQ(rec::LoadSettingsFile(path, &back), rec::TqpStatus::kOk);
                EXPECT_EQ(back.TqkPath, changed.TqkPath);
                EXPECT_EQ(back.Fps, 12);
                ASSERT_TRUE(WriteBytes(path, *oldBytes));
                EXPECT_GT(n, 1) << "no " << fault::OpName(op) << " call reached";
                break;
            }
            EXPECT_FALSE(saved) << "a failed " << fault::OpName(op) << " reported as success";
            EXPECT_EQ(ReadBytes(path), oldBytes);
        }
    }
}

TEST(RecorderStart, ASecondInstanceIsRefused) {
    Staged s(L"rec_twice");
    Recorder first;
    ASSERT_TRUE(first.Start(s));
    ChildProcess second;
    ASSERT_TRUE(second.Start(s.File(L"TaviroRec.exe")));
    const std::optional<MessageBoxInfo> box = WaitForMessageBox(second.Id(), 10000);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, L"既に起動しています。");
    EXPECT_TRUE(AnswerMessageBox(*box, IDOK));
    EXPECT_TRUE(second.WaitExit(10000).has_value());
    EXPECT_TRUE(first.Close());
}

TEST(RecorderStart, EightBitDisplayIsRefused) {
    // Run by recorder_eight_bit on the 8-bit display.
    HDC screen = GetDC(nullptr);
    const int bits = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    ASSERT_EQ(bits, 8) << "needs the 8-bit display (TAVIRO_DISPLAY_DEPTH=8)";
    Staged s(L"rec_8bit");
    ChildProcess p;
    ASSERT_TRUE(p.Start(s.File(L"TaviroRec.exe")));
    const std::optional<MessageBoxInfo> box = WaitForMessageBox(p.Id(), 10000);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, L"ディスプレイの解像度が8ビットは対応してません。");
    EXPECT_TRUE(AnswerMessageBox(*box, IDOK));
    EXPECT_TRUE(p.WaitExit(10000).has_value());
    EXPECT_EQ(WaitForWindow(p.Id(), kForm2Class, nullptr, 0), nullptr);
}

bool AnswerFileDialog(DWORD pid, const std::wstring& path);

// The folder made unwritable even for root (the tests run as root under Wine).
class Immutable {
public:
    explicit Immutable(const std::wstring& folder) : unix_(UnixPath(folder)) {
        const auto out = RunUnixCommand("chattr +i '" + unix_ + "'", 10000);
        ok_ = out.has_value() && !FolderWritable(folder);
    }
    ~Immutable() { RunUnixCommand("chattr -i '" + unix_ + "'", 10000); }
    bool ok() const { return ok_; }
    static bool FolderWritable(const std::wstring& folder) {
        return tqk::rec::FolderIsWritable(folder);
    }

private:
    std::string unix_;
    bool ok_ = false;
};

TEST(RecorderStart, AReadOnlyProgramFolderKeepsFilesInTheUsersFolder) {
    wchar_t appData[MAX_PATH] = L"";
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData)));
    const std::wstring user = std::wstring(appData) + L"\\Taviro\\";
    RemoveTree(user);
    Staged s(L"rec_readonly");
    {
        Immutable lock(s.Folder());
        ASSERT_TRUE(lock.ok()) << "the folder could not be made read-only";
        Recorder r;
        ASSERT_TRUE(r.Start(s));
        // Settings saved under the proposed name go to the user's settings folder; a name in
        // the read-only program folder is refused with the message.
        Press(r, ids::Command7);
        HWND dlg = WaitForWindow(r.process.Id(), L"#32770", nullptr, 10000);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(Text(FileNameBox(dlg)), L"default.TQP");
        ASSERT_TRUE(CloseFileDialog(dlg, true));
        EXPECT_TRUE(WaitUntil([&] { return Exists(user + L"settings\\default.TQP"); }, 5000));
        Press(r, ids::Command7);
        ASSERT_TRUE(AnswerFileDialog(r.process.Id(), s.File(L"x.TQP")));
        const std::optional<MessageBoxInfo> m = WaitForMessageBox(r.process.Id(), 5000);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->text, L"保存に失敗しました。");
        EXPECT_TRUE(AnswerMessageBox(*m, IDOK));
        ASSERT_TRUE(r.Close());
    }
    EXPECT_FALSE(Exists(s.File(L"TVRSetting.ini")));
    EXPECT_FALSE(Exists(s.File(L"x.TQP")));
    EXPECT_FALSE(Exists(s.File(L"settings")));
    tqk::rec::CaptureSettings saved;
    EXPECT_EQ(tqk::rec::LoadSettingsFile(user + L"settings\\default.TQP", &saved),
              tqk::rec::TqpStatus::kOk);
    const std::optional<std::string> ini = ReadBytes(user + L"TVRSetting.ini");
    ASSERT_TRUE(ini);
    EXPECT_EQ(Lines(FromAnsi(*ini)).size(), 6u);
    RemoveTree(user);
}

// ---- The settings window ----

class Form2Test : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(r.Start(s)); }
    void TearDown() override { EXPECT_TRUE(r.Close()); }
    Staged s{L"rec_form2"};
    Recorder r;
};

TEST_F(Form2Test, PagesSwitchThroughTheList) {
    const int pageControl[5] = {ids::Option1(0), ids::Text1(0), ids::HScroll1(0), ids::Option2(0),
                                ids::HotKey1(0)};
    for (int page = 0; page < 5; ++page) {
        SelectPage(r, page);
        for (int other = 0; other < 5; ++other) {
            EXPECT_EQ(IsWindowVisible(r.Item(pageControl[other])) != FALSE, other == page)
                << "page " << page << " control of page " << other;
        }
    }
}

TEST_F(Form2Test, BoxesAreValidatedWhenTheFocusMovesOn) {
    SelectPage(r, 1);
    FocusMover focus(r.form2);
    struct Case {
        int box;
        const wchar_t* typed;
        const wchar_t* shown;  // nullptr: refused
    } cases[] = {
        {2, L"321", L"324"}, {2, L"0", nullptr},  {3, L"0", nullptr},
        {0, L"-50", L"-50"}, {3, L"12.6", L"13"}, {1, L"7abc", L"7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.box);
        HWND box = r.Item(ids::Text1(c.box));
        HWND next = r.Item(ids::Text1((c.box + 1) % 4));
        ASSERT_TRUE(focus.To(box));
        SetText(box, c.typed);
        PostMessageW(next, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        PostMessageW(next, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
        if (c.shown) {
            EXPECT_TRUE(WaitUntil([&] { return Text(box) == c.shown; }, kStateWaitMs)) << Text(box);
        } else {
            const std::optional<MessageBoxInfo> m = WaitForMessageBox(r.process.Id(), 5000);
            ASSERT_TRUE(m);
            EXPECT_EQ(m->text, L"不正な数字です。");
            EXPECT_TRUE(AnswerMessageBox(*m, IDOK));
            EXPECT_TRUE(WaitUntil([&] { return focus.Focus() == box; }, kStateWaitMs))
                << "the focus stays in the refused box";
            SetText(box, L"240");
            ASSERT_TRUE(focus.To(next));
        }
    }
    EXPECT_NE(r.TextOf(ids::Picture2).find(L"キャプチャ領域 (-50,7 - 190,20)"), std::wstring::npos)
        << Utf8FromWide(r.TextOf(ids::Picture2));
}

TEST_F(Form2Test, EnableRules) {
    SelectPage(r, 1);
    ASSERT_TRUE(SetChecked(r.Item(ids::Check1(0)), false));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowEnabled(r.Item(ids::Check1(1))); }, kStateWaitMs));
    ASSERT_TRUE(SetChecked(r.Item(ids::Check1(0)), true));
    EXPECT_TRUE(
        WaitUntil([&] { return IsWindowEnabled(r.Item(ids::Check1(1))) != FALSE; }, kStateWaitMs));
    ASSERT_TRUE(SetChecked(r.Item(ids::Check5), true));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowEnabled(r.Item(ids::Text1(0))); }, kStateWaitMs));
    EXPECT_FALSE(IsWindowEnabled(r.Item(ids::Text1(1))));
    EXPECT_FALSE(IsWindowEnabled(r.Item(ids::LabelPosition)));
    EXPECT_TRUE(IsWindowEnabled(r.Item(ids::Text1(2))));
    EXPECT_NE(r.TextOf(ids::Picture2).find(L"マウスに追従 Yes"), std::wstring::npos);
    ASSERT_TRUE(SetChecked(r.Item(ids::Check5), false));
    EXPECT_TRUE(
        WaitUntil([&] { return IsWindowEnabled(r.Item(ids::Text1(0))) != FALSE; }, kStateWaitMs));
}

TEST_F(Form2Test, SlidersLabelsAndTheDiskEstimate) {
    SelectPage(r, 2);
    MoveSlider(r, ids::HScroll1(1), 90);
    EXPECT_EQ(r.TextOf(ids::LabelHs1(1)), L"1:30sec");
    MoveSlider(r, ids::HScroll1(1), 65);
    EXPECT_EQ(r.TextOf(ids::LabelHs1(1)), L"1:5sec");
    MoveSlider(r, ids::HScroll1(0), 15);
    EXPECT_EQ(r.TextOf(ids::LabelHs1(0)), L"15fps");
    SelectPage(r, 0);
    MoveSlider(r, ids::HScroll2(0), 2);
    EXPECT_EQ(r.TextOf(ids::LabelHs2(0)), L"回数 2");
    EXPECT_NE(r.TextOf(ids::Picture2).find(L"CPU解放 回数 2 時間 1"), std::wstring::npos);
    // 320 x 240 at 32 bits, 15 fps, 65 s, movie and AVI: 2 x 65 x 307 200 x 15.
    EXPECT_EQ(r.TextOf(ids::Label9), L"599,040,000 Bytes.");
    SelectPage(r, 3);
    Click(r.Item(ids::Option2(2)));
    EXPECT_TRUE(
        WaitUntil([&] { return r.TextOf(ids::Label9) == L"299,520,000 Bytes."; }, kStateWaitMs))
        << r.TextOf(ids::Label9);
    EXPECT_NE(r.TextOf(ids::Picture2).find(L"---AVIは作成しません---"), std::wstring::npos);

    // The cost of one slider move (label, estimate and information), measured here.
    SelectPage(r, 2);
    const int moves = 100;
    const double t0 = Now();
    for (int i = 0; i < moves; ++i) MoveSlider(r, ids::HScroll1(1), 1 + i * 36);
    const double perMove = (Now() - t0) / moves;
    // The same two messages to a control that does nothing with them: the cost of the
    // driving itself.
    const double t1 = Now();
    for (int i = 0; i < moves; ++i) {
        SendMessageW(r.Item(ids::HScroll1(1)), TBM_SETPOS, TRUE, 1 + i * 36);
        SendMessageW(r.Item(ids::Label12), WM_HSCROLL, 0, 0);
    }
    const double driving = (Now() - t1) / moves;
    std::printf(
        "one slider move (label, disk estimate, capture information): %.2f ms, of which "
        "%.2f ms the two cross-process messages\n",
        perMove, driving);
}

TEST_F(Form2Test, OverwriteQuestionNamesTheFilesThatWillBeWritten) {
    TempFolder out(L"rec_out");
    const std::wstring tqk = out.Path() + L"m.TQK";
    ASSERT_TRUE(WriteBytes(tqk, "x"));
    ASSERT_TRUE(WriteBytes(out.Path() + L"m.avi", "x"));
    SetText(r.Item(ids::Text2), tqk);
    // "TQKだけ作成": the AVI is not named.
    SelectPage(r, 3);
    Click(r.Item(ids::Option2(2)));
    WaitUntil([&] { return IsChecked(r.Item(ids::Option2(2))); }, kStateWaitMs);
    Press(r, ids::Command5);
    std::optional<MessageBoxInfo> m = WaitForMessageBox(r.process.Id(), 5000);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->text, L"m.TQKは存在しています。\r\n全て上書きしてよろしいですか？");
    EXPECT_TRUE(m->Has(IDYES) && m->Has(IDNO));
    EXPECT_TRUE(AnswerMessageBox(*m, IDNO));
    // "AVIとTQKを作成": both.
    Click(r.Item(ids::Option2(0)));
    WaitUntil([&] { return IsChecked(r.Item(ids::Option2(0))); }, kStateWaitMs);
    Press(r, ids::Command5);
    m = WaitForMessageBox(r.process.Id(), 5000);
    ASSERT_TRUE(m);
    EXPECT_EQ(
        m->text,
        L"m.TQKは存在しています。\r\nm.aviは存在しています。\r\n全て上書きしてよろしいですか？");
    EXPECT_TRUE(AnswerMessageBox(*m, IDNO));
    // A folder that does not exist.
    SetText(r.Item(ids::Text2), out.Path() + L"nowhere\\m.TQK");
    Press(r, ids::Command5);
    m = WaitForMessageBox(r.process.Id(), 5000);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->text,
              out.Path() + L"nowhere\\m.TQKは無効です\r\n保存先ファイル名、ドライブを確認下さい");
    EXPECT_TRUE(AnswerMessageBox(*m, IDOK));
}

BOOL CALLBACK FindEdit(HWND hwnd, LPARAM lp) {
    wchar_t cls[32] = L"";
    GetClassNameW(hwnd, cls, 32);
    if (lstrcmpiW(cls, L"Edit") != 0) return TRUE;
    *reinterpret_cast<HWND*>(lp) = hwnd;
    return FALSE;
}

// The first edit control among the descendants of a window.
HWND FirstEdit(HWND parent) {
    HWND found = nullptr;
    EnumChildWindows(parent, FindEdit, reinterpret_cast<LPARAM>(&found));
    return found;
}

// The file dialog the window opened, its name box filled and confirmed.
bool AnswerFileDialog(DWORD pid, const std::wstring& path) {
    HWND dlg = WaitForWindow(pid, L"#32770", nullptr, 10000);
    if (!dlg) {
        std::printf("no file dialog\n");
        return false;
    }
    HWND edit = nullptr;
    WaitUntil(
        [&] {
            HWND combo = GetDlgItem(dlg, 1148);
            edit = combo ? FirstEdit(combo) : nullptr;
            if (!edit) edit = GetDlgItem(dlg, 1152);
            return edit != nullptr;
        },
        5000);
    if (!edit) {
        std::printf("file dialog without a name box\n");
        return false;
    }
    SetText(edit, path);
    PostMessageW(dlg, WM_COMMAND, IDOK, 0);
    return WaitUntil([&] { return !IsWindow(dlg); }, 10000);
}

TEST_F(Form2Test, SaveAndLoadThroughTheFileDialogs) {
    TempFolder out(L"rec_tqp");
    const std::wstring file = out.Path() + L"設定.TQP";
    Press(r, ids::Command7);
    ASSERT_TRUE(AnswerFileDialog(r.process.Id(), file));
    // The file takes its name only once it is whole (it is written beside and renamed).
    ASSERT_TRUE(WaitUntil([&] { return Exists(file); }, kStateWaitMs));
    // What the defaults on this display should write.
    tqk::rec::CaptureSettings want = tqk::rec::DefaultSettings(true);
    want.AviPath = "c:\\test.avi";
    HDC screen = GetDC(nullptr);
    want.DisplayDepth = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    std::string wantBytes;
    ASSERT_EQ(tqk::rec::EncodeTqp(want, tqk::rec::SystemAnsiCodec(), &wantBytes),
              tqk::rec::TqpStatus::kOk);
    EXPECT_EQ(ReadBytes(file).value_or(""), wantBytes);

    // Changed, then loaded back.
    SelectPage(r, 2);
    MoveSlider(r, ids::HScroll1(0), 77);
    EXPECT_EQ(r.TextOf(ids::LabelHs1(0)), L"77fps");
    Press(r, ids::Command10);
    ASSERT_TRUE(AnswerFileDialog(r.process.Id(), file));
    EXPECT_TRUE(WaitUntil([&] { return r.TextOf(ids::LabelHs1(0)) == L"30fps"; }, 5000));

    // A damaged file: the message, and nothing changes.
    MoveSlider(r, ids::HScroll1(0), 55);
    ASSERT_TRUE(WriteBytes(file, wantBytes.substr(0, 40)));
    Press(r, ids::Command10);
    ASSERT_TRUE(AnswerFileDialog(r.process.Id(), file));
    const std::optional<MessageBoxInfo> m = WaitForMessageBox(r.process.Id(), 5000);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->text, L"読み込みに失敗しました。");
    EXPECT_TRUE(AnswerMessageBox(*m, IDOK));
    EXPECT_EQ(r.TextOf(ids::LabelHs1(0)), L"55fps");

    // Restore defaults.
    Press(r, ids::Command9);
    EXPECT_TRUE(WaitUntil([&] { return r.TextOf(ids::LabelHs1(0)) == L"30fps"; }, 5000));
}

TEST_F(Form2Test, CompressorDialogCancelledKeepsTheLabel) {
    SelectPage(r, 3);
    EXPECT_EQ(r.TextOf(ids::Label11), L"未圧縮");
    Press(r, ids::Command8);
    HWND dlg = WaitForWindow(r.process.Id(), L"#32770", nullptr, 10000);
    ASSERT_NE(dlg, nullptr);
    PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dlg); }, 10000));
    EXPECT_EQ(r.TextOf(ids::Label11), L"未圧縮");
}

TEST_F(Form2Test, CompressorChosenIsShownInTheLabelAndTheInformation) {
    SelectPage(r, 3);
    Press(r, ids::Command8);
    HWND dlg = WaitForWindow(r.process.Id(), L"#32770", nullptr, 10000);
    ASSERT_NE(dlg, nullptr);
    PostMessageW(dlg, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dlg); }, 10000));
    const std::wstring label = r.TextOf(ids::Label11);
    EXPECT_FALSE(label.empty());
    const std::vector<std::wstring> info = Lines(r.TextOf(ids::Picture2));
    ASSERT_GT(info.size(), 1u);
    EXPECT_EQ(info[1], label) << "the information names the chosen compressor";
}

// Pure red pixels of the screen inside a window.
int RedPixels(HWND window) {
    RECT rc{};
    GetWindowRect(window, &rc);
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
    GdiFlush();
    int red = 0;
    const uint32_t* p = static_cast<const uint32_t*>(bits);
    for (int i = 0; bits && i < w * h; ++i) red += (p[i] & 0xFFFFFF) == 0xFF0000;
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return red;
}

TEST_F(Form2Test, TheEstimateTurnsRedWhenItWillNotFit) {
    SetForegroundWindow(r.form2);
    SelectPage(r, 2);
    EXPECT_TRUE(WaitUntil([&] { return RedPixels(r.Item(ids::Label9)) == 0; }, kStateWaitMs));
    // An hour at 100 fps of 1024 x 768: terabytes, more than any disk here.
    SelectPage(r, 1);
    SetText(r.Item(ids::Text1(2)), L"1024");
    SetText(r.Item(ids::Text1(3)), L"768");
    SelectPage(r, 2);
    MoveSlider(r, ids::HScroll1(0), 100);
    MoveSlider(r, ids::HScroll1(1), 3600);
    EXPECT_EQ(r.TextOf(ids::Label9), L"2,264,924,160,000 Bytes.");
    EXPECT_TRUE(WaitUntil([&] { return RedPixels(r.Item(ids::Label9)) > 20; }, kStateWaitMs));
    MoveSlider(r, ids::HScroll1(1), 1);
    MoveSlider(r, ids::HScroll1(0), 1);
    EXPECT_TRUE(WaitUntil([&] { return RedPixels(r.Item(ids::Label9)) == 0; }, kStateWaitMs));
}

TEST_F(Form2Test, AboutWindowShowsTheVersion) {
    Press(r, ids::Command12);
    HWND about = WaitForWindow(r.process.Id(), L"#32770", L"バージョン情報", 10000);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(Text(GetDlgItem(about, tqk::form4_ids::Label2)), L"Version 1.0   Revision 1");
    Click(GetDlgItem(about, tqk::form4_ids::Command1));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }, 5000));
}

// ---- Each handler that refreshes the disk estimate ----

// The recorder with the sound helper, so that the sound controls can be used.
class Form2SoundTest : public testing::Test {
protected:
    void SetUp() override {
        s.AddHelper(TAVIROWAVE_EXE);
        ASSERT_TRUE(r.Start(s));
        ASSERT_TRUE(IsWindowEnabled(r.Item(ids::Check3))) << "no sound helper or device";
    }
    void TearDown() override { EXPECT_TRUE(r.Close()); }
    Staged s{L"rec_form2snd"};
    Recorder r;
};

// The window's size and sliders changed without their handlers running (as no user can), so
// only the handler fired next can bring the estimate up to date.
void SetSilently(const Recorder& r, int w, int h, int fps, int sec) {
    SetText(r.Item(ids::Text1(2)), std::to_wstring(w));
    SetText(r.Item(ids::Text1(3)), std::to_wstring(h));
    SendMessageW(r.Item(ids::HScroll1(0)), TBM_SETPOS, TRUE, fps);
    SendMessageW(r.Item(ids::HScroll1(1)), TBM_SETPOS, TRUE, sec);
}

TEST_F(Form2SoundTest, EveryHandlerOfTheTableRefreshesTheEstimateAndItsColour) {
    SetForegroundWindow(r.form2);
    FocusMover focus(r.form2);
    const auto slider = [&](int id) {
        return [&r = r, id] {
            HWND bar = r.Item(id);
            SendMessageW(r.form2, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), LPARAM(bar));
        };
    };
    const auto click = [&](int id) { return [&r = r, id] { Click(r.Item(id)); }; };
    // 1024 x 768 at 32 bits, 100 fps, an hour: 1,132,462,080,000 bytes of movie and as many
    // of AVI; 320 x 240 for one second at 1 fps: 307,200 and 307,200.
    struct Case {
        const char* handler;
        int page;                      // where its control is (-1: outside the pages)
        std::function<void()> before;  // puts the window where the handler means something
        std::function<void()> fire;
        const wchar_t* big;    // after firing with the large figures (red on any disk here)
        const wchar_t* small;  // after firing again with the small ones
    } cases[] = {
        {"HScroll1(0)", 2, nullptr, slider(ids::HScroll1(0)), L"2,264,924,160,000 Bytes.",
         L"614,400 Bytes."},
        {"HScroll1(1)", 2, nullptr, slider(ids::HScroll1(1)), L"2,264,924,160,000 Bytes.",
         L"614,400 Bytes."},
        {"HScroll2(0)", 0, nullptr, slider(ids::HScroll2(0)), L"2,264,924,160,000 Bytes.",
         L"614,400 Bytes."},
        {"HScroll2(1)", 0, nullptr, slider(ids::HScroll2(1)), L"2,264,924,160,000 Bytes.",
         L"614,400 Bytes."},
        // The movie only, then still the movie only.
        {"Option2(2)", 3, nullptr, click(ids::Option2(2)), L"1,132,462,080,000 Bytes.",
         L"307,200 Bytes."},
        {"Option2(1)", 3, click(ids::Option2(2)), click(ids::Option2(1)),
         L"2,264,924,160,000 Bytes.", L"614,400 Bytes."},
        {"Option2(0)", 3, click(ids::Option2(2)), click(ids::Option2(0)),
         L"2,264,924,160,000 Bytes.", L"614,400 Bytes."},
        // On: the AVI at 24 bits (849,346,560,000); off again.
        {"Check6", 3, nullptr, click(ids::Check6), L"1,981,808,640,000 Bytes.", L"614,400 Bytes."},
        {"Check7", 0, nullptr, click(ids::Check7), L"2,264,924,160,000 Bytes.", L"614,400 Bytes."},
        // On: 44.1 kHz stereo 16-bit sound, 176,400 bytes a second; off again.
        {"Check3", 2, nullptr, click(ids::Check3), L"2,265,559,200,000 Bytes.", L"614,400 Bytes."},
        // With sound on: the last entry (11.025 kHz mono 8-bit), then the first again.
        {"Combo1", 2, click(ids::Check3),
         [&] {
             HWND combo = r.Item(ids::Combo1);
             const int n = int(SendMessageW(combo, CB_GETCOUNT, 0, 0));
             const int at = int(SendMessageW(combo, CB_GETCURSEL, 0, 0));
             ChooseComboEntry(combo, at == 0 ? n - 1 : 0);
         },
         L"2,264,963,850,000 Bytes.", L"790,800 Bytes."},
        {"Text2 loses the focus", -1, [&] { ASSERT_TRUE(focus.To(r.Item(ids::Text2))); },
         [&] {
             ASSERT_TRUE(focus.To(r.Item(ids::Text2)));
             ASSERT_TRUE(focus.To(r.Item(ids::Command6)));
         },
         L"2,264,924,160,000 Bytes.", L"614,400 Bytes."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.handler);
        if (c.page >= 0) SelectPage(r, c.page);
        Press(r, ids::Command9);  // the defaults: 320 x 240, 30 fps, 20 s, movie and AVI
        ASSERT_TRUE(
            WaitUntil([&] { return r.TextOf(ids::Label9) == L"368,640,000 Bytes."; }, kStateWaitMs))
            << Utf8FromWide(r.TextOf(ids::Label9));
        if (c.before) {
            c.before();
            Sleep(100);
        }
        const std::wstring before = r.TextOf(ids::Label9);
        SetSilently(r, 1024, 768, 100, 3600);
        ASSERT_EQ(r.TextOf(ids::Label9), before) << "nothing has refreshed it yet";
        c.fire();
        EXPECT_TRUE(WaitUntil([&] { return r.TextOf(ids::Label9) == c.big; }, kStateWaitMs))
            << Utf8FromWide(r.TextOf(ids::Label9));
        EXPECT_TRUE(WaitUntil([&] { return RedPixels(r.Item(ids::Label9)) > 20; }, kStateWaitMs));
        SetSilently(r, 320, 240, 1, 1);
        c.fire();
        EXPECT_TRUE(WaitUntil([&] { return r.TextOf(ids::Label9) == c.small; }, kStateWaitMs))
            << Utf8FromWide(r.TextOf(ids::Label9));
        EXPECT_TRUE(WaitUntil([&] { return RedPixels(r.Item(ids::Label9)) == 0; }, kStateWaitMs));
        // The information follows the estimate.
        EXPECT_NE(r.TextOf(ids::Picture2).find(L"キャプチャ頻度 1fps."), std::wstring::npos)
            << Utf8FromWide(r.TextOf(ids::Picture2));
    }
}

// ---- The keyboard ----

// The controls of each page that a user operates, in frame-index order.
const std::vector<int> kPageControls[5] = {
    {ids::Option1(0), ids::Option1(1), ids::Option1(2), ids::HScroll2(0), ids::HScroll2(1),
     ids::Combo3, ids::Check7},
    {ids::Text1(0), ids::Text1(1), ids::Text1(2), ids::Text1(3), ids::Check1(0), ids::Check1(1),
     ids::Command1, ids::Check5},
    {ids::HScroll1(0), ids::HScroll1(1), ids::Check2, ids::Check8, ids::Check9, ids::Check3,
     ids::Combo1, ids::Combo2, ids::Check4},
    {ids::Option2(0), ids::Option2(1), ids::Option2(2), ids::Command8, ids::Check6},
    {ids::CheckHotkey(0), ids::HotKey1(0), ids::CheckHotkey(1), ids::HotKey1(1), ids::Command13},
};
// Those outside the pages.
const std::vector<int> kOutsideControls = {
    ids::List1,    ids::Command6, ids::Text2,     ids::Command2, ids::Command3,  ids::Command5,
    ids::Command4, ids::Command7, ids::Command10, ids::Command9, ids::Command11, ids::Command12};

bool Contains(const std::vector<int>& v, int id) {
    return std::find(v.begin(), v.end(), id) != v.end();
}

// A radio group is one tab stop; its place is that of the whole group.
tqk::IdBlock RadioGroupOf(int id) {
    for (tqk::IdBlock b : {ids::Option1, ids::Option2})
        if (b.Contains(id)) return b;
    return {id, 1};
}

RECT PlaceOf(HWND form, int id) {
    RECT all{};
    const tqk::IdBlock group = RadioGroupOf(id);
    for (int i = 0; i < group.count; ++i) {
        RECT r{};
        GetWindowRect(GetDlgItem(form, group(i)), &r);
        if (i == 0)
            all = r;
        else
            UnionRect(&all, &all, &r);
    }
    return all;
}

// b follows a when read top to bottom, and left to right on one row.
bool ReadsAfter(const RECT& a, const RECT& b) {
    if (b.top >= a.bottom) return true;
    if (b.bottom <= a.top) return false;
    return b.left > a.left;
}

// Controls a keyboard user must be able to reach: the window's visible, enabled buttons
// (but group boxes), boxes, lists and sliders.
bool TakesInput(HWND c) {
    if (!IsWindowVisible(c) || !IsWindowEnabled(c)) return false;
    const std::wstring cls = ClassName(c);
    if (_wcsicmp(cls.c_str(), L"Button") == 0)
        return (GetWindowLongPtrW(c, GWL_STYLE) & BS_TYPEMASK) != BS_GROUPBOX;
    for (const wchar_t* k : {L"Edit", L"ComboBox", L"ListBox", TRACKBAR_CLASSW})
        if (_wcsicmp(cls.c_str(), k) == 0) return true;
    return false;
}

// The control of form (or of a dialog) that has the focus. Another test's window may take the
// foreground meanwhile, leaving the focus nobody's: the window is then brought back, and it
// gives the focus back to the control that had it.
HWND FocusIn(HWND form) {
    if (!FocusedWindow(form)) {
        SetForegroundWindow(form);
        WaitUntil([&] { return FocusedWindow(form) != nullptr; }, kStateWaitMs);
    }
    return FocusedWindow(form);
}

// The ids of the controls Tab visits from the focused one until the focus is back there;
// empty when it never comes back within 60 presses or gets stuck.
std::vector<int> TabCycle(HWND form) {
    const auto focus = [form] { return FocusIn(form); };
    const HWND start = focus();
    std::vector<int> cycle;
    if (!start) return cycle;
    cycle.push_back(GetDlgCtrlID(start));
    for (int i = 0; i < 60; ++i) {
        const HWND from = focus();
        PressKey(from, VK_TAB);
        if (!WaitUntil([&] { return focus() != from; }, kStateWaitMs)) return {};
        const HWND now = focus();
        if (now == start) return cycle;
        cycle.push_back(GetParent(now) == form ? GetDlgCtrlID(now) : -1);
    }
    return {};
}

std::string Names(const std::vector<int>& ids) {
    std::string s;
    for (int id : ids) s += std::to_string(id) + " ";
    return s;
}

// The tab order while page is shown, from the page list round to it: the list, then the page
// it shows, then the rest of the window, each read top to bottom and left to right; every
// control a user can operate is reached, and none of another page.
void ExpectTabOrder(const Recorder& r, int page) {
    SCOPED_TRACE("page " + std::to_string(page));
    ASSERT_EQ(FocusIn(r.form2), r.Item(ids::List1));
    const std::vector<int> cycle = TabCycle(r.form2);
    ASSERT_FALSE(cycle.empty()) << "Tab does not come round to the page list";
    SCOPED_TRACE("tab order " + Names(cycle));
    std::vector<int> onPage, outside;
    for (int id : cycle) {
        ASSERT_TRUE(id > 0 && IsWindowVisible(r.Item(id))) << id << " is not a visible control";
        if (Contains(kPageControls[page], id)) {
            EXPECT_TRUE(outside.size() == 1) << id << ": the page comes right after the list";
            onPage.push_back(id);
        } else {
            ASSERT_TRUE(Contains(kOutsideControls, id)) << id << " belongs to another page";
            outside.push_back(id);
        }
    }
    EXPECT_EQ(outside.front(), ids::List1);
    for (const std::vector<int>* block : {&onPage, &outside}) {
        for (size_t i = 1; i < block->size(); ++i) {
            EXPECT_TRUE(
                ReadsAfter(PlaceOf(r.form2, (*block)[i - 1]), PlaceOf(r.form2, (*block)[i])))
                << (*block)[i] << " after " << (*block)[i - 1] << " goes back up or left";
        }
    }
    // A radio group is entered at its checked button.
    for (int id : onPage) {
        const tqk::IdBlock g = RadioGroupOf(id);
        if (g.count > 1) {
            EXPECT_TRUE(IsChecked(r.Item(id))) << id;
        }
    }
    for (HWND c : Children(r.form2)) {
        if (GetParent(c) != r.form2 || !TakesInput(c)) continue;
        const tqk::IdBlock g = RadioGroupOf(GetDlgCtrlID(c));
        bool reached = false;
        for (int i = 0; i < g.count; ++i) reached = reached || Contains(cycle, g(i));
        EXPECT_TRUE(reached) << GetDlgCtrlID(c) << " \"" << Utf8FromWide(Text(c))
                             << "\" cannot be reached with Tab";
    }
}

// Presses a key on the focused control and waits until cond holds.
bool KeyUntil(HWND form, UINT vk, const std::function<bool()>& cond) {
    PressKey(FocusIn(form), vk);
    return WaitUntil(cond, kStateWaitMs);
}

// Tab until the control has the focus.
bool TabTo(HWND form, HWND control) {
    for (int i = 0; i < 40 && FocusIn(form) != control; ++i) {
        const HWND from = FocusIn(form);
        PressKey(from, VK_TAB);
        if (!WaitUntil([&] { return FocusIn(form) != from; }, kStateWaitMs)) return false;
    }
    return FocusIn(form) == control;
}

TEST_F(Form2SoundTest, TabWalksEachPageInReadingOrderAndTheListSwitchesThem) {
    SetForegroundWindow(r.form2);
    ASSERT_TRUE(WaitUntil([&] { return FocusIn(r.form2) == r.Item(ids::List1); }, kStateWaitMs))
        << "the window opens with the page list focused";
    for (int page = 0; page < 5; ++page) {
        EXPECT_TRUE(IsWindowVisible(r.Item(kPageControls[page][0])));
        ExpectTabOrder(r, page);
        if (page == 2) {
            // With sound on, the format list and "Wavの削除" join the order.
            ASSERT_TRUE(TabTo(r.form2, r.Item(ids::Check3)));
            ASSERT_TRUE(
                KeyUntil(r.form2, VK_SPACE, [&] { return IsChecked(r.Item(ids::Check3)); }));
            ASSERT_TRUE(TabTo(r.form2, r.Item(ids::List1)));
            ExpectTabOrder(r, page);
        }
        if (page == 1) {
            ASSERT_TRUE(TabTo(r.form2, r.Item(ids::Check1(0))));
            ASSERT_TRUE(
                KeyUntil(r.form2, VK_SPACE, [&] { return IsChecked(r.Item(ids::Check1(0))); }));
            ASSERT_TRUE(TabTo(r.form2, r.Item(ids::List1)));
            ExpectTabOrder(r, page);
        }
        if (page < 4) {
            ASSERT_TRUE(KeyUntil(r.form2, VK_DOWN, [&] {
                return IsWindowVisible(r.Item(kPageControls[page + 1][0])) != FALSE;
            })) << "Down in the list shows the next page";
            EXPECT_FALSE(IsWindowVisible(r.Item(kPageControls[page][0])));
        }
    }
    EXPECT_TRUE(KeyUntil(r.form2, VK_UP,
                         [&] { return IsWindowVisible(r.Item(ids::Option2(0))) != FALSE; }));
    EXPECT_TRUE(KeyUntil(r.form2, VK_HOME,
                         [&] { return IsWindowVisible(r.Item(ids::Option1(0))) != FALSE; }));
}

TEST_F(Form2SoundTest, ControlsAndButtonsWorkFromTheKeyboard) {
    SetForegroundWindow(r.form2);
    ASSERT_TRUE(WaitUntil([&] { return FocusIn(r.form2) == r.Item(ids::List1); }, kStateWaitMs));
    // Page 0: the arrows move among the methods and the sliders.
    ASSERT_TRUE(TabTo(r.form2, r.Item(ids::Option1(1))));
    EXPECT_TRUE(KeyUntil(r.form2, VK_DOWN, [&] { return IsChecked(r.Item(ids::Option1(2))); }));
    EXPECT_TRUE(WaitUntil(
        [&] { return r.TextOf(ids::Picture2).find(L"キャプチャ方法 Type2") != std::wstring::npos; },
        kStateWaitMs));
    ASSERT_TRUE(TabTo(r.form2, r.Item(ids::HScroll2(0))));
    EXPECT_TRUE(
        KeyUntil(r.form2, VK_LEFT, [&] { return r.TextOf(ids::LabelHs2(0)) == L"回数 0"; }));
    // Page 2: the rate by the arrows, the mouse box by Space.
    ASSERT_TRUE(TabTo(r.form2, r.Item(ids::List1)));
    ASSERT_TRUE(
        KeyUntil(r.form2, VK_END, [&] { return IsWindowVisible(r.Item(ids::HotKey1(0))); }));
    // The last page: the pause key off and on again by Space, its field following.
    ASSERT_TRUE(TabTo(r.form2, r.Item(ids::CheckHotkey(1))));
    EXPECT_TRUE(
        KeyUntil(r.form2, VK_SPACE, [&] { return !IsWindowEnabled(r.Item(ids::HotKey1(1))); }));
    EXPECT_TRUE(KeyUntil(r.form2, VK_SPACE,
                         [&] { return IsWindowEnabled(r.Item(ids::HotKey1(1))) != FALSE; }));
    ASSERT_TRUE(TabTo(r.form2, r.Item(ids::List1)));
    ASSERT_TRUE(KeyUntil(r.form2, VK_UP, [&] { return IsWindowVisible(r.Item(ids::Option2(0))); }));
    ASSERT_TRUE(
        KeyUntil(r.form2, VK_UP, [&] { return IsWindowVisible(r.Item(ids::HScroll1(0))); }));
    ASSERT_TRUE(TabTo(r.form2, r.Item(ids::HScroll1(0))));
    EXPECT_TRUE(
        KeyUntil(r.form2, VK_RIGHT, [&] { return r.TextOf(ids::LabelHs1(0)) == L"31fps"; }));
    EXPECT_TRUE(
        WaitUntil([&] { return r.TextOf(ids::Label9) == L"380,928,000 Bytes."; }, kStateWaitMs))
        << Utf8FromWide(r.TextOf(ids::Label9));
    ASSERT_TRUE(TabTo(r.form2, r.Item(ids::Check2)));
    EXPECT_TRUE(KeyUntil(r.form2, VK_SPACE, [&] { return !IsChecked(r.Item(ids::Check2)); }));

    // The buttons, by Space and by Enter: what each opens, then closed again.
    TempFolder out(L"rec_keys");
    ASSERT_TRUE(WriteBytes(out.Path() + L"k.TQK", "x"));
    const auto fileDialog = [&] {
        HWND d = WaitForWindow(r.process.Id(), L"#32770", nullptr, 10000);
        return d && CloseFileDialog(d, false);
    };
    struct Case {
        int button;
        std::function<bool()> answer;  // what the press opened, seen and closed
    } cases[] = {
        {ids::Command5,
         [&] {
             const std::optional<MessageBoxInfo> m = WaitForMessageBox(r.process.Id(), 10000);
             return m && m->text.find(L"k.TQKは存在しています。") == 0 &&
                    AnswerMessageBox(*m, IDNO);
         }},
        {ids::Command2, fileDialog},
        {ids::Command7, fileDialog},
        {ids::Command10, fileDialog},
        {ids::Command12,
         [&] {
             HWND about = WaitForWindow(r.process.Id(), L"#32770", L"バージョン情報", 10000);
             if (!about) return false;
             PostMessageW(about, WM_CLOSE, 0, 0);
             return WaitUntil([&] { return !IsWindow(about); }, 5000);
         }},
        {ids::Command9,
         [&] { return WaitUntil([&] { return r.TextOf(ids::LabelHs1(0)) == L"30fps"; }, 5000); }},
    };
    for (const UINT key : {VK_SPACE, VK_RETURN}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(c.button) + (key == VK_SPACE ? " Space" : " Enter"));
            if (c.button == ids::Command9) MoveSlider(r, ids::HScroll1(0), 45);
            if (c.button == ids::Command5) SetText(r.Item(ids::Text2), out.Path() + L"k.TQK");
            ASSERT_TRUE(TabTo(r.form2, r.Item(c.button)));
            PressKey(r.Item(c.button), key);
            EXPECT_TRUE(c.answer());
            // The focus comes back to the button that opened the box or dialog.
            EXPECT_TRUE(
                WaitUntil([&] { return FocusIn(r.form2) == r.Item(c.button); }, kStateWaitMs))
                << "focus on " << GetDlgCtrlID(FocusedWindow(r.form2));
        }
    }
    // Enter in a box starts nothing.
    ASSERT_TRUE(TabTo(r.form2, r.Item(ids::Text2)));
    PressKey(r.Item(ids::Text2), VK_RETURN);
    EXPECT_FALSE(WaitForMessageBox(r.process.Id(), 500));
    EXPECT_EQ(WaitForWindow(r.process.Id(), L"#32770", nullptr, 0), nullptr);
}

TEST_F(Form2Test, AboutWindowFromTheKeyboard) {
    SetForegroundWindow(r.form2);
    ASSERT_TRUE(WaitUntil([&] { return FocusIn(r.form2) == r.Item(ids::List1); }, kStateWaitMs));
    ASSERT_TRUE(TabTo(r.form2, r.Item(ids::Command12)));
    for (const UINT key : {VK_RETURN, VK_ESCAPE, VK_SPACE}) {
        SCOPED_TRACE(key);
        PressKey(r.Item(ids::Command12), VK_SPACE);
        HWND about = WaitForWindow(r.process.Id(), L"#32770", L"バージョン情報", 10000);
        ASSERT_NE(about, nullptr);
        HWND close = GetDlgItem(about, tqk::form4_ids::Command1);
        ASSERT_TRUE(WaitUntil([&] { return FocusIn(about) == close; }, kStateWaitMs))
            << "the window opens with Close focused";
        // Close is its one tab stop.
        PressKey(FocusIn(about), VK_TAB);
        Sleep(150);
        EXPECT_EQ(FocusIn(about), close);
        PressKey(FocusIn(about), key);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }, 5000));
        EXPECT_TRUE(
            WaitUntil([&] { return FocusIn(r.form2) == r.Item(ids::Command12); }, kStateWaitMs));
    }
}

}  // namespace
}  // namespace tqk::test
