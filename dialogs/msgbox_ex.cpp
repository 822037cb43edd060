#include "msgbox_ex.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "icon_sheet.h"
#include "msgbox_model.h"
#include "win_handles.h"
#include "win_text.h"
#include "win_window.h"

namespace tqk {
namespace {

std::wstring& ProgramTitle() {
    static std::wstring title = [] {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring name = path;
        name = name.substr(name.find_last_of(L"\\/") + 1);
        return name.substr(0, name.rfind(L'.'));
    }();
    return title;
}

constexpr UINT_PTR kTimer1 = 1;  // icon animation
constexpr UINT kAnimationMs = 55;
constexpr int kButtonWidth = 75;  // 96-DPI pixels, widened for long captions
constexpr int kButtonTextMargin = 16;
constexpr DWORD kPromptDrawFlags = DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_EXPANDTABS;

class MsgBoxDialog : public Dialog {
public:
    MsgBoxDialog(std::wstring prompt, int32_t buttons, std::wstring title, int32_t sound)
        : prompt_(std::move(prompt)),
          title_(std::move(title)),
          sound_(sound),
          choice_(msgbox::Describe(buttons)) {}

protected:
    bool OnInit() override;
    void OnCommand(int id, int code, HWND control) override;
    void OnClose() override { EndModal(0); }
    void OnTimer(UINT_PTR id) override;
    bool PreTranslate(MSG& msg) override;
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void OnDestroy() override { KillTimer(hwnd_, kTimer1); }

private:
    int TextWidth(HDC dc, const std::wstring& text, int width, int* height) const;
    void MakeSheet();
    void DrawFrame();
    void MoveFocus(int step);

    std::wstring prompt_, title_;
    int32_t sound_;
    msgbox::Choice choice_;
    std::vector<HWND> buttons_;
    int frame_ = 0;
    int iconTop_ = 0;
    RECT iconArea_{};
    MemoryDc sheetDc_, areaDc_;  // Picture1 (the sprite sheet) and the icon area's image
    GdiObject sheetBmp_, areaBmp_;
    std::optional<SelectGuard> sheetSel_, areaSel_;
    int cell_ = 32;
};

int MsgBoxDialog::TextWidth(HDC dc, const std::wstring& text, int width, int* height) const {
    RECT r{0, 0, width, 32767};
    const DWORD flags = DT_CALCRECT | (width > 0 ? kPromptDrawFlags : DT_NOPREFIX | DT_EXPANDTABS);
    const int h =
        DrawTextExW(dc, const_cast<wchar_t*>(text.c_str()), int(text.size()), &r, flags, nullptr);
    if (height) *height = h;
    return r.right - r.left;
}

bool MsgBoxDialog::OnInit() {
    SetWindowTextW(hwnd_, (title_.empty() ? ProgramTitle() : title_).c_str());
    const DpiScale s = Scale();
    HFONT font = Font();
    const bool hasIcon = choice_.icon != msgbox::kNoIcon;
    const size_t count = std::min<size_t>(choice_.buttons.captions.size(), 10);

    msgbox::LayoutInput in;
    in.hasIcon = hasIcon;
    in.screenWidth = GetSystemMetrics(SM_CXSCREEN);
    in.buttonCount = int(count);
    in.scale = s;
    int textHeight = 0;
    std::vector<std::wstring> captions;
    {
        WindowDc dc(hwnd_, GetDC(hwnd_));
        SelectGuard sel(dc.Get(), font);
        in.promptWidth = TextWidth(dc.Get(), prompt_, 0, nullptr);
        in.buttonWidth = s.Px(kButtonWidth);
        for (size_t i = 0; i < count; ++i) {
            captions.push_back(WideFromUtf8(choice_.buttons.captions[i]));
            std::wstring shown = captions.back();
            RECT r{0, 0, 0, 0};
            DrawTextW(dc.Get(), shown.c_str(), int(shown.size()), &r, DT_CALCRECT | DT_SINGLELINE);
            in.buttonWidth =
                std::max(in.buttonWidth, int(r.right - r.left) + s.Px(kButtonTextMargin));
        }
        const msgbox::Rect area = msgbox::TextArea(in);
        // The prompt wraps within the text area; a word longer than the area widens it.
        const int measured = TextWidth(dc.Get(), prompt_, area.Width(), &textHeight);
        if (measured > area.Width()) in.promptWidth = measured;
    }
    const msgbox::Layout l = msgbox::Arrange(in, textHeight);

    // The frame around the client area, centred on the owner or the screen's work area.
    RECT frame{0, 0, l.clientWidth, l.clientHeight};
    AdjustWindowRectEx(&frame, DWORD(GetWindowLongPtrW(hwnd_, GWL_STYLE)), FALSE,
                       DWORD(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE)));
    const int fw = frame.right - frame.left, fh = frame.bottom - frame.top;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT around = work;
    HWND owner = GetWindow(hwnd_, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &around);
    int x = around.left + (around.right - around.left - fw) / 2;
    int y = around.top + (around.bottom - around.top - fh) / 2;
    x = std::max(int(work.left), std::min(x, int(work.right) - fw));
    y = std::max(int(work.top), std::min(y, int(work.bottom) - fh));
    SetWindowPos(hwnd_, nullptr, x, y, fw, fh, SWP_NOZORDER | SWP_NOACTIVATE);

