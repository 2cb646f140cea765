#include <gtest/gtest.h>

#include "appearance/dpi_scale.h"

using appearance::ImageScale;
using appearance::imageScaleFor;
using appearance::scaled;

TEST(DpiScale, MeasuresScaleWithHalvesAwayFromZero) {
    EXPECT_EQ(scaled(960, 96), 960);
    EXPECT_EQ(scaled(960, 144), 1440);
    EXPECT_EQ(scaled(480, 192), 960);
    EXPECT_EQ(scaled(628, 120), 785);
    EXPECT_EQ(scaled(64, 144), 96);
    EXPECT_EQ(scaled(1, 120), 1) << "1.25";
    EXPECT_EQ(scaled(1, 144), 2) << "1.5";
    EXPECT_EQ(scaled(-3, 144), -5) << "-4.5";
    EXPECT_EQ(scaled(0, 192), 0);
    EXPECT_EQ(scaled(6, 168), 11) << "10.5";
    EXPECT_EQ(scaled(1'000'000, 480), 5'000'000) << "no overflow on large measures";
}

TEST(DpiScale, ImagesAreTheNearestDrawnSizeAndNeverStretchedByAFraction) {
    EXPECT_EQ(imageScaleFor(96), (ImageScale{100, 1}));
    EXPECT_EQ(imageScaleFor(120), (ImageScale{100, 1})) << "20 px wanted: 16 and 24 are as near; the smaller fits";
    EXPECT_EQ(imageScaleFor(144), (ImageScale{150, 1}));
    EXPECT_EQ(imageScaleFor(168), (ImageScale{150, 1}));
    EXPECT_EQ(imageScaleFor(192), (ImageScale{200, 1}));
    EXPECT_EQ(imageScaleFor(240), (ImageScale{200, 1}));
    EXPECT_EQ(imageScaleFor(288), (ImageScale{150, 2})) << "48 px: the 24-pixel drawing doubled, not 16 tripled";
    EXPECT_EQ(imageScaleFor(384), (ImageScale{200, 2}));
    EXPECT_EQ(imageScaleFor(72), (ImageScale{100, 1})) << "below 100 % the smallest drawing, never shrunk";
    EXPECT_EQ(imageScaleFor(0), (ImageScale{100, 1})) << "an unknown DPI counts as 96";
    for (int dpi = 96; dpi <= 480; ++dpi) {
        const ImageScale s = imageScaleFor(dpi);
        const int wanted = scaled(16, dpi);
        EXPECT_LE(std::abs(s.side() - wanted), wanted / 4) << dpi;
        EXPECT_TRUE(s.percent == 100 || s.percent == 150 || s.percent == 200) << dpi;
    }
}
