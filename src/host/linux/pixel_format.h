// Choosing the framebuffer configuration (GLX or EGL) closest to a pixel-format request, as a pure
// function of the configurations' attributes so that it is tested without a display.
#pragma once

#include <functional>
#include <vector>

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
    int level = 0; // 0 for the main plane; overlays above it, underlays below
};

// Index of the closest configuration in `configs`, or -1 when none can serve the request.
// Required: drawable to a window with a visual (when the request asks for window drawing), the
// requested pixel type and the main plane. Then, in order of importance: double buffering as
// requested, a configuration without caveats, the closest colour bits, the closest depth bits (the
// deeper on a tie, so a request of 32 falls back to the deepest available), no stencil, the closest
// alpha.
int ChooseClosestConfig(const FramebufferConfig* configs, int count,
                        const PIXELFORMATDESCRIPTOR& request);

// Minimum sizes for a window system's own search (glXChooseFBConfig, eglChooseConfig); 0 asks
// for nothing.
struct ConfigMinimums {
    int channelBits; // each of red, green and blue
    int bufferBits;  // red + green + blue + alpha
    int depthBits;
};
// The indexes, ascending, of the configurations that draw RGBA pixels to a window, with the
// request's buffering, on the main plane, and meet the minimums.
using FindConfigs = std::function<std::vector<int>(const ConfigMinimums&)>;
// The description of the configuration with this index.
using DescribeConfigs = std::function<FramebufferConfig(int)>;

// The same choice as ChooseClosestConfig over every configuration, made by describing only a
// few, since describing hundreds can cost milliseconds. The window system's search picks those
// that meet the request's sizes and the ranking chooses among them; then every configuration
// that could still rank level with or ahead of that choice joins them (found by the least colour
// and depth it needs), and the ranking chooses again. Returns -1 when the shortcut does not
// cover the request or the outcome (the caller then describes every configuration).
int ChooseClosestConfigAmongFew(const PIXELFORMATDESCRIPTOR& request, const FindConfigs& find,
                                const DescribeConfigs& describe);
