// The Windows program under Wine on its own Xvfb, looked at and closed through X as a user
// would; and its picture next to the native program's for the same client size and tick.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

// gtest before the X headers that picture.h brings, which define None.
#include "wine_fixture.h"
#include "picture.h"

namespace {

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Where the client area of a window made from the template lands, as dialog_metrics.exe works
// it out on the system it runs on.
struct ClientRect {
    int x = -1, y = -1, width = -1, height = -1;
};

ClientRect ExpectedClientRect(const std::string& metricsOutput) {
    ClientRect rect;
    size_t at = metricsOutput.find("dialog-metrics:");
    int baseX, baseY;
    if (at == std::string::npos ||
        std::sscanf(metricsOutput.c_str() + at, "dialog-metrics: base %d %d client %d %d %d %d",
                    &baseX, &baseY, &rect.x, &rect.y, &rect.width, &rect.height) != 6) {
        ADD_FAILURE() << "no metrics in: " << metricsOutput;
    }
    return rect;
}

// The native program on a display of its own, ended however the test ends.
struct NativeRun {
    XvfbServer server;
    ChildProcess viewer;

    ~NativeRun() {
        KillProcess(&viewer);
        if (!viewer.stderrPath.empty()) {
            unlink(viewer.stderrPath.c_str());
        }
        StopXvfb(&server);
    }
};

using WineViewer = WineViewerTest;

TEST_F(WineViewer, OpensAtTopLeftWithTheSizeTheTemplateGivesOnThisSystem) {
    // The template's font, size (in dialog units) and style.
    ClientRect expected = ExpectedClientRect(
        RunToEnd(TAVIK_DIALOG_METRICS_EXE, {"MS Shell Dlg", "8", "310", "177", "CC0048"}));
    ASSERT_NO_FATAL_FAILURE(StartViewer());
    Window window = WaitForViewerWindow();
    ASSERT_NE(window, 0u);
    int x, y, width, height;
    ASSERT_TRUE(probe_->Geometry(window, &x, &y, &width, &height));
    // Without a window manager nobody draws the frame, so X shows the client area, which the
    // frame's widths place inside the window's top-left corner at (0, 0).
    EXPECT_EQ(x, expected.x);
    EXPECT_EQ(y, expected.y);
    EXPECT_EQ(width, expected.width);
    EXPECT_EQ(height, expected.height);
    EXPECT_EQ(probe_->TextProperty(window, "WM_NAME"), "Tavik");
    EXPECT_EQ(CloseAndWait(window, 20000), 0);
}

TEST_F(WineViewer, ShowsTheAxesAndTheGrassBoxOverDarkGreyAndAnimates) {
    ASSERT_NO_FATAL_FAILURE(StartViewer());
    Window window = WaitForViewerWindow();
    ASSERT_NE(window, 0u);
    Sleep(1000);
    RgbImage first = probe_->Grab(window);
    ASSERT_GT(first.width, 100);
    ASSERT_GT(first.height, 100);
    EXPECT_TRUE(IsBackground(first.At(3, 3)));
    EXPECT_TRUE(IsBackground(first.At(first.width - 4, first.height - 4)));
    EXPECT_GT(BoxPatchShare(first, IsGreenDominant), 0.6) << "the box does not look like grass";
    EXPECT_GT(GreenAxisPixelsAboveTheBox(first), first.height / 4) << "no Y axis above the box";

    Sleep(300);
    EXPECT_GT(CountDifferingPixels(first, probe_->Grab(window), 0), 50)
        << "the picture does not animate";
    EXPECT_EQ(CloseAndWait(window, 20000), 0);
}

TEST_F(WineViewer, ResizeRefitsThePicture) {
    ASSERT_NO_FATAL_FAILURE(StartViewer());
    Window window = WaitForViewerWindow();
    ASSERT_NE(window, 0u);
    // Tall instead of wide: a viewport or an aspect ratio left at the old size shows at once.
    ASSERT_TRUE(ResizeAndSettle(window, 240, 560));
    RgbImage image = probe_->Grab(window);
    ASSERT_EQ(image.width, 240);
    ASSERT_EQ(image.height, 560);
    for (auto [cx, cy] : {std::pair{3, 3}, {236, 3}, {3, 556}, {236, 556}}) {
        EXPECT_TRUE(IsBackground(image.At(cx, cy))) << cx << "," << cy;
    }
    EXPECT_GT(BoxPatchShare(image, IsGreenDominant), 0.6);
    EXPECT_GT(GreenAxisPixelsAboveTheBox(image), image.height / 4);
    // Whatever its angle, the box is 0.13 to 0.26 of the height wide when the aspect ratio
    // follows the window; the old, wide one would squeeze it to under 0.07.
    int left, right;
    ASSERT_TRUE(GrassSpan(image, &left, &right));
    EXPECT_GE(right - left + 1, image.height / 10);
    EXPECT_LE(right - left + 1, image.height * 3 / 10);
    EXPECT_EQ(CloseAndWait(window, 20000), 0);
}

TEST_F(WineViewer, CloseEndsTheProcessWithZero) {
    ASSERT_NO_FATAL_FAILURE(StartViewer());
    Window window = WaitForViewerWindow();
    ASSERT_NE(window, 0u);
    Sleep(500);
    EXPECT_EQ(CloseAndWait(window, 20000), 0);
    EXPECT_FALSE(IsRunning(viewer_));
    EXPECT_FALSE(probe_->Exists(window));
}

TEST_F(WineViewer, WithoutTheBitmapItAnimatesAnUntexturedBoxSilently) {
    WineRunOptions options;
    options.withTexture = false;
    ASSERT_NO_FATAL_FAILURE(StartViewer(options));
    Window window = WaitForViewerWindow();
    ASSERT_NE(window, 0u);
    Sleep(1000);
    RgbImage image = probe_->Grab(window);
    EXPECT_GT(BoxPatchShare(image, IsWhite), 0.9);
    EXPECT_TRUE(probe_->FindWindows("Error Glew").empty());
    Sleep(300);
    EXPECT_GT(CountDifferingPixels(image, probe_->Grab(window), 0), 50);
    EXPECT_EQ(CloseAndWait(window, 20000), 0);
}

// Both programs draw frame n at n degrees. The Windows program's frame is held still in a grab;
// the native program, at the same client size, turns through every angle once in 14.4 seconds
// and is grabbed far more often than it draws, so one of its frames shows the same angle.
TEST_F(WineViewer, ShowsTheSamePictureAsTheNativeProgram) {
    constexpr int kWidth = 400, kHeight = 300;
    ASSERT_NO_FATAL_FAILURE(StartViewer());
    Window window = WaitForViewerWindow();
    ASSERT_NE(window, 0u);

    NativeRun native;
    std::string error;
    ASSERT_TRUE(StartXvfb(&native.server, {}, &error)) << error;
    X11Probe nativeProbe(native.server.display);
    ASSERT_TRUE(
        StartProcess({TAVIK_NATIVE_BINARY}, root_ + "/bin", native.server.display, &native.viewer));
    Window nativeWindow = nativeProbe.WaitForWindow("Tavik", 10000);
    ASSERT_NE(nativeWindow, 0u) << ReadStderr(native.viewer);

    ASSERT_TRUE(ResizeAndSettle(window, kWidth, kHeight));
    nativeProbe.Resize(nativeWindow, kWidth, kHeight);
    Sleep(400);

    // A whole frame: two grabs in a row agree.
    RgbImage windows;
    for (int attempt = 0; attempt < 50; ++attempt) {
        windows = probe_->Grab(window);
        if (CountDifferingPixels(windows, probe_->Grab(window), 0) == 0) {
            break;
        }
    }
    ASSERT_EQ(windows.width, kWidth);
    ASSERT_GT(BoxPatchShare(windows, IsGreenDominant), 0.6);

    // Channels may differ by a few levels (rounding), and a few pixels more where the axes pass
    // into the box (depth precision); a turn of one degree moves thousands.
    constexpr int kChannelTolerance = 8;
    const int kPixelTolerance = kWidth * kHeight / 500;
    int best = kWidth * kHeight, grabs = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(45);
    while (best > kPixelTolerance && std::chrono::steady_clock::now() < deadline) {
        RgbImage frame = nativeProbe.Grab(nativeWindow);
        ++grabs;
        int differing = CountDifferingPixels(windows, frame, kChannelTolerance);
        if (differing >= 0) {
            best = std::min(best, differing);
        }
    }
    std::printf("closest native frame: %d of %d pixels differ (%d grabs)\n", best, kWidth * kHeight,
                grabs);
    EXPECT_LE(best, kPixelTolerance);

    EXPECT_EQ(CloseAndWait(window, 20000), 0);
}

} // namespace
