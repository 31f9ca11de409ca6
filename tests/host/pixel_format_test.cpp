// Choosing the framebuffer configuration closest to the viewer's pixel-format request.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gl_window.h"
#include "host/linux/pixel_format.h"

namespace {

// A window-drawable, double-buffered RGBA configuration with 8 bits per colour.
FramebufferConfig Config(int depth, int stencil = 0, int alpha = 0) {
    return {true, true, true, true, false, 24, alpha, depth, stencil};
}

// Config(24) with one field changed.
template <typename Field> FramebufferConfig With(Field FramebufferConfig::*field, Field value) {
    FramebufferConfig config = Config(24);
    config.*field = value;
    return config;
}

int Choose(const std::vector<FramebufferConfig>& configs,
           const PIXELFORMATDESCRIPTOR& request = ViewerPixelFormatRequest()) {
    return ChooseClosestConfig(configs.data(), static_cast<int>(configs.size()), request);
}

TEST(PixelFormat, DepthOf32FallsBackToTheDeepestAvailable) {
    EXPECT_EQ(Choose({Config(16), Config(24), Config(0)}), 1);
    EXPECT_EQ(Choose({Config(0), Config(16)}), 1);
    EXPECT_EQ(Choose({Config(24), Config(32)}), 1);
}

TEST(PixelFormat, PrefersNoStencilThenNoAlphaAtTheSameDepth) {
    EXPECT_EQ(Choose({Config(24, 8), Config(24, 0)}), 1);
    EXPECT_EQ(Choose({Config(24, 0, 8), Config(24, 0, 0)}), 1);
    // Depth matters more than an unwanted stencil buffer.
    EXPECT_EQ(Choose({Config(16, 0), Config(24, 8)}), 1);
}

TEST(PixelFormat, DoubleBufferingAndColourBitsComeBeforeDepth) {
    const FramebufferConfig single = With(&FramebufferConfig::doubleBuffer, false);
    EXPECT_EQ(Choose({single, Config(16)}), 1);
    EXPECT_EQ(Choose({With(&FramebufferConfig::colorBits, 30), Config(16)}), 1);
    EXPECT_EQ(Choose({With(&FramebufferConfig::slow, true), Config(16)}), 1);
    // A single-buffered configuration still serves when it is all there is.
    EXPECT_EQ(Choose({single}), 0);
}

TEST(PixelFormat, SkipsConfigurationsThatCannotDrawToAWindow) {
    const FramebufferConfig noWindow = With(&FramebufferConfig::drawToWindow, false);
    const FramebufferConfig noVisual = With(&FramebufferConfig::hasVisual, false);
    const FramebufferConfig colourIndex = With(&FramebufferConfig::rgba, false);
    EXPECT_EQ(Choose({noWindow, noVisual, colourIndex, Config(0)}), 3);
    EXPECT_EQ(Choose({noWindow, noVisual, colourIndex}), -1);
    EXPECT_EQ(Choose({}), -1);
}

// The shortcut's choice against the full ranking, over lists and requests of every kind. The
// search stands in for glXChooseFBConfig: window, RGBA, buffering and the main plane exactly,
// the sizes as minimums.
TEST(PixelFormat, ChoiceAmongFewEqualsTheFullRankingOnTheSameList) {
    uint32_t state = 12345;
    auto pick = [&state](std::initializer_list<int> values) {
        state = state * 1664525u + 1013904223u;
        return values.begin()[(state >> 8) % values.size()];
    };
    int shortcuts = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<FramebufferConfig> configs(static_cast<size_t>(pick({1, 5, 40, 200})));
        // How far the weakest of red, green and blue falls short of a third of the colour bits.
        std::vector<int> shortfall;
        for (FramebufferConfig& config : configs) {
            shortfall.push_back(pick({0, 0, 1, 3}));
            config = Config(pick({0, 16, 24, 32}), pick({0, 8}), pick({0, 0, 1, 8}));
            config.drawToWindow = pick({0, 1, 1, 1});
            config.hasVisual = pick({0, 1, 1, 1});
            config.rgba = pick({0, 1, 1, 1});
            config.doubleBuffer = pick({0, 1});
            config.slow = pick({0, 0, 0, 1});
            config.colorBits = pick({15, 16, 24, 24, 30});
            config.level = pick({0, 0, 0, 0, 0, 0, 1, -1});
        }
        PIXELFORMATDESCRIPTOR request = ViewerPixelFormatRequest();
        request.dwFlags = pick({0, 1}) ? request.dwFlags : request.dwFlags & ~PFD_DOUBLEBUFFER;
        request.cColorBits = static_cast<BYTE>(pick({16, 24, 24, 32}));
        request.cDepthBits = static_cast<BYTE>(pick({0, 16, 24, 32, 32, 64}));
        request.cStencilBits = static_cast<BYTE>(pick({0, 0, 8}));
        request.cAlphaBits = static_cast<BYTE>(pick({0, 0, 8}));
        const bool wantDouble = (request.dwFlags & PFD_DOUBLEBUFFER) != 0;
        auto find = [&](const ConfigMinimums& minimums) {
            std::vector<int> found;
            for (int i = 0; i < static_cast<int>(configs.size()); ++i) {
                const FramebufferConfig& c = configs[i];
                if (c.drawToWindow && c.rgba && c.doubleBuffer == wantDouble && c.level == 0 &&
                    c.colorBits / 3 - shortfall[i] >= minimums.channelBits &&
                    c.colorBits + c.alphaBits >= minimums.bufferBits &&
                    c.depthBits >= minimums.depthBits) {
                    found.push_back(i);
                }
            }
            return found;
        };
        auto describe = [&](int index) { return configs[index]; };
        const int few = ChooseClosestConfigAmongFew(request, find, describe);
        if (few >= 0) {
            ++shortcuts;
            ASSERT_EQ(few, Choose(configs, request)) << "round " << round;
        }
    }
    EXPECT_GT(shortcuts, 1000) << "the shortcut should cover most requests";
}

} // namespace
