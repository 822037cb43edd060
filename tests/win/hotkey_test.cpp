// The recorder's global hotkeys, driving the real TaviroRec.exe: keys go through the platform's
// input (SendInput from this process), as a user's hand would press them while another program
// has the focus. F9 from the settings window records as 録画 does, with its question; a key
// another program holds is named in a message and the recorder works on; the trial ignores the
// keys; the hotkey page's changes take effect at once, are saved in their own file and read
// back; a hostile file gives the defaults.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <cstring>
#include <string>
#include <vector>

#include "capture_settings.h"
#include "form1_ids.h"
#include "form2_ids.h"
#include "recorder_stage.h"
#include "test_files.h"
#include "window_driver.h"

namespace tqk::test {
namespace {

namespace ids = tqk::form2_ids;
using tqk::rec::CaptureSettings;

std::string N(const std::wstring& s) { return std::string(s.begin(), s.end()); }

// Presses the keys in order and lets them go in reverse, through the platform's input, each
// with its scan code as a keyboard sends it.
void PressKeys(std::initializer_list<WORD> keys) {
    std::vector<INPUT> in;
    const auto key = [](WORD k, DWORD flags) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = k;
        i.ki.wScan = WORD(MapVirtualKeyW(k, MAPVK_VK_TO_VSC));
        i.ki.dwFlags = flags;
        return i;
    };
    for (WORD k : keys) in.push_back(key(k, 0));
    for (auto k = keys.end(); k != keys.begin();) in.push_back(key(*--k, KEYEVENTF_KEYUP));
    SendInput(UINT(in.size()), in.data(), sizeof(INPUT));
}

DWORD ProcessByName(const wchar_t* exeName) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W e{};
    e.dwSize = sizeof e;
    DWORD pid = 0;
    for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e))
        if (_wcsicmp(e.szExeFile, exeName) == 0) pid = e.th32ProcessID;
    CloseHandle(snap);
    return pid;
}

// A key this process holds for the length of a scope, as another program would.
class HeldKey {
public:
    HeldKey(UINT mods, UINT key) { ok_ = RegisterHotKey(nullptr, 0x24, mods, key) != FALSE; }
    ~HeldKey() {
        if (ok_) UnregisterHotKey(nullptr, 0x24);
    }
    bool Ok() const { return ok_; }

private:
    bool ok_ = false;
};

// Whether the recorder holds a key now: this process can then not register it.
bool RecorderHolds(UINT mods, UINT key) { return !HeldKey(mods, key).Ok(); }

class Staged {
public:
    explicit Staged(const wchar_t* stem) : dir_(stem) {
        EXPECT_EQ(StageRecorder(dir_.Path()), L"") << "not copied";
        // A short recording of the screen's corner into this folder, TQK only, no sound.
        CaptureSettings s =
            RecordAtTopLeft(160, 120, 1, 10, 20, N(dir_.Path()) + "movie.TQK", false);
        s.AviPath.clear();
        s.FollowMouse = false;
        s.PriorityClass = 0;
        record_ = s;
        EXPECT_TRUE(WriteStartRecord(dir_.Path(), s));
    }
    std::wstring File(const std::wstring& name) const { return dir_.Path() + name; }
    std::wstring Movie() const { return File(L"movie.TQK"); }
    const CaptureSettings& Record() const { return record_; }

private:
    TempFolder dir_;
    CaptureSettings record_;
};

