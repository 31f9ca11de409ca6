// The buffer size of a Wayland surface on scaled outputs.
#include <gtest/gtest.h>

#include "host/wayland/scale.h"

namespace {

TEST(SurfaceScale, IntegerOutputScaleMultipliesTheLogicalSize) {
    EXPECT_EQ(SurfacePixelsWayland(465, 0, 1), 465);
    EXPECT_EQ(SurfacePixelsWayland(288, 0, 2), 576);
    EXPECT_EQ(SurfacePixelsWayland(465, 0, 3), 1395);
    EXPECT_EQ(SurfacePixelsWayland(465, 0, 0), 465);
}

TEST(SurfaceScale, FractionalScaleRoundsHalfAwayFromZeroAndOutranksTheOutputScale) {
    EXPECT_EQ(SurfacePixelsWayland(465, 120, 2), 465);
    EXPECT_EQ(SurfacePixelsWayland(465, 180, 2), 698); // 697.5
    EXPECT_EQ(SurfacePixelsWayland(288, 180, 2), 432);
    EXPECT_EQ(SurfacePixelsWayland(465, 150, 2), 581); // 581.25
    EXPECT_EQ(SurfacePixelsWayland(3, 140, 1), 4);     // 3.5
    EXPECT_EQ(SurfacePixelsWayland(465, 90, 1), 349);  // 348.75
}

TEST(SurfaceScale, NeverLessThanOnePixelNorOverflowing) {
    EXPECT_EQ(SurfacePixelsWayland(0, 0, 1), 1);
    EXPECT_EQ(SurfacePixelsWayland(1, 30, 1), 1);
    EXPECT_GT(SurfacePixelsWayland(1 << 30, 0, 4), 0);
    EXPECT_GT(SurfacePixelsWayland(1 << 30, 480, 1), 0);
}

} // namespace
