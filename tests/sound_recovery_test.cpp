// What a recording's sound leaves when its helper or recorder died: the note beside the scratch
// file (hostile and cut-short notes too), the cut and pad arithmetic, and the WAV made from the
// scratch file or fitted to the movie's length, as files on disk.
#include "sound_recovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "avi_file.h"
#include "fault_seam.h"
#include "temp_dir.h"
#include "wav_reader.h"

namespace tqk::snd {
namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

Bytes ReadAll(const std::string& path) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
void WriteAll(const std::string& path, const Bytes& b) {
    std::ofstream(fs::u8path(path), std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}
bool Exists(const std::string& path) { return fs::exists(fs::u8path(path)); }

ScratchNote Note(int bits, int rate, int channels) {
    ScratchNote n;
    n.Bits = bits;
    n.SamplesPerSec = rate;
    n.Channels = channels;
    n.HalfBufferBytes = 262144;
    n.StartTime = -123456;
    n.LengthSec = 3600;
    return n;
}

Bytes NoteBytes(const ScratchNote& n) {
    Bytes b(kScratchNoteBytes);
    EncodeScratchNote(n, b.data());
    return b;
}

// A recognisable sound: every byte from its position.
Bytes Sound(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 7 + 1);
    return b;
}

// The WAV's format and data as a reader of the suite takes them.
struct Wave {
    avi::WavInfo info;
    Bytes data;
};
Wave ReadWave(const std::string& path) {
    Wave w;
    avi::StdioFile f;
    EXPECT_TRUE(f.Open(path, avi::StdioFile::Mode::kRead));
    EXPECT_EQ(avi::ReadWavInfo(f, &w.info), avi::WavStatus::kOk);
    const Bytes all = ReadAll(path);
    w.data.assign(all.begin() + long(w.info.dataOffset),
                  all.begin() + long(w.info.dataOffset + w.info.samples * w.info.blockAlign));
    return w;
}

TEST(ScratchNote, RoundTripsAndRefusesWhatIsNoNote) {
    const ScratchNote n = Note(16, 48000, 2);
    const Bytes b = NoteBytes(n);
    ASSERT_EQ(std::string(b.begin(), b.begin() + 4), "TVWN");
    ScratchNote got;
    PcmFormat f;
    ASSERT_EQ(DecodeScratchNote(b.data(), b.size(), &got, &f), NoteStatus::kOk);
    EXPECT_EQ(got.StartTime, -123456);
    EXPECT_EQ(got.LengthSec, 3600);
    EXPECT_EQ(got.HalfBufferBytes, 262144u);
    EXPECT_EQ(f.AvgBytesPerSec, 192000u);
    EXPECT_EQ(f.BlockAlign, 4);

    // Every shorter piece of a note is cut short, never read past its end.
    for (size_t len = 0; len < b.size(); ++len) {
        SCOPED_TRACE(len);
        const Bytes part(b.begin(), b.begin() + long(len));
        EXPECT_EQ(DecodeScratchNote(part.data(), part.size(), &got, &f), NoteStatus::kTruncated);
    }
    Bytes other = b;
    other[0] = 'R';
    EXPECT_EQ(DecodeScratchNote(other.data(), other.size(), &got, &f), NoteStatus::kNotANote);
    other = b;
    other[4] = 0;  // version 0
    EXPECT_EQ(DecodeScratchNote(other.data(), other.size(), &got, &f), NoteStatus::kNotANote);
    // A later version keeps the first fields' meaning (the moments of version 2 included) and
    // may add more.
    ScratchNote paused = n;
    paused.Moments = {1000, 2500, 4000};
    other = EncodeScratchNote(paused);
    other[4] = 3;
    other.resize(other.size() + 64, 0xEE);
    ASSERT_EQ(DecodeScratchNote(other.data(), other.size(), &got, &f), NoteStatus::kOk);
    EXPECT_EQ(got.Moments, paused.Moments);

    struct Bad {
        int bits, rate, channels;
    };
    for (const Bad& bad : {Bad{12, 44100, 2}, Bad{16, 0, 2}, Bad{16, -44100, 2}, Bad{16, 44100, 3},
                           Bad{8, 44100, 0}, Bad{16, 1 << 30, 1}}) {
        SCOPED_TRACE(std::to_string(bad.bits) + "/" + std::to_string(bad.rate) + "/" +
                     std::to_string(bad.channels));
        const Bytes hostile = NoteBytes(Note(bad.bits, bad.rate, bad.channels));
        EXPECT_EQ(DecodeScratchNote(hostile.data(), hostile.size(), &got, &f),
                  NoteStatus::kBadFormat);
    }
}

// Version 2 carries the pauses and resumes; version 1 notes (no moments) still read.
TEST(ScratchNote, CarriesTheMomentsAndReadsTheFirstVersion) {
    ScratchNote n = Note(8, 22050, 1);
    n.Moments = {0, 300, 1234, 99999, -5, 2000000000};
    const Bytes b = EncodeScratchNote(n);
    ASSERT_EQ(b.size(), 36u + 4 * 6);
    EXPECT_EQ(b[4], 2);
    EXPECT_EQ(b[32], 6);
    ScratchNote got;
    PcmFormat f;
    ASSERT_EQ(DecodeScratchNote(b.data(), b.size(), &got, &f), NoteStatus::kOk);
    EXPECT_EQ(got.Moments, n.Moments);
    EXPECT_EQ(got.SamplesPerSec, 22050);
    // Cut anywhere, it is short, never read past.
    for (size_t len = 0; len < b.size(); ++len) {
        SCOPED_TRACE(len);
        EXPECT_EQ(DecodeScratchNote(b.data(), len, &got, &f), NoteStatus::kTruncated);
    }
    // A count beyond any note's: refused before anything is sized by it.
    Bytes hostile = b;
    hostile[32] = hostile[33] = hostile[34] = hostile[35] = 0xFF;
    EXPECT_EQ(DecodeScratchNote(hostile.data(), hostile.size(), &got, &f), NoteStatus::kBadFormat);
    // An earlier helper's note: no moments.
    const Bytes v1 = NoteBytes(Note(16, 44100, 2));
    ASSERT_EQ(v1[4], 1);
    ASSERT_EQ(DecodeScratchNote(v1.data(), v1.size(), &got, &f), NoteStatus::kOk);
    EXPECT_TRUE(got.Moments.empty());
    // More pauses than a note holds: the beginning and the end keep their moments.
    n.Moments.clear();
    for (int64_t i = 0; i < int64_t(kMaxNoteMoments) + 11; ++i) n.Moments.push_back(i * 10);
    const Bytes many = EncodeScratchNote(n);
    ASSERT_EQ(DecodeScratchNote(many.data(), many.size(), &got, &f), NoteStatus::kOk);
    ASSERT_LE(got.Moments.size(), size_t{kMaxNoteMoments});
    EXPECT_EQ(got.Moments.size() % 2, n.Moments.size() % 2);  // paused or not, as it was
    EXPECT_EQ(got.Moments.front(), 0);
    EXPECT_EQ(got.Moments.back(), n.Moments.back());
}

TEST(SoundFit, CutsOrPadsToWholeSecondsInWholeFrames) {
    PcmFormat stereo16, mono8;
    ASSERT_TRUE(MakePcmFormat(16, 48000, 2, &stereo16));
    ASSERT_TRUE(MakePcmFormat(8, 11025, 1, &mono8));
    struct Case {
        const char* name;
        uint64_t have;
        int32_t seconds;
        const PcmFormat& f;
        uint64_t keep, pad;
    };
    const Case cases[] = {
        {"longer: cut", 5 * 192000 + 777, 4, stereo16, 4 * 192000, 0},
        {"shorter: padded", 2 * 192000 + 6, 3, stereo16, 2 * 192000 + 4, 192000 - 4},
        {"exact", 3 * 192000, 3, stereo16, 3 * 192000, 0},
        {"nothing recorded", 0, 2, stereo16, 0, 2 * 192000},
        {"a part frame is dropped", 4 * 192000 + 3, -1, stereo16, 4 * 192000, 0},
        {"as recorded", 11025 * 7 + 5, -1, mono8, 11025 * 7 + 5, 0},
        {"zero seconds", 500, 0, mono8, 0, 0},
        {"an hour", 3600ull * 192000 + 10000, 3600, stereo16, 3600ull * 192000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SoundFit fit = FitSound(c.have, c.seconds, c.f);
        EXPECT_EQ(fit.keep, c.keep);
        EXPECT_EQ(fit.pad, c.pad);
    }
    // The RIFF sizes bound a WAV: more than 4 GiB of sound is cut there, in whole frames.
    const SoundFit huge = FitSound(uint64_t{1} << 40, 30000, stereo16);
    EXPECT_LE(huge.Total(), kMaxWaveDataBytes);
    EXPECT_EQ(huge.Total() % 4, 0u);
    EXPECT_EQ(SilenceByte(mono8), 128);
    EXPECT_EQ(SilenceByte(stereo16), 0);
}

TEST(SoundRecovery, NamesBesideTheMovie) {
    EXPECT_EQ(WavePathForMovie("C:\\rec\\a.TQK"), "C:\\rec\\a.wav");
    EXPECT_EQ(WavePathForMovie("C:\\rec\\a.mov.TQK"), "C:\\rec\\a.mov.wav");
    EXPECT_EQ(WavePathForMovie("C:\\re.c\\movie"), "C:\\re.c\\movie.wav");
    EXPECT_EQ(WavePathForMovie("/tmp/録画.TQK"), "/tmp/録画.wav");
    EXPECT_EQ(WaveScratchPathFor("C:\\rec\\a.wav"), "C:\\rec\\a.wav.wavtemp");
    EXPECT_EQ(ScratchNotePath("C:\\rec\\a.wav.wavtemp"), "C:\\rec\\a.wav.wavtemp.info");
}

// A helper that died leaves its scratch file and note: the WAV is made from them at the
// movie's length (cut or padded with silence) and they go; the sound recorded is unchanged.
TEST(SoundRecovery, RebuildsTheWaveFromTheScratchFile) {
    test::TempDir dir("taviro_sndrec_");
    struct Case {
        const char* name;
        int bits, rate, channels;
        size_t recorded;
        int32_t seconds;
    };
    const Case cases[] = {
        {"padded", 16, 48000, 2, 2 * 192000 + 4000, 3},
        {"cut", 16, 44100, 2, 5 * 176400 + 262144, 4},
        {"8-bit mono padded", 8, 11025, 1, 11025 / 2 + 1, 1},
        {"as recorded", 16, 22050, 1, 3 * 44100 + 2, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string wav = dir.File(std::string("録音 ") + c.name + ".wav");
        const std::string scratch = WaveScratchPathFor(wav);
        const Bytes sound = Sound(c.recorded);
        WriteAll(scratch, sound);
        WriteAll(ScratchNotePath(scratch), NoteBytes(Note(c.bits, c.rate, c.channels)));
        WriteAll(wav + ".tmp~", Bytes(100, 1));  // the helper died writing its WAV

        const SoundRecovery r = RecoverSound(wav, c.seconds, true);
        ASSERT_EQ(r.outcome, SoundOutcome::kRebuilt) << r.error;
        EXPECT_EQ(r.recordedBytes, c.recorded);
        EXPECT_FALSE(Exists(scratch));
        EXPECT_FALSE(Exists(ScratchNotePath(scratch)));
        EXPECT_FALSE(Exists(wav + ".tmp~"));
        const Wave w = ReadWave(wav);
        EXPECT_EQ(w.info.formatTag, 1);
        EXPECT_EQ(w.info.format.size(), 18u);
        EXPECT_EQ(w.info.samplesPerSec, uint32_t(c.rate));
        EXPECT_EQ(w.info.channels, c.channels);
        EXPECT_EQ(w.info.bitsPerSample, c.bits);
        const size_t align = size_t(c.channels * c.bits / 8);
        const size_t want =
            c.seconds < 0 ? c.recorded - c.recorded % align : size_t(c.seconds) * c.rate * align;
        ASSERT_EQ(w.data.size(), want);
        EXPECT_EQ(r.lengthBytes, want);
        const size_t kept = std::min(want, c.recorded - c.recorded % align);
        EXPECT_TRUE(std::equal(w.data.begin(), w.data.begin() + long(kept), sound.begin()));
        const uint8_t silence = c.bits == 8 ? 128 : 0;
        EXPECT_EQ(std::count(w.data.begin() + long(kept), w.data.end(), silence),
                  long(want - kept));
    }
}

// A helper that died after pauses: its scratch file holds the device's whole time line, and the
// WAV made from it holds only the recorded spans, joined, at every depth; paused at its death,
// the last span ends at the pause.
TEST(SoundRecovery, RebuildsOnlyTheRecordedSpansOfAPausedRecording) {
    test::TempDir dir("taviro_sndrec_");
    struct Case {
        const char* name;
        int bits, rate, channels;
        std::vector<int64_t> moments;
        int32_t seconds;
    };
    const Case cases[] = {
        {"two pauses, recording", 16, 44100, 2, {1000, 2500, 3000, 3200}, -1},
        {"paused at the end", 8, 11025, 1, {520, 1520, 2240}, -1},
        {"paused, fitted to the movie", 16, 48000, 1, {1000, 2000, 2600}, 2},
        {"pause before the first sound", 16, 22050, 2, {0, 700}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string wav = dir.File(std::string(c.name) + ".wav");
        const std::string scratch = WaveScratchPathFor(wav);
        const size_t align = size_t(c.channels * c.bits / 8);
        const size_t rate = size_t(c.rate);
        // Four seconds of the time line; every byte tells its position.
        const Bytes sound = Sound(4 * rate * align);
        WriteAll(scratch, sound);
        ScratchNote n = Note(c.bits, c.rate, c.channels);
        n.Moments = c.moments;
        WriteAll(ScratchNotePath(scratch), EncodeScratchNote(n));

        const SoundRecovery r = RecoverSound(wav, c.seconds, true);
        ASSERT_EQ(r.outcome, SoundOutcome::kRebuilt) << r.error;
        // What the spans hold: [0, m0) [m1, m2) ... up to the file's end when recording.
        Bytes want;
        int64_t begin = 0;
        for (size_t i = 0; i <= c.moments.size(); i += 2) {
            const size_t from = size_t(begin) * rate / 1000 * align;
            const size_t to =
                i < c.moments.size() ? size_t(c.moments[i]) * rate / 1000 * align : sound.size();
            want.insert(want.end(), sound.begin() + long(from), sound.begin() + long(to));
            if (i + 1 >= c.moments.size()) break;
            begin = c.moments[i + 1];
        }
        EXPECT_EQ(r.recordedBytes, want.size());
        if (c.seconds >= 0) want.resize(size_t(c.seconds) * rate * align, 0);
        EXPECT_EQ(ReadWave(wav).data, want);
        EXPECT_FALSE(Exists(scratch));
        EXPECT_FALSE(Exists(ScratchNotePath(scratch)));
    }
}

// A WAV written by a helper that outlived its recorder runs on past the movie's last whole
// second: it is cut to it (and padded when shorter); without fit it stays as it is.
TEST(SoundRecovery, FitsAnExistingWaveAndDropsLeftovers) {
    test::TempDir dir("taviro_sndrec_");
    const std::string wav = dir.File("a.wav");
    const std::string scratch = WaveScratchPathFor(wav);
    const Bytes sound = Sound(5 * 176400 + 1000);
    // The helper's own writer first, through a rebuild as recorded.
    WriteAll(scratch, sound);
    WriteAll(ScratchNotePath(scratch), NoteBytes(Note(16, 44100, 2)));
    ASSERT_EQ(RecoverSound(wav, -1, false).outcome, SoundOutcome::kRebuilt);
    const Bytes original = ReadAll(wav);

    // A stale scratch file beside a whole WAV is a leftover.
    WriteAll(scratch, Bytes(4096, 9));
    WriteAll(ScratchNotePath(scratch), NoteBytes(Note(16, 44100, 2)));
    SoundRecovery r = RecoverSound(wav, 3, false);
    EXPECT_EQ(r.outcome, SoundOutcome::kUnchanged);
    EXPECT_FALSE(Exists(scratch));
    EXPECT_FALSE(Exists(ScratchNotePath(scratch)));
    EXPECT_EQ(ReadAll(wav), original);

    r = RecoverSound(wav, 3, true);
    ASSERT_EQ(r.outcome, SoundOutcome::kFitted) << r.error;
    EXPECT_EQ(r.lengthBytes, 3u * 176400);
    EXPECT_DOUBLE_EQ(SoundSeconds(r), 3.0);
    Wave w = ReadWave(wav);
    ASSERT_EQ(w.data.size(), 3u * 176400);
    EXPECT_TRUE(std::equal(w.data.begin(), w.data.end(), sound.begin()));

    r = RecoverSound(wav, 4, true);
    ASSERT_EQ(r.outcome, SoundOutcome::kFitted) << r.error;
    w = ReadWave(wav);
    ASSERT_EQ(w.data.size(), 4u * 176400);
    EXPECT_TRUE(std::equal(w.data.begin(), w.data.begin() + 3 * 176400, sound.begin()));
    EXPECT_EQ(std::count(w.data.begin() + 3 * 176400, w.data.end(), 0), 176400);
    // Already as long as asked: nothing written.
    EXPECT_EQ(RecoverSound(wav, 4, true).outcome, SoundOutcome::kUnchanged);
    EXPECT_FALSE(Exists(wav + ".fit~"));
}

// What cannot be rebuilt is left as it is: a scratch file without a note (or with a note cut
// short or of no format), and a scratch file whose WAV could not be written.
TEST(SoundRecovery, LeavesWhatItCannotRebuild) {
    test::TempDir dir("taviro_sndrec_");
    const std::string wav = dir.File("b.wav");
    const std::string scratch = WaveScratchPathFor(wav);
    const Bytes sound = Sound(300000);
    EXPECT_EQ(RecoverSound(wav, 3, true).outcome, SoundOutcome::kNothing);

    WriteAll(scratch, sound);
    EXPECT_EQ(RecoverSound(wav, 3, true).outcome, SoundOutcome::kNoNote);
    const Bytes note = NoteBytes(Note(16, 44100, 2));
    for (const Bytes& bad :
         {Bytes(note.begin(), note.begin() + 20), NoteBytes(Note(16, 0, 2)), Bytes(32, 0)}) {
        WriteAll(ScratchNotePath(scratch), bad);
        EXPECT_EQ(RecoverSound(wav, 3, true).outcome, SoundOutcome::kNoNote);
        EXPECT_EQ(ReadAll(scratch), sound);
        EXPECT_FALSE(Exists(wav));
    }

    // Every write of the new WAV failed in turn: the scratch file stays for another try.
    WriteAll(ScratchNotePath(scratch), note);
    for (int n = 1;; ++n) {
        SCOPED_TRACE(n);
        fault::Arm(fault::Op::kWrite, n);
        const SoundRecovery r = RecoverSound(wav, 3, true);
        const bool fired = fault::Fired();
        fault::Disarm();
        if (!fired) {
            EXPECT_EQ(r.outcome, SoundOutcome::kRebuilt);
            EXPECT_GE(n, 3);  // the head, the sound, the silence
            break;
        }
        EXPECT_EQ(r.outcome, SoundOutcome::kFailed);
        EXPECT_FALSE(Exists(wav));
        EXPECT_EQ(ReadAll(scratch), sound);
        ASSERT_LT(n, 50);
    }
    EXPECT_EQ(ReadWave(wav).data.size(), 3u * 176400);
}

}  // namespace
}  // namespace tqk::snd
