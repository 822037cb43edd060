// Movie-to-AVI and movie-to-movie conversions under Wine: movies written by `tqk sample`,
// exported through the real AVI library, decoded only or drawn and read back at 24 bits.
// With TAVIRO_TQKAVI_OUT set, the files are kept there for tqkavi_check.sh, which checks
// them with ffprobe and ffmpeg against `tqk raw`; the checks here are counts and results.
#include "tqkavi.h"

#include <windows.h>
#include <gtest/gtest.h>
// after windows.h
#include <vfw.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "avic.h"
#include "box_answerer.h"
#include "form5.h"
#include "result_code.h"
#include "temp_dir.h"
#include "tool_test_util.h"
#include "tqk_commands.h"
#include "tqk_format.h"

namespace tqk::test {
namespace {

namespace fs = std::filesystem;
using tooltest::TqkTo;

class Environment : public testing::Environment {
public:
    void SetUp() override {
        SetDllDirectoryW(fs::u8path(TAVIRO_AVI_DIR).wstring().c_str());
        AVIFileInit();
    }
    void TearDown() override { AVIFileExit(); }
};
testing::Environment* const kEnv = testing::AddGlobalTestEnvironment(new Environment);

// The folder of the kept files, or a temporary one removed at the end.
struct OutDir : tqk::test::TempDir {
    OutDir() : TempDir("tqkavi_", "TAVIRO_TQKAVI_OUT") {}
    std::wstring File(const std::string& n) const { return FileW(n); }
    std::string U8(const std::string& n) const { return TempDir::File(n); }
};

// A movie and its reference frames (`tqk raw`).
void Sample(const OutDir& dir, const std::string& name, int bits, int fps, int sec,
            const std::string& size = "64x40") {
    ASSERT_EQ(TqkTo({"sample", dir.U8(name + ".TQK"), "--bits", std::to_string(bits), "--size",
                     size, "--fps", std::to_string(fps), "--sec", std::to_string(sec)}),
              0);
    ASSERT_EQ(TqkTo({"raw", dir.U8(name + ".TQK")}, dir.U8(name + ".bgr")), 0);
}

// Frames (and streams) of an AVI as the platform's AVI reader sees them; -1 when it cannot
// open the file.
long AviFrames(const std::wstring& path) {
    PAVIFILE file = nullptr;
    if (AVIFileOpenW(&file, path.c_str(), OF_READ, nullptr) != 0) return -1;
    PAVISTREAM stream = nullptr;
    long frames = -1;
    if (AVIFileGetStream(file, &stream, streamtypeVIDEO, 0) == 0) {
        frames = AVIStreamLength(stream);
        AVIStreamRelease(stream);
    }
    AVIFileRelease(file);
    return frames;
}

struct Progress {
    int calls = 0;
    int32_t first = -1, last = -1, total = -1;
};

void Watch(TQKAVI& da, Progress* p) {
    da.Decoding = [p](int32_t now, int32_t total, int32_t ms) {
        if (p->calls++ == 0) p->first = now;
        p->last = now;
        p->total = total;
        EXPECT_GE(ms, 0);
    };
}

TEST(TqkaviFiles, ExportsEveryDepthDecodedAndDrawnAt24Bits) {
    OutDir dir;
    for (int bits : {32, 24, 16, 8}) {
        SCOPED_TRACE(bits);
        const std::string name = "m" + std::to_string(bits);
        Sample(dir, name, bits, 10, 1);
        for (bool to24 : {false, true}) {
            SCOPED_TRACE(to24);
            TQKAVI da;
            Progress p;
            Watch(da, &p);
            const std::wstring avi = dir.File(name + (to24 ? "_24.avi" : "_own.avi"));
            EXPECT_EQ(da.TQKtoAVI(dir.File(name + ".TQK"), avi, nullptr, to24), 0);
            EXPECT_EQ(da.FramesWritten(), 10);
            EXPECT_EQ(p.calls, 10);
            EXPECT_EQ(p.first, 0);
            EXPECT_EQ(p.last, 9);
            EXPECT_EQ(p.total, 10);
            EXPECT_TRUE(da.FailureText().empty());
            EXPECT_EQ(AviFrames(avi), 10);
        }
    }
}

// An 8-bit movie through the platform's run-length compressor.
TEST(TqkaviFiles, ExportsThroughACompressor) {
    OutDir dir;
    Sample(dir, "rle8", 8, 10, 1);
    COMPVARS cv{};
    cv.cbSize = sizeof cv;
    cv.dwFlags = ICMF_COMPVARS_VALID;
    cv.fccHandler = mmioFOURCC('m', 'r', 'l', 'e');
    cv.lKey = 5;
    cv.lQ = 10000;
    TQKAVI da;
    const std::wstring avi = dir.File("rle8.avi");
    EXPECT_EQ(da.TQKtoAVI(dir.File("rle8.TQK"), avi, &cv, false), 0);
    EXPECT_EQ(da.FramesWritten(), 10);
    EXPECT_EQ(AviFrames(avi), 10);
}

// A movie of 100 frames a second whose progress handler takes longer than a slot (as a busy
// machine's window would): the 24-bit export still draws every frame, checked against
// `tqk raw` by tqkavi_check.sh.
TEST(TqkaviFiles, SlowProgressKeepsEveryFrameAt24Bits) {
    OutDir dir;
    Sample(dir, "fast16", 16, 100, 1);
    TQKAVI da;
    da.Decoding = [](int32_t, int32_t, int32_t) { Sleep(15); };
    EXPECT_EQ(da.TQKtoAVI(dir.File("fast16.TQK"), dir.File("fast16_24.avi"), nullptr, true), 0);
    EXPECT_EQ(da.FramesWritten(), 100);
}

// Widths 100 and 102 (the second not one the recorder makes) from 32 bits: read-back rows of
// 300 and 308 bytes, every frame checked by tqkavi_check.sh.
TEST(TqkaviFiles, OddWidthsAreReadBackWithPaddedRows) {
    OutDir dir;
    for (int32_t w : {100, 102}) {
        SCOPED_TRACE(w);
        tqk::MovieHeader h;
        h.Method = 1;
        h.BitCo = 32;
        h.W = w;
        h.H = 6;
        h.fps = 5;
        h.sec = 1;
        tqk::MovieEncoder enc;
        ASSERT_EQ(enc.Start(h), 0);
        const std::string name = "w" + std::to_string(w);
        std::ofstream out(fs::path(dir.File(name + ".TQK")), std::ios::binary);
        out.write(reinterpret_cast<const char*>(enc.Header()), tqk::kHeaderBytes);
        std::vector<uint8_t> frame(enc.FrameSize());
        for (int i = 0; i < 5; ++i) {
            for (size_t k = 0; k < frame.size(); ++k)
                frame[k] = k % 4 == 3 ? 0 : uint8_t(k * 3 + i);
            size_t n = 0;
            const uint8_t* rec = enc.EncodeFrame(frame.data(), &n);
            out.write(reinterpret_cast<const char*>(rec), std::streamsize(n));
        }
        out.close();
        ASSERT_EQ(TqkTo({"raw", dir.U8(name + ".TQK")}, dir.U8(name + ".bgr")), 0);
        TQKAVI da;
        EXPECT_EQ(da.TQKtoAVI(dir.File(name + ".TQK"), dir.File(name + "_24.avi"), nullptr, true),
                  0);
        EXPECT_EQ(da.FramesWritten(), 5);
    }
}

// A movie whose slots 2, 3 and 6 were dropped: the AVI repeats the frame before each.
TEST(TqkaviFiles, DroppedSlotsBecomeRepeatedFrames) {
    OutDir dir;
    tqk::MovieHeader h;
    h.Method = 1;
    h.BitCo = 24;
    h.W = 32;
    h.H = 16;
    h.fps = 8;
    h.sec = 1;
    tqk::MovieEncoder enc;
    ASSERT_EQ(enc.Start(h), 0);
    std::ofstream out(fs::path(dir.File("drops.TQK")), std::ios::binary);
    out.write(reinterpret_cast<const char*>(enc.Header()), tqk::kHeaderBytes);
    std::vector<uint8_t> frame(enc.FrameSize());
    for (int i = 0; i < 8; ++i) {
        size_t n = 0;
        const uint8_t* rec = nullptr;
        if (i == 2 || i == 3 || i == 6) {
            rec = enc.EncodeDropped(&n);
        } else {
            for (size_t k = 0; k < frame.size(); ++k) frame[k] = uint8_t(k * 7 + i * 40);
            rec = enc.EncodeFrame(frame.data(), &n);
        }
        out.write(reinterpret_cast<const char*>(rec), std::streamsize(n));
    }
    out.close();
    ASSERT_EQ(TqkTo({"raw", dir.U8("drops.TQK")}, dir.U8("drops.bgr")), 0);
    for (bool to24 : {false, true}) {
        SCOPED_TRACE(to24);
        TQKAVI da;
        const std::wstring avi = dir.File(to24 ? "drops_24.avi" : "drops_own.avi");
        EXPECT_EQ(da.TQKtoAVI(dir.File("drops.TQK"), avi, nullptr, to24), 0);
        EXPECT_EQ(da.FramesWritten(), 8);
        EXPECT_EQ(AviFrames(avi), 8);
    }
}

TEST(TqkaviFiles, AddsTheWaveFile) {
    const char* wav = std::getenv("TAVIRO_TQKAVI_WAV");
    ASSERT_TRUE(wav && *wav) << "needs TAVIRO_TQKAVI_WAV (tqkavi_check.sh makes one)";
    OutDir dir;
    Sample(dir, "sound", 24, 10, 1);
    TQKAVI da;
    const std::wstring avi = dir.File("sound.avi");
    ASSERT_EQ(da.TQKtoAVI(dir.File("sound.TQK"), avi, nullptr, false), 0);
    EXPECT_EQ(da.WAVaddAVI(fs::u8path(wav).wstring(), avi, 0), 0);
    // Adding to an AVI that does not exist fails and makes nothing.
    const std::wstring missing = dir.File("none.avi");
    EXPECT_NE(da.WAVaddAVI(fs::u8path(wav).wstring(), missing, 0), 0);
    EXPECT_FALSE(fs::exists(fs::path(missing)));
}

// On a file system too small for the AVI: the export ends at the failure with the library's
// message, and the file holds the frames written before it.
TEST(TqkaviFiles, FullDiskEndsTheExport) {
    const char* small = std::getenv("TAVIRO_SMALL_DISK");
    ASSERT_TRUE(small && *small) << "needs TAVIRO_SMALL_DISK (tqkavi_check.sh mounts one)";
    OutDir dir;
    Sample(dir, "big", 24, 10, 4, "96x64");  // 40 frames of 18 KiB: beyond 256 KiB
    const std::wstring avi = (fs::u8path(small) / L"full.avi").wstring();
    TQKAVI da;
    Progress p;
    Watch(da, &p);
    const int32_t rc = da.TQKtoAVI(dir.File("big.TQK"), avi, nullptr, false);
    EXPECT_NE(rc, 0);
    EXPECT_EQ(da.FailureText(), AVIC().GetError(rc));
    EXPECT_FALSE(da.FailureText().empty());
    EXPECT_GT(da.FramesWritten(), 0);
    EXPECT_LT(da.FramesWritten(), 40);
    EXPECT_LT(p.calls, 40) << "the export stops instead of running on";
    std::printf("full disk: %d frames written, then 0x%08X\n", da.FramesWritten(), unsigned(rc));
    std::ofstream(fs::path(dir.File("full_frames.txt"))) << da.FramesWritten() << "\n";
    // The platform's reader opens it with the frames written.
    EXPECT_EQ(AviFrames(avi), da.FramesWritten());
    // Kept for the checks beside the others, leaving the small disk empty again.
    std::error_code ec;
    fs::copy_file(fs::path(avi), fs::path(dir.File("full.avi")),
                  fs::copy_options::overwrite_existing, ec);
    EXPECT_FALSE(ec);
    fs::remove(fs::path(avi), ec);
}

// The window's conversion: the real TQKAVI, with the window's Cancel clicked while frame
// clickAt is reported.
class ClickingConversion : public ConversionSource {
public:
    ClickingConversion(Form5* form, int32_t clickAt, int32_t* written, std::vector<int32_t>* seen)
        : form_(form), clickAt_(clickAt), written_(written), seen_(seen) {
        da_.Decoding = [this](int32_t now, int32_t total, int32_t ms) {
            seen_->push_back(now);
            if (now == clickAt_) PostMessageW(form_->Command1(), BM_CLICK, 0, 0);
            Decoding(now, total, ms);
        };
    }
    ~ClickingConversion() override { *written_ = da_.FramesWritten(); }
    int32_t TQKtoAVI(const std::wstring& a, const std::wstring& b, const COMPVARS* cv,
                     bool to24) override {
        return da_.TQKtoAVI(a, b, cv, to24);
    }
    void AVIRecCancel() override { da_.AVIRecCancel(); }
    int32_t WAVaddAVI(const std::wstring& w, const std::wstring& a, intptr_t cb) override {
        return da_.WAVaddAVI(w, a, cb);
    }
    int32_t TQKtoTQK(const std::wstring& s, const std::wstring& d, int32_t bits,
                     int32_t type) override {
        result = da_.TQKtoTQK(s, d, bits, type);
        return result;
    }
    std::wstring FailureText() const override { return da_.FailureText(); }
    static inline int32_t result = 0;

private:
    TQKAVI da_;
    Form5* form_;
    int32_t clickAt_;
    int32_t* written_;
    std::vector<int32_t>* seen_;
};

struct Harness {
    int32_t clickAt = -1;
    int32_t written = -1;
    std::vector<int32_t> seen;
    Form5 form{
        [this] { return std::make_unique<ClickingConversion>(&form, clickAt, &written, &seen); }};
};

TEST(Tqkavi, CancelEndsTheExportAtTheClickedFrameAndAsks) {
    OutDir dir;
    Sample(dir, "c16", 16, 10, 2);
    const struct {
        bool to24;
        int answer;
    } cases[] = {{false, IDYES}, {false, IDNO}, {true, IDYES}, {true, IDNO}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.to24) + " " + std::to_string(c.answer));
        const std::wstring avi = dir.File("cancel.avi");
        Harness h;
        h.clickAt = 4;
        {
            BoxAnswerer answerer(c.answer);
            h.form.U_Show(dir.File("c16.TQK"), avi, L"", nullptr, c.to24);
            EXPECT_TRUE(answerer.answered);
            EXPECT_EQ(answerer.text, L"キャンセルしました。AVIファイルは残しておきますか？");
        }
        // The click arrives while frame 4 is reported: frames 0..4 are in the file, whatever
        // the engine had decoded or drawn next.
        EXPECT_EQ(h.written, 5);
        EXPECT_EQ(h.seen.back(), 4);
        if (c.answer == IDYES)
            EXPECT_EQ(AviFrames(avi), 5);
        else
            EXPECT_FALSE(fs::exists(fs::path(avi)));
        std::error_code ec;
        fs::remove(fs::path(avi), ec);
    }
}

