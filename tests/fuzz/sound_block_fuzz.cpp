// The shared block as the sound helper reads it: decoded whole, then every value the helper
// derives from it (the PCM format, the capture buffers it allocates, the start wait, the
// length and the scratch path); and the helper's command line.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sound_block.h"
#include "wave_math.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tqk::snd;
    uint8_t block[kBlockBytes] = {};
    std::memcpy(block, data, size < kBlockBytes ? size : kBlockBytes);
    const SoundHelperBlock b = DecodeBlock(block);
    if (DecodeCode(block) != b.Code) std::abort();
    if (b.WavePath.size() > kPathField || b.ScratchPath.size() > kPathField) std::abort();
    // What was read can be written back, and reads the same; a path that filled its whole
    // field (no zero) cannot, and the helper replies without the paths then.
    uint8_t again[kBlockBytes];
    const bool fits = b.WavePath.size() < kPathField && b.ScratchPath.size() < kPathField;
    if (EncodeBlock(b, again) != fits) std::abort();
    SoundHelperBlock reply = b;
    reply.WavePath.clear();
    reply.ScratchPath.clear();
    if (!EncodeBlock(fits ? b : reply, again)) std::abort();
    const SoundHelperBlock c = DecodeBlock(again);
    if ((fits && (c.WavePath != b.WavePath || c.ScratchPath != b.ScratchPath)) ||
        c.Code != b.Code || c.Bits != b.Bits || c.BufferKb != b.BufferKb ||
        c.StartTime != b.StartTime || c.Moment != b.Moment || c.Progress != b.Progress)
        std::abort();

    for (const uint32_t granularity : {4096u, 65536u}) {
        const uint32_t half = HalfBufferBytes(b.BufferKb, granularity);
        if (half == 0 || half % granularity != 0 || half > kMaxHalfBufferBytes + granularity)
            std::abort();
        if (CopyPieceBytes(granularity) % granularity != 0) std::abort();
    }
    PcmFormat f;
    if (MakePcmFormat(b.Bits, b.SamplesPerSec, b.Channels, &f)) {
        if (f.BlockAlign == 0 || f.AvgBytesPerSec != f.BlockAlign * f.SamplesPerSec) std::abort();
        uint8_t fmt[18];
        EncodeFmtChunk(f, fmt);
        const int64_t ms = int64_t(b.LengthSec) * 1000 + (b.ActualStartTime & 0xFFFF);
        const uint64_t captured = uint64_t(uint32_t(b.BufferKb)) * 1024;
        const uint64_t n = SoundLengthBytes(ms, f, captured);
        if (n > captured || n % f.BlockAlign != 0) std::abort();
    }
    const int32_t ahead = StartTimeAheadMs(b.StartTime, b.ActualStartTime);
    if (ahead < 0 || ahead > kMaxStartWaitMs) std::abort();
    (void)DefaultScratchPath(b.ScratchPath);
    (void)FormatBytePosition(uint32_t(b.BufferKb));

    // The command line: the bytes after the block, or the whole input when it is short.
    const std::string line =
        size > kBlockBytes
            ? std::string(reinterpret_cast<const char*>(data) + kBlockBytes, size - kBlockBytes)
            : std::string(reinterpret_cast<const char*>(data), size);
    uint32_t pid = 0;
    if (ParseProcessId(line, &pid) && pid == 0) std::abort();
    return 0;
}
