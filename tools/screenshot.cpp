// Waits for the viewer's window on the current display, saves a PNG of its client area (written
// by ImageMagick's convert), then closes it as the window manager would. Used by the run command
// where there is no display. Usage: tavik_screenshot OUT.png [SECONDS_TO_WAIT_BEFORE_THE_SHOT]
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// A shown window named `caption` under `window`, or 0.
Window FindShown(Display* display, Window window, const char* caption) {
    char* name = nullptr;
    XWindowAttributes attributes;
    bool match = XFetchName(display, window, &name) && std::string(name) == caption &&
                 XGetWindowAttributes(display, window, &attributes) &&
                 attributes.map_state == IsViewable;
    XFree(name);
    if (match) {
        return window;
    }
    Window root, parent, *children = nullptr, found = 0;
    unsigned count = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && found == 0; ++i) {
            found = FindShown(display, children[i], caption);
        }
        XFree(children);
    }
    return found;
}

int Shift(unsigned long mask) {
    int shift = 0;
    for (; mask != 0 && (mask & 1) == 0; mask >>= 1) {
        ++shift;
    }
    return shift;
}

// The window's pixels as a binary PPM, through convert into `path`.
bool SavePng(Display* display, Window window, const char* path) {
    XWindowAttributes attributes;
    XImage* image = nullptr;
    if (XGetWindowAttributes(display, window, &attributes)) {
        image = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes,
                          ZPixmap);
    }
    FILE* convert =
        image ? popen(("convert ppm:- 'png:" + std::string(path) + "'").c_str(), "w") : nullptr;
    if (convert == nullptr) {
        if (image) {
            XDestroyImage(image);
        }
        return false;
    }
    std::fprintf(convert, "P6\n%d %d\n255\n", image->width, image->height);
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x) {
            unsigned long pixel = XGetPixel(image, x, y);
            for (unsigned long mask : {image->red_mask, image->green_mask, image->blue_mask}) {
                std::fputc(static_cast<int>((pixel & mask) >> Shift(mask)), convert);
            }
        }
    }
    XDestroyImage(image);
    return pclose(convert) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.png [SECONDS]\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "screenshot: cannot open the display\n");
        return 1;
    }
    Window window = 0;
    for (int tries = 0; tries < 300 && window == 0; ++tries) {
        window = FindShown(display, DefaultRootWindow(display), "Tavik");
        if (window == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    if (window == 0) {
        std::fprintf(stderr, "screenshot: no window captioned Tavik appeared\n");
        return 1;
    }
    double seconds = argc > 2 ? std::atof(argv[2]) : 3.0;
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(seconds * 1000)));
    bool saved = SavePng(display, window, argv[1]);
    // The window manager's close: WM_PROTOCOLS / WM_DELETE_WINDOW.
    XEvent close = {};
    close.xclient.type = ClientMessage;
    close.xclient.window = window;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &close);
    XCloseDisplay(display);
    if (!saved) {
        std::fprintf(stderr, "screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("screenshot saved to %s\n", argv[1]);
    return 0;
}
