// Runs the cross-built tavik.exe under Wine on a private Xvfb, from a working directory laid out
// as in the Windows package (..\res\grass.bmp beside it, or not), and looks at it through X.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/x11_probe.h"
#include "support/xvfb_server.h"

struct WineRunOptions {
    bool withTexture = true;
};

class WineViewerTest : public ::testing::Test {
  protected:
    // Starts Xvfb and makes sure the Wine prefix exists; fails the test when either cannot.
    void SetUp() override;
    void TearDown() override;

    // Lays out the working directory and starts tavik.exe under Wine from its bin/.
    void StartViewer(const WineRunOptions& options = {});
    // Waits for the viewer's window to be shown; fails the test if it does not appear.
    Window WaitForViewerWindow(int timeoutMs = 30000);
    // Sends the window manager's close and waits for the exit code; -1 if it did not end.
    int CloseAndWait(Window window, int timeoutMs);
    // Resizes the window and waits until X reports the new size and a frame has been drawn.
    bool ResizeAndSettle(Window window, int width, int height);
    // Runs a Windows console program under Wine to its end and returns its standard error.
    std::string RunToEnd(const std::string& program, const std::vector<std::string>& arguments);

    XvfbServer server_;
    ChildProcess viewer_;
    std::unique_ptr<X11Probe> probe_;
    std::string root_; // holds bin/ (the working directory) and res/grass.bmp
};
