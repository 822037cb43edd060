// The post-recording pipeline and the one recording window of the program.
#pragma once

#include "form1.h"
#include "pipeline_model.h"
#include "rec_session.h"
#include "recorder_actions.h"

namespace tqk::rec {

// The recording window, created on first use and kept for the program's life.
Form1& RecordingWindow();
// One recording session shown in the recording window (a trial's takes no pause and no
// stop-and-keep command).
RunResult RecordInWindow(const RecorderContext& ctx, const CaptureSettings& settings,
                         bool trial = false);

// After a run: rewrites a kept movie to 24 bits and method 1 and exports the AVI as the save
// mode says, through the progress window. The owner stays hidden meanwhile.
void RunPipeline(const RecorderContext& ctx, const CaptureSettings& s, const RunResult& run);

// Puts the rewritten movie in place of the recorded one in one step on its volume; the movie
// is never deleted first. False (with the platform's error) when it could not be replaced:
// the movie is then as recorded.
[[nodiscard]] bool ReplaceMovie(const std::wstring& scratch, const std::wstring& movie,
                                DWORD* retError);

}  // namespace tqk::rec
