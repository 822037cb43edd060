// TaviroZmbv.dll: the ZMBV codec as a Video for Windows installable compressor. The driver
// handle of every open instance is the address of its Instance, so it fits the 64-bit build;
// the work is the portable encoder and decoder, the formats come from zmbv_dib.
#include <windows.h>
// after windows.h
#include <mmsystem.h>
#include <vfw.h>
#include <zlib.h>

#include <cstring>
#include <memory>
#include <new>

#include "zmbv.h"
#include "zmbv_dib.h"

namespace tqk::zmbv {
namespace {

constexpr wchar_t kName[] = L"ZMBV";
constexpr wchar_t kDescription[] = L"Taviro ZMBV lossless screen codec";
constexpr DWORD kStateVersion = 1;

// What ICM_GETSTATE hands out and ICM_SETSTATE takes back.
struct DriverState {
    DWORD version = kStateVersion;
    DWORD keyInterval = kDefaultKeyInterval;
};

struct Instance {
    DriverState state;
    std::unique_ptr<Encoder> encoder;
    int encoderBits = 0;
    DibFormat encoderIn;
    EncodedFrame frame;
    std::unique_ptr<Decoder> decoder;
    DibOutput decoderOut;
    bool decoded = false;  // the decoder holds a picture
};

// The header behind a BITMAPINFO pointer; false for a null pointer or a short header.
bool Read(const BITMAPINFOHEADER* bi, DibFormat* f) {
    if (!bi || bi->biSize < sizeof(BITMAPINFOHEADER)) return false;
    // A bit-field header carries its three masks right after the 40 bytes.
    const size_t avail = bi->biCompression == BI_BITFIELDS ? bi->biSize + 12 : bi->biSize;
    return ReadDibFormat(reinterpret_cast<const uint8_t*>(bi), avail, f);
}

size_t MaxCompressedBytes(const DibFormat& in) {
    const DibFormat z = CompressedFormat(in);
    const size_t blocks = size_t((z.width + kBlockSize - 1) / kBlockSize) *
                          size_t((z.height + kBlockSize - 1) / kBlockSize);
    const uLong raw = uLong(768 + ((blocks * 2 + 3) & ~size_t(3)) + z.sizeImage);
    return size_t(compressBound(raw)) + 7 + 64;
}

LRESULT CompressQuery(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
    DibFormat fi, fo;
    if (!Read(in, &fi) || CompressInputBits(fi) == 0) return ICERR_BADFORMAT;
    if (!out) return ICERR_OK;
    if (!Read(out, &fo) || !IsZmbvFormat(fo) || fo.width != fi.width ||
        fo.height != CompressedFormat(fi).height)
        return ICERR_BADFORMAT;
    return ICERR_OK;
}

LRESULT CompressGetFormat(const BITMAPINFOHEADER* in, BITMAPINFOHEADER* out) {
    DibFormat fi;
    if (!Read(in, &fi) || CompressInputBits(fi) == 0) return ICERR_BADFORMAT;
    if (!out) return sizeof(BITMAPINFOHEADER);
    WriteDibFormat(CompressedFormat(fi), reinterpret_cast<uint8_t*>(out));
    return ICERR_OK;
}

LRESULT CompressBegin(Instance* inst, const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
    if (CompressQuery(in, out) != ICERR_OK) return ICERR_BADFORMAT;
    DibFormat fi;
    Read(in, &fi);
    auto enc = std::make_unique<Encoder>();
    EncoderOptions o;
    o.keyInterval = int(inst->state.keyInterval);
    const int bits = CompressInputBits(fi);
    const int32_t h = fi.height < 0 ? -fi.height : fi.height;
    if (enc->Start({fi.width, h, bits}, o) != Status::kOk) return ICERR_BADFORMAT;
    inst->encoder = std::move(enc);
    inst->encoderBits = bits;
    inst->encoderIn = fi;
    return ICERR_OK;
}

LRESULT Compress(Instance* inst, ICCOMPRESS* c) {
    if (!inst->encoder) {
        const LRESULT rc = CompressBegin(inst, c->lpbiInput, c->lpbiOutput);
        if (rc != ICERR_OK) return rc;
    }
    const DibFormat& fi = inst->encoderIn;
    const int32_t h = fi.height < 0 ? -fi.height : fi.height;
    const size_t stride = DibImageBytes(fi.width, 1, fi.bitCount);
    const uint8_t* bits = static_cast<const uint8_t*>(c->lpInput);
    if (!bits || !c->lpOutput || !c->lpbiOutput) return ICERR_BADPARAM;
    // Bottom-up unless the height is negative.
    const uint8_t* top = fi.height < 0 ? bits : bits + (size_t(h) - 1) * stride;
    const ptrdiff_t step = fi.height < 0 ? ptrdiff_t(stride) : -ptrdiff_t(stride);
    uint8_t table[1024] = {};
    if (inst->encoderBits == 8) {
        const DWORD used = c->lpbiInput->biClrUsed == 0 || c->lpbiInput->biClrUsed > 256
                               ? 256
                               : c->lpbiInput->biClrUsed;
        std::memcpy(table, reinterpret_cast<const uint8_t*>(c->lpbiInput) + c->lpbiInput->biSize,
                    used * 4);
    }
    const bool forceKey = (c->dwFlags & ICCOMPRESS_KEYFRAME) != 0;
    if (inst->encoder->Encode(top, step, table, forceKey, &inst->frame) != Status::kOk)
        return ICERR_INTERNAL;
    const std::vector<uint8_t>& out = inst->frame.bytes;
    if (out.size() > MaxCompressedBytes(fi)) return ICERR_INTERNAL;
    std::memcpy(c->lpOutput, out.data(), out.size());
    c->lpbiOutput->biSizeImage = DWORD(out.size());
    if (c->lpdwFlags) *c->lpdwFlags = inst->frame.keyFrame ? AVIIF_KEYFRAME : 0;
    return ICERR_OK;
}

LRESULT DecompressQuery(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
    DibFormat fi, fo;
    if (!Read(in, &fi) || !IsZmbvFormat(fi)) return ICERR_BADFORMAT;
    if (!out) return ICERR_OK;
    DibOutput o;
    if (!Read(out, &fo) || !DecompressOutput(fi, fo, &o)) return ICERR_BADFORMAT;
    return ICERR_OK;
}

LRESULT DecompressGetFormat(const BITMAPINFOHEADER* in, BITMAPINFOHEADER* out) {
    DibFormat fi;
    if (!Read(in, &fi) || !IsZmbvFormat(fi)) return ICERR_BADFORMAT;
    if (!out) return sizeof(BITMAPINFOHEADER);
    WriteDibFormat(SuggestedOutput(fi), reinterpret_cast<uint8_t*>(out));
    return ICERR_OK;
}

LRESULT DecompressBegin(Instance* inst, const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
    DibFormat fi, fo;
    DibOutput o;
    if (!Read(in, &fi) || !Read(out, &fo) || !DecompressOutput(fi, fo, &o)) return ICERR_BADFORMAT;
    auto dec = std::make_unique<Decoder>();
    if (dec->Start(fi.width, fi.height < 0 ? -fi.height : fi.height) != Status::kOk)
        return ICERR_BADFORMAT;
    inst->decoder = std::move(dec);
    inst->decoderOut = o;
    inst->decoded = false;
    return ICERR_OK;
}

LRESULT Decompress(Instance* inst, DWORD flags, const BITMAPINFOHEADER* biIn, const void* in,
                   const BITMAPINFOHEADER* biOut, void* out) {
    if (!inst->decoder) {
        const LRESULT rc = DecompressBegin(inst, biIn, biOut);
        if (rc != ICERR_OK) return rc;
    }
    if (!biIn || !out) return ICERR_BADPARAM;
    const DWORD n = biIn->biSizeImage;
    // An empty chunk repeats the picture.
    if (n != 0 && !(flags & ICDECOMPRESS_NULLFRAME)) {
        if (!in) return ICERR_BADPARAM;
        const Status st = inst->decoder->Decode(static_cast<const uint8_t*>(in), n);
        if (st != Status::kOk) return ICERR_ERROR;
        inst->decoded = true;
    }
    if (!inst->decoded) return ICERR_ERROR;
    if (flags & ICDECOMPRESS_HURRYUP) return ICERR_OK;
    return WriteDib(*inst->decoder, inst->decoderOut, static_cast<uint8_t*>(out)) ? ICERR_OK
                                                                                  : ICERR_BADFORMAT;
}

// Only whole frames: no stretching, no part of the source.
bool WholeFrame(const ICDECOMPRESSEX* x) {
    return x && x->lpbiSrc && x->lpbiDst && x->xDst == 0 && x->yDst == 0 && x->xSrc == 0 &&
           x->ySrc == 0 && x->dxDst == x->dxSrc && x->dyDst == x->dySrc &&
           x->dxSrc == x->lpbiSrc->biWidth &&
           x->dySrc == (x->lpbiSrc->biHeight < 0 ? -x->lpbiSrc->biHeight : x->lpbiSrc->biHeight);
}

LRESULT GetInfo(ICINFO* info, LPARAM size) {
    if (!info) return sizeof(ICINFO);
    if (size < LPARAM(sizeof(ICINFO))) return 0;
    std::memset(info, 0, sizeof(ICINFO));
    info->dwSize = sizeof(ICINFO);
    info->fccType = ICTYPE_VIDEO;
    info->fccHandler = kFourCC;
    info->dwFlags = VIDCF_TEMPORAL | VIDCF_FASTTEMPORALC;
    info->dwVersion = 1;
    info->dwVersionICM = ICVERSION;
    std::wcscpy(info->szName, kName);
    std::wcscpy(info->szDescription, kDescription);
    return sizeof(ICINFO);
}

LRESULT Message(Instance* inst, UINT msg, LPARAM p1, LPARAM p2) {
    switch (msg) {
    case ICM_GETINFO: return GetInfo(reinterpret_cast<ICINFO*>(p1), p2);
    case ICM_GETSTATE:
        if (!p1) return sizeof(DriverState);
        if (p2 < LPARAM(sizeof(DriverState))) return ICERR_BADSIZE;
        std::memcpy(reinterpret_cast<void*>(p1), &inst->state, sizeof(DriverState));
        return sizeof(DriverState);
    case ICM_SETSTATE: {
        if (!p1) {
            inst->state = DriverState{};
            return 0;
        }
        if (p2 < LPARAM(sizeof(DriverState))) return 0;
        DriverState s;
        std::memcpy(&s, reinterpret_cast<const void*>(p1), sizeof s);
        if (s.version != kStateVersion || s.keyInterval < 1) return 0;
        inst->state = s;
        return sizeof(DriverState);
    }
    case ICM_GETDEFAULTKEYFRAMERATE:
        if (!p1) return ICERR_BADPARAM;
        *reinterpret_cast<DWORD*>(p1) = kDefaultKeyInterval;
        return ICERR_OK;
    case ICM_COMPRESS_FRAMES_INFO: return ICERR_OK;
    case ICM_COMPRESS_QUERY:
        return CompressQuery(reinterpret_cast<const BITMAPINFOHEADER*>(p1),
                             reinterpret_cast<const BITMAPINFOHEADER*>(p2));
    case ICM_COMPRESS_GET_FORMAT:
        return CompressGetFormat(reinterpret_cast<const BITMAPINFOHEADER*>(p1),
                                 reinterpret_cast<BITMAPINFOHEADER*>(p2));
    case ICM_COMPRESS_GET_SIZE: {
        DibFormat fi;
        if (!Read(reinterpret_cast<const BITMAPINFOHEADER*>(p1), &fi) || CompressInputBits(fi) == 0)
            return 0;
        return LRESULT(MaxCompressedBytes(fi));
    }
    case ICM_COMPRESS_BEGIN:
        return CompressBegin(inst, reinterpret_cast<const BITMAPINFOHEADER*>(p1),
                             reinterpret_cast<const BITMAPINFOHEADER*>(p2));
    case ICM_COMPRESS:
        if (!p1) return ICERR_BADPARAM;
        return Compress(inst, reinterpret_cast<ICCOMPRESS*>(p1));
    case ICM_COMPRESS_END: inst->encoder.reset(); return ICERR_OK;
    case ICM_DECOMPRESS_QUERY:
        return DecompressQuery(reinterpret_cast<const BITMAPINFOHEADER*>(p1),
                               reinterpret_cast<const BITMAPINFOHEADER*>(p2));
    case ICM_DECOMPRESS_GET_FORMAT:
        return DecompressGetFormat(reinterpret_cast<const BITMAPINFOHEADER*>(p1),
                                   reinterpret_cast<BITMAPINFOHEADER*>(p2));
    case ICM_DECOMPRESS_BEGIN:
        return DecompressBegin(inst, reinterpret_cast<const BITMAPINFOHEADER*>(p1),
                               reinterpret_cast<const BITMAPINFOHEADER*>(p2));
    case ICM_DECOMPRESS: {
        const ICDECOMPRESS* d = reinterpret_cast<const ICDECOMPRESS*>(p1);
        if (!d) return ICERR_BADPARAM;
        return Decompress(inst, d->dwFlags, d->lpbiInput, d->lpInput, d->lpbiOutput, d->lpOutput);
    }
    case ICM_DECOMPRESS_END:
    case ICM_DECOMPRESSEX_END: inst->decoder.reset(); return ICERR_OK;
    case ICM_DECOMPRESSEX_QUERY:
    case ICM_DECOMPRESSEX_BEGIN: {
        const ICDECOMPRESSEX* x = reinterpret_cast<const ICDECOMPRESSEX*>(p1);
        if (!WholeFrame(x)) return ICERR_BADFORMAT;
        return msg == ICM_DECOMPRESSEX_QUERY ? DecompressQuery(x->lpbiSrc, x->lpbiDst)
                                             : DecompressBegin(inst, x->lpbiSrc, x->lpbiDst);
    }
    case ICM_DECOMPRESSEX: {
        const ICDECOMPRESSEX* x = reinterpret_cast<const ICDECOMPRESSEX*>(p1);
        if (!WholeFrame(x)) return ICERR_BADFORMAT;
        return Decompress(inst, x->dwFlags, x->lpbiSrc, x->lpSrc, x->lpbiDst, x->lpDst);
    }
    case ICM_CONFIGURE:
    case ICM_ABOUT: return ICERR_UNSUPPORTED;  // nothing to set: the codec is lossless
    }
    return ICERR_UNSUPPORTED;
}

}  // namespace
}  // namespace tqk::zmbv

