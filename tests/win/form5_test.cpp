// The progress window under Wine, running a conversion that writes a real AVI through AVIC
// (frames made here, as the movie conversion would hand them over). Cancel is pressed
// through the window's own button and message pump; the question is answered from a second
// thread that presses the message box's buttons.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "avi_test_util.h"
#include "avic.h"
#include "box_answerer.h"
#include "form5.h"
#include "temp_dir.h"

namespace tqk::test {
namespace {

namespace fs = std::filesystem;
using avitest::Bytes;

class Environment : public testing::Environment {
public:
    void SetUp() override { SetDllDirectoryW(fs::u8path(TAVIRO_AVI_DIR).wstring().c_str()); }
};
testing::Environment* const kEnv = testing::AddGlobalTestEnvironment(new Environment);

using TempDir = tqk::test::TempDir;

Bytes ReadAll(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteWav(const std::wstring& path, uint32_t samples) {
    const Bytes w = avitest::PcmWav(samples, 1, 8000);
    std::ofstream(fs::path(path), std::ios::binary)
        .write(reinterpret_cast<const char*>(w.data()), std::streamsize(w.size()));
}

// Writes `frames` frames of 32 x 16 x 24 through AVIC, raising Decoding after each, and
// stops at the next frame once cancelled; clicks the window's Cancel after frame clickAt.
class FrameConversion : public ConversionSource {
public:
    FrameConversion(Form5* form, int frames, int clickAt, int* writtenOut, bool* soundAdded)
        : form_(form),
          frames_(frames),
          clickAt_(clickAt),
          written_(writtenOut),
          soundAdded_(soundAdded) {}

    int32_t TQKtoAVI(const std::wstring&, const std::wstring& AVIFile, const COMPVARS* ptr_cv,
                     bool) override {
        AVIC writer;
        const int32_t rc = writer.AVIMakeInit(AVIFile, frames_, 32, 16, 24, 10, L"AVIFile", ptr_cv);
        if (rc != 0) return rc;
        Bytes frame(32 * 16 * 3);
        const DWORD start = GetTickCount();
        for (int i = 0; i < frames_ && !cancelled_; ++i) {
            for (size_t k = 0; k < frame.size(); ++k) frame[k] = uint8_t(k + i);
            EXPECT_EQ(writer.AVIMakeAddBMP(frame.data()), 0);
            ++*written_;
            if (i == clickAt_) PostMessageW(form_->Command1(), BM_CLICK, 0, 0);
            Decoding(i, frames_, int32_t(GetTickCount() - start) + 1);
        }
        return writer.AVIMakeClose();
    }
    void AVIRecCancel() override { cancelled_ = true; }
    int32_t WAVaddAVI(const std::wstring& WaveFile, const std::wstring& AVIFile,
                      intptr_t CallBack) override {
        *soundAdded_ = true;
        return AVIC().AVIAddWave(AVIFile, WaveFile, CallBack);
    }
    int32_t TQKtoTQK(const std::wstring&, const std::wstring& dstFnm, int32_t, int32_t) override {
        std::ofstream out(fs::path(dstFnm), std::ios::binary);
        int i = 0;
        for (; i < frames_ && !cancelled_; ++i) {
            out << "frame";
            ++*written_;
            if (i + 1 == clickAt_) PostMessageW(form_->Command1(), BM_CLICK, 0, 0);
            Decoding(i + 1, frames_, i * 10 + 1);
        }
        return cancelled_ ? -7 : 0;
    }

private:
    Form5* form_;
    int frames_, clickAt_;
    int* written_;
    bool* soundAdded_;
    bool cancelled_ = false;
};

// One window and the conversions it runs.
struct Harness {
    int frames = 40, clickAt = -1;
    int written = 0;
    bool sound = false;
    Form5 form{[this] {
        return std::make_unique<FrameConversion>(&form, frames, clickAt, &written, &sound);
    }};
};

TEST(Form5, RunsAConversionToTheEnd) {
    TempDir dir;
    const std::wstring avi = dir.File(L"書き出し.avi"), wav = dir.File(L"音.wav");
    WriteWav(wav, 12345);
    Harness h;
    h.form.U_Show(L"movie.TQK", avi, wav);
    EXPECT_EQ(h.written, 40);
    EXPECT_TRUE(h.sound);
    EXPECT_FALSE(IsWindowVisible(h.form.Hwnd()));
    EXPECT_EQ(GetMenuState(GetSystemMenu(h.form.Hwnd(), FALSE), SC_CLOSE, MF_BYCOMMAND), UINT(-1))
        << "the close command is removed";
    const form5::ProgressTexts& t = h.form.LastTexts();
    EXPECT_EQ(t.frame, "Frame 39/40");
    EXPECT_EQ(t.percent, "97.5%");
    EXPECT_EQ(t.caption, "100% AVI Recorded");
    EXPECT_EQ(t.barLength, 39 * 101 * Form5::kStripWidth / 4000);
    EXPECT_EQ(t.total.rfind("Total 00:0", 0), 0u) << t.total;
    EXPECT_EQ(t.rest.rfind("Rest 00:0", 0), 0u) << t.rest;
    // The strip: the bar image up to its length, the cleared strip after it.
    const COLORREF bar = GetPixel(h.form.StripDC(), t.barLength - 2, Form5::kStripHeight - 3);
    const COLORREF after = GetPixel(h.form.StripDC(), t.barLength + 2, Form5::kStripHeight - 3);
    EXPECT_NE(bar, RGB(255, 255, 255));
    EXPECT_EQ(after, RGB(255, 255, 255));

    const Bytes file = ReadAll(avi);
    const avitest::AviSummary s = avitest::Walk(file);
    ASSERT_EQ(s.streams.size(), 2u);
    EXPECT_EQ(s.streams[0].length, 40u);
    EXPECT_EQ(s.streams[1].length, 12345u);
}

TEST(Form5, CancelAsksWhetherToKeepTheAvi) {
    for (int answer : {IDNO, IDYES}) {
        SCOPED_TRACE(answer == IDNO ? "No" : "Yes");
        TempDir dir;
        const std::wstring avi = dir.File(L"cancel.avi"), wav = dir.File(L"音.wav");
        WriteWav(wav, 800);
        Harness h;
        h.frames = 200;
        h.clickAt = 10;
        {
            BoxAnswerer answerer(answer);
            h.form.U_Show(L"movie.TQK", avi, wav);
            EXPECT_TRUE(answerer.answered);
            EXPECT_EQ(answerer.text, L"キャンセルしました。AVIファイルは残しておきますか？");
        }
        // The click arrives while frame 10 is shown; the conversion stops before frame 12.
        EXPECT_EQ(h.written, 11);
        EXPECT_TRUE(h.sound) << "the sound is merged after a cancel too";
        if (answer == IDNO) {
            EXPECT_FALSE(fs::exists(fs::path(avi)));
        } else {
            const Bytes file = ReadAll(avi);
            const avitest::AviSummary s = avitest::Walk(file);
            ASSERT_EQ(s.streams.size(), 2u);
            EXPECT_EQ(s.streams[0].length, 11u);
            EXPECT_EQ(s.streams[1].length, 800u);
        }
    }
}

TEST(Form5, CancelledMovieRewriteIsDeletedWithoutAsking) {
    TempDir dir;
    const std::wstring out = dir.File(L"rewritten.TQK");
    Harness h;
    h.frames = 100;
    h.clickAt = 5;
    EXPECT_EQ(h.form.U_ShowTQKtoTQK(L"movie.TQK", out, 24, 1), -7);
    EXPECT_EQ(h.written, 5);
    EXPECT_FALSE(fs::exists(fs::path(out)));
    EXPECT_EQ(h.form.LastTexts().caption, "6% TQK Modified");
    EXPECT_EQ(h.form.LastTexts().frame, "Frame 5/100");

    Harness whole;
    whole.frames = 20;
    EXPECT_EQ(whole.form.U_ShowTQKtoTQK(L"movie.TQK", out, 24, 1), 0);
    EXPECT_TRUE(fs::exists(fs::path(out)));
    EXPECT_EQ(whole.form.LastTexts().caption, "105% TQK Modified");
}

TEST(Form5, StoredPositionOutsideTheWorkAreaIsPulledBack) {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    Harness h;
    h.frames = 2;
    g_Form5Left = -400;
    g_Form5Top = work.bottom + 500;
    TempDir dir;
    h.form.U_Show(L"movie.TQK", dir.File(L"a.avi"));
    RECT r{};
    GetWindowRect(h.form.Hwnd(), &r);
    EXPECT_EQ(g_Form5Left, work.left);
    EXPECT_EQ(r.left, work.left);
    EXPECT_EQ(r.bottom, work.bottom);
    EXPECT_EQ(g_Form5Top, work.bottom - (r.bottom - r.top));
}

}  // namespace
}  // namespace tqk::test
