// Capture: the recording loop with its two writers (sequential writes and a mapped view).
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "../common/result_code.h"
#include "capture.h"
#include "capture_internal.h"
#include "fault_seam.h"
#include "path_parts.h"
#include "rec_schedule.h"
#include "snapshot_file.h"
#include "tqk_format.h"
#include "win_file.h"
#include "win_handles.h"
#include "win_text.h"

namespace tqk {

void FillBitmapInfo(BitmapInfo256* bi, int32_t W, int32_t H, int32_t bits) {
    std::memset(bi, 0, sizeof *bi);
    bi->header.biSize = sizeof(BITMAPINFOHEADER);
    bi->header.biWidth = W;
    bi->header.biHeight = H;
    bi->header.biPlanes = 1;
    bi->header.biBitCount = static_cast<WORD>(bits);
    bi->header.biCompression = BI_RGB;
}

DWORD WriteSecondsField(const wchar_t* path, int32_t sec) {
    FileHandle file(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    if (!file) return GetLastError();
    uint8_t field[4];
    StoreLE32(field, static_cast<uint32_t>(sec));
    return WriteAt(file.Get(), kOffSec, field, 4);
}

namespace {

static_assert(sizeof(BITMAPINFOHEADER) == 40, "the movie's bitmap header is 40 bytes");

using CompressFn = int32_t(__stdcall*)(uint8_t*, const uint8_t*, const uint8_t*, int32_t);

// TVR.dll is bound by name on the first recording and stays loaded for the process's life.
CompressFn BindCompress(DWORD* error) {
    static CompressFn bound = nullptr;
    if (bound) return bound;
    HMODULE lib = LoadLibraryW(L"TVR.dll");
    if (!lib) {
        *error = GetLastError();
        return nullptr;
    }
    bound = reinterpret_cast<CompressFn>(reinterpret_cast<void*>(GetProcAddress(lib, "Compress")));
    if (!bound) {
        *error = GetLastError();
        FreeLibrary(lib);
    }
    return bound;
}

// Where the records go. Position() is the end of the last whole record.
class MovieSink {
public:
    virtual ~MovieSink() = default;
    // 0 or the platform's error number; nothing counts as written on failure.
    virtual DWORD Append(const uint8_t* data, size_t n) = 0;
    // Room for a record of up to n bytes at the write position, for the caller to fill in
    // place and then Commit: saves copying each record once more. nullptr (with *err 0) when
    // the sink keeps no such room; the caller then Appends from its own buffer.
    virtual uint8_t* Place(size_t n, DWORD* err) {
        (void)n;
        *err = 0;
        return nullptr;
    }
    virtual void Commit(size_t n) { pos_ += n; }
    // Forgets the records behind pos (an earlier Position): Finish ends the file there.
    void CutBack(uint64_t pos) { pos_ = pos; }
    // Ends the file right behind the last whole record and closes it.
    virtual DWORD Finish() = 0;
    uint64_t Position() const { return pos_; }

protected:
    uint64_t pos_ = 0;
};

// An older file at the path is emptied at once: a recorder that dies mid-way then leaves
// its own records followed by nothing (or by the mapped writer's zeros), never by another
// movie's records, which readers could not tell from its own.
FileHandle OpenMovie(const std::wstring& path, DWORD extraFlags) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, OPEN_ALWAYS, FILE_FLAG_SEQUENTIAL_SCAN | extraFlags,
                                nullptr));
    if (file && CutAt(file.Get(), 0) != 0) file.Reset();
    // The player's snapshots of the older movie would not match the new one; they go now.
    if (file) DeleteFileW((path + kSnapshotFileSuffixW).c_str());
    return file;
}

