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
#include "rec_schedule.h"
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
    return file;
}

class FileSink : public MovieSink {
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

struct Packed {
    int32_t code;
    int32_t detail;
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

int32_t Capture::Record(const std::wstring& path, bool userCapture, int32_t* retFirstCaptureTime,
                        double waitForStartTime, bool mapped) {
    RecordParams params;
    params.x = x_, params.y = y_, params.W = W_, params.H = H_;
    params.fps = fps_, params.sec = sec_, params.Method = Method_;
    int32_t rc = CheckRecordParams(params, userCapture);
    if (rc != kOk) return MakeResultCode(rc, 0);

    // BitCo is this recording's own with UserCapture, and the caller's again afterwards.
    struct RestoreBitCo {
        int32_t& field;
        int32_t saved;
        ~RestoreBitCo() { field = saved; }
    } restoreBitCo{BitCo_, BitCo_};
    if (userCapture) events_->OnUserCaptureSetBitmapInfo(BitCo_);

    MovieHeader header;
    header.Method = Method_, header.BitCo = BitCo_, header.W = W_, header.H = H_;
    header.fps = fps_, header.sec = sec_;
    const uint64_t frameBytes = FrameBytes(header);
    if (!IsRecordableDepth(BitCo_) || frameBytes == 0 || frameBytes > kMaxFrameBytes)
        return MakeResultCode(kErrNotInitialised, 0);
    // An 8-bit movie of another method could never be played back, and a DIB section of 8
    // bits has no room for the colour table that ends every 8-bit frame: refuse it here.
    if (BitCo_ == 8 && Method_ != Type1) return MakeResultCode(kErrEightBitType, 0);
    const size_t F = size_t(frameBytes);
    const int32_t words = int32_t(F / 4);
    const int64_t slots = int64_t(fps_) * int64_t(sec_);

    if (!mapped) {
        // A relative movie path is relative to the program's folder.
        wchar_t exe[MAX_PATH] = {};
        const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
        if (n > 0 && n < MAX_PATH) {
            wchar_t* slash = wcsrchr(exe, L'\\');
            if (slash) {
                slash[1] = L'\0';
                SetCurrentDirectoryW(exe);
            }
        }
    }
    TempPath_ = path;
    timings_ = RecordTimings();
    cursorSeen_ = false;

    DWORD bindError = 0;
    const CompressFn compress = BindCompress(&bindError);
    if (!compress) return MakeResultCode(kErrApi, int32_t(bindError));

    // Every buffer is made before the first slot; the loop allocates nothing. The record
    // buffer keeps room for the 8-byte head in front of the packed frame.
    const size_t recordCapacity = kRecordHeadBytes + size_t(PackedCapacity(F));
    // The mapped writer packs into its view; Type2 keeps both frames in DIB sections.
    ByteBuffer record = AllocateZeroed(mapped ? 1 : recordCapacity);
    ByteBuffer curOwned = AllocateZeroed(Method_ == Type2 ? 1 : F);
    ByteBuffer prevOwned = AllocateZeroed(Method_ == Type2 ? 1 : F);
    if (!record || !curOwned || !prevOwned)
        return MakeResultCode(kErrApi, int32_t(ERROR_NOT_ENOUGH_MEMORY));
    uint8_t* cur = curOwned.get();
    uint8_t* prev = prevOwned.get();

    const int32_t screenW = GetSystemMetrics(SM_CXSCREEN);
    const int32_t screenH = GetSystemMetrics(SM_CYSCREEN);
    WindowDc screen(nullptr, GetDC(nullptr));
    if (!screen) return MakeResultCode(kErrApi, int32_t(GetLastError()));

    FileSink fileSink;
    MappedSink mappedSink;
    MovieSink& sink = mapped ? static_cast<MovieSink&>(mappedSink) : fileSink;
    if (!(mapped ? mappedSink.Open(path) : fileSink.Open(path))) return MakeResultCode(kErrOpen, 0);

    Packed result = {kOk, 0};
    DWORD writeError = 0;
    bool headerWritten = false;
    int64_t recordsWritten = 0;
    if (mapped) {
        int32_t detail = 0;
        const int32_t prc = mappedSink.Prepare(frameBytes, slots, recordCapacity, &detail);
        if (prc != kOk) result = {prc, detail};
    }

    if (result.code == kOk) {
        BitmapInfo256 bi;
        FillBitmapInfo(&bi, W_, H_, BitCo_);
        MemoryDc memDc(CreateCompatibleDC(screen.Get()));
        GdiObject bitmap;
        // Type2 captures into two DIB sections in turn: the one not selected holds the
        // previous frame, so no frame is copied.
        GdiObject otherBitmap;
        void* dibBits = nullptr;
        void* otherBits = nullptr;
        if (memDc) {
            if (Method_ == Type2) {
                bitmap.Reset(CreateDIBSection(memDc.Get(), reinterpret_cast<BITMAPINFO*>(&bi),
                                              DIB_RGB_COLORS, &dibBits, nullptr, 0));
                otherBitmap.Reset(CreateDIBSection(memDc.Get(), reinterpret_cast<BITMAPINFO*>(&bi),
                                                   DIB_RGB_COLORS, &otherBits, nullptr, 0));
            } else {
                bitmap.Reset(CreateCompatibleBitmap(screen.Get(), W_, H_));
            }
        }
        GdiObject pen(CreatePen(PS_SOLID, 1, RGB(0, 0, 0)));
        if (!memDc || !bitmap || !pen ||
            (Method_ == Type2 && (!dibBits || !otherBitmap || !otherBits))) {
            result = {kErrApi, int32_t(GetLastError())};
        } else {
            HGDIOBJ curBitmap = bitmap.Get();
            HGDIOBJ prevBitmap = otherBitmap.Get();
            if (Method_ == Type2) {
                cur = static_cast<uint8_t*>(dibBits);
                prev = static_cast<uint8_t*>(otherBits);
                // The first frame packs against zeros.
                std::memset(prev, 0, BitCo_ == 8 ? F - kColourTableBytes : F);
            }
            SelectGuard selBitmap(memDc.Get(), bitmap.Get());
            SelectGuard selBrush(memDc.Get(), GetStockObject(BLACK_BRUSH));
            SelectGuard selPen(memDc.Get(), pen.Get());
            CursorPainter cursorPainter(cursorInfo_, events_);
            // The frame as the overlay sees it: device-dependent rows run top-down.
            FrameLayout layout;
            layout.W = W_, layout.H = H_, layout.bits = BitCo_;
            layout.topDown = Method_ == Type0;
            layout.green6 = Method_ == Type0 && BitCo_ == 16 &&
                            DeviceGreen6(memDc.Get(), HBITMAP(bitmap.Get()));
            FrameOverlay* const overlay = userCapture ? nullptr : overlay_;

            uint8_t head[kHeaderBytes];
            EncodeHeader(header, head);
            writeError = sink.Append(head, sizeof head);
            headerWritten = writeError == 0;
            bool cancel = false;
            if (!writeError) events_->OnStartCapture(cancel);
            if (writeError) {
                result = {kErrApi, int32_t(writeError)};
            } else if (cancel) {
                result = {kErrCancelled, 0};
            } else {
                if (waitForStartTime > 0)
                    while (PerfMillis() <= waitForStartTime) Sleep(0);
                SlotPacer pacer(fps_, userCapture);
                pacer.Start(PerfMillis());
                if (retFirstCaptureTime) *retFirstCaptureTime = RoundMillis(pacer.StartTime());
                uint8_t dropped[kDroppedRecordBytes];
                EncodeDroppedRecord(dropped, F);
                int32_t dropCount = 0;
                int32_t lastWords = 0;
                // Where the file would end were the recording cut back to its last whole
                // second (cancelled while paused).
                uint64_t secondEnd = sink.Position();
                for (int64_t k = 0; k < slots; ++k) {
                    const double t0 = PerfMillis();
                    const bool captured = pacer.Captured(k);
                    cursorSeen_ = false;
                    double t1 = t0, t2 = t0;
                    if (captured) {
                        if (userCapture) {
                            events_->OnUserCaptureSetDATA(cur, int32_t(F));
                        } else {
                            if (RectLeavesScreen(x_, y_, W_, H_, screenW, screenH)) {
                                // Parts off the screen stay black.
                                Rectangle(memDc.Get(), 0, 0, W_, H_);
                                const ScreenPart part =
                                    ClipToScreen(x_, y_, W_, H_, screenW, screenH);
                                if (!part.Empty())
                                    BitBlt(memDc.Get(), part.dstX, part.dstY, part.w, part.h,
                                           screen.Get(), part.srcX, part.srcY, SRCCOPY);
                            } else {
                                BitBlt(memDc.Get(), 0, 0, W_, H_, screen.Get(), x_, y_, SRCCOPY);
                            }
                            t1 = PerfMillis();
                            if (DrawMouse_) {
                                cursorPainter.Draw(memDc.Get(), x_, y_);
                                POINT p{};
                                cursorSeen_ = cursorPainter.Read(&p);
                                cursorX_ = p.x;
                                cursorY_ = p.y;
                            }
                            t2 = PerfMillis();
                            if (Method_ == Type0) {
                                GetBitmapBits(HBITMAP(bitmap.Get()), LONG(F), cur);
                            } else if (Method_ == Type1) {
                                GetDIBits(memDc.Get(), HBITMAP(bitmap.Get()), 0, UINT(H_), cur,
                                          reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
                                if (BitCo_ == 8)
                                    std::memcpy(cur + F - kColourTableBytes, bi.colours,
                                                kColourTableBytes);
                            } else {
                                GdiFlush();  // the DIB section's bits are complete
                            }
                        }
                        const double t3 = PerfMillis();
                        if (overlay) {
                            // After the cursor, so that it never hides a ring.
                            overlay->DrawOverFrame(cur, layout, x_, y_, t0);
                            timings_.overlay += PerfMillis() - t3;
                        }
                        if (SleepCo_ >= 2) Sleep(DWORD(SleepTime_));
                        const double t4 = PerfMillis();
                        // The mapped writer packs straight into its view.
                        uint8_t* place = sink.Place(recordCapacity, &writeError);
                        const double t4b = PerfMillis();
                        uint8_t* out = place ? place : record.get();
                        if (!writeError) {
                            lastWords = compress(out + kRecordHeadBytes, cur, prev, words);
                            EncodeRecordHead(out, uint32_t(lastWords) * 4);
                        }
                        const double t5 = PerfMillis();
                        const size_t recordBytes = kRecordHeadBytes + size_t(lastWords) * 4;
                        if (!writeError) {
                            if (place)
                                sink.Commit(recordBytes);
                            else
                                writeError = sink.Append(out, recordBytes);
                        }
                        const double t6 = PerfMillis();
                        if (userCapture) t1 = t2 = t0;
                        ++timings_.captured;
                        timings_.grab += t1 - t0;
                        timings_.cursor += t2 - t1;
                        timings_.convert += t3 - t2;
                        timings_.pack += t5 - t4b;
                        timings_.write += (t4b - t4) + (t6 - t5);
                        std::swap(cur, prev);
                        if (Method_ == Type2) {
                            std::swap(curBitmap, prevBitmap);
                            SelectObject(memDc.Get(), curBitmap);
                        }
                        timings_.copy += PerfMillis() - t6;
                    } else {
                        ++dropCount;
                        ++timings_.dropped;
                        writeError = sink.Append(dropped, sizeof dropped);
                    }
                    if (writeError) {
                        result = {kErrApi, int32_t(writeError)};
                        break;
                    }
                    ++recordsWritten;
                    if (recordsWritten % fps_ == 0) secondEnd = sink.Position();
                    if (SleepCo_ >= 1) Sleep(DWORD(SleepTime_));
                    const double frameTime = PerfMillis() - t0;
                    double now = PerfMillis();
                    while (pacer.KeepWaiting(k, now)) {
                        PumpMessages();
                        Sleep(DWORD(SleepTime_));
                        now = PerfMillis();
                    }
                    pacer.WaitEnded(now);
                    int32_t cx = x_, cy = y_;
                    bool isCancel = false;
                    events_->OnCapture(int32_t(k), frameTime, dropCount, !captured, lastWords,
                                       words, cx, cy, isCancel);
                    x_ = cx;
                    y_ = cy;
                    if (isCancel) {
                        result = {kErrCancelled, int32_t(k + 1)};
                        break;
                    }
                    if (k + 1 < slots && events_->OnPauseWanted()) {
                        const double pausedAt = pacer.SlotEnd(k);
                        bool resume = false;
                        while (!resume && !isCancel) {
                            events_->OnPaused(pausedAt, resume, isCancel);
                            if (resume || isCancel) break;
                            PumpMessages();
                            Sleep(10);
                        }
                        if (isCancel) {
                            sink.CutBack(secondEnd);
                            result = {kErrCancelled, int32_t(WholeSecondSlots(k + 1, fps_))};
                            break;
                        }
                        const double resumeAt = ResumeMoment(PerfMillis());
                        events_->OnResume(resumeAt);
                        now = PerfMillis();
                        while (now < resumeAt) {
                            PumpMessages();
                            Sleep(DWORD(SleepTime_));
                            now = PerfMillis();
                        }
                        pacer.Resume(k + 1, resumeAt);
                        pacer.WaitEnded(now);
                    }
                }
            }
        }
    }

    const DWORD finishError = sink.Finish();
    if (result.code == kOk && finishError) result = {kErrApi, int32_t(finishError)};
    if (writeError && headerWritten) {
        // The file keeps every whole record written; its header now covers the whole seconds
        // among them, so readers accept it.
        (void)WriteSecondsField(path.c_str(), int32_t(recordsWritten / fps_));
    }
    return MakeResultCode(result.code, result.detail);
}

}  // namespace tqk
