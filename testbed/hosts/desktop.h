// The desktops a viewer is started on from outside, as a user would: each kind of display server
// (a bare Xvfb, Xvfb with a window manager, sway, weston, KWin, gnome-shell) is one class that
// starts it, finds, looks at, resizes, moves and closes windows on it, and ends it. Windows are
// named by each server's own number for them. Nothing here asserts: failures come back as false
// or as an empty value, for the tests and benchmarks to judge.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "hosts/picture.h"
#include "hosts/process.h"
#include "hosts/wayland_session.h"
#include "hosts/x11_window_manager.h"
#include "hosts/xvfb_server.h"
#include "rgb_image.h"
#include "x11_probe.h"

// A window's client area: a rectangle like a patch of a picture.
using ClientArea = Patch;

// What a test asks of the viewer it starts on a desktop. What only one desktop understands (Xvfb's
// arguments, sway nested in another, KWin without frames, the scale) is given to that desktop.
struct ViewerOptions {
    bool withTexture = true; // ../res/grass.bmp beside bin/
    // Set for the viewer, for example to take its EGL away.
    std::vector<std::pair<std::string, std::string>> viewerEnvironment;
    // Removed from the viewer's environment, the session's own variables too.
    std::vector<std::string> viewerUnset;
    // Libraries the viewer cannot load: empty files of these names first on its library path.
    std::vector<std::string> unusableLibraries;
};

// What every desktop offers, and what only some can do (the capabilities below, whose defaults
// say honestly that this one cannot). A desktop that cannot do something from outside (weston
// resizes, moves and closes nothing for others) answers false.
class Desktop {
  public:
    virtual ~Desktop() = default;
    // Starts the server and what it needs; false with the reason in *error.
    virtual bool Start(std::string* error) = 0;
    // Ends the server with `signal` and waits until it is gone, so that only the programs on it
    // see it go.
    virtual void EndServer(int signal) = 0;
    // Where programs started on it run: their user and variables.
    virtual LaunchSettings ProgramSettings() const = 0;
    // Hands a working directory to the programs' user.
    virtual bool GiveToProgramUser(const std::string&) { return true; }
    // How often a wait may ask it: a question that starts a process costs the compositor a core.
    virtual int PollMs() const { return 50; }
    // The output's scale: client sizes are in logical pixels, pictures in the output's own.
    virtual double Scale() const { return 1; }

    // Windows named `caption` now.
    virtual std::vector<Window> FindWindows(const std::string& caption) = 0;
    // The client area's position on the screen and its size, in logical pixels; false when the
    // window is gone.
    virtual bool Geometry(Window window, ClientArea* area) = 0;
    virtual bool Exists(Window window) {
        ClientArea area = {};
        return Geometry(window, &area);
    }
    virtual bool IsShown(Window window) { return Exists(window); } // Wayland lists mapped ones
    // The client area, or a rectangle of it, in the output's pixels; empty when it cannot be had.
    virtual RgbImage Grab(Window window) = 0;
    virtual RgbImage GrabArea(Window window, const Patch& area) { return Crop(Grab(window), area); }
    // A new client size, as a user dragging the frame would ask for it.
    virtual bool Resize(Window, int /*width*/, int /*height*/) { return false; }
    // Moves the window's top-left corner (its frame's, where the server draws one).
    virtual bool Move(Window, int /*x*/, int /*y*/) { return false; }
    // The window manager's or compositor's close.
    virtual bool Close(Window) { return false; }
    // The application id the compositor reports; empty where it reports none.
    virtual std::string AppId(Window) { return ""; }
    // Takes the server's frame away where it draws one over a fractional pixel (KWin).
    virtual void RemoveFrame(Window) {}
    // NOTE: mutter 43 can lose a resize asked for while the window's previous configure is in
    // flight: true where the rig must ask again.
    virtual bool LosesResizes() const { return false; }

