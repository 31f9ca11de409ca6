// Internal state of the Linux window-system layer: the display connection, the per-window
// state, the thread's message queue and timers, and the current OpenGL context.
// Only the layer's own files include this header.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/Xatom.h>
#include <GL/glx.h>

#include <cstdint>
#include <deque>
#include <vector>

#include "host/x11/pixel_format.h"
#include "host/x11/winapi.h"

struct DeviceContextX11 {
    WindowX11* window;
};

// Everything the layer knows about one window.
struct WindowX11 {
    DeviceContextX11 dc{this};
    Window handle = 0;
    Colormap colormap = 0;
    DLGPROC proc = nullptr;
    const char* caption = "";
    int x = 0;
    int y = 0;
    // Client size as last told to the dialog procedure; -1 until the first WM_SIZE.
    int reportedWidth = -1;
    int reportedHeight = -1;
    // Client size as the X server last reported it.
    int width = 0;
    int height = 0;
    bool shown = false;
    int pixelFormat = 0;
    GLXFBConfig config = nullptr;
};

struct ContextX11 {
    GLXContext handle;
};

struct TimerX11 {
    HWND hwnd;
    UINT_PTR id;
    std::int64_t intervalNs;
    std::int64_t deadlineNs;
};

struct AtomsX11 {
    Atom wmProtocols;
    Atom wmDeleteWindow;
    Atom netWmName;
    Atom utf8String;
    Atom motifWmHints;
    Atom netWmWindowType;
    Atom netWmWindowTypeNormal;
    Atom netWmAllowedActions;
    Atom netWmActionClose;
    Atom netWmActionMove;
    Atom netWmActionResize;
};

// The layer's state for the one user-interface thread.
struct LayerX11 {
    Display* display = nullptr;
    bool displayTried = false;
    int glxPresent = -1; // -1 until the server has been asked
    AtomsX11 atoms{};
    std::vector<WindowX11*> windows;
    std::deque<MSG> posted;
    bool quitPosted = false;
    int quitCode = 0;
    std::vector<TimerX11> timers;
    std::vector<ContextX11*> contexts;
    HDC currentDC = nullptr;
    HGLRC currentContext = nullptr;
};

LayerX11& Layer();
// The display connection, opened on first use; null (with a message on stderr) when there is none.
Display* OpenDisplayX11();
// The live window with this handle, or null for a destroyed or unknown one.
WindowX11* FindWindowX11(HWND hwnd);
// The live window that owns this X window, or null.
WindowX11* FindWindowByHandleX11(Window handle);
// The live window whose device context this is, or null.
WindowX11* FindWindowOfDCX11(HDC hdc);
// Creates (or re-creates, before it is first mapped) the X window with the given visual.
bool CreateNativeWindowX11(WindowX11* window, Visual* visual, int depth);
// What the pixel-format ranking needs to know of a GLX framebuffer configuration.
FramebufferConfigX11 DescribeConfigX11(Display* display, GLXFBConfig config);
// Monotonic clock in nanoseconds.
std::int64_t NowNs();

// Catches X protocol errors between Begin and End instead of letting Xlib abort the process.
// End returns the first error code seen (0 for none).
void BeginErrorTrapX11(Display* display);
int EndErrorTrapX11(Display* display);
