// The arithmetic of one recording run, apart from the windows: the statistics area's items and
// number forms, the cancel at the next whole second, the follow-mouse rectangle, the sound
// helper's block for the run, the cancel question and the recording window's placement.
// Portable: no <windows.h>; text is UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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

// The helper takes the wave file's path and its scratch file's path in fields of 260 ANSI
// bytes: a record whose paths are longer cannot record sound, and the record button refuses it
// rather than run a recording without sound. ansiBytes: a path's length in the ANSI code page.
bool SoundPathsFit(const CaptureSettings& s,
                   const std::function<size_t(const std::string&)>& ansiBytes);
constexpr const char* kSoundPathTooLongMessage =
    "保存先のパスが長すぎるため、音声を録音できません。\r\n"
    "保存先を短くするか、音声の録音をやめてください。";

// What a run does with the system's recording source: it selects the chosen input only for a
// choice other than "標準(変更なし)" (entry 0) and only when the mixer said which input is
// selected now, and afterwards it puts back only what it changed.
struct SourcePlan {
    bool select = false;      // select input `line` for the run
    int32_t line = 0;         // the mixer's index of the chosen input
    bool restore = false;     // afterwards, select `restoreLine` again
    int32_t restoreLine = 0;  // the input selected before the run
};
// recordingSource: the record's choice; linesError: GetWaveInLines' error (0: the list was
// read); selectedIndex: the input it said is selected (-1 or beyond lineCount: not known).
SourcePlan PlanRecordingSource(int32_t recordingSource, bool mixerEnabled, int32_t linesError,
                               int32_t selectedIndex, int32_t lineCount);

// The length of a cancelled recording could not be written into its movie (engineText: the
// engine's message for the failure). The movie stays; the run is a failure and not exported.
std::string HeaderPatchErrorText(const std::string& engineText);
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
