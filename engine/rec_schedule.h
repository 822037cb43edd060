// The arithmetic of recording and playback that needs no platform call: parameter checks,
// the slot schedule, the mapped-writing window, the cursor position and the late test of
// playback. Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <string>

namespace tqk {

struct RecordParams {
    int32_t x = 0, y = 0, W = 0, H = 0;
    int32_t fps = 0, sec = 0, Method = 0;
};

// The checks a recording makes before it touches anything: -1 for a bad rectangle or rate
// (including a width that is not a multiple of 4, whose rows would not fit the frame size),
// then -9 for UserCapture with a method other than Type1. kOk otherwise.
[[nodiscard]] int32_t CheckRecordParams(const RecordParams& p, bool userCapture);

// The file a movie path names for the recorder: a relative path is taken in the program's
// folder (programFolder, ending in a separator); a path from a drive's root ("\x.TQK") on the
// program's drive; a drive-relative one ("D:x.TQK") in the program's folder when that is on
// the drive named. Full paths, network paths and an empty folder leave the path as it is.
std::wstring MoviePathIn(const std::wstring& programFolder, const std::wstring& path);

// Depths a recording can produce.
bool IsRecordableDepth(int32_t bits);

// Milliseconds per slot.
inline double SlotMillis(int32_t fps) { return 1000.0 / fps; }

// The schedule of a recording, measured from its start so that it never drifts.
class SlotPacer {
public:
    SlotPacer(int32_t fps, bool userCapture) : ms_(SlotMillis(fps)), user_(userCapture) {}
    void Start(double now) { start_ = last_ = now; }
    // Slot k is captured unless the previous slot's wait ended at or after the close of
    // slot k's own window; frames handed over by the caller are never dropped.
    bool Captured(int64_t k) const { return user_ || double(k + 1) * ms_ > last_ - start_; }
    // The pacing wait of slot k goes on while now is inside slot k's window.
    bool KeepWaiting(int64_t k, double now) const { return double(k + 1) * ms_ >= now - start_; }
    void WaitEnded(double now) { last_ = now; }
    // After a pause: slot nextSlot is due at resumeAt and the later slots follow it, as if
    // the recording had started nextSlot slots before resumeAt. The wait for resumeAt ends
    // with WaitEnded, so a late one drops slots as any late wait does.
    void Resume(int64_t nextSlot, double resumeAt) {
        start_ = resumeAt - double(nextSlot) * ms_;
        last_ = resumeAt;
    }
    // When slot k is due (its window opens).
    double SlotStart(int64_t k) const { return start_ + double(k) * ms_; }
    // When slot k's window closes: the end of the recorded time once slot k is the last
    // slot before a pause.
    double SlotEnd(int64_t k) const { return start_ + double(k + 1) * ms_; }
    // The time of slot 0 on the current schedule (moved by every resume).
    double StartTime() const { return start_; }
    double Millis() const { return ms_; }

private:
    double ms_;
    bool user_;
    double start_ = 0;
    double last_ = 0;
};

// How far ahead of the moment a pause ends the next slot is due: time for the caller to
// pass the moment on (to the sound) before it comes.
constexpr double kResumeLeadMillis = 100;
// The moment the next slot is due after a pause that ends at now: whole milliseconds, as the
// sound's moments are.
double ResumeMoment(double now);

// The slots a recording cancelled while paused keeps: its recorded slots cut back to the last
// whole second.
inline int64_t WholeSecondSlots(int64_t recorded, int32_t fps) {
    return fps > 0 ? recorded - recorded % fps : 0;
}

// Playback: frame i is late (read and reported but not drawn) once its window has closed.
inline bool FrameIsLate(int64_t i, double ms, double now, double startT) {
    return double(i + 1) * ms <= now - startT;
}

// True when the rectangle reaches outside the screen, so the grab must start from black.
inline bool RectLeavesScreen(int32_t x, int32_t y, int32_t W, int32_t H, int32_t screenW,
                             int32_t screenH) {
    return x < 0 || y < 0 || int64_t(x) + W > screenW || int64_t(y) + H > screenH;
}

// The part of a capture rectangle that lies on the screen, as a copy from (srcX, srcY) of
// the screen to (dstX, dstY) of the frame; empty when nothing of it is on the screen. Some
// platforms copy nothing at all when the source reaches past the screen, so only this part
// is copied.
struct ScreenPart {
    int32_t dstX, dstY, srcX, srcY, w, h;
    bool Empty() const { return w <= 0 || h <= 0; }
};
ScreenPart ClipToScreen(int32_t x, int32_t y, int32_t W, int32_t H, int32_t screenW,
                        int32_t screenH);

// Where a cursor image goes in the frame: its hot spot sits on the cursor position.
struct Point {
    int32_t x, y;
};
inline Point CursorImageOrigin(Point cursor, Point hotSpot, int32_t rectX, int32_t rectY) {
    return {cursor.x - hotSpot.x - rectX, cursor.y - hotSpot.y - rectY};
}

// Rounded result of a recording's start time in whole milliseconds (32-bit, as reported).
int32_t RoundMillis(double ms);

// Megabytes reported with -6: view / 1 MiB + 1, rounded to the nearest whole number.
int32_t MegabytesNeeded(uint64_t viewBytes);

// Mapped writing. The file is reserved at T bytes up front; records go into a view of the
// mapping at the write position. The view always starts on the allocation granularity and
// always holds the write position plus the largest record, and the mapping grows when T is
// reached by records larger than the reservation assumed.
class MappedLayout {
public:
    // F: frame bytes; maxRecord: the largest record a slot can write (head + packed bytes).
    MappedLayout(uint64_t F, int64_t slots, uint64_t maxRecord, uint64_t granularity);

    // T = (F + 8) x slots + 100, the reservation made before the first slot.
    uint64_t ReservedBytes() const { return reserved_; }
    // The wanted view size, 8F (at least enough for one record past a granularity step).
    uint64_t WantedView() const { return wantedView_; }

    struct Window {
        uint64_t mapSize;
        uint64_t offset;
        uint64_t size;
    };
    // The first window: the whole reservation or the wanted view, whichever is smaller.
    Window First() const;
    // Before writing a record at absolute position pos: true when the current window cannot
    // take maxRecord more bytes there. Next() then gives the window to map instead.
    bool NeedsMove(const Window& w, uint64_t pos) const;
    Window Next(const Window& w, uint64_t pos) const;

private:
    uint64_t reserved_;
    uint64_t wantedView_;
    uint64_t maxRecord_;
    uint64_t gran_;
};

}  // namespace tqk
