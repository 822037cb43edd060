// TaviroAvi.dll: writes AVI files for the recorder and the player. Frames go through our own
// AVI writer (AVI 1.0 with OpenDML segments beyond it); the platform serves the compressor
// dialog and the compressors themselves (the compressor manager).
#include <windows.h>
#include <vfw.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "avi_errors.h"
#include "avi_export.h"
#include "avi_file.h"
#include "avi_writer.h"
#include "safe_file.h"
#include "win_text.h"

namespace tqk::avi {
namespace {

constexpr DWORD kNameBytes = 260;
const DWORD kDib = mmioFOURCC('D', 'I', 'B', ' ');

std::wstring Widen(const char* s, UINT codePage) {
    return s ? tqk::WideFromCodePage(codePage, s) : std::wstring();
}

std::string Narrow(const std::wstring& w, UINT codePage) {
    return tqk::CodePageFromWide(codePage, w);
}

// File names come in the ANSI code page; the writer takes UTF-8.
std::string AnsiPathToUtf8(const char* path) { return Narrow(Widen(path, CP_ACP), CP_UTF8); }

// Compresses frames through the compressor manager, one after another.
class Compressor {
public:
    ~Compressor() { End(); }

    // Opens the compressor of cv for frames of the input format. A code of the library.
    LONG Begin(const COMPVARS& cv, const std::vector<uint8_t>& inputFormat, DWORD rate) {
        hic_ = ICOpen(ICTYPE_VIDEO, cv.fccHandler, ICMODE_COMPRESS);
        if (!hic_) return avi::kAviErrNoCompressor;
        if (cv.lpState && cv.cbState > 0) ICSetState(hic_, cv.lpState, cv.cbState);
        in_ = inputFormat;
        const auto* bin = reinterpret_cast<const BITMAPINFO*>(in_.data());
        const DWORD outSize = ICCompressGetFormatSize(hic_, bin);
        if (LONG(outSize) < LONG(sizeof(BITMAPINFOHEADER))) return avi::kAviErrCantCompress;
        out_.assign(outSize, 0);
        auto* bout = reinterpret_cast<BITMAPINFO*>(out_.data());
        if (ICCompressGetFormat(hic_, bin, bout) != ICERR_OK) return avi::kAviErrCantCompress;
        const DWORD bufferBytes = ICCompressGetSize(hic_, bin, bout);
        buffer_.assign(bufferBytes > 0 ? bufferBytes : in_.size() + 1, 0);
        format_ = out_;
        if (ICCompressBegin(hic_, bin, bout) != ICERR_OK) return avi::kAviErrCantCompress;
        begun_ = true;
        keyEvery_ = (cv.dwFlags & ICMF_COMPVARS_VALID) && cv.lKey > 0 ? cv.lKey : 1;
        quality_ = cv.lQ;
        if (quality_ < 0) {
            DWORD dwICValue = 0;
            quality_ = LONG(ICGetDefaultQuality(hic_));
            (void)dwICValue;
        }
        if (cv.lDataRate > 0) maxFrame_ = DWORD(uint64_t(cv.lDataRate) * 1024 / (rate ? rate : 1));
        return avi::kAviOk;
    }

    // The stream's format: the compressor's output format for these frames.
    const std::vector<uint8_t>& Format() const { return format_; }

    // Compresses one frame (bits in the input format). A code of the library.
    LONG Compress(const void* bits, const void** data, DWORD* size, bool* key) {
        const bool wantKey = frame_ % keyEvery_ == 0 || prev_.empty();
        auto* bout = reinterpret_cast<BITMAPINFOHEADER*>(out_.data());
        std::memcpy(bout, format_.data(), sizeof(BITMAPINFOHEADER));
        auto* bin = reinterpret_cast<BITMAPINFOHEADER*>(in_.data());
        DWORD ckid = 0, flags = 0;
        const DWORD rc =
            ICCompress(hic_, wantKey ? ICCOMPRESS_KEYFRAME : 0, bout, buffer_.data(), bin,
                       const_cast<void*>(bits), &ckid, &flags, LONG(frame_), maxFrame_,
                       DWORD(quality_), wantKey ? nullptr : bin, wantKey ? nullptr : prev_.data());
        if (rc != ICERR_OK || bout->biSizeImage > buffer_.size()) return avi::kAviErrCantCompress;
        const size_t frameBytes = bin->biSizeImage;
        prev_.assign(static_cast<const uint8_t*>(bits),
                     static_cast<const uint8_t*>(bits) + frameBytes);
        ++frame_;
        *data = buffer_.data();
        *size = bout->biSizeImage;
        *key = wantKey || (flags & AVIIF_KEYFRAME);
        return avi::kAviOk;
    }

