#include "x11_window.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>

#include "wait.h"

namespace {

void Collect(Display* display, Window window, std::vector<Window>* out) {
    out->push_back(window);
    Window root, parent;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) {
            Collect(display, children[i], out);
        }
        XFree(children);
    }
}

} // namespace

std::string TextProperty(Display* display, Window window, const char* name) {
    XTextProperty text = {};
    std::string result;
    if (XGetTextProperty(display, window, &text, XInternAtom(display, name, False)) &&
        text.format == 8) {
        result.assign(reinterpret_cast<char*>(text.value), text.nitems);
    }
    XFree(text.value);
    return result;
}

std::vector<Window> FindWindows(Display* display, const std::string& caption) {
    std::vector<Window> all, found;
    Collect(display, DefaultRootWindow(display), &all);
    for (Window window : all) {
        if (TextProperty(display, window, "WM_NAME") == caption ||
            TextProperty(display, window, "_NET_WM_NAME") == caption) {
            found.push_back(window);
        }
    }
    return found;
}

Window WaitForWindow(Display* display, const std::string& caption, int timeoutMs) {
    Window found = 0;
    WaitUntil(
        [&] {
            for (Window window : FindWindows(display, caption)) {
                if (IsShown(display, window)) {
                    found = window;
                    return true;
                }
            }
            return false;
        },
        timeoutMs, 20);
    return found;
}

bool IsShown(Display* display, Window window) {
    XWindowAttributes attributes;
    return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

RgbImage GrabArea(Display* display, Window window, int x0, int y0, int width, int height) {
    XWindowAttributes attributes;
    if (width == 0 && XGetWindowAttributes(display, window, &attributes)) {
        width = attributes.width;
        height = attributes.height;
    }
    RgbImage image;
    XImage* ximage = width <= 0 || height <= 0
                         ? nullptr
                         : XGetImage(display, window, x0, y0, static_cast<unsigned>(width),
                                     static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!ximage) {
        return image;
    }
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(image.width) * image.height * 3);
    // Each channel's lowest bit in a pixel (none on a visual without colour masks).
    auto shift = [](unsigned long mask) { return mask != 0 ? __builtin_ctzl(mask) : 0; };
    int rs = shift(ximage->red_mask), gs = shift(ximage->green_mask), bs = shift(ximage->blue_mask);
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

bool SendClientMessage(Display* display, Window target, Window window, const char* type,
                       std::vector<long> data, long mask) {
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, type, False);
    event.xclient.format = 32;
    std::copy(data.begin(), data.begin() + std::min<std::size_t>(data.size(), 5),
              event.xclient.data.l);
    return XSendEvent(display, target, False, mask, &event) != 0;
}

bool SendClose(Display* display, Window window) {
    return SendClientMessage(
        display, window, window, "WM_PROTOCOLS",
        {static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False)), CurrentTime});
}

bool SavePng(const RgbImage& image, const std::string& path) {
    FILE* convert = popen(("convert ppm:- 'png:" + path + "'").c_str(), "w");
    if (convert == nullptr) {
        return false;
    }
    std::fprintf(convert, "P6\n%d %d\n255\n", image.width, image.height);
    std::fwrite(image.pixels.data(), 1, image.pixels.size(), convert);
    return pclose(convert) == 0;
}
