// Form4: the about window, with the product name and the program's version line.
#pragma once

#include <windows.h>

#include "win_window.h"

namespace tqk::rec {

class Form4 : public tqk::Dialog {
public:
    // Shows the window modally over owner until "Close" (or Escape) unloads it.
    void Show(HWND owner);

protected:
    bool OnInit() override;
    void OnCommand(int id, int code, HWND control) override;
};

// The version numbers of this program's own version resource; false when it has none.
bool OwnVersion(int* major, int* minor, int* revision);

}  // namespace tqk::rec
