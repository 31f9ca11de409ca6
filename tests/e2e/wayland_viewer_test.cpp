// The real viewer on Wayland only: its toplevel as sway reports it, the output's real resolution
// on a scaled output, libdecor's own frame under weston, no usable OpenGL, and the compositor
// going away. Each test starts its own headless compositor, with no X server.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "support/wayland_probe.h"
#include "windows/picture.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 465, kHeight = 288; // 310 x 177 dialog units at 96 dpi

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

class WaylandViewer : public ::testing::TestWithParam<Compositor> {
  protected:
    void TearDown() override {
        if (viewer_.pid > 0) {
            KillProcess(&viewer_);
        }
        RemoveCapturedOutput(&viewer_);
        EndSession(&session_);
    }

    // Starts the compositor, then the viewer from bin/ beside ../res/grass.bmp (or not), both as
    // the session's user; fails the test when either cannot start.
    // A scale other than 1 is set on the output before the viewer starts (sway only).
    void Start(Compositor compositor, bool withTexture = true,
               std::vector<std::pair<std::string, std::string>> environment = {}, int scale = 1) {
        std::string error;
        ASSERT_TRUE(StartCompositor(compositor, &session_, &error)) << error;
        sway_ = std::make_unique<SwayProbe>(session_);
        if (scale != 1) {
            ASSERT_TRUE(sway_->SetScale(scale));
        }
        std::string root = session_.runtimeDir + "/viewer";
        fs::create_directories(root + "/bin");
        fs::copy_file(TAVIK_BINARY, root + "/bin/tavik");
        if (withTexture) {
            fs::create_directories(root + "/res");
            fs::copy_file(TAVIK_SOURCE_DIR "/res/grass.bmp", root + "/res/grass.bmp");
        }
        ASSERT_TRUE(GiveToSessionUser(session_, root));
        LaunchSettings settings = SessionSettings(session_);
        settings.environment.insert(settings.environment.end(), environment.begin(),
                                    environment.end());
        ASSERT_TRUE(StartProcessWith({root + "/bin/tavik"}, root + "/bin", settings, &viewer_));
    }

    // The sway window titled `caption`; 0 if none appears within `timeoutMs`.
    unsigned long WaitForWindow(const std::string& caption, int timeoutMs = 10000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        do {
            std::vector<unsigned long> windows = sway_->FindWindows(caption);
            if (!windows.empty()) {
                return windows.front();
            }
            Sleep(20);
        } while (std::chrono::steady_clock::now() < deadline);
        return 0;
    }

    int WaitForExitCode(int timeoutMs) {
        int code = -1;
        return WaitProcess(&viewer_, timeoutMs, &code) ? code : -1;
    }

    WaylandSession session_;
    std::unique_ptr<SwayProbe> sway_;
    ChildProcess viewer_;
};

// Columns of the Y axis on the row a quarter of the way down, above the box: one where the
// picture is drawn at the grab's resolution, two side by side where it was drawn at half of it
// and scaled up.
int AxisWidth(const RgbImage& image) {
    int width = 0;
    for (int x = image.width / 2 - 4; x <= image.width / 2 + 4; ++x) {
        width += IsGreenDominant(image.At(x, image.height / 4));
    }
    return width;
}

using WaylandViewerOnSway = WaylandViewer;

// The same logical size on a double-scale output, drawn with twice the pixels each way: the
// picture fits the grab of the output's pixels, and its lines are one of those pixels wide.
void ExpectDrawnAtDoubleScale(SwayProbe* sway, unsigned long window) {
    ClientArea area;
    ASSERT_TRUE(sway->Geometry(window, &area));
    EXPECT_EQ(area.width, kWidth);
    EXPECT_EQ(area.height, kHeight);
    RgbImage picture = sway->Grab(window);
    ASSERT_EQ(picture.width, 2 * kWidth);
    ASSERT_EQ(picture.height, 2 * kHeight);
    for (auto [x, y] : {std::pair{3, 3}, {2 * kWidth - 4, 2 * kHeight - 4}}) {
        EXPECT_TRUE(IsBackground(picture.At(x, y))) << x << "," << y;
    }
    EXPECT_GT(BoxPatchShare(picture, IsGreenDominant), 0.6);
    EXPECT_EQ(AxisWidth(picture), 1) << "drawn at the logical size and scaled up";
}

TEST_F(WaylandViewerOnSway, IsATavikToplevelWithTheTemplateSizeInOneOutputPixelPerUnit) {
    ASSERT_NO_FATAL_FAILURE(Start(Compositor::kSway));
    unsigned long window = WaitForWindow("Tavik");
    ASSERT_NE(window, 0u) << ReadStderr(viewer_);
    EXPECT_EQ(sway_->AppId(window), "org.tavik.Tavik");
    ClientArea area;
    ASSERT_TRUE(sway_->Geometry(window, &area));
    EXPECT_EQ(area.width, kWidth);
    EXPECT_EQ(area.height, kHeight);
    Sleep(400);
    RgbImage picture = sway_->Grab(window);
    ASSERT_EQ(picture.width, kWidth);
    EXPECT_TRUE(IsBackground(picture.At(3, 3)));
    EXPECT_GT(BoxPatchShare(picture, IsGreenDominant), 0.6);
    EXPECT_EQ(AxisWidth(picture), 1);
    sway_->SendClose(window);
    EXPECT_EQ(WaitForExitCode(1000), 0);
}

TEST_F(WaylandViewerOnSway, OnADoubleScaleOutputItDrawsWithTheOutputsPixels) {
    ASSERT_NO_FATAL_FAILURE(Start(Compositor::kSway, true, {}, 2));
    unsigned long window = WaitForWindow("Tavik");
    ASSERT_NE(window, 0u) << ReadStderr(viewer_);
    Sleep(400);
    ExpectDrawnAtDoubleScale(sway_.get(), window);
    sway_->SendClose(window);
    EXPECT_EQ(WaitForExitCode(1000), 0);
}

