// Looks at programs in a private Wayland session from outside, as a user or the compositor
// would. Under sway: windows found by title in swaymsg's tree (named by sway's container id),
// closed and resized through swaymsg, their client areas grabbed with grim at the output's
// scale. Under weston, which has no such interface: whole-output pictures from its screenshooter.
#pragma once

#include <string>
#include <vector>

#include "support/picture.h"
#include "support/wayland_session.h"
#include "x11_probe.h"

// A window's client area: a rectangle like a patch of a picture.
using ClientArea = Patch;

class SwayProbe {
  public:
    explicit SwayProbe(const WaylandSession& session) : session_(session) {}

    // Windows titled `caption` now, by container id.
    std::vector<unsigned long> FindWindows(const std::string& caption);
    // The client area in the output's logical pixels; false when the window is gone.
    bool Geometry(unsigned long window, ClientArea* area);
    std::string AppId(unsigned long window);
    bool Exists(unsigned long window);
    // The client area in the output's own pixels (its size times the scale).
    RgbImage Grab(unsigned long window);
    // The compositor's close (xdg_toplevel.close).
    void SendClose(unsigned long window);
    void Resize(unsigned long window, int width, int height);
    void Move(unsigned long window, int x, int y);
    // Presses and releases a key, an XKB keysym ("Return"), on a virtual keyboard whose keymap
    // wtype makes (it puts the first key it types at evdev code 1, Escape's), which goes to the
    // focused window; true when wtype could type.
    bool PressKey(const std::string& keysym);
    // Integer scale of the session's only output.
    bool SetScale(int scale);
    // A swaymsg command on the window (criteria added); true when sway says it succeeded.
    bool Command(unsigned long window, const std::string& command);
    // A swaymsg command as given; true when sway says it succeeded.
    bool Run(const std::string& command);

  private:
    std::string Tree();

    const WaylandSession& session_;
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
RgbImage Crop(const RgbImage& image, const ClientArea& area);
// A binary PPM (P6, 8 bits) as RGB; empty when it is not one.
RgbImage RgbFromPpm(const std::string& data);
