// Form2: the settings window, the recorder's main window for the whole life of the program.
// It moves a CaptureSettings record in and out of its controls (the rules live in
// form2_model.h), shows the preview, the capture information and the disk estimate, and
// starts recordings, trials and region picks (recorder_actions.h).
#pragma once

// clang-format off
#include <windows.h>
#include <vfw.h>
// clang-format on

#include <optional>
#include <string>
#include <vector>

#include "capture_info.h"
#include "form2_model.h"
#include "hotkey_model.h"
#include "rec_ui.h"
#include "recorder_actions.h"
#include "recorder_paths.h"
#include "snapshot_worker.h"
#include "win_handles.h"
#include "win_window.h"

namespace tqk::rec {

// What start-up hands the settings window.
struct Form2Setup {
    const RecorderPaths* paths = nullptr;
    snd::SoundHelperClient* sound = nullptr;  // null or !Available(): no sound
    WindowPositions* positions = nullptr;
    bool ntFamily = true;
    bool windows2000OrLater = true;
};

class Form2 : public tqk::Window {
public:
    explicit Form2(const Form2Setup& setup);

    // Creates the window and runs it until it is closed.
    int Run();

    // The read-outs, for speed measurements.
    void DrawInfo();
    void ReCalc();

protected:
    bool OnCreate() override;
    bool OnClose() override;
    void OnCommand(int id, int code, HWND control) override;
    void OnScroll(const tqk::ScrollEvent& e) override;
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void OnDestroy() override;

private:
    Form2Values ReadControls() const;
    void WriteControls(const Form2Values& v);
    CaptureSettings Build() const;
    void Apply(const CaptureSettings& s);
    Form2Extra Extra() const;

    void AttachToolTips();
    void FillSoundFormats();
    void FillSources();
    void FillPriorities();
    void ApplyEnables();
    void SetSliderLabels();
    void ShowPageOf(int frameIndex);

    bool ValidateBox(int index);
    bool ValidateAllBoxes();
    void Preview();
    void DrawPreview(const DRAWITEMSTRUCT& d);

    void Check3Click();
    // Check8/Check9: kept in their own file at once.
    void InputDisplayClick();
    void RegionPick();
    void Browse();
    void Trial();
    void Record();
    void ChooseCompressor();
    void SaveSettings();
    void LoadSettings();
    void RestoreDefaults();
    void OpenPlayer();
    void OpenHelp();
    void ShowAbout();
    // The hotkeys (hotkey_model.h): registered on this window, which lives through the
    // recordings; their page keeps them in their own file at once.
    void LoadHotkeys();
    void SaveHotkeys();
    // Registers the keys that are on (again) and returns the names of those another program
    // holds.
    std::vector<std::string> RegisterHotkeys();
    void UnregisterHotkeys();
    void ShowHotkeys();
    void HotkeyEdited(HotkeyRole role);
    void HotkeyOnOff(HotkeyRole role);
    void HotkeyDefaults();
    void TellTaken(const std::vector<std::string>& names);
    // Saves a change and registers the keys, or notes it while a key field has the keyboard.
    void ApplyHotkeys();
    // A key field got or lost the keyboard: the keys are let go meanwhile.
    void HotkeyFieldFocus();
    void OnHotkey(int hotkeyId);
    RecorderContext Context();
    void SetTextIfChanged(int id, const std::wstring& text);
    const VolumeFacts& Volume(const std::string& tqkPath);

    Form2Setup setup_;
    COMPVARS cv_{};                // the compressor options
    std::wstring compressorName_;  // empty: none chosen
    InputDisplay input_;           // Check8, Check9 (TVRInput.ini)
    bool soundAvailable_ = false;
    bool mixerUsable_ = false;
    bool estimateRed_ = false;
    bool validating_ = false;
    int displayDepth_ = 32;
    std::vector<std::string> soundEntries_;  // Combo1's texts
    VolumeFacts volume_;
    std::string volumeRoot_;
    DWORD volumeTick_ = 0;
    bool volumeKnown_ = false;
    HotkeySettings hotkeys_;
    bool hotkeyRegistered_[kHotkeyRoles] = {false, false};
    bool hotkeysSuspended_ = false;  // a key field has the keyboard
    bool hotkeysChanged_ = false;    // changed meanwhile: told if taken when it leaves
    RecorderActivity activity_ = RecorderActivity::Idle;
    RecToolTips tips_;
    tqk::MemoryDc previewDc_;
    tqk::GdiObject previewBitmap_;
    std::optional<tqk::SelectGuard> previewSel_;  // after what it selects: released first
    SIZE previewSize_{};
    tqk::GdiObject infoBrush_;
    SnapshotWorker snapshots_;  // the last kept movie's snapshot file
};

// The screen's bits per pixel (a 1 x 1 bitmap compatible with the screen).
int DisplayDepth();

}  // namespace tqk::rec
