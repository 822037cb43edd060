// TQKAVI: turns a movie into an AVI file (decoded as stored, or drawn and read back at 24
// bits), adds a WAV file's sound to it, and rewrites a movie at another depth or capture type
// through the engine's user-capture recording. Progress reaches the caller through Decoding.
#pragma once

#include <windows.h>
// after windows.h
#include <vfw.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "avic.h"
#include "capture.h"
#include "form5.h"
#include "tqk_to_tqk.h"
#include "win_handles.h"

namespace tqk {

class TQKAVI : public ConversionSource, private tqk::CaptureEvents {
public:
    TQKAVI() = default;
    ~TQKAVI() override;
    TQKAVI(const TQKAVI&) = delete;
    TQKAVI& operator=(const TQKAVI&) = delete;

    // 0; the movie header's error code; the engine's code of a damaged frame record; or the
    // AVI library's code when the AVI cannot be created or its frames cannot be written. After
    // a failure during the export the file holds the frames written before it.
    int32_t TQKtoAVI(const std::wstring& TQKFile, const std::wstring& AVIFile,
                     const COMPVARS* ptr_cv, bool ModifyAVI24bit) override;
    void AVIRecCancel() override { cancelled_ = true; }
    int32_t WAVaddAVI(const std::wstring& WaveFile, const std::wstring& AVIFile,
                      intptr_t CallBack) override;
    // The recording routine's packed result, or the source's error when it cannot be read.
    int32_t TQKtoTQK(const std::wstring& srcFnm, const std::wstring& dstFnm, int32_t dstBit,
                     int32_t dstType) override;
    std::wstring FailureText() const override { return failure_; }

    // Only the first n frames of a movie go into the AVI (n > 0): a span of a recording
    // kept as a movie of whole seconds, whose last second was filled by repeating its last
    // frame, exports as exactly the span.
    void LimitFrames(int32_t n) { limit_ = n; }
    // Frames handed to the AVI writer or to the recording by the last conversion.
    int32_t FramesWritten() const { return written_; }

private:
    // The CP events.
    void OnDecode(const uint8_t* BitmapData, size_t Size, int32_t NowFrame,
                  int32_t TotalFrame) override;
    void OnDrawing(int32_t NowFrame, int32_t TotalFrame, double& DrawTime, bool& Cancel) override;
    void OnCapture(int32_t NowFrame, double FrameCaptureTime, int32_t DropCount, bool IsDrop,
                   int32_t CompressSize, int32_t NoCompressSize, int32_t& CaptureX,
                   int32_t& CaptureY, bool& IsCancel) override;
    void OnUserCaptureSetBitmapInfo(int32_t& retBitCount) override;
    void OnUserCaptureSetDATA(uint8_t* retptr_BitMapData, int32_t DATASize) override;

    void AddFrame(const void* bits, int32_t NowFrame, int32_t TotalFrame);
    int32_t Elapsed() const;
    void ReleaseSurface();
    HBITMAP SurfaceBitmap() const { return static_cast<HBITMAP>(surfaceBmp_.Get()); }

    std::unique_ptr<tqk::Capture> CP;
    std::unique_ptr<AVIC> writer_;
    std::unique_ptr<tqk::TQKtoTQK> rewriter_;
    int32_t targetBits_ = 0;
    int32_t totalFrames_ = 0;
    int32_t limit_ = 0;
    int32_t frameCounter_ = 0;
    double startTime_ = 0;
    bool convert24_ = false;
    // The 24-bit drawing surface; the selection is declared last so that it goes first.
    tqk::MemoryDc surfaceDc_;
    tqk::GdiObject surfaceBmp_;
    std::optional<tqk::SelectGuard> surfaceSel_;
    BITMAPINFOHEADER readBack_ = {};
    std::vector<uint8_t> frameBuffer_;
    std::vector<uint8_t> nextFrame_;
    bool cancelled_ = false;
    // Failures of the running conversion: consecutive failed frame writes, the first code of
    // the run that ended the export, and an error of the rewrite's frame source.
    int32_t failedWrites_ = 0;
    int32_t writeError_ = 0;
    int32_t sourceError_ = 0;
    int32_t written_ = 0;
    std::wstring failure_;
};

}  // namespace tqk
