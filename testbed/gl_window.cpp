// An OpenGL window opened the way the viewer opens its own, for tests and benchmarks.
#include "gl_window.h"

#include <cstdlib>

#include "host/resource.h"

namespace {

INT_PTR TestDialogProc(HWND, UINT uMsg, WPARAM, LPARAM) {
    return uMsg == WM_INITDIALOG ? TRUE : FALSE;
}

} // namespace

std::string MissingDisplay() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        return "DISPLAY is not set: these tests need an X display (run them through "
               "scripts/test.sh or scripts/with-xvfb.sh)";
    }
    return "";
}

PIXELFORMATDESCRIPTOR ViewerPixelFormatRequest() {
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 24;
    pfd.cDepthBits = 32;
    pfd.iLayerType = PFD_MAIN_PLANE;
    return pfd;
}

bool OpenGlWindow(GlWindow* window, std::string* error) {
    *error = MissingDisplay();
    if (!error->empty()) {
        return false;
    }
    const char* display = std::getenv("DISPLAY");
    window->hwnd =
        CreateDialogParamW(nullptr, MAKEINTRESOURCEW(IDD_MAIN), nullptr, TestDialogProc, 0);
    if (window->hwnd == nullptr) {
        *error = std::string("cannot create a window on display ") + display;
        return false;
    }
    window->hdc = GetDC(window->hwnd);
    PIXELFORMATDESCRIPTOR pfd = ViewerPixelFormatRequest();
    int format = ChoosePixelFormat(window->hdc, &pfd);
    if (format == 0 || !SetPixelFormat(window->hdc, format, &pfd)) {
        *error = "no pixel format with OpenGL on this display";
        CloseGlWindow(window);
        return false;
    }
    window->hglrc = wglCreateContext(window->hdc);
    if (window->hglrc == nullptr || !wglMakeCurrent(window->hdc, window->hglrc)) {
        *error = "cannot create or make current an OpenGL context";
        CloseGlWindow(window);
        return false;
    }
    ShowWindow(window->hwnd, SW_SHOW);
    return true;
}

void CloseGlWindow(GlWindow* window) {
    if (window->hglrc != nullptr) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(window->hglrc);
        window->hglrc = nullptr;
    }
    if (window->hwnd != nullptr) {
        ReleaseDC(window->hwnd, window->hdc);
        DestroyWindow(window->hwnd);
        window->hwnd = nullptr;
        window->hdc = nullptr;
    }
}
