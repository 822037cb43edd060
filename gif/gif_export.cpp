#include "gif_export.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "gif_encoder.h"
#include "safe_file.h"
#include "tqk_stdio.h"

namespace tqk::gif {

Schedule::Schedule(int64_t frames, int32_t fps, int32_t rate)
    : frames_(frames < 0 ? 0 : frames), fps_(fps < 1 ? 1 : fps), rate_(rate < 1 ? 1 : rate) {
    if (rate_ > fps_) rate_ = fps_;
    steps_ = (frames_ * rate_ + fps_ - 1) / fps_;
    // A last frame of less than 2 hundredths (a part that ends just after a step) would be
    // slowed down by browsers: the frame before stays up until the end instead.
    if (steps_ > 1 && TotalHundredths() - uint64_t(Start(steps_ - 1)) < 2) --steps_;
}

uint32_t Schedule::Delay(int64_t step) const {
    const int64_t end = step + 1 < steps_ ? Start(step + 1) : int64_t(TotalHundredths());
    return uint32_t(end - Start(step));
}

namespace {

inline uint32_t Widen5(uint32_t c) { return (c << 3) | (c >> 2); }
inline uint32_t Widen6(uint32_t c) { return (c << 2) | (c >> 4); }

// Box-filtered resampling of top-down pixels to another size (nearest pixel when enlarging).
class Scaler {
public:
    void Start(int sw, int sh, int dw, int dh) {
        sw_ = sw;
        dw_ = dw;
        dh_ = dh;
        Spans(sw, dw, &x0_, &x1_);
        Spans(sh, dh, &y0_, &y1_);
        sums_.assign(size_t(dw) * 4, 0);
    }
    void Run(const uint32_t* src, uint32_t* dst) {
        for (int y = 0; y < dh_; ++y) {
            std::fill(sums_.begin(), sums_.end(), 0);
            for (int sy = y0_[size_t(y)]; sy < y1_[size_t(y)]; ++sy) {
                const uint32_t* row = src + size_t(sy) * size_t(sw_);
                for (int x = 0; x < dw_; ++x) {
                    uint32_t* s = &sums_[size_t(x) * 4];
                    for (int sx = x0_[size_t(x)]; sx < x1_[size_t(x)]; ++sx) {
                        const uint32_t c = row[sx];
                        s[0] += (c >> 16) & 255;
                        s[1] += (c >> 8) & 255;
                        s[2] += c & 255;
                    }
                }
            }
            const int rows = y1_[size_t(y)] - y0_[size_t(y)];
            uint32_t* out = dst + size_t(y) * size_t(dw_);
            for (int x = 0; x < dw_; ++x) {
                const uint32_t n = uint32_t(rows * (x1_[size_t(x)] - x0_[size_t(x)]));
                const uint32_t* s = &sums_[size_t(x) * 4];
                out[x] =
                    ((s[0] + n / 2) / n) << 16 | ((s[1] + n / 2) / n) << 8 | (s[2] + n / 2) / n;
            }
        }
    }

private:
    static void Spans(int from, int to, std::vector<int>* a, std::vector<int>* b) {
        a->resize(size_t(to));
        b->resize(size_t(to));
        for (int i = 0; i < to; ++i) {
            int s = int(int64_t(i) * from / to);
            int e = int(int64_t(i + 1) * from / to);
            if (e <= s) e = s + 1;
            (*a)[size_t(i)] = s;
            (*b)[size_t(i)] = std::min(e, from);
        }
    }
    int sw_ = 0, dw_ = 0, dh_ = 0;
    std::vector<int> x0_, x1_, y0_, y1_;
    std::vector<uint32_t> sums_;
};

}  // namespace

void FrameToRgb32(const MovieHeader& h, const uint8_t* frame, bool type0Is555, uint32_t* out) {
    const size_t w = size_t(h.W);
    const size_t bytesPerPixel = size_t(h.BitCo) / 8;
    const size_t stride = w * bytesPerPixel;
    const bool bottomUp = h.Method != 0;
    const uint8_t* table = frame + stride * size_t(h.H);
    uint32_t colours[256];
    if (h.BitCo == 8)
        for (size_t i = 0; i < 256; ++i)
            colours[i] =
                uint32_t(table[i * 4 + 2]) << 16 | uint32_t(table[i * 4 + 1]) << 8 | table[i * 4];
    const bool is565 = h.Method == 0 && !type0Is555;
    for (size_t row = 0; row < size_t(h.H); ++row) {
        const uint8_t* src = frame + (bottomUp ? size_t(h.H) - 1 - row : row) * stride;
        uint32_t* dst = out + row * w;
        switch (h.BitCo) {
        case 32:
            for (size_t x = 0; x < w; ++x)
                dst[x] =
                    uint32_t(src[x * 4 + 2]) << 16 | uint32_t(src[x * 4 + 1]) << 8 | src[x * 4];
            break;
        case 24:
            for (size_t x = 0; x < w; ++x)
                dst[x] =
                    uint32_t(src[x * 3 + 2]) << 16 | uint32_t(src[x * 3 + 1]) << 8 | src[x * 3];
            break;
        case 16:
            for (size_t x = 0; x < w; ++x) {
                const uint32_t v = uint32_t(src[x * 2]) | uint32_t(src[x * 2 + 1]) << 8;
                dst[x] =
                    is565 ? Widen5(v >> 11 & 31) << 16 | Widen6(v >> 5 & 63) << 8 | Widen5(v & 31)
                          : Widen5(v >> 10 & 31) << 16 | Widen5(v >> 5 & 31) << 8 | Widen5(v & 31);
            }
            break;
        case 8:
            for (size_t x = 0; x < w; ++x) dst[x] = colours[src[x]];
            break;
        }
    }
}

ExportResult ExportGif(const ExportOptions& o, const ExportProgress& progress) {
    ExportResult result;
    const auto movieError = [&](int32_t code, int64_t record) {
        result.status = ExportStatus::kMovie;
        result.code = code;
        result.record = record;
        return result;
    };
    StdioFile file(OpenForReading(o.movie));
    if (!file.f) return movieError(kErrNoFile, -1);
    MovieHeader h;
    {
        StdioSource src(file.f);
        uint8_t head[kHeaderBytes];
        if (src.Read(head, kHeaderBytes) < kHeaderBytes) return movieError(kErrBadFile, -1);
        int32_t rc = DecodeHeader(head, &h);
        if (rc == kOk) rc = CheckHeaderForPlay(h);
        if (rc != kOk) return movieError(rc, -1);
        StdioRandomSource random(file.f);
        h.sec = PlayableSeconds(h, ScanRecords(random, h));
        if (std::fseek(file.f, long(kHeaderBytes), SEEK_SET) != 0) return movieError(kErrOpen, -1);
    }
    const int64_t frames = int64_t(FrameCount(h));
    if (frames <= 0) {
        result.status = ExportStatus::kNoFrames;
        return result;
    }
    // The part: whole frames from `from` up to `to`.
    const double length = double(h.sec);
    if (!(o.from >= 0) || o.from >= length || (o.to >= 0 && o.to <= o.from)) {
        result.status = ExportStatus::kBadSpan;
        return result;
    }
    const int64_t first = std::min<int64_t>(frames - 1, std::llround(o.from * h.fps));
    const int64_t end =
        o.to < 0 ? frames : std::clamp<int64_t>(std::llround(o.to * h.fps), first + 1, frames);
    // The picture's size.
    result.width = o.width > 0 ? o.width : h.W;
    const int64_t scaledH =
        o.width > 0 ? std::max<int64_t>(1, (int64_t(h.H) * o.width + h.W / 2) / h.W) : h.H;
    result.height = int32_t(std::min<int64_t>(scaledH, INT32_MAX));
    if (result.width > kMaxSide || result.height > kMaxSide) {
        result.status = ExportStatus::kTooLarge;
        return result;
    }
    if (uint64_t(result.width) * uint64_t(result.height) > kMaxPixels) {
        result.status = ExportStatus::kTooManyPixels;
        return result;
    }
    result.rate = std::min({o.fps > 0 ? o.fps : h.fps, h.fps, kMaxRate});
    const Schedule schedule(end - first, h.fps, result.rate);

    FrameReader reader;
    if (int32_t rc = reader.Start(h); rc != kOk) return movieError(rc, -1);
    AnimationEncoder encoder;
    EncoderOptions eo;
    eo.dither = o.dither;
    if (!encoder.Start(result.width, result.height, eo)) {
        result.status = ExportStatus::kTooLarge;
        return result;
    }
    SafeFileWriter out;
    const auto writeError = [&](uint32_t error) {
        out.Abandon();
        result.status = ExportStatus::kWrite;
        result.systemError = error;
        return result;
    };
    if (uint32_t e = out.Open(o.out)) return writeError(e);
    const bool scaled = result.width != h.W || result.height != h.H;
    std::vector<uint32_t> pixels(size_t(h.W) * size_t(h.H));
    std::vector<uint32_t> resized(scaled ? size_t(result.width) * size_t(result.height) : 0);
    Scaler scaler;
    if (scaled) scaler.Start(h.W, h.H, result.width, result.height);
    StdioSource src(file.f);
    int64_t step = 0;
    for (int64_t i = 0; i < end; ++i) {
        if (int32_t rc = reader.ReadNext(src); rc != kOk) {
            out.Abandon();
            return movieError(rc, i);
        }
        ++result.framesRead;
        if (i >= first && step < schedule.Steps() && schedule.SourceFrame(step) == i - first) {
            FrameToRgb32(h, reader.Frame(), o.type0Is555, pixels.data());
            if (scaled) scaler.Run(pixels.data(), resized.data());
            encoder.AddFrame(scaled ? resized.data() : pixels.data(), size_t(result.width),
                             schedule.Delay(step));
            ++step;
            if (uint32_t e = out.Write(encoder.Output().data(), encoder.Output().size()))
                return writeError(e);
            result.bytes += encoder.Output().size();
            encoder.Output().clear();
        }
        if (progress && !progress(uint64_t(i + 1), uint64_t(end))) {
            out.Abandon();
            result.status = ExportStatus::kCancelled;
            return result;
        }
    }
    encoder.Finish();
    if (uint32_t e = out.Write(encoder.Output().data(), encoder.Output().size()))
        return writeError(e);
    result.bytes += encoder.Output().size();
    if (uint32_t e = out.Commit()) return writeError(e);
    result.images = encoder.Stats().framesOut;
    result.hundredths = encoder.Stats().totalDelay;
    result.exact = encoder.Exact();
    return result;
}

}  // namespace tqk::gif
