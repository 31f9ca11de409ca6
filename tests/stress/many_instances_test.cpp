// Many viewers at once on one display, on every host of the test program but Wine.

// gtest (through the fixture) before the X headers, which define None.
#include "support/viewer_fixture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

class ManyViewers : public ViewerTest {
  protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(StartServer()); }
};

// Eight viewers are started together, so that they also set up their windows and contexts at
// the same time. Their windows all open at the top left; they are laid out side by side so that
// each one's picture can be seen whole.
TEST_P(ManyViewers, EightInstancesOnOneDisplayAllAnimateAndAllCloseWithZero) {
    // Three columns with room for a frame around each window, where the server draws one.
    constexpr int kInstances = 8, kColumns = 3, kWidth = 320, kHeight = 256;
    std::vector<ChildProcess*> viewers;
    for (int i = 0; i < kInstances; ++i) {
        viewers.push_back(StartViewer());
    }
    std::vector<Window> windows;
    for (int i = 0; i < kInstances; ++i) {
        Window window = WaitForNewWindow(windows, 3 * limits_.startMs);
        ASSERT_NE(window, 0u) << "only " << i << " windows were shown";
        windows.push_back(window);
    }
    for (int i = 0; i < kInstances; ++i) {
        Move(windows[i], (i % kColumns) * (kWidth + 24), (i / kColumns) * (kHeight + 40));
        Resize(windows[i], kWidth, kHeight);
    }
    for (int i = 0; i < kInstances; ++i) {
        EXPECT_EQ(WaitForPictureToFit(windows[i], kWidth, kHeight), "") << "window " << i;
    }

    // Frames seen in each window over two seconds, watched in turn; at least six turns where a
    // grab takes longer than a frame (grim), so that every turn should see a new one.
    std::vector<FrameWatcher> watchers;
    for (Window window : windows) {
        watchers.push_back(WatchFrames(window, kWidth, kHeight));
    }
    std::vector<int> frames(kInstances, 0);
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int turns = 0;
    for (; turns < 6 || std::chrono::steady_clock::now() < end; ++turns) {
        for (int i = 0; i < kInstances; ++i) {
            frames[i] += watchers[i].Changed();
        }
        SleepMs(2);
    }
    std::printf("frames seen in 2 s (50 nominal):");
    for (int i = 0; i < kInstances; ++i) {
        std::printf(" %d", frames[i]);
        // Far below the nominal rate, so that a loaded machine still passes.
        EXPECT_GE(frames[i], std::min(5, turns / 2)) << "window " << i << " hardly animates";
    }
    std::printf("\n");

    for (Window window : windows) {
        Close(window);
    }
    for (int i = 0; i < kInstances; ++i) {
        ExpectEndsWithZeroSilently(viewers[i], limits_.loadedExitMs,
                                   "instance " + std::to_string(i));
    }
}

TAVIK_VIEWER_TESTS_ON_EVERY_HOST(ManyViewers);

} // namespace