class SequentialSink : public MovieSink {
public:
    bool Open(const std::wstring& path) {
        file_ = OpenMovie(path, 0);
        return bool(file_);
    }
    DWORD Append(const uint8_t* data, size_t n) override {
        if (fault::ShouldFail(fault::Op::kWrite)) return fault::ErrorNumber(fault::Op::kWrite);
        DWORD put = 0;
        if (!WriteFile(file_.Get(), data, DWORD(n), &put, nullptr)) return GetLastError();
        if (put != n) return ERROR_HANDLE_DISK_FULL;
        pos_ += n;
        return 0;
    }
    DWORD Finish() override {
        if (!file_) return 0;
        // Cutting here also drops the tail of a longer file that was at this path.
        const DWORD err = CutAt(file_.Get(), pos_);
        file_.Reset();
        return err;
    }

private:
    FileHandle file_;
};

class MappedSink : public MovieSink {
public:
    bool Open(const std::wstring& path) {
        file_ = OpenMovie(path, FILE_FLAG_OVERLAPPED);
        return bool(file_);
    }
    // Reserves the file and maps the first view: kOk, or -6 / -10 with *detail.
    int32_t Prepare(uint64_t F, int64_t slots, uint64_t maxRecord, int32_t* detail) {
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        layout_ = std::make_unique<MappedLayout>(F, slots, maxRecord, si.dwAllocationGranularity);
        // One write of zeros claims a whole record, up to 16 MiB at a time.
        zerosBytes_ =
            size_t(std::min<uint64_t>(std::max<uint64_t>(maxRecord, kClaimStep), 16u << 20));
        zeros_ = AllocateZeroed(zerosBytes_);
        if (!zeros_) {
            *detail = int32_t(ERROR_NOT_ENOUGH_MEMORY);
            return kErrApi;
        }
        MEMORYSTATUSEX ms;
        ms.dwLength = sizeof ms;
        const uint64_t view = 8 * F;
        if (GlobalMemoryStatusEx(&ms) && ms.ullTotalPhys - 1048576 < view) {
            *detail = MegabytesNeeded(view);
            return kErrBufferSize;
        }
        const DWORD err = Map(layout_->First(), true);
        if (err) {
            *detail = int32_t(err);
            return kErrApi;
        }
        // The first record's room is claimed now rather than in the first slot. A failure
        // here is reported by the write that needs the room.
        (void)Claim(kHeaderBytes + maxRecord + kClaimStep);
        return kOk;
    }
    DWORD Append(const uint8_t* data, size_t n) override {
        DWORD err = 0;
        uint8_t* at = Place(n, &err);
        if (!at) return err;
        std::memcpy(at, data, n);
        pos_ += n;
        return 0;
    }
    uint8_t* Place(size_t n, DWORD* err) override {
        *err = 0;
        if (!view_) {
            *err = ERROR_INVALID_HANDLE;
            return nullptr;
        }
        if (pos_ + n > claimed_) {
            // A step more than needed, so small records do not claim in every slot.
            *err = Claim(pos_ + n + kClaimStep);
            if (*err) return nullptr;
        }
        if (layout_->NeedsMove(window_, pos_)) {
            *err = Map(layout_->Next(window_, pos_), false);
            if (*err) return nullptr;
        }
        return view_.Bytes() + (pos_ - window_.offset);
    }
    DWORD Finish() override {
        view_.Reset();
        mapping_.Reset();
        if (!file_) return 0;
        const DWORD err = CutAt(file_.Get(), pos_);
        file_.Reset();
        return err;
    }
    uint64_t MappingSize() const { return window_.mapSize; }

private:
    // A store into a mapped view cannot report a full disk: where the file system only
    // allocates the pages written (sparse files), the fault would end the process. So the
    // bytes ahead of the write position are claimed with ordinary writes of zeros first, a
    // little at a time so no slot pays for a large burst; a full disk then fails here.
    static constexpr uint64_t kClaimStep = 64 * 1024;
    DWORD Claim(uint64_t to) {
        ObjectHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!done) return GetLastError();
        while (claimed_ < to) {
            const DWORD n = DWORD(std::min<uint64_t>(to - claimed_, zerosBytes_));
            OVERLAPPED ov = {};
            ov.Offset = DWORD(claimed_);
            ov.OffsetHigh = DWORD(claimed_ >> 32);
            ov.hEvent = done.Get();
            DWORD put = 0;
            if (fault::ShouldFail(fault::Op::kWrite)) return fault::ErrorNumber(fault::Op::kWrite);
            if (!WriteFile(file_.Get(), zeros_.get(), n, nullptr, &ov) &&
                GetLastError() != ERROR_IO_PENDING)
                return GetLastError();
            if (!GetOverlappedResult(file_.Get(), &ov, &put, TRUE)) return GetLastError();
            if (put != n) return ERROR_HANDLE_DISK_FULL;
            claimed_ += n;
        }
        return 0;
    }

    DWORD Map(const MappedLayout::Window& w, bool first) {
        view_.Reset();
        if (first || w.mapSize != window_.mapSize) {
            mapping_.Reset();
            // The mapping's size extends the file: the reservation, or a grown one.
            mapping_.Reset(CreateFileMappingW(file_.Get(), nullptr, PAGE_READWRITE,
                                              DWORD(w.mapSize >> 32), DWORD(w.mapSize), nullptr));
            if (!mapping_) return GetLastError();
        }
        view_.Reset(MapViewOfFile(mapping_.Get(), FILE_MAP_ALL_ACCESS, DWORD(w.offset >> 32),
                                  DWORD(w.offset), SIZE_T(w.size)));
        if (!view_) return GetLastError();
        window_ = w;
        return 0;
    }

    FileHandle file_;
    ObjectHandle mapping_;
    MappedView view_;
    std::unique_ptr<MappedLayout> layout_;
    MappedLayout::Window window_ = {};
    uint64_t claimed_ = 0;
    ByteBuffer zeros_;
    size_t zerosBytes_ = 0;
};

