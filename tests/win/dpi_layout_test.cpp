// Layouts at the screen's DPI (run at 96 and, by dpi_run.sh, at 144 DPI set in the prefix):
// the message box, a tooltip, the installer, the recorder's settings and about windows and its
// recording window paused show every text whole inside its control and every control inside its
// window. With TAVIRO_SHOT_DIR set (a Unix folder), the recorder's windows are also saved as
// screenshots there for a person to look at.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "form1_ids.h"
#include "form2_ids.h"
#include "form4_ids.h"
#include "message_pump.h"
#include "msgbox_ex.h"
#include "recorder_stage.h"
#include "test_files.h"
#include "tooltip.h"
#include "tqk_format.h"
#include "win_text.h"
#include "win_window.h"
#include "window_driver.h"

namespace tqk::test {
namespace {

int ExpectedDpi() {
    const char* v = std::getenv("TAVIRO_EXPECT_DPI");
    return v ? std::atoi(v) : 96;
}

// The platform's message font at the system DPI (this program is DPI aware, like the suite's).
HFONT MessageFont() {
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof(ncm);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0);
    return CreateFontIndirectW(&ncm.lfMessageFont);
}

// What is wrong with the text of control drawn in font (empty: it fits).
std::wstring Clipped(HWND control, HFONT font) {
    const std::wstring cls = ClassName(control), text = Text(control);
    const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
    if (text.empty() || !(style & WS_VISIBLE)) return {};
    const bool isStatic = _wcsicmp(cls.c_str(), L"Static") == 0;
    const LONG_PTR staticType = style & SS_TYPEMASK;
    // Owner-drawn and image statics show no text (the icon area's text is its name).
    if (isStatic && staticType > SS_RIGHT && staticType != SS_LEFTNOWORDWRAP) return {};
    RECT client{};
    GetClientRect(control, &client);
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    std::wstring plain;  // without the accelerator's "&"
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] != L'&' || (i + 1 < text.size() && text[i + 1] == L'&')) plain += text[i];
    RECT need{0, 0, 0, 0};
    const int width = client.right - client.left;
    int allowW = width, allowH = client.bottom - client.top;
    if (isStatic && staticType != SS_LEFTNOWORDWRAP) {
        need.right = width;
        DrawTextW(dc, plain.c_str(), int(plain.size()), &need,
                  DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS);
    } else {
        DrawTextW(dc, plain.c_str(), int(plain.size()), &need, DT_CALCRECT | DT_SINGLELINE);
        if (_wcsicmp(cls.c_str(), L"Button") == 0) {
            const LONG_PTR type = style & BS_TYPEMASK;
            if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX || type == BS_AUTORADIOBUTTON ||
                type == BS_RADIOBUTTON)
                allowW -= GetSystemMetrics(SM_CXMENUCHECK) + 4;
            else
                allowW -= 2 * GetSystemMetrics(SM_CXEDGE);
        }
    }
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    if (need.right - need.left > allowW || need.bottom - need.top > allowH)
        return cls + L" \"" + text + L"\" needs " + std::to_wstring(need.right - need.left) + L"x" +
               std::to_wstring(need.bottom - need.top) + L", has " + std::to_wstring(allowW) +
               L"x" + std::to_wstring(allowH);
    return {};
}

// Every control of window: its text fits, and it lies inside the client area. The controls'
// own fonts are used unless they live in another process (otherProcess: measured with
// fallbackFont).
void ExpectLaidOut(HWND window, HFONT fallbackFont, bool otherProcess = false) {
    RECT client{};
    GetClientRect(window, &client);
    const std::vector<HWND> children = Children(window);
    EXPECT_FALSE(children.empty());
    for (HWND c : children) {
        if (GetParent(c) != window || !IsWindowVisible(c)) continue;
        SCOPED_TRACE(Text(c));
        RECT r{};
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_GE(r.left, client.left);
        EXPECT_GE(r.top, client.top);
        EXPECT_LE(r.right, client.right);
        EXPECT_LE(r.bottom, client.bottom);
        HFONT font =
            otherProcess ? nullptr : reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0));
        EXPECT_EQ(Clipped(c, font ? font : fallbackFont), L"");
    }
}