struct Recorder {
    ChildProcess process;
    HWND form2 = nullptr;
    // Started and its hotkeys registered (the settings window registers them as it is made).
    bool Start(const Staged& s) {
        // The sound helper is one instance only: the last recorder's must have ended.
        EXPECT_TRUE(WaitUntil([] { return ProcessByName(L"TaviroWave.exe") == 0; }, 20000));
        if (!process.Start(s.File(L"TaviroRec.exe"))) return false;
        form2 = WaitForWindow(process.Id(), L"TaviroRecForm2", nullptr, 20000);
        return form2 != nullptr;
    }
    HWND Item(int id) const { return Child(form2, id); }
    HWND WaitForm1(DWORD timeoutMs = 15000) const {
        return WaitForWindow(process.Id(), form1_ids::kClassName, nullptr, timeoutMs);
    }
    bool WaitBack(DWORD timeoutMs = 30000) const {
        return WaitUntil([&] { return IsWindowVisible(form2) != FALSE; }, timeoutMs);
    }
    void ShowHotkeyPage() const {
        HWND list = Item(ids::List1);
        SendMessageW(list, LB_SETCURSEL, 4, 0);
        SendMessageW(form2, WM_COMMAND, MAKEWPARAM(ids::List1, LBN_SELCHANGE), LPARAM(list));
    }
    WORD Field(int i) const {
        return LOWORD(SendMessageW(Item(ids::HotKey1(i)), HKM_GETHOTKEY, 0, 0));
    }
    ~Recorder() {
        if (form2) PostMessageW(form2, WM_CLOSE, 0, 0);
        if (process.Handle() && !process.WaitExit(10000)) process.Kill();
    }
};

// Ends a recording the hotkey started: paused and resumed by Shift+F9 through the window's own
// button (unless another program holds that key) and stopped by F9 without a question.
void EndRecording(const Recorder& r, HWND form1, bool pauseKeyOurs = true) {
    ASSERT_TRUE(WaitUntil(
        [&] {
            const std::wstring t = Text(Child(form1, form1_ids::Picture1));
            return IsWindowVisible(form1) && !t.empty();
        },
        15000));
    HWND pause = Child(form1, form1_ids::Command1(3));
    ASSERT_NE(pause, nullptr);
    if (pauseKeyOurs) {
        PressKeys({VK_SHIFT, VK_F9});
        EXPECT_TRUE(WaitUntil([&] { return Text(pause) == L"再開"; }, 10000));
        PressKeys({VK_SHIFT, VK_F9});
        EXPECT_TRUE(WaitUntil([&] { return Text(pause) == L"一時停止"; }, 10000));
    }
    PressKeys({VK_F9});
    ASSERT_TRUE(r.WaitBack());
    EXPECT_FALSE(WaitForMessageBox(r.process.Id(), 300).has_value()) << "a question after F9";
}

// The settings window behind another window that has the focus: the key still records, after
// the record button's own question.
TEST(HotkeyRun, F9FromTheSettingsWindowRecordsAsTheButtonDoes) {
    Staged stage(L"hotkey_f9");
    ASSERT_TRUE(WriteBytes(stage.Movie(), "old"));
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    EXPECT_TRUE(RecorderHolds(0, VK_F9));
    EXPECT_TRUE(RecorderHolds(MOD_SHIFT, VK_F9));
    // Shift+F9 does nothing while no recording runs.
    PressKeys({VK_SHIFT, VK_F9});
    PressKeys({VK_F9});
    // The overwrite question of 録画 comes first.
    const auto box = WaitForMessageBox(r.process.Id(), 15000);
    ASSERT_TRUE(box.has_value());
    EXPECT_NE(box->text.find(L"上書き"), std::wstring::npos) << N(box->text);
    EXPECT_EQ(r.WaitForm1(0), nullptr);
    ASSERT_TRUE(AnswerMessageBox(*box, IDYES));
    HWND form1 = r.WaitForm1();
    ASSERT_NE(form1, nullptr);
    EXPECT_FALSE(IsWindowVisible(r.form2));
    EndRecording(r, form1);
    EXPECT_NE(ReadBytes(stage.Movie()).value_or("old"), "old");
    // The keys are still held after the recording.
    EXPECT_TRUE(RecorderHolds(0, VK_F9));
}

