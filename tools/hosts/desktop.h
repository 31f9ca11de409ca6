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
#include "x11_probe.h"

// A window's client area: a rectangle like a patch of a picture.
using ClientArea = Patch;

// What a test asks of the desktop and of the viewer it starts there.
struct ViewerOptions {
    bool withTexture = true;             // ../res/grass.bmp beside bin/
    std::vector<std::string> serverArgs; // Xvfb's, for example {"-extension", "GLX"}
    int outputScale = 1;                 // the compositor's output scale when the viewer starts
    bool nested = false; // sway inside another, so that its outputs can be unplugged
    // Set for the viewer, for example to take its EGL away.
    std::vector<std::pair<std::string, std::string>> viewerEnvironment;
    // Removed from the viewer's environment, the session's own variables too.
    std::vector<std::string> viewerUnset;
    // Libraries the viewer cannot load (Wayland hosts): empty files of these names first on its
    // library path.
    std::vector<std::string> unusableLibraries;
    bool kwinLeavesFrames = false; // KWin without a frame plugin (see WaylandSession)
};

// What every desktop offers. A desktop that cannot do something from outside (weston resizes,
// moves and closes nothing for others) answers false.
class Desktop {
  public:
    virtual ~Desktop() = default;
    // Starts the server and what it needs; false with the reason in *error.
    virtual bool Start(const ViewerOptions& options, std::string* error) = 0;
    // Ends the server with `signal` and waits until it is gone, so that only the programs on it
    // see it go.
    virtual void EndServer(int signal) = 0;
    // Where programs started on it run: their user and variables.
    virtual LaunchSettings ProgramSettings() const = 0;
    // Hands a working directory to the programs' user.
    virtual bool GiveToProgramUser(const std::string&) { return true; }
    virtual std::string XDisplay() const { return ""; } // the X display, on X11 desktops
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
};

// A private Xvfb; windows are found, resized and closed through X.
class XvfbDesktop : public Desktop {
  public:
    ~XvfbDesktop() override;
    bool Start(const ViewerOptions& options, std::string* error) override;
    void EndServer(int signal) override;
    LaunchSettings ProgramSettings() const override;
    std::string XDisplay() const override { return server_.display; }
    int PollMs() const override { return 1; } // an X request, no process
    std::vector<Window> FindWindows(const std::string& caption) override;
    bool Exists(Window window) override { return probe_->Exists(window); }
    bool IsShown(Window window) override { return probe_->IsShown(window); }
    bool Geometry(Window window, ClientArea* area) override;
    RgbImage Grab(Window window) override { return probe_->Grab(window); }
    RgbImage GrabArea(Window window, const Patch& area) override;
    bool Resize(Window window, int width, int height) override;
    bool Move(Window window, int x, int y) override;
    bool Close(Window window) override;
    X11Probe* Probe() const { return probe_.get(); }

  protected:
    XvfbServer server_;
    std::unique_ptr<X11Probe> probe_;
};

// Xvfb with a window manager started with it: windows are found among those it manages, closed,
// moved and resized through it (wmctrl), and pictured from the root window, where whatever it
// puts on top of them shows.
class WindowManagerDesktop : public XvfbDesktop {
  public:
    explicit WindowManagerDesktop(X11WindowManager manager) : manager_(manager) {}
    ~WindowManagerDesktop() override;
    bool Start(const ViewerOptions& options, std::string* error) override;
    std::vector<Window> FindWindows(const std::string& caption) override;
    RgbImage Grab(Window window) override;
    RgbImage GrabArea(Window window, const Patch& area) override;
    bool Resize(Window window, int width, int height) override;
    bool Move(Window window, int x, int y) override;
    bool Close(Window window) override;
    X11WindowManager Manager() const { return manager_; }

  private:
    X11WindowManager manager_;
    WindowManagerSession session_;
};

// A private headless compositor with no X server, its programs run as its unprivileged user.
class WaylandDesktop : public Desktop {
  public:
    explicit WaylandDesktop(Compositor compositor, double scale = 1)
        : compositor_(compositor), scale_(scale) {}
    ~WaylandDesktop() override { EndSession(&session_); }
    bool Start(const ViewerOptions& options, std::string* error) override;
    void EndServer(int signal) override { StopCompositor(&session_, signal); }
    LaunchSettings ProgramSettings() const override { return SessionSettings(session_); }
    bool GiveToProgramUser(const std::string& path) override;
    double Scale() const override { return scale_; }
    const WaylandSession& Session() const { return session_; }
    // Runs a program in the session to its end; true when it ended with 0.
    bool RunInSession(const std::vector<std::string>& argv, std::string* output = nullptr,
                      int timeoutMs = 5000) const;

  protected:
    Compositor compositor_;
    double scale_;
    WaylandSession session_;
};

