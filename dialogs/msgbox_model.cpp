#include "msgbox_model.h"

#include <algorithm>
#include <cmath>

namespace tqk::msgbox {
namespace {

// Pixel figures of the box at 96 DPI.
constexpr int kTextLeft = 20, kTextTop = 12;          // without icon
constexpr int kIconTextLeft = 68, kIconTextTop = 18;  // with icon
constexpr int kIconAreaLeft = 12, kIconAreaTop = 10, kIconAreaSize = 48;
constexpr int kMinBottomWithIcon = 40;
constexpr int kMinHeight = 69, kMinWidth = 112;
constexpr int kBelowText = 52, kRightMargin = 15;
constexpr int kButtonHeight = 19, kButtonGap = 10, kButtonBottom = 17, kWideMargin = 30;
constexpr double kMaxScreenShare = 0.6;
constexpr double kPi = 3.14159265358979323846;

}  // namespace

Choice Describe(int32_t buttons) {
    Choice c;
    switch (buttons & 0xF) {
    case 1: c.buttons = {{"OK", "キャンセル"}, {1, 2}}; break;
    case 2: c.buttons = {{"中止", "再試行", "無視"}, {3, 4, 5}}; break;
    case 3: c.buttons = {{"はい(&Y)", "いいえ(&N)", "キャンセル"}, {6, 7, 2}}; break;
    case 4: c.buttons = {{"はい", "いいえ"}, {6, 7}}; break;
    case 5: c.buttons = {{"再試行", "キャンセル"}, {4, 2}}; break;
    default: c.buttons = {{"OK"}, {1}}; break;
    }
    switch (buttons & 0xF0) {
    case 16: c.icon = kError; break;
    case 32: c.icon = kQuestion; break;
    case 48: c.icon = kWarning; break;
    case 64: c.icon = kInformation; break;
    default: c.icon = kNoIcon; break;
    }
    const int def = (buttons >> 8) & 0xF;
    c.defaultButton = def < int(c.buttons.codes.size()) ? def : 0;
    c.cancelButton = c.buttons.codes.size() >= 2 ? 1 : -1;
    return c;
}

std::string IconName(IconKind kind) {
    switch (kind) {
    case kError: return "エラー";
    case kQuestion: return "問い合わせ";
    case kWarning: return "警告";
    case kInformation: return "情報";
    default: return "";
    }
}

Rect TextArea(const LayoutInput& in) {
    const DpiScale& s = in.scale;
    Rect r;
    r.left = s.Px(in.hasIcon ? kIconTextLeft : kTextLeft);
    r.top = s.Px(in.hasIcon ? kIconTextTop : kTextTop);
    const int maxWidth = int(in.screenWidth * kMaxScreenShare);
    r.right = r.left + std::max(1, std::min(in.promptWidth, maxWidth));
    r.bottom = r.top;
    return r;
}

Layout Arrange(const LayoutInput& in, int textHeight) {
    const DpiScale& s = in.scale;
    Layout l;
    l.text = TextArea(in);
    l.text.bottom = l.text.top + std::max(0, textHeight);
    int bottom = l.text.bottom;
    if (in.hasIcon) {
        bottom = std::max(bottom, s.Px(kMinBottomWithIcon));
        l.icon = {s.Px(kIconAreaLeft), s.Px(kIconAreaTop), s.Px(kIconAreaLeft + kIconAreaSize),
                  s.Px(kIconAreaTop + kIconAreaSize)};
    }
    const int below = bottom - (in.hasIcon ? 0 : s.Px(5)) + s.Px(kBelowText);
    // The box's figures count the caption bar in its height (caption-button height); the
    // client area is that height less the caption, which the frame adds back.
    l.clientHeight = std::max(s.Px(kMinHeight), below);
    l.clientWidth = std::max(s.Px(kMinWidth), l.text.right + s.Px(kRightMargin));

    const int count = std::max(1, std::min(in.buttonCount, 10));
    const int bw = in.buttonWidth, bh = s.Px(kButtonHeight);
    const int total = count * bw + (count - 1) * s.Px(kButtonGap);
    if (total > l.clientWidth) l.clientWidth = total + s.Px(kWideMargin);
    const int top = l.clientHeight - s.Px(kButtonBottom) - bh;
    for (int i = 0; i < count; ++i) {
        const int left = (l.clientWidth - total) / 2 + i * total / count;
        l.buttons.push_back({left, top, left + bw, top + bh});
    }
    return l;
}

int HopOffset(int frame, const DpiScale& scale) {
    if (frame < 1 || frame > 6) return 0;
    const double h = 8.0 * std::sin((frame - 1) / 5.0 * kPi);
    return -int(std::lround(h * scale.Dpi() / kBaseDpi));
}

}  // namespace tqk::msgbox