// No two visible controls of window overlap, except that a group box holds whole controls.
void ExpectNoOverlaps(HWND window) {
    struct Placed {
        HWND hwnd;
        RECT r;
        bool frame;
    };
    std::vector<Placed> placed;
    for (HWND c : Children(window)) {
        if (GetParent(c) != window || !IsWindowVisible(c)) continue;
        RECT r{};
        GetWindowRect(c, &r);
        const bool frame = _wcsicmp(ClassName(c).c_str(), L"Button") == 0 &&
                           (GetWindowLongPtrW(c, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
        placed.push_back({c, r, frame});
    }
    for (size_t i = 0; i < placed.size(); ++i) {
        for (size_t j = i + 1; j < placed.size(); ++j) {
            const Placed &a = placed[i], &b = placed[j];
            RECT common{};
            if (!IntersectRect(&common, &a.r, &b.r)) continue;
            const RECT* inner = a.frame ? &b.r : b.frame ? &a.r : nullptr;
            const RECT* outer = a.frame ? &a.r : &b.r;
            const bool held = inner && EqualRect(&common, inner) && inner->top >= outer->top + 1 &&
                              inner->bottom < outer->bottom;
            EXPECT_TRUE(held) << Utf8FromWide(Text(a.hwnd)) << " (" << GetDlgCtrlID(a.hwnd)
                              << ") overlaps " << Utf8FromWide(Text(b.hwnd)) << " ("
                              << GetDlgCtrlID(b.hwnd) << ")";
        }
    }
}

// The screen saved as TAVIRO_SHOT_DIR/name_DPI.png, when asked for.
void Screenshot(const std::string& name) {
    const char* dir = std::getenv("TAVIRO_SHOT_DIR");
    if (!dir || !*dir) return;
    Sleep(400);  // the last repaints
    const std::string file =
        std::string(dir) + "/" + name + "_" + std::to_string(ExpectedDpi()) + ".png";
    const auto out =
        RunUnixCommand("import -window root -display \"$DISPLAY\" '" + file + "'", 30000);
    EXPECT_TRUE(out.has_value() && out->empty()) << file << ": " << out.value_or("not run");
}

TEST(DpiLayout, TheScreenIsAtTheExpectedDpi) { EXPECT_EQ(SystemDpi(), ExpectedDpi()); }

TEST(DpiLayout, MessageBoxes) {
    const int32_t sets[] = {0, 1, 2, 3 + 48, 4 + 32, 5 + 16, 64};
    for (int32_t buttons : sets) {
        SCOPED_TRACE(buttons);
        std::wstring layoutError;
        bool checked = false;
        std::thread inspector([&] {
            const auto box = WaitForMessageBox(GetCurrentProcessId(), 10000);
            if (!box) return;
            EXPECT_EQ(WindowDpi(box->window), ExpectedDpi());
            ExpectLaidOut(box->window, nullptr);
            // The icon area and the prompt do not overlap.
            RECT icon{}, text{};
            GetWindowRect(GetDlgItem(box->window, MsgBoxEx::kPicture2Id), &icon);
            GetWindowRect(GetDlgItem(box->window, 0xFFFF), &text);
            if (IsWindowVisible(GetDlgItem(box->window, MsgBoxEx::kPicture2Id))) {
                EXPECT_LE(icon.right, text.left);
            }
            checked = true;
            AnswerMessageBox(*box, box->buttons.front());
        });
        MsgBoxEx::Msg(L"録画を開始します。\r\nよろしいですか？ 長めの説明文がここに入ります。",
                      nullptr, buttons, L"DPI");
        inspector.join();
        EXPECT_TRUE(checked);
    }
}

TEST(DpiLayout, TooltipShowsFiveWholeLines) {
    class Host : public Window {};
    Host w;
    WindowSpec spec{L"TaviroDpiTip", L"tip", WS_OVERLAPPED | WS_CAPTION, 300, 200};
    spec.x = 40;
    spec.y = 40;
    ASSERT_TRUE(w.Create(spec));
    ShowWindow(w.Hwnd(), SW_SHOW);
    ToolTip tip;
    tip.Init(w.Hwnd());
    const std::wstring five = L"一行目の説明\r\n二行目\r\n三行目\r\n四行目\r\n五行目";
    tip.MakeToolTipEx(five, 1, w.Hwnd(), {0, 0, 300, 200});
    POINT p{150, 100};
    ClientToScreen(w.Hwnd(), &p);
    SetCursorPos(p.x, p.y);
    PostMessageW(w.Hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(150, 100));
    const DWORD start = GetTickCount();
    while (!IsWindowVisible(tip.Hwnd()) && GetTickCount() - start < 4000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        PumpMessages();
    }
    ASSERT_TRUE(IsWindowVisible(tip.Hwnd()));
    // Kept on screen for a screenshot when asked.
    if (const char* hold = std::getenv("TAVIRO_SHOT_HOLD_MS")) {
        const DWORD until = GetTickCount() + DWORD(std::atoi(hold));
        while (GetTickCount() < until) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            PumpMessages();
        }
    }
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(tip.Hwnd(), WM_GETFONT, 0, 0));
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    RECT need{0, 0, 0, 0};
    DrawTextW(dc, five.c_str(), int(five.size()), &need, DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    RECT r{};
    GetClientRect(tip.Hwnd(), &r);
    EXPECT_GE(r.right, need.right);
    EXPECT_GE(r.bottom, need.bottom);
    SetCursorPos(1000, 700);
}

TEST(DpiLayout, Installer) {
    TempFolder f(L"dpi_setup");
    ChildProcess setup;
    ASSERT_TRUE(setup.Start(WindowsPathOf(TAVIRO_SETUP_EXE)));
    HWND w = WaitForWindow(setup.Id(), nullptr, L"Taviro インストーラ", 10000);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(WindowDpi(w), ExpectedDpi());
    HFONT font = MessageFont();
    ExpectLaidOut(w, font);  // the installer's fonts live in its process: measured with ours
    DeleteObject(font);
    PostMessageW(w, WM_CLOSE, 0, 0);
    EXPECT_TRUE(setup.WaitExit(10000).has_value());
}

// The recorder's settings window, each of its five pages, and its about window.
TEST(DpiLayout, RecorderSettingsAndAboutWindows) {
    namespace ids = tqk::form2_ids;
    TempFolder f(L"dpi_rec");
    ASSERT_TRUE(CopyFileW(WindowsPathOf(TAVIROREC_EXE).c_str(),
                          (f.Path() + L"TaviroRec.exe").c_str(), FALSE));
    SetCursorPos(1023, 767);  // no tooltip over the window
    ChildProcess rec;
    ASSERT_TRUE(rec.Start(f.Path() + L"TaviroRec.exe"));
    HWND w = WaitForWindow(rec.Id(), L"TaviroRecForm2", nullptr, 15000);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(WindowDpi(w), ExpectedDpi());
    HFONT font = MessageFont();
    RECT window{}, work{};
    GetWindowRect(w, &window);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_GE(window.left, work.left);
    EXPECT_GE(window.top, work.top);
    EXPECT_LE(window.right, work.right);
    EXPECT_LE(window.bottom, work.bottom);
    for (int page = 0; page < 5; ++page) {
        SCOPED_TRACE("page " + std::to_string(page));
        HWND list = GetDlgItem(w, ids::List1);
        SendMessageW(list, LB_SETCURSEL, WPARAM(page), 0);
        SendMessageW(w, WM_COMMAND, MAKEWPARAM(ids::List1, LBN_SELCHANGE), LPARAM(list));
        ASSERT_TRUE(IsWindowVisible(GetDlgItem(w, ids::Frame1(page))));
        ExpectLaidOut(w, font, true);
        ExpectNoOverlaps(w);
        Screenshot("form2_page" + std::to_string(page));
    }
    // The hotkey page with its two state lines at their longest texts.
    SetText(GetDlgItem(w, ids::LabelHotkeyState(0)), L"「一時停止と再開」と同じキーです。");
    SetText(GetDlgItem(w, ids::LabelHotkeyState(1)), L"「録画の開始と停止」と同じキーです。");
    ExpectLaidOut(w, font, true);
    ExpectNoOverlaps(w);
    Screenshot("form2_page4_states");
    Click(GetDlgItem(w, ids::Command12));
    HWND about = WaitForWindow(rec.Id(), L"#32770", L"バージョン情報", 10000);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(WindowDpi(about), ExpectedDpi());
    ExpectLaidOut(about, font, true);
    ExpectNoOverlaps(about);
    Screenshot("form4");
    Click(GetDlgItem(about, tqk::form4_ids::Command1));
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }, 5000));
    DeleteObject(font);
    PostMessageW(w, WM_CLOSE, 0, 0);
    EXPECT_TRUE(rec.WaitExit(10000).has_value());
}

