#include "run_box.h"

#include "msgbox_ex.h"
#include "win_text.h"

namespace tqk::rec {

int RunMessage(HWND owner, const std::string& text, UINT style) {
    // Owned by the given window only when it is visible: a box owned by a hidden window would
    // stay behind the others.
    HWND shownOwner = owner && IsWindowVisible(owner) ? owner : nullptr;
    return MsgBoxEx::Msg(WideFromUtf8(text), shownOwner, int32_t(style), L"TaviroRec");
}

}  // namespace tqk::rec
