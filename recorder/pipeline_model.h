// What the post-recording pipeline does with a run's files for each save mode: whether a kept
// movie is rewritten to 24 bits and method 1, what follows the rewrite's result, whether the
// AVI is made, and which files go once the AVI has been made. Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <string>

#include "capture_settings.h"

namespace tqk::rec {

// A kept movie captured with method 0 or at fewer than 24 bits is rewritten.
bool NeedsNormalising(const CaptureSettings& s);

// What follows the rewrite's result code.
enum class AfterNormalise {
    Replace,        // the rewrite is complete: put it in place of the movie, then go on
    GoOn,           // nothing to put in place (no rewrite written); go on with the result
    AskCancelled,   // the user cancelled the rewrite and an AVI is wanted: ask
    ShowError,      // show the rewrite's error; no export
    StopCancelled,  // cancelled and no AVI wanted: nothing more to do
};
AfterNormalise DecideAfterNormalise(int32_t result, bool makesAvi, bool scratchExists);

// The AVI is made when one is wanted, the recording succeeded (a movie cut short by a failure
// is kept but not exported as if it were whole) and the rewrite, if any, left result 0.
bool ShouldExport(const CaptureSettings& s, int32_t runResult, int32_t pipelineResult);

// How the export ended, as the pipeline saw it.
struct ExportOutcome {
    int32_t aviResult = 0;   // the conversion's code
    int32_t waveResult = 0;  // the sound's merge (0 when there was no sound)
    bool failed = false;     // the conversion ended early with the platform's failure
    bool cancelled = false;  // the user pressed Cancel during the export
    bool Succeeded() const { return aviResult >= 0 && waveResult >= 0 && !failed && !cancelled; }
};

// What the pipeline learns from the progress window's two conversions. The rewrite and the
// export each have their own outcome: a rewrite cancelled and answered "はい" says nothing of
// the export that follows it.
class ConversionWatch {
public:
    enum class Phase { kNone, kRewrite, kExport };
    // A conversion starts: its cancel and results start afresh.
    void Begin(Phase phase);
    // Cancel was pressed during the running conversion.
    void Cancelled();
    void AviDone(int32_t result, bool failed);
    void WaveDone(int32_t result);
    bool RewriteCancelled() const { return rewriteCancelled_; }
    const ExportOutcome& Export() const { return export_; }

private:
    Phase phase_ = Phase::kNone;
    bool rewriteCancelled_ = false;
    ExportOutcome export_;
};

// Files removed after the export, only when it succeeded: the movie for "AVIだけ作成" (keep
// TQK off), the sound with "Wavの削除" (it is inside the AVI by then).
struct Removals {
    bool tqk = false;
    bool wave = false;
};
Removals RemovalsAfterExport(const CaptureSettings& s, const ExportOutcome& outcome);

// The rewrite's scratch file: beside the movie, so that it replaces the movie on the same
// volume in one step.
std::string NormaliseScratchPath(const std::string& tqkPath);

constexpr const char* kNormaliseCancelledQuestion =
    "TQK変換中にキャンセルされました。\r\n処理を続行しますか？";
// "TQK変換中に、" / the engine's text / "のエラーが発生しました。"
std::string NormaliseErrorText(const std::string& engineText);
// The replacement of the movie by its rewrite failed (the movie is left as recorded).
std::string ReplaceErrorText(const std::string& systemText);

}  // namespace tqk::rec
