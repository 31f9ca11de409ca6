// The bare loop's window on X11: a GLX window at the top left.
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <cstdio>

#include "bare_window.h"

namespace {

struct BareWindowX11 : BareWindow {
    ~BareWindowX11() override {
        if (context != nullptr) {
            glXMakeContextCurrent(display, None, None, nullptr);
            glXDestroyContext(display, context);
        }
        if (display != nullptr) {
            XCloseDisplay(display); // and the window with it
        }
    }
    void Swap() override { glXSwapBuffers(display, window); }
    bool WaitUntil(Deadline deadline) override;
    const char* Open(int width, int height) override;

    Display* display = nullptr;
    Window window = 0;
    GLXContext context = nullptr;
    Atom deleteWindow = None;
};

bool BareWindowX11::WaitUntil(Deadline deadline) {
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == ClientMessage &&
                static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow) {
                return false;
            }
        }
        int timeout = MillisecondsUntil(deadline);
        if (timeout == 0) {
            return true;
        }
        pollfd fd = {ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, timeout);
    }
}

const char* BareWindowX11::Open(int width, int height) {
    display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return "no X display";
    }
    // Window drawables with RGBA rendering are what glXChooseFBConfig looks for unless told.
    int attributes[] = {
        GLX_X_RENDERABLE, True, GLX_DOUBLEBUFFER, True, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8,
        GLX_BLUE_SIZE,    8,    GLX_DEPTH_SIZE,   24,   None};
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display, DefaultScreen(display), attributes, &count);
    if (configs == nullptr || count == 0) {
        return "no GLX configuration";
    }
    XVisualInfo* visual = glXGetVisualFromFBConfig(display, configs[0]);
    XSetWindowAttributes windowAttributes = {};
    windowAttributes.colormap =
        XCreateColormap(display, DefaultRootWindow(display), visual->visual, AllocNone);
    window = XCreateWindow(display, DefaultRootWindow(display), 0, 0, static_cast<unsigned>(width),
                           static_cast<unsigned>(height), 0, visual->depth, InputOutput,
                           visual->visual, CWColormap, &windowAttributes);
    XStoreName(display, window, "Tavik");
    deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteWindow, 1);
    context = glXCreateNewContext(display, configs[0], GLX_RGBA_TYPE, nullptr, True);
    XMapWindow(display, window);
    glXMakeContextCurrent(display, window, window, context);
    return nullptr;
}

} // namespace

std::unique_ptr<BareWindow> NewBareWindowX11() {
    return std::make_unique<BareWindowX11>();
}
