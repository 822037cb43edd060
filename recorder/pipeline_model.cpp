#include "pipeline_model.h"

#include "result_code.h"
#include "safe_file.h"

namespace tqk::rec {

bool NeedsNormalising(const CaptureSettings& s) {
    return s.KeepTqk && !(s.Method != 0 && s.DisplayDepth >= 24);
}

AfterNormalise DecideAfterNormalise(int32_t result, bool makesAvi, bool scratchExists) {
    if (result >= 0) return scratchExists ? AfterNormalise::Replace : AfterNormalise::GoOn;
    if (SplitResultCode(result).code == kErrCancelled)
        return makesAvi ? AfterNormalise::AskCancelled : AfterNormalise::StopCancelled;
    return AfterNormalise::ShowError;
}

bool ShouldExport(const CaptureSettings& s, int32_t runResult, int32_t pipelineResult) {
    return s.MakesAvi() && runResult == 0 && pipelineResult == 0;
}

Removals RemovalsAfterExport(const CaptureSettings& s, const ExportOutcome& outcome) {
    Removals r;
    if (!s.MakesAvi() || !outcome.Succeeded()) return r;
    r.tqk = !s.KeepTqk;
    r.wave = s.RecordsSound() && s.DeleteWave;
    return r;
}

void ConversionWatch::Begin(Phase phase) {
    phase_ = phase;
    if (phase == Phase::kRewrite) rewriteCancelled_ = false;
    if (phase == Phase::kExport) export_ = ExportOutcome{};
}

void ConversionWatch::Cancelled() {
    if (phase_ == Phase::kRewrite) rewriteCancelled_ = true;
    if (phase_ == Phase::kExport) export_.cancelled = true;
}

void ConversionWatch::AviDone(int32_t result, bool failed) {
    export_.aviResult = result;
    export_.failed = failed;
}

void ConversionWatch::WaveDone(int32_t result) { export_.waveResult = result; }

std::string NormaliseScratchPath(const std::string& tqkPath) { return ScratchPathFor(tqkPath); }

std::string NormaliseErrorText(const std::string& engineText) {
    return "TQK変換中に、\r\n" + engineText + "\r\nのエラーが発生しました。";
}

std::string ReplaceErrorText(const std::string& systemText) {
    return "TQK変換後のファイルに置き換えられませんでした。\r\n" + systemText +
           "\r\n録画したTQKファイルはそのまま残してあります。";
}

}  // namespace tqk::rec
