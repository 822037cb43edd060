#include "gif_format.h"

#include <algorithm>
#include <cstring>

namespace tqk::gif {

namespace {

void Put16(std::vector<uint8_t>* out, uint32_t v) {
    out->push_back(uint8_t(v));
    out->push_back(uint8_t(v >> 8));
}

void PutTable(const uint32_t* table, int colours, int tableBits, std::vector<uint8_t>* out) {
    const int entries = 1 << tableBits;
    for (int i = 0; i < entries; ++i) {
        const uint32_t c = i < colours ? table[i] : 0;
        out->push_back(uint8_t(c >> 16));
        out->push_back(uint8_t(c >> 8));
        out->push_back(uint8_t(c));
    }
}

// Packs codes from the lowest bit up into a buffer sized beforehand.
class BitPacker {
public:
    explicit BitPacker(uint8_t* at) : at_(at) {}
    void Put(uint32_t code, int width) {
        acc_ |= uint64_t(code) << bits_;
        bits_ += width;
        if (bits_ >= 32) {
            std::memcpy(at_, &acc_, 4);  // little-endian hosts only, as the whole suite
            at_ += 4;
            acc_ >>= 32;
            bits_ -= 32;
        }
    }
    uint8_t* Finish() {
        while (bits_ > 0) {
            *at_++ = uint8_t(acc_);
            acc_ >>= 8;
            bits_ -= 8;
        }
        return at_;
    }

private:
    uint8_t* at_;
    uint64_t acc_ = 0;
    int bits_ = 0;
};

}  // namespace

int TableBits(int colours) {
    int bits = 1;
    while ((1 << bits) < colours) ++bits;
    return bits;
}

LzwEncoder::LzwEncoder() : table_(size_t(kMaxCodes) << 8, 0) {}

void LzwEncoder::Encode(const uint8_t* indices, size_t n, int minCodeSize,
                        std::vector<uint8_t>* out) {
    const size_t bytes = Code(indices, n, minCodeSize);
    out->insert(out->end(), codes_.get(), codes_.get() + bytes);
}

size_t LzwEncoder::Code(const uint8_t* indices, size_t n, int minCodeSize) {
    const uint32_t clear = 1u << minCodeSize;
    const uint32_t end = clear + 1;
    const int firstWidth = minCodeSize + 1;
    // At most one code per index, a clear code per table and the first clear and end codes,
    // none wider than 12 bits, plus room for the packer's whole-word stores.
    const size_t maxCodes = n + n / (kMaxCodes - end - 1) + 4;
    const size_t room = maxCodes * kMaxCodeBits / 8 + 16;
    if (room > codesRoom_) {
        codes_.reset(new uint8_t[room]);  // not zeroed: every byte used is written
        codesRoom_ = room;
    }
    BitPacker bits(codes_.get());

    // The table as rows of children: entry (prefix << minCodeSize | index) holds the code of
    // the string prefix + index, 0 while there is none (no string's code is 0). Only the rows
    // of codes handed out are ever cleared.
    uint16_t* table = table_.data();
    std::fill(table, table + used_, 0);
    uint32_t next = end + 1;
    int width = firstWidth;
    bits.Put(clear, width);
    if (n > 0) {
        uint32_t prefix = indices[0];
        for (size_t i = 1; i < n; ++i) {
            const uint32_t slot = prefix << minCodeSize | indices[i];
            const uint32_t child = table[slot];
            if (child != 0) {
                prefix = child;
                continue;
            }
            bits.Put(prefix, width);
            if (next < kMaxCodes) {
                table[slot] = uint16_t(next);
                ++next;
                // The decoder adds each entry one code later than this side: it widens when its
                // next code reaches 1 << width, which is when ours has passed it.
                if (next > (1u << width) && width < kMaxCodeBits) ++width;
            } else {
                bits.Put(clear, width);
                std::fill(table, table + (size_t(next) << minCodeSize), 0);
                next = end + 1;
                width = firstWidth;
            }
            prefix = indices[i];
        }
        bits.Put(prefix, width);
        // Reading that last code the decoder adds the entry this side held back, so its next
        // code now equals ours: it has widened if that reached 1 << width.
        if (next == (1u << width) && width < kMaxCodeBits) ++width;
    }
    used_ = size_t(next) << minCodeSize;
    bits.Put(end, width);
    return size_t(bits.Finish() - codes_.get());
}

void LzwEncoder::EncodeBlocks(const uint8_t* indices, size_t n, int minCodeSize,
                              std::vector<uint8_t>* out) {
    AppendSubBlocks(codes_.get(), Code(indices, n, minCodeSize), out);
}

void AppendSubBlocks(const uint8_t* data, size_t n, std::vector<uint8_t>* out) {
    const size_t blocks = (n + 254) / 255;
    const size_t at = out->size();
    out->resize(at + n + blocks + 1);
    uint8_t* p = out->data() + at;
    while (n > 0) {
        const size_t len = std::min<size_t>(n, 255);
        *p++ = uint8_t(len);
        std::memcpy(p, data, len);
        p += len;
        data += len;
        n -= len;
    }
    *p = 0;
}

void AppendHeader(int width, int height, const uint32_t* table, int colours, int tableBits,
                  std::vector<uint8_t>* out) {
    static const char kSignature[] = "GIF89a";
    out->insert(out->end(), kSignature, kSignature + 6);
    Put16(out, uint32_t(width));
    Put16(out, uint32_t(height));
    // Global table flag, 8 bits of colour resolution, unsorted, the table's size.
    out->push_back(uint8_t(tableBits > 0 ? 0x80 | 0x70 | (tableBits - 1) : 0x70));
    out->push_back(0);  // background colour index
    out->push_back(0);  // no aspect ratio
    if (tableBits > 0) PutTable(table, colours, tableBits, out);
}

void AppendLoop(uint16_t loops, std::vector<uint8_t>* out) {
    static const uint8_t kHead[] = {0x21, 0xFF, 11,  'N', 'E', 'T', 'S', 'C',
                                    'A',  'P',  'E', '2', '.', '0', 3,   1};
    out->insert(out->end(), kHead, kHead + sizeof kHead);
    Put16(out, loops);
    out->push_back(0);
}

size_t AppendGraphicControl(uint32_t delay, Disposal disposal, int transparent,
                            std::vector<uint8_t>* out) {
    out->push_back(0x21);
    out->push_back(0xF9);
    out->push_back(4);
    out->push_back(uint8_t(uint8_t(disposal) << 2 | (transparent >= 0 ? 1 : 0)));
    const size_t at = out->size();
    Put16(out, std::min(delay, kMaxDelay));
    out->push_back(uint8_t(transparent >= 0 ? transparent : 0));
    out->push_back(0);
    return at;
}

void SetDelay(std::vector<uint8_t>* bytes, size_t at, uint32_t delay) {
    delay = std::min(delay, kMaxDelay);
    (*bytes)[at] = uint8_t(delay);
    (*bytes)[at + 1] = uint8_t(delay >> 8);
}

void AppendImage(const ImageRect& r, const uint32_t* table, int colours, int tableBits,
                 const uint8_t* indices, int minCodeSize, LzwEncoder* lzw,
                 std::vector<uint8_t>* out) {
    out->push_back(0x2C);
    Put16(out, uint32_t(r.x));
    Put16(out, uint32_t(r.y));
    Put16(out, uint32_t(r.w));
    Put16(out, uint32_t(r.h));
    out->push_back(uint8_t(tableBits > 0 ? 0x80 | (tableBits - 1) : 0));
    if (tableBits > 0) PutTable(table, colours, tableBits, out);
    out->push_back(uint8_t(minCodeSize));
    lzw->EncodeBlocks(indices, size_t(r.w) * size_t(r.h), minCodeSize, out);
}

void AppendTrailer(std::vector<uint8_t>* out) { out->push_back(0x3B); }

}  // namespace tqk::gif
