// The recorder's start-up recovery over a save folder as an unfinished recording leaves it:
// a movie cut short (its file ending early, or the mapped writer's zero reservation at full
// size), the sound helper's scratch file and note without a WAV, a WAV that ran on past the
// movie; and the one message that says what was restored. The tool's "repair" does the same
// for one movie.
#include "recovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "avi_file.h"
#include "tool_test_util.h"
#include "wav_reader.h"

namespace tqk::rec {
namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;
using test::tooltest::TempDir;
using test::tooltest::Tqk;

Bytes ReadAll(const std::string& path) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
void WriteAll(const std::string& path, const Bytes& b) {
    std::ofstream(fs::u8path(path), std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}
bool Exists(const std::string& path) { return fs::exists(fs::u8path(path)); }

// A 5-second movie at 2 fps, and the offsets behind each of its records.
struct Movie {
    Bytes bytes;
    std::vector<size_t> ends;
};
Movie MakeMovie(const TempDir& dir) {
    const std::string path = dir.File("source.tqk.src");
    EXPECT_EQ(Tqk({"sample", path, "--size", "16x4", "--fps", "2", "--sec", "5"}).code, 0);
    Movie m;
    m.bytes = ReadAll(path);
    fs::remove(fs::u8path(path));
    size_t at = 32;
    for (int i = 0; i < 10; ++i) m.ends.push_back(at += 8 + LoadLE32(&m.bytes[at + 4]));
    return m;
}

// What the helper leaves while it records: its scratch file and the note beside it.
void LeaveScratch(const std::string& wav, size_t bytes) {
    Bytes sound(bytes);
    for (size_t i = 0; i < bytes; ++i) sound[i] = uint8_t(i % 251 + 1);
    WriteAll(snd::WaveScratchPathFor(wav), sound);
    snd::ScratchNote n;
    n.Bits = 16;
    n.SamplesPerSec = 44100;
    n.Channels = 2;
    n.HalfBufferBytes = 262144;
    Bytes note(snd::kScratchNoteBytes);
    snd::EncodeScratchNote(n, note.data());
    WriteAll(snd::ScratchNotePath(snd::WaveScratchPathFor(wav)), note);
}

// Seconds of sound in a WAV at 44.1 kHz 16-bit stereo, as the AVI export's reader takes it.
double WaveSeconds(const std::string& path) {
    avi::StdioFile f;
    avi::WavInfo info;
    if (!f.Open(path, avi::StdioFile::Mode::kRead) ||
        avi::ReadWavInfo(f, &info) != avi::WavStatus::kOk)
        return -1;
    return double(info.samples) / info.samplesPerSec;
}

int32_t HeaderSeconds(const std::string& path) { return int32_t(LoadLE32(&ReadAll(path)[28])); }

TEST(Recovery, RepairsWhatUnfinishedRecordingsLeftAndSaysSoOnce) {
    TempDir dir("taviro_recovery_");
    const Movie m = MakeMovie(dir);
    // Recorder killed (the file ends inside the 8th record), helper too: scratch, no WAV.
    const std::string both = dir.File("両方.TQK");
    WriteAll(both, Bytes(m.bytes.begin(), m.bytes.begin() + long(m.ends[6]) + 10));
    LeaveScratch(dir.File("両方.wav"), 2 * 176400 + 5000);
    // Recorder killed, mapped writer: the reservation stands at full size; the helper wrote
    // its WAV up to when it saw its recorder gone, 6 s.
    const std::string rec = dir.File("rec.TQK");
    Bytes reserved(m.bytes.begin(), m.bytes.begin() + long(m.ends[6]));
    reserved.resize(m.bytes.size() + 20000, 0);
    WriteAll(rec, reserved);
    LeaveScratch(dir.File("rec.wav"), 6 * 176400);
    ASSERT_EQ(snd::RecoverSound(dir.File("rec.wav"), -1, false).outcome,
              snd::SoundOutcome::kRebuilt);
    // Helper killed, recorder not: the movie is whole, the scratch file has no WAV.
    const std::string helper = dir.File("helper.TQK");
    WriteAll(helper, m.bytes);
    LeaveScratch(dir.File("helper.wav"), 4 * 176400);
    // A scratch file whose movie is gone: the sound as recorded.
    LeaveScratch(dir.File("orphan.wav"), 176400 + 88200);
    // Left alone: a whole recording, a movie cut before its first second, a damaged one.
    WriteAll(dir.File("whole.TQK"), m.bytes);
    LeaveScratch(dir.File("whole.wav"), 6 * 176400);
    ASSERT_EQ(snd::RecoverSound(dir.File("whole.wav"), -1, false).outcome,
              snd::SoundOutcome::kRebuilt);
    const Bytes wholeWave = ReadAll(dir.File("whole.wav"));
    const Bytes tiny(m.bytes.begin(), m.bytes.begin() + long(m.ends[0]) + 3);
    WriteAll(dir.File("tiny.TQK"), tiny);
    Bytes damaged(m.bytes.begin(), m.bytes.begin() + long(m.ends[6]) + 10);
    damaged[m.ends[6]] = 'X';
    WriteAll(dir.File("damaged.TQK"), damaged);

    const std::vector<RecoveredRecording> found = RecoverFolder(dir.Path().u8string());
    ASSERT_EQ(found.size(), 4u);

    for (const std::string& movie : {both, rec}) {
        SCOPED_TRACE(movie);
        EXPECT_EQ(HeaderSeconds(movie), 3);
        EXPECT_EQ(ReadAll(movie).size(), m.ends[5]);
        EXPECT_EQ(Tqk({"verify", movie}).out, "ok: 6 frames\n");
        const std::string wav = snd::WavePathForMovie(movie);
        EXPECT_DOUBLE_EQ(WaveSeconds(wav), 3.0) << "picture and sound together";
        EXPECT_FALSE(Exists(snd::WaveScratchPathFor(wav)));
    }
    EXPECT_DOUBLE_EQ(WaveSeconds(dir.File("helper.wav")), 5.0);
    EXPECT_EQ(HeaderSeconds(helper), 5);
    EXPECT_NEAR(WaveSeconds(dir.File("orphan.wav")), 1.5, 1e-9);
    EXPECT_EQ(ReadAll(dir.File("whole.wav")), wholeWave);
    EXPECT_EQ(ReadAll(dir.File("tiny.TQK")), tiny);
    EXPECT_EQ(ReadAll(dir.File("damaged.TQK")), damaged);

    const std::string text = RecoveryMessageUtf8(found);
    EXPECT_EQ(text.find("前回の録画は正常に終了しませんでした。\r\n"), 0u) << text;
    for (const std::string& want :
         {both + "\r\n　5秒のうち3秒を残しました。",
          dir.File("両方.wav") + "\r\n　録音の一時ファイルから作成しました（3秒）。",
          rec + "\r\n　5秒のうち3秒を残しました。",
          dir.File("rec.wav") + "\r\n　TQKに合わせて3秒にしました。",
          dir.File("helper.wav") + "\r\n　録音の一時ファイルから作成しました（5秒）。",
          dir.File("orphan.wav") + "\r\n　録音の一時ファイルから作成しました（1.5秒）。"})
        EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;
    EXPECT_EQ(text.find("whole"), std::string::npos);
    EXPECT_EQ(text.find("tiny"), std::string::npos);
    EXPECT_NE(text.substr(text.size() - 2), "\r\n");

    // Nothing is left to restore: the next start says nothing.
    EXPECT_TRUE(RecoverFolder(dir.Path().u8string()).empty());
    EXPECT_EQ(RecoveryMessageUtf8({}), "");
}

// tqk repair MOVIE does the same for one movie, WAV included.
TEST(Recovery, ToolRepairMakesTheWaveToo) {
    TempDir dir("taviro_recovery_");
    const Movie m = MakeMovie(dir);
    const std::string movie = dir.File("cut.TQK");
    WriteAll(movie, Bytes(m.bytes.begin(), m.bytes.begin() + long(m.ends[6]) + 10));
    LeaveScratch(dir.File("cut.wav"), 2 * 176400);
    auto r = Tqk({"repair", movie});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "repaired: 3 of 5 seconds kept (6 frames), " + std::to_string(m.ends[5]) +
                         " bytes\nsound: " + dir.File("cut.wav") +
                         " rebuilt from its scratch file, 3.0 seconds (2.0 recorded)\n");
    EXPECT_DOUBLE_EQ(WaveSeconds(dir.File("cut.wav")), 3.0);

    // A whole movie whose helper died: its WAV at the movie's length.
    const std::string whole = dir.File("whole.TQK");
    WriteAll(whole, m.bytes);
    LeaveScratch(dir.File("whole.wav"), 7 * 176400);
    r = Tqk({"repair", whole});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "nothing to repair: 10 frames\nsound: " + dir.File("whole.wav") +
                         " rebuilt from its scratch file, 5.0 seconds (7.0 recorded)\n");
    // A WAV that ran on past a movie cut short is cut with it.
    WriteAll(movie, Bytes(m.bytes.begin(), m.bytes.begin() + long(m.ends[4]) + 10));
    WriteAll(dir.File("cut.wav"), ReadAll(dir.File("whole.wav")));
    r = Tqk({"repair", movie});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("sound: " + dir.File("cut.wav") + " cut to 2.0 seconds (5.0 recorded)"),
              std::string::npos)
        << r.out;
    EXPECT_DOUBLE_EQ(WaveSeconds(dir.File("cut.wav")), 2.0);
    // A scratch file without its note stays, and the tool says so.
    LeaveScratch(dir.File("whole.wav"), 1000);
    fs::remove(fs::u8path(dir.File("whole.wav")));
    fs::remove(fs::u8path(snd::ScratchNotePath(dir.File("whole.wav.wavtemp"))));
    r = Tqk({"repair", whole});
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("no readable note"), std::string::npos) << r.err;
    EXPECT_TRUE(Exists(dir.File("whole.wav.wavtemp")));
}

}  // namespace
}  // namespace tqk::rec
