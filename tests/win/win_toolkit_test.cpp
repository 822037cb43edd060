// The shared Win32 toolkit: the window and dialog bases' one procedure, the handle owners and
// the text conversions in the system code page (932 in the test environment).
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "win_handles.h"
#include "win_text.h"
#include "win_window.h"

namespace tqk::test {
namespace {

class ProbeWindow : public Window {
public:
    int created = 0, commands = 0, lastId = 0, timers = 0, destroyed = 0;
    bool allowClose = false;

protected:
    bool OnCreate() override {
        ++created;
        static const ControlSpec controls[] = {
            {L"EDIT", 11, L"初期値", ES_AUTOHSCROLL, 4, 4, 200, 22},
            {L"BUTTON", 12, L"確認", BS_AUTOCHECKBOX, 4, 30, 200, 20},
        };
        return AddControls(controls, std::size(controls));
    }
    void OnCommand(int id, int, HWND) override {
        if (id == 11 || id == 12) return;  // the controls' own notifications
        ++commands;
        lastId = id;
        if (id == 99) throw std::runtime_error("must not escape the window procedure");
    }
    void OnTimer(UINT_PTR) override { ++timers; }
    bool OnClose() override { return allowClose; }
    void OnDestroy() override { ++destroyed; }
};

TEST(WinWindow, HandlersAndControls) {
    ProbeWindow w;
    ASSERT_TRUE(w.Create(L"TaviroToolkitProbe", L"probe", WS_OVERLAPPEDWINDOW, 300, 100));
    EXPECT_EQ(w.created, 1);
    EXPECT_EQ(w.ItemText(11), L"初期値");
    w.SetItemText(11, L"変更ﾃｽﾄ");
    EXPECT_EQ(w.ItemText(11), L"変更ﾃｽﾄ");
    EXPECT_FALSE(w.IsChecked(12));
    w.SetChecked(12, true);
    EXPECT_TRUE(w.IsChecked(12));

    SendMessageW(w.Hwnd(), WM_COMMAND, MAKEWPARAM(7, 0), 0);
    EXPECT_EQ(w.lastId, 7);
    SendMessageW(w.Hwnd(), WM_COMMAND, MAKEWPARAM(99, 0), 0);  // throws inside
    EXPECT_EQ(w.commands, 2);
    SendMessageW(w.Hwnd(), WM_TIMER, 1, 0);
    EXPECT_EQ(w.timers, 1);

    SendMessageW(w.Hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(w.Hwnd()));
    w.allowClose = true;
    HWND h = w.Hwnd();
    SendMessageW(h, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(w.destroyed, 1);
    EXPECT_EQ(w.Hwnd(), nullptr);
    PumpMessages();  // the WM_QUIT of nobody: nothing to do
}

void Activate(HWND h) {
    SetForegroundWindow(h);
    SetActiveWindow(h);
}

// A window of controls kept like a dialog: its focus survives another window's activation,
// falls back when its control went away, and Enter belongs to the focused button only.
class FocusWindow : public Window {
public:
    // Run modally, the steps come one message each, as a user's would.
    HWND other = nullptr;
    HWND focusAtTheEnd = nullptr;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        switch (msg) {
        case WM_APP + 1:
            SetFocus(Item(14));
            PostMessageW(Hwnd(), WM_APP + 2, 0, 0);
            return 0;
        case WM_APP + 2:
            // Another program took the focus before this window heard of its deactivation.
            SetFocus(nullptr);
            Activate(other);
            PostMessageW(Hwnd(), WM_APP + 3, 0, 0);
            return 0;
        case WM_APP + 3:
            Activate(Hwnd());
            focusAtTheEnd = GetFocus();
            EndModal(1);
            return 0;
        }
        return Window::OnMessage(msg, wp, lp);
    }
    bool OnCreate() override {
        static const ControlSpec controls[] = {
            {L"EDIT", 11, L"", WS_TABSTOP | ES_AUTOHSCROLL, 4, 4, 200, 22},
            {L"BUTTON", 13, L"一", WS_TABSTOP | BS_PUSHBUTTON, 4, 30, 90, 24},
            {L"BUTTON", 14, L"二", WS_TABSTOP | BS_PUSHBUTTON, 100, 30, 90, 24},
        };
        KeepFocusLikeADialog(11);
        return AddControls(controls, std::size(controls));
    }
};

// The window kept like a dialog beside another window that takes the activation from it.
class WinWindowFocus : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(w.Create(L"TaviroToolkitFocus", L"focus", WS_OVERLAPPEDWINDOW, 300, 100));
        ASSERT_TRUE(other.Create(L"TaviroToolkitProbe", L"other", WS_OVERLAPPEDWINDOW, 300, 100));
        other.allowClose = true;
    }
    FocusWindow w;
    ProbeWindow other;
};

