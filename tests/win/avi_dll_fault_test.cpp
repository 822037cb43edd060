// TaviroAvi.dll with every write and flush failed in turn, call by call: exports without a
// compressor and through TaviroZmbv.dll, and sound added to an AVI. The library holds its own
// copy of the fault seam, which reads TAVIRO_FAULT once, at its first counted call; so every
// run loads the library afresh with the variable set and learns from TAVIRO_FAULT_REPORT
// whether the call was reached. The compressor itself writes nothing: its bytes reach the file
// only through the library's writer, which is failed here with it in the chain.
#include <windows.h>
#include <vfw.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "avi_test_util.h"
#include "temp_dir.h"
#include "zmbv.h"

namespace tqk::test {
namespace {

namespace fs = std::filesystem;
using avitest::Bytes;

// The build's paths are the host's; the prefix sees the host's root as Z:.
std::wstring FromUnix(const char* path) {
    std::wstring w = L"Z:" + fs::u8path(path).wstring();
    for (wchar_t& c : w)
        if (c == L'/') c = L'\\';
    return w;
}

Bytes ReadAll(const std::string& path) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}
void WriteAll(const std::string& path, const Bytes& b) {
    std::ofstream(fs::u8path(path), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

using InitFn = LONG(WINAPI*)(const char*, COMPVARS*, LONG, LONG, LONG, LONG, LONG, const char*);
using AddFn = LONG(WINAPI*)(const void*);
using CloseFn = LONG(WINAPI*)();
using ProgressFn = LONG(WINAPI*)(LONG, LONG);
using AddWaveFn = LONG(WINAPI*)(const char*, const char*, ProgressFn);

// TaviroAvi.dll loaded with "op:n" armed in its seam, and unloaded again (so the next load
// starts with fresh counts). Fired() reads the report the library appends when the call fails.
class ArmedLibrary {
public:
    ArmedLibrary(const std::string& fault, std::string report) : report_(std::move(report)) {
        std::remove(report_.c_str());
        _putenv_s("TAVIRO_FAULT", fault.c_str());
        _putenv_s("TAVIRO_FAULT_REPORT", report_.c_str());
        module_ = LoadLibraryW(FromUnix(TAVIRO_AVI_DLL).c_str());
    }
    ~ArmedLibrary() {
        _putenv_s("TAVIRO_FAULT", "");
        _putenv_s("TAVIRO_FAULT_REPORT", "");
        if (module_) FreeLibrary(module_);
        // A library still loaded would keep its counts: the next run would test nothing.
        EXPECT_EQ(GetModuleHandleW(L"TaviroAvi.dll"), nullptr) << "TaviroAvi.dll stayed loaded";
    }
    ArmedLibrary(const ArmedLibrary&) = delete;
    ArmedLibrary& operator=(const ArmedLibrary&) = delete;

    bool Loaded() const { return module_ != nullptr; }
    template <class Fn>
    Fn Get(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }
    bool Fired() const { return std::ifstream(report_).peek() != EOF; }

private:
    std::string report_;
    HMODULE module_ = nullptr;
};

// Runs `run` in a library whose n-th call of op fails, n = 1, 2, ... until a run no longer
// reaches it; `check(fired)` judges each run. Returns how many runs failed a call.
int EveryCall(const TempDir& dir, const char* op,
              const std::function<void(const ArmedLibrary&)>& run,
              const std::function<void(bool fired)>& check) {
    for (int n = 1; n < 500; ++n) {
        SCOPED_TRACE(std::string(op) + " call " + std::to_string(n));
        bool fired = false;
        {
            ArmedLibrary lib(std::string(op) + ":" + std::to_string(n), dir.File("fired.txt"));
            if (!lib.Loaded()) {
                ADD_FAILURE() << "TaviroAvi.dll did not load: " << GetLastError();
                return 0;
            }
            run(lib);
            fired = lib.Fired();
        }
        check(fired);
        if (!fired || ::testing::Test::HasFatalFailure()) return n - 1;
    }
    ADD_FAILURE() << "more than 500 calls";
    return 0;
}

// A bottom-up 24-bit frame that changes a little from one to the next.
Bytes Frame(int w, int h, int index) {
    Bytes f(size_t(w) * size_t(h) * 3);
    for (size_t i = 0; i < f.size(); ++i) f[i] = uint8_t(i / 3 % 61 + (i / 97 == size_t(index)));
    return f;
}

// The frames of a ZMBV stream decode one after the other from the first.
void DecodeZmbv(const Bytes& f, const avitest::StreamSummary& st, int w, int h) {
    zmbv::Decoder decoder;
    ASSERT_EQ(decoder.Start(w, h), zmbv::Status::kOk);
    for (size_t i = 0; i < st.chunks.size(); ++i) {
        const avitest::Chunk& ch = st.chunks[i];
        ASSERT_LE(ch.dataOffset + ch.size, f.size());
        EXPECT_EQ(decoder.Decode(f.data() + ch.dataOffset, ch.size), zmbv::Status::kOk)
            << "frame " << i;
    }
}

// The compressor of the chain: the built TaviroZmbv.dll installed for this process only.
class Environment : public testing::Environment {
public:
    void SetUp() override {
        zmbv_ = LoadLibraryW(FromUnix(TAVIRO_ZMBV_DLL).c_str());
        ASSERT_NE(zmbv_, nullptr) << "TaviroZmbv.dll did not load";
        const auto proc = GetProcAddress(zmbv_, "DriverProc");
        ASSERT_NE(proc, nullptr);
        ASSERT_TRUE(ICInstall(ICTYPE_VIDEO, mmioFOURCC('Z', 'M', 'B', 'V'), LPARAM(proc), nullptr,
                              ICINSTALL_FUNCTION));
    }
    void TearDown() override {
        ICRemove(ICTYPE_VIDEO, mmioFOURCC('Z', 'M', 'B', 'V'), 0);
        if (zmbv_) FreeLibrary(zmbv_);
    }

private:
    HMODULE zmbv_ = nullptr;
};
testing::Environment* const kEnv = testing::AddGlobalTestEnvironment(new Environment);

// An export of 12 frames: a failed call must be reported by the frame or the close it belongs
// to. A failed frame leaves a valid AVI of the frames before it (the close writes their index
// and headers); a failure in the close itself leaves a valid AVI (with its last frames given
// back when their index found no room) or no file at all, never a file that only looks like
// an AVI.
TEST(AviDllFaults, ExportsReportEveryFailedWriteAndFlush) {
    TempDir dir("avidll_");
    const int w = 64, h = 40, frames = 12;
    const std::string out = dir.File("out.avi");
    for (const bool zmbv : {false, true}) {
        for (const char* op : {"write", "flush"}) {
            SCOPED_TRACE(zmbv ? "ZMBV" : "uncompressed");
            LONG initRc = 0, closeRc = 0;
            int good = 0;
            bool frameFailed = false;
            const int failed = EveryCall(
                dir, op,
                [&](const ArmedLibrary& lib) {
                    good = 0;
                    frameFailed = false;
                    std::remove(out.c_str());  // what a run leaves is its own
                    COMPVARS cv{};
                    cv.cbSize = sizeof cv;
                    cv.dwFlags = ICMF_COMPVARS_VALID;
                    cv.fccHandler = mmioFOURCC('Z', 'M', 'B', 'V');
                    cv.lKey = 4;
                    cv.lQ = ICQUALITY_DEFAULT;
                    initRc = lib.Get<InitFn>("AVICreateInit")(out.c_str(), zmbv ? &cv : nullptr, w,
                                                              h, 24, 10, frames, "AVIFile");
                    closeRc = 0;
                    if (initRc != 0) return;
                    const auto add = lib.Get<AddFn>("AVICreateAddBitmap");
                    for (int i = 0; i < frames && !frameFailed; ++i) {
                        if (add(Frame(w, h, i).data()) == 0)
                            ++good;
                        else
                            frameFailed = true;
                    }
                    closeRc = lib.Get<CloseFn>("AVICreateClose")();
                },
                [&](bool fired) {
                    bool closeKept = false;
                    if (!fired) {
                        ASSERT_EQ(initRc, 0);
                        EXPECT_EQ(closeRc, 0);
                        EXPECT_EQ(good, frames);
                    } else {
                        ASSERT_TRUE(initRc != 0 || frameFailed || closeRc != 0)
                            << "a failed " << op << " reported as success";
                        if (initRc != 0) return;
                        if (frameFailed) {
                            // A compressed AVI's file starts with its first frame: before it
                            // the close has nothing to report.
                            if (zmbv && good == 0) return;
                            EXPECT_NE(closeRc, 0) << "the close hides the failed frame";
                        } else if (!fs::exists(fs::u8path(out))) {
                            // The close itself failed and took away the file it could not
                            // make consistent.
                            return;
                        } else {
                            closeKept = true;
                        }
                    }
                    const Bytes f = ReadAll(out);
                    const avitest::AviSummary s = avitest::Walk(f);
                    ASSERT_EQ(s.streams.size(), 1u);
                    // After a failed close the index may have had room only for the frames
                    // before the last ones (given back, as on a full disk): fewer, never more,
                    // and every one indexed and readable.
                    if (closeKept) {
                        EXPECT_LE(s.streams[0].chunks.size(), size_t(good));
                    } else {
                        EXPECT_EQ(s.streams[0].chunks.size(), size_t(good));
                    }
                    EXPECT_EQ(s.streams[0].length, uint32_t(s.streams[0].chunks.size()));
                    if (zmbv) DecodeZmbv(f, s.streams[0], w, h);
                });
            EXPECT_GE(failed, 2);
            std::printf("%s export: %d %s calls failed in turn\n", zmbv ? "ZMBV" : "uncompressed",
                        failed, op);
        }
    }
}

// Sound added to an AVI through the library: every failure is reported, and the AVI keeps its
// frames, with the whole sound or none of it (then as it was).
TEST(AviDllFaults, SoundAddedIsWholeOrReported) {
    TempDir dir("avidll_");
    const std::string done = dir.File("done.avi"), out = dir.File("out.avi"),
                      wav = dir.File("s.wav");
    {
        ArmedLibrary lib("", dir.File("unused.txt"));
        ASSERT_TRUE(lib.Loaded());
        ASSERT_EQ(lib.Get<InitFn>("AVICreateInit")(done.c_str(), nullptr, 16, 8, 24, 10, 10, "v"),
                  0);
        for (int i = 0; i < 10; ++i)
            ASSERT_EQ(lib.Get<AddFn>("AVICreateAddBitmap")(Frame(16, 8, i).data()), 0);
        ASSERT_EQ(lib.Get<CloseFn>("AVICreateClose")(), 0);
    }
    const Bytes original = ReadAll(done);
    // 0.9 s of 8 kHz stereo: 28800 bytes, several pieces of the copy.
    WriteAll(wav, avitest::PcmWav(7200, 2, 8000));
    for (const char* op : {"write", "flush"}) {
        LONG rc = 0;
        const int failed = EveryCall(
            dir, op,
            [&](const ArmedLibrary& lib) {
                WriteAll(out, original);
                rc = lib.Get<AddWaveFn>("AVIAddWaveToAVI")(out.c_str(), wav.c_str(), nullptr);
            },
            [&](bool fired) {
                const Bytes f = ReadAll(out);
                const avitest::AviSummary s = avitest::Walk(f);
                ASSERT_GE(s.streams.size(), 1u);
                EXPECT_EQ(s.streams[0].chunks.size(), 10u);
                uint64_t sound = 0;
                for (size_t i = 1; i < s.streams.size(); ++i) {
                    for (const avitest::Chunk& ch : s.streams[i].chunks) sound += ch.size;
                }
                if (!fired) {
                    EXPECT_EQ(rc, 0);
                    EXPECT_EQ(sound, 7200u * 4);
                    return;
                }
                EXPECT_NE(rc, 0) << "a failed " << op << " reported as success";
                EXPECT_LE(sound, 7200u * 4);
                if (s.streams.size() == 1) {
                    EXPECT_EQ(f, original) << "not as it was";
                }
            });
        EXPECT_GE(failed, 1);
        std::printf("sound added: %d %s calls failed in turn\n", failed, op);
    }
}

}  // namespace
}  // namespace tqk::test
