#include "install_driver.h"

#include "setup_ids.h"

namespace tqk::test {

InstallerRun RunInstaller(const std::wstring& setupExe, const std::wstring& dest, bool desktop,
                          bool associate, DWORD timeoutMs,
                          const std::function<void(HWND)>& atWindow,
                          const std::function<void(const MessageBoxInfo&)>& atMessage) {
    using namespace setup_ids;
    InstallerRun run;
    ChildProcess p;
    if (!p.Start(setupExe)) return run;
    HWND w = WaitForWindow(p.Id(), nullptr, kInstallerCaption, timeoutMs);
    if (!w) return run;
    run.windowShown = true;
    SetText(Child(w, kText1), dest);
    if (!SetChecked(Child(w, kCheck1), desktop) || !SetChecked(Child(w, kCheck2), associate))
        return run;
    if (atWindow) atWindow(w);
    Click(Child(w, kCommand2));
    for (;;) {
        auto box = WaitForMessageBox(p.Id(), timeoutMs);
        if (!box) break;
        run.messages.push_back(box->text);
        if (atMessage) atMessage(*box);
        if (!AnswerMessageBox(*box, IDOK)) break;
        if (box->text == kInstallFinished) {
            run.finished = true;
            break;
        }
    }
    run.exitCode = p.WaitExit(timeoutMs);
    return run;
}

std::vector<std::wstring> AnswerUninstaller(DWORD pid, DWORD timeoutMs) {
    // The confirmation, then one message: the completion or the reason it stopped.
    std::vector<std::wstring> texts;
    for (int i = 0; i < 2; ++i) {
        auto box = WaitForMessageBox(pid, timeoutMs);
        if (!box) break;
        texts.push_back(box->text);
        if (!AnswerMessageBox(*box, box->Has(IDYES) ? IDYES : IDOK, timeoutMs)) break;
        if (box->text != kUninstallConfirm) break;
    }
    return texts;
}

}  // namespace tqk::test