TEST_F(WinWindowFocus, KeptLikeADialogAcrossActivations) {
    // Shown and activated, and its activation handled: until it is the foreground window
    // and no message of the change is left.
    const auto activate = [](HWND h) {
        ShowWindow(h, SW_SHOW);
        Activate(h);
        const DWORD until = GetTickCount() + 5000;
        do {
            PumpMessages();
            Sleep(5);
        } while (GetForegroundWindow() != h && GetTickCount() < until);
        PumpMessages();
        ASSERT_EQ(GetForegroundWindow(), h) << "the window did not come to the front";
    };
    activate(w.Hwnd());
    EXPECT_EQ(GetFocus(), w.Item(11)) << "the fallback has the focus first";

    SetFocus(w.Item(14));
    EXPECT_EQ(SendMessageW(w.Hwnd(), DM_GETDEFID, 0, 0), MAKELRESULT(14, DC_HASDEFID));
    activate(other.Hwnd());
    activate(w.Hwnd());
    EXPECT_EQ(GetFocus(), w.Item(14)) << "not given back after another window's activation";

    activate(other.Hwnd());
    EnableWindow(w.Item(14), FALSE);
    activate(w.Hwnd());
    EXPECT_EQ(GetFocus(), w.Item(11)) << "a disabled control cannot have it back";
    EXPECT_EQ(SendMessageW(w.Hwnd(), DM_GETDEFID, 0, 0), 0) << "Enter in a box presses nothing";
}

TEST_F(WinWindowFocus, KeptWhenItWasGoneBeforeTheDeactivation) {
    ShowWindow(other.Hwnd(), SW_SHOW);
    w.other = other.Hwnd();
    PostMessageW(w.Hwnd(), WM_APP + 1, 0, 0);
    EXPECT_EQ(w.ShowModal(), 1);
    EXPECT_EQ(w.focusAtTheEnd, w.Item(14));
}

// A window with a menu, stacked pages, a radio group, lists and position controls, as the
// recorder's and the player's windows have.
namespace ids {
inline constexpr int Command1 = 201;
inline constexpr int Text1 = 202;
inline constexpr int Combo1 = 203;
inline constexpr int List1 = 204;
inline constexpr int Slider1 = 205;
inline constexpr int UpDown1 = 206;
inline constexpr int HScroll1 = 207;
inline constexpr int Page1Label = 208;
inline constexpr int Page2Label = 209;
inline constexpr int Page2Hidden = 210;
inline constexpr int Command2 = 211;
inline constexpr IdBlock Option1{220, 3};
inline constexpr int MenuOpen = 300;
static_assert(IdsValid({Command1, Text1, Combo1, List1, Slider1, UpDown1, HScroll1, Page1Label,
                        Page2Label, Page2Hidden, Command2, Option1, MenuOpen}));
}  // namespace ids

