#include "support/viewer_fixture.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "support/wine.h"

namespace fs = std::filesystem;

const ViewerHost kX11Host = {"x11",
                             DisplayServer::kXvfb,
                             ProgramLauncher::kNative,
                             PictureSource::kXGetImage,
                             10000,
                             400,
                             1000,
                             2000,
                             3000};
const ViewerHost kWineHost = {"wine",
                              DisplayServer::kXvfb,
                              ProgramLauncher::kWine,
                              PictureSource::kXGetImage,
                              30000,
                              1000,
                              20000,
                              20000,
                              5000};

namespace {

std::string& NativeBinaryPath() {
    static std::string path = TAVIK_BINARY;
    return path;
}

} // namespace

const std::string& NativeBinary() {
    return NativeBinaryPath();
}

void UseNativeBinary(const std::string& path) {
    NativeBinaryPath() = path;
}

void PrintTo(const ViewerHost* host, std::ostream* out) {
    *out << host->name;
}

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void ViewerRig::StartServer(const ViewerOptions& options) {
    std::string error;
    switch (host_.server) {
    case DisplayServer::kXvfb:
        ASSERT_TRUE(StartXvfb(&server_, options.serverArgs, &error)) << error;
        if (options.windowManager) {
            ASSERT_TRUE(StartProcess({"/usr/bin/openbox", "--sm-disable"}, "/", server_.display,
                                     &windowManager_));
            SleepMs(500);
        }
        probe_ = std::make_unique<X11Probe>(server_.display);
        ASSERT_TRUE(probe_->Connected()) << "cannot connect to " << server_.display;
        break;
    }
    if (host_.launcher == ProgramLauncher::kWine) {
        ASSERT_TRUE(EnsureWinePrefix(server_.display, &error)) << error;
    }

    char tmpl[] = "/tmp/tavik-viewer-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    fs::create_directories(root_ + "/bin");
    if (options.withTexture) {
        fs::create_directories(root_ + "/res");
        fs::copy_file(TAVIK_SOURCE_DIR "/res/grass.bmp", root_ + "/res/grass.bmp");
    }
    if (host_.launcher == ProgramLauncher::kWine) {
        ASSERT_TRUE(fs::exists(TAVIK_WINDOWS_EXE))
            << "'" TAVIK_WINDOWS_EXE "' is missing: build the windows preset first";
        fs::copy_file(TAVIK_WINDOWS_EXE, root_ + "/bin/tavik.exe");
    }
}

void ViewerRig::TearDown() {
    for (auto& viewer : viewers_) {
        KillProcess(viewer.get());
        if (!viewer->stderrPath.empty()) {
            unlink(viewer->stderrPath.c_str());
        }
    }
    if (host_.launcher == ProgramLauncher::kWine) {
        StopWine();
    }
    KillProcess(&windowManager_);
    if (!windowManager_.stderrPath.empty()) {
        unlink(windowManager_.stderrPath.c_str());
    }
    probe_.reset();
    StopXvfb(&server_);
    if (!root_.empty()) {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
}

ChildProcess* ViewerRig::StartViewer() {
    viewers_.push_back(std::make_unique<ChildProcess>());
    ChildProcess* viewer = viewers_.back().get();
    bool started = false;
    switch (host_.launcher) {
    case ProgramLauncher::kNative:
        started = StartProcess({NativeBinary()}, root_ + "/bin", server_.display, viewer);
        break;
    case ProgramLauncher::kWine:
        started =
            StartUnderWine(root_ + "/bin/tavik.exe", {}, root_ + "/bin", server_.display, viewer);
        break;
    }
    EXPECT_TRUE(started) << "cannot start the viewer";
    return viewer;
}

Window ViewerRig::WaitForNewWindow(const std::vector<Window>& known, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        for (Window window : probe_->FindWindows("Tavik")) {
            XWindowAttributes attributes;
            if (std::find(known.begin(), known.end(), window) == known.end() &&
                XGetWindowAttributes(probe_->display(), window, &attributes) &&
                attributes.map_state == IsViewable) {
                return window;
            }
        }
        SleepMs(1);
    } while (std::chrono::steady_clock::now() < deadline);
    return 0;
}

