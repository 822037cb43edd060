#include "sound_recovery.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "avi_file.h"
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

// The new WAV: RIFF, "fmt " as given, "data" of keep bytes from `from` at `offset` and pad
// bytes of silence, written beside and put in place when whole.
uint32_t WriteWave(const std::string& path, const std::vector<uint8_t>& fmt, avi::RandomFile* from,
                   uint64_t offset, const SoundFit& fit, uint8_t silence, std::string* error) {
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
    for (uint64_t at = 0; rc == 0 && at < fit.keep;) {
        const size_t n = size_t(std::min<uint64_t>(buffer.size(), fit.keep - at));
        if (!from->ReadAt(offset + at, buffer.data(), n)) {
            *error = "cannot read the recorded sound";
            w.Abandon();
            return 1;
        }
        rc = w.Write(buffer.data(), n);
        at += n;
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
    uint8_t bytes[kScratchNoteBytes];
    const uint64_t size = file.Size();
    if (size < kScratchNoteBytes || !file.ReadAt(0, bytes, sizeof bytes)) return false;
    return DecodeScratchNote(bytes, sizeof bytes, note, f) == NoteStatus::kOk;
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

void EncodeScratchNote(const ScratchNote& n, uint8_t out[kScratchNoteBytes]) {
    std::memcpy(out, kNoteMagic, 4);
    Put32(out + 4, kScratchNoteVersion);
    Put32(out + 8, uint32_t(n.Bits));
    Put32(out + 12, uint32_t(n.SamplesPerSec));
    Put32(out + 16, uint32_t(n.Channels));
    Put32(out + 20, n.HalfBufferBytes);
    Put32(out + 24, uint32_t(n.StartTime));
    Put32(out + 28, uint32_t(n.LengthSec));
}

NoteStatus DecodeScratchNote(const uint8_t* in, size_t n, ScratchNote* ret, PcmFormat* retFormat) {
    if (n < 8)
        return n >= 4 && std::memcmp(in, kNoteMagic, 4) != 0 ? NoteStatus::kNotANote
                                                             : NoteStatus::kTruncated;
    if (std::memcmp(in, kNoteMagic, 4) != 0) return NoteStatus::kNotANote;
    // A later version may add fields behind these; its first fields mean the same.
    if (Get32(in + 4) < kScratchNoteVersion) return NoteStatus::kNotANote;
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
    *ret = note;
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
    // The WAV writer's own scratch: a WAV that was not finished.
    (void)RemoveFile(ScratchPathFor(wavePath));

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
        if (WriteWave(temp, info.format, &file, info.dataOffset, want, SilenceByte(f), &r.error) !=
            0) {
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
    r.recordedBytes = scratch.Size();
    const SoundFit want = FitSound(r.recordedBytes, seconds, f);
    uint8_t fmt[18];
    EncodeFmtChunk(f, fmt);
    if (WriteWave(wavePath, std::vector<uint8_t>(fmt, fmt + 18), &scratch, 0, want, SilenceByte(f),
                  &r.error) != 0) {
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
