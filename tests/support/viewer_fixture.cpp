#include "support/viewer_fixture.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

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

const ViewerHost kSwayHost = {"sway",
                              DisplayServer::kSway,
                              ProgramLauncher::kNative,
                              PictureSource::kGrim,
                              10000,
                              400,
                              1000,
                              2000,
                              3000};
const ViewerHost kWestonHost = {"weston",
                                DisplayServer::kWeston,
                                ProgramLauncher::kNative,
                                PictureSource::kWestonScreenshooter,
                                10000,
                                400,
                                1000,
                                2000,
                                5000};

// KWin starts in well under a second; a screenshot waits for KWin's next frame: sway's limits,
// with more time for a fit.
const ViewerHost kKwinHost = {"kwin",
                              DisplayServer::kKwin,
                              ProgramLauncher::kNative,
                              PictureSource::kKwinScreenShot,
                              10000,
                              400,
                              1000,
                              2000,
                              5000};
const ViewerHost kKwinScale150Host = {"kwin-1.5x",
                                      DisplayServer::kKwin,
                                      ProgramLauncher::kNative,
                                      PictureSource::kKwinScreenShot,
                                      10000,
                                      400,
                                      1000,
                                      2000,
                                      5000,
                                      1.5};
const ViewerHost kKwinScale125Host = {"kwin-1.25x",
                                      DisplayServer::kKwin,
                                      ProgramLauncher::kNative,
                                      PictureSource::kKwinScreenShot,
                                      10000,
                                      400,
                                      1000,
                                      2000,
                                      5000,
                                      1.25};
const ViewerHost kGnomeHost = {"gnome",
                               DisplayServer::kGnome,
                               ProgramLauncher::kNative,
                               PictureSource::kGnomeScreenshot,
                               10000,
                               400,
                               1000,
                               2000,
                               5000};
// Window managers on Xvfb, as Xfce, KDE Plasma and GNOME run them on X11, and openbox. The
// window manager is itself still starting up (KWin loads its scripts and effects) while the first
// frames are drawn, and maps the frame only after the viewer asked for its window: a longer settle.
const ViewerHost kOpenboxHost = {"openbox",
                                 DisplayServer::kXvfb,
                                 ProgramLauncher::kNative,
                                 PictureSource::kXGetImage,
                                 10000,
                                 1000,
                                 1000,
                                 2000,
                                 3000,
                                 1,
                                 X11WindowManager::kOpenbox};
const ViewerHost kKwinX11Host = {"kwin_x11",
                                 DisplayServer::kXvfb,
                                 ProgramLauncher::kNative,
                                 PictureSource::kXGetImage,
                                 10000,
                                 1000,
                                 1000,
                                 2000,
                                 3000,
                                 1,
                                 X11WindowManager::kKwin};
const ViewerHost kXfwm4Host = {"xfwm4",
                               DisplayServer::kXvfb,
                               ProgramLauncher::kNative,
                               PictureSource::kXGetImage,
                               10000,
                               1000,
                               1000,
                               2000,
                               3000,
                               1,
                               X11WindowManager::kXfwm4};
const ViewerHost kMutterX11Host = {"mutter_x11",
                                   DisplayServer::kXvfb,
                                   ProgramLauncher::kNative,
                                   PictureSource::kXGetImage,
                                   10000,
                                   1000,
                                   1000,
                                   2000,
                                   3000,
                                   1,
                                   X11WindowManager::kMutter};

