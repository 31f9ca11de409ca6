// The viewer's dialog procedure: routing, and the life of its contexts and timer.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "gl_window.h"
#include "host/dlg_proc.h"
#include "host/resource.h"
#include "host/x11/layer.h"
#include "scene/scene_state.h"
#include "x11_seams.h"

namespace {

TEST(DialogProcedure, InitialisesAContextAndReleasesEverythingOnDestroy) {
    ASSERT_EQ(MissingDisplay(), "");
    HWND hwnd = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(IDD_MAIN), nullptr, DlgProc, 0);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_NE(wglGetCurrentContext(), nullptr);
    EXPECT_EQ(wglGetCurrentDC(), GetDC(hwnd));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    GLint shadeModel = 0;
    glGetIntegerv(GL_SHADE_MODEL, &shadeModel);
    EXPECT_EQ(shadeModel, GL_FLAT) << "the texture set-up ran after InitGL";
    // The request's 32-bit depth buffer, which the display offers, is what the context has.
    Display* x = Layer().display;
    const int deep[] = {GLX_DEPTH_SIZE, 32, GLX_DOUBLEBUFFER, True, None};
    int offered = 0;
    XFree(glXChooseFBConfig(x, DefaultScreen(x), deep, &offered));
    ASSERT_GT(offered, 0) << "the display offers no 32-bit depth buffer";
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    EXPECT_EQ(depthBits, 32);

    // Messages other than the five it handles are left to the default handling.
    for (UINT other : {0x000Fu /* WM_PAINT */, static_cast<UINT>(WM_KEYDOWN),
                       static_cast<UINT>(WM_LBUTTONDOWN), 0x0014u /* WM_ERASEBKGND */}) {
        EXPECT_EQ(DlgProc(hwnd, other, 0, 0), FALSE) << other;
    }
    EXPECT_EQ(DlgProc(hwnd, WM_TIMER, ID_TIMER + 1, 0), TRUE);

    ShowWindow(hwnd, SW_SHOW);
    SetTimer(hwnd, ID_TIMER, 40, nullptr);
    EXPECT_EQ(DlgProc(hwnd, WM_CLOSE, 0, 0), TRUE);
    EXPECT_EQ(wglGetCurrentContext(), nullptr);
    EXPECT_EQ(wglGetCurrentDC(), nullptr);
    EXPECT_EQ(KillTimer(hwnd, ID_TIMER), FALSE) << "the timer was stopped";
    // The quit request (posted twice, with 0) is all that is left in the queue.
    MSG msg;
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.wParam, 0u);
}

TEST(DialogProcedure, WinMainRunsTheAnimationTimerEvery40Milliseconds) {
    ASSERT_EQ(MissingDisplay(), "");
    fakeNowNs = 5000000000;
    PostQuitMessage(3); // ends WinMain's loop at its first retrieval, with the window still open
    EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, 0), 3);
    ASSERT_EQ(LinuxLayer().timers.size(), 1u);
    EXPECT_EQ(LinuxLayer().timers[0].id, static_cast<UINT_PTR>(ID_TIMER));
    EXPECT_EQ(LinuxLayer().timers[0].intervalNs, 40000000);
    EXPECT_EQ(LinuxLayer().timers[0].deadlineNs, 5040000000);
    fakeNowNs = -1;
    // The window was given the program's icon, big and small: WM_SETICON answers with the icon
    // it replaces.
    HWND hwnd = LinuxLayer().timers[0].hwnd;
    auto icon = reinterpret_cast<LRESULT>(
        LoadImageW(nullptr, MAKEINTRESOURCEW(IDI_TAVIK), IMAGE_ICON, 0, 0, LR_SHARED));
    for (WPARAM kind : {ICON_BIG, ICON_SMALL}) {
        EXPECT_EQ(SendMessageW(hwnd, WM_SETICON, kind, 0), icon) << "kind " << kind;
    }
    DestroyWindow(hwnd);
}

} // namespace
