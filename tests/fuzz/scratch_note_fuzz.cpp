// libFuzzer target for the note beside the sound helper's scratch file, as the recorder's
// start-up and the tool's repair read it: any bytes give a status, never a read past them,
// and a note that reads is one a wave-in device records, read back the same when written.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "sound_recovery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tqk::snd::ScratchNote note;
    tqk::snd::PcmFormat f;
    if (tqk::snd::DecodeScratchNote(data, size, &note, &f) != tqk::snd::NoteStatus::kOk) return 0;
    if (f.BlockAlign == 0 || f.AvgBytesPerSec != f.BlockAlign * f.SamplesPerSec) std::abort();
    uint8_t again[tqk::snd::kScratchNoteBytes];
    tqk::snd::EncodeScratchNote(note, again);
    // Version fields may differ (a later version reads as this one); the rest must not.
    if (std::memcmp(again + 8, data + 8, tqk::snd::kScratchNoteBytes - 8) != 0) std::abort();
    // Cut and pad plans stay inside the sizes a WAV can state.
    const tqk::snd::SoundFit fit =
        tqk::snd::FitSound(uint64_t(note.HalfBufferBytes) << 12, note.LengthSec, f);
    if (fit.Total() > tqk::snd::kMaxWaveDataBytes || fit.Total() % f.BlockAlign != 0) std::abort();
    return 0;
}
