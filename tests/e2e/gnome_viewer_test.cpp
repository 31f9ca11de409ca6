// The real viewer under gnome-shell, which draws no frames: the close button is libdecor's, which
// must be there and end the viewer as the shell's close does. On this machine's GNOME, or on the
// system whose root the test program names.
#include "support/viewer_fixture.h"

namespace {

class GnomeViewer : public HostRig<GnomeDesktop> {
  protected:
    GnomeViewer() : HostRig(kGnomeHost, std::string(TAVIK_SYSTEM_ROOT)) {}
};

TEST_F(GnomeViewer, AClickOnLibdecorsCloseButtonEndsItWithZero) {
    ASSERT_NO_FATAL_FAILURE(Start());
    // Its frame drawn and its first frames on screen.
    ASSERT_TRUE(WaitUntil([&] { return desktop().TitleBarHeight(window_) > 10; }, limits_.fitMs))
        << "no libdecor title bar above the client area";
    WaitForPicture(window_);
    std::string failed;
    ASSERT_TRUE(desktop().ClickCloseButton(window_, &failed)) << failed;
    ExpectEndsWithZeroSilently(viewer_, limits_.exitMs, "click on the close button");
}

} // namespace
