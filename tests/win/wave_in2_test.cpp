// WaveIn2 called directly on the real wave-in device: probing, a length of 0 seconds, the
// scratch file in TEMP, formats the recorder cannot ask for, the writes of a long WAV failed.
#include "wave_in2.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "fault_seam.h"
#include "perf_millis.h"
#include "safe_file.h"
#include "sound_test_util.h"
#include "wave_math.h"

namespace tqk::test {
namespace {

using namespace tqk::snd;
using namespace sndtest;

std::string g_watched;
bool g_watchedSeen = false;

void __stdcall WatchScratch(int32_t&, int32_t&) {
    if (Exists(g_watched)) g_watchedSeen = true;
}

TEST(WaveIn2, ProbeOpensTheDeviceAndClearsAStaleScratchFile) {
    TempFolder dir;
    const std::string stale = dir.File("stale.wavtemp");
    { std::ofstream(stale) << "old"; }
    WaveIn2Params p;
    p.ProbeOnly = true;
    p.ScratchPath = stale;
    p.WavePath = dir.File("probe.wav");
    EXPECT_EQ(WaveIn2Record(p, nullptr), kWaveOk);
    EXPECT_FALSE(Exists(stale));
    EXPECT_FALSE(Exists(p.WavePath));
}

TEST(WaveIn2, LengthZeroStopsAtTheFirstPassWithTheScratchFileInTemp) {
    TempFolder dir;
    char oldTemp[MAX_PATH] = "";
    GetEnvironmentVariableA("TEMP", oldTemp, MAX_PATH);
    SetEnvironmentVariableA("TEMP", dir.Path().c_str());  // no trailing backslash
    g_watched = dir.File("_waverec.wavtemp");
    g_watchedSeen = false;

    WaveIn2Params p;
    p.WavePath = dir.File("zero.wav");
    p.LengthSec = 0;
    p.Bits = 16;
    p.SamplesPerSec = 44100;
    p.Channels = 2;
    p.BufferKb = 445;
    p.Progress = &WatchScratch;
    int32_t actual = -1;
    const DWORD t0 = GetTickCount();
    const int32_t r = WaveIn2Record(p, &actual);
    const DWORD took = GetTickCount() - t0;
    SetEnvironmentVariableA("TEMP", oldTemp);

    ASSERT_EQ(r, kWaveOk);
    EXPECT_NE(actual, -1);
    EXPECT_LT(took, 3000u);
    EXPECT_TRUE(g_watchedSeen) << "the scratch file was not TEMP\\_waverec.wavtemp";
    EXPECT_FALSE(Exists(g_watched));
    const WavInfo w = ReadWav(p.WavePath);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(w.dataSize % 4, 0u);
    EXPECT_LE(w.dataSize, 176u * 50) << "more than the first pass";
}

TEST(WaveIn2, RefusesFormatsOutsidePcm8And16) {
    TempFolder dir;
    const struct {
        int32_t bits, rate, channels;
    } cases[] = {{24, 44100, 2}, {16, 44100, 0}, {16, 0, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bits * 10 + c.channels);
        WaveIn2Params p;
        p.WavePath = dir.File("bad.wav");
        p.ScratchPath = dir.File("bad.tmp");
        p.Bits = c.bits;
        p.SamplesPerSec = c.rate;
        p.Channels = c.channels;
        EXPECT_EQ(WaveIn2Record(p, nullptr), kWaveErrFormat);
        EXPECT_FALSE(Exists(p.WavePath));
        EXPECT_FALSE(Exists(p.ScratchPath));
    }
}

// Sound laid back on the recording's time from a device clock 0.2 % fast, in pieces of the
// scratch file: the WAV is as long as the elapsed time and its tone runs on across every
// piece's edge (a piece read from the wrong frames would break the sine there).
TEST(WaveIn2, SoundOnTheRecordingsTimeWithoutABreakAtThePieces) {
    TempFolder dir;
    const std::string tone = UnixPath(dir.File("tone.wav"));
    RunUnix(dir, "sox -n -r 44100 -c 2 -b 16 '" + tone + "' synth 20 sine 1000 vol 0.5");
    StartUnix("paplay '" + tone + "'");
    Sleep(500);
    WaveIn2Params p;
    p.WavePath = dir.File("long.wav");
    p.ScratchPath = dir.File("long.wavtemp");
    p.LengthSec = 13;  // stops itself at its time: two pieces' edges
    p.ForcedClockRatio = 1.002;
    p.Bits = 16;
    p.SamplesPerSec = 44100;
    p.Channels = 2;
    p.BufferKb = 445;
    int32_t actual = 0;
    ASSERT_EQ(WaveIn2Record(p, &actual), kWaveOk);

    const WavInfo w = ReadWav(p.WavePath);
    ASSERT_TRUE(w.ok);
    EXPECT_NEAR(w.dataSize / 176.4, 13000, 5) << "not the elapsed time";
    std::ifstream f(p.WavePath, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(f)), {});
    ASSERT_GE(bytes.size(), 46u + w.dataSize);
    const int16_t* pcm = reinterpret_cast<const int16_t*>(bytes.data() + 46);
    const size_t frames = w.dataSize / 4;
    // The steepest step of a 1 kHz sine at 44.1 kHz is 2 pi 1000 / 44100 = 0.142 of its
    // amplitude; a break is up to twice the amplitude.
    const size_t piece = 1048576 / 4;
    int edges = 0;
    for (size_t edge = piece; edge + 200 < frames; edge += piece, ++edges) {
        int steepest = 0;
        double loud = 0;
        for (size_t i = edge - 200; i < edge + 200; ++i) {
            steepest = std::max(steepest, std::abs(pcm[2 * i + 2] - pcm[2 * i]));
            loud = std::max(loud, std::fabs(double(pcm[2 * i])));
        }
        SCOPED_TRACE(edge);
        EXPECT_GT(loud, 4000) << "no tone recorded there";
        EXPECT_LT(steepest, 0.16 * loud) << "the tone breaks at the piece's edge";
    }
    EXPECT_EQ(edges, 2);
}

// A WAV of more than one copy piece (1 MiB), its writes failed one by one through the fault
// seam: the format chunk, then each piece. Every failure ends the recording with the WAV's
// error and leaves no WAV, neither the older one nor a part, but keeps the scratch file and its
// note for a rebuild; the first run past the last write gives the whole WAV.
TEST(WaveIn2, EveryWriteOfALongWavFailedInTurnLeavesNoWav) {
    namespace fault = tqk::fault;
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const uint64_t piece = CopyPieceBytes(si.dwAllocationGranularity);
    TempFolder dir;
    WaveIn2Params p;
    p.WavePath = dir.File("long.wav");
    p.ScratchPath = dir.File("long.tmp");
    p.LengthSec = 2;
    p.Bits = 16;
    p.SamplesPerSec = 192000;  // 768000 bytes a second: two pieces in 2 s
    p.Channels = 2;
    p.BufferKb = 1000;
    int failed = 0;
    for (int64_t n = 1; n <= 8; ++n) {
        SCOPED_TRACE("write call " + std::to_string(n));
        { std::ofstream(p.WavePath) << "an older recording's sound"; }
        fault::Arm(fault::Op::kWrite, n);
        const int32_t r = WaveIn2Record(p, nullptr);
        const bool fired = fault::Fired();
        const int64_t calls = fault::Calls(fault::Op::kWrite);
        fault::Disarm();
        EXPECT_FALSE(Exists(tqk::ScratchPathFor(p.WavePath)));
        if (fired) {
            EXPECT_EQ(r, kWaveErrWaveFile) << "a failed write reported as " << r;
            EXPECT_FALSE(Exists(p.WavePath));
            // The sound stays in the scratch file with its note, for the next start to rebuild.
            EXPECT_TRUE(Exists(p.ScratchPath));
            EXPECT_TRUE(Exists(p.ScratchPath + ".info"));
            DeleteFileA(p.ScratchPath.c_str());
            DeleteFileA((p.ScratchPath + ".info").c_str());
            ++failed;
            continue;
        }
        EXPECT_FALSE(Exists(p.ScratchPath));
        ASSERT_EQ(r, kWaveOk);
        const WavInfo w = ReadWav(p.WavePath);
        ASSERT_TRUE(w.ok);
        ASSERT_GT(w.dataSize, piece) << "the WAV fits one copy piece";
        // The format chunk, then one write per piece: every one of them was failed once.
        const int64_t writes = 1 + int64_t((w.dataSize + piece - 1) / piece);
        EXPECT_EQ(calls, writes);
        EXPECT_EQ(failed, writes);
        return;
    }
    ADD_FAILURE() << "every run failed a write";
}

// A scratch file on a file system of 256 KiB (TAVIRO_SMALL_DISK, mounted by
// full_disk_test.sh): the fifth buffer of 64 KiB cannot be written. The recording fails for
// that reason, leaves no WAV, and the older WAV at the path is gone from the start.
TEST(WaveIn2FullDisk, FailingScratchWriteLeavesNoWaveFile) {
    char small[MAX_PATH] = "";
    ASSERT_NE(GetEnvironmentVariableA("TAVIRO_SMALL_DISK", small, MAX_PATH), 0u)
        << "needs TAVIRO_SMALL_DISK: a folder on a small file system";
    TempFolder dir;
    WaveIn2Params p;
    p.WavePath = dir.File("old.wav");
    { std::ofstream(p.WavePath) << "an older recording's sound"; }
    p.ScratchPath = std::string(small) + "\\scratch_" + std::to_string(GetCurrentProcessId());
    p.LengthSec = 6;
    p.BufferKb = 128;  // two buffers of 65536 bytes, 0.37 s each
    EXPECT_EQ(WaveIn2Record(p, nullptr), kWaveErrScratchWrite);
    EXPECT_FALSE(Exists(p.WavePath));
    EXPECT_FALSE(Exists(p.ScratchPath));
}

}  // namespace
}  // namespace tqk::test
