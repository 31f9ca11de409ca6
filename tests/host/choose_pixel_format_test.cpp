// ChoosePixelFormat on the display's real list of GLX configurations: it describes only a few of
// them and still picks what ranking every one of them picks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "host/resource.h"
#include "host/x11/layer.h"
#include "x11_seams.h"

namespace {

INT_PTR IgnoringProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

TEST(ChoosePixelFormat, EqualsTheRankingOfEveryConfigurationOnTheDisplay) {
    const char* name = std::getenv("DISPLAY");
    ASSERT_TRUE(name != nullptr && *name) << "this test needs an X display";
    HWND hwnd = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(IDD_MAIN), nullptr, IgnoringProc, 0);
    ASSERT_NE(hwnd, nullptr);
    Display* display = Layer().display;
    int count = 0;
    GLXFBConfig* list = glXGetFBConfigs(display, DefaultScreen(display), &count);
    ASSERT_GT(count, 0) << "the display has no GLX configurations";
    std::vector<FramebufferConfigX11> all;
    for (int i = 0; i < count; ++i) {
        all.push_back(DescribeConfigX11(display, list[i]));
    }
    XFree(list);

    struct Variant {
        BYTE color, depth, stencil, alpha;
        bool doubleBuffer;
    };
    // The viewer's request first, then its neighbours.
    const Variant variants[] = {{24, 32, 0, 0, true}, {24, 24, 0, 0, true}, {24, 16, 0, 0, true},
                                {24, 0, 0, 0, true},  {16, 32, 0, 0, true}, {32, 32, 0, 0, true},
                                {24, 24, 8, 0, true}, {24, 32, 0, 8, true}, {24, 32, 0, 0, false},
                                {30, 64, 0, 0, true}};
    for (const Variant& variant : variants) {
        PIXELFORMATDESCRIPTOR pfd = {};
        pfd.dwFlags =
            PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | (variant.doubleBuffer ? PFD_DOUBLEBUFFER : 0);
        pfd.iPixelType = PFD_TYPE_RGBA;
        pfd.cColorBits = variant.color;
        pfd.cDepthBits = variant.depth;
        pfd.cStencilBits = variant.stencil;
        pfd.cAlphaBits = variant.alpha;
        const long queriesBefore = configAttributeQueries;
        EXPECT_EQ(ChoosePixelFormat(GetDC(hwnd), &pfd),
                  1 + ChooseClosestConfig(all.data(), count, pfd))
            << int{variant.color} << " " << int{variant.depth} << " " << int{variant.stencil} << " "
            << int{variant.alpha} << " " << variant.doubleBuffer;
        if (&variant == variants) {
            EXPECT_LT(configAttributeQueries - queriesBefore, count)
                << "the viewer's request describes only a few configurations";
        }
    }
    DestroyWindow(hwnd);
}

} // namespace
