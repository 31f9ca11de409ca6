#include "viewer_fixture.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

void ViewerTest::Start(const ViewerOptions& options) {
    std::string error;
    ASSERT_TRUE(StartXvfb(&server_, options.xvfbArgs, &error)) << error;
    char tmpl[] = "/tmp/tavik-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    fs::create_directories(root_ + "/bin");
    if (options.withTexture) {
        fs::create_directories(root_ + "/res");
        fs::copy_file(TAVIK_SOURCE_DIR "/res/grass.bmp", root_ + "/res/grass.bmp");
    }
    if (options.windowManager) {
        ASSERT_TRUE(StartProcess({"/usr/bin/openbox", "--sm-disable"}, root_, server_.display,
                                 &windowManager_));
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    probe_ = std::make_unique<X11Probe>(server_.display);
    ASSERT_TRUE(probe_->Connected());
    ASSERT_TRUE(StartProcess({TAVIK_BINARY}, root_ + "/bin", server_.display, &viewer_));
}

Window ViewerTest::WaitForViewerWindow(int timeoutMs) {
    Window window = probe_->WaitForWindow("Tavik", timeoutMs);
    EXPECT_NE(window, 0u) << "no window captioned Tavik; viewer said: " << ReadStderr(viewer_);
    return window;
}

int ViewerTest::CloseAndWait(Window window, int timeoutMs) {
    probe_->SendClose(window);
    int code = -1;
    return WaitProcess(&viewer_, timeoutMs, &code) ? code : -1;
}

void ViewerTest::TearDown() {
    KillProcess(&viewer_);
    KillProcess(&windowManager_);
    probe_.reset();
    StopXvfb(&server_);
    if (!root_.empty()) {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    if (!viewer_.stderrPath.empty()) {
        unlink(viewer_.stderrPath.c_str());
    }
}

bool IsBackground(const unsigned char* p) {
    return p[0] == 26 && p[1] == 26 && p[2] == 26;
}

bool IsGreenDominant(const unsigned char* p) {
    return p[1] > p[0] + 10 && p[1] > p[2] + 10;
}

int CountDifferentPixels(const RgbImage& a, const RgbImage& b) {
    if (a.pixels.size() != b.pixels.size()) {
        return -1;
    }
    int count = 0;
    for (size_t i = 0; i < a.pixels.size(); i += 3) {
        count += a.pixels[i] != b.pixels[i] || a.pixels[i + 1] != b.pixels[i + 1] ||
                 a.pixels[i + 2] != b.pixels[i + 2];
    }
    return count;
}
