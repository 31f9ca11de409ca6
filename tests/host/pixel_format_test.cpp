// Choosing the framebuffer configuration closest to the viewer's pixel-format request.
#include <gtest/gtest.h>

#include <vector>

#include "gl_window.h"
#include "host/x11/pixel_format.h"

namespace {

// A window-drawable, double-buffered RGBA configuration with 8 bits per colour.
FramebufferConfigX11 Config(int depth, int stencil = 0, int alpha = 0) {
    return {true, true, true, true, false, 24, alpha, depth, stencil};
}

int Choose(const std::vector<FramebufferConfigX11>& configs) {
    return ChooseClosestConfig(configs.data(), static_cast<int>(configs.size()),
                               ViewerPixelFormatRequest());
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
    FramebufferConfigX11 single = Config(24);
    single.doubleBuffer = false;
    EXPECT_EQ(Choose({single, Config(16)}), 1);
    FramebufferConfigX11 deepColour = Config(24);
    deepColour.colorBits = 30;
    FramebufferConfigX11 shallow = Config(16);
    EXPECT_EQ(Choose({deepColour, shallow}), 1);
    FramebufferConfigX11 slow = Config(24);
    slow.slow = true;
    EXPECT_EQ(Choose({slow, Config(16)}), 1);
    // A single-buffered configuration still serves when it is all there is.
    EXPECT_EQ(Choose({single}), 0);
}

TEST(PixelFormat, SkipsConfigurationsThatCannotDrawToAWindow) {
    FramebufferConfigX11 noWindow = Config(24);
    noWindow.drawToWindow = false;
    FramebufferConfigX11 noVisual = Config(24);
    noVisual.hasVisual = false;
    FramebufferConfigX11 colourIndex = Config(24);
    colourIndex.rgba = false;
    EXPECT_EQ(Choose({noWindow, noVisual, colourIndex, Config(0)}), 3);
    EXPECT_EQ(Choose({noWindow, noVisual, colourIndex}), -1);
    EXPECT_EQ(Choose({}), -1);
}

} // namespace
