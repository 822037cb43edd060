// Capture: set-up, result messages and movie headers. Recording is in capture_rec.cpp,
// playback in capture_play.cpp.
#include "capture.h"

#include <vector>

#include "../common/result_code.h"
#include "tqk_format.h"
#include "win_file.h"
#include "win_handles.h"
#include "win_text.h"

namespace tqk {

namespace {

// Bits per pixel of a 1 x 1 bitmap compatible with the screen.
int32_t DisplayDepth() {
    WindowDc screen(nullptr, GetDC(nullptr));
    if (!screen) return 0;
    GdiObject bmp(CreateCompatibleBitmap(screen.Get(), 1, 1));
    BITMAP info = {};
    if (!bmp || !GetObjectW(bmp.Get(), sizeof info, &info)) return 0;
    return info.bmBitsPixel;
}

// The platform's message for an error number.
std::string SystemText(uint32_t error) { return Utf8FromWide(SystemErrorText(error)); }

}  // namespace

Capture::Capture(CaptureEvents* events) : events_(events ? events : &none_) {
    BitCo_ = DisplayDepth();
    cursorInfo_ = LOBYTE(LOWORD(GetVersion())) >= 5;
}

std::wstring Capture::GetError(int32_t ErrorNo) const {
    return WideFromUtf8(ResultMessageUtf8(ErrorNo, SystemText));
}

void Capture::Init(int32_t x, int32_t y, int32_t W, int32_t H) {
    x_ = x;
    y_ = y;
    W_ = W;
    H_ = H;
}

void Capture::Init_Capture(int32_t fpsv, int32_t secv, int32_t Methodv, int32_t MaxSizeMBv,
                           int32_t SleepCov, int32_t SleepTimev, bool DrawMousev) {
    fps_ = fpsv;
    sec_ = secv;
    Method_ = Methodv;
    MaxSizeMB_ = MaxSizeMBv;
    SleepCo_ = SleepCov;
    SleepTime_ = SleepTimev;
    DrawMouse_ = DrawMousev;
}

int32_t Capture::GetTVRFileData(const std::wstring& Fnm, int32_t* W, int32_t* H, int32_t* BitCo,
                                int32_t* fps, int32_t* sec, int32_t* Method) const {
    const DWORD attributes = GetFileAttributesW(Fnm.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return kErrNoFile;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(Fnm.c_str(), GetFileExInfoStandard, &data) &&
        data.nFileSizeHigh == 0 && data.nFileSizeLow == 0)
        return kErrEmptyFile;
    FileHandle file = OpenForRead(Fnm);
    if (!file) return kErrOpen;
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file.Get(), &length)) return kErrOpen;
    uint8_t head[kHeaderBytes] = {};
    DWORD got = 0;
    if (!ReadFile(file.Get(), head, sizeof head, &got, nullptr)) return kErrOpen;
    MovieHeader h;
    const int32_t rc = CheckInfoBytes(uint64_t(length.QuadPart), head, got, &h);
    if (rc != kOk) return rc;
    // A movie whose recorder stopped early (killed, crashed) says how long it plays: its
    // whole seconds. Without one whole second it holds no movie.
    h.sec = PlayableSeconds(h, ScanMovieRecords(file.Get(), h));
    if (h.sec < 1) return kErrBadFile;
    if (W) *W = h.W;
    if (H) *H = h.H;
    if (BitCo) *BitCo = h.BitCo;
    if (fps) *fps = h.fps;
    if (sec) *sec = h.sec;
    if (Method) *Method = h.Method;
    return kOk;
}

void Capture::SetTVRFileData(const std::wstring& Fnm, int32_t W, int32_t H, int32_t BitCo,
                             int32_t fps, int32_t sec) const {
    (void)PatchTVRFileData(Fnm, W, H, BitCo, fps, sec);
}

int32_t Capture::PatchTVRFileData(const std::wstring& Fnm, int32_t W, int32_t H, int32_t BitCo,
                                  int32_t fps, int32_t sec) const {
    FileHandle file(CreateFileW(Fnm.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    if (!file) return kErrOpen;
    uint8_t head[kHeaderBytes];
    MovieHeader h;
    // Only a movie header is patched: any other file keeps its bytes.
    if (!ReadAt(file.Get(), 0, head, sizeof head) || DecodeHeader(head, &h) != kOk)
        return kErrBadFile;
    PatchHeader(&h, W, H, BitCo, fps, sec);
    EncodeHeader(h, head);
    const DWORD error = WriteAt(file.Get(), 0, head, sizeof head);
    return error == 0 ? kOk : MakeResultCode(kErrApi, int32_t(error));
}

int32_t Capture::Rec(const std::wstring& TempPath, int32_t MemSize, bool UserCapture,
                     int32_t* retFirstCaptureTime, double WaitForStartTime, bool UseAsync) {
    return UseAsync
               ? RecAsync(TempPath, MemSize, UserCapture, retFirstCaptureTime, WaitForStartTime)
               : Rec1(TempPath, MemSize, UserCapture, retFirstCaptureTime, WaitForStartTime);
}

int32_t Capture::Rec1(const std::wstring& TempPath, int32_t, bool UserCapture,
                      int32_t* retFirstCaptureTime, double WaitForStartTime) {
    return Record(TempPath, UserCapture, retFirstCaptureTime, WaitForStartTime, false);
}

int32_t Capture::RecAsync(const std::wstring& TempPath, int32_t, bool UserCapture,
                          int32_t* retFirstCaptureTime, double WaitForStartTime) {
    return Record(TempPath, UserCapture, retFirstCaptureTime, WaitForStartTime, true);
}

}  // namespace tqk
