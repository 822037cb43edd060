// Control id tables and DPI scaling: the compile-time id check and the one place where 96-DPI
// pixels and twips become pixels of a screen.
#include <gtest/gtest.h>

#include "control_ids.h"
#include "dpi_scale.h"

namespace tqk::test {
namespace {

// The pattern of a window's id header.
inline constexpr int Command1 = 101;
inline constexpr int Check3 = 102;
inline constexpr IdBlock HScroll1{110, 2};
inline constexpr IdBlock Option1{120, 3};
static_assert(IdsValid({Command1, Check3, HScroll1, Option1}));
static_assert(HScroll1(1) == 111 && HScroll1.IndexOf(111) == 1 && HScroll1.IndexOf(112) == -1);

TEST(ControlIds, CheckCatchesOverlapsAndReservedIds) {
    struct Case {
        const char* what;
        bool valid;
        bool got;
    };
    const Case cases[] = {
        {"distinct ids and blocks", true, IdsValid({8, 9, IdBlock{10, 5}, 15})},
        {"a repeated id", false, IdsValid({100, 101, 100})},
        {"an id inside a block", false, IdsValid({IdBlock{200, 4}, 203})},
        {"overlapping blocks", false, IdsValid({IdBlock{200, 4}, IdBlock{203, 2}})},
        {"adjacent blocks", true, IdsValid({IdBlock{200, 4}, IdBlock{204, 2}})},
        {"IDOK", false, IdsValid({1})},
        {"IDCLOSE", false, IdsValid({7})},
        {"a block reaching into 1-7", false, IdsValid({IdBlock{0, 3}})},
        {"a block covering 1-7 from below 8", false, IdsValid({IdBlock{5, 10}})},
        {"the message-box static", false, IdsValid({0xFFFF})},
        {"a block ending on 0xFFFF", false, IdsValid({IdBlock{0xFFF0, 16}})},
        {"0xFFFE", true, IdsValid({0xFFFE})},
        {"zero", false, IdsValid({0})},
        {"an empty block", false, IdsValid({IdBlock{300, 0}})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.got, c.valid);
    }
}

TEST(DpiScale, PixelsAndTwips) {
    struct Case {
        int dpi, px96, px;
        double twipsPerPixel;
    };
    const Case cases[] = {
        {96, 100, 100, 15.0}, {120, 100, 125, 12.0}, {144, 100, 150, 10.0}, {144, 19, 29, 10.0},
        {192, 7, 14, 7.5},    {144, -3, -5, 10.0},   {0, 40, 40, 15.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dpi);
        const DpiScale s(c.dpi);
        EXPECT_EQ(s.Px(c.px96), c.px);
        EXPECT_DOUBLE_EQ(s.TwipsPerPixel(), c.twipsPerPixel);
    }
    EXPECT_EQ(DpiScale(144).FromTwips(1500), 150);  // 1500 twips: 100 px at 96 DPI
    EXPECT_EQ(DpiScale(96).FromTwips(1500), 100);
    EXPECT_EQ(DpiScale(96).FromTwips(1507.5), 101);  // rounded
    EXPECT_DOUBLE_EQ(DpiScale(144).ToTwips(150), 1500);
    EXPECT_EQ(DpiScale(144).To96(150), 100);
}

}  // namespace
}  // namespace tqk::test
