// Looks at programs in a private gnome-shell session from outside, through the shell's own D-Bus
// methods (open there in unsafe mode only, which the session's test extension sets): windows
// found, resized and closed with JavaScript run by Eval and named by mutter's window id, their
// client areas grabbed with ScreenshotArea at the monitor's scale.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/picture.h"
#include "support/wayland_probe.h"
#include "support/wayland_session.h"

// Runs JavaScript in the shell; true with the value of its last expression, as JSON, in *json.
// False when the call fails or the code throws.
bool GnomeEval(const WaylandSession& session, const std::string& code, std::string* json);

class GnomeProbe {
  public:
    explicit GnomeProbe(const WaylandSession& session) : session_(session) {}

    // Shown windows titled `caption` now, by mutter's window id.
    std::vector<unsigned long> FindWindows(const std::string& caption);
    // The client area in logical pixels; false when the window is gone.
    bool Geometry(unsigned long window, ClientArea* area);
    // Height of the frame above the client area: libdecor's title bar, since the shell draws none.
    int TitleBarHeight(unsigned long window);
    // The application id (a Wayland window's class in mutter).
    std::string AppId(unsigned long window);
    bool Exists(unsigned long window);
    // The client area in the monitor's own pixels (its size times the scale).
    RgbImage Grab(unsigned long window);
    // The shell's close (xdg_toplevel.close), as from the title bar's close button.
    void SendClose(unsigned long window);
    // A click of the primary button on the close button at the right end of libdecor's title
    // bar, through a virtual pointer of the shell's, as a user's.
    void ClickCloseButton(unsigned long window);
    // Moves that pointer onto the centre of the client area.
    void PointAtClientArea(unsigned long window);
    void Resize(unsigned long window, int width, int height);
    // Moves the frame's top-left corner to `x`, `y` in the work area (below the top bar).
    void Move(unsigned long window, int x, int y);

  private:
    // Evaluates `expression` with `w` bound to the window; its JSON, or "null" when it is gone.
    std::string OnWindow(unsigned long window, const std::string& expression);

    const WaylandSession& session_;
    std::map<unsigned long, std::pair<int, int>> frameExtra_; // frame size - client size
};
