#include "run_model.h"

#include <algorithm>
#include <cmath>

namespace tqk::rec {

int32_t RunStats::AverageMs(int32_t unchanged) const {
    if (all.count < 1) return unchanged;
    return static_cast<int32_t>(std::lround(all.sum / all.count));
}

std::string Tenths(double value) {
    return TenthsText(static_cast<int64_t>(value * 10));  // int() truncates towards zero
}

std::string TenthsText(int64_t tenths) {
    std::string text = std::to_string(tenths / 10);
    if (tenths < 0 && tenths > -10) text = "-0";
    const int64_t digit = tenths % 10;
    if (digit != 0) text += "." + std::to_string(digit < 0 ? -digit : digit);
    return text;
}

std::vector<StatItem> StatisticsItems(int32_t n, int32_t fps, int32_t sec, int32_t dropCount,
                                      const RunStats& stats, double elapsedMs) {
    std::vector<StatItem> items;
    const int64_t planned = int64_t(fps) * sec;
    items.push_back({0, -2, "Frame " + std::to_string(n) + "/" + std::to_string(planned)});
    items.push_back({100, -2, "Drop " + std::to_string(dropCount) + "/" + std::to_string(n)});
    const int64_t perMille = n > 0 ? static_cast<int64_t>(double(dropCount) / n * 1000) : 0;
    items.push_back({200, -2, "DropPer " + TenthsText(perMille) + "%"});
    if (stats.lastBlock.count >= 1)
        items.push_back(
            {100, 6, "Capture " + Tenths(stats.lastBlock.sum / stats.lastBlock.count) + "ms"});
    if (stats.all.count >= 1)
        items.push_back({200, 6, "CaptureAve " + Tenths(stats.all.sum / stats.all.count) + "ms"});
    const auto seconds = static_cast<int64_t>(elapsedMs / 1000);
    items.push_back(
        {0, 6, "Time " + std::to_string(seconds) + " / " + std::to_string(sec) + "sec"});
    return items;
}

void FollowMouse(int32_t cursorX, int32_t cursorY, int32_t W, int32_t H, int32_t* retX,
                 int32_t* retY) {
    *retX = cursorX - W / 2;
    *retY = cursorY - H / 2;
}

bool CancelAtWholeSecond(bool cancelRequested, int32_t n, int32_t fps, int32_t* retSec) {
    if (!cancelRequested || fps < 1 || n % fps != 0) return false;
    *retSec = n / fps;
    return true;
}

int32_t SoundBufferSize(int32_t samplesPerSec, int32_t bitsPerSample, int32_t channels) {
    const double kb = 2.0 * samplesPerSec * bitsPerSample / 8 * channels / 1024 + 100;
    const auto value = static_cast<int32_t>(std::lround(kb));
    return value > 1000 ? 1000 : value;
}

snd::SoundHelperBlock RunSoundBlock(const CaptureSettings& s, const std::string& ansiWavePath,
                                    const std::string& ansiWaveScratchPath, double startTime) {
    snd::SoundHelperBlock b;
    b.Code = snd::kCodeStart;
    b.Bits = s.BitsPerSample;
    b.SamplesPerSec = s.SamplesPerSec;
    b.Channels = s.Channels;
    b.LengthSec = s.Sec;
    b.BufferKb = SoundBufferSize(s.SamplesPerSec, s.BitsPerSample, s.Channels);
    b.WavePath = ansiWavePath;
    b.ScratchPath = ansiWaveScratchPath;
    b.ActualStartTime = 0;
    b.StartTime = static_cast<int32_t>(std::lround(startTime));
    return b;
}

bool SoundPathsFit(const CaptureSettings& s,
                   const std::function<size_t(const std::string&)>& ansiBytes) {
    if (!s.RecordsSound()) return true;
    constexpr size_t kMostBytes = snd::kPathField - 1;  // the field ends in a zero
    return ansiBytes(s.WavePath) <= kMostBytes && ansiBytes(s.WaveScratchPath) <= kMostBytes;
}

SourcePlan PlanRecordingSource(int32_t recordingSource, bool mixerEnabled, int32_t linesError,
                               int32_t selectedIndex, int32_t lineCount) {
    SourcePlan p;
    const bool known =
        mixerEnabled && linesError == 0 && selectedIndex >= 0 && selectedIndex < lineCount;
    if (!known || recordingSource < 1 || recordingSource > lineCount) return p;
    p.line = recordingSource - 1;
    // The chosen input selected already: nothing to change, nothing to put back.
    p.select = p.restore = p.line != selectedIndex;
    p.restoreLine = selectedIndex;
    return p;
}

std::string HeaderPatchErrorText(const std::string& engineText) {
    return "キャンセルした時点までの長さをTQKファイルに書き込めませんでした。\r\n" + engineText +
           "\r\n録画したTQKファイルはそのまま残してあります。";
}

MoveTarget MoveByPress(int32_t rememberedLeft, int32_t rememberedTop, int32_t pressX,
                       int32_t pressY) {
    return MoveTarget{rememberedLeft + pressX, rememberedTop + pressY};
}

std::string WavWritingText(int32_t permille) {
    const int32_t percent = std::clamp(permille, 0, 1000) / 10;
    return "Wavファイルを書き込んでいます。 " + std::to_string(percent) + "%";
}

}  // namespace tqk::rec
