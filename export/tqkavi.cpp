#include "tqkavi.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace tqk {

namespace {

// A write that fails twice running (a full disk, a lost drive) will not recover: the library
// refuses every later frame once a write has failed.
constexpr int32_t kFailuresThatEndTheExport = 2;

}  // namespace

TQKAVI::~TQKAVI() { ReleaseSurface(); }

int32_t TQKAVI::Elapsed() const { return int32_t(std::lround(tqk::PerfMillis() - startTime_)); }

void TQKAVI::ReleaseSurface() {
    surfaceSel_.reset();  // the bitmap leaves the DC before either goes
    surfaceDc_.Reset();
    surfaceBmp_.Reset();
}

int32_t TQKAVI::TQKtoAVI(const std::wstring& TQKFile, const std::wstring& AVIFile,
                         const COMPVARS* ptr_cv, bool ModifyAVI24bit) {
    CP = std::make_unique<tqk::Capture>(static_cast<tqk::CaptureEvents*>(this));
    writer_ = std::make_unique<AVIC>();
    cancelled_ = false;
    failedWrites_ = writeError_ = written_ = 0;
    failure_.clear();

    int32_t W = 0, H = 0, bits = 0, fps = 0, sec = 0, method = 0;
    const int32_t headerError = CP->GetTVRFileData(TQKFile, &W, &H, &bits, &fps, &sec, &method);
    if (headerError != 0) {
        CP.reset();
        writer_.reset();
        return headerError;
    }
    totalFrames_ = int32_t(int64_t(fps) * sec);
    if (limit_ > 0) totalFrames_ = std::min(totalFrames_, limit_);
    convert24_ = ModifyAVI24bit && bits != 24;
    if (convert24_) {
        ReleaseSurface();
        readBack_ = BITMAPINFOHEADER{};
        readBack_.biSize = sizeof(BITMAPINFOHEADER);
        readBack_.biWidth = W;
        readBack_.biHeight = H;
        readBack_.biPlanes = 1;
        readBack_.biBitCount = 24;
        tqk::WindowDc screen(nullptr, GetDC(nullptr));
        surfaceDc_.Reset(CreateCompatibleDC(screen.Get()));
        if (method == tqk::Type0) {
            // Device-dependent frames are set into a bitmap of the display's own layout.
            surfaceBmp_.Reset(CreateCompatibleBitmap(screen.Get(), W, H));
        } else {
            // Device-independent frames are drawn onto 24 bits whatever the display's depth,
            // so a 16-bit display does not cost 32- and 8-bit movies their colours.
            void* bits = nullptr;
            surfaceBmp_.Reset(CreateDIBSection(screen.Get(),
                                               reinterpret_cast<BITMAPINFO*>(&readBack_),
                                               DIB_RGB_COLORS, &bits, nullptr, 0));
        }
        if (surfaceDc_ && surfaceBmp_) surfaceSel_.emplace(surfaceDc_.Get(), surfaceBmp_.Get());
        frameBuffer_.assign(size_t(H) * ((size_t(W) * 3 + 3) / 4 * 4), 0);
    }
    startTime_ = tqk::PerfMillis();

    const int32_t created = writer_->AVIMakeInit(AVIFile, totalFrames_, W, H,
                                                 convert24_ ? 24 : bits, fps, L"AVIFile", ptr_cv);
    if (created != 0) {
        failure_ = writer_->GetError(created);
        CP.reset();
        writer_.reset();
        ReleaseSurface();
        return created;
    }
    const int32_t played = convert24_
                               ? CP->Play(TQKFile, surfaceDc_.Get(), SurfaceBitmap(), 0, 0, false)
                               : CP->Play(TQKFile, nullptr, nullptr, 0, 0, true);

    const int32_t closed = writer_->AVIMakeClose();
    int32_t result = 0;
    if (writeError_ != 0) {
        result = writeError_;
    } else if (played != 0) {
        // A damaged frame record ends the movie early: the AVI keeps the frames before it.
        result = played;
        failure_ = CP->GetError(played);
    } else if (closed != 0) {
        result = closed;  // the index or the headers could not be written
    }
    if (result != 0 && failure_.empty()) {
        failure_ = writer_->GetError(result);
        if (failure_.empty()) {
            wchar_t text[48];
            std::swprintf(text, 48, L"AVI error 0x%08X", unsigned(result));
            failure_ = text;
        }
    }
    writer_.reset();
    CP.reset();
    ReleaseSurface();
    return result;
}

void TQKAVI::AddFrame(const void* bits, int32_t NowFrame, int32_t TotalFrame) {
    const int32_t rc = writer_->AVIMakeAddBMP(bits);
    if (rc == 0) {
        failedWrites_ = 0;
        ++written_;
    } else if (++failedWrites_ >= kFailuresThatEndTheExport) {
        writeError_ = rc;
        return;  // the next Drawing ends the playback
    }
    if (Decoding) Decoding(NowFrame, TotalFrame, Elapsed());
}