// The recording window while paused: its four buttons ("再開" on the fourth) and the
// statistics area saying so.
TEST(DpiLayout, RecordingWindowPaused) {
    TempFolder f(L"dpi_rec1");
    ASSERT_EQ(StageRecorder(f.Path()), L"");
    rec::CaptureSettings s =
        RecordAtTopLeft(64, 48, 1, 10, 60, Utf8FromWide(f.Path()) + "paused.TQK", false);
    s.AviPath.clear();
    s.FollowMouse = false;
    s.PriorityClass = 0;
    ASSERT_TRUE(WriteStartRecord(f.Path(), s));
    SetCursorPos(1023, 767);
    ChildProcess recorder;
    ASSERT_TRUE(recorder.Start(f.Path() + L"TaviroRec.exe"));
    HWND form2 = WaitForWindow(recorder.Id(), L"TaviroRecForm2", nullptr, 15000);
    ASSERT_NE(form2, nullptr);
    Click(GetDlgItem(form2, form2_ids::Command5));
    HWND w = WaitForWindow(recorder.Id(), form1_ids::kClassName, nullptr, 15000);
    ASSERT_NE(w, nullptr);
    HWND stats = GetDlgItem(w, form1_ids::Picture1), pause = GetDlgItem(w, form1_ids::Command1(3));
    ASSERT_TRUE(WaitUntil([&] { return Text(stats).rfind(L"Frame ", 0) == 0; }, 20000));
    Click(pause);
    EXPECT_TRUE(WaitUntil([&] { return Text(stats).rfind(L"一時停止中", 0) == 0; }, 10000))
        << Utf8FromWide(Text(stats));
    EXPECT_EQ(Text(pause), L"再開");
    HFONT font = MessageFont();
    ExpectLaidOut(w, font, true);
    ExpectNoOverlaps(w);
    DeleteObject(font);
    Screenshot("form1_paused");
    // Ended by the stop-and-keep command: no question, the settings window comes back.
    PostMessageW(w, WM_COMMAND, MAKEWPARAM(form1_ids::StopKeep, BN_CLICKED), 0);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(form2) != FALSE; }, 20000));
    PostMessageW(form2, WM_CLOSE, 0, 0);
    EXPECT_TRUE(recorder.WaitExit(10000).has_value());
}

