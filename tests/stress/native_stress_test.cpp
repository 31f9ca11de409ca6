// The native viewer when the X display goes away under it.

// gtest (through the fixture) before the X headers, which define None.
#include "support/viewer_fixture.h"
#include "vanishing_display.h"

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <random>

namespace {

class X11ViewerUnderStress : public ViewerRig {
  protected:
    X11ViewerUnderStress() : ViewerRig(kX11Host) {}
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(StartServer()); }
};

class DisplayGoesAway : public X11ViewerUnderStress {
  protected:
    // Ends the server with `signal` and checks how the viewer ends.
    void EndServerAndExpectPromptEnd(ChildProcess* viewer, int signal) {
        ASSERT_TRUE(IsRunning(*viewer)) << ReadStderr(*viewer);
        double cpuBefore = ProcessCpuSeconds(*viewer);
        EndServer(signal);
        ExpectPromptEndWithTheMessage(viewer, cpuBefore);
    }

    // The server has just gone. The viewer must end within a second, with the layer's message and
    // a non-zero exit code of its own (not a signal such as SIGPIPE or SIGSEGV), having used
    // little CPU time since `cpuBefore`.
    void ExpectPromptEndWithTheMessage(ChildProcess* viewer, double cpuBefore) {
        auto serverGone = std::chrono::steady_clock::now();
        int code = -1;
        double cpuTotal = 0;
        bool ended = WaitForExit(viewer, 1000, &code, &cpuTotal);
        double afterMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - serverGone)
                .count();
        if (!ended) {
            double cpuNow = ProcessCpuSeconds(*viewer);
            ADD_FAILURE() << "still running a second after the server ended, having used "
                          << cpuNow - cpuBefore << " s of CPU since";
            return;
        }
        std::printf("ended %.0f ms after the server, with code %d, %.3f s of CPU since\n", afterMs,
                    code, cpuTotal - cpuBefore);
        EXPECT_NE(code, 0);
        EXPECT_LT(code, 128) << "ended by signal " << code - 128;
        EXPECT_NE(ReadStderr(*viewer).find("the connection to the display was lost"),
                  std::string::npos)
            << "it said: " << ReadStderr(*viewer);
        EXPECT_LT(cpuTotal - cpuBefore, 0.5) << "busy after the server ended";
    }
};

// The earliest moment: the server lets the viewer in and closes the connection at its first
// request, while XOpenDisplay is still reading the server's settings.
TEST_F(DisplayGoesAway, ServerGoneWhileItOpensTheDisplayEndsItPromptlyWithAMessage) {
    VanishingDisplay display;
    std::string error;
    ASSERT_TRUE(display.Listen(&error)) << error;
    viewers_.push_back(std::make_unique<ChildProcess>());
    ChildProcess* viewer = viewers_.back().get();
    ASSERT_TRUE(StartProcess({NativeBinary()}, root_ + "/bin", display.display(), viewer));
    ASSERT_TRUE(display.ServeOneClient(limits_.startMs, &error)) << error;
    ExpectPromptEndWithTheMessage(viewer, 0);
}

TEST_F(DisplayGoesAway, ServerShutDownWhileItAnimatesEndsItPromptlyWithAMessage) {
    ChildProcess* viewer = nullptr;
    Window window = StartAndWaitForWindow(&viewer);
    ASSERT_NE(window, 0u);
    WaitForNewPicture(window, WaitForPicture(window)); // animating
    EndServerAndExpectPromptEnd(viewer, SIGTERM);
}

TEST_F(DisplayGoesAway, ServerKilledWhileItAnimatesEndsItPromptlyWithAMessage) {
    ChildProcess* viewer = nullptr;
    Window window = StartAndWaitForWindow(&viewer);
    ASSERT_NE(window, 0u);
    WaitForNewPicture(window, WaitForPicture(window)); // animating
    EndServerAndExpectPromptEnd(viewer, SIGKILL);
}

// The server goes before the first tick.
TEST_F(DisplayGoesAway, ServerShutDownRightAfterTheWindowAppearsEndsItPromptlyWithAMessage) {
    ChildProcess* viewer = nullptr;
    Window window = StartAndWaitForWindow(&viewer);
    ASSERT_NE(window, 0u);
    EndServerAndExpectPromptEnd(viewer, SIGTERM);
}

// Large frames are being written to the connection and size changes read from it when it dies.
TEST_F(DisplayGoesAway, ServerKilledDuringAResizeStormEndsItPromptlyWithAMessage) {
    ChildProcess* viewer = nullptr;
    Window window = StartAndWaitForWindow(&viewer);
    ASSERT_NE(window, 0u);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> width(800, 1600), height(600, 1200);
    for (int i = 0; i < 40; ++i) {
        Resize(window, width(random), height(random));
        SleepMs(7);
    }
    EndServerAndExpectPromptEnd(viewer, SIGKILL);
}

} // namespace