// Movie to movie through the window: the copy has the source's frames at 24 bits, progress
// counts from 1; a cancelled copy is deleted and its result says where it stopped.
TEST(Tqkavi, RewritesMoviesAndDeletesACancelledOne) {
    OutDir dir;
    for (int bits : {8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        const std::string name = "r" + std::to_string(bits);
        Sample(dir, name, bits, 10, 1, "32x16");
        Harness h;
        const std::wstring dst = dir.File(name + "_out.TQK");
        EXPECT_EQ(h.form.U_ShowTQKtoTQK(dir.File(name + ".TQK"), dst, 24, 1), 0);
        ASSERT_EQ(h.seen.size(), 10u);
        EXPECT_EQ(h.seen.front(), 1);
        EXPECT_EQ(h.seen.back(), 10);
        EXPECT_EQ(h.written, 10);
        ASSERT_EQ(TqkTo({"raw", dir.U8(name + "_out.TQK")}, dir.U8(name + "_out.bgr")), 0);
        std::ifstream a(fs::path(dir.File(name + ".bgr")), std::ios::binary);
        std::ifstream b(fs::path(dir.File(name + "_out.bgr")), std::ios::binary);
        const std::string ra((std::istreambuf_iterator<char>(a)), {});
        const std::string rb((std::istreambuf_iterator<char>(b)), {});
        EXPECT_EQ(ra.size(), size_t(32 * 16 * 3 * 10));
        EXPECT_TRUE(ra == rb) << "rewritten frames differ";
    }
    Harness h;
    h.clickAt = 3;
    const std::wstring dst = dir.File("cancelled.TQK");
    const int32_t rc = h.form.U_ShowTQKtoTQK(dir.File("r24.TQK"), dst, 24, 1);
    // Cancelled in the slot that handed over frame 3: the recording stops there.
    EXPECT_EQ(rc, tqk::MakeResultCode(tqk::kErrCancelled, 3));
    EXPECT_EQ(h.written, 3);
    EXPECT_EQ(h.seen.back(), 3);
    EXPECT_FALSE(fs::exists(fs::path(dst)));
}

TEST(Tqkavi, BadSourcesEndBeforeAnythingIsWritten) {
    OutDir dir;
    TQKAVI da;
    const std::wstring avi = dir.File("never.avi");
    EXPECT_EQ(da.TQKtoAVI(dir.File("missing.TQK"), avi, nullptr, false), tqk::kErrNoFile);
    EXPECT_FALSE(fs::exists(fs::path(avi)));
    std::ofstream(fs::path(dir.File("junk.TQK")), std::ios::binary) << std::string(64, 'x');
    EXPECT_EQ(da.TQKtoAVI(dir.File("junk.TQK"), avi, nullptr, true), tqk::kErrBadFile);
    EXPECT_FALSE(fs::exists(fs::path(avi)));
    EXPECT_EQ(da.TQKtoTQK(dir.File("junk.TQK"), dir.File("never.TQK"), 24, 1), tqk::kErrBadFile);
    EXPECT_FALSE(fs::exists(fs::path(dir.File("never.TQK"))));

    // An AVI that cannot be created: the library's code and message, nothing left behind.
    Sample(dir, "ok", 24, 10, 1, "32x16");
    const std::wstring nowhere = dir.File("no such folder/x.avi");
    const int32_t rc = da.TQKtoAVI(dir.File("ok.TQK"), nowhere, nullptr, false);
    EXPECT_NE(rc, 0);
    EXPECT_EQ(da.FailureText(), AVIC().GetError(rc));
    EXPECT_FALSE(da.FailureText().empty());
    // A depth the rewrite cannot produce, and a capture type user-supplied frames cannot use.
    EXPECT_EQ(da.TQKtoTQK(dir.File("ok.TQK"), dir.File("never.TQK"), 12, 1), tqk::kErrBadFile);
    EXPECT_FALSE(fs::exists(fs::path(dir.File("never.TQK"))));
    EXPECT_EQ(da.TQKtoTQK(dir.File("ok.TQK"), dir.File("never.TQK"), 24, 2),
              tqk::MakeResultCode(tqk::kErrUserCaptureType, 0));
    EXPECT_FALSE(fs::exists(fs::path(dir.File("never.TQK"))));
}

// Offsets right behind each record of a movie file.
std::vector<uintmax_t> RecordEnds(const fs::path& movie) {
    std::ifstream in(movie, std::ios::binary);
    std::vector<char> b((std::istreambuf_iterator<char>(in)), {});
    std::vector<uintmax_t> ends;
    for (size_t at = 32; at + 8 <= b.size();) {
        at += 8 + tqk::LoadLE32(reinterpret_cast<const uint8_t*>(&b[at + 4]));
        ends.push_back(at);
    }
    return ends;
}

// Rows that need padding (crafted: the recorder never writes them) are refused before any
// file is made, by both exports and the rewrite; run under Wine's heap checking too.
TEST(Tqkavi, PaddedRowMoviesAreRefusedBeforeAnythingIsWritten) {
    OutDir dir;
    for (int bits : {8, 16, 24}) {
        for (int method : {0, 1, 2}) {
            if (bits == 8 && method != 1) continue;
            SCOPED_TRACE(testing::Message() << bits << " bits, method " << method);
            tqk::MovieHeader h;
            h.Method = method, h.BitCo = bits, h.W = bits == 16 ? 1 : 6, h.H = 100000;
            h.fps = 1, h.sec = 1;
            uint8_t head[tqk::kHeaderBytes];
            tqk::EncodeHeader(h, head);
            uint8_t rec[tqk::kDroppedRecordBytes];
            tqk::EncodeDroppedRecord(rec, tqk::FrameBytes(h));
            {
                std::ofstream out(fs::path(dir.File("padded.TQK")), std::ios::binary);
                out.write(reinterpret_cast<const char*>(head), sizeof head);
                out.write(reinterpret_cast<const char*>(rec), sizeof rec);
            }
            for (bool to24 : {false, true}) {
                TQKAVI da;
                EXPECT_EQ(
                    da.TQKtoAVI(dir.File("padded.TQK"), dir.File("padded.avi"), nullptr, to24),
                    tqk::kErrBadFile);
                EXPECT_FALSE(fs::exists(fs::path(dir.File("padded.avi"))));
            }
            TQKAVI da;
            EXPECT_EQ(da.TQKtoTQK(dir.File("padded.TQK"), dir.File("padded_out.TQK"), 24, 1),
                      tqk::kErrBadFile);
            EXPECT_FALSE(fs::exists(fs::path(dir.File("padded_out.TQK"))));
        }
    }
}

// 32-bit rows are whole at any width: a movie 5 pixels wide exports both ways (the 24-bit
// read-back rows padded to 16 bytes), and the rewrite refuses it as recording refuses the
// width (-1).
TEST(Tqkavi, OddWidthAt32BitsExportsBothWaysAndIsNotRewritten) {
    OutDir dir;
    tqk::MovieHeader h;
    h.Method = 1, h.BitCo = 32, h.W = 5, h.H = 300, h.fps = 5, h.sec = 1;
    tqk::MovieEncoder enc;
    ASSERT_EQ(enc.Start(h), tqk::kOk);
    {
        std::ofstream out(fs::path(dir.File("w5.TQK")), std::ios::binary);
        out.write(reinterpret_cast<const char*>(enc.Header()), tqk::kHeaderBytes);
        std::vector<uint8_t> frame(enc.FrameSize());
        for (int i = 0; i < 5; ++i) {
            for (size_t k = 0; k < frame.size(); ++k) frame[k] = uint8_t(k * 3 + i);
            size_t n = 0;
            const uint8_t* rec = enc.EncodeFrame(frame.data(), &n);
            out.write(reinterpret_cast<const char*>(rec), std::streamsize(n));
        }
    }
    for (bool to24 : {false, true}) {
        SCOPED_TRACE(to24);
        TQKAVI da;
        const std::wstring avi = dir.File("w5.avi");
        EXPECT_EQ(da.TQKtoAVI(dir.File("w5.TQK"), avi, nullptr, to24), 0);
        EXPECT_EQ(da.FramesWritten(), 5);
        EXPECT_EQ(AviFrames(avi), 5);
    }
    TQKAVI da;
    EXPECT_EQ(da.TQKtoTQK(dir.File("w5.TQK"), dir.File("w5_out.TQK"), 24, 1),
              tqk::MakeResultCode(tqk::kErrNotInitialised, 0));
}

// A movie whose recorder died: 3 s promised at 10 fps, the file ends inside the 26th record.
// Both exports and the rewrite give its 2 whole seconds and report success.
TEST(Tqkavi, CutShortMoviesConvertTheirWholeSeconds) {
    OutDir dir;
    Sample(dir, "short", 24, 10, 3, "32x16");
    const fs::path movie(dir.File("short.TQK"));
    fs::resize_file(movie, RecordEnds(movie)[24] + 20);
    for (bool to24 : {false, true}) {
        SCOPED_TRACE(to24);
        TQKAVI da;
        const std::wstring avi = dir.File("short.avi");
        EXPECT_EQ(da.TQKtoAVI(movie.wstring(), avi, nullptr, to24), 0);
        EXPECT_EQ(da.FramesWritten(), 20);
        EXPECT_EQ(AviFrames(avi), 20);
    }
    TQKAVI da;
    EXPECT_EQ(da.TQKtoTQK(movie.wstring(), dir.File("short_out.TQK"), 24, 1), 0);
    EXPECT_EQ(da.FramesWritten(), 20);
    int32_t sec = 0;
    EXPECT_EQ(tqk::Capture().GetTVRFileData(dir.File("short_out.TQK"), nullptr, nullptr, nullptr,
                                            nullptr, &sec),
              0);
    EXPECT_EQ(sec, 2);
}

// A record damaged in the middle of a movie: both conversions stop at the damage and say
// so, the AVI keeping the whole frames before it.
TEST(Tqkavi, DamagedRecordsEndTheConversionWithTheirError) {
    OutDir dir;
    Sample(dir, "cut", 24, 10, 1, "32x16");
    const fs::path movie(dir.File("cut.TQK"));
    {
        std::fstream f(movie, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(std::streamoff(RecordEnds(movie)[8]));
        f.put('X');  // the 10th record's tag
    }
    for (bool to24 : {false, true}) {
        SCOPED_TRACE(to24);
        TQKAVI da;
        const std::wstring avi = dir.File("cut.avi");
        const int32_t rc = da.TQKtoAVI(movie.wstring(), avi, nullptr, to24);
        EXPECT_TRUE(rc == tqk::kErrNoFrameTag || rc == tqk::kErrFrameSize) << rc;
        EXPECT_EQ(da.FailureText(), tqk::Capture().GetError(rc));
        EXPECT_FALSE(da.FailureText().empty());
        EXPECT_EQ(da.FramesWritten(), 9);
        EXPECT_EQ(AviFrames(avi), 9);
    }
    TQKAVI da;
    const int32_t rc = da.TQKtoTQK(movie.wstring(), dir.File("cut_out.TQK"), 24, 1);
    EXPECT_TRUE(rc == tqk::kErrNoFrameTag || rc == tqk::kErrFrameSize) << rc;
    EXPECT_EQ(da.FramesWritten(), 10) << "the slot of the damaged frame was asked for";
}

// The same through the window: the message ends the export, the sound is not added, and no
// keep-or-delete question follows.
TEST(TqkaviFiles, FullDiskMessageThroughTheWindow) {
    const char* small = std::getenv("TAVIRO_SMALL_DISK");
    const char* wav = std::getenv("TAVIRO_TQKAVI_WAV");
    ASSERT_TRUE(small && *small && wav && *wav)
        << "needs TAVIRO_SMALL_DISK and TAVIRO_TQKAVI_WAV (tqkavi_check.sh gives both)";
    OutDir dir;
    Sample(dir, "big2", 24, 10, 4, "96x64");
    const std::wstring avi = (fs::u8path(small) / L"full2.avi").wstring();
    Harness h;
    {
        BoxAnswerer answerer(IDOK);
        h.form.U_Show(dir.File("big2.TQK"), avi, fs::u8path(wav).wstring(), nullptr, false);
        EXPECT_TRUE(answerer.answered);
        EXPECT_EQ(answerer.text, AVIC().GetError(int32_t(0x8004406Eu)));  // the write error
    }
    EXPECT_GT(h.written, 0);
    EXPECT_LT(h.written, 40);
    EXPECT_EQ(AviFrames(avi), h.written);
    PAVIFILE file = nullptr;
    ASSERT_EQ(AVIFileOpenW(&file, avi.c_str(), OF_READ, nullptr), 0);
    PAVISTREAM sound = nullptr;
    EXPECT_NE(AVIFileGetStream(file, &sound, streamtypeAUDIO, 0), 0) << "no sound added";
    if (sound) AVIStreamRelease(sound);
    AVIFileRelease(file);
    std::error_code ec;
    fs::remove(fs::path(avi), ec);
}

}  // namespace
}  // namespace tqk::test
