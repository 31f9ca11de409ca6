// Whole-program tests: the real viewer on a host of its own, started as a user would from a
// working directory laid out as its package's (bin/ beside res/grass.bmp, or without it), looked
// at and closed from outside. A host says how to start the display server (and so how windows are
// found, resized and closed), how to start the program and how to take a picture. Cases that hold
// on every host use only the rig's operations below; a new window system is one more enumerator
// in DisplayServer and PictureSource, their cases in the rig's switches, and one more ViewerHost
// in a test program's TAVIK_VIEWER_HOSTS. Windows are named by the server's own number for them.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/kwin_probe.h"
#include "support/gnome_probe.h"
#include "support/picture.h"
#include "support/process.h"
#include "support/wayland_probe.h"
#include "support/x11_window_manager.h"
#include "support/xvfb_server.h"
#include "x11_probe.h"

enum class DisplayServer {
    kXvfb, // a private Xvfb; windows are found, resized and closed through X
    // A private headless sway, no X server; the programs run as its unprivileged user. Windows
    // are found, resized and closed through swaymsg and named by sway's container id.
    kSway,
    // A private headless weston with libdecor's own frame, no X server. Nothing outside it can
    // resize or close a window: only its pictures are seen, and its one window is named 1.
    kWeston,
    // A private KWin on its virtual backend, with its own D-Bus session bus, no X server; the
    // programs run as its unprivileged user. Windows are found, resized and closed through KWin
    // scripts and named by the probe's numbers for KWin's UUIDs.
    kKwin,
    // A private headless gnome-shell (mutter), with its own buses, no X server; the programs run
    // as its unprivileged user. Windows are found, resized and closed through the shell's Eval
    // and named by mutter's window id.
    kGnome,
};
enum class ProgramLauncher {
    kNative, // the native binary
    kWine,   // the cross-built tavik.exe under Wine, in the tree's Wine prefix
};
enum class PictureSource {
    kXGetImage,           // the window's pixels from the X server
    kGrim,                // the client area from grim, in the output's own pixels
    kWestonScreenshooter, // the client area cut out of weston's whole-output screenshot
    kKwinScreenShot,  // the client area from KWin's screenshot interface, in the output's pixels
    kGnomeScreenshot, // the client area from the shell's ScreenshotArea, in the output's pixels
};

// A program built for another architecture, started through a user-mode emulator: `command`
// (the emulator and its options) before the binary, and the variables set for it.
struct EmulatedProgram {
    std::string binary;
    std::vector<std::string> command;
    std::vector<std::pair<std::string, std::string>> environment;
};

struct ViewerHost {
    const char* name; // in test names
    DisplayServer server;
    ProgramLauncher launcher;
    PictureSource picture;
    // Time limits: Wine starts and ends a program far more slowly than the native binary.
    int startMs;      // for a started viewer's window to be shown
    int settleMs;     // for its first frames to be on screen once it is shown
    int exitMs;       // for the viewer to end once its window is closed
    int loadedExitMs; // the same while other viewers or a resize storm load the machine
    int fitMs;        // for the picture to fit a new client size
    // The output's scale from the start (KWin only): client sizes are in logical pixels, pictures
    // in the output's own, so a picture of a W x H client is round(W * scale) x round(H * scale).
    double scale = 1;
    // On Xvfb, a window manager always started with the server: windows are then found among
    // those it manages, closed and resized through it, and their pictures taken from the root
    // window, where whatever it puts on top of them shows.
    X11WindowManager windowManager = X11WindowManager::kNone;
    // With ProgramLauncher::kNative: the program of another architecture that runs instead of the
    // native binary (null: the native binary, run directly).
    const EmulatedProgram* emulated = nullptr;
};
extern const ViewerHost kX11Host;
extern const ViewerHost kWineHost;
extern const ViewerHost kSwayHost;
extern const ViewerHost kWestonHost;
extern const ViewerHost kKwinHost;
// KWin at fractional scales, which it offers to clients through wp_fractional_scale_v1.
extern const ViewerHost kKwinScale150Host;
extern const ViewerHost kKwinScale125Host;
extern const ViewerHost kGnomeHost;
extern const ViewerHost kOpenboxHost;
extern const ViewerHost kKwinX11Host;
extern const ViewerHost kXfwm4Host;
extern const ViewerHost kMutterX11Host;
// The arm64 program (TAVIK_ARM64_PROGRAM) under qemu-aarch64, on Xvfb and on sway
// (support/arm64_hosts.cpp, linked into the test program that names them).
extern const ViewerHost kArm64X11Host;
extern const ViewerHost kArm64SwayHost;

// The native binary the tests start; `path` replaces the one built beside the tests (the long
// run measures a release build this way).
const std::string& NativeBinary();
void UseNativeBinary(const std::string& path);

struct ViewerOptions {
    bool withTexture = true;             // ../res/grass.bmp beside bin/
    std::vector<std::string> serverArgs; // for example {"-extension", "GLX"}
    int outputScale = 1;                 // the compositor's output scale when the viewer starts
    bool nested = false; // sway inside another (hostSession_), so that its outputs can be unplugged
    // Set for the viewer, for example to take its EGL away.
    std::vector<std::pair<std::string, std::string>> viewerEnvironment;
    // Removed from the viewer's environment, the session's own variables too.
    std::vector<std::string> viewerUnset;
    // Libraries the viewer cannot load (Wayland hosts): empty files of these names first on its
    // library path.
    std::vector<std::string> unusableLibraries;
};

