// The capture-method trial: two seconds with each method, recorded into scratch files of the
// trial's own in the temporary folder and deleted afterwards; no file of the user's is touched.
#include <string>

#include "pipeline.h"
#include "run_box.h"
#include "snapshot_worker.h"
#include "trial_model.h"
#include "win_files.h"
#include "win_text.h"

namespace tqk::rec {

namespace {

std::string TrialScratchBase() {
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, folder);
    std::wstring base = (n > 0 && n <= MAX_PATH) ? std::wstring(folder, n) : L".\\";
    base += L"TaviroTrial" + std::to_wstring(GetCurrentProcessId());
    return Utf8FromWide(base);
}

void DeleteTrialFiles(const CaptureSettings& t) {
    DeleteFileClearingReadOnly(WideFromUtf8(t.TqkPath));
    if (t.RecordsSound()) {
        DeleteFileClearingReadOnly(WideFromUtf8(t.WavePath));
        DeleteFileClearingReadOnly(WideFromUtf8(t.WaveScratchPath));
    }
}

}  // namespace

std::optional<std::wstring> RunTrial(const RecorderContext& ctx, const CaptureSettings& settings) {
    if (ctx.snapshots) ctx.snapshots->Stop();  // its measures are the methods' alone
    if (ctx.owner) ShowWindow(ctx.owner, SW_HIDE);
    const std::string base = TrialScratchBase();
    std::string report;
    for (int32_t method = 0; method < kTrialMethods; ++method) {
        const CaptureSettings t = TrialSettings(settings, method, base);
        DeleteTrialFiles(t);
        const RunResult run = RecordInWindow(ctx, t, true);
        DeleteTrialFiles(t);
        report += TrialLine(method, run.resultCode, run.averageCaptureMs, run.droppedFrames,
                            settings.Fps);
    }
    if (ctx.owner) {
        ShowWindow(ctx.owner, SW_SHOW);
        SetForegroundWindow(ctx.owner);
    }
    return WideFromUtf8(report);
}

}  // namespace tqk::rec
