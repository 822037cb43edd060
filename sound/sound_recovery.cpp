#include "sound_recovery.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "avi_file.h"
#include "record_spans.h"
#include "safe_file.h"
#include "wav_reader.h"

namespace tqk::snd {
namespace {

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
uint32_t Get32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

constexpr uint8_t kNoteMagic[4] = {'T', 'V', 'W', 'N'};
constexpr size_t kCopyBytes = size_t{1} << 20;

// Bytes [offset, offset + bytes) of a file.
struct Piece {
    uint64_t offset = 0, bytes = 0;
};

// The new WAV: RIFF, "fmt " as given, "data" of the first keep bytes of the pieces of `from`
// joined, and pad bytes of silence, written beside and put in place when whole.
uint32_t WriteWave(const std::string& path, const std::vector<uint8_t>& fmt, avi::RandomFile* from,
                   const std::vector<Piece>& pieces, const SoundFit& fit, uint8_t silence,
                   std::string* error) {
    const uint64_t data = fit.Total();
    const uint64_t padByte = data & 1;
    const uint64_t riff = 4 + 8 + fmt.size() + (fmt.size() & 1) + 8 + data + padByte;
    std::string head;
    auto u32 = [&](uint64_t v) {
        uint8_t b[4];
        Put32(b, uint32_t(v));
        head.append(reinterpret_cast<const char*>(b), 4);
    };
    head += "RIFF";
    u32(riff);
    head += "WAVEfmt ";
    u32(fmt.size());
    head.append(reinterpret_cast<const char*>(fmt.data()), fmt.size());
    if (fmt.size() & 1) head += '\0';
    head += "data";
    u32(data);
    SafeFileWriter w;
    uint32_t rc = w.Open(path);
    if (rc == 0) rc = w.Write(head.data(), head.size());
    std::vector<uint8_t> buffer(
        size_t(std::min<uint64_t>(kCopyBytes, std::max(fit.keep, fit.pad))));
    uint64_t left = fit.keep;
    for (const Piece& piece : pieces) {
        const uint64_t take = std::min(left, piece.bytes);
        left -= take;
        for (uint64_t at = 0; rc == 0 && at < take;) {
            const size_t n = size_t(std::min<uint64_t>(buffer.size(), take - at));
            if (!from->ReadAt(piece.offset + at, buffer.data(), n)) {
                *error = "cannot read the recorded sound";
                w.Abandon();
                return 1;
            }
            rc = w.Write(buffer.data(), n);
            at += n;
        }
    }
    if (fit.pad) std::fill(buffer.begin(), buffer.end(), silence);
    for (uint64_t at = 0; rc == 0 && at < fit.pad;) {
        const size_t n = size_t(std::min<uint64_t>(buffer.size(), fit.pad - at));
        rc = w.Write(buffer.data(), n);
        at += n;
    }
    if (rc == 0 && padByte) rc = w.Write("", 1);
    if (rc == 0) rc = w.Commit();
    if (rc != 0) *error = "cannot write the WAV file (error " + std::to_string(rc) + ")";
    return rc;
}

bool ReadNote(const std::string& path, ScratchNote* note, PcmFormat* f) {
    avi::StdioFile file;
    if (!file.Open(path, avi::StdioFile::Mode::kRead)) return false;
    // Never more than the longest note: a damaged one cannot size the memory.
    const uint64_t size =
        std::min<uint64_t>(file.Size(), kScratchNoteV2Bytes + 4 * uint64_t{kMaxNoteMoments});
    std::vector<uint8_t> bytes(size_t(size), 0);
    if (size < kScratchNoteBytes || !file.ReadAt(0, bytes.data(), bytes.size())) return false;
    return DecodeScratchNote(bytes.data(), bytes.size(), note, f) == NoteStatus::kOk;
}

// The scratch file's recorded spans as byte ranges: all of it for a recording never paused,
// the open span running to the file's end.
std::vector<Piece> RecordedPieces(const ScratchNote& n, const PcmFormat& f, uint64_t size) {
    const uint64_t frames = size / f.BlockAlign;
    PauseLine line;
    line.Assign(n.Moments);
    // A stop behind the file's last frame: the last span takes all there is.
    const int64_t endMs = int64_t(frames * 1000 / f.SamplesPerSec) + 2;
    std::vector<Piece> pieces;
    for (const SpanPlan& p : PlanSpans(line.Spans(endMs), f, 1, frames))
        if (p.inFrames) pieces.push_back({p.inFirst * f.BlockAlign, p.inFrames * f.BlockAlign});
    return pieces;
}

}  // namespace

std::string ScratchNotePath(const std::string& scratchPath) { return scratchPath + ".info"; }

std::string WaveScratchPathFor(const std::string& wavePath) { return wavePath + ".wavtemp"; }

std::string WavePathForMovie(const std::string& moviePath) {
    const size_t slash = moviePath.find_last_of("\\/");
    const size_t dot = moviePath.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? moviePath.substr(0, dot) : moviePath) + ".wav";
}

