// State of the Linux window-system layer that does not depend on the window system: the windows,
// the thread's message queue and timers, the current OpenGL context, and the table of entry
// points that the chosen backend (Wayland or X11) fills. Only the layer's own files include it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <string>
#include <vector>

#include "host/linux/winapi.h"

struct DeviceContextLinux {
    WindowLinux* window;
};

// What every backend keeps for a window; each backend's own window struct extends it.
struct WindowLinux {
    DeviceContextLinux dc{this};
    DLGPROC proc = nullptr;
    const char* caption = "";
    // Client size in pixels as last told to the dialog procedure; -1 until the first WM_SIZE.
    int reportedWidth = -1;
    int reportedHeight = -1;
    // Client size in pixels as the window system last reported it.
    int width = 0;
    int height = 0;
    bool shown = false;
    int pixelFormat = 0;
    // The icons WM_SETICON gave the window (null: none).
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;

    virtual ~WindowLinux() = default;
};

// An icon the program carries: every picture of its icon group, as _NET_WM_ICON holds them
// (width, height, then that many ARGB pixels, per picture).
struct IconLinux {
    int id;
    const unsigned long* images;
    std::size_t length;
};

// The program's icon (IDI_TAVIK), generated at build time from the icon's PNG renderings.
extern const unsigned long kTavikIconLinux[];
extern const std::size_t kTavikIconLinuxLength;

// An OpenGL context; each backend's own context struct extends it.
struct ContextLinux {
    virtual ~ContextLinux() = default;
};

// A dialog template the program carries; the resource script holds the same values.
struct DialogTemplateLinux {
    int id;
    int x, y, width, height; // dialog units
    const char* caption;
};

// The entry points each backend provides. The Win32-named functions call through this table and
// keep everything that does not depend on the window system (the window list, the queue, the
// timers, the current context) to themselves.
struct PlatformLinux {
    const char* name;
    // A new, not yet shown window for the template with its client size in pixels; null on failure.
    WindowLinux* (*createWindow)(const DialogTemplateLinux& dialog);
    // Makes the window visible; on return width and height hold its client size.
    void (*showWindow)(WindowLinux* window);
    // Releases the window's resources and the window itself.
    void (*destroyWindow)(WindowLinux* window);
    // Takes every pending event: posts what becomes a message, records new client sizes.
    void (*pollEvents)();
    // Waits for an event or until `deadlineNs` (no deadline when negative).
    void (*waitEvents)(std::int64_t deadlineNs);
    // 1-based index of the closest pixel format, 0 when none can serve the request.
    int (*choosePixelFormat)(WindowLinux* window, const PIXELFORMATDESCRIPTOR& request);
    bool (*setPixelFormat)(WindowLinux* window, int format);
    ContextLinux* (*createContext)(WindowLinux* window);
    // Makes the context current on the window; both null releases the current one.
    bool (*makeCurrent)(WindowLinux* window, ContextLinux* context);
    void (*deleteContext)(ContextLinux* context);
    bool (*swapBuffers)(WindowLinux* window);
    // A modal box with the text, the caption as title and an OK button; false, having shown
    // nothing, when the window system cannot show one.
    bool (*messageBox)(LPCWSTR text, LPCWSTR caption);
    // Shows the window's icons (bigIcon, smallIcon) where the window system takes them from the
    // window.
    void (*setIcon)(WindowLinux* window);
};

// Fill the table and return true when their window system is reachable.
bool ConnectWayland(PlatformLinux* platform);
bool ConnectX11(PlatformLinux* platform);
// Whether an EGL context of the Wayland backend is current; false, without loading EGL, when the
// backend never connected.
bool EglContextCurrentWayland();

struct TimerLinux {
    HWND hwnd;
    UINT_PTR id;
    std::int64_t intervalNs;
    std::int64_t deadlineNs;
};

// The layer's state for the one user-interface thread.
struct LayerLinux {
    bool platformChosen = false;
    bool platformConnected = false;
    PlatformLinux platform{};
    std::vector<WindowLinux*> windows;
    std::deque<MSG> posted;
    bool quitPosted = false;
    int quitCode = 0;
    std::vector<TimerLinux> timers;
    std::vector<ContextLinux*> contexts;
    HDC currentDC = nullptr;
    HGLRC currentContext = nullptr;
    // What the launcher handed over for its launch feedback and for focus, taken out of the
    // environment when the window system is chosen, so that nothing the program starts inherits
    // it: the X11 startup id (DESKTOP_STARTUP_ID) and the Wayland activation token
    // (XDG_ACTIVATION_TOKEN); empty when not given, and once used.
    std::string startupId;
    std::string activationToken;
};

LayerLinux& LinuxLayer();
// The backend, chosen and connected on first use; null when no window system is reachable.
const PlatformLinux* ConnectPlatform();
// The backend if one is connected, without trying to connect.
const PlatformLinux* ConnectedPlatform();
// The live window with this handle, or null for a destroyed or unknown one.
WindowLinux* FindWindowLinux(HWND hwnd);
// The live window whose device context this is, or null.
WindowLinux* FindWindowOfDCLinux(HDC hdc);
// Queues a message for the thread, as PostMessage does.
void PostMessageLinux(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Whether the handle is one of the icons LoadImageW gives.
bool KnownIconLinux(HICON icon);
// Hands a message to the window's dialog procedure, and to the dialog's default handling when the
// procedure leaves it (returns FALSE).
LRESULT DeliverMessageLinux(WindowLinux* window, UINT message, WPARAM wParam, LPARAM lParam);
// The time left until `deadlineNs` for ppoll(), in `storage`: to the nanosecond, since a timeout
// in whole milliseconds would let every tick come up to 1 ms late; none once the deadline has
// passed. Null (no limit) when `deadlineNs` is negative.
const timespec* PollTimeout(std::int64_t deadlineNs, timespec* storage);
// Monotonic clock in nanoseconds.
std::int64_t NowNs();
// The next character of wide text: UTF-16 surrogate pairs become one code point; a lone
// surrogate or a value beyond Unicode becomes U+FFFD. Advances *text past what it read.
unsigned long NextCodePoint(LPCWSTR* text);
// UTF-16 text (with surrogate pairs) as UTF-8; unpaired surrogates become U+FFFD.
std::string ToUtf8(LPCWSTR text);
