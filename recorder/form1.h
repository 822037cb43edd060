// Form1: the recording window, a view of the recording session. It shows the statistics and
// the pause button's caption the session gives it, and turns its buttons and the stop-and-keep
// command into the session's events; minimising and moving it are its own.
#pragma once

// clang-format off
#include <windows.h>
// clang-format on

#include <optional>
#include <string>
#include <vector>

#include "recorder_paths.h"
#include "run_model.h"
#include "session_model.h"
#include "win_handles.h"
#include "win_window.h"

namespace tqk::rec {

// What the window hands the session it shows.
class SessionInput {
public:
    virtual ~SessionInput() = default;
    virtual void Press(SessionEvent e) = 0;
};

class Form1 : public tqk::Window {
public:
    Form1() = default;

    // Creates the window (hidden, its caption removed) on first use.
    bool Load();
    // The outer size of the window in pixels.
    SIZE OuterSize() const;

    // A run begins: presses go to session (null: to nobody).
    void Attach(SessionInput* session) { session_ = session; }
    // Shown at the remembered place without taking the focus from what is being recorded.
    void ShowAt(const WindowPositions* p);
    // Remembers the place and hides the window.
    void HideAndSave(WindowPositions* p);

    // One line of text over the whole statistics area (the wait, the WAV's progress).
    void PrintLine(const std::string& utf8);
    // The items at their places.
    void DrawStatistics(const std::vector<StatItem>& items);
    // Command1(3)'s caption and state.
    void ShowPauseButton(const std::string& utf8, bool enabled);
    void EndMoveMode();

protected:
    bool OnCreate() override;
    bool OnClose() override { return false; }  // the run ends it, not the user
    void OnCommand(int id, int code, HWND control) override;
    bool OnMouse(const tqk::MouseEvent& e) override;
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void HideTitle();
    void ShowStatistics(const std::wstring& text);

    SessionInput* session_ = nullptr;
    bool moveMode_ = false;
    int32_t rememberedLeft_ = 0, rememberedTop_ = 0;
    std::string pauseCaption_;

    // The statistics area's image, drawn every 10th frame and painted from here.
    tqk::MemoryDc statsDc_;
    tqk::GdiObject statsBitmap_, statsFont_;
    // Declared after what they select: they put the DC's own objects back first.
    std::optional<tqk::SelectGuard> statsBitmapSel_, statsFontSel_;
    SIZE statsSize_{};
};

}  // namespace tqk::rec
