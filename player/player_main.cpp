// PlayerModule: the player's start-up. The command-line tail names one movie; the quotes the
// shell puts around a path with blanks are removed.
#include <windows.h>

#include <ole2.h>
#include <shlwapi.h>

#include <cmath>

#include "dpi_scale.h"
#include "form1.h"
#include "form1_ids.h"
#include "form5.h"
#include "player_model.h"
#include "win_handles.h"
#include "win_window.h"

namespace {

// The progress window's default place: centred in the work area.
void CentreProgressWindow() {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT r{0, 0, 360, 66};  // the progress window's client area
    AdjustWindowRect(&r, WS_CAPTION | WS_SYSMENU, FALSE);
    tqk::g_Form5Left = int(std::lround(((work.right - work.left) - (r.right - r.left)) / 2.0));
    tqk::g_Form5Top = int(std::lround(((work.bottom - work.top) - (r.bottom - r.top)) / 2.0));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    const std::wstring path = tqk::player::PathFromCommandTail(PathGetArgsW(GetCommandLineW()));
    CentreProgressWindow();
    // OLE for the window's drop target (a failure leaves the plain file drops).
    const tqk::OleInit ole;
    tqk::player::Form1 form;
    if (!form.Create()) return 1;
    if (!path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        form.U_Open(path);
    ShowWindow(form.Hwnd(), show == SW_HIDE ? SW_SHOWNORMAL : show);
    UpdateWindow(form.Hwnd());
    return tqk::RunMessageLoop();
}
