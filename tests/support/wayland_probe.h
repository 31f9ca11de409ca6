// Looks at programs in a private Wayland session from outside, as a user or the compositor
// would. Under sway: windows found by title in swaymsg's tree (named by sway's container id),
// closed and resized through swaymsg, their client areas grabbed with grim at the output's
// scale. Under weston, which has no such interface: whole-output pictures from its screenshooter.
#pragma once

#include <string>
#include <vector>

#include "support/wayland_session.h"
#include "support/x11_probe.h"

struct ClientArea {
    int x = 0, y = 0, width = 0, height = 0;
};

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
    // Integer scale of the session's only output.
    bool SetScale(int scale);
    // A swaymsg command on the window (criteria added); true when sway says it succeeded.
    bool Command(unsigned long window, const std::string& command);

  private:
    std::string Tree();

    const WaylandSession& session_;
};

// The whole output from weston's screenshooter; empty when it failed.
RgbImage WestonScreenshot(const WaylandSession& session);
// The viewer's client area in a picture of the whole output: the bounds of the cleared
// background, which nothing else on the desktop has. False when there is none.
bool FindClientArea(const RgbImage& screen, ClientArea* area);
RgbImage Crop(const RgbImage& image, const ClientArea& area);
// A binary PPM (P6, 8 bits) as RGB; empty when it is not one.
RgbImage RgbFromPpm(const std::string& data);