    // Capabilities.
    // The X server's display and probe, on the desktops that are one; none elsewhere.
    virtual std::string XDisplay() const { return ""; }
    virtual X11Probe* Probe() const { return nullptr; }
    // Before Start: its output at `scale` times the scale it has; false where that cannot be.
    virtual bool StartAtScale(int /*scale*/) { return false; }
    // The output's scale changed while windows are shown, as the display settings would; false
    // with the reason where it cannot be.
    virtual bool ChangeScale(double /*scale*/, std::string* error) {
        *error = "this desktop's scale cannot change while it runs";
        return false;
    }
    // A pointer of the desktop's own onto the centre of the client area; false where the desktop
    // has none to move.
    virtual bool PointAt(Window) { return false; }
    // That pointer taken away from the seat; false where there is none.
    virtual bool RemovePointer() { return false; }
    // True where the compositor draws the pointer's shapes for its clients (cursor-shape-v1).
    virtual bool DrawsCursorShapes() const { return false; }
    // True where a grab is always of one whole frame, as a compositor's screenshot is; false where
    // a grab might catch a frame being drawn.
    virtual bool GrabsWholeFrames() const { return false; }
    // True where the window manager's frame offers only the functions the window asks for in its
    // Motif hints (no minimise, no maximise).
    virtual bool HonoursMotifFunctions() const { return false; }
};

// A private Xvfb; windows are found, resized and closed through X. Xvfb and the programs on it
// run in another system's `root` where one is given (see LaunchSettings::root).
class XvfbDesktop : public Desktop {
  public:
    // `serverArgs`: Xvfb's own beside the screen's, for example {"-extension", "GLX"}.
    explicit XvfbDesktop(std::vector<std::string> serverArgs = {}, std::string root = {})
        : serverArgs_(std::move(serverArgs)), root_(std::move(root)) {}
    bool Start(std::string* error) override;
    void EndServer(int signal) override;
    LaunchSettings ProgramSettings() const override;
    int PollMs() const override { return 1; } // an X request, no process
    std::vector<Window> FindWindows(const std::string& caption) override {
        return probe_->FindWindows(caption);
    }
    bool Exists(Window window) override { return probe_->Exists(window); }
    bool IsShown(Window window) override { return probe_->IsShown(window); }
    bool Geometry(Window window, ClientArea* area) override {
        return probe_->Geometry(window, &area->x, &area->y, &area->width, &area->height);
    }
    RgbImage Grab(Window window) override { return probe_->Grab(window); }
    RgbImage GrabArea(Window window, const Patch& area) override {
        return probe_->GrabArea(window, area.x, area.y, area.width, area.height);
    }
    bool Resize(Window window, int width, int height) override {
        return probe_->Resize(window, width, height);
    }
    bool Move(Window window, int x, int y) override { return probe_->Move(window, x, y); }
    bool Close(Window window) override { return probe_->SendClose(window); }
    std::string XDisplay() const override { return server_.display; }
    X11Probe* Probe() const override { return probe_.get(); }

  protected:
    std::vector<std::string> serverArgs_;
    std::string root_;
    XvfbServer server_;
    std::unique_ptr<X11Probe> probe_; // ends before its server
};

// Xvfb with a window manager started with it: windows are found among those it manages, closed,
// moved and resized through it (wmctrl), and pictured from the root window, where whatever it
// puts on top of them shows.
class WindowManagerDesktop : public XvfbDesktop {
  public:
    explicit WindowManagerDesktop(X11WindowManager manager) : manager_(std::move(manager)) {}
    ~WindowManagerDesktop() override;
    bool Start(std::string* error) override;
    std::vector<Window> FindWindows(const std::string& caption) override;
    RgbImage Grab(Window window) override;
    RgbImage GrabArea(Window window, const Patch& area) override;
    bool Resize(Window window, int width, int height) override;
    bool Move(Window window, int x, int y) override;
    bool Close(Window window) override;
    bool HonoursMotifFunctions() const override { return manager_.honoursMotifFunctions; }

  private:
    X11WindowManager manager_;
    WindowManagerSession session_;
};

// A private headless compositor with no X server, its programs run as its unprivileged user, all
// in another system's `root` where one is given. Each compositor's class says how it is started
// and when it is ready.
class WaylandDesktop : public Desktop {
  public:
    explicit WaylandDesktop(double scale = 1, std::string root = {}) : scale_(scale) {
        session_.root = std::move(root);
    }
    ~WaylandDesktop() override { EndSession(&session_); }
    bool Start(std::string* error) override;
    void EndServer(int signal) override { StopCompositor(&session_, signal); }
    LaunchSettings ProgramSettings() const override { return SessionSettings(session_); }
    bool GiveToProgramUser(const std::string& path) override;
    double Scale() const override { return scale_; }
    bool StartAtScale(int scale) override {
        scale_ *= scale;
        return true;
    }
    bool GrabsWholeFrames() const override { return true; }
    bool DrawsCursorShapes() const override { return drawsCursorShapes_; }
    const WaylandSession& Session() const { return session_; }
    // Runs a program in the session to its end; true when it ended with 0.
    bool RunInSession(const std::vector<std::string>& argv, std::string* output = nullptr,
                      int timeoutMs = 5000) const;

