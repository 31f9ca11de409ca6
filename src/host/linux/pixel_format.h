// Choosing the framebuffer configuration (GLX or EGL) closest to a pixel-format request, as a pure
// function of the configurations' attributes so that it is tested without a display.
#pragma once

#include "host/linux/winapi.h"

// What the choice needs to know of one framebuffer configuration.
struct FramebufferConfig {
    bool drawToWindow;
    bool hasVisual;
    bool rgba;
    bool doubleBuffer;
    bool slow;
    int colorBits; // red + green + blue
    int alphaBits;
    int depthBits;
    int stencilBits;
};

// Index of the closest configuration in `configs`, or -1 when none can serve the request.
// Required: drawable to a window with a visual (when the request asks for window drawing) and
// the requested pixel type. Then, in order of importance: double buffering as requested, a
// configuration without caveats, the closest colour bits, the closest depth bits (the deeper on a
// tie, so a request of 32 falls back to the deepest available), no stencil, the closest alpha.
int ChooseClosestConfig(const FramebufferConfig* configs, int count,
                        const PIXELFORMATDESCRIPTOR& request);