extern "C" LRESULT WINAPI DriverProc(DWORD_PTR id, HDRVR driver, UINT msg, LPARAM p1, LPARAM p2) {
    using tqk::zmbv::Instance;
    try {
        switch (msg) {
        case DRV_LOAD:
        case DRV_FREE:
        case DRV_ENABLE:
        case DRV_DISABLE: return 1;
        case DRV_INSTALL:
        case DRV_REMOVE: return DRV_OK;
        case DRV_QUERYCONFIGURE: return 0;
        case DRV_CONFIGURE: return DRVCNF_OK;
        case DRV_OPEN: {
            ICOPEN* open = reinterpret_cast<ICOPEN*>(p2);
            if (open && open->fccType != 0 && open->fccType != ICTYPE_VIDEO) return 0;
            Instance* inst = new (std::nothrow) Instance;
            if (open) open->dwError = inst ? ICERR_OK : ICERR_MEMORY;
            return reinterpret_cast<LRESULT>(inst);
        }
        case DRV_CLOSE: delete reinterpret_cast<Instance*>(id); return 1;
        }
        if (msg < DRV_USER) return DefDriverProc(id, driver, msg, p1, p2);
        Instance* inst = reinterpret_cast<Instance*>(id);
        if (!inst) return ICERR_BADHANDLE;
        return tqk::zmbv::Message(inst, msg, p1, p2);
    } catch (...) {
        return msg == DRV_OPEN ? 0 : ICERR_MEMORY;
    }
}
