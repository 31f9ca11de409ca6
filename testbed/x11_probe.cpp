#include "x11_probe.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "wait.h"

namespace {

// Windows may vanish between a query and the next request; that is a normal answer here, which
// a request that must have done something (Done) asks about.
unsigned long errorCount = 0;
int CountErrors(Display*, XErrorEvent*) {
    ++errorCount;
    return 0;
}

void Collect(Display* display, Window window, std::vector<Window>* out) {
    out->push_back(window);
    Window root, parent;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) {
            Collect(display, children[i], out);
        }
        if (children) {
            XFree(children);
        }
    }
}

int Shift(unsigned long mask) {
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
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

Atom X11Probe::Intern(const char* name) {
    return XInternAtom(display_, name, False);
}

std::string X11Probe::AtomName(Atom atom) {
    char* name = XGetAtomName(display_, atom);
    std::string result = name ? name : "";
    if (name) {
        XFree(name);
    }
    return result;
}

std::string X11Probe::TextProperty(Window window, const char* name) {
    Atom type;
    int format;
    unsigned long items, after;
    unsigned char* data = nullptr;
    std::string result;
    if (XGetWindowProperty(display_, window, Intern(name), 0, 1 << 16, False, AnyPropertyType,
                           &type, &format, &items, &after, &data) == Success &&
        data && format == 8) {
        result.assign(reinterpret_cast<char*>(data), items);
    }
    if (data) {
        XFree(data);
    }
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
    if (data) {
        XFree(data);
    }
    if (typeOut != nullptr) {
        *typeOut = type;
    }
    return result;
}

std::vector<Window> X11Probe::FindWindows(const std::string& caption) {
    std::vector<Window> all, found;
    Collect(display_, DefaultRootWindow(display_), &all);
    for (Window window : all) {
        if (TextProperty(window, "WM_NAME") == caption ||
            TextProperty(window, "_NET_WM_NAME") == caption) {
            found.push_back(window);
        }
    }
    return found;
}

Window X11Probe::WaitForWindow(const std::string& caption, int timeoutMs, bool mapped) {
    Window found = 0;
    WaitUntil(
        [&] {
            for (Window window : FindWindows(caption)) {
                if (mapped ? IsShown(window) : Exists(window)) {
                    found = window;
                    return true;
                }
            }
            return false;
        },
        timeoutMs, 20);
    return found;
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

RgbImage X11Probe::Grab(Window window) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, window, &attributes)) {
        return RgbImage();
    }
    return GrabArea(window, 0, 0, attributes.width, attributes.height);
}

RgbImage X11Probe::GrabArea(Window window, int x0, int y0, int width, int height) {
    RgbImage image;
    if (width <= 0 || height <= 0) {
        return image;
    }
    XImage* ximage = XGetImage(display_, window, x0, y0, static_cast<unsigned>(width),
                               static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!ximage) {
        return image;
    }
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(image.width) * image.height * 3);
    int rs = Shift(ximage->red_mask), gs = Shift(ximage->green_mask), bs = Shift(ximage->blue_mask);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            unsigned long pixel = XGetPixel(ximage, x, y);
            unsigned char* out = &image.pixels[(y * image.width + x) * 3];
            out[0] = static_cast<unsigned char>((pixel & ximage->red_mask) >> rs);
            out[1] = static_cast<unsigned char>((pixel & ximage->green_mask) >> gs);
            out[2] = static_cast<unsigned char>((pixel & ximage->blue_mask) >> bs);
        }
    }
    XDestroyImage(ximage);
    return image;
}

bool X11Probe::Done() {
    unsigned long before = errorCount;
    XSync(display_, False);
    return errorCount == before;
}

bool X11Probe::SendClientMessage(Window target, Window window, const char* type,
                                 std::vector<long> data, long mask) {
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = Intern(type);
    event.xclient.format = 32;
    std::copy(data.begin(), data.begin() + std::min<std::size_t>(data.size(), 5),
              event.xclient.data.l);
    return XSendEvent(display_, target, False, mask, &event) != 0 && Done();
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

bool X11Probe::IsShown(Window window) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(display_, window, &attributes) &&
           attributes.map_state == IsViewable;
}

bool SavePng(const RgbImage& image, const std::string& path) {
    std::string ppm = path + ".ppm";
    FILE* out = std::fopen(ppm.c_str(), "wb");
    if (!out) {
        return false;
    }
    std::fprintf(out, "P6\n%d %d\n255\n", image.width, image.height);
    std::fwrite(image.pixels.data(), 1, image.pixels.size(), out);
    std::fclose(out);
    std::string command = "convert '" + ppm + "' '" + path + "' && rm -f '" + ppm + "'";
    return std::system(command.c_str()) == 0;
}
