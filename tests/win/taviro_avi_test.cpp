// TaviroAvi.dll and the AVIC wrapper under Wine: the exports by name, the messages, exports
// with and without a compressor, sound added later, and the compressor dialog driven by a
// second thread that presses its buttons. The files are checked by ffmpeg in
// avi_dll_check.sh (which sets TAVIRO_AVI_OUT to keep them).
#include <windows.h>
#include <vfw.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "avi_errors.h"
#include "avi_export.h"
#include "avi_test_util.h"
#include "avic.h"
#include "temp_dir.h"
#include "window_driver.h"

namespace tqk::test {
namespace {

namespace fs = std::filesystem;
using avitest::Bytes;

std::string Sjis(const char* utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &w[0], n);
    const int m = WideCharToMultiByte(932, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(size_t(m), '\0');
    WideCharToMultiByte(932, 0, w.c_str(), -1, &s[0], m, nullptr, nullptr);
    s.resize(size_t(m - 1));
    return s;
}

std::wstring Wide(const char* utf8) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &w[0], n);
    w.resize(size_t(n - 1));
    return w;
}

class Environment : public testing::Environment {
public:
    void SetUp() override { SetDllDirectoryW(fs::u8path(TAVIRO_AVI_DIR).wstring().c_str()); }
};
testing::Environment* const kEnv = testing::AddGlobalTestEnvironment(new Environment);

HMODULE Library() {
    static HMODULE m = LoadLibraryW(L"TaviroAvi.dll");
    return m;
}

template <class Fn>
Fn Export(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(Library(), name)));
}

// Output folder: TAVIRO_AVI_OUT when the checking script asks to keep the files, else a
// unique temporary one removed afterwards.
struct OutDir : tqk::test::TempDir {
    OutDir() : TempDir("taviro_avi_", "TAVIRO_AVI_OUT") {}
};

