// Device contexts, pixel formats and OpenGL contexts, the part that is the same on every window
// system: which window and context a handle names, and which context is current. The backend
// ranks its framebuffer configurations, binds one to the window and drives its GL interface.
#include "host/linux/layer.h"

#include <algorithm>

namespace {

bool IsLiveContext(HGLRC hglrc) {
    const std::vector<ContextLinux*>& contexts = LinuxLayer().contexts;
    return std::find(contexts.begin(), contexts.end(), hglrc) != contexts.end();
}

void ReleaseCurrent() {
    LayerLinux& layer = LinuxLayer();
    if (layer.currentContext != nullptr) {
        ConnectedPlatform()->makeCurrent(nullptr, nullptr);
    }
    layer.currentContext = nullptr;
    layer.currentDC = nullptr;
}

} // namespace

HDC GetDC(HWND hWnd) {
    WindowLinux* window = FindWindowLinux(hWnd);
    return window == nullptr ? nullptr : &window->dc;
}

int ReleaseDC(HWND hWnd, HDC hDC) {
    WindowLinux* window = FindWindowLinux(hWnd);
    return window != nullptr && &window->dc == hDC ? 1 : 0;
}

int ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR* ppfd) {
    WindowLinux* window = FindWindowOfDCLinux(hdc);
    if (window == nullptr || ppfd == nullptr) {
        return 0;
    }
    return ConnectedPlatform()->choosePixelFormat(window, *ppfd);
}

BOOL SetPixelFormat(HDC hdc, int format, const PIXELFORMATDESCRIPTOR*) {
    WindowLinux* window = FindWindowOfDCLinux(hdc);
    if (window == nullptr || window->pixelFormat != 0 || window->shown || format < 1) {
        return FALSE;
    }
    if (!ConnectedPlatform()->setPixelFormat(window, format)) {
        return FALSE;
    }
    window->pixelFormat = format;
    return TRUE;
}

HGLRC wglCreateContext(HDC hdc) {
    WindowLinux* window = FindWindowOfDCLinux(hdc);
    if (window == nullptr || window->pixelFormat == 0) {
        return nullptr;
    }
    ContextLinux* context = ConnectedPlatform()->createContext(window);
    if (context != nullptr) {
        LinuxLayer().contexts.push_back(context);
    }
    return context;
}

BOOL wglMakeCurrent(HDC hdc, HGLRC hglrc) {
    LayerLinux& layer = LinuxLayer();
    if (hglrc == nullptr) {
        ReleaseCurrent();
        return TRUE;
    }
    WindowLinux* window = FindWindowOfDCLinux(hdc);
    if (window == nullptr || window->pixelFormat == 0 || !IsLiveContext(hglrc)) {
        return FALSE;
    }
    if (!ConnectedPlatform()->makeCurrent(window, hglrc)) {
        return FALSE;
    }
    layer.currentDC = hdc;
    layer.currentContext = hglrc;
    return TRUE;
}

BOOL wglDeleteContext(HGLRC hglrc) {
    LayerLinux& layer = LinuxLayer();
    if (!IsLiveContext(hglrc)) {
        return FALSE;
    }
    if (layer.currentContext == hglrc) {
        ReleaseCurrent();
    }
    layer.contexts.erase(std::find(layer.contexts.begin(), layer.contexts.end(), hglrc));
    ConnectedPlatform()->deleteContext(hglrc);
    return TRUE;
}

HGLRC wglGetCurrentContext() {
    return LinuxLayer().currentContext;
}

HDC wglGetCurrentDC() {
    return LinuxLayer().currentDC;
}

BOOL SwapBuffers(HDC hdc) {
    WindowLinux* window = FindWindowOfDCLinux(hdc);
    if (window == nullptr || window->pixelFormat == 0) {
        return FALSE;
    }
    return ConnectedPlatform()->swapBuffers(window) ? TRUE : FALSE;
}
