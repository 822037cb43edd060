#include "rec_schedule.h"

#include <algorithm>
#include <cmath>

#include "../common/result_code.h"

namespace tqk {

int32_t CheckRecordParams(const RecordParams& p, bool userCapture) {
    if (p.W < 1 || p.H < 1 || p.x < 0 || p.y < 0 || p.fps < 1 || p.sec < 0 || p.Method > 2 ||
        p.Method < 0)
        return kErrNotInitialised;
    if (p.W % 4 != 0) return kErrNotInitialised;
    if (userCapture && p.Method != 1) return kErrUserCaptureType;
    return kOk;
}

namespace {
bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
bool HasDrive(const std::wstring& p) {
    return p.size() >= 2 && p[1] == L':' &&
           ((p[0] >= L'A' && p[0] <= L'Z') || (p[0] >= L'a' && p[0] <= L'z'));
}
bool SameDrive(wchar_t a, wchar_t b) { return (a | 0x20) == (b | 0x20); }
// "C:" of a drive path, "\\server\share" of a network one; "" when the folder has neither.
std::wstring RootOf(const std::wstring& folder) {
    if (HasDrive(folder)) return folder.substr(0, 2);
    if (folder.size() > 2 && IsSeparator(folder[0]) && IsSeparator(folder[1])) {
        int seen = 0;
        for (size_t i = 2; i < folder.size(); ++i)
            if (IsSeparator(folder[i]) && ++seen == 2) return folder.substr(0, i);
    }
    return std::wstring();
}
}  // namespace

std::wstring MoviePathIn(const std::wstring& programFolder, const std::wstring& path) {
    if (programFolder.empty() || path.empty()) return path;
    if (HasDrive(path)) {
        if (path.size() > 2 && IsSeparator(path[2])) return path;
        if (HasDrive(programFolder) && SameDrive(path[0], programFolder[0]))
            return programFolder + path.substr(2);
        return path;
    }
    if (IsSeparator(path[0])) {
        if (path.size() > 1 && IsSeparator(path[1])) return path;
        const std::wstring root = RootOf(programFolder);
        return root.empty() ? path : root + path;
    }
    return programFolder + path;
}

bool IsRecordableDepth(int32_t bits) { return bits == 8 || bits == 16 || bits == 24 || bits == 32; }

ScreenPart ClipToScreen(int32_t x, int32_t y, int32_t W, int32_t H, int32_t screenW,
                        int32_t screenH) {
    const int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    const int64_t x1 = std::min<int64_t>(int64_t(x) + W, screenW);
    const int64_t y1 = std::min<int64_t>(int64_t(y) + H, screenH);
    ScreenPart p = {int32_t(x0 - x), int32_t(y0 - y), int32_t(x0), int32_t(y0), 0, 0};
    if (x1 > x0 && y1 > y0) {
        p.w = int32_t(x1 - x0);
        p.h = int32_t(y1 - y0);
    }
    return p;
}

int32_t RoundMillis(double ms) {
    const double r = std::floor(ms + 0.5);
    if (r >= 2147483647.0) return INT32_MAX;
    if (r <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(r);
}

double ResumeMoment(double now) { return std::ceil(now) + kResumeLeadMillis; }

int32_t MegabytesNeeded(uint64_t viewBytes) {
    return RoundMillis(double(viewBytes) / 1048576.0 + 1.0);
}

namespace {
uint64_t RoundUp(uint64_t v, uint64_t g) { return (v + g - 1) / g * g; }
}  // namespace

MappedLayout::MappedLayout(uint64_t F, int64_t slots, uint64_t maxRecord, uint64_t granularity)
    : maxRecord_(maxRecord), gran_(granularity ? granularity : 65536) {
    reserved_ = (F + 8) * uint64_t(std::max<int64_t>(slots, 0)) + 100;
    // A view that starts at the granule holding the write position must still reach past the
    // largest record: one granule plus a record, whatever 8F says for small frames.
    wantedView_ = RoundUp(std::max(8 * F, maxRecord_ + gran_), gran_);
}

MappedLayout::Window MappedLayout::First() const {
    Window w;
    w.mapSize = reserved_;
    w.offset = 0;
    w.size = std::min(wantedView_, reserved_);
    return w;
}

bool MappedLayout::NeedsMove(const Window& w, uint64_t pos) const {
    return pos < w.offset || pos + maxRecord_ > w.offset + w.size;
}

MappedLayout::Window MappedLayout::Next(const Window& w, uint64_t pos) const {
    Window n;
    // Grow the mapping when the records outgrow the reservation: a slice of the reservation
    // again, so that incompressible frames do not remap at every slot.
    n.mapSize = w.mapSize;
    if (pos + maxRecord_ > n.mapSize)
        n.mapSize = std::max(pos + maxRecord_, n.mapSize + std::max(wantedView_, n.mapSize / 8));
    n.offset = pos / gran_ * gran_;
    n.size = std::min(wantedView_, n.mapSize - n.offset);
    return n;
}

}  // namespace tqk
