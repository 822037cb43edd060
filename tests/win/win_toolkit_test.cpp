// The shared Win32 toolkit: the window and dialog bases' one procedure, the handle owners and
// the text conversions in the system code page (932 in the test environment).
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "win_handles.h"
#include "win_text.h"
#include "win_window.h"

namespace tqk {
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

TEST(WinHandles, OwnersRelease) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"taviro_handles_" +
                              std::to_wstring(GetCurrentProcessId()) + L".tmp";
    {
        FileHandle f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(f);
        FileHandle moved = std::move(f);
        EXPECT_FALSE(f);
        EXPECT_TRUE(moved);
        // Opened exclusively: a second open fails while the owner lives.
        EXPECT_EQ(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
                  INVALID_HANDLE_VALUE);
    }
    FileHandle again(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(again);
    again.Reset();
    EXPECT_TRUE(DeleteFileW(path.c_str()));

    RegKey key;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.Put()), 0);
    EXPECT_TRUE(key);
}

}  // namespace
}  // namespace tqk