// While a box of the recorder asks or tells something, F9 does nothing; once it has gone, F9
// records again. The key goes in before the Escape that closes the box (a posted hotkey comes
// before later input), so a recording it started would have put its question in front.
TEST(HotkeyRun, NothingWhileABoxIsOpen) {
    Staged stage(L"hotkey_box");
    ASSERT_TRUE(WriteBytes(stage.Movie(), "old"));
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    Click(r.Item(ids::Command12));
    HWND about = WaitForWindow(r.process.Id(), L"#32770", L"バージョン情報", 10000);
    ASSERT_NE(about, nullptr);
    SetForegroundWindow(about);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == about; }, 5000));
    PressKeys({VK_F9});
    PressKeys({VK_ESCAPE});
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }, 5000));
    EXPECT_FALSE(WaitForMessageBox(r.process.Id(), 0).has_value());
    EXPECT_EQ(r.WaitForm1(0), nullptr);
    PressKeys({VK_F9});
    const auto box = WaitForMessageBox(r.process.Id(), 15000);
    ASSERT_TRUE(box.has_value());
    EXPECT_NE(box->text.find(L"上書き"), std::wstring::npos) << N(box->text);
    // Asked: F9 again does nothing either; No leaves the old file.
    PressKeys({VK_F9});
    ASSERT_TRUE(AnswerMessageBox(*box, IDNO));
    EXPECT_FALSE(WaitForMessageBox(r.process.Id(), 0).has_value());
    EXPECT_EQ(r.WaitForm1(0), nullptr);
    EXPECT_EQ(ReadBytes(stage.Movie()).value_or(""), "old");
}

// Another program holds Shift+F9: the recorder says so, naming the key, and records by F9.
TEST(HotkeyRun, AKeyAnotherProgramHoldsIsNamedAndTheRecorderWorksOn) {
    Staged stage(L"hotkey_taken");
    HeldKey held(MOD_SHIFT, VK_F9);
    ASSERT_TRUE(held.Ok());
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    const auto box = WaitForMessageBox(r.process.Id(), 15000);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, L"ホットキー「Shift+F9」は他のプログラムが使っているため、使えません。");
    ASSERT_TRUE(AnswerMessageBox(*box, IDOK));
    r.ShowHotkeyPage();
    EXPECT_EQ(Text(r.Item(ids::LabelHotkeyState(1))), L"他のプログラムが使用中");
    EXPECT_EQ(Text(r.Item(ids::LabelHotkeyState(0))), L"");
    PressKeys({VK_F9});
    HWND form1 = r.WaitForm1();
    ASSERT_NE(form1, nullptr);
    EndRecording(r, form1, false);  // Shift+F9 is the test's
    EXPECT_TRUE(ReadBytes(stage.Movie()).has_value());
}

// The trial's recording windows get nothing from the keys: every method is measured whole
// and no recording follows.
TEST(HotkeyRun, TheTrialIgnoresTheKeys) {
    Staged stage(L"hotkey_trial");
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    Click(r.Item(ids::Command3));
    HWND form1 = r.WaitForm1();
    ASSERT_NE(form1, nullptr);
    for (int i = 0; i < 3; ++i) {
        PressKeys({VK_F9});
        PressKeys({VK_SHIFT, VK_F9});
        Sleep(300);
    }
    const auto box = WaitForMessageBox(r.process.Id(), 40000);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->caption, L"キャプチャ試行結果");
    for (int t = 0; t < 3; ++t)
        EXPECT_NE(box->text.find(L"Type " + std::to_wstring(t) + L" ... FrameTime:"),
                  std::wstring::npos)
            << N(box->text);
    ASSERT_TRUE(AnswerMessageBox(*box, IDOK));
    ASSERT_TRUE(r.WaitBack());
    EXPECT_FALSE(IsWindowVisible(form1));
    EXPECT_FALSE(ReadBytes(stage.Movie()).has_value()) << "a recording was made";
}

