#include "rec_ui.h"

#include "comd6.h"
#include "msgbox_ex.h"
#include "tooltip.h"

namespace tqk::rec {

int RecMessage(HWND owner, const std::wstring& text, UINT style, const std::wstring& title) {
    return tqk::MsgBoxEx::Msg(text, owner, int32_t(style), title);
}

std::wstring RecSaveFile(HWND owner, const std::wstring& filter, const std::wstring& folder,
                         const std::wstring& proposedName) {
    tqk::ComD6 dialog;
    dialog.Filter(filter);
    if (!folder.empty()) dialog.DefaultDirectory(folder);
    // The program's current folder stays where it was.
    dialog.Flag_NoChangeDir_Destroy(1);
    return dialog.ShowSave(owner, proposedName);
}

std::wstring RecOpenFile(HWND owner, const std::wstring& filter, const std::wstring& folder) {
    tqk::ComD6 dialog;
    dialog.Filter(filter);
    if (!folder.empty()) dialog.DefaultDirectory(folder);
    dialog.Flag_NoChangeDir_Destroy(1);
    return dialog.ShowOpenSingle(owner);
}

struct RecToolTips::Impl {
    tqk::ToolTip tip;
};

RecToolTips::RecToolTips() : impl_(std::make_unique<Impl>()) {}

RecToolTips::~RecToolTips() = default;

void RecToolTips::Init(HWND owner) { impl_->tip.Init(owner); }

void RecToolTips::MakeToolTip(const std::wstring& text, const HWND* windows, size_t count) {
    impl_->tip.MakeToolTip(text, std::vector<HWND>(windows, windows + count));
}

void RecToolTips::MakeToolTipEx(const std::wstring& text, HWND window, const RECT& rect) {
    impl_->tip.MakeToolTipEx(
        text, 1, window,
        {double(rect.left), double(rect.top), double(rect.right), double(rect.bottom)});
}

}  // namespace tqk::rec
