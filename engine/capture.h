// The capture engine's one class: records a screen rectangle (or frames the caller hands over)
// into a movie file, plays movies back or decodes them, and reads and patches movie headers.
// Events reach the caller synchronously through CaptureEvents; arguments passed by reference
// are read back after the handler returns.
#pragma once

#include <windows.h>

#include "input_overlay.h"
#include "perf_millis.h"  // every time value of the engine is on this clock

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tqk {

// Handlers of the engine's events. Every handler has a do-nothing default.
class CaptureEvents {
public:
    virtual ~CaptureEvents() = default;
    // Recording, once per slot after its pacing wait. CaptureX/CaptureY move the rectangle
    // from the next slot on; IsCancel ends the recording with -7, detail NowFrame + 1.
    virtual void OnCapture(int32_t NowFrame, double FrameCaptureTime, int32_t DropCount,
                           bool IsDrop, int32_t CompressSize, int32_t NoCompressSize,
                           int32_t& CaptureX, int32_t& CaptureY, bool& IsCancel) {
        (void)NowFrame, (void)FrameCaptureTime, (void)DropCount, (void)IsDrop, (void)CompressSize,
            (void)NoCompressSize, (void)CaptureX, (void)CaptureY, (void)IsCancel;
    }
    // Recording, after each slot's Capture event (not after the last slot): true pauses the
    // recording there. No slot is due while paused; the slot numbering goes on after it.
    virtual bool OnPauseWanted() { return false; }
    // Recording, while paused: called about every 10 ms, window messages pumped in between.
    // PausedAt is the PerfMillis time at which recorded time stopped (the close of the last
    // recorded slot's window). Resume goes on; IsCancel ends the recording with -7 whose
    // detail is the frames kept: the recorded slots cut back to the last whole second, the
    // file ending right behind the last kept record (0: nothing whole was recorded).
    virtual void OnPaused(double PausedAt, bool& Resume, bool& IsCancel) {
        (void)PausedAt, (void)Resume, (void)IsCancel;
    }
    // Recording, when a pause ends: the next slot is due at ResumeAt (a PerfMillis time in
    // whole milliseconds, a little ahead of now), the later ones follow it. The engine waits
    // for it after this returns; a late wait drops slots as usual.
    virtual void OnResume(double ResumeAt) { (void)ResumeAt; }
    // Recording: something to tell the user that does not stop the recording (the cursor
    // cannot be drawn). The engine itself never shows a message box.
    virtual void OnWarning(const std::wstring& Text) { (void)Text; }
    // Playback, once per frame. Cancel ends playback with 0; DrawTime at or below 1e-6 ms
    // skips the wait for this frame.
    virtual void OnDrawing(int32_t NowFrame, int32_t TotalFrame, double& DrawTime, bool& Cancel) {
        (void)NowFrame, (void)TotalFrame, (void)DrawTime, (void)Cancel;
    }
    // Playback, after each frame is unpacked.
    virtual void OnDrawBefore() {}
    // Recording, after the header is written and before the first slot.
    virtual void OnStartCapture(bool& IsCancel) { (void)IsCancel; }
    // Decode-only playback, once per frame: the frame's device-independent bits.
    virtual void OnDecode(const uint8_t* BitmapData, size_t Size, int32_t NowFrame,
                          int32_t TotalFrame) {
        (void)BitmapData, (void)Size, (void)NowFrame, (void)TotalFrame;
    }
    // UserCapture recording, once before set-up: the bits per pixel of the frames to come.
    virtual void OnUserCaptureSetBitmapInfo(int32_t& retBitCount) { (void)retBitCount; }
    // UserCapture recording, once per slot: copy exactly DATASize bytes of the frame (Type1
    // layout, colour table last for 8 bits) to retptr_BitMapData.
    virtual void OnUserCaptureSetDATA(uint8_t* retptr_BitMapData, int32_t DATASize) {
        (void)retptr_BitMapData, (void)DATASize;
    }
};

// Where the time of a recording's captured slots went, in milliseconds summed over the slots.
struct RecordTimings {
    int64_t captured = 0;  // slots captured
    int64_t dropped = 0;   // slots dropped
    double grab = 0;       // the platform's copy of the screen (and black fill)
    double cursor = 0;     // cursor drawing
    double convert = 0;    // the platform's conversion to the frame layout (or UserCapture)
    double pack = 0;       // Compress
    double write = 0;      // appending the record
    double copy = 0;       // keeping the frame as the next slot's previous one
    double overlay = 0;    // drawing the FrameOverlay (clicks and keys)
};

enum CaptureMethod : int32_t { Type0 = 0, Type1 = 1, Type2 = 2 };

class Capture {
public:
    explicit Capture(CaptureEvents* events = nullptr);
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    void SetEvents(CaptureEvents* events) { events_ = events ? events : &none_; }
    // Drawn over every frame grabbed from the screen (not over UserCapture frames), after the
    // cursor; null for none. The caller keeps it alive while Rec runs.
    void SetOverlay(FrameOverlay* overlay) { overlay_ = overlay; }

    // The Japanese message of a plain or packed result code; empty for codes without one.
    std::wstring GetError(int32_t ErrorNo) const;

    void Init(int32_t x, int32_t y, int32_t W, int32_t H);
    void Init_Capture(int32_t fpsv, int32_t secv, int32_t Methodv, int32_t MaxSizeMBv = 0,
                      int32_t SleepCov = 0, int32_t SleepTimev = 0, bool DrawMousev = false);

    // 0, -2, -3, -11 or -12; the outputs (any may be null) are written only on 0. For a movie
    // cut short (its records stop early and nothing but the end of the file or unwritten
    // zeros follows them) sec is the whole seconds it holds; -3 when that is none.
    int32_t GetTVRFileData(const std::wstring& Fnm, int32_t* W = nullptr, int32_t* H = nullptr,
                           int32_t* BitCo = nullptr, int32_t* fps = nullptr, int32_t* sec = nullptr,
                           int32_t* Method = nullptr) const;
    // Replaces each header field whose new value is not 0. A file that cannot be opened, or
    // is not a movie, is left alone.
    void SetTVRFileData(const std::wstring& Fnm, int32_t W = 0, int32_t H = 0, int32_t BitCo = 0,
                        int32_t fps = 0, int32_t sec = 0) const;
    // The same, with its outcome: 0, -2 (not opened for writing), -3 (not a movie) or -10
    // with the platform's error (the header not written).
    [[nodiscard]] int32_t PatchTVRFileData(const std::wstring& Fnm, int32_t W = 0, int32_t H = 0,
                                           int32_t BitCo = 0, int32_t fps = 0,
                                           int32_t sec = 0) const;

    // Plays a movie onto hdc (Type1/Type2) or hBmp (Type0) at its own pace, or decodes it
    // (OnlyDecode). 0, -2, -3, -4, -5, -8 (or -10 when a platform object cannot be made).
    int32_t Play(const std::wstring& Path, HDC hdc, HBITMAP hBmp, int32_t x, int32_t y,
                 bool OnlyDecode);
    void Play_SetStartT(double Val) { StartT_ = Val; }
    // The next Play (not decode-only) starts at frame `from` (> 0), whose record begins at
    // `offset`, unpacked against `previous` (the frame before it, F bytes); its schedule counts
    // as if frame 0 had been due from frames earlier. Play forgets it when it starts. A
    // `previous` of another size, or a frame beyond the movie, plays from the start.
    void Play_SetStartFrame(int32_t from, uint64_t offset, const uint8_t* previous, size_t bytes) {
        startFrom_ = from;
        startOffset_ = offset;
        startPrevious_.assign(previous, previous + bytes);
    }

    // Records into TempPath (a relative path is taken in the program's folder); a packed
    // result code (0 on success). WaitForStartTime is a PerfMillis time before which no slot
    // begins (0: none). UseAsync records through the mapped writer (RecAsync), else through
    // the sequential one (Rec1); both write the same file.
    int32_t Rec(const std::wstring& TempPath, int32_t MemSize = 0, bool UserCapture = false,
                int32_t* retFirstCaptureTime = nullptr, double WaitForStartTime = 0,
                bool UseAsync = false);
    int32_t Rec1(const std::wstring& TempPath, int32_t MemSize = 0, bool UserCapture = false,
                 int32_t* retFirstCaptureTime = nullptr, double WaitForStartTime = 0);
    int32_t RecAsync(const std::wstring& TempPath, int32_t MemSize = 0, bool UserCapture = false,
                     int32_t* retFirstCaptureTime = nullptr, double WaitForStartTime = 0);

    int32_t x() const { return x_; }
    int32_t y() const { return y_; }
    int32_t W() const { return W_; }
    int32_t H() const { return H_; }
    int32_t fps() const { return fps_; }
    int32_t sec() const { return sec_; }
    int32_t Method() const { return Method_; }
    int32_t BitCo() const { return BitCo_; }
    int32_t MaxSizeMB() const { return MaxSizeMB_; }
    int32_t SleepCo() const { return SleepCo_; }
    int32_t SleepTime() const { return SleepTime_; }
    bool DrawMouse() const { return DrawMouse_; }
    const std::wstring& TempPath() const { return TempPath_; }
    double StartT() const { return StartT_; }
    // Timings of the last recording.
    const RecordTimings& LastTimings() const { return timings_; }
    // Whether the global cursor information is used (platform version 5 or later); the other
    // route takes the calling thread's cursor. Settable so both routes can be exercised.
    bool CursorInfoAvailable() const { return cursorInfo_; }
    void SetCursorInfoAvailable(bool on) { cursorInfo_ = on; }
    // During the Capture event: the cursor position read for drawing it into this frame
    // (screen pixels); false when the frame was dropped or the cursor is not drawn. Saves a
    // handler that follows the mouse a second read, which costs a server round trip.
    bool LastCursorPos(int32_t* retX, int32_t* retY) const {
        if (cursorSeen_) {
            *retX = cursorX_;
            *retY = cursorY_;
        }
        return cursorSeen_;
    }

private:
    // Rec1 (mapped false: each record written in turn) and RecAsync (mapped true: records
    // stored into a mapped view of the file) share this.
    int32_t Record(const std::wstring& path, bool userCapture, int32_t* retFirstCaptureTime,
                   double waitForStartTime, bool mapped);
    friend class RecordSession;  // the steps of Record

    CaptureEvents none_;
    CaptureEvents* events_;
    FrameOverlay* overlay_ = nullptr;
    int32_t x_ = 0, y_ = 0, W_ = 0, H_ = 0;
    int32_t fps_ = 0, sec_ = 0, Method_ = 0, BitCo_ = 0, MaxSizeMB_ = 0;
    int32_t SleepCo_ = 0, SleepTime_ = 0;
    bool DrawMouse_ = false;
    bool cursorInfo_ = false;
    bool cursorSeen_ = false;
    int32_t cursorX_ = 0, cursorY_ = 0;
    std::wstring TempPath_;
    double StartT_ = 0;
    int32_t startFrom_ = 0;
    uint64_t startOffset_ = 0;
    std::vector<uint8_t> startPrevious_;
    RecordTimings timings_;
};

}  // namespace tqk
