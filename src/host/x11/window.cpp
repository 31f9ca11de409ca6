// Windows of the Linux layer: the dialog window made from its template, showing and destroying.
// The X window is created with the screen's default visual and re-created with the visual of the
// pixel format once one is set, before it is first mapped (an X window's visual is fixed).
#include "host/x11/layer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host/resource.h"
#include "host/x11/dialog_units.h"

namespace {

// The dialog templates the program carries; the resource script holds the same values.
struct DialogTemplateX11 {
    int id;
    int x, y, width, height;
    const char* caption;
};

constexpr DialogTemplateX11 kTemplates[] = {
    {IDD_MAIN, IDD_MAIN_X, IDD_MAIN_Y, IDD_MAIN_WIDTH, IDD_MAIN_HEIGHT, IDD_MAIN_CAPTION},
};

const DialogTemplateX11* FindTemplate(LPCWSTR name) {
    UINT_PTR id = reinterpret_cast<UINT_PTR>(name);
    for (const DialogTemplateX11& dialog : kTemplates) {
        if (static_cast<UINT_PTR>(dialog.id) == id) {
            return &dialog;
        }
    }
    return nullptr;
}

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

    Atom protocols[] = {atoms.wmDeleteWindow};
    XSetWMProtocols(display, window.handle, protocols, 1);

    MotifWmHints motif = {};
    motif.flags = kMwmHintsFunctions | kMwmHintsDecorations;
    motif.functions = kMwmFuncResize | kMwmFuncMove | kMwmFuncClose;
    motif.decorations = kMwmDecorBorder | kMwmDecorResizeH | kMwmDecorTitle | kMwmDecorMenu;
    XChangeProperty(display, window.handle, atoms.motifWmHints, atoms.motifWmHints, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&motif), 5);

    XChangeProperty(display, window.handle, atoms.netWmWindowType, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&atoms.netWmWindowTypeNormal), 1);
    Atom allowed[] = {atoms.netWmActionMove, atoms.netWmActionResize, atoms.netWmActionClose};
    XChangeProperty(display, window.handle, atoms.netWmAllowedActions, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(allowed), 3);
}

} // namespace

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

HWND CreateDialogParamW(HINSTANCE, LPCWSTR lpTemplateName, HWND, DLGPROC lpDialogFunc,
                        LPARAM dwInitParam) {
    const DialogTemplateX11* dialog = FindTemplate(lpTemplateName);
    if (dialog == nullptr) {
        std::fputs("X11: no dialog template with that identifier\n", stderr);
        return nullptr;
    }
    Display* display = OpenDisplayX11();
    if (display == nullptr) {
        return nullptr;
    }
    DialogBaseUnits base = DialogBaseUnitsForDpi(ParseXftDpi(XResourceManagerString(display)));
    WindowX11* window = new WindowX11;
    window->proc = lpDialogFunc;
    window->caption = dialog->caption;
    window->x = DialogUnitsToPixelsX(dialog->x, base);
    window->y = DialogUnitsToPixelsY(dialog->y, base);
    window->width = std::max(1, DialogUnitsToPixelsX(dialog->width, base));
    window->height = std::max(1, DialogUnitsToPixelsY(dialog->height, base));
    int screen = DefaultScreen(display);
    if (!CreateNativeWindowX11(window, DefaultVisual(display, screen),
                               DefaultDepth(display, screen))) {
        delete window;
        return nullptr;
    }
    Layer().windows.push_back(window);
    if (window->proc != nullptr) {
        window->proc(window, WM_INITDIALOG, 0, dwInitParam);
    }
    return FindWindowX11(window);
}

BOOL ShowWindow(HWND hWnd, int) {
    WindowX11* window = FindWindowX11(hWnd);
    if (window == nullptr) {
        return FALSE;
    }
    bool wasShown = window->shown;
    if (wasShown) {
        return TRUE;
    }
    window->shown = true;
    XMapWindow(Layer().display, window->handle);
    XFlush(Layer().display);
    // The platform sends a top-level window its first size message when it is first shown; the
    // dialog procedure relies on it to set up its projection.
    window->reportedWidth = window->width;
    window->reportedHeight = window->height;
    if (window->proc != nullptr) {
        window->proc(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(window->width, window->height));
    }
    return FALSE;
}

BOOL DestroyWindow(HWND hWnd) {
    WindowX11* window = FindWindowX11(hWnd);
    if (window == nullptr) {
        return FALSE;
    }
    LayerX11& layer = Layer();
    if (window->proc != nullptr) {
        window->proc(window, WM_DESTROY, 0, 0);
    }
    // NOTE: a context still current on this window would be bound to a drawable that is about to
    // vanish, which GLX reports as an error on the next call; release it first.
    if (layer.currentDC == &window->dc) {
        glXMakeContextCurrent(layer.display, None, None, nullptr);
        layer.currentDC = nullptr;
        layer.currentContext = nullptr;
    }
    layer.timers.erase(std::remove_if(layer.timers.begin(), layer.timers.end(),
                                      [&](const TimerX11& timer) { return timer.hwnd == window; }),
                       layer.timers.end());
    layer.posted.erase(std::remove_if(layer.posted.begin(), layer.posted.end(),
                                      [&](const MSG& msg) { return msg.hwnd == window; }),
                       layer.posted.end());
    layer.windows.erase(std::find(layer.windows.begin(), layer.windows.end(), window));
    XDestroyWindow(layer.display, window->handle);
    XFreeColormap(layer.display, window->colormap);
    XFlush(layer.display);
    delete window;
    return TRUE;
}
