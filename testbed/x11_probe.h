// Looks at a running viewer through X, as a person or a window manager would: finds its window
// by caption, reads geometry and properties, grabs pixels, and sends the window manager's close
// message, key presses and resizes.
#pragma once

#include <X11/Xlib.h>

#include <string>
#include <utility>
#include <vector>

#include "x11_window.h"

class X11Probe {
  public:
    explicit X11Probe(const std::string& display);
    ~X11Probe();
    X11Probe(const X11Probe&) = delete;
    X11Probe& operator=(const X11Probe&) = delete;

    bool Connected() const { return display_ != nullptr; }
    Display* display() const { return display_; }

    // The first shown window whose WM_NAME or _NET_WM_NAME is `caption`, waiting up to
    // `timeoutMs` for it; 0 if none is shown.
    Window WaitForWindow(const std::string& caption, int timeoutMs) {
        return ::WaitForWindow(display_, caption, timeoutMs);
    }
    // All client windows named `caption` now.
    std::vector<Window> FindWindows(const std::string& caption) {
        return ::FindWindows(display_, caption);
    }
    // Client-area position in root coordinates and size.
    bool Geometry(Window window, int* x, int* y, int* width, int* height);
    // The window's client area as RGB.
    RgbImage Grab(Window window) { return ::GrabArea(display_, window); }
    // A rectangle of the client area as RGB; empty when it does not lie inside the window.
    RgbImage GrabArea(Window window, int x, int y, int width, int height) {
        return width > 0 && height > 0 ? ::GrabArea(display_, window, x, y, width, height)
                                       : RgbImage();
    }
    // A text property (STRING or UTF8_STRING), empty if unset.
    std::string TextProperty(Window window, const char* name) {
        return ::TextProperty(display_, window, name);
    }
    // A 32-bit property's items (atoms, cardinals), and its type in *type when asked.
    std::vector<unsigned long> LongProperty(Window window, const char* name, Atom* type = nullptr);
    Atom Intern(const char* name) { return XInternAtom(display_, name, False); }
    std::string AtomName(Atom atom);
    // A 32-bit client message of `type` about `window`, sent to `target` for the clients that
    // select `mask` there (none: to its owner); true when the server sent it.
    bool SendClientMessage(Window target, Window window, const char* type, std::vector<long> data,
                           long mask = NoEventMask) {
        return ::SendClientMessage(display_, target, window, type, std::move(data), mask) && Done();
    }
    // The window manager's close: WM_PROTOCOLS / WM_DELETE_WINDOW.
    bool SendClose(Window window) { return ::SendClose(display_, window) && Done(); }
    // A key press and release of `keysym`, sent to the window.
    void SendKey(Window window, unsigned long keysym);
    // A new size or position, as a window manager gives it; true when the window has it.
    bool Resize(Window window, int width, int height);
    bool Move(Window window, int x, int y);
    // The server's pointer onto `x`, `y` of the window, as a user's mouse would move it.
    bool MovePointer(Window window, int x, int y) {
        XWarpPointer(display_, None, window, 0, 0, 0, 0, x, y);
        return Done();
    }
    // True when the window still exists on the server.
    bool Exists(Window window);
    // True when it is mapped and viewable: shown.
    bool IsShown(Window window) { return ::IsShown(display_, window); }

  private:
    // Waits until the server has handled every request sent; true when none of them failed.
    bool Done();

    Display* display_;
};