Window ViewerRig::StartAndWaitForWindow(ChildProcess** viewer) {
    ChildProcess* started = StartViewer();
    if (viewer != nullptr) {
        *viewer = started;
    }
    Window window = WaitForNewWindow({}, host_.startMs);
    EXPECT_NE(window, 0u) << "no window captioned Tavik; the viewer said: " << ReadStderr(*started);
    return window;
}

Window ViewerRig::Start(ChildProcess** viewer, const ViewerOptions& options) {
    StartServer(options);
    return HasFatalFailure() ? 0 : StartAndWaitForWindow(viewer);
}

void ViewerRig::CloseAndExpectEndsWithZero(ChildProcess* viewer, Window window,
                                           const std::string& when) {
    probe_->SendClose(window);
    ExpectEndsWithZeroSilently(viewer, host_.exitMs, when);
}

RgbImage ViewerRig::Grab(Window window) {
    switch (host_.picture) {
    case PictureSource::kXGetImage:
        return probe_->Grab(window);
    }
    return RgbImage();
}

std::string ViewerRig::WaitForPictureToFit(Window window, int width, int height) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(host_.fitMs);
    std::string misfit;
    do {
        misfit = PictureMisfit(Grab(window), width, height);
        if (misfit.empty()) {
            return misfit;
        }
        SleepMs(50);
    } while (std::chrono::steady_clock::now() < deadline);
    return misfit;
}

bool ViewerRig::WaitForExit(ChildProcess* viewer, int timeoutMs, int* code, double* cpuSeconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        rusage usage = {};
        if (viewer->pid > 0 && wait4(viewer->pid, &status, WNOHANG, &usage) == viewer->pid) {
            viewer->pid = -1;
            *code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            if (cpuSeconds != nullptr) {
                *cpuSeconds =
                    static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
            }
            return true;
        }
        if (viewer->pid <= 0 || std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        SleepMs(1);
    }
}

void ViewerRig::ExpectEndsWithZeroSilently(ChildProcess* viewer, int timeoutMs,
                                           const std::string& when) {
    int code = -1;
    EXPECT_TRUE(WaitForExit(viewer, timeoutMs, &code))
        << when << ": still running " << timeoutMs << " ms after the close";
    EXPECT_EQ(code, 0) << when;
    EXPECT_EQ(ReadStderr(*viewer), "") << when;
}

void ViewerRig::EndServer(int signal) {
    probe_.reset();
    pid_t pid = server_.process.pid;
    ASSERT_GT(pid, 0);
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    // A killed server leaves its socket file behind. It is not removed here: by now another
    // server may have taken the number, and the next one to take it replaces the file anyway.
    server_.process.pid = -1;
}

FrameWatcher::FrameWatcher(Display* display, Window window, int width, int height)
    : display_(display), window_(window), patch_(BoxPatch(width, height)) {}

bool FrameWatcher::Changed() {
    XImage* image =
        XGetImage(display_, window_, patch_.x, patch_.y, static_cast<unsigned>(patch_.width),
                  static_cast<unsigned>(patch_.height), AllPlanes, ZPixmap);
    if (image == nullptr) {
        return false;
    }
    std::vector<char> pixels(image->data, image->data + image->bytes_per_line * image->height);
    XDestroyImage(image);
    bool changed = !last_.empty() && pixels != last_;
    last_.swap(pixels);
    return changed;
}

bool FrameWatcher::WaitForFrame(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    Changed();
    while (std::chrono::steady_clock::now() < deadline) {
        if (Changed()) {
            return true;
        }
        SleepMs(1);
    }
    return false;
}
