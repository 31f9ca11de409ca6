// Resize storms and closes at every moment of the viewer's life: for the native binary, and, in
// the Wine build of these tests, for tavik.exe under Wine with smaller counts.

// gtest (through the fixture) before the X headers, which define None.
#include "support/viewer_fixture.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>

namespace {

// The timer's interval: the phases of a close are spread over one.
constexpr int kTickMs = 40;

class ViewerUnderStress : public ViewerTest {
  protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(StartServer()); }

    // Wine and an emulator start and end a program far more slowly: fewer sizes and runs there.
    int StormResizes() const { return limits_.slow ? 60 : 500; }
    int TickPhases() const { return limits_.slow ? 4 : 8; }
    int Repeats() const { return limits_.slow ? 1 : 3; }
    // Closes the window of Start and expects its viewer to end with 0, silently.
    void CloseAndExpectZero(const std::string& when) {
        Close(window_);
        ExpectEndsWithZeroSilently(viewer_, limits_.loadedExitMs, when);
    }
    // Starts the viewer Repeats() times, does `act` to it after the start, then closes it.
    void EachRun(const std::function<void(int run)>& act) {
        for (int run = 0; run < Repeats(); ++run) {
            ASSERT_NO_FATAL_FAILURE(Start());
            act(run);
            CloseAndExpectZero("run " + std::to_string(run));
        }
    }
};

// Random sizes from 1 x 1 to 1600 x 1200, a third of them one pixel high and some one pixel
// wide, with a random pause of up to 15 ms between them, so that some land between two ticks and
// some while a frame is being drawn. After the storm the window gets a size of its own, and the
// picture must fit it: a size message lost or applied out of order would leave the viewport or
// the projection at a size of the storm.
TEST_P(ViewerUnderStress, SurvivesAResizeStormAndThenFitsThePictureToTheFinalSize) {
    ASSERT_NO_FATAL_FAILURE(Start());
    double cpuBefore = ProcessCpuSeconds(*viewer_);
    long rssBefore = ProcessStatusKiB(*viewer_, "VmRSS");

    std::mt19937 random(20180040);
    std::uniform_int_distribution<int> width(1, 1600), height(1, 1200), pause(0, 15), kind(0, 5);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < StormResizes(); ++i) {
        const int w = width(random), h = height(random), k = kind(random);
        // Kinds 0 and 1 one pixel high, 2 one pixel wide.
        Resize(window_, k == 2 ? 1 : w, k <= 1 ? 1 : h);
        SleepMs(pause(random));
        if (i % 50 == 49) {
            ASSERT_TRUE(IsRunning(*viewer_))
                << "ended after " << i + 1 << " resizes: " << ReadStderr(*viewer_);
        }
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d resizes in %.1f s; the viewer used %.2f s of CPU meanwhile, resident memory "
                "%ld KiB before and %ld KiB after\n",
                StormResizes(), seconds, ProcessCpuSeconds(*viewer_) - cpuBefore, rssBefore,
                ProcessStatusKiB(*viewer_, "VmRSS"));

    constexpr int kFinalWidth = 640, kFinalHeight = 400;
    Resize(window_, kFinalWidth, kFinalHeight);
    EXPECT_EQ(WaitForPictureToFit(window_, kFinalWidth, kFinalHeight), "");
    ASSERT_TRUE(IsRunning(*viewer_)) << ReadStderr(*viewer_);
    // An X error would have been printed (and would have ended the viewer).
    EXPECT_EQ(ReadStderr(*viewer_), "");
    CloseAndExpectZero("close after the storm");
}

// The close arrives before the first tick, or while the first frames are drawn.
TEST_P(ViewerUnderStress, ClosedRightAfterItsWindowAppearsEndsWithZeroSilently) {
    EachRun([](int) {});
}

// Closes are sent from the moment a window captioned Tavik exists, shown or not yet, until the
// viewer ends: the first ones arrive while it is still setting up its window and context.
TEST_P(ViewerUnderStress, ClosedWhileStillStartingEndsWithZeroSilently) {
    for (int run = 0; run < Repeats(); ++run) {
        ChildProcess* viewer = StartViewer();
        int closes = 0;
        WaitUntil(
            [&] {
                for (Window window : FindWindows("Tavik")) {
                    Close(window);
                    ++closes;
                }
                return !IsRunning(*viewer);
            },
            limits_.startMs + limits_.loadedExitMs, desktop_->PollMs());
        EXPECT_GT(closes, 0) << "no window ever appeared";
        ExpectEndsWithZeroSilently(viewer, limits_.loadedExitMs,
                                   "run " + std::to_string(run) + " after " +
                                       std::to_string(closes) + " closes");
    }
}

// A frame has just reached the screen; the close follows after 0 to 35 ms, so that across the
// runs it lands at every point of the timer's period, with the next tick due or already queued.
TEST_P(ViewerUnderStress, ClosedAtEveryPointBetweenTwoTicksEndsWithZeroSilently) {
    for (int phase = 0; phase < TickPhases(); ++phase) {
        int delayMs = phase * kTickMs / TickPhases();
        ASSERT_NO_FATAL_FAILURE(Start());
        ClientArea area = {};
        ASSERT_TRUE(Geometry(window_, &area));
        FrameWatcher frames = WatchFrames(window_, area.width, area.height);
        ASSERT_TRUE(frames.WaitForFrame(limits_.startMs)) << "no frame drawn";
        SleepMs(delayMs);
        CloseAndExpectZero(std::to_string(delayMs) + " ms after a frame");
    }
}

// A window manager may send its close again when the first one seems to take long: the second
// one finds the window gone, or queued behind the first one.
TEST_P(ViewerUnderStress, ClosedTwiceInARowEndsWithZeroSilently) {
    EachRun([this](int run) {
        SleepMs(100 + 37 * run);
        Close(window_); // the second one is EachRun's
    });
}

// The close is queued right behind a change of size, so the size message and the close are
// handled in the same turn of the message loop.
TEST_P(ViewerUnderStress, ClosedInTheMiddleOfAResizeEndsWithZeroSilently) {
    EachRun([this](int run) {
        SleepMs(100 + 37 * run);
        Resize(window_, 900 - 200 * run, 1 + 300 * run);
    });
}

TAVIK_VIEWER_TESTS_ON_EVERY_HOST(ViewerUnderStress);

} // namespace