Bytes ReadAll(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
void WriteAll(const std::wstring& path, const Bytes& b) {
    std::ofstream(fs::path(path), std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// A movie-like frame: bottom-up rows, at 8 bits followed by a colour table.
Bytes MakeFrame(int w, int h, int bits, int index) {
    const size_t stride = size_t(w) * size_t(bits) / 8;
    Bytes f(stride * size_t(h) + (bits == 8 ? 1024 : 0), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool block = x >= index * 3 && x < index * 3 + 10 && y >= 4 && y < 14;
            uint8_t* p = &f[size_t(y) * stride + size_t(x) * size_t(bits / 8)];
            if (bits == 8) {
                *p = block ? 255 : uint8_t((x / 8 + y / 4 * 3) % 200);
            } else if (bits == 16) {
                const uint32_t v =
                    block ? 0x7FFF : uint32_t(x % 32 | (y % 32) << 5 | (index % 32) << 10);
                p[0] = uint8_t(v);
                p[1] = uint8_t(v >> 8);
            } else {
                p[0] = uint8_t(block ? 255 : x * 4);
                p[1] = uint8_t(block ? 255 : y * 5);
                p[2] = uint8_t(index * 20);
            }
        }
    if (bits == 8)
        for (int i = 0; i < 256; ++i) {
            uint8_t* c = &f[stride * size_t(h) + size_t(i) * 4];
            c[0] = uint8_t(i);
            c[1] = uint8_t(255 - i);
            c[2] = uint8_t(i * 7);
        }
    return f;
}

// What a decoder shows: top-down rows of blue, green, red.
Bytes TopDownBgr(const Bytes& frame, int w, int h, int bits) {
    const size_t stride = size_t(w) * size_t(bits) / 8;
    Bytes out;
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = &frame[size_t(y) * stride + size_t(x) * size_t(bits / 8)];
            if (bits == 16) {
                const uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8;
                for (int shift : {0, 5, 10}) {
                    const uint32_t c = (v >> shift) & 31;
                    out.push_back(uint8_t(c << 3 | c >> 2));
                }
                continue;
            }
            if (bits == 8) p = &frame[stride * size_t(h) + size_t(*p) * 4];
            out.insert(out.end(), p, p + 3);
        }
    return out;
}

TEST(TaviroAvi, ExportsAndMessages) {
    ASSERT_NE(Library(), nullptr);
    for (const char* name : {"GetAVICompressor", "AVICreateInit", "AVICreateAddBitmap",
                             "AVICreateClose", "AVIAddWaveToAVI", "AVIGetError"})
        EXPECT_NE(GetProcAddress(Library(), name), nullptr) << name;
    auto getError = Export<LONG(WINAPI*)(LONG, char*)>("AVIGetError");
    int count = 0;
    const avi::ErrorText* table = avi::ErrorTable(&count);
    AVIC avic;
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(table[i].utf8);
        char buffer[260];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_EQ(getError(LONG(table[i].code), buffer), 0);
        EXPECT_EQ(std::string(buffer), Sjis(table[i].utf8));
        EXPECT_EQ(avic.GetError(int32_t(table[i].code)), Wide(table[i].utf8));
    }
    char buffer[260];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(getError(LONG(0x80044099u), buffer), 0);
    EXPECT_EQ(buffer[0], 'x') << "an unknown code leaves the buffer as it was";
    EXPECT_EQ(avic.GetError(0), L"正常終了");
    EXPECT_EQ(avic.GetError(12345), L"");
}

TEST(TaviroAvi, FreshWrapperReportsNoCompressor) {
    AVIC avic;
    EXPECT_EQ(avic.CVName(), L"未圧縮");
    EXPECT_EQ(avic.CVQuality(), 0);
    EXPECT_EQ(avic.CVKeyFrame(), 0);
}

struct ExportCase {
    const wchar_t* name;
    int bits;
    DWORD handler;  // 0: none chosen
    LONG key;
};

// Writes frames through AVIC and checks the file's structure; the frames' decoded image goes
// beside it (.bgr) for the ffmpeg check.
void Export(const OutDir& dir, const ExportCase& c, int frames) {
    SCOPED_TRACE(testing::Message() << c.bits << " bits");
    const int w = 64, h = 40;
    const std::wstring avi = dir.File(c.name);
    WriteAll(avi, Bytes(100, 1));  // replaced, not appended to
    COMPVARS cv{};
    cv.cbSize = sizeof cv;
    cv.dwFlags = ICMF_COMPVARS_VALID;
    cv.fccHandler = c.handler;
    cv.lKey = c.key;
    cv.lQ = 10000;
    AVIC avic;
    ASSERT_EQ(
        avic.AVIMakeInit(avi, frames + 3, w, h, c.bits, 15, L"AVIFile", c.handler ? &cv : nullptr),
        0);
    Bytes expected;
    std::vector<Bytes> written;
    for (int i = 0; i < frames; ++i) {
        const Bytes f = MakeFrame(w, h, c.bits, i);
        EXPECT_EQ(avic.AVIMakeAddBMP(f.data()), 0);
        const Bytes shown = TopDownBgr(f, w, h, c.bits);
        expected.insert(expected.end(), shown.begin(), shown.end());
        written.push_back(Bytes(f.begin(), f.begin() + w * h * c.bits / 8));
    }
    EXPECT_EQ(avic.AVIMakeClose(), 0);
    WriteAll(fs::path(avi).replace_extension(L".bgr").wstring(), expected);

    const Bytes file = ReadAll(avi);
    const avitest::AviSummary s = avitest::Walk(file);
    ASSERT_EQ(s.streams.size(), 1u);
    const avitest::StreamSummary& v = s.streams[0];
    EXPECT_EQ(v.length, uint32_t(frames));
    EXPECT_EQ(v.chunks.size(), size_t(frames));
    EXPECT_EQ(v.name, "AVIFile");
    EXPECT_EQ(v.rate, 15u);
    ASSERT_GE(v.format.size(), 40u);
    EXPECT_EQ(avitest::L32(v.format, 4), uint32_t(w));
    EXPECT_EQ(avitest::L32(v.format, 8), uint32_t(h));
    if (c.handler == 0 || c.handler == mmioFOURCC('D', 'I', 'B', ' ')) {
        EXPECT_EQ(avitest::L32(v.format, 16), 0u);
        EXPECT_EQ(avitest::L32(v.format, 20), uint32_t(w * h * c.bits / 8));
        for (int i = 0; i < frames; ++i)
            EXPECT_EQ(Bytes(file.begin() + v.chunks[i].dataOffset,
                            file.begin() + v.chunks[i].dataOffset + v.chunks[i].size),
                      written[i]);
        if (c.bits == 8) {
            ASSERT_EQ(v.format.size(), 40u + 1024u);
            const Bytes first = MakeFrame(w, h, 8, 0);
            EXPECT_TRUE(std::equal(v.format.begin() + 40, v.format.end(), first.end() - 1024))
                << "the colour table of the frames";
        }
    } else {
        EXPECT_EQ(avitest::L32(v.format, 16), 1u) << "8-bit run-length frames";
        EXPECT_LT(StreamBytes(file, v).size(), written.size() * written[0].size());
    }
}

TEST(TaviroAviFiles, UncompressedAndRunLengthExports) {
    OutDir dir;
    Export(dir, {L"full24.avi", 24, 0, 0}, 12);
    Export(dir, {L"full8.avi", 8, 0, 0}, 12);
    Export(dir, {L"full32.avi", 32, 0, 0}, 5);
    Export(dir, {L"full16.avi", 16, mmioFOURCC('D', 'I', 'B', ' '), 0}, 5);
    Export(dir, {L"rle8.avi", 8, mmioFOURCC('m', 'r', 'l', 'e'), 5}, 12);
}

std::vector<std::pair<LONG, LONG>> g_progress;
LONG WINAPI Progress(LONG position, LONG total) {
    g_progress.emplace_back(position, total);
    return 0;
}

TEST(TaviroAviFiles, SoundAddedToTheFinishedFile) {
    OutDir dir;
    const std::wstring avi = dir.File(L"音付き.avi");
    AVIC avic;
    ASSERT_EQ(avic.AVIMakeInit(avi, 10, 32, 16, 24, 10, L"AVIFile", nullptr), 0);
    for (int i = 0; i < 10; ++i) ASSERT_EQ(avic.AVIMakeAddBMP(MakeFrame(32, 16, 24, i).data()), 0);
    ASSERT_EQ(avic.AVIMakeClose(), 0);
    // 1.5 s of 16-bit stereo at 22050 Hz, one sample past a whole number of pieces.
    const uint32_t samples = 32768 + 1;
    const Bytes wav = avitest::PcmWav(samples, 2, 22050);
    const std::wstring wave = dir.File(L"音.wav");
    WriteAll(wave, wav);
    g_progress.clear();
    EXPECT_EQ(avic.AVIAddWave(avi, wave, reinterpret_cast<intptr_t>(&Progress)), 0);
    ASSERT_GE(g_progress.size(), 2u);
    EXPECT_EQ(g_progress.front(), std::make_pair(LONG(0), LONG(samples)));
    EXPECT_EQ(g_progress.back(), std::make_pair(LONG(samples), LONG(samples)));
    const Bytes file = ReadAll(avi);
    const avitest::AviSummary s = avitest::Walk(file);
    ASSERT_EQ(s.streams.size(), 2u);
    EXPECT_EQ(s.streams[1].length, samples);
    EXPECT_EQ(StreamBytes(file, s.streams[1]), Bytes(wav.begin() + 44, wav.end()));

    const std::wstring missing = dir.File(L"ない.avi");
    EXPECT_EQ(avic.AVIAddWave(missing, wave, 0), avi::kAviErrFileOpen);
    EXPECT_FALSE(fs::exists(fs::path(missing)));
    EXPECT_EQ(avic.GetError(avic.AVIAddWave(missing, wave, 0)),
              L"ファイルのオープン中にディスク エラーが発生しました。");
}

// The platform's own AVI reader (AVIFile) opens the files: both streams, their lengths, and
// the frames and samples as written.
TEST(TaviroAviFiles, PlatformReaderOpensTheFiles) {
    OutDir dir;
    const std::wstring avi = dir.File(L"reader.avi");
    const int w = 32, h = 16, frames = 8;
    AVIC avic;
    ASSERT_EQ(avic.AVIMakeInit(avi, frames, w, h, 8, 10, L"AVIFile", nullptr), 0);
    std::vector<Bytes> written;
    for (int i = 0; i < frames; ++i) {
        const Bytes f = MakeFrame(w, h, 8, i);
        ASSERT_EQ(avic.AVIMakeAddBMP(f.data()), 0);
        written.push_back(Bytes(f.begin(), f.begin() + w * h));
    }
    ASSERT_EQ(avic.AVIMakeClose(), 0);
    Bytes wav;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) wav.push_back(uint8_t(v >> (8 * i)));
    };
    auto u16 = [&](uint32_t v) {
        wav.push_back(uint8_t(v));
        wav.push_back(uint8_t(v >> 8));
    };
    auto tag = [&](const char* t) { wav.insert(wav.end(), t, t + 4); };
    const uint32_t samples = 4000;
    tag("RIFF");
    u32(36 + samples * 2);
    tag("WAVE");
    tag("fmt ");
    u32(16);
    u16(1);
    u16(1);
    u32(8000);
    u32(16000);
    u16(2);
    u16(16);
    tag("data");
    u32(samples * 2);
    for (uint32_t i = 0; i < samples; ++i) u16(i * 5);
    WriteAll(dir.File(L"r.wav"), wav);
    ASSERT_EQ(avic.AVIAddWave(avi, dir.File(L"r.wav"), 0), 0);

    AVIFileInit();
    PAVIFILE file = nullptr;
    ASSERT_EQ(AVIFileOpenW(&file, avi.c_str(), OF_READ | OF_SHARE_DENY_WRITE, nullptr), 0);
    AVIFILEINFOW info{};
    AVIFileInfoW(file, &info, sizeof info);
    EXPECT_EQ(info.dwStreams, 2u);
    EXPECT_EQ(info.dwWidth, DWORD(w));
    PAVISTREAM video = nullptr, audio = nullptr;
    ASSERT_EQ(info.dwStreams, 2u);
    ASSERT_EQ(AVIFileGetStream(file, &video, streamtypeVIDEO, 0), 0);
    ASSERT_EQ(AVIFileGetStream(file, &audio, streamtypeAUDIO, 0), 0);
    EXPECT_EQ(AVIStreamLength(video), frames);
    EXPECT_EQ(AVIStreamLength(audio), LONG(samples));
    LONG formatBytes = 0;
    AVIStreamReadFormat(video, 0, nullptr, &formatBytes);
    EXPECT_EQ(formatBytes, 40 + 1024) << "the colour table travels with the format";
    for (int i = 0; i < frames; ++i) {
        Bytes got(size_t(w * h));
        LONG bytes = 0, count = 0;
        EXPECT_EQ(AVIStreamRead(video, i, 1, got.data(), LONG(got.size()), &bytes, &count), 0);
        EXPECT_EQ(got, written[size_t(i)]) << i;
    }
    Bytes sound(samples * 2);
    LONG bytes = 0, count = 0;
    EXPECT_EQ(
        AVIStreamRead(audio, 0, LONG(samples), sound.data(), LONG(sound.size()), &bytes, &count),
        0);
    EXPECT_EQ(count, LONG(samples));
    EXPECT_EQ(sound, Bytes(wav.begin() + 44, wav.end()));
    AVIStreamRelease(audio);
    AVIStreamRelease(video);
    AVIFileRelease(file);
    AVIFileExit();
}

