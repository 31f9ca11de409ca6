// A plain window of the viewer's size with a current OpenGL context and no swap-interval wait, on
// one window system, for the bare loop: no dialog, queue, timer or pixel-format ranking around it.
#pragma once

#include <memory>

class BareWindow {
  public:
    virtual ~BareWindow() = default;
    // Presents the frame just drawn and handles what the window system has sent meanwhile.
    virtual void Swap() = 0;
};

// Null, with a line on stderr, when the window system or its GL cannot be had.
std::unique_ptr<BareWindow> OpenBareWindowX11(int width, int height);
std::unique_ptr<BareWindow> OpenBareWindowWayland(int width, int height);