    HINSTANCE instance = GetModuleHandleW(nullptr);
    auto make = [&](const wchar_t* cls, const std::wstring& text, DWORD style,
                    const msgbox::Rect& r, int id) {
        HWND h = CreateWindowExW(0, cls, text.c_str(), WS_CHILD | style, r.left, r.top, r.Width(),
                                 r.Height(), hwnd_, reinterpret_cast<HMENU>(INT_PTR(id)), instance,
                                 nullptr);
        if (h) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return h;
    };
    make(L"STATIC", prompt_, WS_VISIBLE | SS_LEFT | SS_EDITCONTROL | SS_NOPREFIX, l.text,
         MsgBoxEx::kPromptId);
    // The icon area: owner-drawn; its text names the icon for screen readers.
    make(L"STATIC", WideFromUtf8(msgbox::IconName(choice_.icon)),
         SS_OWNERDRAW | (hasIcon ? WS_VISIBLE : 0), l.icon, MsgBoxEx::kPicture2Id);
    for (size_t i = 0; i < count; ++i) {
        const bool isDefault = int(i) == choice_.defaultButton;
        DWORD style = WS_VISIBLE | WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        if (i == 0) style |= WS_GROUP;
        buttons_.push_back(
            make(L"BUTTON", captions[i], style, l.buttons[i], choice_.buttons.codes[i]));
    }
    const int defaultCode = choice_.buttons.codes[size_t(choice_.defaultButton)];
    SendMessageW(hwnd_, DM_SETDEFID, WPARAM(defaultCode), 0);
    if (buttons_[size_t(choice_.defaultButton)]) SetFocus(buttons_[size_t(choice_.defaultButton)]);