class RichWindow : public Window {
public:
    int commands = 0, scrolls = 0, lastScrollPos = -1, sizes = 0, mouseDowns = 0, paints = 0;
    int lastWidth = 0;
    std::vector<std::wstring> dropped;

protected:
    bool OnCreate() override {
        using namespace ids;
        static const ControlSpec controls[] = {
            {L"BUTTON", Command1, L"開始", WS_TABSTOP | BS_PUSHBUTTON, 8, 8, 80, 24},
            {L"EDIT", Text1, L"12", WS_TABSTOP | ES_AUTOHSCROLL, 96, 8, 80, 22, WS_EX_CLIENTEDGE},
            {L"COMBOBOX", Combo1, L"", WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL, 8, 40, 160, 200},
            {L"LISTBOX", List1, L"", WS_TABSTOP | LBS_NOTIFY | WS_BORDER, 180, 40, 100, 60},
            {TRACKBAR_CLASSW, Slider1, L"", WS_TABSTOP | TBS_HORZ, 8, 110, 160, 28},
            {UPDOWN_CLASSW, UpDown1, L"", 0, 180, 110, 20, 24},
            {L"SCROLLBAR", HScroll1, L"", SBS_HORZ, 8, 144, 160, 17},
            {L"STATIC", Page1Label, L"ページ1", 0, 8, 170, 100, 18, 0, 1},
            {L"STATIC", Page2Label, L"ページ2", 0, 8, 170, 100, 18, 0, 2},
            {L"STATIC", Page2Hidden, L"隠し", 0, 120, 170, 100, 18, 0, 2, true},
            {L"BUTTON", Option1(0), L"A", WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 8, 196, 40,
             20},
            {L"BUTTON", Option1(1), L"B", BS_AUTORADIOBUTTON, 52, 196, 40, 20},
            {L"BUTTON", Option1(2), L"C", BS_AUTORADIOBUTTON, 96, 196, 40, 20},
            {L"BUTTON", Command2, L"閉じる", WS_TABSTOP | BS_PUSHBUTTON, 200, 196, 80, 24},
        };
        return AddControls(controls);
    }
    void OnCommand(int id, int code, HWND) override {
        ++commands;
        if (id == ids::Command2 && code == BN_CLICKED) EndModal(77);
    }
    void OnScroll(const ScrollEvent& e) override {
        ++scrolls;
        lastScrollPos = e.pos;
    }
    void OnSize(UINT, int w, int) override {
        ++sizes;
        lastWidth = w;
    }
    bool OnMouse(const MouseEvent& e) override {
        if (e.message == WM_LBUTTONDOWN) ++mouseDowns;
        return true;
    }
    void OnPaint(HDC, const RECT&) override { ++paints; }
    void OnDropFiles(const std::vector<std::wstring>& paths, POINT) override { dropped = paths; }
};

HMENU MakeMenu() {
    HMENU bar = CreateMenu();
    HMENU file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, ids::MenuOpen, L"開く(&O)");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"ファイル(&F)");
    return bar;
}

