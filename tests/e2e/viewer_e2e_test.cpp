// The real viewer on every host of this test program, looked at and closed from outside as a
// user would.
#include "support/viewer_fixture.h"

namespace {

using Viewer = ViewerTest;

TEST_P(Viewer, ShowsTheAxesAndTheGrassBoxOverDarkGreyAndAnimates) {
    ChildProcess* viewer = nullptr;
    Window window = Start(&viewer);
    ASSERT_NE(window, 0u);
    RgbImage first = WaitForPicture(window);
    ASSERT_GT(first.width, 100);
    ASSERT_GT(first.height, 100);
    // Background in the corners, the Y axis up the centre, the grass box around the origin.
    EXPECT_EQ(PictureMisfit(first, first.width, first.height), "");
    EXPECT_TRUE(WaitForNewPicture(window, first)) << "the picture does not animate";
    CloseAndExpectEndsWithZero(viewer, window, "close");
}

// Wide, then narrower, then tall: a viewport or an aspect ratio left at the old size shows at
// once, also where only one dimension changed.
TEST_P(Viewer, ResizeRefitsThePicture) {
    ChildProcess* viewer = nullptr;
    Window window = Start(&viewer);
    ASSERT_NE(window, 0u);
    for (auto [width, height] : {std::pair{800, 500}, {400, 500}, {400, 600}}) {
        Resize(window, width, height);
        EXPECT_EQ(WaitForPictureToFit(window, width, height), "") << width << " x " << height;
    }
    CloseAndExpectEndsWithZero(viewer, window, "close after the resizes");
}

// Started by a launcher with an activation token one byte too long for a Wayland message.
TEST_P(Viewer, CloseEndsTheProcessWithZeroInTime) {
    ViewerOptions options;
    options.viewerEnvironment = {{"XDG_ACTIVATION_TOKEN", std::string(4080, 't')}};
    ChildProcess* viewer = nullptr;
    Window window = Start(&viewer, options);
    ASSERT_NE(window, 0u);
    WaitForPicture(window); // its first frames on screen
    CloseAndExpectEndsWithZero(viewer, window, "close");
}

TEST_P(Viewer, WithoutTheBitmapItAnimatesAnUntexturedBoxSilently) {
    ViewerOptions options;
    options.withTexture = false;
    ChildProcess* viewer = nullptr;
    Window window = Start(&viewer, options);
    ASSERT_NE(window, 0u);
    RgbImage image;
    WaitUntil([&] { return BoxPatchShare(image = Grab(window), IsWhite) > 0.9; }, limits_.fitMs,
              50);
    EXPECT_GT(BoxPatchShare(image, IsWhite), 0.9);
    EXPECT_TRUE(WaitForNewPicture(window, image));
    CloseAndExpectEndsWithZero(viewer, window, "close");
}

TAVIK_VIEWER_TESTS_ON_EVERY_HOST(Viewer);

} // namespace
