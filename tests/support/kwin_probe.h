// Looks at programs in a private KWin session from outside, as a user or KWin would: windows
// found by caption, resized, moved and closed through KWin scripts; their client areas pictured
// in the output's own pixels through KWin's screenshot interface. KWin names windows by UUID;
// the probe numbers them from 1 in the order it first sees them.
#pragma once

#include <string>
#include <vector>

#include "support/picture.h"
#include "support/wayland_probe.h"
#include "support/wayland_session.h"

class KwinProbe {
  public:
    explicit KwinProbe(const WaylandSession& session) : session_(session) {}

    // Windows captioned `caption` now.
    std::vector<unsigned long> FindWindows(const std::string& caption);
    // The client area in the output's logical pixels; false when the window is gone.
    bool Geometry(unsigned long window, ClientArea* area);
    bool Exists(unsigned long window);
    // The window's application id (its desktop file name under KWin).
    std::string AppId(unsigned long window);
    // The client area in the output's own pixels (its size times the scale, rounded).
    RgbImage Grab(unsigned long window);
    // KWin's close (xdg_toplevel.close).
    void SendClose(unsigned long window);
    // Sizes the frame so that the client area gets `width` x `height`.
    void Resize(unsigned long window, int width, int height);
    // Has KWin draw no frame around the window.
    void RemoveFrame(unsigned long window);
    // Moves the frame's top-left corner.
    void Move(unsigned long window, int x, int y);

  private:
    // Runs `statements` on the window as `w` (none: reports "gone"); what they report.
    std::string OnWindow(unsigned long window, const std::string& statements);

    const WaylandSession& session_;
    std::vector<std::string> uuids_; // window n is uuids_[n - 1]
};
