// What the settings window's record, trial and region buttons start: the recording run with
// its recording window, the post-recording pipeline, the capture-method trial and the region
// pick. The settings window builds the record and makes its own checks (file name,
// compressor, overwrite question) before it calls these; they work only from what is passed.
#pragma once

// clang-format off
#include <windows.h>
#include <vfw.h>
// clang-format on

#include <cstdint>
#include <optional>
#include <string>

#include "capture_settings.h"
#include "input_display.h"
#include "recorder_paths.h"

namespace tqk::snd {
class SoundHelperClient;
}

namespace tqk::rec {

class SnapshotWorker;

// What the settings window lends a run for its duration.
struct RecorderContext {
    HWND owner = nullptr;                  // the settings window
    const RecorderPaths* paths = nullptr;  // never null
    // The helper started at start-up; null or !Available() when sound is unavailable. A record
    // asks for sound only when it was available (the sound box is disabled otherwise).
    snd::SoundHelperClient* sound = nullptr;
    // Read before a run to place the recording window (RecX, RecY) and the AVI window (AviX,
    // AviY, through g_Form5Left/g_Form5Top of form5.h); written back when each window closes.
    // They are saved to TVRSetting.ini at shutdown.
    WindowPositions* positions = nullptr;
    // The settings window's compressor options (as AVISelectCompressor filled them); non-null
    // exactly when the record says CompressorChosen. Valid for the call only.
    const COMPVARS* compressor = nullptr;
    // Clicks and keys drawn into the recording's frames (the settings window's own file).
    InputDisplay input;
    // Writes the snapshot file of a kept movie after the run (snapshot_worker.h); null: none.
    SnapshotWorker* snapshots = nullptr;
};

// The results of one recording run.
struct RunResult {
    int32_t resultCode = 0;        // the engine's code; negative: an error (already shown)
    bool aborted = false;          // cancelled, and the user chose not to keep the files
    int32_t averageCaptureMs = 0;  // round(sum / count) over the non-dropped frames; 0 if none
    int32_t droppedFrames = 0;
    int32_t keptSec = 0;        // the seconds the movie's header promises after the run
    double recordedMs = 0;      // recorded time, pauses left out
    int32_t pauses = 0;         // pauses the engine took
    bool stoppedByKey = false;  // ended by the stop-and-keep command
};

// Command5 "録画", after the window's checks passed and the user agreed to overwrite: hides
// the owner, runs the recording (the recording window Form1), then the post-recording
// pipeline (normalising a kept movie, the AVI export through Form5), and shows the owner
// again before it returns. Messages to the user are shown by the run itself. The snapshot file
// of the last movie is given up first; that of a movie kept is started last.
RunResult RecordAndFinish(const RecorderContext& ctx, const CaptureSettings& settings);

// Command3 "試行": records two seconds with each capture method in turn (the owner hidden
// meanwhile, shown again before returning; the snapshot file of the last movie given up first).
// Returns the report, one line per method, each ended by CR LF; the settings window shows it
// (information icon, "キャプチャ試行結果"). nullopt when the trial did not run (for instance the
// user declined to replace files).
std::optional<std::wstring> RunTrial(const RecorderContext& ctx, const CaptureSettings& settings);

// The rectangle a region pick yields, ready for the four boxes: clamped to the screen, W
// already rounded up to a multiple of 4.
struct PickedRegion {
    int32_t X = 0, Y = 0, W = 0, H = 0;
};

// Command1 "取得" (on its mouse-up): windowMode = Check1(0), clientArea = Check1(1). nullopt
// when the user cancelled (right button). The settings window fills its boxes, redraws the
// preview and brings itself to the foreground.
std::optional<PickedRegion> PickRegion(HWND owner, bool windowMode, bool clientArea);

// The recording window's outer size in pixels, for the default positions at start-up.
SIZE RecordingWindowSize();

}  // namespace tqk::rec
