// The X11 backend's connection: the display, the atoms the backend uses, the trapping of X
// errors, and the table of entry points it gives the Linux layer.
#include "host/x11/layer.h"

#include <unistd.h>

#include <X11/XKBlib.h>

#include <algorithm>
#include <cstdio>

namespace {

int trappedError = 0;
int (*previousErrorHandler)(Display*, XErrorEvent*) = nullptr;

int TrapError(Display*, XErrorEvent* event) {
    if (trappedError == 0) {
        trappedError = event->error_code;
    }
    return 0;
}

// A lost connection cannot be recovered from: say so and end at once. Returning would let Xlib
// end the process with its own less helpful text; exit() could run into library teardown that
// talks to the dead connection again.
int ReportLostDisplay(Display*) {
    std::fputs("X11: the connection to the display was lost; Tavik ends\n", stderr);
    _exit(1);
}

void InternAtoms(Display* display, AtomsX11* atoms) {
    struct Name {
        Atom* atom;
        const char* name;
    };
    const Name names[] = {
        {&atoms->wmProtocols, "WM_PROTOCOLS"},
        {&atoms->wmDeleteWindow, "WM_DELETE_WINDOW"},
        {&atoms->netWmPing, "_NET_WM_PING"},
        {&atoms->netWmPid, "_NET_WM_PID"},
        {&atoms->netWmName, "_NET_WM_NAME"},
        {&atoms->utf8String, "UTF8_STRING"},
        {&atoms->motifWmHints, "_MOTIF_WM_HINTS"},
        {&atoms->netWmWindowType, "_NET_WM_WINDOW_TYPE"},
        {&atoms->netWmWindowTypeNormal, "_NET_WM_WINDOW_TYPE_NORMAL"},
        {&atoms->netWmAllowedActions, "_NET_WM_ALLOWED_ACTIONS"},
        {&atoms->netWmActionClose, "_NET_WM_ACTION_CLOSE"},
        {&atoms->netWmActionMove, "_NET_WM_ACTION_MOVE"},
        {&atoms->netWmActionResize, "_NET_WM_ACTION_RESIZE"},
        {&atoms->netWmIcon, "_NET_WM_ICON"},
        {&atoms->netStartupId, "_NET_STARTUP_ID"},
        {&atoms->netStartupInfoBegin, "_NET_STARTUP_INFO_BEGIN"},
        {&atoms->netStartupInfo, "_NET_STARTUP_INFO"},
    };
    // All in one request: each XInternAtom would wait for its own reply from the server.
    constexpr int count = sizeof names / sizeof names[0];
    char* list[count];
    Atom atomList[count];
    for (int i = 0; i < count; ++i) {
        list[i] = const_cast<char*>(names[i].name);
    }
    XInternAtoms(display, list, count, False, atomList);
    for (int i = 0; i < count; ++i) {
        *names[i].atom = atomList[i];
    }
}

} // namespace

LayerX11& Layer() {
    static LayerX11 layer;
    return layer;
}

Display* OpenDisplayX11() {
    LayerX11& layer = Layer();
    if (!layer.displayTried) {
        layer.displayTried = true;
        // Set before opening: XOpenDisplay itself talks to the server after it has connected,
        // and a server that ends then would otherwise get Xlib's own message.
        XSetIOErrorHandler(ReportLostDisplay);
        layer.display = XOpenDisplay(nullptr);
        // NOTE: a server under heavy load can refuse a connection for a moment when its listen
        // queue is full; try twice more before giving up, but only where a display is named.
        const char* named = XDisplayName(nullptr);
        for (int retry = 0; layer.display == nullptr && named && *named && retry < 2; ++retry) {
            usleep(100000);
            layer.display = XOpenDisplay(nullptr);
        }
        if (layer.display == nullptr) {
            const char* name = XDisplayName(nullptr);
            std::fprintf(stderr, "X11: cannot open display \"%s\"\n", name ? name : "");
        } else {
            InternAtoms(layer.display, &layer.atoms);
            // A held key repeats as presses alone, as on Windows, not as release-press pairs.
            Bool detectable = False;
            XkbSetDetectableAutoRepeat(layer.display, True, &detectable);
        }
    }
    return layer.display;
}

WindowX11* FindWindowByHandleX11(Window handle) {
    for (WindowLinux* window : LinuxLayer().windows) {
        auto* windowX11 = static_cast<WindowX11*>(window);
        if (windowX11->handle == handle) {
            return windowX11;
        }
    }
    return nullptr;
}

bool ConnectX11(PlatformLinux* platform) {
    if (OpenDisplayX11() == nullptr) {
        return false;
    }
    *platform = PlatformLinux{"X11",
                              CreateWindowX11,
                              ShowWindowX11,
                              DestroyWindowX11,
                              PollEventsX11,
                              WaitEventsX11,
                              ChoosePixelFormatX11,
                              SetPixelFormatX11,
                              CreateContextX11,
                              MakeCurrentX11,
                              DeleteContextX11,
                              SwapBuffersX11,
                              MessageBoxX11,
                              SetIconX11};
    return true;
}

void BeginErrorTrapX11(Display* display) {
    // Errors of earlier requests are not the trap's: let them arrive first, unless the server
    // has answered every request already (a round trip saved).
    if (XNextRequest(display) - 1 != XLastKnownRequestProcessed(display)) {
        XSync(display, False);
    }
    trappedError = 0;
    previousErrorHandler = XSetErrorHandler(TrapError);
}

int EndErrorTrapX11(Display* display) {
    XSync(display, False);
    XSetErrorHandler(previousErrorHandler);
    return trappedError;
}