TEST(WinWindow, SpecMenuPagesAndHelpers) {
    using namespace ids;
    RichWindow w;
    WindowSpec spec{L"TaviroToolkitRich", L"rich", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 300,
                    230};
    spec.exStyle = WS_EX_ACCEPTFILES;
    spec.x = 40;
    spec.y = 30;
    spec.menu = MakeMenu();
    spec.cursor = LoadCursorW(nullptr, IDC_CROSS);
    ASSERT_TRUE(w.Create(spec));
    const DpiScale s = w.Scale();
    RECT client{}, frame{};
    GetClientRect(w.Hwnd(), &client);
    GetWindowRect(w.Hwnd(), &frame);
    EXPECT_EQ(client.right, s.Px(300));  // the menu bar is outside the client area
    EXPECT_EQ(client.bottom, s.Px(230));
    EXPECT_EQ(frame.left, 40);
    EXPECT_EQ(frame.top, 30);
    EXPECT_TRUE(GetWindowLongPtrW(w.Hwnd(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(w.Hwnd(), GCLP_HCURSOR)),
              LoadCursorW(nullptr, IDC_CROSS));
    EXPECT_EQ(GetMenuItemCount(GetMenu(w.Hwnd())), 1);
    RECT button{};
    GetWindowRect(w.Item(Command1), &button);
    EXPECT_EQ(button.right - button.left, s.Px(80));

    // Stacked pages start hidden; a page shows its controls but not those created hidden.
    EXPECT_TRUE(w.IsShown(Command1));
    EXPECT_FALSE(w.IsShown(Page1Label));
    EXPECT_FALSE(w.IsShown(Page2Label));
    ShowWindow(w.Hwnd(), SW_SHOW);
    w.ShowPage(2);
    EXPECT_EQ(w.Page(), 2);
    EXPECT_FALSE(w.IsShown(Page1Label));
    EXPECT_TRUE(w.IsShown(Page2Label));
    EXPECT_FALSE(w.IsShown(Page2Hidden));
    w.ShowPage(1);
    EXPECT_TRUE(w.IsShown(Page1Label));
    EXPECT_FALSE(w.IsShown(Page2Label));

    // Disabling the control that has the focus moves the focus on first.
    SetFocus(w.Item(Command1));
    ASSERT_EQ(GetFocus(), w.Item(Command1));
    w.Enable(Command1, false);
    EXPECT_FALSE(w.IsEnabled(Command1));
    EXPECT_NE(GetFocus(), w.Item(Command1));
    EXPECT_NE(GetFocus(), nullptr);
    w.Enable(Command1, true);
    EXPECT_TRUE(w.IsEnabled(Command1));

    bool ok = false;
    EXPECT_EQ(w.ItemInt(Text1, &ok), 12);
    EXPECT_TRUE(ok);
    w.SetItemText(Text1, L"12a");
    w.ItemInt(Text1, &ok);
    EXPECT_FALSE(ok);
    w.SetItemInt(Text1, -40);
    EXPECT_EQ(w.ItemText(Text1), L"-40");

    EXPECT_EQ(w.ComboSelection(Combo1), -1);
    for (const wchar_t* t : {L"未圧縮", L"MS-RLE", L"ｶﾀｶﾅ"}) w.ComboAdd(Combo1, t);
    EXPECT_EQ(w.ComboCount(Combo1), 3);
    w.ComboSelect(Combo1, 2);
    EXPECT_EQ(w.ComboSelection(Combo1), 2);
    EXPECT_EQ(w.ComboEntry(Combo1, 0), L"未圧縮");
    EXPECT_EQ(w.ComboEntry(Combo1, 9), L"");
    w.ComboClear(Combo1);
    EXPECT_EQ(w.ComboCount(Combo1), 0);
    w.ListAdd(List1, L"一");
    w.ListAdd(List1, L"二");
    w.ListSelect(List1, 1);
    EXPECT_EQ(w.ListSelection(List1), 1);
    EXPECT_EQ(w.ListEntry(List1, 1), L"二");
    EXPECT_EQ(w.ListCount(List1), 2);

    w.SetTrackRange(Slider1, 1, 100);
    w.SetTrackPos(Slider1, 250);  // clamped to the range
    EXPECT_EQ(w.TrackPos(Slider1), 100);
    w.SetUpDownRange(UpDown1, 1, 3600);
    w.SetUpDownPos(UpDown1, 3000);  // beyond 16 bits' signed half is not needed; 32-bit anyway
    EXPECT_EQ(w.UpDownPos(UpDown1), 3000);
    w.SetScrollRange(HScroll1, 0, 100000);
    w.SetScrollPos(HScroll1, 70000);  // more than a 16-bit thumb position
    EXPECT_EQ(w.ScrollPos(HScroll1), 70000);

    w.CheckRadio(Option1, 1);
    EXPECT_EQ(w.CheckedRadio(Option1), 1);
    EXPECT_FALSE(w.IsChecked(Option1(0)));
    w.CheckRadio(Option1, -1);
    EXPECT_EQ(w.CheckedRadio(Option1), -1);

    // Dispatch: scroll messages carry the full position, size, mouse, paint.
    SendMessageW(w.Hwnd(), WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 0),
                 reinterpret_cast<LPARAM>(w.Item(HScroll1)));
    EXPECT_EQ(w.lastScrollPos, 70000);
    SendMessageW(w.Hwnd(), WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0),
                 reinterpret_cast<LPARAM>(w.Item(Slider1)));
    EXPECT_EQ(w.lastScrollPos, 100);
    SendMessageW(w.Hwnd(), WM_SIZE, SIZE_RESTORED, MAKELPARAM(123, 45));
    EXPECT_EQ(w.lastWidth, 123);
    SendMessageW(w.Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(w.mouseDowns, 1);
    InvalidateRect(w.Hwnd(), nullptr, TRUE);
    UpdateWindow(w.Hwnd());
    EXPECT_GE(w.paints, 1);
    SendMessageW(w.Hwnd(), WM_COMMAND, MAKEWPARAM(MenuOpen, 0), 0);
    EXPECT_GE(w.commands, 1);
}

