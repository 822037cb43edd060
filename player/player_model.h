// The player window's logic without the platform: the command-line tail, file names beside a
// movie, the status line, the window and bar geometry, the bar's texts, the play / pause /
// fast-forward / deferred open / deferred close state machine and the sound clock that the
// pictures follow. Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace tqk::player {

// The movie path in a command-line tail: surrounding blanks and one pair of surrounding
// double quotes removed (the shell quotes a path with blanks; a path never begins with a
// quote), every other character kept as it is.
std::wstring PathFromCommandTail(const std::wstring& tail);

// The movie path with its extension replaced (or, without one, extended): ".wav", ".avi".
std::wstring SoundFileOf(const std::wstring& moviePath);
std::wstring AviFileOf(const std::wstring& moviePath);

// "640x480 16bit 10fps 30sec Type1", or "-- No File --" when either size is below 1.
std::wstring StatusText(int32_t PicW, int32_t PicH, int32_t Bit, int32_t fps, int32_t sec,
                        int32_t Types);

struct Size {
    int width = 0, height = 0;
};
struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

// Where SizeFit puts things, in pixels. frame1 is the control panel's size; nonClient the
// window's width and height beyond its client area (borders, caption, menu). The client area
// is max(picture + 4, panel) wide and picture + panel high; sizes below 1 fit 160 x 120.
struct Fit {
    Rect picture1;  // (0, 0), (w + 4) x (h + 4); moved right to centre it
    Size window;    // outer size of the window
    Size client;    // its client area
    int frame1Top = 0;
};
Fit SizeFit(int32_t PicW, int32_t PicH, Size frame1, Size nonClient);
// The resize handler's rule: the panel stays at the bottom of the client area.
int Frame1Top(int clientHeight, int frame1Height);

// Width in pixels available to the shortened caption path (never below 0).
int CaptionWidth(int windowWidth, int cxMin);

// The position bar at 96 dpi: a 190 x 14 drawn area, a bar of up to 186 pixels, the frame
// text at (25, -1) and the time at (110, -1), drawn black and again white one pixel up-left.
struct BarView {
    int barLength = 0;       // pixels of the bar image copied from the left
    std::wstring frameText;  // "12/300"
    std::wstring timeText;   // "00:01"
};
constexpr int kBarAreaWidth = 190, kBarAreaHeight = 14, kBarMaxLength = 186;
constexpr int kBarImageWidth = 200, kBarImageHeight = 16;
constexpr int kFrameTextX = 25, kTimeTextX = 110, kBarTextY = -1;
BarView ComputeBar(int32_t NowFrame, int32_t TotalFrame, int32_t FramesPerSecond);
// Seconds as minutes and seconds, "nn:ss" (minutes wrap at 60: hours are not shown).
std::wstring MinutesSeconds(double seconds);

// One pixel of the bar image (200 x 16): a bright blue gradient from the left, lighter at
// the top, as red-green-blue bytes.
struct Rgb {
    uint8_t r, g, b;
};
Rgb BarImagePixel(int x, int y, int width, int height);

// Where the pictures stand against the sound: the sound device reports its position in
// coarse steps (some devices step by a third of a second) and late, so the clock keeps the
// smallest difference between the performance clock and the reported position over recent
// reports, which is the moment a report was fresh. Reports that stop moving (the sound
// ended, or the device never started) make the clock invalid.
//
// A device that stalls (a busy machine starves the sound for a moment) resumes later than
// the old reports say: the position is never taken beyond one step past the last report,
// and reports that stay behind the old ones for a few steps replace them, instead of the
// pictures running ahead of the sound until the old reports have aged out.
class SoundClock {
public:
    // Forget everything: the sound was stopped, sought or restarted.
    void Reset();
    // A report: the performance clock (ms) and the device's position (ms).
    void Observe(double nowMs, double positionMs);
    // The sound's position at nowMs, when the reports are moving.
    bool Valid(double nowMs) const;
    double PositionAt(double nowMs) const;

    static constexpr double kWindowMs = 3000;  // reports kept
    static constexpr double kStallMs = 1500;   // no movement this long: not valid
    // A report this much later than the kept ones, kLateReports times in a row: the sound
    // was held up and the kept reports no longer hold.
    static constexpr double kLateMs = 40;
    static constexpr int kLateReports = 3;

private:
    struct Sample {
        double now, offset, step;
    };
    std::deque<Sample> samples_;
    std::vector<Sample> late_;  // consecutive late reports, not yet believed
    double lastPosition_ = -1;
    double lastMove_ = 0;  // when the position last changed
    int moves_ = 0;        // changes seen since Reset
    double SmallestOffset() const;
};

