// ChoosePixelFormat on the display's real list of GLX configurations: it describes only a few of
// them and still picks what ranking every one of them picks.
#include <gtest/gtest.h>

#include <vector>

#include "gl_window.h"
#include "host/resource.h"
#include "host/x11/layer.h"
#include "x11_seams.h"

namespace {

INT_PTR IgnoringProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

TEST(ChoosePixelFormat, EqualsTheRankingOfEveryConfigurationOnTheDisplay) {
    ASSERT_EQ(MissingDisplay(), "");
    HWND hwnd = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(IDD_MAIN), nullptr, IgnoringProc, 0);
    ASSERT_NE(hwnd, nullptr);
    Display* display = Layer().display;
    int count = 0;
    GLXFBConfig* list = glXGetFBConfigs(display, DefaultScreen(display), &count);
    ASSERT_GT(count, 0) << "the display has no GLX configurations";
    std::vector<FramebufferConfig> all;
    for (int i = 0; i < count; ++i) {
        all.push_back(DescribeConfigX11(display, list[i]));
    }
    XFree(list);

    // The viewer's request first, then its neighbours: colour, depth, stencil, alpha, buffering.
    const int variants[][5] = {{24, 32, 0, 0, 1}, {24, 24, 0, 0, 1}, {24, 16, 0, 0, 1},
                               {24, 0, 0, 0, 1},  {16, 32, 0, 0, 1}, {32, 32, 0, 0, 1},
                               {24, 24, 8, 0, 1}, {24, 32, 0, 8, 1}, {24, 32, 0, 0, 0},
                               {30, 64, 0, 0, 1}};
    for (const int* v : variants) {
        PIXELFORMATDESCRIPTOR pfd = {};
        pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | (v[4] ? PFD_DOUBLEBUFFER : 0);
        pfd.iPixelType = PFD_TYPE_RGBA;
        pfd.cColorBits = static_cast<BYTE>(v[0]);
        pfd.cDepthBits = static_cast<BYTE>(v[1]);
        pfd.cStencilBits = static_cast<BYTE>(v[2]);
        pfd.cAlphaBits = static_cast<BYTE>(v[3]);
        const long queriesBefore = configAttributeQueries;
        EXPECT_EQ(ChoosePixelFormat(GetDC(hwnd), &pfd),
                  1 + ChooseClosestConfig(all.data(), count, pfd))
            << v[0] << " " << v[1] << " " << v[2] << " " << v[3] << " " << v[4];
        if (v == variants[0]) {
            EXPECT_LT(configAttributeQueries - queriesBefore, count)
                << "the viewer's request describes only a few configurations";
        }
    }
    DestroyWindow(hwnd);
}

} // namespace
