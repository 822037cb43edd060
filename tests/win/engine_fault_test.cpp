// The engine's two movie writers with every write and the final cut failed in turn through the
// fault seam: the recording must end with the platform error of the failed call, and the file
// left must be empty (nothing was written) or a movie whose header covers only whole records,
// each frame as it was given.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>

#include "../common/result_code.h"
#include "engine_test_util.h"
#include "fault_seam.h"

namespace tqk::test {
namespace {

using fault::Op;

class Feeder : public CaptureEvents {
public:
    std::vector<Bytes> given;
    void OnUserCaptureSetBitmapInfo(int32_t& bits) override { bits = 32; }
    void OnUserCaptureSetDATA(uint8_t* out, int32_t size) override {
        Bytes f(static_cast<size_t>(size), 0);
        for (size_t i = 0; i < f.size(); ++i) f[i] = uint8_t(i * 3 + given.size() * 17);
        std::memcpy(out, f.data(), f.size());
        given.push_back(std::move(f));
    }
};

// Few records, and two seconds: a write failed in the second one leaves the first whole
// second, whose frames are then read back. Each run takes the recording's real time.
constexpr int32_t kFps = 4, kSec = 2;

TEST(EngineFaults, EveryFailedWriteEndsTheRecordingWithWholeRecords) {
    TempDir dir;
    struct Disarmed {
        ~Disarmed() { fault::Disarm(); }
    } guard;
    for (const bool mapped : {false, true}) {
        for (const Op op : {Op::kWrite, Op::kFlush}) {
            const std::wstring path = dir.File(mapped ? L"a.TQK" : L"s.TQK");
            int fired = 0, keptChecked = 0;
            for (int n = 1; n < 200; ++n) {
                SCOPED_TRACE(std::string(mapped ? "RecAsync " : "Rec1 ") + fault::OpName(op) +
                             " call " + std::to_string(n));
                DeleteFileW(path.c_str());
                Feeder feeder;
                Capture cp(&feeder);
                cp.Init(0, 0, 16, 8);
                cp.Init_Capture(kFps, kSec, 1);
                fault::Arm(op, n);
                const int32_t rc = cp.Rec(path, 0, true, nullptr, 0, mapped);
                const bool hit = fault::Fired();
                fault::Disarm();
                const Bytes bytes = ReadAll(path);
                const Layout l = ParseLayout(bytes);
                if (!hit) {
                    EXPECT_EQ(rc, 0);
                    EXPECT_EQ(l.packedSizes.size(), size_t(kFps * kSec));
                    break;
                }
                ++fired;
                if (rc == 0) {
                    // The writer got past the failed call (the mapped writer claims its room
                    // again): then the movie must be whole.
                    EXPECT_EQ(l.packedSizes.size(), size_t(kFps * kSec));
                    EXPECT_TRUE(l.endsBehindLast);
                    EXPECT_EQ(l.header.sec, kSec);
                    continue;
                }
                const SplitCode split = SplitResultCode(rc);
                if (split.code == kErrOpen) {
                    // The failed call was the cut of an older file at opening: the movie
                    // could not be made, and nothing of a recording is claimed.
                    EXPECT_LT(bytes.size(), kHeaderBytes);
                    continue;
                }
                ASSERT_EQ(split.code, kErrApi)
                    << "a failed " << fault::OpName(op) << " reported as " << rc;
                EXPECT_EQ(uint32_t(split.detail), fault::ErrorNumber(op));
                if (bytes.empty()) continue;  // the header itself was refused
                ASSERT_GE(bytes.size(), kHeaderBytes);
                // The header claims only whole seconds of whole records.
                EXPECT_LE(size_t(l.header.sec) * kFps, l.packedSizes.size());
                // A failed cut may leave the reserved room behind the records; a failed write
                // never does.
                if (op == Op::kWrite) {
                    EXPECT_TRUE(l.endsBehindLast) << bytes.size();
                }
                if (l.header.sec > 0) {
                    Collector col;
                    Capture player(&col);
                    EXPECT_EQ(player.Play(path, nullptr, nullptr, 0, 0, true), 0);
                    ASSERT_EQ(col.frames.size(), size_t(l.header.sec) * kFps);
                    for (size_t i = 0; i < col.frames.size(); ++i)
                        EXPECT_TRUE(col.frames[i] == feeder.given[i]) << i;
                    ++keptChecked;
                }
            }
            EXPECT_GE(fired, 1);
            // The plain writer stops at a failed write: some failure came after the first whole
            // second, whose frames were then read back. (The mapped writer claims its room
            // again and finishes the movie, checked whole above.)
            if (op == Op::kWrite && !mapped) {
                EXPECT_GE(keptChecked, 1) << "no run kept a second";
            }
        }
    }
}

}  // namespace
}  // namespace tqk::test
