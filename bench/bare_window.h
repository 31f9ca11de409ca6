// A plain window of the viewer's size with a current OpenGL context and no swap-interval wait, on
// one window system, for the bare loop: no dialog, queue, timer or pixel-format ranking around it.
// It is captioned "Tavik" (application id org.tavik.Tavik on Wayland), so that whatever finds
// and closes the viewer's window finds and closes it alike.
#pragma once

#include <time.h>

#include <memory>

class BareWindow {
  public:
    virtual ~BareWindow() = default;
    // Presents the frame just drawn.
    virtual void Swap() = 0;
    // Handles what the window system sends until `deadline` (CLOCK_MONOTONIC), waking as soon as
    // anything arrives; false as soon as the window is closed.
    virtual bool WaitUntil(const timespec& deadline) = 0;
};

// Null, with a line on stderr, when the window system or its GL cannot be had.
std::unique_ptr<BareWindow> OpenBareWindowX11(int width, int height);
std::unique_ptr<BareWindow> OpenBareWindowWayland(int width, int height);

// Milliseconds from now to `deadline` (CLOCK_MONOTONIC), rounded up; 0 when it has passed.
int MillisecondsUntil(const timespec& deadline);