// Watches a window's picture through the box patch. The textured box turns by one degree on
// every frame, so each frame the viewer draws changes the patch.
class FrameWatcher {
  public:
    explicit FrameWatcher(std::function<RgbImage()> grabPatch) : grabPatch_(std::move(grabPatch)) {}
    // Grabs the patch; true when it differs from the previous grab (the first grab counts as no
    // change).
    bool Changed();
    // Polls until the picture changes, i.e. a frame has just reached the screen; false if none
    // does within `timeoutMs`.
    bool WaitForFrame(int timeoutMs);

  private:
    std::function<RgbImage()> grabPatch_;
    std::vector<unsigned char> last_;
};

// The rig on one host: its server, the working directory, the viewers started on it.
class ViewerRig : public ::testing::Test {
  protected:
    explicit ViewerRig(const ViewerHost& host) : host_(host) {}
    void TearDown() override;

    // Starts the display server (and the host's window manager), makes sure the Wine prefix
    // exists for Wine, and lays out the working directory; fails the test when any cannot be had.
    void StartServer(const ViewerOptions& options = {});
    // Starts one more viewer from bin/; the rig ends any that the test leaves running.
    ChildProcess* StartViewer();
    // A shown window captioned Tavik that is not among `known`, polled every millisecond so that
    // the test learns of it as soon as the server does; 0 if none is shown within `timeoutMs`.
    Window WaitForNewWindow(const std::vector<Window>& known, int timeoutMs);
    // Starts a viewer and waits for its window; fails the test when none is shown.
    Window StartAndWaitForWindow(ChildProcess** viewer = nullptr);
    // StartServer, then StartAndWaitForWindow: the window, or 0 after a failure.
    Window Start(ChildProcess** viewer, const ViewerOptions& options = {});
    // Sends the window manager's close and expects the viewer to end with 0 and nothing printed
    // within the host's exit time.
    void CloseAndExpectEndsWithZero(ChildProcess* viewer, Window window, const std::string& when);
    // The application id the compositor reports for the window (Wayland hosts that report one).
    std::string AppId(Window window);
    // The windows named `caption` now, shown or not.
    std::vector<Window> FindWindows(const std::string& caption);
    // True when the window is shown on the screen.
    bool IsShown(Window window);
    // True while the window exists on the server.
    bool Exists(Window window);
    // Client-area position on the screen and size.
    bool Geometry(Window window, int* x, int* y, int* width, int* height);
    // Asks for a new client size, as a user dragging the frame would.
    void Resize(Window window, int width, int height);
    // Moves the window's top-left corner (its frame's, where the server draws one).
    void Move(Window window, int x, int y);
    // On a fractionally scaled output, moves the window so that its client area starts on a whole
    // output pixel, and takes KWin's frame away. NOTE: KWin 5.27 draws a surface at its logical
    // position times the scale, unrounded: at half a pixel, each of its pixels is blended with the
    // neighbour's. Its title bar, a fractional number of pixels high, covers the client's first
    // row of pixels wherever the client area starts on a whole pixel.
    void PlaceOnWholePixels(Window window);
    // The window manager's close.
    void Close(Window window);
    // The window's client area, or a rectangle of it.
    RgbImage Grab(Window window);
    RgbImage GrabArea(Window window, const Patch& area);
    // Watches the box patch of a client area of `width` x `height`.
    FrameWatcher WatchFrames(Window window, int width, int height);
    // Waits until the window is `width` x `height` (logical pixels) and its picture fits that
    // size times the host's scale; returns the last misfit (empty when it fits) after at most the
    // host's fit time.
    std::string WaitForPictureToFit(Window window, int width, int height);
    // Waits up to `timeoutMs` for the viewer to end; then its exit code (128 + signal when a
    // signal ended it) and the CPU time it used over its whole life.
    bool WaitForExit(ChildProcess* viewer, int timeoutMs, int* code, double* cpuSeconds = nullptr);
    // Waits up to `timeoutMs` for the viewer to end after a close and checks that it ended as a
    // close must: exit code 0 and nothing printed. `when` names the moment in failures.
    void ExpectEndsWithZeroSilently(ChildProcess* viewer, int timeoutMs, const std::string& when);
    // Ends the X server or the compositor with `signal` and waits until it is gone. The probe's
    // connection is closed first, so that only the viewers see the display go away.
    void EndServer(int signal);
    bool OnWayland() const { return host_.server != DisplayServer::kXvfb; }
    // A logical length in the host's output pixels, rounded as a client rounds it.
    int ToPixels(int logical) const;
    bool UnderWindowManager() const { return host_.windowManager != X11WindowManager::kNone; }

    const ViewerHost& host_;
    XvfbServer server_;
    WaylandSession session_;
    WaylandSession hostSession_; // the sway the session's sway runs in, when nested
    std::unique_ptr<SwayProbe> sway_;
    std::unique_ptr<KwinProbe> kwin_;
    std::unique_ptr<GnomeProbe> gnome_;
    std::vector<std::pair<std::string, std::string>> viewerEnvironment_;
    std::vector<std::string> viewerUnset_;
    WindowManagerSession windowManager_;
    std::unique_ptr<X11Probe> probe_;
    std::string root_; // holds bin/ (the working directory) and res/grass.bmp
    std::vector<std::unique_ptr<ChildProcess>> viewers_;
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
