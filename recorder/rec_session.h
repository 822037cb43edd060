// One recording: the priorities, the recording source, the sound helper's start, pauses and
// stop, the engine's run with its live statistics in the recording window, the question after
// a cancel, and everything put back afterwards. Its states and their rules are the portable
// SessionMachine; this is the glue between it, the engine, the helper and the window.
#pragma once

// clang-format off
#include <windows.h>
// clang-format on

#include <cstdint>
#include <string>
#include <vector>

#include "capture.h"
#include "form1.h"
#include "recorder_actions.h"
#include "session_model.h"
#include "sound_block.h"

namespace tqk::rec {

// Time spent in the session's own per-frame handler, for the benchmark.
struct HandlerCost {
    int64_t frames = 0;
    double totalMs = 0;  // every frame's handler, drawing frames included
    double maxMs = 0;
    std::vector<float> perFrameMs;  // each frame's, for the median (a busy machine's
                                    // preemptions dominate the mean)
};

// The record's files, converted once for the platform and the helper.
struct SessionFiles {
    std::wstring tqk, wave;
    std::string ansiWave, ansiWaveScratch;  // the helper's block takes ANSI paths
};

class RecordingSession : private tqk::CaptureEvents, private SessionInput {
public:
    explicit RecordingSession(Form1& view) : view_(view) {}
    RecordingSession(const RecordingSession&) = delete;
    RecordingSession& operator=(const RecordingSession&) = delete;

    // One recording with the record settings; the window is shown meanwhile and hidden again.
    // A trial's recording takes no pause and no stop-and-keep command (the hotkeys' commands).
    RunResult Run(const RecorderContext& ctx, const CaptureSettings& settings, bool trial = false);

    SessionState State() const { return machine_.State(); }
    const HandlerCost& LastHandlerCost() const { return cost_; }

private:
    // From the window (buttons, the stop-and-keep command).
    void Press(SessionEvent e) override;

    // The engine's events.
    void OnStartCapture(bool& IsCancel) override;
    void OnCapture(int32_t NowFrame, double FrameCaptureTime, int32_t DropCount, bool IsDrop,
                   int32_t CompressSize, int32_t NoCompressSize, int32_t& CaptureX,
                   int32_t& CaptureY, bool& IsCancel) override;
    bool OnPauseWanted() override;
    void OnPaused(double PausedAt, bool& Resume, bool& IsCancel) override;
    void OnResume(double ResumeAt) override;
    void OnWarning(const std::wstring& Text) override;

    // A box asking the user something: keys and buttons wait meanwhile.
    int Ask(const std::string& utf8, UINT style);
    void ShowPauseButton();
    void DrawRecording(int32_t n, int32_t dropCount);
    // What a stop leaves: the question, the header's seconds, or nothing kept.
    int32_t Conclude(int32_t code, bool cutBack, RunResult* result);

    Form1& view_;
    SessionMachine machine_;
    RecordedClock clock_;
    CaptureSettings s_;
    SessionFiles files_;
    const RecorderContext* ctx_ = nullptr;
    tqk::Capture* engine_ = nullptr;  // the run's engine, while it records
    RunStats stats_;
    int32_t framesDone_ = 0;
    int32_t dropCount_ = 0;
    bool trial_ = false;
    bool recordsSound_ = false;
    bool blockSent_ = false;
    bool soundPaused_ = false;
    bool endedPaused_ = false;  // the paused engine was told to end
    std::wstring warning_;      // the engine's warning, told once the capture is over
    snd::SoundHelperBlock block_;
    HandlerCost cost_;
};

}  // namespace tqk::rec
