// Stand-in for the recording run, the pipeline, the trial and the region pick until their own
// sources replace this file: each says so and changes nothing.
#include "recorder_actions.h"

namespace tqk::rec {

namespace {

void NotYet(HWND owner, const wchar_t* what) {
    MessageBoxW(owner, what, L"TaviroRec", MB_OK | MB_ICONINFORMATION);
}

}  // namespace

RunResult RecordAndFinish(const RecorderContext& ctx, const CaptureSettings& /*settings*/) {
    NotYet(ctx.owner, L"録画はまだ使用できません。");
    return RunResult{};
}

std::optional<std::wstring> RunTrial(const RecorderContext& ctx,
                                     const CaptureSettings& /*settings*/) {
    NotYet(ctx.owner, L"試行はまだ使用できません。");
    return std::nullopt;
}

std::optional<PickedRegion> PickRegion(HWND owner, bool /*windowMode*/, bool /*clientArea*/) {
    NotYet(owner, L"領域の取得はまだ使用できません。");
    return std::nullopt;
}

SIZE RecordingWindowSize() {
    return SIZE{400, 60};
}

}  // namespace tqk::rec