// The seek bar: the frame under a point of the bar (x in the bar's pixels, barLength the
// pixels of a whole bar), the inverse of ComputeBar's length: the frame whose bar reaches x.
int32_t FrameAtBar(int x, int barLength, int32_t TotalFrame);
// Where a mark stands on the bar (pixels from the left): a start mark at the left edge of its
// frame, an end mark at the right edge.
int MarkX(int32_t frame, bool end, int barLength, int32_t TotalFrame);

// The player's keys.
enum class SeekKey { Left, Right, Home, End, PageUp, PageDown };
// The frame a key leads to from frame `at` (one frame, the ends, 10 s), within the movie.
int32_t FrameForKey(SeekKey key, int32_t at, int32_t TotalFrame, int32_t fps);

// A marked span of frames [first, end): the start mark's frame (or 0) up to and including
// the end mark's frame (or the last).
struct Span {
    int32_t first = 0, end = 0;
    bool operator==(const Span& o) const { return first == o.first && end == o.end; }
};
// The span's times in seconds, as the command line takes them.
double SpanFromSeconds(const Span& s, int32_t fps);
double SpanToSeconds(const Span& s, int32_t fps);
// "開始点 00:12 (361)  終了点 00:20 (600)", the status line's second half with a span marked;
// empty without marks.
std::wstring MarksText(int32_t markIn, int32_t markOut, int32_t fps);

// What the window must do after a model step, in order.
enum class Do {
    Timer1On,
    Timer1Off,
    Timer2On,
    Timer2Off,
    Timer3On,
    Timer3Off,
    SoundPlay,
    SoundPlayFrom,  // value: milliseconds
    SoundStop,
    SoundClose,
    SoundSeek,       // value: milliseconds
    SetStartT,       // value: the engine's new start time
    StartPlay,       // call Play; then PlayEnded
    ReleaseButtons,  // all three toggle buttons up, with UpdatingButtons set
    ClearPictures,   // Picture1 and Picture2
    CloseMovie,      // empty CP
    OpenPending,     // U_Open(PendingFile)
    CheckPlay,       // set Check1(0) to 1 (fires its click)
    Unload,          // destroy the window and the progress window
    FocusPicture,
    ShowFrame,   // value: the frame to show at once (picture and bar), from the seeker
    CheckPause,  // set Check1(1) to 1 (fires its click)
};
struct Step {
    Do what;
    double value = 0;
    bool operator==(const Step& o) const { return what == o.what && value == o.value; }
};
using Steps = std::vector<Step>;

// The window's fields and its handlers' decisions.
class PlayerModel {
public:
    bool HasMovie() const { return hasMovie_; }
    bool Playing() const { return Playing_; }
    bool Paused() const { return Paused_; }
    bool FastForward() const { return FastForward_; }
    bool CancelRequested() const { return CancelRequested_; }
    bool UpdatingButtons() const { return UpdatingButtons_; }
    int32_t LastFrame() const { return LastFrame_; }
    int32_t FramesPerSecond() const { return FramesPerSecond_; }
    bool SoundOpen() const { return soundOpen_; }
    const std::wstring& PendingFile() const { return PendingFile_; }
    bool CloseAllowed() const { return closeAllowed_; }

    // U_Open's outcome: the movie is open (fps from its header, its frames) or not.
    void Opened(bool ok, int32_t fps, int32_t totalFrames = 0);
    int32_t TotalFrames() const { return TotalFrames_; }
    // The frame shown: where a play stands, or where the next one starts.
    int32_t Position() const { return Position_; }

    // A click or drag on the bar, or a key: the frame is shown at once. While stopped or
    // paused the sound device is moved there; while playing the play ends and starts again
    // from there (with the sound from the same moment), after the drag when one is going on.
    Steps SeekTo(int32_t frame);
    Steps Key(SeekKey key);
    // The mouse button went down on the bar, and up again.
    void DragStarted() { dragging_ = true; }
    Steps DragEnded();
    bool Dragging() const { return dragging_; }
    // A seek is waiting for the play to end: the engine's frames are not shown meanwhile.
    bool SeekPending() const { return pendingSeek_ >= 0; }

    // The marks at the frame shown; a start after the end (or the reverse) drops the other.
    void MarkIn();
    void MarkOut();
    void ClearMarks() { markIn_ = markOut_ = -1; }
    int32_t MarkInFrame() const { return markIn_; }
    int32_t MarkOutFrame() const { return markOut_; }
    bool HasSpan() const { return hasMovie_ && (markIn_ >= 0 || markOut_ >= 0); }
    Span MarkedSpan() const;
    void SoundOpened(bool ok) { soundOpen_ = ok; }
    void SetUpdatingButtons(bool on) { UpdatingButtons_ = on; }
    // For the speed benchmark: false leaves the waits without a sound clock to the engine, as
    // before the player kept the schedule itself.
    void SetOwnWait(bool on) { ownWait_ = on; }

