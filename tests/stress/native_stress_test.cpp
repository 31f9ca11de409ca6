// The native viewer when the X display goes away under it.

// gtest (through the fixture) before the X headers, which define None.
#include "support/viewer_fixture.h"
#include "vanishing_display.h"

#include <signal.h>

#include <random>

namespace {

class DisplayGoesAway : public ViewerRig {
  protected:
    DisplayGoesAway() : ViewerRig(kX11Host) {}
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(StartServer()); }
    void EndServerAndExpectPromptEnd(ChildProcess* viewer, int signal) {
        ViewerRig::EndServerAndExpectPromptEnd(viewer, signal, kLost);
    }
    const std::string kLost = "the connection to the display was lost";
};

// The earliest moment: the server lets the viewer in and closes the connection at its first
// request, while XOpenDisplay is still reading the server's settings.
TEST_F(DisplayGoesAway, ServerGoneWhileItOpensTheDisplayEndsItPromptlyWithAMessage) {
    VanishingDisplay display;
    std::string error;
    ASSERT_TRUE(display.Listen(&error)) << error;
    viewers_.push_back(std::make_unique<ChildProcess>());
    ChildProcess* viewer = viewers_.back().get();
    ASSERT_TRUE(
        StartProcessWith({NativeBinary()}, root_ + "/bin", X11Settings(display.display()), viewer));
    ASSERT_TRUE(display.ServeOneClient(limits_.startMs, &error)) << error;
    ExpectPromptEndWith(viewer, 0, kLost);
}

TEST_F(DisplayGoesAway, ServerShutDownWhileItAnimatesEndsItPromptlyWithAMessage) {
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_TRUE(WaitForNewPicture(window_, WaitForPicture(window_))) << "not animating";
    EndServerAndExpectPromptEnd(viewer_, SIGTERM);
}

TEST_F(DisplayGoesAway, ServerKilledWhileItAnimatesEndsItPromptlyWithAMessage) {
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_TRUE(WaitForNewPicture(window_, WaitForPicture(window_))) << "not animating";
    EndServerAndExpectPromptEnd(viewer_, SIGKILL);
}

// The server goes before the first tick.
TEST_F(DisplayGoesAway, ServerShutDownRightAfterTheWindowAppearsEndsItPromptlyWithAMessage) {
    ASSERT_NO_FATAL_FAILURE(Start());
    EndServerAndExpectPromptEnd(viewer_, SIGTERM);
}

// Large frames are being written to the connection and size changes read from it when it dies.
TEST_F(DisplayGoesAway, ServerKilledDuringAResizeStormEndsItPromptlyWithAMessage) {
    ASSERT_NO_FATAL_FAILURE(Start());
    std::mt19937 random(7);
    std::uniform_int_distribution<int> width(800, 1600), height(600, 1200);
    for (int i = 0; i < 40; ++i) {
        Resize(window_, width(random), height(random));
        SleepMs(7);
    }
    EndServerAndExpectPromptEnd(viewer_, SIGKILL);
}

} // namespace