TEST(WinWindow, ModalRunDisablesTheOwner) {
    ProbeWindow owner;
    ASSERT_TRUE(owner.Create(L"TaviroToolkitProbe", L"owner", WS_OVERLAPPEDWINDOW, 200, 100));
    ShowWindow(owner.Hwnd(), SW_SHOW);
    owner.allowClose = true;

    RichWindow modal;
    WindowSpec spec{L"TaviroToolkitRich", L"modal", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 300,
                    230};
    spec.owner = owner.Hwnd();
    ASSERT_TRUE(modal.Create(spec));
    bool ownerDisabledInside = false;
    // A timer inside the modal loop checks the owner and presses the window's close button.
    struct Ctx {
        RichWindow* w;
        HWND owner;
        bool* disabled;
    } static ctx;
    ctx = {&modal, owner.Hwnd(), &ownerDisabledInside};
    SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        *ctx.disabled = !IsWindowEnabled(ctx.owner);
        SendMessageW(ctx.w->Item(ids::Command2), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(modal.ShowModal(), 77);
    EXPECT_TRUE(ownerDisabledInside);
    EXPECT_TRUE(IsWindowEnabled(owner.Hwnd()));
    EXPECT_FALSE(IsWindowVisible(modal.Hwnd()));

    // Closed by its caption button instead: the window goes and the result is 0.
    ASSERT_TRUE(IsWindow(modal.Hwnd()));
    PostMessageW(modal.Hwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(modal.ShowModal(), 0);
    EXPECT_EQ(modal.Hwnd(), nullptr);
    EXPECT_TRUE(IsWindowEnabled(owner.Hwnd()));
}

class ProbeDialog : public Dialog {
public:
    int inits = 0, destroyed = 0;
    bool endFromTimer = false;

protected:
    bool OnInit() override {
        ++inits;
        SetDlgItemTextW(Hwnd(), 101, L"ダイアログ");
        if (endFromTimer) SetTimer(Hwnd(), 1, 10, nullptr);
        return true;
    }
    void OnTimer(UINT_PTR id) override {
        KillTimer(Hwnd(), id);
        End(42);
    }
    void OnDestroy() override { ++destroyed; }
};

TEST(WinDialog, ModalAndModeless) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    ProbeDialog modal;
    modal.endFromTimer = true;
    EXPECT_EQ(modal.RunModal(instance, 100, nullptr), 42);
    EXPECT_EQ(modal.inits, 1);
    EXPECT_EQ(modal.destroyed, 1);

    ProbeDialog modeless;
    ASSERT_TRUE(modeless.CreateModeless(instance, 100, nullptr));
    wchar_t text[32] = {};
    GetDlgItemTextW(modeless.Hwnd(), 101, text, 32);
    EXPECT_STREQ(text, L"ダイアログ");
    SendMessageW(modeless.Hwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(modeless.destroyed, 1);
    EXPECT_EQ(modeless.Hwnd(), nullptr);
}

// A dialog built in memory: class "#32770", controls from a table, the frame in pixels.
class SpecDialog : public Dialog {
public:
    int result = 0;

protected:
    bool OnInit() override {
        static const ControlSpec controls[] = {
            {L"STATIC", 0xFFFF, L"本文", SS_LEFT, 10, 10, 200, 20},
            {L"BUTTON", IDOK, L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 10, 40, 80, 24},
        };
        return AddControls(controls);
    }
};

TEST(WinDialog, FromSpecInMemory) {
    static const DialogSpec spec{L"メモリ上", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
                                 220, 80};
    SpecDialog d;
    ASSERT_TRUE(d.CreateModeless(spec, nullptr));
    wchar_t cls[32] = {};
    GetClassNameW(d.Hwnd(), cls, 32);
    EXPECT_STREQ(cls, L"#32770");
    EXPECT_EQ(d.ItemText(0xFFFF), L"本文");
    RECT client{};
    GetClientRect(d.Hwnd(), &client);
    EXPECT_EQ(client.right, d.Px(220));
    EXPECT_EQ(client.bottom, d.Px(80));
    // A modal run of the modeless dialog: OK ends it with IDOK.
    PostMessageW(d.Item(IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(d.ShowModal(), IDOK);
    // Closing it otherwise (WM_CLOSE) acts as Cancel.
    PostMessageW(d.Hwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(d.ShowModal(), IDCANCEL);

    SpecDialog m;
    struct Ctx {
        SpecDialog* d;
    } static ctx;
    ctx = {&m};
    SetTimer(nullptr, 0, 30, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        if (ctx.d->Hwnd()) SendMessageW(ctx.d->Item(IDOK), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(m.RunModal(spec, nullptr), IDOK);
}

TEST(WinDpi, WindowDpiMatchesTheScreen) {
    HDC screen = GetDC(nullptr);
    const int logPixels = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(SystemDpi(), logPixels);
    ProbeWindow w;
    ASSERT_TRUE(w.Create(L"TaviroToolkitProbe", L"dpi", WS_OVERLAPPEDWINDOW, 300, 100));
    EXPECT_EQ(w.Scale().Dpi(), WindowDpi(w.Hwnd()));
    w.allowClose = true;
}

TEST(WinText, SystemCodePage) {
    ASSERT_EQ(GetACP(), 932u);
    const std::wstring w = L"表ﾃｽﾄ再生";
    const std::string ansi = AnsiFromWide(w);
    EXPECT_EQ(ansi.substr(0, 2), "\x95\x5C");  // a "\" byte inside a character
    EXPECT_EQ(ansi.size(), 2u + 3u + 4u);
    EXPECT_EQ(WideFromAnsi(ansi), w);
    EXPECT_EQ(WideFromUtf8(Utf8FromWide(w)), w);
    EXPECT_EQ(AnsiFromWide(L""), "");
    EXPECT_FALSE(SystemErrorText(ERROR_FILE_NOT_FOUND).empty());
    EXPECT_NE(SystemErrorText(ERROR_FILE_NOT_FOUND).back(), L'\n');
}

LRESULT CALLBACK ThrowingChildProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_APP + 1) throw std::runtime_error("must not escape the child's procedure");
    if (msg == WM_APP + 2) return 42;
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// A child class with a procedure of its own gets the same boundary as the toolkit's windows:
// a throwing handler costs the message its handling, not the program.
TEST(WinWindow, GuardedChildProcedureSwallowsExceptions) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &GuardedProc<&ThrowingChildProc>;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TaviroGuardedChild";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND w = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             wc.hInstance, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(SendMessageW(w, WM_APP + 1, 0, 0), 0) << "the default handling's answer";
    EXPECT_EQ(SendMessageW(w, WM_APP + 2, 0, 0), 42) << "the procedure still answers";
    EXPECT_TRUE(IsWindow(w));
    DestroyWindow(w);
    UnregisterClassW(wc.lpszClassName, wc.hInstance);
}

TEST(WinHandles, OwnersRelease) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path =
        std::wstring(temp) + L"taviro_handles_" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    {
        FileHandle f(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(f);
        FileHandle moved = std::move(f);
        EXPECT_FALSE(f);
        EXPECT_TRUE(moved);
        // Opened exclusively: a second open fails while the owner lives.
        EXPECT_EQ(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
                  INVALID_HANDLE_VALUE);
    }
    FileHandle again(
        CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(again);
    again.Reset();
    EXPECT_TRUE(DeleteFileW(path.c_str()));

    RegKey key;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.Put()), 0);
    EXPECT_TRUE(key);
}

TEST(WinHandles, GdiOwnersPutBackAndDelete) {
    WindowDc screen = WindowDc::Of(nullptr);
    ASSERT_TRUE(screen);
    MemoryDc dc(CreateCompatibleDC(screen.Get()));
    ASSERT_TRUE(dc);
    const HGDIOBJ firstBitmap = GetCurrentObject(dc.Get(), OBJ_BITMAP);
    HBITMAP raw = nullptr;
    {
        Bitmap bmp(CreateCompatibleBitmap(screen.Get(), 8, 8));
        ASSERT_TRUE(bmp);
        raw = bmp.Get();
        SelectGuard member;  // as a window keeps it: empty, then given its selection
        EXPECT_FALSE(member);
        EXPECT_TRUE(member.Select(dc.Get(), bmp.Get()));
        EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BITMAP), raw);
        SelectGuard moved = std::move(member);
        EXPECT_FALSE(member);
        member.Restore();  // the moved-from guard puts nothing back
        EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BITMAP), raw);
        moved.Restore();
        EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BITMAP), firstBitmap);
        EXPECT_TRUE(moved.Select(dc.Get(), bmp.Get()));
    }  // the guard (declared after the bitmap) puts the first bitmap back, then the bitmap goes
    EXPECT_EQ(GetCurrentObject(dc.Get(), OBJ_BITMAP), firstBitmap);
    EXPECT_EQ(GetObjectType(raw), 0u);

    HFONT rawFont = nullptr;
    {
        Font font(CreateFontW(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                              0, 0, L"MS UI Gothic"));
        ASSERT_TRUE(font);
        rawFont = font.Get();
        EXPECT_EQ(GetObjectType(rawFont), DWORD(OBJ_FONT));
    }
    EXPECT_EQ(GetObjectType(rawFont), 0u);
}

