#include "gif_encoder.h"

#include <algorithm>
#include <cstring>

namespace tqk::gif {

namespace {

// Rectangles larger than this are judged by a band of their rows before one way is coded.
constexpr uint64_t kBandArea = 1u << 15;

}  // namespace

bool AnimationEncoder::Start(int width, int height, const EncoderOptions& options) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return false;
    w_ = width;
    h_ = height;
    options_ = options;
    const size_t n = size_t(width) * size_t(height);
    prev_.assign(n, 0);
    mask_.resize(n);
    indices_.resize(n);
    out_.clear();
    stats_ = {};
    first_ = true;
    havePending_ = false;
    started_ = true;
    return true;
}

void AnimationEncoder::Code(const ImageRect& r, bool masked, Candidate* c) {
    c->table.clear();
    c->bytes.clear();
    c->global = false;
    c->quantised = false;
    c->transparent = -1;
    const size_t stride = srcStride_;
    const uint32_t* base = src_ + size_t(r.y) * stride + size_t(r.x);
    const size_t rw = size_t(r.w);
    uint8_t* mask = masked ? mask_.data() : nullptr;
    // The exact colours while they fit, each pixel's index noted on the way. An unchanged pixel
    // may show either its own colour or nothing: it keeps the colour when that goes on with the
    // pixel before (mask byte 2), so runs break only where they must; otherwise it becomes
    // transparent (set below, once the table's size is known).
    const int limit = masked ? 255 : 256;
    colours_.Clear();
    bool fits = true;
    uint32_t last = 0xFFFFFFFF;
    uint8_t lastIndex = 0;
    bool inColour = false;  // the pixel before was given a colour
    for (int y = 0; y < r.h && fits; ++y) {
        const uint32_t* row = base + size_t(y) * stride;
        uint8_t* m = mask ? mask + size_t(y) * rw : nullptr;
        uint8_t* o = indices_.data() + size_t(y) * rw;
        for (size_t x = 0; x < rw; ++x) {
            if (m && m[x] != 1) {
                const bool goesOn = inColour && row[x] == last;
                m[x] = goesOn ? 2 : 0;
                if (goesOn) o[x] = lastIndex;
                inColour = goesOn;
                continue;
            }
            inColour = true;
            const uint32_t px = row[x];
            if (px != last) {
                const int i = colours_.Add(px, limit);
                if (i < 0) {
                    fits = false;
                    break;
                }
                last = px;
                lastIndex = uint8_t(i);
            }
            o[x] = lastIndex;
        }
    }
    if (fits) {
        c->table = colours_.Colours();
        if (masked) {
            c->transparent = int(c->table.size());
            c->table.push_back(0);
        }
        // The global table serves when it holds every colour and a table of our own would be
        // as wide: the codes are then as long, and the table's bytes are saved.
        if (!first_ && TableBits(int(c->table.size())) == globalBits_ &&
            (!masked || globalSpare_ >= 0)) {
            uint8_t remap[256];
            bool all = true;
            for (size_t i = 0; i < colours_.Colours().size() && all; ++i) {
                const int g = globalSet_.Find(colours_.Colours()[i]);
                all = g >= 0;
                remap[i] = uint8_t(g);
            }
            if (all) {
                if (masked) {
                    remap[c->transparent] = uint8_t(globalSpare_);
                    c->transparent = globalSpare_;
                }
                c->global = true;
                for (size_t y = 0; y < size_t(r.h); ++y) {
                    uint8_t* o = indices_.data() + y * rw;
                    const uint8_t* m = mask ? mask + y * rw : nullptr;
                    for (size_t x = 0; x < rw; ++x)
                        o[x] = m && !m[x] ? uint8_t(c->transparent) : remap[o[x]];
                }
            }
        }
        if (masked && !c->global) {
            for (size_t y = 0; y < size_t(r.h); ++y) {
                uint8_t* o = indices_.data() + y * rw;
                const uint8_t* m = mask + y * rw;
                for (size_t x = 0; x < rw; ++x)
                    if (!m[x]) o[x] = uint8_t(c->transparent);
            }
        }
    } else {
        c->quantised = true;
        quantiser_.Reset();
        if (mask)  // unchanged pixels stay transparent: a quantised colour would show
            for (size_t i = 0; i < size_t(r.h) * rw; ++i) mask[i] = mask[i] == 1;
        for (int y = 0; y < r.h; ++y) {
            const uint32_t* row = base + size_t(y) * stride;
            const uint8_t* m = mask ? mask + size_t(y) * rw : nullptr;
            for (size_t x = 0; x < rw; ++x)
                if (!m || m[x]) quantiser_.Add(row[x]);
        }
        c->table = quantiser_.MakeTable(limit);
        if (masked) c->transparent = int(c->table.size());
        quantiser_.MapPixels(base, stride, r.w, r.h, mask, uint8_t(c->transparent), options_.dither,
                             indices_.data());
        if (masked) c->table.push_back(0);
    }
    const int bits = c->global ? globalBits_ : TableBits(int(c->table.size()));
    // The first image's table becomes the global one, so its descriptor carries none.
    const bool ownTable = !c->global && !first_;
    AppendImage(r, c->table.data(), int(c->table.size()), ownTable ? bits : 0, indices_.data(),
                MinCodeSize(bits), &lzw_, &c->bytes);
}

