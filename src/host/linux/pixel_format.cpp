// Ranking of framebuffer configurations against a pixel-format request.
#include "host/linux/pixel_format.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>

namespace {

bool CanServe(const FramebufferConfig& config, const PIXELFORMATDESCRIPTOR& request) {
    if ((request.dwFlags & PFD_DRAW_TO_WINDOW) && !(config.drawToWindow && config.hasVisual)) {
        return false;
    }
    if (request.iLayerType == PFD_MAIN_PLANE && config.level != 0) {
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

// Whether nothing can rank ahead of this configuration: it serves the request and matches it in
// every respect the ranking weighs. The first such in the list's order is the choice.
bool Unbeatable(const FramebufferConfig& config, const PIXELFORMATDESCRIPTOR& request) {
    return CanServe(config, request) &&
           Distance(config, request) ==
               std::make_tuple(false, false, 0, 0, -request.cDepthBits, 0, 0);
}

// The descriptions of the configurations with these indexes, in their order, up to the first that
// nothing can rank ahead of: the rest could not change the choice.
std::vector<FramebufferConfig> DescribeUntilUnbeatable(const std::vector<int>& indexes,
                                                       const DescribeConfigs& describe,
                                                       const PIXELFORMATDESCRIPTOR& request) {
    std::vector<FramebufferConfig> descriptions;
    for (int index : indexes) {
        descriptions.push_back(describe(index));
        if (Unbeatable(descriptions.back(), request)) {
            break;
        }
    }
    return descriptions;
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

int ChooseClosestConfigAmongFew(const PIXELFORMATDESCRIPTOR& request, const FindConfigs& find,
                                const DescribeConfigs& describe) {
    if (!(request.dwFlags & PFD_DRAW_TO_WINDOW) || request.iPixelType != PFD_TYPE_RGBA ||
        request.iLayerType != PFD_MAIN_PLANE) {
        return -1;
    }
    const int channel = request.cColorBits / 3;
    std::vector<int> picked = find({channel, 0, request.cDepthBits});
    if (picked.empty()) {
        picked = find({channel, 0, 0});
    }
    std::vector<FramebufferConfig> descriptions =
        DescribeUntilUnbeatable(picked, describe, request);
    int best =
        ChooseClosestConfig(descriptions.data(), static_cast<int>(descriptions.size()), request);
    // A slow choice could have rivals that are not slow anywhere in the list.
    if (best < 0 || descriptions[best].slow) {
        return -1;
    }
    // The rivals: nearer in colour, whatever the depth; or as near in colour and as good in
    // depth. Red + green + blue + alpha is at least the colour bits, so a minimum buffer size
    // finds them all.
    const FramebufferConfig& chosen = descriptions[best];
    const int colorOff = std::abs(chosen.colorBits - request.cColorBits);
    const int depthOff = std::abs(chosen.depthBits - request.cDepthBits);
    // As near in depth, and as deep when as near: a depth as far below the request as the
    // choice is above it loses the tie.
    const int depthBits = chosen.depthBits >= request.cDepthBits
                              ? request.cDepthBits - depthOff + (depthOff > 0 ? 1 : 0)
                              : chosen.depthBits;
    std::vector<int> rivals =
        find({0, std::max(0, request.cColorBits - colorOff), std::max(0, depthBits)});
    if (colorOff > 0) {
        std::vector<int> nearer = find({0, std::max(0, request.cColorBits - colorOff + 1), 0});
        rivals.insert(rivals.end(), nearer.begin(), nearer.end());
    }
    std::vector<int> all = picked;
    for (int index : rivals) {
        if (!std::binary_search(picked.begin(), picked.end(), index)) {
            all.push_back(index);
        }
    }
    if (all.size() == picked.size()) {
        return picked[best];
    }
    // The ranking breaks ties by the list's order: keep it.
    std::sort(all.begin(), all.end());
    all.erase(std::unique(all.begin(), all.end()), all.end());
    descriptions = DescribeUntilUnbeatable(all, describe, request);
    best = ChooseClosestConfig(descriptions.data(), static_cast<int>(descriptions.size()), request);
    return best < 0 ? -1 : all[best];
}
