#include "trial_model.h"

#include <cmath>

namespace tqk::rec {

CaptureSettings TrialSettings(const CaptureSettings& s, int32_t method,
                              const std::string& scratchBase) {
    CaptureSettings t = s;
    t.Sec = kTrialSeconds;
    t.Method = method;
    t.TqkPath = scratchBase + ".TQK";
    if (t.RecordsSound()) {
        t.WavePath = scratchBase + ".wav";
        t.WaveScratchPath = t.WavePath + ".wavtemp";
    } else {
        t.WaveScratchPath.clear();
    }
    return t;
}

int32_t ReachableFps(int32_t averageMs) {
    const double tenths = std::trunc(1000.0 / averageMs * 10);
    return static_cast<int32_t>(std::lround(tenths / 10));
}

std::string TrialMark(int32_t fps, int32_t reachable) {
    if (fps < reachable / 4.0) return "◎";
    if (fps < reachable / 2.0) return "○";
    if (reachable <= fps) return "×";
    return "△";
}

std::string TrialLine(int32_t method, int32_t resultCode, int32_t averageMs, int32_t dropped,
                      int32_t fps) {
    const std::string type = "Type " + std::to_string(method) + " ... ";
    if (resultCode < 0 || averageMs < 1) return type + "計測失敗（エラーか全てDrop）\r\n";
    const int32_t r = ReachableFps(averageMs);
    return TrialMark(fps, r) + " " + type + "FrameTime:" + std::to_string(averageMs) + "msec. " +
           std::to_string(r) + " Fps. Drop:" + std::to_string(dropped) + "\r\n";
}

}  // namespace tqk::rec