void AnimationEncoder::FlushPending() {
    if (!havePending_) return;
    SetDelay(&pending_, pendingDelayAt_, pendingDelay_);
    out_.insert(out_.end(), pending_.begin(), pending_.end());
    stats_.totalDelay += pendingDelay_;
    ++stats_.framesOut;
    havePending_ = false;
}

void AnimationEncoder::AddFrame(const uint32_t* pixels, size_t stride, uint32_t delay) {
    if (!started_) return;
    ++stats_.framesIn;
    const size_t w = size_t(w_);
    // The frame is read where it lies; only its changed rectangle is copied into prev_.
    src_ = pixels;
    srcStride_ = stride;
    const auto cur = [&](size_t y) { return pixels + y * stride; };
    ImageRect r{0, 0, w_, h_};
    if (!first_) {
        int top = 0, bottom = h_;
        const size_t rowBytes = w * sizeof(uint32_t);
        while (top < h_ && std::memcmp(cur(size_t(top)), &prev_[size_t(top) * w], rowBytes) == 0)
            ++top;
        if (top == h_) {
            // The same picture: the image before stays up longer.
            if (havePending_ && pendingDelay_ + delay <= kMaxDelay) {
                pendingDelay_ += delay;
                return;
            }
            // Too long for one delay: one unchanged pixel carries the rest.
            r = {0, 0, 1, 1};
        } else {
            while (std::memcmp(cur(size_t(bottom - 1)), &prev_[size_t(bottom - 1) * w], rowBytes) ==
                   0)
                --bottom;
            size_t left = w, right = 0;
            for (int y = top; y < bottom; ++y) {
                const uint32_t* a = cur(size_t(y));
                const uint32_t* b = &prev_[size_t(y) * w];
                size_t x = 0;
                while (x < left && a[x] == b[x]) ++x;
                left = std::min(left, x);
                size_t e = w;
                while (e > right && a[e - 1] == b[e - 1]) --e;
                right = std::max(right, e);
            }
            r = {int(left), top, int(right - left), bottom - top};
        }
    }
    // The rectangle is coded with every pixel opaque, or with the unchanged ones transparent
    // where that breaks no run; whichever packs smaller. A large rectangle lets four bands of a
    // sixty-fourth of its rows each decide, so that only the winner is coded whole.
    Candidate* best = &a_;
    if (!first_) {
        const auto markChanged = [&](const ImageRect& q) {
            for (int y = 0; y < q.h; ++y) {
                const uint32_t* a = cur(size_t(q.y + y)) + size_t(q.x);
                const uint32_t* b = &prev_[size_t(q.y + y) * w + size_t(q.x)];
                uint8_t* m = &mask_[size_t(y) * size_t(q.w)];
                for (size_t x = 0; x < size_t(q.w); ++x) m[x] = a[x] != b[x];
            }
        };
        if (uint64_t(r.w) * uint64_t(r.h) <= kBandArea) {
            markChanged(r);
            Code(r, false, &a_);
            Code(r, true, &b_);
            if (b_.bytes.size() < a_.bytes.size()) best = &b_;
        } else {
            size_t opaque = 0, masked = 0;
            const int rows = std::max(4, r.h / 64);
            for (int k = 0; k < 4; ++k) {
                const int at = std::min(r.h - rows, std::max(0, r.h * (2 * k + 1) / 8 - rows / 2));
                const ImageRect band{r.x, r.y + at, r.w, std::min(rows, r.h)};
                markChanged(band);
                Code(band, false, &a_);
                Code(band, true, &b_);
                opaque += a_.bytes.size();
                masked += b_.bytes.size();
            }
            if (masked < opaque) {
                markChanged(r);
                best = &b_;
            }
            Code(r, best == &b_, best);
        }
    } else {
        Code(r, false, &a_);
    }
    if (first_) {
        // The first frame's table becomes the global one, shared by later frames it serves.
        global_ = best->table;
        globalBits_ = TableBits(int(global_.size()));
        globalSpare_ = int(global_.size()) < (1 << globalBits_) ? int(global_.size()) : -1;
        globalSet_.Clear();
        for (uint32_t c : global_) (void)globalSet_.Add(c, 256);
        AppendHeader(w_, h_, global_.data(), int(global_.size()), globalBits_, &out_);
        AppendLoop(options_.loops, &out_);
    }
    FlushPending();
    pending_.clear();
    pendingDelayAt_ = AppendGraphicControl(0, Disposal::kKeep, best->transparent, &pending_);
    pending_.insert(pending_.end(), best->bytes.begin(), best->bytes.end());
    pendingDelay_ = std::min(delay, kMaxDelay);
    havePending_ = true;
    if (best->quantised) ++stats_.quantised;
    if (best->transparent >= 0) ++stats_.transparent;
    first_ = false;
    for (int y = 0; y < r.h; ++y)
        std::memcpy(&prev_[size_t(r.y + y) * w + size_t(r.x)], cur(size_t(r.y + y)) + size_t(r.x),
                    size_t(r.w) * sizeof(uint32_t));
    src_ = nullptr;
}

void AnimationEncoder::Finish() {
    if (!started_) return;
    FlushPending();
    if (first_) {
        // No frame at all: a valid file still, with an empty screen.
        AppendHeader(w_, h_, nullptr, 0, 0, &out_);
    }
    AppendTrailer(&out_);
    started_ = false;
}

}  // namespace tqk::gif
