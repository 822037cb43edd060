#include "avic.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "win_files.h"
#include "win_text.h"

namespace tqk {

namespace {

typedef LONG(WINAPI* GetAVICompressorFn)(HWND, char*, COMPVARS*);
typedef LONG(WINAPI* AVICreateInitFn)(const char*, COMPVARS*, LONG, LONG, LONG, LONG, LONG,
                                      const char*);
typedef LONG(WINAPI* AVICreateAddBitmapFn)(const void*);
typedef LONG(WINAPI* AVICreateCloseFn)();
typedef LONG(WINAPI* AVIAddWaveToAVIFn)(const char*, const char*, void*);
typedef LONG(WINAPI* AVIGetErrorFn)(LONG, char*);

constexpr size_t kBufferBytes = 260;
const DWORD kDib = mmioFOURCC('D', 'I', 'B', ' ');

// The library's exports, bound once per process at first use. The library stays loaded for
// the rest of the process (the platform unloads it at exit).
struct Library {
    HMODULE module = nullptr;
    GetAVICompressorFn GetAVICompressor = nullptr;
    AVICreateInitFn AVICreateInit = nullptr;
    AVICreateAddBitmapFn AVICreateAddBitmap = nullptr;
    AVICreateCloseFn AVICreateClose = nullptr;
    AVIAddWaveToAVIFn AVIAddWaveToAVI = nullptr;
    AVIGetErrorFn AVIGetError = nullptr;
    bool ready = false;
};

template <class Fn>
void Bind(HMODULE m, const char* name, Fn* fn) {
    *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}

const Library& Lib() {
    static Library lib = [] {
        Library l;
        l.module = LoadLibraryW(L"TaviroAvi.dll");
        if (!l.module) return l;
        Bind(l.module, "GetAVICompressor", &l.GetAVICompressor);
        Bind(l.module, "AVICreateInit", &l.AVICreateInit);
        Bind(l.module, "AVICreateAddBitmap", &l.AVICreateAddBitmap);
        Bind(l.module, "AVICreateClose", &l.AVICreateClose);
        Bind(l.module, "AVIAddWaveToAVI", &l.AVIAddWaveToAVI);
        Bind(l.module, "AVIGetError", &l.AVIGetError);
        l.ready = l.GetAVICompressor && l.AVICreateInit && l.AVICreateAddBitmap &&
                  l.AVICreateClose && l.AVIAddWaveToAVI && l.AVIGetError;
        return l;
    }();
    return lib;
}

std::string ToAnsi(const std::wstring& w) { return tqk::AnsiFromWide(w); }

// Text of a zero-terminated byte buffer in the given code page.
std::wstring FromBuffer(const char* buffer, size_t size, UINT codePage) {
    const size_t len = strnlen(buffer, size);
    if (len == 0) return {};
    return tqk::WideFromCodePage(codePage, std::string_view(buffer, len));
}

}  // namespace

AVIC::AVIC() : cv_() { std::memset(&cv_, 0, sizeof(cv_)); }

std::wstring AVIC::GetError(int32_t rc) {
    const Library& lib = Lib();
    if (!lib.ready) return {};
    char buffer[kBufferBytes] = {};
    lib.AVIGetError(rc, buffer);
    // The library's texts are Shift-JIS whatever the system's code page.
    return FromBuffer(buffer, sizeof buffer, 932);
}

int32_t AVIC::AVIAddWave(const std::wstring& AVIFile, const std::wstring& WaveFile,
                         intptr_t CallBackProc) {
    const Library& lib = Lib();
    if (!lib.ready) return kAvicNoLibrary;
    return lib.AVIAddWaveToAVI(ToAnsi(AVIFile).c_str(), ToAnsi(WaveFile).c_str(),
                               reinterpret_cast<void*>(CallBackProc));
}

int32_t AVIC::AVIMakeInit(const std::wstring& FileName, int32_t TotalSmpl, int32_t Width,
                          int32_t Height, int32_t BitCount, int32_t Rate,
                          const std::wstring& AVIName, const COMPVARS* ptr_cv) {
    const Library& lib = Lib();
    if (!lib.ready) return kAvicNoLibrary;
    COMPVARS local;
    std::memcpy(&local, ptr_cv ? ptr_cv : &cv_, sizeof(COMPVARS));
    tqk::DeleteFileClearingReadOnly(FileName);
    return lib.AVICreateInit(ToAnsi(FileName).c_str(), &local, Width, Height, BitCount, Rate,
                             TotalSmpl, ToAnsi(AVIName).c_str());
}

int32_t AVIC::AVIMakeAddBMP(const void* ptr_BMPdata) {
    const Library& lib = Lib();
    return lib.ready ? lib.AVICreateAddBitmap(ptr_BMPdata) : kAvicNoLibrary;
}

int32_t AVIC::AVIMakeClose() {
    const Library& lib = Lib();
    return lib.ready ? lib.AVICreateClose() : kAvicNoLibrary;
}

int32_t AVIC::AVISelectCompressor(HWND hWnd, COMPVARS* retptr_cv) {
    const Library& lib = Lib();
    if (!lib.ready) return 0;
    char buffer[kBufferBytes] = {};
    const LONG chosen = lib.GetAVICompressor(hWnd, buffer, &cv_);
    if (chosen != 0) {
        name_ = FromBuffer(buffer, sizeof buffer, cv_.fccHandler == kDib ? 932 : CP_ACP);
        if (retptr_cv) std::memcpy(retptr_cv, &cv_, sizeof(COMPVARS));
    }
    return chosen;
}

int32_t AVIC::AVIGetcv(COMPVARS* retptr_cv) const {
    if (retptr_cv) std::memcpy(retptr_cv, &cv_, sizeof(COMPVARS));
    return 0;
}

std::wstring AVIC::CVName() const { return cv_.fccHandler != 0 ? name_ : L"未圧縮"; }

int32_t AVIC::CVQuality() const { return cv_.fccHandler != 0 ? cv_.lQ : 0; }

int32_t AVIC::CVKeyFrame() const { return cv_.fccHandler != 0 ? cv_.lKey : 0; }

}  // namespace tqk
