#include <gtest/gtest.h>

#include <cstdlib>

#include "ui/BackgroundScale.h"

namespace {

// The dialog manager's rounding of dialog units to pixels (MulDiv).
int DialogUnitsToPixels(int units, int base, int unitsPerBase) {
    return (2 * units * base + unitsPerBase) / (2 * unitsPerBase);
}

} // namespace

TEST(BackgroundScale, PictureIsLeftAsItIsOnlyAtItsOwnMetrics) {
    const BackgroundScale drawn{7, 15};
    EXPECT_TRUE(drawn.IsOneToOne());
    EXPECT_EQ(989, drawn.ScaleX(989));
    EXPECT_EQ(676, drawn.ScaleY(676));
    EXPECT_FALSE((BackgroundScale{7, 14}.IsOneToOne()));
    EXPECT_FALSE((BackgroundScale{8, 15}.IsOneToOne()));
}

TEST(BackgroundScale, EachAxisFollowsItsOwnBaseUnit) {
    const BackgroundScale wine{7, 14};
    EXPECT_EQ(989, wine.ScaleX(989));
    EXPECT_EQ(631, wine.ScaleY(676));
    const BackgroundScale large{11, 21};
    EXPECT_EQ(1554, large.ScaleX(989));
    EXPECT_EQ(946, large.ScaleY(676));
}

// A painted spot and the control placed there in dialog units stay within a pixel of each
// other, and the picture still covers the whole client area (565 x 360 units).
TEST(BackgroundScale, PaintedSpotsStayUnderTheirControlsAtEveryFontSize) {
    for (int baseX = 5; baseX <= 20; ++baseX) {
        for (int baseY = 10; baseY <= 40; ++baseY) {
            const BackgroundScale scale{baseX, baseY};
            SCOPED_TRACE(std::to_string(baseX) + " x " + std::to_string(baseY));
            for (int units = 0; units <= 565; units += 7) {
                const int spotX = DialogUnitsToPixels(units, 7, 4);
                const int spotY = DialogUnitsToPixels(units, 15, 8);
                EXPECT_LE(std::abs(scale.ScaleX(spotX) - DialogUnitsToPixels(units, baseX, 4)), 1);
                EXPECT_LE(std::abs(scale.ScaleY(spotY) - DialogUnitsToPixels(units, baseY, 8)), 1);
            }
            EXPECT_GE(scale.ScaleX(989), DialogUnitsToPixels(565, baseX, 4));
            EXPECT_GE(scale.ScaleY(676), DialogUnitsToPixels(360, baseY, 8));
        }
    }
}