// The page: keys typed into its fields, one turned off, the defaults again; each change in
// use at once and in the file, and read back by the next start.
TEST(HotkeyPage, ChangesTakeEffectAtOnceAreSavedAndReadBack) {
    Staged stage(L"hotkey_page");
    {
        Recorder r;
        ASSERT_TRUE(r.Start(stage));
        r.ShowHotkeyPage();
        ASSERT_TRUE(IsWindowVisible(r.Item(ids::HotKey1(0))));
        EXPECT_EQ(r.Field(0), MAKEWORD(VK_F9, 0));
        EXPECT_EQ(r.Field(1), MAKEWORD(VK_F9, HOTKEYF_SHIFT));
        EXPECT_TRUE(IsChecked(r.Item(ids::CheckHotkey(0))));
        // The keyboard from the page list: Tab to the first box, Tab to its key field.
        SetForegroundWindow(r.form2);
        ASSERT_TRUE(WaitUntil(
            [&] {
                return GetForegroundWindow() == r.form2 &&
                       FocusedWindow(r.form2) == r.Item(ids::List1);
            },
            5000));
        PressKeys({VK_TAB});
        ASSERT_TRUE(
            WaitUntil([&] { return FocusedWindow(r.form2) == r.Item(ids::CheckHotkey(0)); }, 5000));
        PressKeys({VK_TAB});
        ASSERT_TRUE(
            WaitUntil([&] { return FocusedWindow(r.form2) == r.Item(ids::HotKey1(0)); }, 5000));
        // While the field has the keyboard the keys are let go, so that they reach it.
        ASSERT_TRUE(WaitUntil([] { return !RecorderHolds(0, VK_F9); }, 5000));
        EXPECT_FALSE(RecorderHolds(MOD_SHIFT, VK_F9));
        // The other key's own key is refused; the line says why.
        const auto stateIs = [&](const std::wstring& want) {
            return WaitUntil([&] { return Text(r.Item(ids::LabelHotkeyState(0))) == want; }, 5000);
        };
        PressKeys({VK_SHIFT, VK_F9});
        EXPECT_TRUE(stateIs(L"「一時停止と再開」と同じキーです。")) << std::hex << r.Field(0);
        // A letter needs Ctrl or Alt.
        PressKeys({'R'});
        EXPECT_TRUE(stateIs(L"CtrlかAltと組み合わせてください。")) << std::hex << r.Field(0);
        PressKeys({VK_CONTROL, VK_MENU, 'R'});
        EXPECT_TRUE(stateIs(L"")) << std::hex << r.Field(0);
        const std::string changed =
            "[Hotkey]\r\nStartStopOn=1\r\nStartStopKey=82\r\nStartStopMods=6\r\n"
            "PauseResumeOn=1\r\nPauseResumeKey=120\r\nPauseResumeMods=1\r\n";
        EXPECT_TRUE(WaitUntil(
            [&] { return ReadBytes(stage.File(L"TVRHotkey.ini")).value_or("") == changed; }, 5000));
        EXPECT_EQ(r.Field(0), MAKEWORD('R', HOTKEYF_CONTROL | HOTKEYF_ALT));
        // Tab leaves the field: the new key is held, F9 is free, Shift+F9 held again.
        PressKeys({VK_TAB});
        ASSERT_TRUE(WaitUntil([] { return RecorderHolds(MOD_CONTROL | MOD_ALT, 'R'); }, 5000));
        EXPECT_EQ(FocusedWindow(r.form2), r.Item(ids::CheckHotkey(1)));
        EXPECT_FALSE(RecorderHolds(0, VK_F9));
        EXPECT_TRUE(RecorderHolds(MOD_SHIFT, VK_F9));
        // A refused key left in a field gives way to the key in use when the field is left.
        PressKeys({VK_SHIFT, VK_TAB});
        ASSERT_TRUE(
            WaitUntil([&] { return FocusedWindow(r.form2) == r.Item(ids::HotKey1(0)); }, 5000));
        // The focus shows before the recorder has let its keys go: a key pressed in between
        // would be its hotkey, not the field's.
        ASSERT_TRUE(WaitUntil([] { return !RecorderHolds(MOD_SHIFT, VK_F9); }, 5000));
        ASSERT_TRUE(WaitUntil([] { return !RecorderHolds(MOD_CONTROL | MOD_ALT, 'R'); }, 5000));
        PressKeys({VK_SHIFT, VK_F9});
        EXPECT_TRUE(stateIs(L"「一時停止と再開」と同じキーです。"));
        PressKeys({VK_TAB});
        EXPECT_TRUE(stateIs(L""));
        EXPECT_EQ(r.Field(0), MAKEWORD('R', HOTKEYF_CONTROL | HOTKEYF_ALT));
        EXPECT_TRUE(WaitUntil([] { return RecorderHolds(MOD_CONTROL | MOD_ALT, 'R'); }, 5000));
        // Pause off: the key is free for others at once.
        ASSERT_TRUE(SetChecked(r.Item(ids::CheckHotkey(1)), false));
        ASSERT_TRUE(WaitUntil([&] { return !RecorderHolds(MOD_SHIFT, VK_F9); }, 5000));
        EXPECT_FALSE(IsWindowEnabled(r.Item(ids::HotKey1(1))));
        // The new key records from the settings window.
        SetCursorPos(1000, 700);
        PressKeys({VK_CONTROL, VK_MENU, 'R'});
        HWND form1 = r.WaitForm1();
        ASSERT_NE(form1, nullptr);
        Click(Child(form1, form1_ids::Command1(0)));
        const auto box = WaitForMessageBox(r.process.Id(), 15000);
        ASSERT_TRUE(box.has_value());
        ASSERT_TRUE(AnswerMessageBox(*box, IDNO));
        ASSERT_TRUE(r.WaitBack());
    }
    {
        Recorder r;
        ASSERT_TRUE(r.Start(stage));
        r.ShowHotkeyPage();
        EXPECT_EQ(r.Field(0), MAKEWORD('R', HOTKEYF_CONTROL | HOTKEYF_ALT));
        EXPECT_FALSE(IsChecked(r.Item(ids::CheckHotkey(1))));
        EXPECT_TRUE(RecorderHolds(MOD_CONTROL | MOD_ALT, 'R'));
        EXPECT_FALSE(RecorderHolds(MOD_SHIFT, VK_F9));
        // "標準のキー": both back, both held, the file says so.
        Click(r.Item(ids::Command13));
        ASSERT_TRUE(WaitUntil([] { return RecorderHolds(MOD_SHIFT, VK_F9); }, 5000));
        EXPECT_TRUE(RecorderHolds(0, VK_F9));
        EXPECT_TRUE(IsChecked(r.Item(ids::CheckHotkey(1))));
        EXPECT_EQ(r.Field(1), MAKEWORD(VK_F9, HOTKEYF_SHIFT));
        EXPECT_EQ(ReadBytes(stage.File(L"TVRHotkey.ini")).value_or(""),
                  "[Hotkey]\r\nStartStopOn=1\r\nStartStopKey=120\r\nStartStopMods=0\r\n"
                  "PauseResumeOn=1\r\nPauseResumeKey=120\r\nPauseResumeMods=1\r\n");
    }
}

TEST(HotkeyPage, AHostileFileGivesTheDefaults) {
    Staged stage(L"hotkey_hostile");
    std::string junk = "[Hotkey]\r\nStartStopKey=65\r\nStartStopMods=0\r\nPauseResumeKey=";
    junk += std::string("\0\xff\x80\r\n", 5) + std::string(70000, 'Z');
    ASSERT_TRUE(WriteBytes(stage.File(L"TVRHotkey.ini"), junk));
    Recorder r;
    ASSERT_TRUE(r.Start(stage));
    r.ShowHotkeyPage();
    EXPECT_EQ(r.Field(0), MAKEWORD(VK_F9, 0));
    EXPECT_EQ(r.Field(1), MAKEWORD(VK_F9, HOTKEYF_SHIFT));
    EXPECT_TRUE(RecorderHolds(0, VK_F9));
    EXPECT_TRUE(RecorderHolds(MOD_SHIFT, VK_F9));
    EXPECT_FALSE(RecorderHolds(0, 'A'));
}

}  // namespace
}  // namespace tqk::test
