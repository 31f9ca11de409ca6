// The test program's own Xlib functions and clock: see x11_seams.h.
#include "x11_seams.h"

#include <dlfcn.h>

#include <GL/glx.h>
#include <X11/Xlib.h>

#include <ctime>

int windowsBeforeFailure = -1;
int colormapsBeforeFailure = -1;
bool fontsMissing = false;
bool focusNotViewable = false;
long configAttributeQueries = 0;
std::int64_t fakeNowNs = -1;

namespace {

// The library's own function of this name.
#define REAL(name)                                                                                 \
    static const auto real = reinterpret_cast<decltype(&name)>(dlsym(RTLD_NEXT, #name))

// True when the call is to fail; counts the calls that go through.
bool Fails(int* before) {
    return *before == 0 || (*before > 0 && --*before < 0);
}

} // namespace

extern "C" {

Window XCreateWindow(Display* display, Window parent, int x, int y, unsigned width, unsigned height,
                     unsigned border, int depth, unsigned windowClass, Visual* visual,
                     unsigned long mask, XSetWindowAttributes* attributes) {
    REAL(XCreateWindow);
    // A window without width: the server answers BadValue, as it does for any refusal.
    return real(display, parent, x, y, Fails(&windowsBeforeFailure) ? 0 : width, height, border,
                depth, windowClass, visual, mask, attributes);
}

Colormap XCreateColormap(Display* display, Window window, Visual* visual, int alloc) {
    REAL(XCreateColormap);
    // No window to take the screen from: the server answers BadWindow.
    return real(display, Fails(&colormapsBeforeFailure) ? None : window, visual, alloc);
}

XFontStruct* XLoadQueryFont(Display* display, const char* name) {
    REAL(XLoadQueryFont);
    return fontsMissing ? nullptr : real(display, name);
}

XFontStruct* XQueryFont(Display* display, XID font) {
    REAL(XQueryFont);
    return fontsMissing ? nullptr : real(display, font);
}

int XSetInputFocus(Display* display, Window focus, int revertTo, Time time) {
    REAL(XSetInputFocus);
    if (!focusNotViewable) {
        return real(display, focus, revertTo, time);
    }
    Window unmapped = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    int result = real(display, unmapped, revertTo, time);
    XDestroyWindow(display, unmapped);
    // The error arrives now rather than at whichever later call reads the connection.
    XSync(display, False);
    return result;
}

int glXGetFBConfigAttrib(Display* display, GLXFBConfig config, int attribute, int* value) {
    REAL(glXGetFBConfigAttrib);
    ++configAttributeQueries;
    return real(display, config, attribute, value);
}

} // extern "C"

std::int64_t NowNs() {
    if (fakeNowNs >= 0) {
        return fakeNowNs;
    }
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}
