// The real viewer under KWin, which offers the output's scale, fractional or not, through
// wp_fractional_scale_v1: the surface keeps its logical size through the viewport, and its buffers
// have the rounded pixel size, as the client's own protocol log shows them; a scale the user sets
// while the window is shown is followed at once.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "support/protocol_log.h"
#include "support/viewer_fixture.h"

namespace {

using FractionalScale = ViewerTest;

// The numbers of the last request or event in a protocol log that matches `pattern`.
std::vector<int> LastNumbers(const std::string& log, const std::string& pattern) {
    std::vector<LogMatch> matches = MatchLog(log, pattern);
    std::vector<int> numbers;
    for (size_t i = 1; !matches.empty() && i < matches.back().groups.size(); ++i) {
        numbers.push_back(std::stoi(matches.back().groups[i]));
    }
    return numbers;
}

// At 1.5, 465 x 288 logical pixels are 698 x 432 (697.5 rounded up); at 1.25, 581 x 360 (581.25
// rounded down).
TEST_P(FractionalScale, BuffersHaveTheRoundedPixelSizeAndTheViewportTheLogicalSize) {
    ViewerOptions options;
    options.viewerEnvironment = {{"WAYLAND_DEBUG", "client"}};
    ASSERT_NO_FATAL_FAILURE(Start(options));
    RgbImage picture = WaitForPicture(window_);
    ClientArea area = {};
    ASSERT_TRUE(Geometry(window_, &area));
    EXPECT_EQ(area.width, kTemplateWidth);
    EXPECT_EQ(area.height, kTemplateHeight);
    EXPECT_EQ(PictureMisfit(picture, ToPixels(kTemplateWidth), ToPixels(kTemplateHeight)), "");

    std::string log = ReadStderr(*viewer_);
    const std::string preferredScale = R"(preferred_scale\((\d+)\))";
    std::vector<int> preferred = LastNumbers(log, preferredScale);
    ASSERT_EQ(preferred.size(), 1u) << "no fractional scale from KWin";
    // The scale the host is named for ("kwin-1.5x"; none named: 1).
    std::string name = host_.name;
    double named = name.back() == 'x' ? std::stod(name.substr(name.rfind('-') + 1)) : 1;
    EXPECT_EQ(preferred[0], std::lround(named * 120)) << "KWin's scale is not " << name << "'s";
    std::vector<int> destination =
        LastNumbers(log, R"(wp_viewport@\d+\.set_destination\((-?\d+), (-?\d+)\))");
    EXPECT_EQ(destination, (std::vector<int>{kTemplateWidth, kTemplateHeight}));
    // NOTE: Mesa's software renderer hands EGL's buffers over in shared memory, a GPU's in
    // dmabufs; either request names the buffer's size.
    const std::string bufferSize =
        R"((?:wl_shm_pool@\d+\.create_buffer\(new id wl_buffer@\d+, \d+|)"
        R"(create_immed\(new id wl_buffer@\d+), (\d+), (\d+),)";
    EXPECT_EQ(LastNumbers(log, bufferSize),
              (std::vector<int>{ToPixels(kTemplateWidth), ToPixels(kTemplateHeight)}));
    // Where KWin takes toplevel icons (KWin 6), Tavik's own: named after the application, with
    // its four pictures, on the toplevel before the window's surface is first committed.
    if (log.find("\"xdg_toplevel_icon_manager_v1\"") != std::string::npos) {
        std::vector<LogMatch> icon =
            MatchLog(log, R"(\.set_icon\(xdg_toplevel@\d+, xdg_toplevel_icon)");
        std::vector<LogMatch> surface =
            MatchLog(log, R"(get_xdg_surface\(new id xdg_surface@\d+, wl_surface@(\d+)\))");
        ASSERT_EQ(icon.size(), 1u) << "not one icon";
        std::vector<LogMatch> commits =
            MatchLog(log, "wl_surface@" + surface.at(0).groups[1] + R"(\.commit\(\))");
        EXPECT_LT(icon[0].line, commits.at(0).line) << "the icon after the first commit";
        EXPECT_EQ(MatchLog(log, R"(\.set_name\("org\.tavik\.Tavik"\))").size(), 1u);
        EXPECT_EQ(MatchLog(log, R"(\.add_buffer\(wl_buffer@\d+, 1\))").size(), 4u);
    }

    // Where the user sets the display's scale while the window is shown, its buffers follow
    // KWin's new preferred scale at once, not at its next resize.
    if (const double scale = host_.scaleChangedTo; scale != 0) {
        std::string error;
        ASSERT_TRUE(desktop_->ChangeScale(scale, &error)) << error;
        // NOTE: KWin 6 then makes the logical size whole in the output's pixels (464 x 288),
        // KWin 5 keeps it: the buffers have the size KWin configured last, at the new scale.
        const std::string configured = R"(xdg_toplevel@\d+\.configure\((\d+), (\d+),)";
        std::vector<int> size, wanted;
        WaitUntil(
            [&] {
                size = LastNumbers(log = ReadStderr(*viewer_), configured);
                wanted.clear();
                for (int logical : size) {
                    wanted.push_back(static_cast<int>(std::lround(logical * scale)));
                }
                return LastNumbers(log, bufferSize) == wanted;
            },
            limits_.fitMs, 100);
        ASSERT_EQ(size.size(), 2u);
        EXPECT_LE(std::abs(size[0] - kTemplateWidth) + std::abs(size[1] - kTemplateHeight), 1);
        ASSERT_EQ(LastNumbers(log, preferredScale), std::vector<int>{static_cast<int>(scale * 120)})
            << "no new scale from KWin";
        EXPECT_EQ(LastNumbers(log, bufferSize), wanted)
            << "the new preferred scale " << scale
            << " is not applied to the shown window's buffers";
    }

    // The protocol log fills stderr: only the exit code tells.
    CloseAndExpectEndsWithZero(viewer_, window_, "close", false);
}

TAVIK_VIEWER_TESTS_ON_EVERY_HOST(FractionalScale);

// KWin with no frame plugin leaves the frame to the client in its first configure, which waits
// for libdecor's toplevel; without a usable libdecor the window takes it all the same and opens,
// unframed, with one line that says so.
class KwinViewer : public ViewerRig {
  protected:
    KwinViewer()
        : ViewerRig(kKwinHost, std::make_unique<KwinDesktop>(1, true, TAVIK_SYSTEM_ROOT)) {}
};
TEST_F(KwinViewer, ToldToFrameItselfWithoutUsableLibdecorItOpensUnframed) {
    ViewerOptions options;
    options.unusableLibraries = {"libdecor-0.so.0"};
    ASSERT_NO_FATAL_FAILURE(Start(options));
    EXPECT_EQ(PictureMisfit(WaitForPicture(window_), kTemplateWidth, kTemplateHeight), "");
    std::string said = ReadStderr(*viewer_);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("libdecor-0.so.0"), std::string::npos) << said;
    CloseAndExpectEndsWithZero(viewer_, window_, "close", false);
}

} // namespace
