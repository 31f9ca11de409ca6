// Surface sizes on scaled outputs.
#include "host/wayland/scale.h"

#include <algorithm>

int SurfacePixelsWayland(int logical, int scale120, int outputScale) {
    long long pixels = scale120 > 0 ? (static_cast<long long>(logical) * scale120 + 60) / 120
                                    : static_cast<long long>(logical) * std::max(1, outputScale);
    return static_cast<int>(std::clamp(pixels, 1LL, 1LL << 30));
}
