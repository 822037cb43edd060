// A movie read back one frame per call, each frame converted to device-independent bits of a
// chosen depth: the frame source of a re-encoding.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture_internal.h"
#include "tqk_format.h"
#include "win_file.h"
#include "win_handles.h"

namespace tqk {

class TQKtoTQK {
public:
    TQKtoTQK() = default;
    TQKtoTQK(const TQKtoTQK&) = delete;
    TQKtoTQK& operator=(const TQKtoTQK&) = delete;
    ~TQKtoTQK();

    // Opens srcTQK and prepares the conversion surface: 0, -2, -3 (also for a header that
    // cannot be played or an unsupported destination depth), -8, or -10.
    int32_t Init(const std::wstring& srcTQK, int32_t dstBitCount);
    // Replaces dstDAT with the next frame (H bottom-up rows of W pixels at the depth, each
    // padded to whole 4-byte words; for an 8-bit destination the 1024-byte colour table
    // follows). IsEnd turns true with the last frame (of the whole seconds present, for a
    // movie whose recorder stopped early). Returns the sticky error: 0, -4, -5 or an Init
    // failure. Past the last frame it returns 0 and touches nothing.
    int32_t GetNextTQK(std::vector<uint8_t>& dstDAT, bool& IsEnd);
    void CloseDD();

    const MovieHeader& Header() const { return header_; }
    int64_t FramesDelivered() const { return delivered_; }
    size_t OutputSize() const { return outputSize_; }

private:
    void Release();

    FileHandle file_;
    std::unique_ptr<Win32FileSource> source_;
    MovieHeader header_;
    FrameReader reader_;
    size_t F_ = 0;
    int32_t dstBits_ = 0;
    size_t outputSize_ = 0;
    int64_t delivered_ = 0;
    int32_t error_ = 0;
    BitmapInfo256 srcInfo_ = {};
    BitmapInfo256 dstInfo_ = {};
    std::unique_ptr<WindowDc> screen_;
    MemoryDc memDc_;
    GdiObject work_;
    std::unique_ptr<SelectGuard> selWork_;
};

}  // namespace tqk