    void End() {
        if (begun_) ICCompressEnd(hic_);
        begun_ = false;
        if (hic_) ICClose(hic_);
        hic_ = nullptr;
    }

private:
    HIC hic_ = nullptr;
    bool begun_ = false;
    std::vector<uint8_t> in_, out_, format_, buffer_, prev_;
    uint32_t frame_ = 0;
    LONG keyEvery_ = 1;
    LONG quality_ = 0;
    DWORD maxFrame_ = 0;
};

// The one AVI under construction in this process.
struct WriterState {
    std::string path;  // UTF-8
    avi::StdioFile file;
    avi::Writer writer;
    std::unique_ptr<Compressor> compressor;
    avi::StreamInfo stream;
    bool open = false;
    bool haveFormat = false;  // the format waits for the first frame's colour table
    int32_t frameCounter = 0;
    size_t frameBytes = 0;  // pixel bytes of one frame
    size_t tableBytes = 0;  // colour table after the pixels (8 bits)
    int32_t width = 0, height = 0, bits = 0;
    DWORD rate = 0;
    COMPVARS cv{};
};

WriterState g_state;

LONG StartFile(const uint8_t* firstFrame);

LONG CloseState() {
    if (!g_state.open) return avi::kAviOk;
    LONG rc = avi::kAviOk;
    if (!g_state.haveFormat) {
        // No frame came: an empty video stream with a black colour table.
        std::vector<uint8_t> black(g_state.frameBytes + g_state.tableBytes, 0);
        rc = StartFile(black.data());
    }
    g_state.open = false;
    // A file whose header could not be written is no AVI at all.
    bool damaged = !g_state.haveFormat;
    if (g_state.haveFormat) {
        const LONG closed = avi::ToAviError(g_state.writer.Close());
        if (rc == avi::kAviOk) rc = closed;
        damaged = g_state.writer.LayoutBroken();
    }
    if (g_state.compressor) g_state.compressor->End();
    g_state.compressor.reset();
    if (!g_state.file.Close() && rc == avi::kAviOk) rc = avi::kAviErrFileWrite;
    // A file whose header or sizes could not be written only looks like an AVI: it is taken
    // away, and the caller has the failure. One cut short by a full disk keeps its frames.
    if (damaged) (void)tqk::RemoveFile(g_state.path);
    return rc;
}

// Starts the file once the format is known: with the first frame when a colour table or a
// compressor's output format depends on it.
LONG StartFile(const uint8_t* firstFrame) {
    const uint8_t* table = g_state.tableBytes ? firstFrame + g_state.frameBytes : nullptr;
    std::vector<uint8_t> input =
        avi::BitmapFormat(g_state.width, g_state.height, uint16_t(g_state.bits), BI_RGB,
                          uint32_t(g_state.frameBytes), table);
    if (g_state.compressor) {
        if (LONG rc = g_state.compressor->Begin(g_state.cv, input, g_state.rate); rc != avi::kAviOk)
            return rc;
        g_state.stream.format = g_state.compressor->Format();
    } else {
        g_state.stream.format = input;
    }
    const avi::Status s = g_state.writer.Create(&g_state.file, g_state.stream);
    if (s != avi::Status::kOk) return avi::ToAviError(s);
    g_state.haveFormat = true;
    return avi::kAviOk;
}

}  // namespace
}  // namespace tqk::avi

// The exports are thin shells over the helpers above.
using namespace tqk::avi;

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

LONG WINAPI GetAVICompressor(HWND owner, char* name, COMPVARS* cv) {
    try {
        if (!name || !cv) return 0;
        std::memset(cv, 0, sizeof(COMPVARS));
        cv->cbSize = sizeof(COMPVARS);
        cv->dwFlags = ICMF_COMPVARS_VALID;
        cv->fccHandler = kDib;
        cv->lQ = ICQUALITY_DEFAULT;
        BITMAPINFOHEADER sample{};
        sample.biSize = sizeof(BITMAPINFOHEADER);
        sample.biWidth = 320;
        sample.biHeight = 240;
        sample.biPlanes = 1;
        sample.biBitCount = 24;
        // Without a display the dialog fails with -1: only TRUE is a choice.
        if (ICCompressorChoose(owner, ICMF_CHOOSE_KEYFRAME | ICMF_CHOOSE_DATARATE, &sample, nullptr,
                               cv, nullptr) != TRUE)
            return 0;
        // The dialog leaves the chosen compressor open; the record travels by copy, so it
        // must not own a handle.
        if (cv->hic) {
            ICClose(cv->hic);
            cv->hic = nullptr;
        }
        std::memset(name, 0, kNameBytes);
        if (cv->fccHandler == kDib) {
            const std::string text = Narrow(L"未圧縮", 932);
            std::memcpy(name, text.data(), text.size());
            return 1;
        }
        if (HIC hic = ICOpen(ICTYPE_VIDEO, cv->fccHandler, ICMODE_QUERY)) {
            ICINFO info{};
            info.dwSize = sizeof(info);
            if (ICGetInfo(hic, &info, sizeof(info))) {
                const std::string text = Narrow(info.szDescription, CP_ACP);
                std::memcpy(name, text.data(), std::min<size_t>(text.size(), kNameBytes - 1));
            }
            ICClose(hic);
        }
        return 1;
    } catch (...) {
        return 0;
    }
}

