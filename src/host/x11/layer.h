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
    // The toplevel that carries the startup id, once one has claimed it.
    Window startupWindow = 0;
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

// The window's icons (WM_SETICON) as its _NET_WM_ICON, which panels, task switchers and the frame
// show: every picture of the big icon, then of the small one where it is another icon.
void PutIconX11(Display* display, const AtomsX11& atoms, const WindowX11& window);
// The launch the program was started for belongs to the first of its toplevels to be mapped, the
// window or the message box. Claim, just before mapping: while the startup id is unclaimed, the
// toplevel carries it (_NET_STARTUP_ID). Complete, on the toplevel's MapNotify: if it holds the
// claim, the "remove" message of the startup-notification protocol on the root window ends the
// launcher's feedback, and the id is used up.
void ClaimStartupX11(Window handle);
void CompleteStartupX11(Window handle);

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
void SetIconX11(WindowLinux* window);
