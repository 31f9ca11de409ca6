// The real viewer on every host of this test program, looked at and closed from outside as a
// user would.
#include "support/viewer_fixture.h"

namespace {

using Viewer = ViewerTest;

TEST_P(Viewer, ShowsTheAxesAndTheGrassBoxOverDarkGreyAndAnimates) {
    ASSERT_NO_FATAL_FAILURE(Start());
    RgbImage first = WaitForPicture(window_);
    ASSERT_GT(first.width, 100);
    ASSERT_GT(first.height, 100);
    // Background in the corners, the Y axis up the centre, the grass box around the origin.
    EXPECT_EQ(PictureMisfit(first, first.width, first.height), "");
    EXPECT_TRUE(WaitForNewPicture(window_, first)) << "the picture does not animate";
    CloseAndExpectEndsWithZero(viewer_, window_, "close");
}

// Wide, then narrower, then tall: a viewport or an aspect ratio left at the old size shows at
// once, also where only one dimension changed.
TEST_P(Viewer, ResizeRefitsThePicture) {
    ASSERT_NO_FATAL_FAILURE(Start());
    for (auto [width, height] : {std::pair{800, 500}, {400, 500}, {400, 600}}) {
        Resize(window_, width, height);
        EXPECT_EQ(WaitForPictureToFit(window_, width, height), "") << width << " x " << height;
    }
    CloseAndExpectEndsWithZero(viewer_, window_, "close after the resizes");
}

TEST_P(Viewer, CloseEndsTheProcessWithZeroInTime) {
    ASSERT_NO_FATAL_FAILURE(Start());
    WaitForPicture(window_); // its first frames on screen
    CloseAndExpectEndsWithZero(viewer_, window_, "close");
}

TEST_P(Viewer, WithoutTheBitmapItAnimatesAnUntexturedBoxSilently) {
    ViewerOptions options;
    options.withTexture = false;
    ASSERT_NO_FATAL_FAILURE(Start(options));
    RgbImage image;
    WaitUntil([&] { return BoxPatchShare(image = Grab(window_), IsWhite) > 0.9; }, limits_.fitMs,
              50);
    EXPECT_GT(BoxPatchShare(image, IsWhite), 0.9);
    EXPECT_TRUE(WaitForNewPicture(window_, image));
    CloseAndExpectEndsWithZero(viewer_, window_, "close");
}

TAVIK_VIEWER_TESTS_ON_EVERY_HOST(Viewer);

} // namespace