// The player with a movie open and a span marked: the bar, its marks and the span's text.
TEST(DpiLayout, PlayerWithAMarkedSpan) {
    TempFolder f(L"dpi_player");
    const std::wstring movie = f.Path() + L"dpi.TQK";
    {
        MovieHeader h;
        h.Method = 1, h.BitCo = 32, h.W = 320, h.H = 200, h.fps = 10, h.sec = 20;
        MovieEncoder enc;
        ASSERT_EQ(enc.Start(h), kOk);
        std::string bytes(reinterpret_cast<const char*>(enc.Header()), kHeaderBytes);
        std::vector<uint8_t> frame(enc.FrameSize());
        for (int i = 0; i < 200; ++i) {
            for (size_t p = 0; p < frame.size(); p += 4) {
                const size_t x = (p / 4) % 320, y = (p / 4) / 320;
                frame[p] = uint8_t(x + i), frame[p + 1] = uint8_t(y * 2), frame[p + 2] = 180;
            }
            size_t n = 0;
            const uint8_t* rec = enc.EncodeFrame(frame.data(), &n);
            bytes.append(reinterpret_cast<const char*>(rec), n);
        }
        ASSERT_TRUE(WriteBytes(movie, bytes));
    }
    SetCursorPos(1023, 767);
    ChildProcess player;
    ASSERT_TRUE(player.Start(WindowsPathOf(TAVIRO_PLAYER_EXE), L"\"" + movie + L"\""));
    HWND w = WaitForWindow(player.Id(), L"TaviroPlayerForm1", nullptr, 15000);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(WindowDpi(w), ExpectedDpi());
    HWND picture = GetDlgItem(w, 101);
    for (int i = 0; i < 40; ++i) PressKey(picture, VK_RIGHT);  // 4 s
    PressKey(picture, 'I');
    PressKey(picture, VK_NEXT);  // 14 s
    PressKey(picture, 'O');
    HWND label2 = GetDlgItem(w, 123);
    ASSERT_TRUE(WaitUntil([&] { return !Text(label2).empty(); }, 10000));
    EXPECT_EQ(Text(label2), L"範囲 00:04～00:14");
    HFONT font = MessageFont();
    ExpectLaidOut(w, font, true);
    ExpectNoOverlaps(w);
    DeleteObject(font);
    Screenshot("player_span");
    PostMessageW(w, WM_CLOSE, 0, 0);
    EXPECT_TRUE(player.WaitExit(10000).has_value());
}

}  // namespace
}  // namespace tqk::test
