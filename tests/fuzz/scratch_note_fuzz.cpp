// libFuzzer target for the note beside the sound helper's scratch file, as the recorder's
// start-up and the tool's repair read it: any bytes give a status, never a read past them,
// and a note that reads is one a wave-in device records, read back the same when written.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "record_spans.h"
#include "sound_recovery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tqk::snd::ScratchNote note;
    tqk::snd::PcmFormat f;
    if (tqk::snd::DecodeScratchNote(data, size, &note, &f) != tqk::snd::NoteStatus::kOk) return 0;
    if (f.BlockAlign == 0 || f.AvgBytesPerSec != f.BlockAlign * f.SamplesPerSec) std::abort();
    // Written back as this version: the version field may differ (an earlier or later one reads
    // as this one); the rest must not, the moments included when the input has them.
    const std::vector<uint8_t> again = tqk::snd::EncodeScratchNote(note);
    const size_t same = note.Moments.empty() ? tqk::snd::kScratchNoteBytes : again.size();
    if (again.size() < same || size < same) std::abort();
    if (std::memcmp(again.data() + 8, data + 8, same - 8) != 0) std::abort();
    if (note.Moments.size() > tqk::snd::kMaxNoteMoments) std::abort();
    // The spans a rebuilt WAV takes from a scratch file of any size stay inside it, in order.
    tqk::snd::PauseLine line;
    line.Assign(note.Moments);
    const uint64_t frames = uint64_t(note.HalfBufferBytes) << 4;
    const auto spans = line.Spans(int64_t(frames * 1000 / f.SamplesPerSec) + 2);
    uint64_t out = 0;
    for (const tqk::snd::SpanPlan& p : tqk::snd::PlanSpans(spans, f, 1, frames)) {
        if (p.inFrames && p.inFirst + p.inFrames > frames) std::abort();
        if (p.outFirst != out) std::abort();
        out += p.outFrames;
    }
    // Cut and pad plans stay inside the sizes a WAV can state.
    const tqk::snd::SoundFit fit =
        tqk::snd::FitSound(uint64_t(note.HalfBufferBytes) << 12, note.LengthSec, f);
    if (fit.Total() > tqk::snd::kMaxWaveDataBytes || fit.Total() % f.BlockAlign != 0) std::abort();
    return 0;
}
