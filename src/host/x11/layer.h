// Internal state of the X11 backend of the Linux layer: the display connection, its atoms and
// the per-window X resources. Only the backend's own files include this header.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/Xatom.h>
#include <GL/glx.h>

#include "host/linux/layer.h"
#include "host/linux/pixel_format.h"

// Everything the X11 backend knows about one window.
struct WindowX11 : WindowLinux {
    Window handle = 0;
    Colormap colormap = 0;
    int x = 0;
    int y = 0;
    GLXFBConfig config = nullptr;
};

struct ContextX11 : ContextLinux {
    explicit ContextX11(GLXContext context) : handle(context) {}
    GLXContext handle;
};

struct AtomsX11 {
    Atom wmProtocols;
    Atom wmDeleteWindow;
    Atom netWmPing;
    Atom netWmPid;
    Atom netWmName;
    Atom utf8String;
    Atom motifWmHints;
    Atom netWmWindowType;
    Atom netWmWindowTypeNormal;
    Atom netWmAllowedActions;
    Atom netWmActionClose;
    Atom netWmActionMove;
    Atom netWmActionResize;
    Atom netWmIcon;
    Atom netStartupId;
    Atom netStartupInfoBegin;
    Atom netStartupInfo;
};

// The backend's state for the one user-interface thread.
struct LayerX11 {
    Display* display = nullptr;
    bool displayTried = false;
    int glxPresent = -1; // -1 until the server has been asked
    AtomsX11 atoms{};
};

LayerX11& Layer();
// The display connection, opened on first use; null (with a message on stderr) when there is none.
Display* OpenDisplayX11();
// The live window that owns this X window, or null.
WindowX11* FindWindowByHandleX11(Window handle);
// Creates (or re-creates, before it is first mapped) the X window with the given visual.
bool CreateNativeWindowX11(WindowX11* window, Visual* visual, int depth);
// What the pixel-format ranking needs to know of a GLX framebuffer configuration.
FramebufferConfig DescribeConfigX11(Display* display, GLXFBConfig config);

// Catches X protocol errors between Begin and End instead of letting Xlib abort the process.
// End returns the first error code seen (0 for none).
void BeginErrorTrapX11(Display* display);
int EndErrorTrapX11(Display* display);

// The window's icon as _NET_WM_ICON data (width, height, then ARGB pixels, per size), generated
// at build time from the icon's PNG renderings.
extern const unsigned long kWindowIconX11[];
extern const std::size_t kWindowIconX11Length;
// Ends the launcher's feedback for the startup id the program was given, once its window is
// mapped: the "remove" message of the startup-notification protocol on the root window.
void CompleteStartupX11(WindowX11* window);

// The backend's entry points, by file: windows (window.cpp), events (events.cpp), pixel formats and
// contexts (context.cpp), the message box (message_box.cpp).
WindowLinux* CreateWindowX11(const DialogTemplateLinux& dialog);
void ShowWindowX11(WindowLinux* window);
void DestroyWindowX11(WindowLinux* window);
void PollEventsX11();
void WaitEventsX11(std::int64_t deadlineNs);
int ChoosePixelFormatX11(WindowLinux* window, const PIXELFORMATDESCRIPTOR& request);
bool SetPixelFormatX11(WindowLinux* window, int format);
ContextLinux* CreateContextX11(WindowLinux* window);
bool MakeCurrentX11(WindowLinux* window, ContextLinux* context);
void DeleteContextX11(ContextLinux* context);
bool SwapBuffersX11(WindowLinux* window);
bool MessageBoxX11(LPCWSTR text, LPCWSTR caption);
