// Choosing the recording input among a multiplexer's items.
#include "mixer_select.h"

#include <gtest/gtest.h>

namespace tqk::test {
namespace {

using namespace tqk::snd;

TEST(MixerSelect, SelectedInputIsTheLastSetValue) {
    const struct {
        std::vector<uint32_t> values;
        int32_t current, want;
    } cases[] = {
        {{0, 1, 0}, -1, 1},  // three inputs, the second selected
        {{1, 0, 1}, -1, 2},  // several set: the last one
        {{0, 0, 0}, 5, 5},   // none set: unchanged
        {{}, 3, 3},
        {{2, 0}, 9, 9},  // only bit 0 counts
        {{0xFFFFFFFF, 0}, 9, 0},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(SelectedInputIndex(cases[i].values, cases[i].current), cases[i].want);
    }
}

TEST(MixerSelect, InputToSetByNameOrIndex) {
    const std::vector<std::string> names = {"Microphone", "Line In", "CD Audio"};
    const struct {
        std::string name;
        int32_t index, want;
    } cases[] = {
        {"", 2, 2},                               // by index: the third input
        {"", 0, 0},           {"", 3, -1},        // outside the list
        {"", -1, -1},         {"Line In", 0, 1},  // a name wins over the index
        {"line in", 1, -1},                       // case-sensitive
        {"Line", 1, -1},                          // whole names only
        {"CD Audio ", 2, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + "/" + std::to_string(c.index));
        EXPECT_EQ(InputIndexToSet(names, c.name, c.index), c.want);
    }
    EXPECT_EQ(InputIndexToSet({}, "", 0), -1);
}

TEST(MixerSelect, SelectionClearsTheOthers) {
    EXPECT_EQ(SelectionValues(3, 2), (std::vector<uint32_t>{0, 0, 1}));
    EXPECT_EQ(SelectionValues(3, 0), (std::vector<uint32_t>{1, 0, 0}));
    EXPECT_EQ(SelectionValues(2, 5), (std::vector<uint32_t>{0, 0}));
}

TEST(MixerSelect, ItemNamesStopAtTheirFirstZero) {
    const char field[8] = {'L', 'i', 'n', 'e', 0, 'x', 'y', 'z'};
    EXPECT_EQ(ItemNameFromField(field, sizeof field), "Line");
    const char full[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(ItemNameFromField(full, sizeof full), "abcd");
}

}  // namespace
}  // namespace tqk::test
