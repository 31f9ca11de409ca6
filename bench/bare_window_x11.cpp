// The bare loop's window on X11: a GLX window at the top left.
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>

#include <cstdio>

#include "bare_window.h"

namespace {

class BareWindowX11 : public BareWindow {
  public:
    BareWindowX11(Display* display, Window window, GLXContext context)
        : display_(display), window_(window), context_(context),
          deleteWindow_(XInternAtom(display, "WM_DELETE_WINDOW", False)) {
        XSetWMProtocols(display_, window_, &deleteWindow_, 1);
    }
    ~BareWindowX11() override {
        glXMakeContextCurrent(display_, None, None, nullptr);
        glXDestroyContext(display_, context_);
        XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }
    void Swap() override { glXSwapBuffers(display_, window_); }
    bool WaitUntil(const timespec& deadline) override;

  private:
    Display* display_;
    Window window_;
    GLXContext context_;
    Atom deleteWindow_;
};

bool BareWindowX11::WaitUntil(const timespec& deadline) {
    for (;;) {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == ClientMessage &&
                static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow_) {
                return false;
            }
        }
        int timeout = MillisecondsUntil(deadline);
        if (timeout == 0) {
            return true;
        }
        pollfd fd = {ConnectionNumber(display_), POLLIN, 0};
        poll(&fd, 1, timeout);
    }
}

} // namespace

std::unique_ptr<BareWindow> OpenBareWindowX11(int width, int height) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fputs("bare_loop: no X display\n", stderr);
        return nullptr;
    }
    int attributes[] = {GLX_X_RENDERABLE,
                        True,
                        GLX_DRAWABLE_TYPE,
                        GLX_WINDOW_BIT,
                        GLX_RENDER_TYPE,
                        GLX_RGBA_BIT,
                        GLX_DOUBLEBUFFER,
                        True,
                        GLX_RED_SIZE,
                        8,
                        GLX_GREEN_SIZE,
                        8,
                        GLX_BLUE_SIZE,
                        8,
                        GLX_DEPTH_SIZE,
                        24,
                        None};
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display, DefaultScreen(display), attributes, &count);
    if (configs == nullptr || count == 0) {
        std::fputs("bare_loop: no GLX configuration\n", stderr);
        return nullptr;
    }
    XVisualInfo* visual = glXGetVisualFromFBConfig(display, configs[0]);
    XSetWindowAttributes windowAttributes = {};
    windowAttributes.colormap =
        XCreateColormap(display, DefaultRootWindow(display), visual->visual, AllocNone);
    Window window =
        XCreateWindow(display, DefaultRootWindow(display), 0, 0, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), 0, visual->depth, InputOutput, visual->visual,
                      CWColormap, &windowAttributes);
    XStoreName(display, window, "Tavik");
    GLXContext context = glXCreateNewContext(display, configs[0], GLX_RGBA_TYPE, nullptr, True);
    auto bare = std::make_unique<BareWindowX11>(display, window, context);
    XMapWindow(display, window);
    glXMakeContextCurrent(display, window, window, context);
    return bare;
}
