// Whole-program tests: the real viewer on a host of its own (hosts/hosts.h), started as a user
// would from a working directory laid out as its package's, looked at and closed from outside.
// Cases that hold on every host use only the rig's operations below, which the host's desktop
// carries out; a new desktop or launcher is a class and a line in testbed/hosts, never a case here.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hosts/hosts.h"

// The arm64 program (TAVIK_ARM64_PROGRAM) under qemu-aarch64, on Xvfb and on sway
// (support/arm64_hosts.cpp, linked into the test program that names them).
extern const ViewerHost kArm64X11Host;
extern const ViewerHost kArm64SwayHost;
// The program on Debian 13's desktops, all in its root (support/debian13_hosts.cpp).
extern const ViewerHost kDebian13X11Host;
extern const ViewerHost kDebian13SwayHost;
extern const ViewerHost kDebian13GnomeHost;
extern const ViewerHost kDebian13KwinHost;
extern const ViewerHost kDebian13KwinScale150Host;
extern const ViewerHost kDebian13KwinScale125Host;
// The system whose root a test program's own desktops run in: another's where its CMake names
// one, else this machine's.
#ifndef TAVIK_SYSTEM_ROOT
#define TAVIK_SYSTEM_ROOT ""
#endif

// The template's client size at 96 dpi: 310 x 177 dialog units.
constexpr int kTemplateWidth = 465, kTemplateHeight = 288;

// Asks `value` again every `pollMs` until it answers `want` or `timeoutMs` have passed; its last
// answer, for the check that follows to compare with `want`.
template <typename Value, typename Want>
auto Eventually(Value value, const Want& want, int timeoutMs, int pollMs = 50) {
    decltype(value()) last{};
    WaitUntil([&] { return (last = value()) == want; }, timeoutMs, pollMs);
    return last;
}

// The images of a _NET_WM_ICON property, each as the property holds it: width, height, then the
// ARGB pixels from the top row (NOTE: Xlib hands 32-bit items over as longs, sign-extended; here
// they are cut to 32 bits). An image that the property cannot hold whole ends the list empty.
std::vector<std::vector<unsigned long>> IconImages(std::vector<unsigned long> property);
// A PNG picture as an image of that property; {0, 0} when it cannot be read.
std::vector<unsigned long> IconImage(const std::string& png);

// Watches a window's picture through the box patch. The textured box turns by one degree on
// every frame, so each frame the viewer draws changes the patch.
class FrameWatcher {
  public:
    FrameWatcher(std::function<RgbImage()> grabPatch, int pollMs)
        : grabPatch_(std::move(grabPatch)), pollMs_(pollMs) {}
    // Grabs the patch; true when it differs from the previous grab (the first grab counts as no
    // change).
    bool Changed();
    // Waits until the picture changes, i.e. a frame has just reached the screen; false if none
    // does within `timeoutMs`.
    bool WaitForFrame(int timeoutMs);

  private:
    std::function<RgbImage()> grabPatch_;
    int pollMs_;
    std::vector<unsigned char> last_;
};

// The rig on one host: its desktop, the working directory, the viewers started on it.
class ViewerRig : public ::testing::Test {
  protected:
    explicit ViewerRig(const ViewerHost& host) : ViewerRig(host, host.desktop()) {}
    ViewerRig(const ViewerHost& host, std::unique_ptr<Desktop> desktop);
    void TearDown() override;

