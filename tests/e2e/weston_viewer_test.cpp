// The real viewer under weston, which offers no server-side frames and which nothing outside it
// can drive: the frame, the picture and its animation seen on weston's screenshots, and the
// compositor's end. On this machine's weston, or on the system whose root the test program names.
#include <signal.h>

#include <algorithm>
#include <regex>

#include "support/viewer_fixture.h"

namespace {

class WestonViewer : public HostRig<WestonDesktop> {
  protected:
    WestonViewer() : HostRig(kWestonHost, std::string(TAVIK_SYSTEM_ROOT)) {}
};

// Whether libdecor can be loaded, for the cases that hold either way.
class WestonViewerLibdecor : public WestonViewer, public ::testing::WithParamInterface<bool> {};
std::string LibdecorName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "LibdecorUsable" : "LibdecorUnusable";
}

// Weston offers no server-side decorations: libdecor draws the title bar above the client area.
// Without a usable libdecor the window opens all the same, unframed, and one line says why.
// Its screenshooter loses the colours inside the client area (see WestonShot), so the picture is
// checked by its shape there: the box stands out of the background, and it turns.
TEST_P(WestonViewerLibdecor, FramesTheTemplateSizedPictureWhichAnimates) {
    const bool framed = GetParam();
    ViewerOptions options;
    if (!framed) {
        options.unusableLibraries = {"libdecor-0.so.0"};
    }
    ASSERT_NO_FATAL_FAILURE(Start(options));
    WestonShot screen;
    ClientArea area = {};
    bool desktopAbove = true;
    // Once the window has its size and, where framed, its frame: the title bar is neither the
    // desktop (0x203050) nor part of the client area.
    WaitUntil(
        [&] {
            screen = WestonScreenshot(desktop().Session());
            if (!FindClientArea(screen, &area)) {
                return false;
            }
            const unsigned char* bar =
                screen.rgb.At(area.x + area.width / 4, std::max(0, area.y - 10));
            desktopAbove = area.y < 10 || (bar[0] == 0x20 && bar[1] == 0x30 && bar[2] == 0x50);
            return area.width == kTemplateWidth && area.height == kTemplateHeight &&
                   desktopAbove != framed;
        },
        limits_.fitMs);
    EXPECT_EQ(area.width, kTemplateWidth);
    EXPECT_EQ(area.height, kTemplateHeight);
    EXPECT_NE(desktopAbove, framed) << (framed ? "no frame above" : "a frame above");
    // NOTE: weston's headless backend has no seat, and libdecor 0.2's GTK frame asks GDK for the
    // seat's keyboard all the same; GDK's complaint about it is the library's, not the viewer's.
    std::string errors = ReadStderr(*viewer_);
    errors = std::regex_replace(errors,
                                std::regex(R"(\n?\(tavik:\d+\): Gdk-CRITICAL [^\n]*)"
                                           R"(gdk_seat_get_keyboard[^\n]*\n)"),
                                "");
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), framed ? 0 : 1) << errors;
    EXPECT_EQ(errors.find("libdecor-0.so.0") != std::string::npos &&
                  errors.find("no frame") != std::string::npos,
              !framed)
        << errors;

    RgbImage first = Crop(screen.rgb, area);
    ASSERT_EQ(first.width, kTemplateWidth);
    // Most of the box patch differs from the background in the corner.
    RgbImage box = Crop(first, BoxPatch(kTemplateWidth, kTemplateHeight)), background = box;
    for (std::size_t i = 0; i < background.pixels.size(); ++i) {
        background.pixels[i] = first.At(2, 2)[i % 3];
    }
    EXPECT_GT(CountDifferingPixels(box, background), box.width * box.height / 2)
        << "no box around the origin";
    EXPECT_TRUE(WaitForNewPicture(window_, first)) << "the picture does not animate";
}
INSTANTIATE_TEST_SUITE_P(Start, WestonViewerLibdecor, ::testing::Values(true, false), LibdecorName);

TEST_F(WestonViewer, CompositorKilledEndsItPromptlyWithAMessage) {
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_EQ(
        EndServerAndExpectPromptEnd(viewer_, SIGKILL, "the connection to the compositor was lost"),
        1);
}

} // namespace