  protected:
    // Lays out the compositor's files in the session's runtime directory and says how it is
    // started; false with the reason in *error.
    virtual bool Prepare(std::vector<std::string>* argv, LaunchSettings* settings,
                         std::string* error) = 0;
    // True once it answers what the rig asks of it, beyond taking connections; else what it does
    // not answer in *notReady.
    virtual bool Ready(std::string*) { return true; }

    double scale_;
    const char* userName_ = "tavik-test"; // the user the compositor runs as
    WaylandSession session_;
    bool drawsCursorShapes_ = false; // known once prepared
};

// sway (wlroots' headless backend, pixman renderer): windows found by title in swaymsg's tree
// (named by sway's container id), closed, moved and resized through swaymsg, their client areas
// grabbed with grim at the output's scale.
class SwayDesktop : public WaylandDesktop {
  public:
    explicit SwayDesktop(std::string root = {}) : WaylandDesktop(1, std::move(root)) {}
    std::vector<Window> FindWindows(const std::string& caption) override;
    bool Geometry(Window window, ClientArea* area) override;
    RgbImage Grab(Window window) override;
    bool Resize(Window window, int width, int height) override;
    bool Move(Window window, int x, int y) override;
    bool Close(Window window) override { return Command(window, "kill"); }
    std::string AppId(Window window) override;
    // Before Start: sway runs as a client of another sway, each of its outputs a window there
    // ("wlroots - WL-1", 1280 x 720) that can be closed, which unplugs the output.
    void Nest() { nested_ = true; }
    // Presses and releases a key, an XKB keysym ("Return"), at once on a virtual keyboard whose
    // keymap wtype makes (it puts the first key it types at evdev code 1, Escape's), which goes
    // to the focused window; true when wtype could type. NOTE: only a client that has bound its
    // keyboard gets it, and sway offers one only while the seat has a keyboard: keep one there.
    bool PressKey(const std::string& keysym);
    // Integer scale of the session's outputs.
    bool SetScale(int scale);
    // A swaymsg command on the window (criteria added); true when sway says it succeeded.
    bool Command(Window window, const std::string& command);
    // A swaymsg command as given; true when sway says it succeeded.
    bool Run(const std::string& command) { return RunInSession({"swaymsg", command}); }
    // The sway this one runs in, when nested.
    SwayDesktop* Outer() const { return outer_.get(); }
    // A virtual pointer of the rig's own (wlroots' virtual-pointer protocol), which sways without
    // an input device otherwise lack, onto the centre of the client area.
    bool PointAt(Window window) override;
    bool RemovePointer() override;

  private:
    bool Prepare(std::vector<std::string>* argv, LaunchSettings* settings,
                 std::string* error) override;
    bool Ready(std::string* notReady) override;
    std::string Tree();

    bool nested_ = false;
    std::unique_ptr<SwayDesktop> outer_;
    ChildProcess pointer_; // the rig's virtual pointer, while there is one
};

// weston (headless backend, pixman renderer, desktop shell), which nothing outside it can drive:
// whole-output pictures from its screenshooter, in which its one window (named 1) is found.
class WestonDesktop : public WaylandDesktop {
  public:
    explicit WestonDesktop(std::string root = {}) : WaylandDesktop(1, std::move(root)) {}
    std::vector<Window> FindWindows(const std::string& caption) override;
    bool Geometry(Window window, ClientArea* area) override;
    RgbImage Grab(Window window) override;

  private:
    bool Prepare(std::vector<std::string>* argv, LaunchSettings* settings,
                 std::string* error) override;
};