// sway: windows found by title in swaymsg's tree (named by sway's container id), closed, moved
// and resized through swaymsg, their client areas grabbed with grim at the output's scale.
class SwayDesktop : public WaylandDesktop {
  public:
    SwayDesktop() : WaylandDesktop(Compositor::kSway) {}
    bool Start(const ViewerOptions& options, std::string* error) override;
    std::vector<Window> FindWindows(const std::string& caption) override;
    bool Geometry(Window window, ClientArea* area) override;
    RgbImage Grab(Window window) override;
    bool Resize(Window window, int width, int height) override;
    bool Move(Window window, int x, int y) override;
    bool Close(Window window) override { return Command(window, "kill"); }
    std::string AppId(Window window) override;
    // Presses and releases a key, an XKB keysym ("Return"), at once on a virtual keyboard whose
    // keymap wtype makes (it puts the first key it types at evdev code 1, Escape's), which goes
    // to the focused window; true when wtype could type. NOTE: only a client that has bound its
    // keyboard gets it, and sway offers one only while the seat has a keyboard: keep one there.
    bool PressKey(const std::string& keysym);
    // Integer scale of the session's only output.
    bool SetScale(int scale);
    // A swaymsg command on the window (criteria added); true when sway says it succeeded.
    bool Command(Window window, const std::string& command);
    // A swaymsg command as given; true when sway says it succeeded.
    bool Run(const std::string& command) { return RunInSession({"swaymsg", command}); }
    // The sway this one runs in, when nested: each output of this one is a window there.
    SwayDesktop* Outer() const { return outer_.get(); }

  private:
    std::string Tree();

    std::unique_ptr<SwayDesktop> outer_;
};

// weston, which nothing outside it can drive: whole-output pictures from its screenshooter, in
// which its one window (named 1) is found.
class WestonDesktop : public WaylandDesktop {
  public:
    WestonDesktop() : WaylandDesktop(Compositor::kWeston) {}
    std::vector<Window> FindWindows(const std::string& caption) override;
    bool Geometry(Window window, ClientArea* area) override;
    RgbImage Grab(Window window) override;
};

// KWin on its virtual backend at `scale`: windows found by caption, resized, moved and closed
// through KWin scripts, pictured through KWin's screenshot interface. KWin names windows by
// UUID; they are numbered from 1 in the order first seen.
class KwinDesktop : public WaylandDesktop {
  public:
    explicit KwinDesktop(double scale = 1) : WaylandDesktop(Compositor::kKwin, scale) {}
    bool Start(const ViewerOptions& options, std::string* error) override;
    std::vector<Window> FindWindows(const std::string& caption) override;
    bool Geometry(Window window, ClientArea* area) override;
    RgbImage Grab(Window window) override;
    bool Resize(Window window, int width, int height) override;
    bool Move(Window window, int x, int y) override;
    bool Close(Window window) override;
    std::string AppId(Window window) override; // its desktop file name under KWin
    void RemoveFrame(Window window) override;

  private:
    // Runs `statements` on the window as `w` (none: reports "gone"); what they report.
    std::string OnWindow(Window window, const std::string& statements);

    std::vector<std::string> uuids_; // window n is uuids_[n - 1]
};

// gnome-shell (mutter), through the shell's own D-Bus methods, open to the session's test
// extension: windows found, resized and closed with JavaScript run by Eval and named by mutter's
// window id, their client areas grabbed with ScreenshotArea at the monitor's scale.
class GnomeDesktop : public WaylandDesktop {
  public:
    GnomeDesktop() : WaylandDesktop(Compositor::kGnomeShell) {}
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
    // bar, through a virtual pointer of the shell's, as a user's.
    void ClickCloseButton(Window window);
    // Moves that pointer onto the centre of the client area.
    void PointAtClientArea(Window window);

  private:
    // Evaluates `expression` with `w` bound to the window; its JSON, or "null" when it is gone.
    std::string OnWindow(Window window, const std::string& expression);

    std::map<Window, std::pair<int, int>> frameExtra_; // frame size - client size
};

// A picture of weston's whole output. NOTE: weston's screenshooter stores the output's XRGB
// pixels as if the X byte were alpha, and un-premultiplies by it: where a client wrote an alpha
// below 255 into an opaque buffer (the viewer clears with 0.5), the colours in it are lost. Only
// where alpha is 255 (the desktop and the frame) are they true.
struct WestonShot {
    RgbImage rgb;
    std::vector<unsigned char> alpha; // one per pixel, top row first
};
// Empty when the screenshooter failed.
WestonShot WestonScreenshot(const WaylandSession& session);
// The viewer's client area in a picture of the whole output: the bounds of what the viewer's
// buffer put below alpha 255, which nothing else on the desktop does. False when there is none.
bool FindClientArea(const WestonShot& screen, ClientArea* area);

// Runs JavaScript in gnome-shell; true with the value of its last expression, as JSON, in *json.
// False when the call fails or the code throws.
bool GnomeEval(const WaylandSession& session, const std::string& code, std::string* json);