// Draws the mouse cursor into the frame with its hot spot on the cursor position. A cursor
// whose own image cannot be drawn (another process's cursor under some platforms) is shown
// as the standard arrow at the same place.
class CursorPainter {
public:
    CursorPainter(bool useCursorInfo, CaptureEvents* events)
        : info_(useCursorInfo), events_(events) {
        arrow_ = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        arrowHot_ = HotSpot(arrow_, {0, 0});
    }
    void Draw(HDC dc, int32_t rectX, int32_t rectY) {
        HCURSOR cursor = nullptr;
        POINT pos = {};
        read_ = false;
        if (info_) {
            CURSORINFO ci = {};
            ci.cbSize = sizeof ci;
            if (!GetCursorInfo(&ci)) return Failed();
            pos_ = ci.ptScreenPos;
            read_ = true;
            if (!(ci.flags & CURSOR_SHOWING)) return;  // hidden: nothing to draw
            cursor = ci.hCursor;
            pos = ci.ptScreenPos;
        } else {
            cursor = GetCursor();
            if (!GetCursorPos(&pos)) return Failed();
            pos_ = pos;
            read_ = true;
            if (!cursor) return;  // the thread shows no cursor
            // Hidden: the display count is below 0. ShowCursor returns the count after its
            // change, so a pair that leaves it as it was reads it.
            const int shown = ShowCursor(TRUE);
            ShowCursor(FALSE);
            if (shown <= 0) return;
        }
        if (cursor) {
            if (cursor != cached_) {
                cached_ = cursor;
                cachedOk_ = GetHot(cursor, &cachedHot_);
            }
            if (cachedOk_) {
                const Point o = CursorImageOrigin({pos.x, pos.y}, cachedHot_, rectX, rectY);
                if (DrawIcon(dc, o.x, o.y, cursor)) return;
            }
        }
        const Point o = CursorImageOrigin({pos.x, pos.y}, arrowHot_, rectX, rectY);
        if (!arrow_ || !DrawIcon(dc, o.x, o.y, arrow_)) Failed();
    }