void TQKAVI::OnDecode(const uint8_t* BitmapData, size_t, int32_t NowFrame, int32_t TotalFrame) {
    if (convert24_ || writeError_ != 0 || (limit_ > 0 && NowFrame >= limit_)) return;
    AddFrame(BitmapData, NowFrame, TotalFrame);
}

void TQKAVI::OnDrawing(int32_t NowFrame, int32_t TotalFrame, double& DrawTime, bool& Cancel) {
    if (cancelled_ || writeError_ != 0) {
        Cancel = true;
        return;
    }
    if (limit_ > 0 && NowFrame + 1 >= limit_ && !convert24_) {
        Cancel = true;  // the rest only repeats the span's last frame
        return;
    }
    if (!convert24_) return;
    // No wait between frames, and the schedule restarted at every frame: the engine then draws
    // every frame however slow the machine, instead of leaving the previous image in place of
    // the frames it would have been late for.
    DrawTime = 0;
    CP->Play_SetStartT(tqk::PerfMillis());
    GetDIBits(surfaceDc_.Get(), SurfaceBitmap(), 0, UINT(readBack_.biHeight), frameBuffer_.data(),
              reinterpret_cast<BITMAPINFO*>(&readBack_), DIB_RGB_COLORS);
    AddFrame(frameBuffer_.data(), NowFrame, TotalFrame);
    if (writeError_ != 0 || (limit_ > 0 && NowFrame + 1 >= limit_)) Cancel = true;
}

int32_t TQKAVI::WAVaddAVI(const std::wstring& WaveFile, const std::wstring& AVIFile,
                          intptr_t CallBack) {
    AVIC writer;
    return writer.AVIAddWave(AVIFile, WaveFile, CallBack);
}

int32_t TQKAVI::TQKtoTQK(const std::wstring& srcFnm, const std::wstring& dstFnm, int32_t dstBit,
                         int32_t dstType) {
    failure_.clear();
    written_ = 0;
    CP = std::make_unique<tqk::Capture>(static_cast<tqk::CaptureEvents*>(this));
    int32_t W = 0, H = 0, bits = 0, fps = 0, sec = 0, method = 0;
    const int32_t headerError = CP->GetTVRFileData(srcFnm, &W, &H, &bits, &fps, &sec, &method);
    if (headerError != 0) {
        CP.reset();
        return headerError;
    }
    CP->Init(0, 0, W, H);
    CP->Init_Capture(fps, sec, dstType, 0, 1, 1, false);
    rewriter_ = std::make_unique<tqk::TQKtoTQK>();
    sourceError_ = rewriter_->Init(srcFnm, dstBit);
    if (sourceError_ != 0) {
        // Nothing to record from: no movie is started.
        const int32_t rc = sourceError_;
        rewriter_.reset();
        CP.reset();
        return rc;
    }
    targetBits_ = dstBit;
    frameCounter_ = 0;
    totalFrames_ = int32_t(int64_t(fps) * sec);
    startTime_ = tqk::PerfMillis();
    cancelled_ = false;
    int32_t first = 0;
    int32_t result = CP->Rec(dstFnm, 0, true, &first, 0, false);
    // A source frame that cannot be read ends the rewrite; its error says why.
    if (sourceError_ != 0) result = sourceError_;
    rewriter_->CloseDD();
    CP.reset();
    rewriter_.reset();
    return result;
}

void TQKAVI::OnUserCaptureSetBitmapInfo(int32_t& retBitCount) { retBitCount = targetBits_; }

void TQKAVI::OnUserCaptureSetDATA(uint8_t* retptr_BitMapData, int32_t DATASize) {
    bool isEnd = false;
    const int32_t rc = rewriter_->GetNextTQK(nextFrame_, isEnd);
    if (rc != 0 && sourceError_ == 0) sourceError_ = rc;
    const size_t want = DATASize > 0 ? size_t(DATASize) : 0;
    const size_t have = std::min(want, nextFrame_.size());
    if (have) std::memcpy(retptr_BitMapData, nextFrame_.data(), have);
    if (have < want) std::memset(retptr_BitMapData + have, 0, want - have);
    ++frameCounter_;
    written_ = frameCounter_;
    if (Decoding) Decoding(frameCounter_, totalFrames_, Elapsed());
}

void TQKAVI::OnCapture(int32_t, double, int32_t, bool, int32_t, int32_t, int32_t&, int32_t&,
                       bool& IsCancel) {
    IsCancel = cancelled_ || sourceError_ != 0;
}

}  // namespace tqk
