#include "stress_rig.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "windows/picture.h"
#ifdef TAVIK_WINDOWS_EXE
#include "windows/wine.h"
#endif

namespace fs = std::filesystem;

#ifdef TAVIK_WINDOWS_EXE
const StressLimits kLimits = {30000, 20000, 5000};
#else
const StressLimits kLimits = {10000, 2000, 3000};
#endif

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void StressTest::SetUp() {
    std::string error;
    ASSERT_TRUE(StartXvfb(&server_, {}, &error)) << error;
#ifdef TAVIK_WINDOWS_EXE
    ASSERT_TRUE(EnsureWinePrefix(server_.display, &error)) << error;
#endif
    probe_ = std::make_unique<X11Probe>(server_.display);
    ASSERT_TRUE(probe_->Connected()) << "cannot connect to " << server_.display;
    char tmpl[] = "/tmp/tavik-stress-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    fs::create_directories(root_ + "/bin");
    fs::create_directories(root_ + "/res");
    fs::copy_file(TAVIK_SOURCE_DIR "/res/grass.bmp", root_ + "/res/grass.bmp");
#ifdef TAVIK_WINDOWS_EXE
    ASSERT_TRUE(fs::exists(TAVIK_WINDOWS_EXE))
        << TAVIK_WINDOWS_EXE << " is missing: build the windows preset first";
    fs::copy_file(TAVIK_WINDOWS_EXE, root_ + "/bin/tavik.exe");
#endif
}

void StressTest::TearDown() {
    for (auto& viewer : viewers_) {
        KillProcess(viewer.get());
        if (!viewer->stderrPath.empty()) {
            unlink(viewer->stderrPath.c_str());
        }
    }
#ifdef TAVIK_WINDOWS_EXE
    StopWine();
#endif
    probe_.reset();
    StopXvfb(&server_);
    if (!root_.empty()) {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
}

ChildProcess* StressTest::StartViewer() {
    viewers_.push_back(std::make_unique<ChildProcess>());
    ChildProcess* viewer = viewers_.back().get();
#ifdef TAVIK_WINDOWS_EXE
    bool started =
        StartUnderWine(root_ + "/bin/tavik.exe", {}, root_ + "/bin", server_.display, viewer);
#else
    bool started = StartProcess({TAVIK_BINARY}, root_ + "/bin", server_.display, viewer);
#endif
    EXPECT_TRUE(started) << "cannot start the viewer";
    return viewer;
}

Window StressTest::WaitForNewWindow(const std::vector<Window>& known, int timeoutMs) {
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

Window StressTest::StartAndWaitForWindow(ChildProcess** viewer) {
    *viewer = StartViewer();
    Window window = WaitForNewWindow({}, kLimits.startMs);
    EXPECT_NE(window, 0u) << "no window captioned Tavik; the viewer said: " << ReadStderr(**viewer);
    return window;
}

bool StressTest::WaitForExit(ChildProcess* viewer, int timeoutMs, int* code, double* cpuSeconds) {
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

void StressTest::ExpectEndsWithZeroSilently(ChildProcess* viewer, const std::string& when) {
    int code = -1;
    EXPECT_TRUE(WaitForExit(viewer, kLimits.exitMs, &code))
        << when << ": still running " << kLimits.exitMs << " ms after the close";
    EXPECT_EQ(code, 0) << when;
    EXPECT_EQ(ReadStderr(*viewer), "") << when;
}

void StressTest::EndServer(int signal) {
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

Patch BoxPatch(int width, int height) {
    Patch patch;
    RgbImage sized;
    sized.width = width;
    sized.height = height;
    int half = std::max(1, height / 20);
    patch.x = std::max(0, width / 2 - half);
    patch.y = std::max(0, OriginRow(sized) - half);
    patch.width = std::min(width - patch.x, 2 * half);
    patch.height = std::min(height - patch.y, 2 * half);
    return patch;
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

std::string PictureMisfit(const RgbImage& image, int width, int height) {
    if (image.width != width || image.height != height) {
        return "the grab is " + std::to_string(image.width) + " x " + std::to_string(image.height) +
               ", not " + std::to_string(width) + " x " + std::to_string(height);
    }
    for (auto [x, y] :
         {std::pair{2, 2}, {width - 3, 2}, {2, height - 3}, {width - 3, height - 3}}) {
        if (!IsBackground(image.At(x, y))) {
            return "no background at corner " + std::to_string(x) + "," + std::to_string(y);
        }
    }
    // A viewport left at another size moves the centre column; a projection left at another
    // size moves the origin up or down and stretches the box sideways.
    if (GreenAxisPixelsAboveTheBox(image) <= height / 4) {
        return "no Y axis up the centre column";
    }
    if (BoxPatchShare(image, IsGreenDominant) <= 0.6) {
        return "no grass around the origin";
    }
    // Whatever its angle, the box is 0.13 to 0.26 of the height wide when the aspect ratio
    // follows the window.
    int left = 0, right = 0;
    if (!GrassSpan(image, &left, &right) || right - left + 1 < height / 10 ||
        right - left + 1 > height * 3 / 10) {
        return "the box is " + std::to_string(right - left + 1) + " pixels wide at height " +
               std::to_string(height);
    }
    return "";
}

std::string WaitForPictureToFit(X11Probe* probe, Window window, int width, int height,
                                int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string misfit;
    do {
        misfit = PictureMisfit(probe->Grab(window), width, height);
        if (misfit.empty()) {
            return misfit;
        }
        SleepMs(50);
    } while (std::chrono::steady_clock::now() < deadline);
    return misfit;
}
