#include "wine_fixture.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "wine.h"

namespace fs = std::filesystem;

void WineViewerTest::SetUp() {
    std::string error;
    ASSERT_TRUE(StartXvfb(&server_, {}, &error)) << error;
    ASSERT_TRUE(EnsureWinePrefix(server_.display, &error)) << error;
    probe_ = std::make_unique<X11Probe>(server_.display);
    ASSERT_TRUE(probe_->Connected());
    char tmpl[] = "/tmp/tavik-wine-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
}

void WineViewerTest::StartViewer(const WineRunOptions& options) {
    ASSERT_TRUE(fs::exists(TAVIK_WINDOWS_EXE))
        << TAVIK_WINDOWS_EXE << " is missing: build the windows preset first";
    fs::create_directories(root_ + "/bin");
    if (options.withTexture) {
        fs::create_directories(root_ + "/res");
        fs::copy_file(TAVIK_SOURCE_DIR "/res/grass.bmp", root_ + "/res/grass.bmp");
    }
    fs::copy_file(TAVIK_WINDOWS_EXE, root_ + "/bin/tavik.exe");
    ASSERT_TRUE(
        StartUnderWine(root_ + "/bin/tavik.exe", {}, root_ + "/bin", server_.display, &viewer_));
}

Window WineViewerTest::WaitForViewerWindow(int timeoutMs) {
    Window window = probe_->WaitForWindow("Tavik", timeoutMs);
    EXPECT_NE(window, 0u) << "no window captioned Tavik; Wine said: " << ReadStderr(viewer_);
    return window;
}

int WineViewerTest::CloseAndWait(Window window, int timeoutMs) {
    probe_->SendClose(window);
    int code = -1;
    return WaitProcess(&viewer_, timeoutMs, &code) ? code : -1;
}

bool WineViewerTest::ResizeAndSettle(Window window, int width, int height) {
    probe_->Resize(window, width, height);
    for (int i = 0; i < 200; ++i) {
        int x, y, w, h;
        if (probe_->Geometry(window, &x, &y, &w, &h) && w == width && h == height) {
            // A few ticks, so that the frames on screen are drawn at the new size.
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

std::string WineViewerTest::RunToEnd(const std::string& program,
                                     const std::vector<std::string>& arguments) {
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

void WineViewerTest::TearDown() {
    KillProcess(&viewer_);
    StopWine();
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