// The output's scale changes under the running viewer (as when a window moves to another
// output): the next frames use the new resolution.
TEST_F(WaylandViewerOnSway, WhenTheOutputScaleChangesItDrawsWithTheNewPixels) {
    ASSERT_NO_FATAL_FAILURE(Start(Compositor::kSway));
    unsigned long window = WaitForWindow("Tavik");
    ASSERT_NE(window, 0u) << ReadStderr(viewer_);
    Sleep(200);
    ASSERT_TRUE(sway_->SetScale(2));
    Sleep(1000);
    ExpectDrawnAtDoubleScale(sway_.get(), window);
    sway_->SendClose(window);
    EXPECT_EQ(WaitForExitCode(1000), 0);
}

// No EGL vendor: the viewer has no OpenGL at all, while the compositor (pixman) is unaffected.
TEST_F(WaylandViewerOnSway, WithoutUsableOpenGlItShowsTheGlewErrorThenStillOpensAndCloses) {
    ASSERT_NO_FATAL_FAILURE(
        Start(Compositor::kSway, true, {{"__EGL_VENDOR_LIBRARY_FILENAMES", "/nonexistent.json"}}));
    unsigned long box = WaitForWindow("Error Glew");
    ASSERT_NE(box, 0u) << ReadStderr(viewer_);
    // The box is modal: the viewer's window is not shown before it is dismissed.
    Sleep(300);
    EXPECT_TRUE(sway_->FindWindows("Tavik").empty());
    sway_->SendClose(box);
    unsigned long window = WaitForWindow("Tavik");
    ASSERT_NE(window, 0u) << ReadStderr(viewer_);
    EXPECT_FALSE(sway_->Exists(box));
    Sleep(200);
    EXPECT_TRUE(IsRunning(viewer_));
    sway_->SendClose(window);
    EXPECT_EQ(WaitForExitCode(1000), 0);
    EXPECT_NE(ReadStderr(viewer_).find("EGL"), std::string::npos) << ReadStderr(viewer_);
}

using WaylandViewerOnWeston = WaylandViewer;

// Weston offers no server-side decorations: libdecor draws the title bar above the client area.
// Its screenshooter loses the colours inside the client area (see WestonShot), so the picture is
// checked by its shape there: the box differs from the background, and it turns.
TEST_F(WaylandViewerOnWeston, LibdecorFramesTheTemplateSizedPictureWhichAnimates) {
    ASSERT_NO_FATAL_FAILURE(Start(Compositor::kWeston));
    WestonShot screen;
    ClientArea area;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    do {
        Sleep(200);
        screen = WestonScreenshot(session_);
    } while (!FindClientArea(screen, &area) && std::chrono::steady_clock::now() < deadline);
    ASSERT_GT(screen.rgb.width, 0) << "no screenshot; weston said:\n" << CompositorLog(session_);
    ASSERT_TRUE(FindClientArea(screen, &area))
        << "no window; the viewer said: " << ReadStderr(viewer_);
    EXPECT_EQ(area.width, kWidth);
    EXPECT_EQ(area.height, kHeight);
    // The title bar: neither the desktop (0x203050) nor part of the client area.
    ASSERT_GT(area.y, 10);
    const unsigned char* bar = screen.rgb.At(area.x + area.width / 4, area.y - 10);
    EXPECT_FALSE(bar[0] == 0x20 && bar[1] == 0x30 && bar[2] == 0x50) << "no frame above the window";

    Sleep(500);
    RgbImage first = Crop(WestonScreenshot(session_).rgb, area);
    ASSERT_EQ(first.width, kWidth);
    const unsigned char* corner = first.At(3, 3);
    auto isCorner = [&](const unsigned char* p) {
        return p[0] == corner[0] && p[1] == corner[1] && p[2] == corner[2];
    };
    EXPECT_TRUE(isCorner(first.At(kWidth - 4, kHeight - 4)));
    int boxPixels = 0;
    for (int y = OriginRow(first) - 5; y <= OriginRow(first) + 5; ++y) {
        for (int x = kWidth / 2 - 5; x <= kWidth / 2 + 5; ++x) {
            boxPixels += !isCorner(first.At(x, y));
        }
    }
    EXPECT_GT(boxPixels, 100) << "no box around the origin";
    Sleep(300);
    EXPECT_GT(CountDifferingPixels(first, Crop(WestonScreenshot(session_).rgb, area), 0), 50)
        << "the picture does not animate";
}

// The compositor killed under a running viewer: the layer's message, exit code 1, at once, and
// no busy loop meanwhile.
TEST_P(WaylandViewer, CompositorKilledEndsItPromptlyWithAMessage) {
    ASSERT_NO_FATAL_FAILURE(Start(GetParam()));
    Sleep(1000);
    ASSERT_TRUE(IsRunning(viewer_)) << ReadStderr(viewer_);
    StopCompositor(&session_, SIGKILL);
    auto gone = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForExitCode(1000), 1) << "still running or ended otherwise";
    std::printf(
        "ended %.0f ms after the compositor\n",
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - gone).count());
    EXPECT_NE(ReadStderr(viewer_).find("the connection to the compositor was lost"),
              std::string::npos)
        << ReadStderr(viewer_);
}

INSTANTIATE_TEST_SUITE_P(Compositor, WaylandViewer,
                         ::testing::Values(Compositor::kSway, Compositor::kWeston),
                         [](const ::testing::TestParamInfo<Compositor>& info) {
                             return info.param == Compositor::kSway ? "sway" : "weston";
                         });

} // namespace