    // Starts the desktop and lays out the working directory; fails the test when either cannot
    // be had.
    void StartServer(const ViewerOptions& options = {});
    // Starts one more viewer from bin/; the rig ends any that the test leaves running.
    ChildProcess* StartViewer();
    // A shown window captioned Tavik that is not among `known`; 0 if none is shown in time.
    Window WaitForNewWindow(const std::vector<Window>& known, int timeoutMs) {
        return ::WaitForNewWindow(*desktop_, known, timeoutMs);
    }
    // StartServer unless the desktop runs already, then starts a viewer into viewer_ and waits
    // for its window, window_; fatal when either fails.
    void Start(const ViewerOptions& options = {});
    // Preloads `library` into the viewers started from now on, from a copy in bin/ that the
    // desktop's user can read (in another system's root too).
    void Preload(const std::string& library);
    // Sends the desktop's close and expects the viewer to end with 0 within the launcher's exit
    // time, and, when `silently`, with nothing printed.
    void CloseAndExpectEndsWithZero(ChildProcess* viewer, Window window, const std::string& when,
                                    bool silently = true);
    std::vector<Window> FindWindows(const std::string& caption) {
        return desktop_->FindWindows(caption);
    }
    bool Geometry(Window window, ClientArea* area) { return desktop_->Geometry(window, area); }
    // The desktop's resize, move and close, each a failure when the desktop could not (unless the
    // window went meanwhile, which is no fault of the desktop's).
    void Resize(Window window, int width, int height) {
        ExpectDone(desktop_->Resize(window, width, height), window, "resize");
    }
    void Move(Window window, int x, int y) {
        ExpectDone(desktop_->Move(window, x, y), window, "move");
    }
    void ExpectDone(bool done, Window window, const char* what);
    // On a fractionally scaled output, moves the window so that its client area starts on a whole
    // output pixel, and takes KWin's frame away. NOTE: KWin 5.27 draws a surface at its logical
    // position times the scale, unrounded: at half a pixel, each of its pixels is blended with the
    // neighbour's. Its title bar, a fractional number of pixels high, covers the client's first
    // row of pixels wherever the client area starts on a whole pixel.
    void PlaceOnWholePixels(Window window);
    void Close(Window window) { ExpectDone(desktop_->Close(window), window, "close"); }
    RgbImage Grab(Window window) { return desktop_->Grab(window); }
    // Watches the box patch of a client area of `width` x `height`.
    FrameWatcher WatchFrames(Window window, int width, int height);
    // Waits until the window is `width` x `height` (logical pixels) and its picture fits that
    // size times the host's scale; returns the last misfit (empty when it fits) after at most the
    // fit time. Where the desktop loses resizes (mutter), it asks again, and says so.
    std::string WaitForPictureToFit(Window window, int width, int height);
    // The window's first frames on screen: waits until its picture fits its client area, and
    // returns that picture (a failure, and the last grab, when none fits in the fit time).
    RgbImage WaitForPicture(Window window);
    // Waits for a picture of the window that differs from `before` in more than 50 pixels: a
    // new frame; true when one came in the fit time.
    bool WaitForNewPicture(Window window, const RgbImage& before);
    // Waits up to `timeoutMs` for the viewer to end after a close and checks that it ended as a
    // close must: exit code 0 and, when `silently`, nothing printed. `when` names the moment in
    // failures.
    void ExpectEndsWithZeroSilently(ChildProcess* viewer, int timeoutMs, const std::string& when,
                                    bool silently = true);
    // The server has just gone. The viewer must end (within the close's limit), with the layer's
    // `message` and a non-zero exit code of its own (not a signal such as SIGPIPE or SIGSEGV),
    // having used little CPU time since `cpuBefore`; its exit code, -1 while it runs.
    int ExpectPromptEndWith(ChildProcess* viewer, double cpuBefore, const std::string& message);
    // Ends the server with `signal` under the running viewer, then ExpectPromptEndWith.
    int EndServerAndExpectPromptEnd(ChildProcess* viewer, int signal, const std::string& message);
    // A logical length in the host's output pixels, rounded as a client rounds it.
    int ToPixels(int logical) const;

    const ViewerHost& host_;
    const Launcher& limits_;
    std::unique_ptr<Desktop> desktop_;
    ViewerOptions options_;
    X11Probe* probe_ = nullptr; // the X server's probe, once started on an X11 desktop
    XvfbServer server_;         // an X server beside a Wayland desktop, for the cases that want one
    std::string root_;          // holds bin/ (the working directory) and res/grass.bmp
    std::vector<std::unique_ptr<ChildProcess>> viewers_;
    ChildProcess* viewer_ = nullptr; // the viewer that Start started, and its window
    Window window_ = 0;
};

// The rig on the one host whose desktop's own operations a case drives (sway's commands, the
// shell's pointer): the fixture makes that desktop itself, as `Kind`, from `arguments`; `Rig`
// is the fixture it extends.
template <typename Kind, typename Rig = ViewerRig> class HostRig : public Rig {
  protected:
    template <typename... Arguments>
    explicit HostRig(const ViewerHost& host, Arguments... arguments)
        : HostRig(host, new Kind(arguments...), nullptr) {}
    Kind& desktop() { return *kind_; }

  private:
    HostRig(const ViewerHost& host, Kind* desktop, std::nullptr_t)
        : Rig(host, std::unique_ptr<Desktop>(desktop)), kind_(desktop) {}
    Kind* kind_;
};

// The same cases on every host the test program is given.
class ViewerTest : public ViewerRig, public ::testing::WithParamInterface<const ViewerHost*> {
  protected:
    ViewerTest() : ViewerRig(*GetParam()) {}
};
// Hosts by name in gtest's messages and test lists (and so in CTest's names), not by address.
void PrintTo(const ViewerHost* host, std::ostream* out);
// Runs `suite`'s cases on the hosts of this test program (TAVIK_VIEWER_HOSTS, set by its CMake).
#define TAVIK_VIEWER_TESTS_ON_EVERY_HOST(suite)                                                    \
    INSTANTIATE_TEST_SUITE_P(Host, suite, ::testing::Values(TAVIK_VIEWER_HOSTS))