    // The position read by the last Draw, if it read one.
    bool Read(POINT* ret) const {
        if (read_) *ret = pos_;
        return read_;
    }

private:
    static bool GetHot(HCURSOR c, Point* hot) {
        ICONINFO ii = {};
        if (!GetIconInfo(c, &ii)) return false;
        if (ii.hbmMask) DeleteObject(ii.hbmMask);
        if (ii.hbmColor) DeleteObject(ii.hbmColor);
        *hot = {int32_t(ii.xHotspot), int32_t(ii.yHotspot)};
        return true;
    }
    static Point HotSpot(HCURSOR c, Point fallback) {
        Point p = fallback;
        if (c) GetHot(c, &p);
        return p;
    }
    // The thread-cursor route tells the caller, once per recording, why no cursor is drawn.
    void Failed() {
        if (info_ || told_) return;
        told_ = true;
        events_->OnWarning(SystemErrorText(GetLastError()));
    }

    bool info_;
    CaptureEvents* events_;
    HCURSOR arrow_ = nullptr;
    Point arrowHot_ = {0, 0};
    HCURSOR cached_ = nullptr;
    Point cachedHot_ = {0, 0};
    bool cachedOk_ = false;
    bool told_ = false;
    bool read_ = false;
    POINT pos_ = {};
};

// Whether a display-compatible bitmap of 16 bits keeps green in 6 bits (5-6-5), as its
// device-dependent bits then do.
bool DeviceGreen6(HDC dc, HBITMAP bitmap) {
    struct {
        BITMAPINFOHEADER header;
        DWORD masks[256];
    } info = {};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    // The first call describes the bitmap; the second fills in its colour masks.
    if (!GetDIBits(dc, bitmap, 0, 0, nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS))
        return false;
    if (info.header.biCompression != BI_BITFIELDS) return false;
    if (!GetDIBits(dc, bitmap, 0, 0, nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS))
        return false;
    return info.masks[1] == 0x07E0;
}

}  // namespace

// One recording, in named steps: Prepare (the checks, the buffers, the sink, the drawing
// objects, the header), then for every slot GrabSlot, PackAndWrite, Pace and the Capture
// event, Pause where the caller asks for it, and Finish. The first failure is kept in one
// place and ends the slots; Finish turns it into the packed result.
class RecordSession {
public:
    RecordSession(Capture& cp, bool userCapture, bool mapped)
        : cp_(cp),
          events_(*cp.events_),
          user_(userCapture),
          mapped_(mapped),
          sink_(mapped ? static_cast<MovieSink&>(mappedSink_) : sequentialSink_) {}

    int32_t Run(const std::wstring& path, int32_t* retFirstCaptureTime, double waitForStartTime) {
        const int32_t early = Prepare(path);
        if (early != kOk || !opened_) return early;
        if (Ok()) RecordSlots(retFirstCaptureTime, waitForStartTime);
        return Finish();
    }

private:
    bool Ok() const { return error_.code == kOk; }
    void Fail(int32_t code, int32_t detail) {
        if (Ok()) error_ = {code, detail};
    }
    // A record could not be written: the file keeps the whole records before it.
    void WriteFailed(DWORD err) {
        Fail(kErrApi, int32_t(err));
        error_.recordsKept = true;
    }

