// TaviroZmbv.dll under Wine: registered as the platform registers compressors, listed and
// chosen in the platform's compressor dialog, used by TQKAVI for an export, and read back
// through the platform's AVI reader, which decodes with it. With TAVIRO_ZMBV_OUT set the AVI
// files stay there for zmbv_driver_check.sh, which decodes them with ffmpeg.
#include <windows.h>
#include <gtest/gtest.h>
// after windows.h
#include <vfw.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "compressor_reg.h"
#include "temp_dir.h"
#include "tool_test_util.h"
#include "tqk_commands.h"
#include "tqkavi.h"
#include "win_text.h"
#include "window_driver.h"

namespace tqk::test {
namespace {

namespace fs = std::filesystem;
using tooltest::TqkTo;

const wchar_t kEntry[] = L"vidc.zmbv";
const wchar_t kDescription[] = L"Taviro ZMBV lossless screen codec";
constexpr DWORD kWait = 30000;

std::wstring FromUnix(const char* path) {
    std::wstring w = L"Z:" + WideFromUtf8(path);
    std::replace(w.begin(), w.end(), L'/', L'\\');
    return w;
}

bool IsZmbv(DWORD fcc) { return (fcc | 0x20202020) == mmioFOURCC('z', 'm', 'b', 'v'); }

// Registers the built library for the test run and puts back whatever the entry held.
class Environment : public testing::Environment {
public:
    void SetUp() override {
        before_ = ReadDriverEntry(kEntry);
        ASSERT_TRUE(WriteDriverEntry(kEntry, FromUnix(TAVIRO_ZMBV_DLL)));
        SetDllDirectoryW(FromUnix(TAVIRO_AVI_DIR).c_str());
        AVIFileInit();
    }
    void TearDown() override {
        AVIFileExit();
        if (before_)
            (void)WriteDriverEntry(kEntry, *before_);
        else
            DeleteDriverEntry(kEntry);
    }

private:
    std::optional<std::wstring> before_;
};
testing::Environment* const kEnv = testing::AddGlobalTestEnvironment(new Environment);

// The folder of the kept files (TAVIRO_ZMBV_OUT), or a temporary one removed at the end.
struct OutDir : tqk::test::TempDir {
    OutDir() : TempDir("zmbvdrv_", "TAVIRO_ZMBV_OUT") {}
    std::wstring File(const std::string& n) const { return FileW(n); }
    std::string U8(const std::string& n) const { return TempDir::File(n); }
};

std::string ReadAll(const std::wstring& path) {
    std::ifstream f(fs::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

TEST(ZmbvDriver, RegisteredAndOpenedByTheCompressorManager) {
    bool listed = false;
    ICINFO info{};
    for (DWORD i = 0; ICInfo(ICTYPE_VIDEO, i, &info); ++i)
        if (IsZmbv(info.fccHandler)) listed = true;
    EXPECT_TRUE(listed);
    HIC hic = ICOpen(ICTYPE_VIDEO, mmioFOURCC('Z', 'M', 'B', 'V'), ICMODE_COMPRESS);
    ASSERT_TRUE(hic);
    ICINFO got{};
    got.dwSize = sizeof got;
    EXPECT_EQ(ICGetInfo(hic, &got, sizeof got), LRESULT(sizeof got));
    EXPECT_EQ(std::wstring(got.szDescription), kDescription);
    EXPECT_EQ(std::wstring(got.szName), L"ZMBV");
    // Every uncompressed depth in, a ZMBV stream out; compressed input refused.
    for (WORD bits : {8, 16, 24, 32}) {
        BITMAPINFOHEADER in{};
        in.biSize = sizeof in;
        in.biWidth = 70;
        in.biHeight = 30;
        in.biPlanes = 1;
        in.biBitCount = bits;
        EXPECT_EQ(ICCompressQuery(hic, &in, nullptr), ICERR_OK) << bits;
        BITMAPINFOHEADER out{};
        EXPECT_EQ(ICCompressGetFormat(hic, &in, &out), ICERR_OK);
        EXPECT_TRUE(IsZmbv(out.biCompression));
        EXPECT_EQ(out.biWidth, 70);
        EXPECT_GT(ICCompressGetSize(hic, &in, &out), 0);
    }
    BITMAPINFOHEADER rle{};
    rle.biSize = sizeof rle;
    rle.biWidth = rle.biHeight = 16;
    rle.biPlanes = 1;
    rle.biBitCount = 8;
    rle.biCompression = BI_RLE8;
    EXPECT_EQ(ICCompressQuery(hic, &rle, nullptr), ICERR_BADFORMAT);
    // State: the key-frame interval travels through it.
    const LRESULT stateBytes = ICGetStateSize(hic);
    EXPECT_EQ(stateBytes, 8);
    std::vector<char> state(size_t(stateBytes > 0 ? stateBytes : 1));
    EXPECT_EQ(ICGetState(hic, state.data(), DWORD(state.size())), stateBytes);
    EXPECT_EQ(ICSetState(hic, state.data(), DWORD(state.size())), stateBytes);
    ICClose(hic);
}

// The platform's dialog lists the compressor by its description; choosing it fills the
// compression settings the export takes.
TEST(ZmbvDriver, ChosenInTheCompressorDialog) {
    BITMAPINFOHEADER in{};
    in.biSize = sizeof in;
    in.biWidth = 64;
    in.biHeight = 40;
    in.biPlanes = 1;
    in.biBitCount = 24;
    COMPVARS cv{};
    cv.cbSize = sizeof cv;
    std::atomic<bool> found{false};
    std::thread driver([&] {
        found = ChooseCompressor(
            GetCurrentProcessId(), [](const std::wstring& s) { return s == kDescription; }, kWait);
    });
    const BOOL chosen = ICCompressorChoose(nullptr, ICMF_CHOOSE_DATARATE | ICMF_CHOOSE_KEYFRAME,
                                           &in, nullptr, &cv, nullptr);
    driver.join();
    EXPECT_TRUE(found) << "not listed in the dialog";
    ASSERT_EQ(chosen, TRUE);
    EXPECT_TRUE(IsZmbv(cv.fccHandler));
    EXPECT_TRUE(cv.hic);
    // The choice exports: the settings go to TQKAVI as the programs pass them.
    OutDir dir;
    ASSERT_EQ(TqkTo({"sample", dir.U8("c.TQK"), "--bits", "24", "--size", "64x40", "--fps", "10",
                     "--sec", "1"}),
              0);
    TQKAVI da;
    EXPECT_EQ(da.TQKtoAVI(dir.File("c.TQK"), dir.File("chosen.avi"), &cv, false), 0);
    EXPECT_EQ(da.FramesWritten(), 10);
    ICCompressorFree(&cv);
}

// Frames of an AVI as the platform's reader hands them out at 24 bits, top-down rows of
// blue-green-red (as `tqk raw` writes them); empty when the reader fails.
std::string ReadBack(const std::wstring& path, long* frames) {
    *frames = -1;
    PAVIFILE file = nullptr;
    if (AVIFileOpenW(&file, path.c_str(), OF_READ, nullptr) != 0) return {};
    PAVISTREAM stream = nullptr;
    std::string out;
    if (AVIFileGetStream(file, &stream, streamtypeVIDEO, 0) == 0) {
        AVISTREAMINFOW si{};
        AVIStreamInfoW(stream, &si, sizeof si);
        const long w = si.rcFrame.right - si.rcFrame.left, h = si.rcFrame.bottom - si.rcFrame.top;
        BITMAPINFOHEADER want{};
        want.biSize = sizeof want;
        want.biWidth = w;
        want.biHeight = h;
        want.biPlanes = 1;
        want.biBitCount = 24;
        want.biSizeImage = DWORD(((w * 3 + 3) & ~3) * h);
        PGETFRAME gf = AVIStreamGetFrameOpen(stream, &want);
        if (gf) {
            *frames = AVIStreamLength(stream);
            for (long i = 0; i < *frames; ++i) {
                auto* bi = static_cast<const BITMAPINFOHEADER*>(AVIStreamGetFrame(gf, i));
                if (!bi || bi->biBitCount != 24) {
                    out.clear();
                    *frames = -2 - i;
                    break;
                }
                const uint8_t* bits = reinterpret_cast<const uint8_t*>(bi) + bi->biSize;
                const size_t stride = (size_t(w) * 3 + 3) & ~size_t(3);
                for (long y = 0; y < h; ++y)
                    out.append(reinterpret_cast<const char*>(bits + size_t(h - 1 - y) * stride),
                               size_t(w) * 3);
            }
            AVIStreamGetFrameClose(gf);
        }
        AVIStreamRelease(stream);
    }
    AVIFileRelease(file);
    return out;
}

// Exports through TQKAVI with the compressor at every depth; the platform's reader gives the
// movie's frames back through the decompressor.
TEST(ZmbvDriver, ExportsThroughTqkaviAndReadsBackThroughTheDecompressor) {
    OutDir dir;
    for (int bits : {32, 24, 16, 8}) {
        SCOPED_TRACE(bits);
        const std::string name = "z" + std::to_string(bits);
        ASSERT_EQ(TqkTo({"sample", dir.U8(name + ".TQK"), "--bits", std::to_string(bits), "--size",
                         "68x36", "--fps", "10", "--sec", "2"}),
                  0);
        ASSERT_EQ(TqkTo({"raw", dir.U8(name + ".TQK")}, dir.U8(name + ".bgr")), 0);
        COMPVARS cv{};
        cv.cbSize = sizeof cv;
        cv.dwFlags = ICMF_COMPVARS_VALID;
        cv.fccHandler = mmioFOURCC('Z', 'M', 'B', 'V');
        cv.lKey = 7;
        cv.lQ = ICQUALITY_DEFAULT;
        TQKAVI da;
        const std::wstring avi = dir.File(name + ".avi");
        ASSERT_EQ(da.TQKtoAVI(dir.File(name + ".TQK"), avi, &cv, false), 0)
            << Utf8FromWide(da.FailureText());
        EXPECT_EQ(da.FramesWritten(), 20);
        long frames = 0;
        const std::string back = ReadBack(avi, &frames);
        EXPECT_EQ(frames, 20);
        const std::string want = ReadAll(dir.File(name + ".bgr"));
        ASSERT_EQ(back.size(), want.size());
        EXPECT_TRUE(back == want) << "frames read back differ from the movie's";
    }
}

}  // namespace
}  // namespace tqk::test
