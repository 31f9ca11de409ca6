// Windows of the X11 backend: the dialog window made from its template, showing and destroying.
// The X window is created with the screen's default visual and re-created with the visual of the
// pixel format once one is set, before it is first mapped (an X window's visual is fixed).
#include "host/x11/layer.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/linux/dialog_units.h"

namespace {

// Motif window-manager hints: which functions and decorations the frame offers.
struct MotifWmHints {
    unsigned long flags;
    unsigned long functions;
    unsigned long decorations;
    long inputMode;
    unsigned long status;
};
constexpr unsigned long kMwmHintsFunctions = 1;
constexpr unsigned long kMwmHintsDecorations = 2;
constexpr unsigned long kMwmFuncResize = 2;
constexpr unsigned long kMwmFuncMove = 4;
constexpr unsigned long kMwmFuncClose = 32;
constexpr unsigned long kMwmDecorBorder = 2;
constexpr unsigned long kMwmDecorResizeH = 4;
constexpr unsigned long kMwmDecorTitle = 8;
constexpr unsigned long kMwmDecorMenu = 16;

// The dialog style: caption, system menu with close, sizing border, no minimise or maximise.
void SetWindowManagerHints(Display* display, const AtomsX11& atoms, const WindowX11& window,
                           const char* caption) {
    XStoreName(display, window.handle, caption);
    XChangeProperty(display, window.handle, atoms.netWmName, atoms.utf8String, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(caption),
                    static_cast<int>(std::strlen(caption)));

    XClassHint classHint;
    char resName[] = "tavik";
    char resClass[] = "Tavik";
    classHint.res_name = resName;
    classHint.res_class = resClass;
    XSetClassHint(display, window.handle, &classHint);

    XSizeHints sizeHints = {};
    sizeHints.flags = USPosition | PPosition | USSize | PSize | PWinGravity;
    sizeHints.x = window.x;
    sizeHints.y = window.y;
    sizeHints.width = window.width;
    sizeHints.height = window.height;
    sizeHints.win_gravity = NorthWestGravity;
    XSetWMNormalHints(display, window.handle, &sizeHints);

    XWMHints wmHints = {};
    wmHints.flags = InputHint | StateHint;
    wmHints.input = True;
    wmHints.initial_state = NormalState;
    XSetWMHints(display, window.handle, &wmHints);

    // The window manager's close, and its check that the program still answers; with the
    // process id and host beside it, a desktop can offer to end a program that has hung.
    Atom protocols[] = {atoms.wmDeleteWindow, atoms.netWmPing};
    XSetWMProtocols(display, window.handle, protocols, 2);
    long pid = static_cast<long>(getpid());
    XChangeProperty(display, window.handle, atoms.netWmPid, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) {
        char* hostList[] = {host};
        XTextProperty machine = {};
        if (XStringListToTextProperty(hostList, 1, &machine) != 0) {
            XSetWMClientMachine(display, window.handle, &machine);
            XFree(machine.value);
        }
    }

    MotifWmHints motif = {};
    motif.flags = kMwmHintsFunctions | kMwmHintsDecorations;
    motif.functions = kMwmFuncResize | kMwmFuncMove | kMwmFuncClose;
    motif.decorations = kMwmDecorBorder | kMwmDecorResizeH | kMwmDecorTitle | kMwmDecorMenu;
    XChangeProperty(display, window.handle, atoms.motifWmHints, atoms.motifWmHints, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&motif), 5);

    // A window made again for its pixel format keeps the icons it was given.
    PutIconX11(display, atoms, window);

    XChangeProperty(display, window.handle, atoms.netWmWindowType, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&atoms.netWmWindowTypeNormal), 1);
    Atom allowed[] = {atoms.netWmActionMove, atoms.netWmActionResize, atoms.netWmActionClose};
    XChangeProperty(display, window.handle, atoms.netWmAllowedActions, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(allowed), 3);
}

// A value of a startup-notification message: quoted, with backslashes before quotes and
// backslashes, when it holds a space, a quote or a backslash.
std::string QuotedStartupValue(const std::string& value) {
    if (value.find_first_of(" \"\\") == std::string::npos) {
        return value;
    }
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

} // namespace

void PutIconX11(Display* display, const AtomsX11& atoms, const WindowX11& window) {
    HICON icons[] = {window.bigIcon,
                     window.smallIcon != window.bigIcon ? window.smallIcon : nullptr};
    std::vector<unsigned long> images;
    for (HICON icon : icons) {
        if (icon != nullptr) {
            images.insert(images.end(), icon->images, icon->images + icon->length);
        }
    }
    if (images.empty()) {
        XDeleteProperty(display, window.handle, atoms.netWmIcon);
        return;
    }
    XChangeProperty(display, window.handle, atoms.netWmIcon, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(images.data()),
                    static_cast<int>(images.size()));
}

void ClaimStartupX11(Window handle) {
    const std::string& startupId = LinuxLayer().startupId;
    LayerX11& layer = Layer();
    if (startupId.empty() || layer.startupWindow != 0) {
        return;
    }
    layer.startupWindow = handle;
    XChangeProperty(layer.display, handle, layer.atoms.netStartupId, layer.atoms.utf8String, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(startupId.c_str()),
                    static_cast<int>(startupId.size()));
}

