// A plain window of the viewer's size with a current OpenGL context and no swap-interval wait, on
// one window system, for the bare loop: no dialog, queue, timer or pixel-format ranking around it.
// It is captioned "Tavik" (application id org.tavik.Tavik on Wayland), so that whatever finds
// and closes the viewer's window finds and closes it alike.
#pragma once

#include <chrono>
#include <memory>

using Deadline = std::chrono::steady_clock::time_point;

class BareWindow {
  public:
    virtual ~BareWindow() = default;
    // Why the window cannot be had, or null when it is open with its context current.
    virtual const char* Open(int width, int height) = 0;
    // Presents the frame just drawn.
    virtual void Swap() = 0;
    // Handles what the window system sends until `deadline`, waking as soon as
    // anything arrives; false as soon as the window is closed.
    virtual bool WaitUntil(Deadline deadline) = 0;
};

// A window not yet open, on each window system.
std::unique_ptr<BareWindow> NewBareWindowX11();
std::unique_ptr<BareWindow> NewBareWindowWayland();

// Milliseconds from now to `deadline`, rounded up; 0 when it has passed.
int MillisecondsUntil(Deadline deadline);
