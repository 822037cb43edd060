#include "pipeline.h"

#include <memory>

#include "form5.h"
#include "result_code.h"
#include "run_box.h"
#include "safe_file.h"
#include "snapshot_worker.h"
#include "tqkavi.h"
#include "win_files.h"
#include "win_text.h"

namespace tqk::rec {

namespace {

// The conversion the progress window runs, watched so that the pipeline knows how the export
// ended (the window keeps its results to itself).
class WatchedConversion : public ConversionSource {
public:
    explicit WatchedConversion(ConversionWatch* watch) : watch_(watch) {
        inner_.Decoding = [this](int32_t now, int32_t total, int32_t ms) {
            if (Decoding) Decoding(now, total, ms);
        };
    }
    int32_t TQKtoAVI(const std::wstring& TQKFile, const std::wstring& AVIFile,
                     const COMPVARS* ptr_cv, bool ModifyAVI24bit) override {
        watch_->Begin(ConversionWatch::Phase::kExport);
        const int32_t result = inner_.TQKtoAVI(TQKFile, AVIFile, ptr_cv, ModifyAVI24bit);
        watch_->AviDone(result, !inner_.FailureText().empty());
        return result;
    }
    void AVIRecCancel() override {
        watch_->Cancelled();
        inner_.AVIRecCancel();
    }
    int32_t WAVaddAVI(const std::wstring& WaveFile, const std::wstring& AVIFile,
                      intptr_t CallBack) override {
        const int32_t result = inner_.WAVaddAVI(WaveFile, AVIFile, CallBack);
        watch_->WaveDone(result);
        return result;
    }
    int32_t TQKtoTQK(const std::wstring& srcFnm, const std::wstring& dstFnm, int32_t dstBit,
                     int32_t dstType) override {
        watch_->Begin(ConversionWatch::Phase::kRewrite);
        return inner_.TQKtoTQK(srcFnm, dstFnm, dstBit, dstType);
    }
    std::wstring FailureText() const override { return inner_.FailureText(); }

private:
    TQKAVI inner_;
    ConversionWatch* watch_;
};

std::string EngineText(int32_t code) {
    tqk::Capture engine;
    return Utf8FromWide(engine.GetError(code));
}

}  // namespace

Form1& RecordingWindow() {
    static Form1 form;
    return form;
}

RunResult RecordInWindow(const RecorderContext& ctx, const CaptureSettings& settings, bool trial) {
    RecordingSession session(RecordingWindow());
    return session.Run(ctx, settings, trial);
}

bool ReplaceMovie(const std::wstring& scratch, const std::wstring& movie, DWORD* retError) {
    // Both files lie in one folder, so this is a rename on one volume: at every moment the
    // movie's name holds either the recorded movie or its complete rewrite.
    const DWORD attributes = GetFileAttributesW(movie.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(movie.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    const uint32_t error = ReplaceFileWith(Utf8FromWide(scratch), Utf8FromWide(movie));
    *retError = error;
    return error == 0;
}

void RunPipeline(const RecorderContext& ctx, const CaptureSettings& recorded,
                 const RunResult& run) {
    if (run.aborted) return;  // the files are already gone
    CaptureSettings s = recorded;
    const std::wstring tqkPath = WideFromUtf8(s.TqkPath);
    const std::wstring aviPath = WideFromUtf8(s.AviPath);
    const std::wstring wavePath = WideFromUtf8(s.WavePath);

    ConversionWatch watch;
    if (ctx.positions) {
        g_Form5Left = ctx.positions->AviX;
        g_Form5Top = ctx.positions->AviY;
    }
    Form5 form5([&watch] { return std::make_unique<WatchedConversion>(&watch); });

    int32_t result = run.resultCode;
    if (NeedsNormalising(s)) {
        const std::wstring scratch = WideFromUtf8(NormaliseScratchPath(s.TqkPath));
        DeleteFileClearingReadOnly(scratch);  // a rewrite left by an earlier, interrupted run
        result = form5.U_ShowTQKtoTQK(tqkPath, scratch, 24, 1);
        switch (DecideAfterNormalise(result, s.MakesAvi(), FileExists(scratch))) {
        case AfterNormalise::Replace: {
            DWORD error = 0;
            if (!ReplaceMovie(scratch, tqkPath, &error)) {
                DeleteFileClearingReadOnly(scratch);
                RunMessage(ctx.owner, ReplaceErrorText(Utf8FromWide(SystemErrorText(error))),
                           MB_OK | MB_ICONSTOP);
                result = MakeResultCode(kErrApi, int32_t(error));
            } else {
                s.Method = 1;
                s.DisplayDepth = 24;
            }
            break;
        }
        case AfterNormalise::GoOn: break;
        case AfterNormalise::AskCancelled:
            if (RunMessage(ctx.owner, kNormaliseCancelledQuestion, MB_YESNO | MB_ICONSTOP) == IDNO)
                result = MakeResultCode(kErrCancelled, 0);
            else
                result = 0;
            break;
        case AfterNormalise::ShowError:
            RunMessage(ctx.owner, NormaliseErrorText(EngineText(result)), MB_OK | MB_ICONSTOP);
            break;
        case AfterNormalise::StopCancelled: break;
        }
    }

    if (ShouldExport(s, run.resultCode, result)) {
        form5.U_Show(tqkPath, aviPath, s.RecordsSound() ? wavePath : std::wstring(),
                     s.CompressorChosen ? ctx.compressor : nullptr, s.Avi24);
        const Removals gone = RemovalsAfterExport(s, watch.Export());
        if (gone.tqk) DeleteFileClearingReadOnly(tqkPath);
        if (gone.wave) DeleteFileClearingReadOnly(wavePath);
    }
    if (ctx.positions) {
        ctx.positions->AviX = g_Form5Left;
        ctx.positions->AviY = g_Form5Top;
    }
}

RunResult RecordAndFinish(const RecorderContext& ctx, const CaptureSettings& settings) {
    // Nothing of the last movie's snapshot file runs beside a recording.
    if (ctx.snapshots) ctx.snapshots->Stop();
    if (ctx.owner) ShowWindow(ctx.owner, SW_HIDE);
    const RunResult run = RecordInWindow(ctx, settings);
    RunPipeline(ctx, settings, run);
    if (ctx.owner) {
        ShowWindow(ctx.owner, SW_SHOW);
        SetForegroundWindow(ctx.owner);
    }
    // The movie as it stays, whatever the rewrite and the export did with it.
    const std::wstring movie = WideFromUtf8(settings.TqkPath);
    if (ctx.snapshots && !run.aborted && FileExists(movie)) ctx.snapshots->Start(movie);
    return run;
}

SIZE RecordingWindowSize() {
    Form1& form = RecordingWindow();
    if (!form.Load()) return SIZE{400, 60};
    return form.OuterSize();
}

}  // namespace tqk::rec