    // Everything before the first slot. A packed code to return at once while no file has
    // been touched; once the movie is open a failure goes to the error state instead.
    int32_t Prepare(const std::wstring& path) {
        RecordParams params;
        params.x = cp_.x_, params.y = cp_.y_, params.W = cp_.W_, params.H = cp_.H_;
        params.fps = cp_.fps_, params.sec = cp_.sec_, params.Method = cp_.Method_;
        const int32_t rc = CheckRecordParams(params, user_);
        if (rc != kOk) return MakeResultCode(rc, 0);
        if (user_) events_.OnUserCaptureSetBitmapInfo(cp_.BitCo_);

        header_.Method = cp_.Method_, header_.BitCo = cp_.BitCo_;
        header_.W = cp_.W_, header_.H = cp_.H_;
        header_.fps = cp_.fps_, header_.sec = cp_.sec_;
        const uint64_t frameBytes = FrameBytes(header_);
        if (!IsRecordableDepth(cp_.BitCo_) || frameBytes == 0 || frameBytes > kMaxFrameBytes)
            return MakeResultCode(kErrNotInitialised, 0);
        // An 8-bit movie of another method could never be played back, and a DIB section of
        // 8 bits has no room for the colour table that ends every 8-bit frame: refuse it here.
        if (cp_.BitCo_ == 8 && cp_.Method_ != Type1) return MakeResultCode(kErrEightBitType, 0);
        F_ = size_t(frameBytes);
        words_ = int32_t(F_ / 4);
        slots_ = int64_t(cp_.fps_) * int64_t(cp_.sec_);

        path_ = MoviePathIn(ProgramFolder(), path);
        cp_.TempPath_ = path;
        cp_.timings_ = RecordTimings();
        cp_.cursorSeen_ = false;

        DWORD bindError = 0;
        compress_ = BindCompress(&bindError);
        if (!compress_) return MakeResultCode(kErrApi, int32_t(bindError));
        if (!AllocateBuffers()) return MakeResultCode(kErrApi, int32_t(ERROR_NOT_ENOUGH_MEMORY));
        screenW_ = GetSystemMetrics(SM_CXSCREEN);
        screenH_ = GetSystemMetrics(SM_CYSCREEN);
        screen_ = WindowDc(nullptr, GetDC(nullptr));
        if (!screen_) return MakeResultCode(kErrApi, int32_t(GetLastError()));

        opened_ = mapped_ ? mappedSink_.Open(path_) : sequentialSink_.Open(path_);
        if (!opened_) return MakeResultCode(kErrOpen, 0);
        if (mapped_) {
            int32_t detail = 0;
            const int32_t prc = mappedSink_.Prepare(frameBytes, slots_, recordCapacity_, &detail);
            if (prc != kOk) {
                Fail(prc, detail);
                return kOk;
            }
        }
        if (PrepareDrawing())
            WriteHeader();
        else
            Fail(kErrApi, int32_t(GetLastError()));
        return kOk;
    }

    // Every buffer is made before the first slot; the slots allocate nothing. The record
    // buffer keeps room for the 8-byte head in front of the packed frame.
    bool AllocateBuffers() {
        recordCapacity_ = kRecordHeadBytes + size_t(PackedCapacity(F_));
        // The mapped writer packs into its view; Type2 keeps both frames in DIB sections.
        record_ = AllocateZeroed(mapped_ ? 1 : recordCapacity_);
        curOwned_ = AllocateZeroed(cp_.Method_ == Type2 ? 1 : F_);
        prevOwned_ = AllocateZeroed(cp_.Method_ == Type2 ? 1 : F_);
        cur_ = curOwned_.get();
        prev_ = prevOwned_.get();
        return record_ && curOwned_ && prevOwned_;
    }