    if (hasIcon) {
        iconArea_ = {l.icon.left, l.icon.top, l.icon.right, l.icon.bottom};
        iconTop_ = l.icon.top;
        MakeSheet();
        DrawFrame();  // the empty area until the first tick
        SetTimer(hwnd_, kTimer1, kAnimationMs, nullptr);
    }
    if (sound_ != 0) MessageBeep(UINT(sound_));
    return false;  // the focus is set
}

void MsgBoxDialog::MakeSheet() {
    cell_ = Px(32);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const uint32_t background =
        uint32_t(GetRValue(face)) << 16 | uint32_t(GetGValue(face)) << 8 | GetBValue(face);
    const msgbox::IconSheet sheet = msgbox::DrawIconSheet(cell_, background);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = sheet.width;
    bi.bmiHeader.biHeight = -sheet.height;  // top-down, as the sheet
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    WindowDc screen(nullptr, GetDC(nullptr));
    sheetBmp_.Reset(CreateDIBSection(screen.Get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!sheetBmp_ || !bits) return;
    std::copy(sheet.pixels.begin(), sheet.pixels.end(), static_cast<uint32_t*>(bits));
    sheetDc_.Reset(CreateCompatibleDC(screen.Get()));
    areaDc_.Reset(CreateCompatibleDC(screen.Get()));
    areaBmp_.Reset(CreateCompatibleBitmap(screen.Get(), iconArea_.right - iconArea_.left,
                                          iconArea_.bottom - iconArea_.top));
    if (!sheetDc_ || !areaDc_ || !areaBmp_) return;
    sheetSel_.emplace(sheetDc_.Get(), sheetBmp_.Get());
    areaSel_.emplace(areaDc_.Get(), areaBmp_.Get());
}

void MsgBoxDialog::DrawFrame() {
    if (!areaDc_) return;
    RECT all{0, 0, iconArea_.right - iconArea_.left, iconArea_.bottom - iconArea_.top};
    FillRect(areaDc_.Get(), &all, GetSysColorBrush(COLOR_BTNFACE));
    if (frame_ >= 1 && frame_ <= msgbox::kFrames && sheetDc_) {
        const int kind = int(choice_.icon);
        const int sx = (frame_ - 1) * cell_, at = Px(8);
        BitBlt(areaDc_.Get(), at, at, cell_, cell_, sheetDc_.Get(), sx, (kind + 3) * cell_, SRCAND);
        BitBlt(areaDc_.Get(), at, at, cell_, cell_, sheetDc_.Get(), sx, (kind - 1) * cell_,
               SRCPAINT);
    }
    HWND picture = Item(MsgBoxEx::kPicture2Id);
    if (choice_.icon == msgbox::kInformation) {
        SetWindowPos(picture, nullptr, iconArea_.left,
                     iconTop_ + msgbox::HopOffset(frame_, Scale()), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    InvalidateRect(picture, nullptr, FALSE);
    UpdateWindow(hwnd_);
}

void MsgBoxDialog::OnTimer(UINT_PTR id) {
    if (id != kTimer1) return;
    ++frame_;
    if (frame_ > msgbox::kFrames) {
        KillTimer(hwnd_, kTimer1);
        frame_ = msgbox::kFrames;  // the last frame stays drawn
        return;
    }
    DrawFrame();
}

bool MsgBoxDialog::OnMessage(UINT msg, WPARAM, LPARAM lp) {
    if (msg != WM_DRAWITEM) return false;
    const auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
    if (!d || d->CtlID != UINT(MsgBoxEx::kPicture2Id)) return false;
    if (areaDc_)
        BitBlt(d->hDC, 0, 0, iconArea_.right - iconArea_.left, iconArea_.bottom - iconArea_.top,
               areaDc_.Get(), 0, 0, SRCCOPY);
    SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
    return true;
}

void MsgBoxDialog::OnCommand(int id, int code, HWND control) {
    for (HWND b : buttons_) {
        if (b && b == control && code == BN_CLICKED) {
            EndModal(id);
            return;
        }
    }
}

void MsgBoxDialog::MoveFocus(int step) {
    const int n = int(buttons_.size());
    if (n == 0) return;
    int at = 0;
    for (int i = 0; i < n; ++i)
        if (buttons_[size_t(i)] == GetFocus()) at = i;
    const int next = ((at + step) % n + n) % n;  // wraps around both ways
    SendMessageW(hwnd_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(buttons_[size_t(next)]), TRUE);
}

bool MsgBoxDialog::PreTranslate(MSG& msg) {
    if (msg.message != WM_KEYDOWN || !(msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd))) return false;
    switch (msg.wParam) {
    case VK_RIGHT: MoveFocus(1); return true;
    case VK_LEFT: MoveFocus(-1); return true;
    case VK_ESCAPE:
        // Escape presses the cancel button (the second one); a box of one button has none.
        if (choice_.cancelButton >= 0 && size_t(choice_.cancelButton) < buttons_.size())
            EndModal(choice_.buttons.codes[size_t(choice_.cancelButton)]);
        return true;
    default: return false;
    }
}

}  // namespace

void MsgBoxEx::SetProgramTitle(const std::wstring& title) { ProgramTitle() = title; }

int32_t MsgBoxEx::Msg(const std::wstring& Prompt, HWND OwnerForm, int32_t Buttons,
                      const std::wstring& Title, int32_t Sound, bool /*UseAnime*/) {
    MsgBoxDialog box(Prompt, Buttons, Title, Sound);
    static const DialogSpec spec{
        L"", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFOREGROUND, 112, 69,
        WS_EX_DLGMODALFRAME};
    if (!box.CreateModeless(spec, OwnerForm)) return 0;
    const int32_t result = box.ShowModal();
    DestroyWindow(box.Hwnd());  // while the box's drawing objects still exist
    return result;
}

}  // namespace tqk
