// The real viewer binary on its own Xvfb, looked at and closed through X as a user would.
#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "viewer_fixture.h"

namespace {

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Share of a patch around the box's middle (a quarter of the height from the bottom, just
// right of the centre line) whose pixels satisfy `test`.
template <typename Test> double BoxPatchShare(const RgbImage& image, Test test) {
    int cx = image.width / 2 + image.width / 40, cy = image.height * 3 / 4, hits = 0, all = 0;
    for (int y = cy - 3; y <= cy + 3; ++y) {
        for (int x = cx - 5; x <= cx + 5; ++x) {
            hits += test(image.At(x, y));
            ++all;
        }
    }
    return static_cast<double>(hits) / all;
}

using Viewer = ViewerTest;

TEST_F(Viewer, OpensAtTopLeftWithTheTemplateSizeAndAnimatesTheGrassBox) {
    ASSERT_NO_FATAL_FAILURE(Start());
    Window window = WaitForViewerWindow();
    ASSERT_NE(window, 0u);
    int x, y, width, height;
    ASSERT_TRUE(probe_->Geometry(window, &x, &y, &width, &height));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    // 310 x 177 dialog units with 6 x 13 base units at 96 dpi.
    EXPECT_EQ(width, 465);
    EXPECT_EQ(height, 288);
    EXPECT_EQ(probe_->TextProperty(window, "WM_NAME"), "Tavik");
    EXPECT_EQ(probe_->TextProperty(window, "_NET_WM_NAME"), "Tavik");

    Sleep(400);
    RgbImage first = probe_->Grab(window);
    ASSERT_EQ(first.width, 465);
    EXPECT_TRUE(IsBackground(first.At(3, 3)));
    EXPECT_TRUE(IsBackground(first.At(width - 4, height - 4)));
    EXPECT_GT(BoxPatchShare(first, IsGreenDominant), 0.6) << "the box does not look like grass";
    // The Y axis rises green above the box on the centre line.
    int greenAbove = 0;
    for (int row = 10; row < height / 2; ++row) {
        for (int column = width / 2 - 2; column <= width / 2 + 2; ++column) {
            greenAbove += IsGreenDominant(first.At(column, row));
        }
    }
    EXPECT_GT(greenAbove, height / 4);

    Sleep(200);
    RgbImage later = probe_->Grab(window);
    EXPECT_GT(CountDifferentPixels(first, later), 50) << "the picture does not animate";
    EXPECT_EQ(CloseAndWait(window, 1000), 0);
}

TEST_F(Viewer, ResizeRefitsThePicture) {
    ASSERT_NO_FATAL_FAILURE(Start());
    Window window = WaitForViewerWindow();
    ASSERT_NE(window, 0u);
    probe_->Resize(window, 800, 500);
    Sleep(400);
    RgbImage image = probe_->Grab(window);
    ASSERT_EQ(image.width, 800);
    ASSERT_EQ(image.height, 500);
    for (auto [cx, cy] : {std::pair{3, 3}, {796, 3}, {3, 496}, {796, 496}}) {
        EXPECT_TRUE(IsBackground(image.At(cx, cy))) << cx << "," << cy;
    }
    // The box stays centred horizontally: its green columns balance about the centre.
    int left = image.width, right = -1, row = image.height * 3 / 4;
    for (int column = 0; column < image.width; ++column) {
        if (IsGreenDominant(image.At(column, row))) {
            left = std::min(left, column);
            right = std::max(right, column);
        }
    }
    ASSERT_GT(right, left);
    EXPECT_NEAR((left + right) / 2.0, image.width / 2.0, image.width * 0.03);
    EXPECT_GT(BoxPatchShare(image, IsGreenDominant), 0.6);
    EXPECT_EQ(CloseAndWait(window, 1000), 0);
}

TEST_F(Viewer, CloseEndsTheProcessWithZeroWithinASecond) {
    ASSERT_NO_FATAL_FAILURE(Start());
    Window window = WaitForViewerWindow();
    ASSERT_NE(window, 0u);
    Sleep(200);
    EXPECT_EQ(CloseAndWait(window, 1000), 0);
    EXPECT_FALSE(IsRunning(viewer_));
    EXPECT_FALSE(probe_->Exists(window));
    EXPECT_EQ(ReadStderr(viewer_), "");
}

TEST_F(Viewer, WithoutTheBitmapItAnimatesAnUntexturedBoxSilently) {
    ViewerOptions options;
    options.withTexture = false;
    ASSERT_NO_FATAL_FAILURE(Start(options));
    Window window = WaitForViewerWindow();
    ASSERT_NE(window, 0u);
    Sleep(300);
    RgbImage image = probe_->Grab(window);
    auto isWhite = [](const unsigned char* p) { return p[0] == 255 && p[1] == 255 && p[2] == 255; };
    EXPECT_GT(BoxPatchShare(image, isWhite), 0.9);
    EXPECT_EQ(probe_->FindWindows("Error Glew").size(), 0u);
    Sleep(200);
    EXPECT_GT(CountDifferentPixels(image, probe_->Grab(window)), 50);
    EXPECT_EQ(CloseAndWait(window, 1000), 0);
    EXPECT_EQ(ReadStderr(viewer_), "");
}

TEST_F(Viewer, WithoutGlxItShowsTheGlewErrorThenStillOpensAndCloses) {
    ViewerOptions options;
    options.xvfbArgs = {"-extension", "GLX"};
    ASSERT_NO_FATAL_FAILURE(Start(options));
    Window box = probe_->WaitForWindow("Error Glew", 10000);
    ASSERT_NE(box, 0u) << ReadStderr(viewer_);
    // The box is modal: the viewer's window is not shown before it is dismissed.
    EXPECT_EQ(probe_->WaitForWindow("Tavik", 300), 0u);
    probe_->SendKey(box, XK_Return);
    Window window = WaitForViewerWindow();
    ASSERT_NE(window, 0u);
    EXPECT_FALSE(probe_->Exists(box));
    Sleep(200);
    EXPECT_TRUE(IsRunning(viewer_));
    EXPECT_EQ(CloseAndWait(window, 1000), 0);
    EXPECT_NE(ReadStderr(viewer_).find("GLX"), std::string::npos);
}

// The window asks for close, move and resize only (Motif hints). Openbox deliberately lets no
// Motif hint remove its minimise and maximise buttons, so only what it does honour is checked:
// close and resize are offered, and its close request ends the viewer with 0.
TEST_F(Viewer, UnderAWindowManagerTheFrameOffersCloseAndItsCloseEndsWithZero) {
    ViewerOptions options;
    options.windowManager = true;
    ASSERT_NO_FATAL_FAILURE(Start(options));
    Window window = WaitForViewerWindow();
    ASSERT_NE(window, 0u);
    Sleep(500);
    std::vector<std::string> actions;
    for (unsigned long atom : probe_->LongProperty(window, "_NET_WM_ALLOWED_ACTIONS")) {
        actions.push_back(probe_->AtomName(atom));
    }
    auto has = [&](const char* name) {
        return std::find(actions.begin(), actions.end(), name) != actions.end();
    };
    EXPECT_TRUE(has("_NET_WM_ACTION_CLOSE"));
    EXPECT_TRUE(has("_NET_WM_ACTION_RESIZE"));
    if (const char* shot = std::getenv("TAVIK_E2E_SCREENSHOT")) {
        XWindowAttributes root;
        XGetWindowAttributes(probe_->display(), DefaultRootWindow(probe_->display()), &root);
        SavePng(probe_->Grab(DefaultRootWindow(probe_->display())), shot);
    }

    // The frame's close button asks the window manager to close the window.
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = probe_->Intern("_NET_CLOSE_WINDOW");
    event.xclient.format = 32;
    event.xclient.data.l[1] = 2; // source: a pager or the frame, on the user's behalf
    XSendEvent(probe_->display(), DefaultRootWindow(probe_->display()), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(probe_->display());
    int code = -1;
    EXPECT_TRUE(WaitProcess(&viewer_, 2000, &code));
    EXPECT_EQ(code, 0);
}

} // namespace

namespace {

TEST(ViewerWithoutDisplay, SaysSoAndEndsWithOneInsteadOfWaitingForever) {
    ChildProcess viewer;
    ASSERT_TRUE(StartProcess({TAVIK_BINARY}, "/", "", &viewer));
    int code = -1;
    ASSERT_TRUE(WaitProcess(&viewer, 5000, &code)) << "the viewer kept running with no display";
    EXPECT_EQ(code, 1);
    EXPECT_NE(ReadStderr(viewer).find("X11: cannot open display"), std::string::npos)
        << ReadStderr(viewer);
    KillProcess(&viewer);
    unlink(viewer.stderrPath.c_str());
}

} // namespace
