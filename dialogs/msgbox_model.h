// The message box's choices and layout: which buttons, icon and default button the style bits
// ask for, and where everything goes. Portable: no <windows.h>. Texts are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dpi_scale.h"

namespace tqk::msgbox {

enum IconKind : int32_t { kNoIcon = 0, kError = 1, kQuestion = 2, kWarning = 3, kInformation = 4 };

struct ButtonSet {
    std::vector<std::string> captions;  // left to right
    std::vector<int32_t> codes;         // what each returns
};

struct Choice {
    ButtonSet buttons;
    IconKind icon = kNoIcon;
    int defaultButton = 0;  // index, within the buttons
    int cancelButton = -1;  // the button Escape presses (index 1 with two or more), -1: none
};

// The buttons, icon and default button of style bits: set = bits 0-3 (an unknown set shows
// "OK"), icon = bits 4-7, default = bits 8-11 (beyond the last button: the first).
Choice Describe(int32_t buttons);

// The accessible name of an icon kind (what a screen reader says of the icon area).
std::string IconName(IconKind kind);

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

struct LayoutInput {
    bool hasIcon = false;
    int promptWidth = 0;     // the prompt's width on one line per line break, pixels
    int screenWidth = 1024;  // pixels
    int buttonCount = 1;
    int buttonWidth = 75;  // pixels (at least the widest caption's width plus its margins)
    DpiScale scale;
};

// Step one: where the text goes and how wide it may be (at most 60 % of the screen).
Rect TextArea(const LayoutInput& in);

struct Layout {
    Rect text;  // the prompt's rectangle
    Rect icon;  // the icon area (empty without icon)
    // The client area; the frame adds the caption bar (at least the caption-button height).
    int clientWidth = 0, clientHeight = 0;
    std::vector<Rect> buttons;
};

// Step two, with the prompt's height measured in the text area's width (wrapped).
Layout Arrange(const LayoutInput& in, int textHeight);

// The icon area's offset from its top during the hop of the information icon: frame 1..6.
int HopOffset(int frame, const DpiScale& scale);

}  // namespace tqk::msgbox