namespace {

void PutHead(const ScratchNote& n, uint32_t version, uint8_t* out) {
    std::memcpy(out, kNoteMagic, 4);
    Put32(out + 4, version);
    Put32(out + 8, uint32_t(n.Bits));
    Put32(out + 12, uint32_t(n.SamplesPerSec));
    Put32(out + 16, uint32_t(n.Channels));
    Put32(out + 20, n.HalfBufferBytes);
    Put32(out + 24, uint32_t(n.StartTime));
    Put32(out + 28, uint32_t(n.LengthSec));
}

}  // namespace

void EncodeScratchNote(const ScratchNote& n, uint8_t out[kScratchNoteBytes]) { PutHead(n, 1, out); }

std::vector<uint8_t> EncodeScratchNote(const ScratchNote& n) {
    std::vector<int64_t> moments = n.Moments;
    if (moments.size() > kMaxNoteMoments) {
        // Pauses from the middle are left out (their sound kept rather than recorded sound
        // lost): the recording's beginning and its end keep their spans.
        const size_t drop = (moments.size() - kMaxNoteMoments + 1) / 2 * 2;
        const size_t at = kMaxNoteMoments / 2;
        moments.erase(moments.begin() + long(at), moments.begin() + long(at + drop));
    }
    std::vector<uint8_t> out(kScratchNoteV2Bytes + 4 * moments.size());
    PutHead(n, kScratchNoteVersion, out.data());
    Put32(out.data() + 32, uint32_t(moments.size()));
    for (size_t i = 0; i < moments.size(); ++i)
        Put32(out.data() + kScratchNoteV2Bytes + 4 * i, uint32_t(int32_t(moments[i])));
    return out;
}

NoteStatus DecodeScratchNote(const uint8_t* in, size_t n, ScratchNote* ret, PcmFormat* retFormat) {
    if (n < 8)
        return n >= 4 && std::memcmp(in, kNoteMagic, 4) != 0 ? NoteStatus::kNotANote
                                                             : NoteStatus::kTruncated;
    if (std::memcmp(in, kNoteMagic, 4) != 0) return NoteStatus::kNotANote;
    // A later version may add fields behind these; its first fields mean the same.
    const uint32_t version = Get32(in + 4);
    if (version < 1) return NoteStatus::kNotANote;
    if (n < kScratchNoteBytes) return NoteStatus::kTruncated;
    ScratchNote note;
    note.Bits = int32_t(Get32(in + 8));
    note.SamplesPerSec = int32_t(Get32(in + 12));
    note.Channels = int32_t(Get32(in + 16));
    note.HalfBufferBytes = Get32(in + 20);
    note.StartTime = int32_t(Get32(in + 24));
    note.LengthSec = int32_t(Get32(in + 28));
    PcmFormat f;
    if (!MakePcmFormat(note.Bits, note.SamplesPerSec, note.Channels, &f))
        return NoteStatus::kBadFormat;
    if (version >= 2) {
        if (n < kScratchNoteV2Bytes) return NoteStatus::kTruncated;
        const uint32_t count = Get32(in + 32);
        if (count > kMaxNoteMoments) return NoteStatus::kBadFormat;
        if (n - kScratchNoteV2Bytes < size_t{4} * count) return NoteStatus::kTruncated;
        note.Moments.resize(count);
        for (uint32_t i = 0; i < count; ++i)
            note.Moments[i] = int32_t(Get32(in + kScratchNoteV2Bytes + 4 * size_t{i}));
    }
    *ret = std::move(note);
    *retFormat = f;
    return NoteStatus::kOk;
}

SoundFit FitSound(uint64_t have, int32_t seconds, const PcmFormat& f) {
    SoundFit fit;
    if (f.BlockAlign == 0) return fit;
    uint64_t whole = std::min(have, kMaxWaveDataBytes);
    whole -= whole % f.BlockAlign;
    if (seconds < 0) {
        fit.keep = whole;
        return fit;
    }
    uint64_t target = uint64_t(seconds) * f.AvgBytesPerSec;
    if (target > kMaxWaveDataBytes) target = kMaxWaveDataBytes - kMaxWaveDataBytes % f.BlockAlign;
    fit.keep = std::min(whole, target);
    fit.pad = target - fit.keep;
    return fit;
}

