// AVIC: the programs' way to the AVI library (TaviroAvi.dll). Binds the library by name at
// its first use, converts wide strings to ANSI and back, and keeps the last compressor
// choice with its display name.
#pragma once

#include <windows.h>
#include <vfw.h>

#include <cstdint>
#include <string>

namespace tqk {

class AVIC {
public:
    AVIC();  // Class_Initialize: an empty record and name

    // The library's message for rc; "" for a code without one.
    std::wstring GetError(int32_t rc);
    // Adds the WAV file's sound to a finished AVI. CallBackProc: a __stdcall function of
    // (position, total) or 0.
    int32_t AVIAddWave(const std::wstring& AVIFile, const std::wstring& WaveFile,
                       intptr_t CallBackProc);
    // Creates the AVI (an existing file is replaced); ptr_cv null uses the member record.
    int32_t AVIMakeInit(const std::wstring& FileName, int32_t TotalSmpl, int32_t Width,
                        int32_t Height, int32_t BitCount, int32_t Rate, const std::wstring& AVIName,
                        const COMPVARS* ptr_cv);
    int32_t AVIMakeAddBMP(const void* ptr_BMPdata);
    int32_t AVIMakeClose();
    // Shows the compressor dialog: 1 chosen (copied to retptr_cv when given), 0 cancelled.
    int32_t AVISelectCompressor(HWND hWnd, COMPVARS* retptr_cv);
    int32_t AVIGetcv(COMPVARS* retptr_cv) const;

    std::wstring CVName() const;
    int32_t CVQuality() const;
    int32_t CVKeyFrame() const;

private:
    COMPVARS cv_;
    std::wstring name_;
};

// The library's result when TaviroAvi.dll cannot be loaded or lacks an export.
constexpr int32_t kAvicNoLibrary = int32_t(0x800440C7u);

}  // namespace tqk