namespace {

// Weston's one window: where its client area is on a screenshot, if there is one.
constexpr Window kWestonWindow = 1;

bool FindWestonWindow(const WaylandSession& session, ClientArea* area, RgbImage* picture) {
    WestonShot shot = WestonScreenshot(session);
    if (!FindClientArea(shot, area)) {
        return false;
    }
    if (picture != nullptr) {
        *picture = Crop(shot.rgb, *area);
    }
    return true;
}

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

void ViewerRig::StartServer(const ViewerOptions& options) {
    std::string error;
    switch (host_.server) {
    case DisplayServer::kXvfb:
        ASSERT_TRUE(StartXvfb(&server_, options.serverArgs, &error)) << error;
        probe_ = std::make_unique<X11Probe>(server_.display);
        ASSERT_TRUE(probe_->Connected()) << "cannot connect to " << server_.display;
        if (UnderWindowManager()) {
            ASSERT_TRUE(StartWindowManager(host_.windowManager, server_.display, probe_.get(),
                                           &windowManager_, &error))
                << error;
        }
        break;
    case DisplayServer::kKwin:
        ASSERT_TRUE(StartCompositor(Compositor::kKwin, &session_, &error, host_.scale)) << error;
        kwin_ = std::make_unique<KwinProbe>(session_);
        ASSERT_EQ(options.outputScale, 1) << "KWin's scale is the host's";
        break;
    case DisplayServer::kSway:
    case DisplayServer::kWeston:
    case DisplayServer::kGnome: {
        Compositor compositor = host_.server == DisplayServer::kSway     ? Compositor::kSway
                                : host_.server == DisplayServer::kWeston ? Compositor::kWeston
                                                                         : Compositor::kGnomeShell;
        if (options.nested) {
            ASSERT_EQ(compositor, Compositor::kSway) << "only sway runs nested";
            ASSERT_TRUE(StartCompositor(Compositor::kSway, &hostSession_, &error)) << error;
            // Tiled, the outputs would share the host's output, and change size when one comes.
            ASSERT_TRUE(SwayProbe(hostSession_).Run("for_window [app_id=wlroots] floating enable"));
        }
        ASSERT_TRUE(StartCompositor(compositor, &session_, &error, options.outputScale,
                                    options.nested ? &hostSession_ : nullptr))
            << error;
        if (host_.server == DisplayServer::kSway) {
            sway_ = std::make_unique<SwayProbe>(session_);
        } else if (host_.server == DisplayServer::kGnome) {
            gnome_ = std::make_unique<GnomeProbe>(session_);
        }
        break;
    }
    }
    viewerEnvironment_ = options.viewerEnvironment;
    viewerUnset_ = options.viewerUnset;
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
    if (host_.emulated != nullptr) {
        ASSERT_TRUE(fs::exists(host_.emulated->binary))
            << "'" << host_.emulated->binary << "' is missing: build its preset first";
    }
    if (OnWayland()) {
        // The compositor's user must be able to read the program, wherever the tree is built.
        fs::copy_file(host_.emulated != nullptr ? host_.emulated->binary : NativeBinary(),
                      root_ + "/bin/tavik");
        if (!options.unusableLibraries.empty()) {
            fs::create_directories(root_ + "/lib");
            for (const std::string& name : options.unusableLibraries) {
                std::ofstream(root_ + "/lib/" + name);
            }
            viewerEnvironment_.push_back({"LD_LIBRARY_PATH", root_ + "/lib"});
        }
        ASSERT_TRUE(GiveToSessionUser(session_, root_)) << "cannot hand " << root_ << " over";
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
    EndWindowManager(&windowManager_);
    probe_.reset();
    StopXvfb(&server_);
    sway_.reset();
    kwin_.reset();
    gnome_.reset();
    EndSession(&session_);
    EndSession(&hostSession_);
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
    case ProgramLauncher::kNative: {
        const EmulatedProgram* emulated = host_.emulated;
        std::vector<std::string> argv;
        if (emulated != nullptr) {
            argv = emulated->command;
        }
        if (OnWayland()) {
            LaunchSettings settings = SessionSettings(session_);
            if (emulated != nullptr) {
                settings.environment.insert(settings.environment.end(),
                                            emulated->environment.begin(),
                                            emulated->environment.end());
            }
            settings.environment.insert(settings.environment.end(), viewerEnvironment_.begin(),
                                        viewerEnvironment_.end());
            for (const std::string& name : viewerUnset_) {
                auto& set = settings.environment;
                set.erase(
                    std::remove_if(set.begin(), set.end(),
                                   [&](const auto& variable) { return variable.first == name; }),
                    set.end());
                settings.unset.push_back(name);
            }
            argv.push_back(root_ + "/bin/tavik");
            started = StartProcessWith(argv, root_ + "/bin", settings, viewer);
        } else if (emulated != nullptr) {
            // As StartProcess starts the native binary on X11, with the emulator's variables.
            LaunchSettings settings;
            settings.environment = {{"DISPLAY", server_.display}, {"XDG_SESSION_TYPE", "x11"}};
            settings.environment.insert(settings.environment.end(), emulated->environment.begin(),
                                        emulated->environment.end());
            settings.unset = {"WAYLAND_DISPLAY", "WAYLAND_SOCKET"};
            argv.push_back(emulated->binary);
            started = StartProcessWith(argv, root_ + "/bin", settings, viewer);
        } else {
            started = StartProcess({NativeBinary()}, root_ + "/bin", server_.display, viewer);
        }
        break;
    }
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
        for (Window window : FindWindows("Tavik")) {
            if (std::find(known.begin(), known.end(), window) == known.end() && IsShown(window)) {
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
    // The close latency: from the request (a tool started to send it) and from its delivery (the
    // tool has ended) to the viewer's end.
    auto asked = std::chrono::steady_clock::now();
    Close(window);
    auto sent = std::chrono::steady_clock::now();
    ExpectEndsWithZeroSilently(viewer, host_.exitMs, when);
    if (!IsRunning(*viewer)) {
        auto ended = std::chrono::steady_clock::now();
        std::printf("%s: ended %.0f ms after the close request, %.0f ms after its delivery\n",
                    when.c_str(), std::chrono::duration<double, std::milli>(ended - asked).count(),
                    std::chrono::duration<double, std::milli>(ended - sent).count());
    }
}

std::string ViewerRig::AppId(Window window) {
    switch (host_.server) {
    case DisplayServer::kSway:
        return sway_->AppId(window);
    case DisplayServer::kKwin:
        return kwin_->AppId(window);
    case DisplayServer::kGnome:
        return gnome_->AppId(window);
    case DisplayServer::kXvfb:
    case DisplayServer::kWeston:
        ADD_FAILURE() << "this host reports no application id";
        break;
    }
    return "";
}

std::vector<Window> ViewerRig::FindWindows(const std::string& caption) {
    switch (host_.server) {
    case DisplayServer::kXvfb:
        return UnderWindowManager() ? FindManagedWindows(probe_.get(), caption)
                                    : probe_->FindWindows(caption);
    case DisplayServer::kSway:
        return sway_->FindWindows(caption);
    case DisplayServer::kKwin:
        return kwin_->FindWindows(caption);
    case DisplayServer::kGnome:
        return gnome_->FindWindows(caption);
    case DisplayServer::kWeston: {
        ClientArea area = {};
        return caption == "Tavik" && FindWestonWindow(session_, &area, nullptr)
                   ? std::vector<Window>{kWestonWindow}
                   : std::vector<Window>{};
    }
    }
    return {};
}

bool ViewerRig::IsShown(Window window) {
    switch (host_.server) {
    case DisplayServer::kXvfb: {
        XWindowAttributes attributes;
        return XGetWindowAttributes(probe_->display(), window, &attributes) &&
               attributes.map_state == IsViewable;
    }
    case DisplayServer::kSway:
    case DisplayServer::kWeston:
    case DisplayServer::kKwin:
    case DisplayServer::kGnome:
        // All list only windows that are mapped.
        return Exists(window);
    }
    return false;
}

bool ViewerRig::Exists(Window window) {
    switch (host_.server) {
    case DisplayServer::kXvfb:
        return probe_->Exists(window);
    case DisplayServer::kSway:
        return sway_->Exists(window);
    case DisplayServer::kKwin:
        return kwin_->Exists(window);
    case DisplayServer::kGnome:
        return gnome_->Exists(window);
    case DisplayServer::kWeston: {
        ClientArea area = {};
        return FindWestonWindow(session_, &area, nullptr);
    }
    }
    return false;
}

bool ViewerRig::Geometry(Window window, int* x, int* y, int* width, int* height) {
    switch (host_.server) {
    case DisplayServer::kXvfb:
        return probe_->Geometry(window, x, y, width, height);
    case DisplayServer::kSway:
    case DisplayServer::kWeston:
    case DisplayServer::kKwin:
    case DisplayServer::kGnome: {
        ClientArea area = {};
        bool found = host_.server == DisplayServer::kSway   ? sway_->Geometry(window, &area)
                     : host_.server == DisplayServer::kKwin ? kwin_->Geometry(window, &area)
                     : host_.server == DisplayServer::kGnome
                         ? gnome_->Geometry(window, &area)
                         : FindWestonWindow(session_, &area, nullptr);
        *x = area.x;
        *y = area.y;
        *width = area.width;
        *height = area.height;
        return found;
    }
    }
    return false;
}

void ViewerRig::Resize(Window window, int width, int height) {
    switch (host_.server) {
    case DisplayServer::kXvfb:
        if (UnderWindowManager()) {
            EXPECT_TRUE(ResizeThroughWindowManager(server_.display, window, width, height));
        } else {
            probe_->Resize(window, width, height);
        }
        break;
    case DisplayServer::kSway:
        sway_->Resize(window, width, height);
        break;
    case DisplayServer::kKwin:
        kwin_->Resize(window, width, height);
        break;
    case DisplayServer::kGnome:
        gnome_->Resize(window, width, height);
        break;
    case DisplayServer::kWeston:
        ADD_FAILURE() << "nothing outside weston can resize its windows";
        break;
    }
}

void ViewerRig::Move(Window window, int x, int y) {
    switch (host_.server) {
    case DisplayServer::kXvfb:
        if (UnderWindowManager()) {
            EXPECT_TRUE(MoveThroughWindowManager(server_.display, window, x, y));
        } else {
            XMoveWindow(probe_->display(), window, x, y);
            XFlush(probe_->display());
        }
        break;
    case DisplayServer::kSway:
        sway_->Move(window, x, y);
        break;
    case DisplayServer::kKwin:
        kwin_->Move(window, x, y);
        break;
    case DisplayServer::kGnome:
        gnome_->Move(window, x, y);
        break;
    case DisplayServer::kWeston:
        ADD_FAILURE() << "nothing outside weston can move its windows";
        break;
    }
}

void ViewerRig::PlaceOnWholePixels(Window window) {
    auto whole = [this](int logical) {
        double pixels = logical * host_.scale;
        return std::abs(pixels - std::round(pixels)) < 1e-6;
    };
    if (whole(1)) {
        return;
    }
    if (host_.server == DisplayServer::kKwin) {
        kwin_->RemoveFrame(window);
    }
    // The client area's offset in the frame, with the frame in the corner.
    int dx = 0, dy = 0, width = 0, height = 0;
    Move(window, 0, 0);
    ASSERT_TRUE(Geometry(window, &dx, &dy, &width, &height));
    int x = 64, y = 64;
    while (!whole(x + dx)) {
        ++x;
    }
    while (!whole(y + dy)) {
        ++y;
    }
    Move(window, x, y);
}

void ViewerRig::Close(Window window) {
    switch (host_.server) {
    case DisplayServer::kXvfb:
        if (UnderWindowManager()) {
            EXPECT_TRUE(CloseThroughWindowManager(server_.display, window));
        } else {
            probe_->SendClose(window);
        }
        break;
    case DisplayServer::kSway:
        sway_->SendClose(window);
        break;
    case DisplayServer::kKwin:
        kwin_->SendClose(window);
        break;
    case DisplayServer::kGnome:
        gnome_->SendClose(window);
        break;
    case DisplayServer::kWeston:
        ADD_FAILURE() << "nothing outside weston can close its windows";
        break;
    }
}

RgbImage ViewerRig::Grab(Window window) {
    switch (host_.picture) {
    case PictureSource::kXGetImage:
        if (UnderWindowManager()) {
            int x, y, width, height;
            return probe_->Geometry(window, &x, &y, &width, &height)
                       ? GrabArea(window, Patch{0, 0, width, height})
                       : RgbImage();
        }
        return probe_->Grab(window);
    case PictureSource::kGrim:
        return sway_->Grab(window);
    case PictureSource::kKwinScreenShot:
        return kwin_->Grab(window);
    case PictureSource::kGnomeScreenshot:
        return gnome_->Grab(window);
    case PictureSource::kWestonScreenshooter: {
        ClientArea area = {};
        RgbImage picture;
        FindWestonWindow(session_, &area, &picture);
        return picture;
    }
    }
    return RgbImage();
}

RgbImage ViewerRig::GrabArea(Window window, const Patch& area) {
    switch (host_.picture) {
    case PictureSource::kXGetImage:
        if (UnderWindowManager()) {
            // From the root window: what the window manager puts over the client area shows.
            int x, y, width, height;
            if (!probe_->Geometry(window, &x, &y, &width, &height)) {
                return RgbImage();
            }
            return probe_->GrabArea(DefaultRootWindow(probe_->display()), x + area.x, y + area.y,
                                    area.width, area.height);
        }
        return probe_->GrabArea(window, area.x, area.y, area.width, area.height);
    case PictureSource::kGrim:
    case PictureSource::kWestonScreenshooter:
    case PictureSource::kKwinScreenShot:
    case PictureSource::kGnomeScreenshot:
        return Crop(Grab(window), area);
    }
    return RgbImage();
}

FrameWatcher ViewerRig::WatchFrames(Window window, int width, int height) {
    Patch patch = BoxPatch(width, height);
    return FrameWatcher([this, window, patch] { return GrabArea(window, patch); });
}

std::string ViewerRig::WaitForPictureToFit(Window window, int width, int height) {
    auto asked = std::chrono::steady_clock::now();
    auto deadline = asked + std::chrono::milliseconds(host_.fitMs);
    std::string misfit;
    do {
        misfit = PictureMisfit(Grab(window), ToPixels(width), ToPixels(height));
        if (misfit.empty()) {
            return misfit;
        }
        // NOTE: mutter 43 can lose a resize asked for while the window's previous configure is
        // in flight (the last size of a storm): no configure for it reaches the client, and the
        // same request asked again may get another size. Each second the window has not got
        // the size, ask again by way of a size one pixel wider, which mutter takes.
        if (host_.server == DisplayServer::kGnome &&
            std::chrono::steady_clock::now() - asked > std::chrono::seconds(1)) {
            std::printf("%d x %d: not configured by mutter after a second; asked again\n", width,
                        height);
            Resize(window, width + 1, height);
            SleepMs(100);
            Resize(window, width, height);
            asked = std::chrono::steady_clock::now();
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

int ViewerRig::ToPixels(int logical) const {
    return static_cast<int>(std::lround(logical * host_.scale));
}

void ViewerRig::EndServer(int signal) {
    if (OnWayland()) {
        StopCompositor(&session_, signal);
        return;
    }
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

bool FrameWatcher::Changed() {
    RgbImage patch = grabPatch_();
    if (patch.pixels.empty()) {
        return false;
    }
    bool changed = !last_.empty() && patch.pixels != last_;
    last_.swap(patch.pixels);
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