uint8_t SilenceByte(const PcmFormat& f) { return f.BitsPerSample == 8 ? 128 : 0; }

double SoundSeconds(const SoundRecovery& r) {
    return r.bytesPerSec ? double(r.lengthBytes) / r.bytesPerSec : 0;
}

SoundRecovery RecoverSound(const std::string& wavePath, int32_t seconds, bool fit) {
    SoundRecovery r;
    r.wavePath = wavePath;
    r.scratchPath = WaveScratchPathFor(wavePath);
    const std::string note = ScratchNotePath(r.scratchPath);
    // The WAV writer's own scratch: a WAV that was not finished; a note not put in place.
    (void)RemoveFile(ScratchPathFor(wavePath));
    (void)RemoveFile(note + ".new");

    if (avi::FileExists(wavePath)) {
        // A WAV is put in place whole, so its scratch file is only a leftover now.
        (void)RemoveFile(r.scratchPath);
        (void)RemoveFile(note);
        avi::StdioFile file;
        avi::WavInfo info;
        if (!file.Open(wavePath, avi::StdioFile::Mode::kRead) ||
            avi::ReadWavInfo(file, &info) != avi::WavStatus::kOk || info.formatTag != 1) {
            r.outcome = SoundOutcome::kFailed;
            r.error = "not a PCM WAV file";
            return r;
        }
        PcmFormat f;
        f.Channels = info.channels;
        f.SamplesPerSec = info.samplesPerSec;
        f.BitsPerSample = info.bitsPerSample;
        f.BlockAlign = info.blockAlign;
        f.AvgBytesPerSec = info.avgBytesPerSec;
        r.bytesPerSec = f.AvgBytesPerSec;
        r.recordedBytes = r.lengthBytes = info.samples * info.blockAlign;
        const SoundFit want = FitSound(r.recordedBytes, seconds, f);
        if (!fit || seconds < 0 || want.Total() == r.recordedBytes) {
            r.outcome = SoundOutcome::kUnchanged;
            return r;
        }
        const std::string temp = wavePath + ".fit~";
        (void)RemoveFile(temp);
        // The WAV is read while its replacement is written: the replacement goes beside it
        // under another name first.
        if (WriteWave(temp, info.format, &file, {{info.dataOffset, r.recordedBytes}}, want,
                      SilenceByte(f), &r.error) != 0) {
            r.outcome = SoundOutcome::kFailed;
            return r;
        }
        file.Close();
        const uint32_t rc = ReplaceFileWith(temp, wavePath);
        if (rc != 0) {
            (void)RemoveFile(temp);
            r.outcome = SoundOutcome::kFailed;
            r.error = "cannot replace the WAV file (error " + std::to_string(rc) + ")";
            return r;
        }
        r.lengthBytes = want.Total();
        r.outcome = SoundOutcome::kFitted;
        return r;
    }

    if (!avi::FileExists(r.scratchPath)) {
        (void)RemoveFile(note);
        return r;
    }
    ScratchNote n;
    PcmFormat f;
    if (!ReadNote(note, &n, &f)) {
        r.outcome = SoundOutcome::kNoNote;
        return r;
    }
    r.bytesPerSec = f.AvgBytesPerSec;
    avi::StdioFile scratch;
    if (!scratch.Open(r.scratchPath, avi::StdioFile::Mode::kRead)) {
        r.outcome = SoundOutcome::kFailed;
        r.error = "cannot open the scratch file";
        return r;
    }
    // The scratch file holds the device's whole time line: a paused recording's WAV takes the
    // recorded spans only, joined.
    const std::vector<Piece> pieces = RecordedPieces(n, f, scratch.Size());
    for (const Piece& p : pieces) r.recordedBytes += p.bytes;
    const SoundFit want = FitSound(r.recordedBytes, seconds, f);
    uint8_t fmt[18];
    EncodeFmtChunk(f, fmt);
    if (WriteWave(wavePath, std::vector<uint8_t>(fmt, fmt + 18), &scratch, pieces, want,
                  SilenceByte(f), &r.error) != 0) {
        r.outcome = SoundOutcome::kFailed;
        return r;
    }
    scratch.Close();
    (void)RemoveFile(r.scratchPath);
    (void)RemoveFile(note);
    r.lengthBytes = want.Total();
    r.outcome = SoundOutcome::kRebuilt;
    return r;
}

}  // namespace tqk::snd
