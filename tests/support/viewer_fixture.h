// Runs the real viewer binary on a private Xvfb from a working directory laid out as a user's
// (../res/grass.bmp beside it, or not), and looks at it through X.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/x11_probe.h"
#include "support/xvfb_server.h"

struct ViewerOptions {
    bool withTexture = true;
    std::vector<std::string> xvfbArgs;
    bool windowManager = false;
};

class ViewerTest : public ::testing::Test {
  protected:
    void TearDown() override;

    // Starts Xvfb (and openbox when asked), then the viewer; fails the test when any cannot start.
    void Start(const ViewerOptions& options = {});
    // Waits for the viewer's window to be shown; fails the test if it does not appear.
    Window WaitForViewerWindow(int timeoutMs = 10000);
    // Sends the window manager's close and waits for the exit code; -1 if it did not end.
    int CloseAndWait(Window window, int timeoutMs);

    XvfbServer server_;
    ChildProcess viewer_;
    ChildProcess windowManager_;
    std::unique_ptr<X11Probe> probe_;
    std::string root_;
};

// Counts of pixels by their dominant colour.
bool IsBackground(const unsigned char* p);
bool IsGreenDominant(const unsigned char* p);
int CountDifferentPixels(const RgbImage& a, const RgbImage& b);