// Answers the compressor dialog from a second thread while the first one sits in it.
// choose: the list entry whose text contains `entry` and OK; else Cancel.
class DialogDriver {
public:
    DialogDriver(bool choose, std::wstring entry)
        : thread_([this, choose, entry] {
              selected = ChooseCompressor(
                  GetCurrentProcessId(),
                  [&](const std::wstring& s) {
                      return choose && s.find(entry) != std::wstring::npos;
                  },
                  10000, &items);
          }) {}
    ~DialogDriver() { Join(); }
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    std::wstring items;  // every entry of the list, for failure messages
    std::atomic<bool> selected{false};

private:
    std::thread thread_;
};

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s += c < 128 ? char(c) : '?';
    return s;
}

TEST(TaviroAvi, CompressorDialogChoiceAndCancel) {
    AVIC avic;
    COMPVARS mine{};
    {
        // The top entry: full frames.
        DialogDriver driver(true, L"");
        EXPECT_EQ(avic.AVISelectCompressor(nullptr, &mine), 1);
    }
    EXPECT_EQ(mine.fccHandler, mmioFOURCC('D', 'I', 'B', ' '));
    EXPECT_EQ(avic.CVName(), L"未圧縮");
    EXPECT_EQ(avic.CVQuality(), -1);

    std::wstring rleName;
    {
        DialogDriver driver(true, L"RLE");
        EXPECT_EQ(avic.AVISelectCompressor(nullptr, &mine), 1);
        driver.Join();
        EXPECT_TRUE(driver.selected) << Narrow(driver.items);
    }
    EXPECT_EQ(mine.fccHandler | 0x20202020u, mmioFOURCC('m', 'r', 'l', 'e'));
    EXPECT_EQ(mine.hic, nullptr) << "the record holds no open compressor";
    rleName = avic.CVName();
    EXPECT_NE(rleName, L"未圧縮");
    EXPECT_FALSE(rleName.empty());
    RecordProperty("compressor_name", Narrow(rleName));

    // Cancel: 0, the caller's record untouched, the earlier name kept.
    const COMPVARS before = mine;
    {
        DialogDriver driver(false, L"");
        EXPECT_EQ(avic.AVISelectCompressor(nullptr, &mine), 0);
    }
    EXPECT_EQ(std::memcmp(&before, &mine, sizeof mine), 0);
    EXPECT_EQ(avic.CVName(), rleName);
}

}  // namespace
}  // namespace tqk::test
