// Mixer on the platform's real mixer devices. The audio daemon's mixers here have a wave-in
// destination without a multiplexer (or none on device 0), so nothing is selectable and the
// error numbers tell which.
#include "mixer.h"

#include <gtest/gtest.h>

namespace tqk::test {
namespace {

using namespace tqk::snd;

TEST(Mixer, ReportsWhatThePlatformOffers) {
    Mixer m;
    EXPECT_EQ(m.IsEnableMixer(), mixerGetNumDevs() > 0);
    ASSERT_TRUE(m.IsEnableMixer()) << "the audio daemon gives mixer devices";

    int32_t error = 0, selected = 77;
    const auto lines = m.GetWaveInLines(&error, &selected);
    RecordProperty("wave_in_lines_error", error);
    if (lines.empty()) {
        EXPECT_TRUE(error == kMixerNoLine || error == kMixerNoItems) << error;
        EXPECT_EQ(selected, 77) << "no selection read";
        // Nothing to select: both ways of selecting report the same reason.
        EXPECT_EQ(m.SetWaveInLine(L"", 0), error);
        EXPECT_EQ(m.SetWaveInLine(L"Microphone"), error);
    } else {
        // A real multiplexer: select each input and read it back, then restore.
        const int32_t before = selected;
        for (int32_t i = 0; i < int32_t(lines.size()); ++i) {
            ASSERT_EQ(m.SetWaveInLine(L"", i), 0);
            int32_t now = -1;
            m.GetWaveInLines(nullptr, &now);
            EXPECT_EQ(now, i);
        }
        EXPECT_EQ(m.SetWaveInLine(lines[0] + L"x"), kMixerNoLine);
        EXPECT_EQ(m.SetWaveInLine(L"", before), 0);
    }
}

TEST(Mixer, OptionalOutputsMayBeOmitted) {
    Mixer m;
    EXPECT_NO_FATAL_FAILURE(m.GetWaveInLines());
}

}  // namespace
}  // namespace tqk::test