    bool PrepareDrawing() {
        FillBitmapInfo(&bi_, cp_.W_, cp_.H_, cp_.BitCo_);
        memDc_.Reset(CreateCompatibleDC(screen_.Get()));
        // Type2 captures into two DIB sections in turn: the one not selected holds the
        // previous frame, so no frame is copied.
        void* dibBits = nullptr;
        void* otherBits = nullptr;
        if (memDc_) {
            if (cp_.Method_ == Type2) {
                bitmap_.Reset(CreateDIBSection(memDc_.Get(), reinterpret_cast<BITMAPINFO*>(&bi_),
                                               DIB_RGB_COLORS, &dibBits, nullptr, 0));
                otherBitmap_.Reset(CreateDIBSection(memDc_.Get(),
                                                    reinterpret_cast<BITMAPINFO*>(&bi_),
                                                    DIB_RGB_COLORS, &otherBits, nullptr, 0));
            } else {
                bitmap_.Reset(CreateCompatibleBitmap(screen_.Get(), cp_.W_, cp_.H_));
            }
        }
        pen_.Reset(CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
        if (!memDc_ || !bitmap_ || !pen_ ||
            (cp_.Method_ == Type2 && (!dibBits || !otherBitmap_ || !otherBits)))
            return false;
        curBitmap_ = bitmap_.Get();
        prevBitmap_ = otherBitmap_.Get();
        if (cp_.Method_ == Type2) {
            cur_ = static_cast<uint8_t*>(dibBits);
            prev_ = static_cast<uint8_t*>(otherBits);
            // The first frame packs against zeros.
            std::memset(prev_, 0, cp_.BitCo_ == 8 ? F_ - kColourTableBytes : F_);
        }
        selBitmap_.Select(memDc_.Get(), bitmap_.Get());
        selBrush_.Select(memDc_.Get(), GetStockObject(BLACK_BRUSH));
        selPen_.Select(memDc_.Get(), pen_.Get());
        cursor_ = std::make_unique<CursorPainter>(cp_.cursorInfo_, &events_);
        // The frame as the overlay sees it: device-dependent rows run top-down.
        layout_.W = cp_.W_, layout_.H = cp_.H_, layout_.bits = cp_.BitCo_;
        layout_.topDown = cp_.Method_ == Type0;
        layout_.green6 = cp_.Method_ == Type0 && cp_.BitCo_ == 16 &&
                         DeviceGreen6(memDc_.Get(), HBITMAP(bitmap_.Get()));
        overlay_ = user_ ? nullptr : cp_.overlay_;
        return true;
    }

    void WriteHeader() {
        uint8_t head[kHeaderBytes];
        EncodeHeader(header_, head);
        const DWORD err = sink_.Append(head, sizeof head);
        if (err) return Fail(kErrApi, int32_t(err));
        secondEnd_ = sink_.Position();
        bool cancel = false;
        events_.OnStartCapture(cancel);
        if (cancel) Fail(kErrCancelled, 0);
    }

    void RecordSlots(int32_t* retFirstCaptureTime, double waitForStartTime) {
        if (waitForStartTime > 0)
            while (PerfMillis() <= waitForStartTime) Sleep(0);
        pacer_ = SlotPacer(cp_.fps_, user_);
        pacer_.Start(PerfMillis());
        if (retFirstCaptureTime) *retFirstCaptureTime = RoundMillis(pacer_.StartTime());
        EncodeDroppedRecord(dropped_, F_);
        for (int64_t k = 0; k < slots_; ++k) {
            const double t0 = PerfMillis();
            const bool captured = pacer_.Captured(k);
            cp_.cursorSeen_ = false;
            if (captured) {
                GrabSlot(t0);
                PackAndWrite();
            } else {
                WriteDropped();
            }
            if (!Ok()) return;
            if (++records_ % cp_.fps_ == 0) secondEnd_ = sink_.Position();
            if (cp_.SleepCo_ >= 1) Sleep(DWORD(cp_.SleepTime_));
            const double frameTime = PerfMillis() - t0;
            Pace(k);
            if (!CaptureEvent(k, frameTime, captured)) return;
            if (k + 1 < slots_ && events_.OnPauseWanted() && !Pause(k)) return;
        }
    }

    // The slot's frame into cur_: handed over by the caller, or the screen's rectangle with
    // the cursor and the overlay drawn over it.
    void GrabSlot(double t0) {
        double t1 = t0, t2 = t0;
        if (user_) {
            events_.OnUserCaptureSetDATA(cur_, int32_t(F_));
        } else {
            const int32_t x = cp_.x_, y = cp_.y_, W = cp_.W_, H = cp_.H_;
            if (RectLeavesScreen(x, y, W, H, screenW_, screenH_)) {
                // Parts off the screen stay black.
                Rectangle(memDc_.Get(), 0, 0, W, H);
                const ScreenPart part = ClipToScreen(x, y, W, H, screenW_, screenH_);
                if (!part.Empty())
                    BitBlt(memDc_.Get(), part.dstX, part.dstY, part.w, part.h, screen_.Get(),
                           part.srcX, part.srcY, SRCCOPY);
            } else {
                BitBlt(memDc_.Get(), 0, 0, W, H, screen_.Get(), x, y, SRCCOPY);
            }
            t1 = PerfMillis();
            if (cp_.DrawMouse_) {
                cursor_->Draw(memDc_.Get(), x, y);
                POINT p{};
                cp_.cursorSeen_ = cursor_->Read(&p);
                cp_.cursorX_ = p.x;
                cp_.cursorY_ = p.y;
            }
            t2 = PerfMillis();
            if (cp_.Method_ == Type0) {
                GetBitmapBits(HBITMAP(bitmap_.Get()), LONG(F_), cur_);
            } else if (cp_.Method_ == Type1) {
                GetDIBits(memDc_.Get(), HBITMAP(bitmap_.Get()), 0, UINT(H), cur_,
                          reinterpret_cast<BITMAPINFO*>(&bi_), DIB_RGB_COLORS);
                if (cp_.BitCo_ == 8)
                    std::memcpy(cur_ + F_ - kColourTableBytes, bi_.colours, kColourTableBytes);
            } else {
                GdiFlush();  // the DIB section's bits are complete
            }
        }
        const double t3 = PerfMillis();
        if (overlay_) {
            // After the cursor, so that it never hides a ring.
            overlay_->DrawOverFrame(cur_, layout_, cp_.x_, cp_.y_, t0);
            cp_.timings_.overlay += PerfMillis() - t3;
        }
        RecordTimings& t = cp_.timings_;
        t.grab += t1 - t0;
        t.cursor += t2 - t1;
        t.convert += t3 - t2;
    }

    // Packs cur_ against prev_ (the mapped writer straight into its view) and writes the
    // record; cur_ then becomes the next slot's previous frame.
    void PackAndWrite() {
        if (cp_.SleepCo_ >= 2) Sleep(DWORD(cp_.SleepTime_));
        const double t4 = PerfMillis();
        DWORD err = 0;
        uint8_t* place = sink_.Place(recordCapacity_, &err);
        const double t4b = PerfMillis();
        uint8_t* out = place ? place : record_.get();
        if (!err) {
            lastWords_ = compress_(out + kRecordHeadBytes, cur_, prev_, words_);
            EncodeRecordHead(out, uint32_t(lastWords_) * 4);
        }
        const double t5 = PerfMillis();
        const size_t recordBytes = kRecordHeadBytes + size_t(lastWords_) * 4;
        if (!err) {
            if (place)
                sink_.Commit(recordBytes);
            else
                err = sink_.Append(out, recordBytes);
        }
        const double t6 = PerfMillis();
        RecordTimings& t = cp_.timings_;
        ++t.captured;
        t.pack += t5 - t4b;
        t.write += (t4b - t4) + (t6 - t5);
        std::swap(cur_, prev_);
        if (cp_.Method_ == Type2) {
            std::swap(curBitmap_, prevBitmap_);
            SelectObject(memDc_.Get(), curBitmap_);
        }
        t.copy += PerfMillis() - t6;
        if (err) WriteFailed(err);
    }

    void WriteDropped() {
        ++dropCount_;
        ++cp_.timings_.dropped;
        const DWORD err = sink_.Append(dropped_, sizeof dropped_);
        if (err) WriteFailed(err);
    }

    // Waits for the close of slot k's window, pumping the caller's window messages.
    void Pace(int64_t k) {
        double now = PerfMillis();
        while (pacer_.KeepWaiting(k, now)) {
            PumpMessages();
            Sleep(DWORD(cp_.SleepTime_));
            now = PerfMillis();
        }
        pacer_.WaitEnded(now);
    }

    // The Capture event of slot k; false when the caller cancelled.
    bool CaptureEvent(int64_t k, double frameTime, bool captured) {
        int32_t cx = cp_.x_, cy = cp_.y_;
        bool cancel = false;
        events_.OnCapture(int32_t(k), frameTime, dropCount_, !captured, lastWords_, words_, cx, cy,
                          cancel);
        cp_.x_ = cx;
        cp_.y_ = cy;
        if (cancel) Fail(kErrCancelled, int32_t(k + 1));
        return !cancel;
    }

    // Paused after slot k until the caller resumes (true: the next slot is then due at the
    // resume moment) or cancels (false: the movie is cut back to its last whole second).
    bool Pause(int64_t k) {
        const double pausedAt = pacer_.SlotEnd(k);
        bool resume = false, cancel = false;
        for (;;) {
            events_.OnPaused(pausedAt, resume, cancel);
            if (resume || cancel) break;
            PumpMessages();
            Sleep(10);
        }
        if (cancel) {
            sink_.CutBack(secondEnd_);
            Fail(kErrCancelled, int32_t(WholeSecondSlots(k + 1, cp_.fps_)));
            return false;
        }
        const double resumeAt = ResumeMoment(PerfMillis());
        events_.OnResume(resumeAt);
        double now = PerfMillis();
        while (now < resumeAt) {
            PumpMessages();
            Sleep(DWORD(cp_.SleepTime_));
            now = PerfMillis();
        }
        pacer_.Resume(k + 1, resumeAt);
        pacer_.WaitEnded(now);
        return true;
    }

    // Ends the file behind its last whole record; after a failed write its header is made to
    // cover the whole seconds written, so readers accept it.
    int32_t Finish() {
        const DWORD finishError = sink_.Finish();
        if (finishError) Fail(kErrApi, int32_t(finishError));
        if (error_.recordsKept)
            (void)WriteSecondsField(path_.c_str(), int32_t(records_ / cp_.fps_));
        return MakeResultCode(error_.code, error_.detail);
    }

    static std::wstring ProgramFolder() {
        wchar_t exe[MAX_PATH] = {};
        const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return std::wstring();
        return FolderOf(std::wstring(exe, n));
    }

    Capture& cp_;
    CaptureEvents& events_;
    const bool user_;
    const bool mapped_;

    // The one error state: the first failure, and whether a record's write failed.
    struct Error {
        int32_t code = kOk;
        int32_t detail = 0;
        bool recordsKept = false;
    } error_;

    std::wstring path_;
    MovieHeader header_;
    size_t F_ = 0;
    int32_t words_ = 0;
    int64_t slots_ = 0;
    CompressFn compress_ = nullptr;
    size_t recordCapacity_ = 0;
    ByteBuffer record_, curOwned_, prevOwned_;
    uint8_t* cur_ = nullptr;
    uint8_t* prev_ = nullptr;
    uint8_t dropped_[kDroppedRecordBytes] = {};

    SequentialSink sequentialSink_;
    MappedSink mappedSink_;
    MovieSink& sink_;
    bool opened_ = false;

    int32_t screenW_ = 0, screenH_ = 0;
    WindowDc screen_;
    BitmapInfo256 bi_;
    MemoryDc memDc_;
    GdiObject bitmap_, otherBitmap_, pen_;
    HGDIOBJ curBitmap_ = nullptr, prevBitmap_ = nullptr;
    // Declared after what they select, so they put the DC's own objects back first.
    SelectGuard selBitmap_, selBrush_, selPen_;
    std::unique_ptr<CursorPainter> cursor_;
    FrameLayout layout_;
    FrameOverlay* overlay_ = nullptr;

    SlotPacer pacer_{1, false};
    int64_t records_ = 0;
    // Where the file would end were the recording cut back to its last whole second.
    uint64_t secondEnd_ = 0;
    int32_t dropCount_ = 0;
    int32_t lastWords_ = 0;
};

int32_t Capture::Record(const std::wstring& path, bool userCapture, int32_t* retFirstCaptureTime,
                        double waitForStartTime, bool mapped) {
    // BitCo is this recording's own with UserCapture, and the caller's again afterwards.
    const int32_t bitCo = BitCo_;
    const int32_t rc =
        RecordSession(*this, userCapture, mapped).Run(path, retFirstCaptureTime, waitForStartTime);
    BitCo_ = bitCo;
    return rc;
}

}  // namespace tqk
