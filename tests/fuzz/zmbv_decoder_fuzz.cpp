// libFuzzer target for the ZMBV decoder: a picture size and a run of chunks, each decoded in
// turn and written out in every bitmap layout, on buffers of exactly the right size (so
// AddressSanitizer sees any write past them). The first byte's top bit asks for a prelude:
// a real key frame and delta frame of the encoder come first, so the fuzzed chunks continue
// a live zlib stream instead of dying at its first byte.
// Pictures are at most 64 x 64 (four by four blocks, the edges partial): every path of the
// decoder shows there, and small pictures let the target run its millions of inputs.
//   input: flags(1) width-1(1) height-1(1) then [length(2, little-endian) bytes]...
// (only the low six bits of width-1 and height-1 count; the first 32 chunks are decoded)
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zmbv.h"
#include "zmbv_dib.h"

namespace {

using namespace tqk::zmbv;

constexpr DibOutput kOutputs[] = {DibOutput{32, false, false}, DibOutput{24, false, true},
                                  DibOutput{16, true, false}, DibOutput{16, false, true}};

// One exact-size buffer per layout for the whole input (the picture size is fixed by Start),
// so a run of small chunks does not cost four fresh pictures each.
struct Outputs {
    explicit Outputs(const Decoder& d) {
        for (size_t i = 0; i < 4; ++i)
            dib[i].resize(DibImageBytes(d.Width(), d.Height(), kOutputs[i].bits));
    }
    void Write(const Decoder& d) {
        const bool sixteen =
            d.StreamFormat() == Format::kRgb555 || d.StreamFormat() == Format::kRgb565;
        for (size_t i = 0; i < 4; ++i) {
            if (dib[i].size() != DibImageBytes(d.Width(), d.Height(), kOutputs[i].bits))
                std::abort();
            const bool ok = WriteDib(d, kOutputs[i], dib[i].data());
            if (ok != (kOutputs[i].bits != 16 || sixteen)) std::abort();
        }
    }
    std::vector<uint8_t> dib[4];
};

// Fills n bytes with the input repeated, by copies (a byte loop here outweighs the encoder).
void FillRepeated(uint8_t* px, size_t n, const uint8_t* data, size_t size) {
    for (size_t at = 0; at < n; at += size) std::memcpy(px + at, data, std::min(size, n - at));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int w = (data[1] & 63) + 1, h = (data[2] & 63) + 1;
    Decoder d;
    if (d.Start(w, h) != Status::kOk) std::abort();
    if (data[0] & 0x80) {
        const int bits[] = {8, 15, 16, 24, 32};
        // The fastest zlib level: the prelude only has to leave a live stream behind, and the
        // encoder's own cost would otherwise outweigh the decoding being fuzzed.
        Encoder e;
        EncoderOptions fast;
        fast.zlibLevel = 1;
        if (e.Start({w, h, bits[(data[0] & 0x7F) % 5]}, fast) != Status::kOk) std::abort();
        const int bpp = bits[(data[0] & 0x7F) % 5] == 15 ? 2 : bits[(data[0] & 0x7F) % 5] / 8;
        std::vector<uint8_t> px(size_t(w) * size_t(h) * size_t(bpp));
        FillRepeated(px.data(), px.size(), data, size);
        static const auto table = [] {
            std::array<uint8_t, 1024> t{};
            for (size_t i = 0; i < t.size(); ++i) t[i] = uint8_t(i);
            return t;
        }();
        for (int k = 0; k < 2; ++k) {
            EncodedFrame f;
            if (e.Encode(px.data(), ptrdiff_t(w) * bpp, table.data(), false, &f) != Status::kOk)
                std::abort();
            if (d.Decode(f.bytes.data(), f.bytes.size()) != Status::kOk) std::abort();
            if (std::memcmp(d.Frame(), px.data(), bpp == 3 ? 0 : px.size()) != 0) std::abort();
            px[px.size() / 2] ^= 1;
        }
    }
    Outputs out(d);
    size_t at = 3;
    // A key frame and its deltas: 32 chunks reach every state of the stream, and an input of
    // thousands of tiny chunks would cost as much as thousands of inputs.
    for (int chunks = 0; chunks < 32 && at + 2 <= size; ++chunks) {
        size_t n = size_t(data[at]) | size_t(data[at + 1]) << 8;
        at += 2;
        if (n > size - at) n = size - at;
        if (d.Decode(data + at, n) == Status::kOk) out.Write(d);
        at += n;
    }
    return 0;
}
