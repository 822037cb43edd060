// What a recording's sound leaves when its helper or its recorder died, and the WAV file made
// from it. While it records, the helper keeps a small note beside its scratch file with what a
// WAV needs (the format, the start time); the scratch file holds the sound buffer after buffer.
// A WAV is rebuilt from the two, or an existing one cut or padded with silence, so that it is
// as long as the movie beside it keeps. Portable: no <windows.h>; paths are UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "wave_math.h"

namespace tqk::snd {

// The note, little-endian:
//   0 "TVWN"   4 version   8 bits per sample   12 samples per second   16 channels
//   20 bytes of each capture buffer   24 start time (PerfMillis)   28 recording length (s)
// From version 2 on (a recording that can be paused), behind these:
//   32 count of moments (at most kMaxNoteMoments)   36 the moments, 32 bits each: the pauses
//   and resumes in milliseconds from the device's start, alternately, a pause first.
// The scratch file holds the device's whole time line; a WAV made from it takes only the
// recorded spans. A version 1 note (no moments) stands for a recording never paused.
constexpr size_t kScratchNoteBytes = 32;
constexpr size_t kScratchNoteV2Bytes = 36;  // without its moments
constexpr uint32_t kScratchNoteVersion = 2;
constexpr uint32_t kMaxNoteMoments = 65536;

struct ScratchNote {
    int32_t Bits = 0;
    int32_t SamplesPerSec = 0;
    int32_t Channels = 0;
    uint32_t HalfBufferBytes = 0;
    int32_t StartTime = 0;
    int32_t LengthSec = 0;
    std::vector<int64_t> Moments;  // pause, resume, pause...: ms from the device's start
};

// The note beside a scratch file: its path + ".info".
std::string ScratchNotePath(const std::string& scratchPath);
// The scratch file the recorder names for a WAV path: + ".wavtemp".
std::string WaveScratchPathFor(const std::string& wavePath);
// The WAV beside a movie: the movie's path without its extension + ".wav".
std::string WavePathForMovie(const std::string& moviePath);

// The note as this helper writes it (version 2, with the moments; beyond kMaxNoteMoments,
// pauses from the middle are left out, their sound kept).
std::vector<uint8_t> EncodeScratchNote(const ScratchNote& n);
// A note as version 1 wrote it (32 bytes, no moments), as earlier helpers left them.
void EncodeScratchNote(const ScratchNote& n, uint8_t out[kScratchNoteBytes]);

enum class NoteStatus { kOk, kTruncated, kNotANote, kNewerVersion, kBadFormat };
// Reads a note from n bytes; the format must be one a wave-in device records, and a count of
// moments no more than kMaxNoteMoments.
[[nodiscard]] NoteStatus DecodeScratchNote(const uint8_t* in, size_t n, ScratchNote* ret,
                                           PcmFormat* retFormat);

// How `have` bytes of sound become `seconds` long: the first `keep` bytes (whole sample
// frames) and `pad` bytes of silence behind them. seconds < 0 keeps what there is.
struct SoundFit {
    uint64_t keep = 0;
    uint64_t pad = 0;
    uint64_t Total() const { return keep + pad; }
};
SoundFit FitSound(uint64_t have, int32_t seconds, const PcmFormat& f);
// The byte of silence: 128 for 8-bit samples (unsigned), 0 for 16-bit.
uint8_t SilenceByte(const PcmFormat& f);
// A "data" chunk holds at most this: the RIFF sizes are 32-bit.
constexpr uint64_t kMaxWaveDataBytes = 0xFFFFFFFFull - 64;

enum class SoundOutcome {
    kNothing,    // neither a WAV nor a scratch file
    kUnchanged,  // the WAV was already as long as asked (or not to be fitted)
    kRebuilt,    // the WAV written from the scratch file (which is gone now)
    kFitted,     // the WAV cut or padded to the movie's length
    kNoNote,     // a scratch file without a readable note: left as it is
    kFailed,     // reading or writing failed: what was there is left as it was
};

struct SoundRecovery {
    SoundOutcome outcome = SoundOutcome::kNothing;
    std::string wavePath;
    std::string scratchPath;
    uint64_t recordedBytes = 0;  // sound found (the scratch file's or the WAV's data)
    uint64_t lengthBytes = 0;    // sound in the WAV now
    uint32_t bytesPerSec = 0;
    std::string error;
};

// Makes the WAV at wavePath whole: from its scratch file when there is no WAV (the note
// says the format and the recorded spans: a paused recording's WAV holds only those), and,
// when fit is set, an existing WAV cut or padded to `seconds`. A
// rebuilt WAV is `seconds` long, or as recorded when seconds < 0. Leftovers of a writer
// that died (the scratch file beside a whole WAV, its note, the WAV's own ".tmp~") go.
SoundRecovery RecoverSound(const std::string& wavePath, int32_t seconds, bool fit);

// The seconds of sound in a result (one decimal).
double SoundSeconds(const SoundRecovery& r);

}  // namespace tqk::snd