void CompleteStartupX11(Window handle) {
    std::string& startupId = LinuxLayer().startupId;
    if (startupId.empty() || handle != Layer().startupWindow) {
        return;
    }
    Display* display = Layer().display;
    const AtomsX11& atoms = Layer().atoms;
    // The message, with its terminating NUL, goes in pieces of 20 bytes: the first as
    // _NET_STARTUP_INFO_BEGIN, the rest as _NET_STARTUP_INFO, to the root window, from a window
    // made for them alone (unmapped, and left alone by the window manager) that then goes.
    std::string message = "remove: ID=" + QuotedStartupValue(startupId);
    message.push_back('\0');
    Window root = DefaultRootWindow(display);
    XSetWindowAttributes attributes = {};
    attributes.override_redirect = True;
    Window sender = XCreateWindow(display, root, -100, -100, 1, 1, 0, 0, InputOnly, CopyFromParent,
                                  CWOverrideRedirect, &attributes);
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.display = display;
    event.xclient.window = sender;
    event.xclient.format = 8;
    constexpr std::size_t kPiece = sizeof event.xclient.data.b;
    for (std::size_t offset = 0; offset < message.size(); offset += kPiece) {
        event.xclient.message_type = offset == 0 ? atoms.netStartupInfoBegin : atoms.netStartupInfo;
        std::size_t length = std::min(kPiece, message.size() - offset);
        std::memset(event.xclient.data.b, 0, kPiece);
        std::memcpy(event.xclient.data.b, message.data() + offset, length);
        XSendEvent(display, root, False, PropertyChangeMask, &event);
    }
    XDestroyWindow(display, sender);
    XFlush(display);
    startupId.clear();
}

bool CreateNativeWindowX11(WindowX11* window, Visual* visual, int depth) {
    Display* display = Layer().display;
    if (window->shown) {
        return false;
    }
    Window root = DefaultRootWindow(display);
    BeginErrorTrapX11(display);
    Colormap colormap = XCreateColormap(display, root, visual, AllocNone);
    XSetWindowAttributes attributes = {};
    attributes.colormap = colormap;
    attributes.border_pixel = 0;
    attributes.background_pixel = 0;
    attributes.event_mask = StructureNotifyMask | ExposureMask | KeyPressMask | KeyReleaseMask |
                            ButtonPressMask | ButtonReleaseMask;
    Window handle =
        XCreateWindow(display, root, window->x, window->y, static_cast<unsigned>(window->width),
                      static_cast<unsigned>(window->height), 0, depth, InputOutput, visual,
                      CWColormap | CWBorderPixel | CWBackPixel | CWEventMask, &attributes);
    int error = EndErrorTrapX11(display);
    if (error != 0 || handle == 0) {
        std::fprintf(stderr, "X11: cannot create the window (X error %d)\n", error);
        // Either resource may not exist on the server: release them inside a trap as well.
        BeginErrorTrapX11(display);
        if (handle != 0) {
            XDestroyWindow(display, handle);
        }
        XFreeColormap(display, colormap);
        EndErrorTrapX11(display);
        // A window being re-created keeps the X window it had, so that it stays usable.
        return false;
    }
    if (window->handle != 0) {
        XDestroyWindow(display, window->handle);
        XFreeColormap(display, window->colormap);
    }
    window->handle = handle;
    window->colormap = colormap;
    SetWindowManagerHints(display, Layer().atoms, *window, window->caption);
    return true;
}

WindowLinux* CreateWindowX11(const DialogTemplateLinux& dialog) {
    Display* display = Layer().display;
    DialogBaseUnits base = DialogBaseUnitsForDpi(ParseXftDpi(XResourceManagerString(display)));
    WindowX11* window = new WindowX11;
    window->caption = dialog.caption;
    window->x = DialogUnitsToPixelsX(dialog.x, base);
    window->y = DialogUnitsToPixelsY(dialog.y, base);
    window->width = std::max(1, DialogUnitsToPixelsX(dialog.width, base));
    window->height = std::max(1, DialogUnitsToPixelsY(dialog.height, base));
    int screen = DefaultScreen(display);
    if (!CreateNativeWindowX11(window, DefaultVisual(display, screen),
                               DefaultDepth(display, screen))) {
        delete window;
        return nullptr;
    }
    return window;
}

void ShowWindowX11(WindowLinux* window) {
    Window handle = static_cast<WindowX11*>(window)->handle;
    ClaimStartupX11(handle);
    XMapWindow(Layer().display, handle);
    XFlush(Layer().display);
}

void SetIconX11(WindowLinux* window) {
    PutIconX11(Layer().display, Layer().atoms, *static_cast<WindowX11*>(window));
    XFlush(Layer().display);
}

void DestroyWindowX11(WindowLinux* windowLinux) {
    auto* window = static_cast<WindowX11*>(windowLinux);
    Display* display = Layer().display;
    XDestroyWindow(display, window->handle);
    XFreeColormap(display, window->colormap);
    XFlush(display);
    delete window;
}
