// What only the Windows program under Wine shows: the size the template gets from the system's
// own dialog arithmetic, and the same picture as the native program at the same client size and
// angle.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "support/viewer_fixture.h"
#include "support/wine.h"

namespace {

// Where the client area of a window made from the template lands, as dialog_metrics.exe works
// it out on the system it runs on.
struct ClientRect {
    int x = -1, y = -1, width = -1, height = -1;
};

ClientRect ParseClientRect(const std::string& metricsOutput) {
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

class WineViewer : public ViewerRig {
  protected:
    WineViewer() : ViewerRig(kWineHost) {}

    // Runs a Windows console program under Wine to its end and returns its standard error.
    std::string RunToEnd(const std::string& program, const std::vector<std::string>& arguments) {
        ChildProcess child;
        if (!StartUnderWine(program, arguments, root_, server_.display, &child)) {
            ADD_FAILURE() << "could not start " << program << " under Wine";
            return "";
        }
        int code = -1;
        if (!WaitProcess(&child, 60000, &code)) {
            KillProcess(&child);
            ADD_FAILURE() << program << " did not end under Wine";
        } else {
            EXPECT_EQ(code, 0) << program;
        }
        std::string output = ReadStderr(child);
        unlink(child.stderrPath.c_str());
        return output;
    }
};

TEST_F(WineViewer, OpensAtTopLeftWithTheSizeTheTemplateGivesOnThisSystem) {
    ASSERT_NO_FATAL_FAILURE(StartServer());
    // The template's font, size (in dialog units) and style.
    ClientRect expected = ParseClientRect(
        RunToEnd(TAVIK_DIALOG_METRICS_EXE, {"MS Shell Dlg", "8", "310", "177", "CC0048"}));
    ChildProcess* viewer = nullptr;
    Window window = StartAndWaitForWindow(&viewer);
    ASSERT_NE(window, 0u);
    int x, y, width, height;
    ASSERT_TRUE(Geometry(window, &x, &y, &width, &height));
    // Without a window manager nobody draws the frame, so X shows the client area, which the
    // frame's widths place inside the window's top-left corner at (0, 0).
    EXPECT_EQ(x, expected.x);
    EXPECT_EQ(y, expected.y);
    EXPECT_EQ(width, expected.width);
    EXPECT_EQ(height, expected.height);
    EXPECT_EQ(probe_->TextProperty(window, "WM_NAME"), "Tavik");
    CloseAndExpectEndsWithZero(viewer, window, "close");
}

// Both programs draw frame n at n degrees. The Windows program's frame is held still in a grab;
// the native program, at the same client size, turns through every angle once in 14.4 seconds
// and is grabbed far more often than it draws, so one of its frames shows the same angle.
TEST_F(WineViewer, ShowsTheSamePictureAsTheNativeProgram) {
    constexpr int kWidth = 400, kHeight = 300;
    ChildProcess* viewer = nullptr;
    Window window = Start(&viewer);
    ASSERT_NE(window, 0u);

    NativeRun native;
    std::string error;
    ASSERT_TRUE(StartXvfb(&native.server, {}, &error)) << error;
    X11Probe nativeProbe(native.server.display);
    ASSERT_TRUE(
        StartProcess({NativeBinary()}, root_ + "/bin", native.server.display, &native.viewer));
    Window nativeWindow = nativeProbe.WaitForWindow("Tavik", 10000);
    ASSERT_NE(nativeWindow, 0u) << ReadStderr(native.viewer);

    Resize(window, kWidth, kHeight);
    ASSERT_EQ(WaitForPictureToFit(window, kWidth, kHeight), "");
    nativeProbe.Resize(nativeWindow, kWidth, kHeight);
    SleepMs(400);

    // A whole frame: two grabs in a row agree.
    RgbImage windows;
    for (int attempt = 0; attempt < 50; ++attempt) {
        windows = Grab(window);
        if (CountDifferingPixels(windows, Grab(window)) == 0) {
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

    CloseAndExpectEndsWithZero(viewer, window, "close");
}

} // namespace
