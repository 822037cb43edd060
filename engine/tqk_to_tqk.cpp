#include "tqk_to_tqk.h"

#include <cstring>

#include "../common/result_code.h"
#include "rec_schedule.h"

namespace tqk {

TQKtoTQK::~TQKtoTQK() { Release(); }

void TQKtoTQK::Release() {
    selWork_.reset();
    work_.Reset();
    memDc_.Reset();
    screen_.reset();
    CloseDD();
}

void TQKtoTQK::CloseDD() {
    source_.reset();
    file_.Reset();
}

int32_t TQKtoTQK::Init(const std::wstring& srcTQK, int32_t dstBitCount) {
    Release();
    delivered_ = 0;
    header_ = MovieHeader();
    file_ = OpenForRead(srcTQK);
    if (!file_) return error_ = kErrOpen;
    uint8_t head[kHeaderBytes];
    DWORD got = 0;
    if (!ReadFile(file_.Get(), head, sizeof head, &got, nullptr) || got != sizeof head ||
        DecodeHeader(head, &header_) != kOk)
        return error_ = kErrBadFile;
    int32_t rc = CheckHeaderForPlay(header_);
    if (rc == kOk && !IsRecordableDepth(dstBitCount)) rc = kErrBadFile;
    if (rc == kOk) rc = reader_.Start(header_);
    if (rc != kOk) return error_ = rc;
    // A movie whose recorder stopped early is read up to its last whole second.
    header_.sec = PlayableSeconds(header_, ScanMovieRecords(file_.Get(), header_));
    F_ = reader_.FrameSize();
    dstBits_ = dstBitCount;
    // Rows as the platform writes them: a 32-bit movie of any width read back at 24 or 16
    // bits gets rows padded to whole words.
    outputSize_ = size_t(DibRowBytes(header_.W, dstBitCount)) * size_t(header_.H);
    if (dstBitCount == 8) outputSize_ += kColourTableBytes;
    FillBitmapInfo(&srcInfo_, header_.W, header_.H, header_.BitCo);
    FillBitmapInfo(&dstInfo_, header_.W, header_.H, dstBitCount);
    screen_ = std::make_unique<WindowDc>(nullptr, GetDC(nullptr));
    if (screen_->Get()) {
        memDc_.Reset(CreateCompatibleDC(screen_->Get()));
        if (header_.Method == 0) {
            // Device-dependent frames only fit a bitmap of the display's own layout.
            work_.Reset(CreateCompatibleBitmap(screen_->Get(), header_.W, header_.H));
        } else {
            // Device-independent frames go through 32 bits, so a display of fewer bits
            // (16 here and there) cannot take their colours away on the way.
            BitmapInfo256 surface = {};
            FillBitmapInfo(&surface, header_.W, header_.H, 32);
            void* bits = nullptr;
            work_.Reset(CreateDIBSection(screen_->Get(), reinterpret_cast<BITMAPINFO*>(&surface),
                                         DIB_RGB_COLORS, &bits, nullptr, 0));
        }
    }
    if (!screen_->Get() || !memDc_ || !work_)
        return error_ = MakeResultCode(kErrApi, int32_t(GetLastError()));
    selWork_ = std::make_unique<SelectGuard>(memDc_.Get(), work_.Get());
    source_ = std::make_unique<Win32FileSource>(file_.Get());
    return kOk;
}

int32_t TQKtoTQK::GetNextTQK(std::vector<uint8_t>& dstDAT, bool& IsEnd) {
    const int64_t total = int64_t(FrameCount(header_));
    if (delivered_ >= total) return 0;
    ++delivered_;
    // After a failure the reading position means nothing: report the failure again.
    if (error_ != 0) return error_;
    if (!source_) return error_ = kErrOpen;
    const int32_t rc = reader_.ReadNext(*source_);
    if (rc != kOk) return error_ = rc;
    const uint8_t* frame = reader_.Frame();
    if (header_.Method == 0) {
        SetBitmapBits(HBITMAP(work_.Get()), DWORD(F_), frame);
    } else {
        if (header_.BitCo == 8)
            std::memcpy(srcInfo_.colours, frame + F_ - kColourTableBytes, kColourTableBytes);
        SetDIBitsToDevice(memDc_.Get(), 0, 0, DWORD(header_.W), DWORD(header_.H), 0, 0, 0,
                          UINT(header_.H), frame, reinterpret_cast<BITMAPINFO*>(&srcInfo_),
                          DIB_RGB_COLORS);
    }
    std::vector<uint8_t> out(outputSize_);
    GetDIBits(memDc_.Get(), HBITMAP(work_.Get()), 0, UINT(header_.H), out.data(),
              reinterpret_cast<BITMAPINFO*>(&dstInfo_), DIB_RGB_COLORS);
    if (dstBits_ == 8)
        std::memcpy(out.data() + outputSize_ - kColourTableBytes, dstInfo_.colours,
                    kColourTableBytes);
    dstDAT.swap(out);
    if (delivered_ >= total) IsEnd = true;
    return error_;
}

}  // namespace tqk
