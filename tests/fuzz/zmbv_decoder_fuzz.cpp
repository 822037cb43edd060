// libFuzzer target for the ZMBV decoder: a picture size and a run of chunks, each decoded in
// turn and written out in every bitmap layout, on buffers of exactly the right size (so
// AddressSanitizer sees any write past them). The first byte's top bit asks for a prelude:
// a real key frame and delta frame of the encoder come first, so the fuzzed chunks continue
// a live zlib stream instead of dying at its first byte.
//   input: flags(1) width-1(1) height-1(1) then [length(2, little-endian) bytes]...
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zmbv.h"
#include "zmbv_dib.h"

namespace {

using namespace tqk::zmbv;

void Output(const Decoder& d) {
    for (const DibOutput o : {DibOutput{32, false, false}, DibOutput{24, false, true},
                              DibOutput{16, true, false}, DibOutput{16, false, true}}) {
        std::vector<uint8_t> dib(DibImageBytes(d.Width(), d.Height(), o.bits));
        const bool ok = WriteDib(d, o, dib.data());
        const bool sixteen =
            d.StreamFormat() == Format::kRgb555 || d.StreamFormat() == Format::kRgb565;
        if (ok != (o.bits != 16 || sixteen)) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int w = data[1] + 1, h = data[2] + 1;
    Decoder d;
    if (d.Start(w, h) != Status::kOk) std::abort();
    if (data[0] & 0x80) {
        const int bits[] = {8, 15, 16, 24, 32};
        Encoder e;
        if (e.Start({w, h, bits[(data[0] & 0x7F) % 5]}) != Status::kOk) std::abort();
        const int bpp = bits[(data[0] & 0x7F) % 5] == 15 ? 2 : bits[(data[0] & 0x7F) % 5] / 8;
        std::vector<uint8_t> px(size_t(w) * size_t(h) * size_t(bpp));
        uint8_t table[1024];
        for (size_t i = 0; i < px.size(); ++i) px[i] = data[i % size];
        for (size_t i = 0; i < sizeof table; ++i) table[i] = uint8_t(i);
        for (int k = 0; k < 2; ++k) {
            EncodedFrame f;
            if (e.Encode(px.data(), ptrdiff_t(w) * bpp, table, false, &f) != Status::kOk)
                std::abort();
            if (d.Decode(f.bytes.data(), f.bytes.size()) != Status::kOk) std::abort();
            if (std::memcmp(d.Frame(), px.data(), bpp == 3 ? 0 : px.size()) != 0) std::abort();
            px[px.size() / 2] ^= 1;
        }
    }
    size_t at = 3;
    while (at + 2 <= size) {
        size_t n = size_t(data[at]) | size_t(data[at + 1]) << 8;
        at += 2;
        if (n > size - at) n = size - at;
        if (d.Decode(data + at, n) == Status::kOk) Output(d);
        at += n;
    }
    return 0;
}
