// A window manager on a private Xvfb, as a desktop runs it (openbox, KWin, xfwm4 or mutter in
// X11 mode: their lines are in hosts.cpp), each with its own settings directories and, where it
// wants one, a private D-Bus session bus, all ended with it. Windows are driven through the window
// manager with wmctrl.
#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

#include "hosts/process.h"
#include "x11_probe.h"

// A window manager as a desktop runs it: its command line, whether it wants a private D-Bus
// session bus, and whether its frame honours the Motif hints' functions (no minimise or maximise
// where the window asks for none).
struct X11WindowManager {
    std::vector<std::string> command;
    bool privateBus = true;
    bool honoursMotifFunctions = false;
};

struct WindowManagerSession {
    ChildProcess bus;     // the private dbus-daemon, when the window manager has one
    ChildProcess manager; // the window manager
    std::string home;     // its HOME, XDG directories and the bus's socket
};

// Starts `manager` on `display` and waits until it names itself on the root window
// (_NET_SUPPORTING_WM_CHECK), up to 10 s. False with the reason (and its stderr) in *error.
bool StartWindowManager(const X11WindowManager& manager, const std::string& display,
                        X11Probe* probe, WindowManagerSession* session, std::string* error);
// Ends the window manager and its bus and removes their files.
void EndWindowManager(WindowManagerSession* session);

// Asks the window manager on `display` to act on `window` (`wmctrl -i ACTION WINDOW ARGS...`):
// "-c" closes it as the window manager does, through WM_DELETE_WINDOW; "-r" with "-e" and a
// gravity,x,y,width,height geometry (-1: unchanged) moves the frame or sizes the client area.
bool Wmctrl(const std::string& display, const char* action, Window window,
            const std::vector<std::string>& args = {});
