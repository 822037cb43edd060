#include "form4.h"

#include <vector>

#include "form2_texts.h"
#include "form4_ids.h"
#include "recorder_files.h"

namespace tqk::rec {

using namespace tqk::form4_ids;

namespace {

const tqk::ControlSpec kControls[] = {
    {L"STATIC", Label1, L"Taviro 画面録画", SS_CENTER | SS_NOPREFIX, 12, 16, 256, 20},
    {L"STATIC", Label2, L"", SS_CENTER | SS_NOPREFIX, 12, 44, 256, 18},
    {L"BUTTON", Command1, L"Close", WS_TABSTOP | BS_DEFPUSHBUTTON, 100, 76, 80, 26},
};

}  // namespace

bool OwnVersion(int* major, int* minor, int* revision) {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) return false;
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoW(path, 0, size, data.data())) return false;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &len) || !info ||
        len < sizeof *info) {
        return false;
    }
    *major = HIWORD(info->dwFileVersionMS);
    *minor = LOWORD(info->dwFileVersionMS);
    *revision = LOWORD(info->dwFileVersionLS);
    return true;
}

void Form4::Show(HWND owner) {
    tqk::DialogSpec spec{L"バージョン情報", WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 280,
                         112};
    RunModal(spec, owner);
}

bool Form4::OnInit() {
    if (!AddControls(kControls)) return false;
    int major = 0, minor = 0, revision = 0;
    OwnVersion(&major, &minor, &revision);
    SetItemText(Label2, Wide(VersionLine(major, minor, revision)));
    SetFocus(Item(Command1));
    return false;
}

void Form4::OnCommand(int id, int /*code*/, HWND /*control*/) {
    if (id == Command1 || id == IDCANCEL || id == IDOK) End(IDOK);
}

}  // namespace tqk::rec
