// Waits for the viewer's window on the current display, saves a PNG of its client area (written
// by ImageMagick's convert), then closes it as the window manager would. Used by the run command
// where there is no display. Usage: tavik_screenshot OUT.png [SECONDS_TO_WAIT_BEFORE_THE_SHOT]
#include <cstdio>
#include <cstdlib>

#include "wait.h"
#include "x11_window.h"

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
    Window window = WaitForWindow(display, "Tavik", 15000);
    if (window == 0) {
        std::fprintf(stderr, "screenshot: no window captioned Tavik appeared\n");
        return 1;
    }
    double seconds = argc > 2 ? std::atof(argv[2]) : 3.0;
    SleepMs(static_cast<int>(seconds * 1000));
    bool saved = SavePng(GrabArea(display, window), argv[1]);
    SendClose(display, window);
    XCloseDisplay(display);
    if (!saved) {
        std::fprintf(stderr, "screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("screenshot saved to %s\n", argv[1]);
    return 0;
}
