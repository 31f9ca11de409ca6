// Ranking of framebuffer configurations against a pixel-format request.
#include "host/linux/pixel_format.h"

#include <cstdlib>
#include <tuple>

namespace {

bool CanServe(const FramebufferConfig& config, const PIXELFORMATDESCRIPTOR& request) {
    if ((request.dwFlags & PFD_DRAW_TO_WINDOW) && !(config.drawToWindow && config.hasVisual)) {
        return false;
    }
    return config.rgba == (request.iPixelType == PFD_TYPE_RGBA);
}

// Smaller is closer; compared lexicographically.
auto Distance(const FramebufferConfig& config, const PIXELFORMATDESCRIPTOR& request) {
    bool wantDouble = (request.dwFlags & PFD_DOUBLEBUFFER) != 0;
    return std::make_tuple(config.doubleBuffer != wantDouble, config.slow,
                           std::abs(config.colorBits - request.cColorBits),
                           std::abs(config.depthBits - request.cDepthBits), -config.depthBits,
                           std::abs(config.stencilBits - request.cStencilBits),
                           std::abs(config.alphaBits - request.cAlphaBits));
}

} // namespace

int ChooseClosestConfig(const FramebufferConfig* configs, int count,
                        const PIXELFORMATDESCRIPTOR& request) {
    int best = -1;
    for (int i = 0; i < count; ++i) {
        if (!CanServe(configs[i], request)) {
            continue;
        }
        if (best < 0 || Distance(configs[i], request) < Distance(configs[best], request)) {
            best = i;
        }
    }
    return best;
}
