// Form1: the recording window. Runs one recording: the priorities, the recording source, the
// sound helper's start and stop, the engine's run with its live statistics, the cancel
// question, and puts everything back afterwards.
#pragma once

// clang-format off
#include <windows.h>
// clang-format on

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture.h"
#include "recorder_actions.h"
#include "run_model.h"
#include "win_handles.h"
#include "win_window.h"

namespace tqk::rec {

// Time spent in the window's own per-frame handler, for the benchmark.
struct HandlerCost {
    int64_t frames = 0;
    double totalMs = 0;  // every frame's handler, drawing frames included
    double maxMs = 0;
    std::vector<float> perFrameMs;  // each frame's, for the median (a busy machine's
                                    // preemptions dominate the mean)
};

class Form1 : public tqk::Window, private tqk::CaptureEvents {
public:
    Form1() = default;

    // Creates the window (hidden, its caption removed) on first use.
    bool Load();
    // One recording with the record s; the window is shown meanwhile and hidden again.
    RunResult Run(const RecorderContext& ctx, const CaptureSettings& s);

    // The outer size of the window in pixels.
    SIZE OuterSize() const;
    const HandlerCost& LastHandlerCost() const { return cost_; }

protected:
    bool OnCreate() override;
    bool OnClose() override { return false; }  // the run ends it, not the user
    void OnCommand(int id, int code, HWND control) override;
    bool OnMouse(const tqk::MouseEvent& e) override;
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    // The engine's events.
    void OnStartCapture(bool& IsCancel) override;
    void OnCapture(int32_t NowFrame, double FrameCaptureTime, int32_t DropCount, bool IsDrop,
                   int32_t CompressSize, int32_t NoCompressSize, int32_t& CaptureX,
                   int32_t& CaptureY, bool& IsCancel) override;

    void HideTitle();
    void MoveMe(const WindowPositions& p);
    void SaveMe(WindowPositions* p) const;
    void PrintWaitText();
    // While the helper writes the WAV after the capture.
    void PrintWavWriting(int32_t permille);
    void DrawStatistics(int32_t n, int32_t dropCount);
    void ShowStatistics(const std::wstring& text);
    void EndMoveMode();

    CaptureSettings s_;
    const RecorderContext* ctx_ = nullptr;
    const tqk::Capture* engine_ = nullptr;  // the run's engine, while it records
    RunStats stats_;
    bool cancelRequested_ = false;
    bool moveMode_ = false;
    int32_t rememberedLeft_ = 0, rememberedTop_ = 0;
    uint32_t startTick_ = 0;
    bool recordsSound_ = false;
    bool blockSent_ = false;
    snd::SoundHelperBlock block_;
    HandlerCost cost_;

    // The statistics area's image, drawn every 10th frame and painted from here.
    tqk::MemoryDc statsDc_;
    tqk::GdiObject statsBitmap_, statsFont_;
    // Declared after what they select: they put the DC's own objects back first.
    std::optional<tqk::SelectGuard> statsBitmapSel_, statsFontSel_;
    SIZE statsSize_{};
};

}  // namespace tqk::rec
