// The viewer window's dialog procedure and the life of its device and rendering contexts: they
// are acquired on WM_INITDIALOG and released on WM_DESTROY. Neither is stored; in between they
// are the thread's current ones.
#include "host/dlg_proc.h"

#include "image/texture.h"
#include "scene/gl_setup.h"
#include "scene/render_scene.h"

INT_PTR OnInitDialog(HWND hwnd, UINT, WPARAM, LPARAM) {
    HDC hdc = GetDC(hwnd);
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof(PIXELFORMATDESCRIPTOR);
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 24;
    pfd.cDepthBits = 32;
    pfd.cStencilBits = 0;
    pfd.cAuxBuffers = 0;
    pfd.iLayerType = PFD_MAIN_PLANE;
    int format = ChoosePixelFormat(hdc, &pfd);
    SetPixelFormat(hdc, format, &pfd);
    HGLRC hglrc = wglCreateContext(hdc);
    if (hglrc != nullptr) {
        wglMakeCurrent(hdc, hglrc);
    }
    InitGL();
    LoadTexture();
    return TRUE;
}

INT_PTR OnClose(HWND hwnd, UINT, WPARAM, LPARAM) {
    DestroyWindow(hwnd);
    PostQuitMessage(0);
    return TRUE;
}

INT_PTR OnDestroy(HWND hwnd, UINT, WPARAM, LPARAM) {
    HGLRC hglrc = wglGetCurrentContext();
    HDC hdc = wglGetCurrentDC();
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(hglrc);
    ReleaseDC(hwnd, hdc);
    KillTimer(hwnd, ID_TIMER);
    PostQuitMessage(0);
    return TRUE;
}

INT_PTR CALLBACK DlgProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_INITDIALOG:
        return OnInitDialog(hwnd, uMsg, wParam, lParam);
    case WM_SIZE:
        return OnSize(hwnd, uMsg, wParam, lParam);
    case WM_TIMER:
        return OnTimer(hwnd, uMsg, wParam, lParam);
    case WM_CLOSE:
        return OnClose(hwnd, uMsg, wParam, lParam);
    case WM_DESTROY:
        return OnDestroy(hwnd, uMsg, wParam, lParam);
    default:
        return FALSE;
    }
}
