// Capture: playback at the movie's own pace, and decode-only delivery.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "../common/result_code.h"
#include "capture.h"
#include "capture_internal.h"
#include "rec_schedule.h"
#include "tqk_format.h"
#include "win_file.h"
#include "win_handles.h"

namespace tqk {

int32_t Capture::Play(const std::wstring& Path, HDC hdc, HBITMAP hBmp, int32_t x, int32_t y,
                      bool OnlyDecode) {
    FileHandle file = OpenForRead(Path);
    if (!file) return kErrOpen;
    uint8_t head[kHeaderBytes];
    DWORD got = 0;
    if (!ReadFile(file.Get(), head, sizeof head, &got, nullptr) || got != sizeof head)
        return kErrBadFile;
    MovieHeader h;
    if (DecodeHeader(head, &h) != kOk) return kErrBadFile;
    // A header that cannot be played (rate 0, sizes below 1) is refused like a damaged one.
    int32_t rc = CheckHeaderForPlay(h);
    if (rc != kOk) return rc;
    FrameReader reader;
    rc = reader.Start(h);
    if (rc != kOk) return rc;
    const size_t F = reader.FrameSize();
    const double ms = SlotMillis(h.fps);
    // A movie whose recorder stopped early plays up to its last whole second.
    MovieHeader playable = h;
    playable.sec = PlayableSeconds(h, ScanMovieRecords(file.Get(), h));
    const uint64_t count = FrameCount(playable);
    const int32_t total = count > uint64_t(INT32_MAX) ? INT32_MAX : int32_t(count);

    BitmapInfo256 bi;
    FillBitmapInfo(&bi, h.W, h.H, h.BitCo);
    WindowDc screen(nullptr, GetDC(nullptr));
    MemoryDc memDc(screen ? CreateCompatibleDC(screen.Get()) : nullptr);
    GdiObject work(screen ? CreateCompatibleBitmap(screen.Get(), h.W, h.H) : nullptr);
    if (!screen || !memDc || !work) return MakeResultCode(kErrApi, int32_t(GetLastError()));
    SelectGuard selWork(memDc.Get(), work.Get());
    ByteBuffer converted;
    if (OnlyDecode && h.Method == Type0) {
        // GetDIBits writes whole padded rows: the buffer holds them whatever the header says.
        const uint64_t dib = DibRowBytes(h.W, h.BitCo) * uint64_t(h.H);
        converted = AllocateZeroed(size_t(std::max<uint64_t>(F + 1, dib)));
        if (!converted) return MakeResultCode(kErrApi, int32_t(ERROR_NOT_ENOUGH_MEMORY));
    }

    // A play from a frame the caller sought: that frame's record unpacked against the one
    // before, on the schedule the frame has from the movie's start.
    int32_t first = 0;
    if (!OnlyDecode && startFrom_ > 0 && startFrom_ < total && startPrevious_.size() == F) {
        LARGE_INTEGER at;
        at.QuadPart = LONGLONG(startOffset_);
        if (SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN)) {
            std::memcpy(reader.MutableFrame(), startPrevious_.data(), F);
            first = startFrom_;
        }
    }
    startFrom_ = 0;
    startPrevious_.clear();
    startPrevious_.shrink_to_fit();

    StartT_ = PerfMillis() - double(first) * ms;
    double last = PerfMillis();
    double waited = 0;  // end of the last completed wait
    Win32FileSource src(file.Get());
    for (int32_t i = first; i < total; ++i) {
        const double t0 = PerfMillis();
        rc = reader.ReadNext(src);
        if (rc != kOk) return rc;
        const uint8_t* frame = reader.Frame();
        events_->OnDrawBefore();
        bool late = false;
        if (OnlyDecode) {
            if (h.Method == Type0) {
                SetBitmapBits(HBITMAP(work.Get()), DWORD(F), frame);
                GetDIBits(memDc.Get(), HBITMAP(work.Get()), 0, UINT(h.H), converted.get(),
                          reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
                events_->OnDecode(converted.get(), F + 1, i, total);
            } else {
                events_->OnDecode(frame, F, i, total);
            }
        } else {
            late = FrameIsLate(i, ms, PerfMillis(), StartT_);
            if (!late) {
                if (h.Method == Type0) {
                    SetBitmapBits(hBmp, DWORD(F), frame);
                } else {
                    if (h.BitCo == 8)
                        std::memcpy(bi.colours, frame + F - kColourTableBytes, kColourTableBytes);
                    const int32_t at_x = h.Method == Type2 ? x : 0;
                    const int32_t at_y = h.Method == Type2 ? y : 0;
                    SetDIBitsToDevice(hdc, at_x, at_y, DWORD(h.W), DWORD(h.H), 0, 0, 0, UINT(h.H),
                                      frame, reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
                }
            }
        }
        double drawTime = PerfMillis() - t0;
        bool cancel = false;
        events_->OnDrawing(i, total, drawTime, cancel);
        if (cancel) return kOk;
        if (!OnlyDecode && !late && drawTime > 0.000001) {
            double now = PerfMillis();
            while (now - last <= ms) {
                PumpMessages();
                Sleep(0);
                now = PerfMillis();
            }
            waited = now;
        }
        // A frame that did not wait takes the reference back to the last completed wait.
        last = waited;
    }
    return kOk;
}

}  // namespace tqk
