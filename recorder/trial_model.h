// The capture-method trial apart from the windows: the record of each of the three runs
// (recorded into scratch files of the trial's own) and the report. Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <string>

#include "capture_settings.h"

namespace tqk::rec {

constexpr int32_t kTrialSeconds = 2;
constexpr int32_t kTrialMethods = 3;
constexpr const char* kTrialTitle = "キャプチャ試行結果";

// The scratch files of one trial run: base + ".TQK" (and ".wav", ".wav.wavtemp" when the
// record records sound). Nothing else of the record changes but the length and the method.
CaptureSettings TrialSettings(const CaptureSettings& s, int32_t method,
                              const std::string& scratchBase);

// The frame rate a method reaches with this average time per frame.
int32_t ReachableFps(int32_t averageMs);
// "◎", "○", "△" or "×" for the chosen fps against the reachable r.
std::string TrialMark(int32_t fps, int32_t reachable);
// One line of the report, ended by CR LF.
std::string TrialLine(int32_t method, int32_t resultCode, int32_t averageMs, int32_t dropped,
                      int32_t fps);

}  // namespace tqk::rec