// KWin on its virtual backend at `scale` (OpenGL on Mesa's software renderer, Breeze frames,
// fractional scales offered to clients): windows found by caption, resized, moved and closed
// through KWin scripts, pictured through KWin's screenshot interface. KWin names windows by UUID;
// they are numbered from 1 in the order first seen. With `leavesFrames`, KWin has no frame plugin
// and leaves the frames to the clients.
class KwinDesktop : public WaylandDesktop {
  public:
    explicit KwinDesktop(double scale = 1, bool leavesFrames = false, std::string root = {})
        : WaylandDesktop(scale, std::move(root)), leavesFrames_(leavesFrames) {
        // KWin's sessions run as a user of their own, so that their processes (KWin, its bus, the
        // programs in it) are told apart from those of other compositors' sessions.
        userName_ = "tavik-kde";
    }
    ~KwinDesktop() override;
    std::vector<Window> FindWindows(const std::string& caption) override;
    bool Geometry(Window window, ClientArea* area) override;
    RgbImage Grab(Window window) override;
    bool Resize(Window window, int width, int height) override;
    bool Move(Window window, int x, int y) override;
    bool Close(Window window) override;
    std::string AppId(Window window) override; // its desktop file name under KWin
    void RemoveFrame(Window window) override;
    bool ChangeScale(double scale, std::string* error) override;
    // KWin's report of a window's "x y width height" in logical pixels as the output's pixels at
    // `scale`, each rounded; false when it holds no four numbers.
    static bool OutputPixels(const std::string& report, double scale, ClientArea* area);
    // Where KWin shows its output on an X server: that server's pointer onto the client area.
    bool PointAt(Window window) override;

  private:
    bool Prepare(std::vector<std::string>* argv, LaunchSettings* settings,
                 std::string* error) override;
    bool Ready(std::string* notReady) override;
    // Runs `statements` on the window as `w` (none: reports "gone"); what they report.
    std::string OnWindow(Window window, const std::string& statements);
    // The client area in logical pixels times `scale`, rounded; false when the window is gone.
    bool BufferArea(Window window, double scale, ClientArea* area);

    bool leavesFrames_;
    std::vector<std::string> uuids_; // window n is uuids_[n - 1]
    bool scalesAfterStart_ = false;  // KWin 6: the scale is set once it runs
    XvfbServer output_;              // the X server KWin shows its output on, if any
    std::unique_ptr<X11Probe> outputProbe_;
};

// gnome-shell (mutter), through the shell's own D-Bus methods, open to the session's test
// extension: windows found, resized and closed with JavaScript run by Eval and named by mutter's
// window id, their client areas grabbed with ScreenshotArea at the monitor's scale.
class GnomeDesktop : public WaylandDesktop {
  public:
    explicit GnomeDesktop(std::string root = {}) : WaylandDesktop(1, std::move(root)) {}
    std::vector<Window> FindWindows(const std::string& caption) override;
    bool Geometry(Window window, ClientArea* area) override;
    RgbImage Grab(Window window) override;
    bool Resize(Window window, int width, int height) override;
    // To `x`, `y` in the work area (below the top bar).
    bool Move(Window window, int x, int y) override;
    bool Close(Window window) override;
    std::string AppId(Window window) override;
    bool LosesResizes() const override { return true; }
    // Height of the frame above the client area: libdecor's title bar, since the shell draws none.
    int TitleBarHeight(Window window);
    // A click of the primary button on the close button at the right end of libdecor's title
    // bar, through a virtual pointer of the shell's, as a user's; false, with the step the shell
    // did not carry out in *failed.
    bool ClickCloseButton(Window window, std::string* failed);
    bool PointAt(Window window) override;
    bool RemovePointer() override;

  private:
    bool Prepare(std::vector<std::string>* argv, LaunchSettings* settings,
                 std::string* error) override;
    bool Ready(std::string* notReady) override;
    // Evaluates `expression` with `w` bound to the window; its JSON, or "null" when it is gone.
    std::string OnWindow(Window window, const std::string& expression);

    std::map<Window, std::pair<int, int>> frameExtra_; // frame size - client size
};

// A picture of weston's whole output. NOTE: weston 10's screenshooter stores the output's XRGB
// pixels as if the X byte were alpha, and un-premultiplies by it: where a client wrote an alpha
// below 255 into an opaque buffer (the viewer clears with 0.5), the colours in it are lost. Only
// where alpha is 255 (the desktop and the frame) are they true. weston 14's are all opaque and
// true.
struct WestonShot {
    RgbImage rgb;
    std::vector<unsigned char> alpha; // one per pixel, top row first
};
// Empty when the screenshooter failed.
WestonShot WestonScreenshot(const WaylandSession& session);
// The viewer's client area in a picture of the whole output: the bounds of what the viewer's
// buffer put below alpha 255, which nothing else on the desktop does, or in an opaque picture of
// its background. False when there is none.
bool FindClientArea(const WestonShot& screen, ClientArea* area);
