// The real viewer on every host of this test program, looked at, pointed at and closed from outside
// as a user would.
#include <algorithm>

#include "support/protocol_log.h"
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

// Started by a launcher with an activation token one byte too long for a Wayland message.
TEST_P(Viewer, CloseEndsTheProcessWithZeroInTime) {
    ViewerOptions options;
    options.viewerEnvironment = {{"XDG_ACTIVATION_TOKEN", std::string(4080, 't')}};
    ASSERT_NO_FATAL_FAILURE(Start(options));
    WaitForPicture(window_); // its first frames on screen
    CloseAndExpectEndsWithZero(viewer_, window_, "close");
}

TEST_P(Viewer, WithoutTheBitmapItAnimatesAnUntexturedBoxSilently) {
    ViewerOptions options;
    options.withTexture = false;
    ASSERT_NO_FATAL_FAILURE(Start(options));
    RgbImage image;
    EXPECT_TRUE(WaitUntil([&] { return BoxPatchShare(image = Grab(window_), IsWhite) > 0.9; },
                          limits_.fitMs))
        << "white share of the box patch: " << BoxPatchShare(image, IsWhite);
    EXPECT_TRUE(WaitForNewPicture(window_, image));
    CloseAndExpectEndsWithZero(viewer_, window_, "close");
}

// The memory maps of the viewer's processes (bubblewrap's too, where it runs in a root).
std::string ViewerMaps(const ChildProcess& viewer) {
    std::string maps;
    RunForOutput({"sh", "-c", "for p in $(pgrep -g $0); do cat /proc/$p/maps; done",
                  std::to_string(viewer.pid)},
                 {}, 10000, &maps);
    return maps;
}

// Under a pointer of the desktop's own, as the viewer's protocol log shows: the pointer image set
// after the enter, with that enter's serial. Where the compositor draws cursor
// shapes, the default shape, and the viewer neither opens the cursor library (the loader's log) nor
// has it mapped, unless libdecor's frame plugin, which draws the frame's own pointer, brought it.
// Elsewhere an image on a surface of the viewer's own, from that library.
TEST_P(Viewer, ThePointerOverTheWindowIsTheArrow) {
    ViewerOptions options;
    options.viewerEnvironment = {{"WAYLAND_DEBUG", "client"}, {"LD_DEBUG", "files"}};
    ASSERT_NO_FATAL_FAILURE(Start(options));
    if (!desktop_->PointAt(window_)) {
        Close(window_);
        GTEST_SKIP() << host_.name << " has no pointer of its own to put on the window";
    }
    const std::string image = R"( -> (?:wp_cursor_shape_device_v1|wl_pointer)@\d+\.)"
                              R"((set_shape|set_cursor)\((\d+), (\w+))";
    std::string log;
    std::vector<LogMatch> set;
    WaitUntil(
        [&] {
            // NOTE: GNOME 48 drops a new virtual pointer's first motions: put it there again.
            if (MatchLog(log = ReadStderr(*viewer_), R"(wl_pointer@\d+\.enter\()").empty()) {
                desktop_->PointAt(window_);
            }
            return !(set = MatchLog(log, image)).empty();
        },
        limits_.startMs, 100);
    ASSERT_FALSE(set.empty()) << "no pointer image set";
    // Every pointer of the viewer's (libdecor's frame has one too) is told of the same enter.
    const std::vector<std::string>& request = set[0].groups;
    std::string serial = LastMatch(log, R"(wl_pointer@\d+\.enter\((\d+), )", set[0].line).groups[1];
    std::string maps = ViewerMaps(*viewer_);
    ASSERT_NE(maps.find("libwayland-client"), std::string::npos) << "no viewer process found";
    ASSERT_FALSE(MatchLog(log, R"(opening file=\S*libwayland-client)").empty())
        << "no loader's log";
    const bool opened = !MatchLog(log, R"(opening file=\S*libwayland-cursor)").empty();
    EXPECT_EQ(request[1] + "(" + request[2] + ", " + request[3] + ")",
              desktop_->DrawsCursorShapes() ? "set_shape(" + serial + ", 1)"
                                            : "set_cursor(" + serial + ", wl_surface)")
        << "not the pointer image of the enter";
    if (desktop_->DrawsCursorShapes()) {
        EXPECT_FALSE(opened) << "the viewer opened the cursor library";
        EXPECT_TRUE(maps.find("libwayland-cursor") == std::string::npos ||
                    maps.find("/libdecor/plugins") != std::string::npos)
            << "the cursor library is mapped, and no frame plugin needs it";
    } else {
        EXPECT_TRUE(opened);
        EXPECT_NE(maps.find("libwayland-cursor"), std::string::npos);
    }
    CloseAndExpectEndsWithZero(viewer_, window_, "close", false);
}

TAVIK_VIEWER_TESTS_ON_EVERY_HOST(Viewer);

} // namespace