TEST(WinHandles, MenuTimerAndPriorityOwners) {
    HMENU rawMenu = nullptr;
    {
        Menu menu(CreatePopupMenu());
        ASSERT_TRUE(menu);
        rawMenu = menu.Get();
        EXPECT_TRUE(IsMenu(rawMenu));
    }
    EXPECT_FALSE(IsMenu(rawMenu));

    ProbeWindow w;
    ASSERT_TRUE(w.Create(WindowSpec{L"TaviroTimerProbe", L"timer", WS_OVERLAPPEDWINDOW, 100, 60}));
    {
        WindowTimer timer(w.Hwnd(), 7);
        EXPECT_TRUE(timer.Start(10));
        EXPECT_TRUE(timer.Running());
        WindowTimer moved = std::move(timer);
        EXPECT_FALSE(timer.Running());
        EXPECT_TRUE(moved.Running());
        // Ticks arrive while it runs.
        const DWORD until = GetTickCount() + 5000;
        while (w.timers == 0 && GetTickCount() < until) {
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
            Sleep(5);
        }
        EXPECT_GT(w.timers, 0);
    }
    // Killed with its owner: KillTimer finds nothing left to kill.
    EXPECT_FALSE(KillTimer(w.Hwnd(), 7));
    w.allowClose = true;
    DestroyWindow(w.Hwnd());

    const DWORD before = GetPriorityClass(GetCurrentProcess());
    {
        PriorityClassChange change;
        change.Set(GetCurrentProcess(), BELOW_NORMAL_PRIORITY_CLASS);
        EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), DWORD(BELOW_NORMAL_PRIORITY_CLASS));
    }
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), before);
}

}  // namespace
}  // namespace tqk::test
