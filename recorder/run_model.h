// The arithmetic of one recording run, apart from the windows: the statistics area's items and
// number forms, the cancel at the next whole second, the follow-mouse rectangle, the sound
// helper's block for the run, the cancel question and the recording window's placement.
// Portable: no <windows.h>; text is UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "capture_settings.h"
#include "recorder_paths.h"
#include "sound_block.h"

namespace tqk::rec {

// The recorder prepares the start this far ahead, so that the helper is ready for it.
constexpr double kStartLeadMs = 350;

// Totals of capture times over non-dropped frames.
struct TimeTotals {
    double sum = 0;
    double count = 0;
    void Add(double ms) {
        sum += ms;
        count += 1;
    }
    void Clear() { sum = count = 0; }
};

// What the recording window counts while the engine records.
struct RunStats {
    TimeTotals all;        // the whole run
    TimeTotals lastBlock;  // since the last refresh of the statistics area
    int32_t droppedFrames = 0;

    void AddFrame(bool isDrop, double frameCaptureTime) {
        if (isDrop) {
            ++droppedFrames;
        } else {
            all.Add(frameCaptureTime);
            lastBlock.Add(frameCaptureTime);
        }
    }
    // round(sum / count) over the whole run; `unchanged` when no frame was counted.
    int32_t AverageMs(int32_t unchanged) const;
};

// One text of the statistics area at its place (pixels at 96 DPI; y may be negative).
struct StatItem {
    int32_t x = 0, y = 0;
    std::string text;
};

// The statistics area is redrawn on frames whose number is a multiple of this.
constexpr int32_t kStatsEvery = 10;
// What the area shows until the first redraw.
constexpr const char* kWaitText = "Please wait for initialize ... ";

// The items for frame number n (NowFrame + 1), in the order they are printed.
std::vector<StatItem> StatisticsItems(int32_t n, int32_t fps, int32_t sec, int32_t dropCount,
                                      const RunStats& stats, double elapsedMs);

// int(value * 10) / 10 in its shortest decimal form: "12", "12.3", "0".
std::string Tenths(double value);
// A count of tenths in the same form.
std::string TenthsText(int64_t tenths);

// The capture rectangle's top-left corner centred on the cursor (integer division, as the
// rectangle may then leave the screen: the engine fills what lies outside with black).
void FollowMouse(int32_t cursorX, int32_t cursorY, int32_t W, int32_t H, int32_t* retX,
                 int32_t* retY);

// A cancel takes effect on the next frame that ends a whole second: IsCancel is set and the
// recorded length becomes n / fps seconds. False when this frame does not end the recording.
bool CancelAtWholeSecond(bool cancelRequested, int32_t n, int32_t fps, int32_t* retSec);

// The helper's buffer size value for a sound format, at most 1000.
int32_t SoundBufferSize(int32_t samplesPerSec, int32_t bitsPerSample, int32_t channels);

// The block the run hands the helper at the capture's start (paths already in the ANSI code
// page): command 1, the format, the length, the buffer size, both paths and the start time.
snd::SoundHelperBlock RunSoundBlock(const CaptureSettings& s, const std::string& ansiWavePath,
                                    const std::string& ansiWaveScratchPath, double startTime);

// What the statistics area shows while the sound helper finishes the WAV after the capture
// (thousandths written): "Wavファイルを書き込んでいます。 45%".
std::string WavWritingText(int32_t permille);

// The question after a cancelled recording (question icon, Yes/No).
constexpr const char* kCancelQuestion =
    "キャンセルしました。\r\nこのまま作業を続行しますか？\r\n\r\n"
    "続行しない場合はTQK、wavファイルは削除します。";

// The recording window's caption (removed while it records) and its buttons.
constexpr const char* kForm1Caption = "Capture Now ...";
constexpr const char* kCancelButton = "キャンセル";
constexpr const char* kMinimiseButton = "非表示にする";
constexpr const char* kMoveButton = "移動";

// Where the move button puts the window: remembered top-left plus the press position relative
// to the window.
struct MoveTarget {
    int32_t left = 0, top = 0;
};
MoveTarget MoveByPress(int32_t rememberedLeft, int32_t rememberedTop, int32_t pressX,
                       int32_t pressY);

}  // namespace tqk::rec
