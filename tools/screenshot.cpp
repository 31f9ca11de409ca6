// Waits for the viewer's window on the current display, saves a PNG of its client area, then
// closes it as the window manager would. Used by the run command where there is no display.
// Usage: tavik_screenshot OUT.png [SECONDS_TO_WAIT_BEFORE_THE_SHOT]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "x11_probe.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.png [SECONDS]\n", argv[0]);
        return 2;
    }
    const char* display = std::getenv("DISPLAY");
    X11Probe probe(display ? display : "");
    if (!probe.Connected()) {
        std::fprintf(stderr, "screenshot: cannot open the display\n");
        return 1;
    }
    Window window = probe.WaitForWindow("Tavik", 15000);
    if (window == 0) {
        std::fprintf(stderr, "screenshot: no window captioned Tavik appeared\n");
        return 1;
    }
    double seconds = argc > 2 ? std::atof(argv[2]) : 3.0;
    std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<int>(seconds * 1000)));
    bool saved = SavePng(probe.Grab(window), argv[1]);
    probe.SendClose(window);
    if (!saved) {
        std::fprintf(stderr, "screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("screenshot saved to %s\n", argv[1]);
    return 0;
}
