#include "x11_probe.h"

namespace {

// Windows may vanish between a query and the next request; that is a normal answer here, which
// a request that must have done something (Done) asks about.
unsigned long errorCount = 0;
int CountErrors(Display*, XErrorEvent*) {
    ++errorCount;
    return 0;
}

} // namespace

X11Probe::X11Probe(const std::string& display) : display_(XOpenDisplay(display.c_str())) {
    XSetErrorHandler(CountErrors);
}

X11Probe::~X11Probe() {
    if (display_) {
        XCloseDisplay(display_);
    }
}

std::string X11Probe::AtomName(Atom atom) {
    char* name = XGetAtomName(display_, atom);
    std::string result = name ? name : "";
    XFree(name);
    return result;
}

std::vector<unsigned long> X11Probe::LongProperty(Window window, const char* name, Atom* typeOut) {
    Atom type = None;
    int format;
    unsigned long items, after;
    unsigned char* data = nullptr;
    std::vector<unsigned long> result;
    if (XGetWindowProperty(display_, window, Intern(name), 0, 1 << 16, False, AnyPropertyType,
                           &type, &format, &items, &after, &data) == Success &&
        data && format == 32) {
        auto* values = reinterpret_cast<unsigned long*>(data);
        result.assign(values, values + items);
    }
    XFree(data);
    if (typeOut != nullptr) {
        *typeOut = type;
    }
    return result;
}

bool X11Probe::Geometry(Window window, int* x, int* y, int* width, int* height) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, window, &attributes)) {
        return false;
    }
    Window child;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, x, y, &child);
    *width = attributes.width;
    *height = attributes.height;
    return true;
}

bool X11Probe::Done() {
    unsigned long before = errorCount;
    XSync(display_, False);
    return errorCount == before;
}

void X11Probe::SendKey(Window window, unsigned long keysym) {
    XEvent event = {};
    event.xkey.display = display_;
    event.xkey.window = window;
    event.xkey.root = DefaultRootWindow(display_);
    event.xkey.same_screen = True;
    event.xkey.keycode = XKeysymToKeycode(display_, keysym);
    event.xkey.type = KeyPress;
    XSendEvent(display_, window, True, KeyPressMask, &event);
    event.xkey.type = KeyRelease;
    XSendEvent(display_, window, True, KeyReleaseMask, &event);
    XFlush(display_);
}

bool X11Probe::Resize(Window window, int width, int height) {
    XResizeWindow(display_, window, static_cast<unsigned>(width), static_cast<unsigned>(height));
    int x, y, newWidth, newHeight;
    return Done() && Geometry(window, &x, &y, &newWidth, &newHeight) && newWidth == width &&
           newHeight == height;
}

bool X11Probe::Move(Window window, int x, int y) {
    XMoveWindow(display_, window, x, y);
    int newX, newY, width, height;
    return Done() && Geometry(window, &newX, &newY, &width, &height) && newX == x && newY == y;
}

bool X11Probe::Exists(Window window) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(display_, window, &attributes) != 0;
}
