#include "movie_cut.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "../common/result_code.h"
#include "avi_file.h"
#include "safe_file.h"
#include "wav_reader.h"

namespace tqk {

uint64_t SampleAtFrame(int64_t frame, uint32_t rate, int32_t fps) {
    if (frame <= 0 || fps <= 0) return 0;
    const uint64_t f = uint64_t(frame), r = rate, d = uint64_t(fps);
    // frame x rate fits easily: frames stay below 2^31, rates below 2^32.
    return (f * r * 2 + d) / (d * 2);
}

int64_t FrameAtSeconds(double seconds, int32_t fps) {
    return int64_t(std::floor(seconds * fps + 0.5));
}

int32_t WriteMovieSpan(FrameSeeker& seeker, int32_t first, int32_t end, const std::string& utf8Out,
                       uint32_t* error) {
    *error = 0;
    const MovieHeader& src = seeker.Header();
    if (first < 0 || end <= first || end > seeker.Frames() || src.fps <= 0) return kErrBadFile;
    const int32_t frames = end - first;
    const int32_t seconds = (frames + src.fps - 1) / src.fps;
    MovieHeader h = src;
    h.sec = seconds;
    MovieEncoder enc;
    int32_t rc = enc.Start(h);
    if (rc != kOk) return rc;
    rc = seeker.Seek(first);
    if (rc != kOk) return rc;
    SafeFileWriter out;
    auto fail = [&](uint32_t e) {
        *error = e;
        return kErrApi;
    };
    if (uint32_t e = out.Open(utf8Out)) return fail(e);
    if (uint32_t e = out.Write(enc.Header(), kHeaderBytes)) return fail(e);
    size_t bytes = 0;
    const uint8_t* rec = enc.EncodeFrame(seeker.Frame(), &bytes);
    if (uint32_t e = out.Write(rec, bytes)) return fail(e);
    // The records after the first are packed against their predecessors, as the span keeps
    // them: copied as they are, a piece at a time.
    if (frames > 1) {
        const FrameRecord& a = seeker.Record(first + 1);
        const FrameRecord& z = seeker.Record(end - 1);
        const uint64_t from = a.offset, to = z.offset + kRecordHeadBytes + z.packedBytes;
        std::vector<uint8_t> piece(size_t(std::min<uint64_t>(to - from, uint64_t{4} << 20)));
        for (uint64_t at = from; at < to;) {
            const size_t n = size_t(std::min<uint64_t>(piece.size(), to - at));
            if (seeker.File().ReadAt(at, piece.data(), n) != n) return kErrFrameSize;
            if (uint32_t e = out.Write(piece.data(), n)) return fail(e);
            at += n;
        }
    }
    for (int64_t k = frames; k < int64_t(seconds) * src.fps; ++k) {
        rec = enc.EncodeDropped(&bytes);
        if (uint32_t e = out.Write(rec, bytes)) return fail(e);
    }
    if (uint32_t e = out.Commit()) return fail(e);
    return kOk;
}

uint32_t WavRate(const std::string& utf8Wav) {
    avi::StdioFile in;
    if (!in.Open(utf8Wav, avi::StdioFile::Mode::kRead)) return 0;
    avi::WavInfo info;
    return avi::ReadWavInfo(in, &info) == avi::WavStatus::kOk ? info.samplesPerSec : 0;
}

WavSpanStatus WriteWavSpan(const std::string& utf8Wav, uint64_t firstSample, uint64_t endSample,
                           const std::string& utf8Out, uint64_t* written, uint32_t* error) {
    *written = 0;
    *error = 0;
    avi::StdioFile in;
    if (!in.Open(utf8Wav, avi::StdioFile::Mode::kRead)) return WavSpanStatus::kReadFailed;
    avi::WavInfo info;
    switch (avi::ReadWavInfo(in, &info)) {
    case avi::WavStatus::kOk: break;
    case avi::WavStatus::kReadFailed: return WavSpanStatus::kReadFailed;
    case avi::WavStatus::kBadFormat: return WavSpanStatus::kBadFormat;
    }
    if (info.blockAlign == 0) return WavSpanStatus::kBadFormat;
    const uint64_t a = std::min(firstSample, info.samples);
    const uint64_t z = std::clamp(endSample, a, info.samples);
    const uint64_t dataBytes = (z - a) * info.blockAlign;
    const uint64_t fmtBytes = info.format.size() + (info.format.size() & 1);
    if (dataBytes + fmtBytes + 20 > 0xFFFFFFFFull) return WavSpanStatus::kBadFormat;
    std::vector<uint8_t> head(12 + 8 + fmtBytes + 8, 0);
    std::memcpy(&head[0], "RIFF", 4);
    StoreLE32(&head[4], uint32_t(4 + 8 + fmtBytes + 8 + dataBytes + (dataBytes & 1)));
    std::memcpy(&head[8], "WAVE", 4);
    std::memcpy(&head[12], "fmt ", 4);
    StoreLE32(&head[16], uint32_t(info.format.size()));
    std::memcpy(&head[20], info.format.data(), info.format.size());
    std::memcpy(&head[20 + fmtBytes], "data", 4);
    StoreLE32(&head[24 + fmtBytes], uint32_t(dataBytes));
    SafeFileWriter out;
    auto fail = [&](uint32_t e) {
        *error = e;
        return WavSpanStatus::kWriteFailed;
    };
    if (uint32_t e = out.Open(utf8Out)) return fail(e);
    if (uint32_t e = out.Write(head.data(), head.size())) return fail(e);
    std::vector<uint8_t> piece(
        size_t(std::min<uint64_t>(std::max<uint64_t>(dataBytes, 1), uint64_t{1} << 20)));
    const uint64_t from = info.dataOffset + a * info.blockAlign;
    for (uint64_t done = 0; done < dataBytes;) {
        const size_t n = size_t(std::min<uint64_t>(piece.size(), dataBytes - done));
        if (!in.ReadAt(from + done, piece.data(), n)) return WavSpanStatus::kReadFailed;
        if (uint32_t e = out.Write(piece.data(), n)) return fail(e);
        done += n;
    }
    if (dataBytes & 1) {
        const uint8_t pad = 0;
        if (uint32_t e = out.Write(&pad, 1)) return fail(e);
    }
    if (uint32_t e = out.Commit()) return fail(e);
    *written = z - a;
    return WavSpanStatus::kOk;
}

}  // namespace tqk