LONG WINAPI AVICreateInit(const char* fileName, COMPVARS* cv, LONG width, LONG height,
                          LONG bitCount, LONG rate, LONG length, const char* streamName) {
    try {
        CloseState();
        g_state.frameCounter = 0;
        g_state.frameBytes = 0;
        g_state.haveFormat = false;
        g_state.compressor.reset();
        if (!fileName || width <= 0 || height <= 0 || rate <= 0 ||
            (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32))
            return kAviErrBadParam;
        std::memset(&g_state.cv, 0, sizeof(COMPVARS));
        if (cv) std::memcpy(&g_state.cv, cv, sizeof(COMPVARS));
        const DWORD handler = g_state.cv.fccHandler;
        // "DIB " means full frames: they are stored as given, as with no choice at all.
        if (handler != 0 && handler != kDib) g_state.compressor = std::make_unique<Compressor>();
        g_state.width = width;
        g_state.height = height;
        g_state.bits = bitCount;
        g_state.rate = DWORD(rate);
        g_state.frameBytes = size_t(DibFrameBytes(width, height, bitCount));
        g_state.tableBytes = bitCount == 8 ? 1024 : 0;
        g_state.stream = VideoStream(handler ? handler : kDib, width, height, DWORD(rate),
                                     DWORD(length), streamName ? streamName : "", {});
        g_state.path = AnsiPathToUtf8(fileName);
        if (!g_state.file.Open(g_state.path, StdioFile::Mode::kCreate)) return kAviErrFileOpen;
        g_state.open = true;
        // Without a colour table or compressor the format is known now: write the header.
        if (!g_state.compressor && !g_state.tableBytes) {
            const LONG rc = StartFile(nullptr);
            if (rc != kAviOk) CloseState();
            return rc;
        }
        return kAviOk;
    } catch (const std::bad_alloc&) {
        return kAviErrMemory;
    } catch (...) {
        return kAviErrError;
    }
}

// Bits of one frame: bottom-up rows padded to 4 bytes; at 8 bits followed by the frame's
// 256-entry colour table.
LONG WINAPI AVICreateAddBitmap(const void* bits) {
    try {
        ++g_state.frameCounter;
        if (!g_state.open) return kAviErrBadHandle;
        if (!bits) return kAviErrBadParam;
        const auto* frame = static_cast<const uint8_t*>(bits);
        if (!g_state.haveFormat) {
            if (LONG rc = StartFile(frame); rc != kAviOk) {
                // Nothing can be written without a format: end this AVI here.
                CloseState();
                return rc;
            }
        }
        const void* data = frame;
        DWORD size = DWORD(g_state.frameBytes);
        bool key = true;
        if (g_state.compressor) {
            if (LONG rc = g_state.compressor->Compress(frame, &data, &size, &key); rc != kAviOk)
                return rc;
        }
        return ToAviError(g_state.writer.WriteChunk(0, data, size, key));
    } catch (const std::bad_alloc&) {
        return kAviErrMemory;
    } catch (...) {
        return kAviErrError;
    }
}

LONG WINAPI AVICreateClose() {
    try {
        return CloseState();
    } catch (...) {
        return kAviErrError;
    }
}

typedef LONG(WINAPI* AviProgressProc)(LONG position, LONG total);

LONG WINAPI AVIAddWaveToAVI(const char* aviFile, const char* waveFile, AviProgressProc progress) {
    try {
        if (!aviFile || !waveFile) return kAviErrBadParam;
        Progress report;
        if (progress) report = [progress](int32_t p, int32_t t) { progress(p, t); };
        return AddWaveToAvi(AnsiPathToUtf8(aviFile), AnsiPathToUtf8(waveFile), report);
    } catch (const std::bad_alloc&) {
        return kAviErrMemory;
    } catch (...) {
        return kAviErrError;
    }
}

LONG WINAPI AVIGetError(LONG code, char* text) {
    try {
        const char* utf8 = ErrorTextUtf8(code);
        if (!utf8 || !text) return 0;
        // The texts are Shift-JIS whatever the system's code page.
        std::string sjis = Narrow(Widen(utf8, CP_UTF8), 932);
        if (sjis.size() > kNameBytes - 1) sjis.resize(kNameBytes - 1);
        std::memcpy(text, sjis.c_str(), sjis.size() + 1);
    } catch (...) {
    }
    return 0;
}

}  // extern "C"
