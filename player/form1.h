// Form1: the player window. Shows one movie at a time in a picture sized to it, plays it
// through the engine with the sound file beside it, and offers play, pause, fast forward,
// stop, the open dialog, dropped files and export to AVI. The decisions live in PlayerModel;
// this class moves them between the model, the controls, the engine and the sound device.
#pragma once

#include <windows.h>
// after windows.h
#include <vfw.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture.h"
#include "form5.h"
#include "frame_seek.h"
#include "mci_sound.h"
#include "ole_drop.h"
#include "player_model.h"
#include "win_file.h"
#include "win_handles.h"
#include "win_window.h"

namespace tqk::player {

// What the last play cost the player itself, for the speed benchmark.
struct PlayStats {
    int32_t frames = 0;  // Drawing events
    int32_t late = 0;    // frames the engine found late (not drawn)
    int32_t firstLate = -1;
    double ownMs = 0;     // the player's own time in the events (bar, sound, steps)
    double ownMaxMs = 0;  // the longest of them
    double showMs = 0;    // copying the changed places of the frames to the window
    double diffMs = 0;    // of which finding the changed places
    double engineMs = 0;  // the engine's reading, unpacking and drawing into the image
    double engineMaxMs = 0;
    double slotMs = 0;  // one frame slot
};

class Form1 : public Window, private CaptureEvents {
public:
    Form1();
    ~Form1() override;

    // Creates the window, sized for no movie ("-- No File --").
    bool Create();
    void U_Open(const std::wstring& srcTQKFnm);
    void SizeFit(int32_t PicW, int32_t PicH, int32_t Bit, int32_t fps, int32_t sec, int32_t Types);
    void SetSeek(int32_t Posmsec) { sound_.Seek(Posmsec); }
    // Presses play and returns when the play has ended (for the benchmark).
    void PlayNow();
    const PlayStats& LastPlayStats() const { return stats_; }
    // For the speed benchmark: false lets the engine draw on the window itself, as before the
    // picture had an image of its own.
    void UseFrameImage(bool on) { useFrameImage_ = on; }
    void UseOwnWait(bool on) { model_.SetOwnWait(on); }

protected:
    bool OnCreate() override;
    void OnCommand(int id, int code, HWND control) override;
    void OnTimer(UINT_PTR id) override;
    bool OnClose() override;
    void OnDestroy() override;
    void OnSize(UINT type, int width, int height) override;
    void OnDropFiles(const std::vector<std::wstring>& paths, POINT at) override;
    void OnDpiChanged() override;
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    // CP_Drawing, and CP_DrawBefore for the first frame's schedule.
    void OnDrawing(int32_t NowFrame, int32_t TotalFrame, double& DrawTime, bool& Cancel) override;
    void OnDrawBefore() override;

    // Drop: the first file of a drop (WM_DROPFILES or OLE) is opened and played.
    void Drop(const std::vector<std::wstring>& files);
    void Run(const Steps& steps);
    void Check1_Click(int index);
    // Sets a toggle button; a change fires its click handling, as a user's click would.
    void SetCheck1(int index, bool value);
    void StartPlay();
    void Export();
    void OpenFromDialog();
    void PlacePanel(int top);
    void MakeBarImages();
    void DrawBar(int32_t NowFrame, int32_t TotalFrame);
    void ClearBar();
    void ClearPicture();
    void ShowBar() const;
    // The frame the engine drew into the picture's image, to the window where it changed.
    void ShowFrame();
    bool MakeFrameImage();
    void DropFrameImage();
    int Ask(const std::wstring& text, UINT style) const;
    // The seeker of the open movie: any frame at once, shown while no play runs.
    void OpenSeeker();
    void CloseSeeker();
    // The walk a slice per tick; after it the snapshots go into the file beside the movie.
    void PrepareTick();
    // The file is written on a thread of its own (its flush alone can take a second on a
    // slow disk); it holds while a play runs and is given up when the movie closes.
    void StartSnapshotWriter();
    void StopSnapshotWriter();
    static DWORD WINAPI SnapshotWriterMain(void* form);
    void ShowSeekFrame(int32_t frame);
    void DrawStill(HDC dc) const;
    int BarLengthPx() const;
    void DrawMarks(HDC dc, int32_t TotalFrame);
    void MarksChanged();
    bool OnKey(WPARAM key);
    void BarMouse(UINT msg, int x);
    void SaveSpan();
    // The marked span as a movie and, when sound is given, its WAV (from sourceSound); false
    // after a message.
    bool WriteSpan(const std::wstring& movie, const std::wstring& sound,
                   const std::wstring& sourceSound);
    static bool SamePath(const std::wstring& a, const std::wstring& b);
    static std::wstring TempFolder();
    static void RemoveScratch(const std::wstring& movie, const std::wstring& sound);
    static LRESULT CALLBACK PictureProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK BarProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT PictureMessage(HWND, UINT, WPARAM, LPARAM);
    static LRESULT BarMessage(HWND, UINT, WPARAM, LPARAM);

    std::unique_ptr<Capture> CP;
    FileHandle seekFile_;
    std::unique_ptr<Win32RandomSource> seekSource_;
    std::unique_ptr<FrameSeeker> seeker_;
    // The snapshot file beside the movie: read from when it matched, else written after the
    // walk (declared after the seeker, whose snapshots the writer reads, so it goes first).
    FileHandle snapFile_;
    std::unique_ptr<Win32RandomSource> snapSource_;
    bool snapWanted_ = false;
    std::unique_ptr<SnapshotFileWriter> snapWriter_;
    ObjectHandle snapThread_;
    std::atomic<bool> snapStop_{false}, snapHold_{false};
    PlayerModel model_;
    MciSound sound_;
    std::wstring CurrentFile;
    int32_t W_ = 0, H_ = 0, Bits_ = 0, Fps_ = 0, Sec_ = 0, Method_ = 1;
    Fit fit_;
    COMPVARS cv_{};  // the compressor choice, kept for the next export
    std::unique_ptr<Form5> form5_;
    std::unique_ptr<DropTarget> dropTarget_;
    // Picture2's image, Picture3 (the bar image) and the fonts of the bar and the status.
    MemoryDc barDc_, picture3Dc_, type0Dc_;
    GdiObject barBmp_, picture3Bmp_, barFont_, labelFont_, type0Bmp_;
    // Declared after what they select, so they put the old objects back first.
    std::optional<SelectGuard> barSel_, picture3Sel_, barFontSel_, type0Sel_;
    int barW_ = 0, barH_ = 0;
    // The picture's image during a play (Type1, Type2): a DIB section in the movie's own
    // layout (32 bits for 8 and 24), so the engine's drawing is a plain copy, and what the
    // window shows of it, so only the changed places are copied to the window.
    MemoryDc frameDc_;
    GdiObject frameBmp_;
    std::optional<SelectGuard> frameSel_;
    uint8_t* frameBits_ = nullptr;
    size_t frameStride_ = 0;
    int frameBytesPerPixel_ = 0;
    std::vector<uint8_t> shown_;
    bool useFrameImage_ = true;
    bool barShown_ = false;
    int32_t exportLimit_ = 0;  // frames of the span being exported (0: the whole movie)
    PlayStats stats_;
};

}  // namespace tqk::player
