// The viewer under stress: a private Xvfb and a working directory laid out as a user's (bin/
// beside res/grass.bmp), on which a test starts the viewer as often as it needs to - the native
// binary, or tavik.exe under Wine in the Wine build of these tests - and watches it through X.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/x11_probe.h"
#include "support/xvfb_server.h"

// Time limits of one program: Wine starts and ends a program far more slowly than the native
// binary starts and ends.
struct StressLimits {
    int startMs; // for a started viewer's window to be shown
    int exitMs;  // for a viewer to end once its window is closed
    int fitMs;   // for the picture to fit a new client size
};
extern const StressLimits kLimits;

class StressTest : public ::testing::Test {
  protected:
    // Starts Xvfb (and makes sure the Wine prefix exists); fails the test when it cannot.
    void SetUp() override;
    void TearDown() override;

    // Starts one more viewer on the display; the rig ends any that the test leaves running.
    ChildProcess* StartViewer();
    // A shown window captioned Tavik that is not among `known`, polled every millisecond so that
    // the test learns of it as soon as X does; 0 if none is shown within `timeoutMs`.
    Window WaitForNewWindow(const std::vector<Window>& known, int timeoutMs);
    // Starts a viewer and waits for its window; fails the test when none is shown.
    Window StartAndWaitForWindow(ChildProcess** viewer);
    // Waits up to `timeoutMs` for the viewer to end; then its exit code (128 + signal when a
    // signal ended it) and the CPU time it used over its whole life.
    bool WaitForExit(ChildProcess* viewer, int timeoutMs, int* code, double* cpuSeconds = nullptr);
    // Waits for the viewer to end after a close and checks that it ended as a close must:
    // exit code 0 and nothing printed. `when` names the moment of the close in failures.
    void ExpectEndsWithZeroSilently(ChildProcess* viewer, const std::string& when);
    // Ends the X server with `signal` and waits until it is gone. The probe's connection is
    // closed first, so that only the viewers see the display go away.
    void EndServer(int signal);

    XvfbServer server_;
    std::unique_ptr<X11Probe> probe_;
    std::string root_;
    std::vector<std::unique_ptr<ChildProcess>> viewers_;
};

// The rectangle around the scene's origin that the box covers at every angle, for a client area
// of `width` x `height`.
struct Patch {
    int x, y, width, height;
};
Patch BoxPatch(int width, int height);

// Watches a window's picture through the box patch. The textured box turns by one degree on
// every frame, so each frame the viewer draws changes the patch.
class FrameWatcher {
  public:
    FrameWatcher(Display* display, Window window, int width, int height);
    // Grabs the patch; true when it differs from the previous grab (the first grab counts as no
    // change).
    bool Changed();
    // Polls until the picture changes, i.e. a frame has just reached the screen; false if none
    // does within `timeoutMs`.
    bool WaitForFrame(int timeoutMs);

  private:
    Display* display_;
    Window window_;
    Patch patch_;
    std::vector<char> last_;
};

// What is wrong with a grab that should show the scene fitted to a client area of `width` x
// `height` (background in the corners, the Y axis up the centre column, the grass box around the
// origin with the width the aspect ratio gives it); empty when nothing is.
std::string PictureMisfit(const RgbImage& image, int width, int height);
// Waits until X reports the window at `width` x `height` and its picture fits that size;
// returns the last misfit (empty when it fits) after at most `timeoutMs`.
std::string WaitForPictureToFit(X11Probe* probe, Window window, int width, int height,
                                int timeoutMs);

void SleepMs(int ms);
