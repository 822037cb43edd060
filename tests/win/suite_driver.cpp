#include "suite_driver.h"

#include <cstdio>

#include "player/form1_ids.h"
#include "recorder/form2_ids.h"
#include "test_files.h"
#include "win_text.h"
#include "window_driver.h"

namespace tqk::test {
namespace {

// Shows page i of the settings window, as a click on its list does.
void SelectPage(HWND form, int listId, int page) {
    HWND list = Child(form, listId);
    SendMessageW(list, LB_SETCURSEL, WPARAM(page), 0);
    SendMessageW(form, WM_COMMAND, MAKEWPARAM(listId, LBN_SELCHANGE), LPARAM(list));
}

// Moves a slider (a trackbar, or a scroll bar) through the window's scroll handler.
void SetScroll(HWND parent, HWND bar, int value) {
    if (ClassName(bar) != L"ScrollBar") {
        SetTrackbarPos(bar, value);
        return;
    }
    SendMessageW(bar, SBM_SETPOS, WPARAM(value), TRUE);
    SendMessageW(parent, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, value), LPARAM(bar));
}

// A dialog of process pid that holds a child of class childClass (or the file-name box).
HWND WaitForDialogWith(DWORD pid, const wchar_t* childClass, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            HWND d = WaitForWindow(pid, L"#32770", nullptr, 50);
            if (d && (childClass ? FindWindowExW(d, nullptr, childClass, nullptr) != nullptr
                                 : FileNameBox(d) != nullptr))
                found = d;
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

}  // namespace

bool ChooseZmbv(DWORD pid, DWORD timeoutMs) {
    std::wstring offered;
    const bool found = ChooseCompressor(
        pid, [](const std::wstring& s) { return s.find(L"ZMBV") != std::wstring::npos; }, timeoutMs,
        &offered);
    if (!found) std::fprintf(stderr, "compressors offered: %s\n", Utf8FromWide(offered).c_str());
    return found;
}

RecorderResult RecordThroughRecorder(const std::wstring& recorder, const std::wstring& movie,
                                     const RecorderRun& run) {
    using namespace tqk::form2_ids;
    RecorderResult result;
    const auto shot = [&](const std::wstring& name) {
        if (run.screenshot) run.screenshot(name);
    };
    ChildProcess rec;
    if (!rec.Start(recorder)) return result;
    HWND form2 = WaitForWindow(rec.Id(), L"TaviroRecForm2", nullptr, run.timeoutMs);
    if (!form2) return result;
    result.windowShown = true;
    const LONG rect[4] = {run.rect.left, run.rect.top, run.rect.right - run.rect.left,
                          run.rect.bottom - run.rect.top};
    SelectPage(form2, List1, 1);
    for (int i = 0; i < 4; ++i) SetText(Child(form2, Text1(i)), std::to_wstring(rect[i]));
    SelectPage(form2, List1, 2);
    SetScroll(form2, Child(form2, HScroll1(0)), run.fps);
    SetScroll(form2, Child(form2, HScroll1(1)), run.seconds);
    result.soundChosen = SetChecked(Child(form2, Check3), true);
    SelectPage(form2, List1, 3);
    Click(Child(form2, Option2(0)));
    Click(Child(form2, Command8));
    result.zmbvChosen = ChooseZmbv(rec.Id(), run.timeoutMs);
    SetText(Child(form2, Text2), movie);
    shot(L"recorder-settings");
    Click(Child(form2, Command5));

    // The overwrite question when files of an earlier run are there; then the recording
    // window, the export's progress window, and the settings window again.
    const DWORD start = GetTickCount();
    int shots = 0;
    bool away = false;
    while (GetTickCount() - start < DWORD(run.seconds) * 1000 + run.timeoutMs) {
        if (auto box = WaitForMessageBox(rec.Id(), 200)) {
            if (!AnswerMessageBox(*box, box->Has(IDYES) ? IDYES : IDOK)) break;
            continue;
        }
        if (!IsWindowVisible(form2)) {
            away = true;
            if (shots < 4 && GetTickCount() - start > DWORD(1000 + shots * 1500))
                shot(L"recorder-run-" + std::to_wstring(++shots));
        } else if (away) {
            result.recorded = true;
            break;
        }
    }
    shot(L"recorder-after");
    PostMessageW(form2, WM_CLOSE, 0, 0);
    if (!rec.WaitExit(run.timeoutMs)) rec.Kill();
    return result;
}

bool ExportThroughPlayer(DWORD pid, HWND player, const std::wstring& movie, const std::wstring& avi,
                         DWORD timeoutMs, std::wstring* said) {
    const auto answer = [&](const MessageBoxInfo& box) {
        *said += L"[" + box.text + L"] ";
        return AnswerMessageBox(box, box.Has(IDYES) ? IDYES : IDOK);
    };
    PostMessageW(player, WM_COMMAND, player_ids::MenuExport, 0);
    HWND open = WaitForDialogWith(pid, nullptr, timeoutMs);
    if (!open || !SetFileDialogName(open, movie) || !CloseFileDialog(open, true, timeoutMs))
        return false;
    // "…が存在しています。Waveも取りこみますか？" and, for an AVI already there, the
    // replace question: Yes to both; then the compressor dialog.
    const DWORD start = GetTickCount();
    while (!WaitForDialogWith(pid, L"ComboBox", 100)) {
        if (GetTickCount() - start > timeoutMs) return false;
        if (auto box = WaitForMessageBox(pid, 100))
            if (!answer(*box)) return false;
    }
    if (!ChooseZmbv(pid, timeoutMs)) return false;
    return WaitUntil(
        [&] {
            if (auto box = WaitForMessageBox(pid, 0)) answer(*box);
            return Exists(avi) && IsWindowVisible(player);
        },
        timeoutMs);
}

}  // namespace tqk::test
