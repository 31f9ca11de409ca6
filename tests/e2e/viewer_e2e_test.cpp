// The real viewer on every host of this test program, looked at, pointed at and closed from outside
// as a user would.
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "support/protocol_log.h"
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

// The memory maps of the viewer's processes (bubblewrap's too, where it runs in a root).
std::string ViewerMaps(const ChildProcess& viewer) {
    std::string maps;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::string stat = ReadFile(entry.path().string() + "/stat");
        std::istringstream fields(stat.substr(stat.rfind(')') + 1));
        std::string state, parent, group;
        if (fields >> state >> parent >> group && group == std::to_string(viewer.pid)) {
            maps += ReadFile(entry.path().string() + "/maps");
        }
    }
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
    ChildProcess* viewer = nullptr;
    Window window = Start(&viewer, options);
    ASSERT_NE(window, 0u);
    if (!desktop_->PointAt(window)) {
        Close(window);
        GTEST_SKIP() << host_.name << " has no pointer of its own to put on the window";
    }
    const std::string image = R"( -> (?:wp_cursor_shape_device_v1|wl_pointer)@\d+\.)"
                              R"((set_shape|set_cursor)\((\d+), (\w+))";
    std::string log;
    std::vector<LogMatch> set;
    WaitUntil(
        [&] {
            // NOTE: GNOME 48 drops a new virtual pointer's first motions: put it there again.
            if (MatchLog(log = ReadStderr(*viewer), R"(wl_pointer@\d+\.enter\()").empty()) {
                desktop_->PointAt(window);
            }
            return !(set = MatchLog(log, image)).empty();
        },
        limits_.startMs, 100);
    ASSERT_FALSE(set.empty()) << "no pointer image set";
    // Every pointer of the viewer's (libdecor's frame has one too) is told of the same enter.
    const std::vector<std::string>& request = set[0].groups;
    std::string serial = "none";
    for (const LogMatch& entered : MatchLog(log, R"(wl_pointer@\d+\.enter\((\d+), )")) {
        serial = entered.line < set[0].line ? entered.groups[1] : serial;
    }
    std::string maps = ViewerMaps(*viewer);
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
    Close(window);
    ExpectEndsWithZeroSilently(viewer, limits_.exitMs, "close", false);
}

TAVIK_VIEWER_TESTS_ON_EVERY_HOST(Viewer);

} // namespace