    // Check1_Click(index) with the button's new state; now is the engine's clock. Returns
    // false when the click is ignored (no movie, or the code's own change): the window then
    // puts the button back.
    bool Check1_Click(int index, bool checked, double now, Steps* out);
    // Timer1: starts playback with the buttons' states.
    Steps Timer1(bool pauseChecked, bool fastChecked);
    Steps PlayEnded();
    // CP_Drawing after the bar is drawn and the pause has ended. drawTime and cancel as the
    // engine hands them. soundPosition: the device's position in ms, or negative when unread;
    // startT: the engine's start time now. The sound's first report after it was started is
    // paired with the picture then due, and from then on the pictures follow the sound's
    // clock: a device that starts late, stalls, or runs slower or faster than the performance
    // clock no longer lets them drift apart.
    Steps Drawing(int32_t NowFrame, int32_t TotalFrame, double now, double soundPosition,
                  double startT, double* drawTime, bool* cancel);
    // How long the wait may sleep at a time before the frame at `now` is due (0: spin).
    double HoldSleepMs(int32_t NowFrame, double now, double startT) const;
    // CP_DrawBefore: the first frame of a play counts its schedule from now, when it is
    // ready, so the play's set-up (the first reading, first touches of the buffers) does not
    // make it late and leave the picture empty for a slot.
    Steps DrawBefore(double now);
    // Whether CP_Drawing must keep waiting (pumping messages) before it returns: while
    // paused, and until the next frame is due: on the sound's clock while it runs, else on
    // the engine's schedule from startT. The wait is the player's (Drawing sets DrawTime to
    // 0): the engine's own waits count from the end of the previous one, so the overshoot of
    // every wait would add up and put a long play of a fast movie behind its schedule.
    bool HoldFrame(int32_t NowFrame, double now, double startT) const;
    // A sound position read while holding a frame.
    void ObserveSound(double now, double soundPosition, double startT);
    // The window sent the play: the clock then and the device's position read right after.
    void SoundStarted(double now, double soundPosition);
    // How long after the play a report that differs from the position then may still come
    // as the device's own start, before the first report is taken as where the sound starts.
    static constexpr double kStartReportMs = 100;

    // The open dialog or a drop chose a file.
    Steps RequestOpen(const std::wstring& path);
    Steps Timer2();
    // Query-unload: true lets the window go (only once the program asked for it).
    bool QueryUnload(Steps* out);
    Steps Timer3();

    const SoundClock& Clock() const { return clock_; }

private:
    bool hasMovie_ = false;
    bool soundOpen_ = false;
    int32_t FramesPerSecond_ = 0;
    std::wstring PendingFile_;
    bool Paused_ = false;
    bool FastForward_ = false;
    bool CancelRequested_ = false;
    bool UpdatingButtons_ = false;
    bool Playing_ = false;
    bool soundRunning_ = false;  // MCI play sent and not stopped since
    int32_t LastFrame_ = 0;
    int32_t TotalFrames_ = 0;
    int32_t Position_ = 0;
    int32_t pendingSeek_ = -1;       // a seek during a play, taken when the play has ended
    bool restartAfterDrag_ = false;  // the play goes on once the drag ends
    bool dragging_ = false;
    int32_t playFrom_ = 0;  // the first frame of the running play
    int32_t markIn_ = -1, markOut_ = -1;
    bool closeAllowed_ = false;
    bool ownWait_ = true;
    bool firstFrame_ = false;    // the next DrawBefore is the play's first
    bool firstDrawing_ = false;  // the next Drawing likewise
    SoundClock clock_;
    bool anchored_ = false;
    double anchor_ = 0;  // the sound's start report minus the pictures' schedule then
    // The position read right after the play call (negative: not read) and when.
    double playPosition_ = -1;
    double playTime_ = 0;
    // The first report after the play, kept until the device's start report comes.
    bool pending_ = false;
    double pendingAnchor_ = 0;
    void Observe(double now, double soundPosition, double startT);
    // Where a frame starts: rounded for the sound device, exact for the schedule.
    double FrameMillis(int32_t frame) const;
    double FrameMillisExact(int32_t frame) const {
        return FramesPerSecond_ > 0 ? double(frame) * 1000.0 / FramesPerSecond_ : 0;
    }
    void ResetClock() {
        clock_.Reset();
        anchored_ = false;
        pending_ = false;
        playPosition_ = -1;
    }
    double SoundTime(double now) const { return clock_.PositionAt(now) - anchor_; }
    // Whether the pictures follow the sound's clock now.
    bool Following(double now) const;
    // Milliseconds until the frame after NowFrame is due.
    double Remaining(int32_t NowFrame, double now, double startT) const;
};

}  // namespace tqk::player
