// A private Wayland session for one test: a headless compositor with software rendering (sway on
// wlroots, weston with libdecor's own frame, KWin or gnome-shell, each of the last two with its
// own D-Bus), no X server and no Xwayland, run as an unprivileged user with a runtime directory of
// its own; and the way to
// start programs in it.
#pragma once

#include <string>
#include <vector>

#include "hosts/process.h"

enum class Compositor {
    kSway,   // wlroots headless backend, pixman renderer; swaymsg and grim look at it
    kWeston, // headless backend, pixman renderer, desktop shell; its screenshooter looks at it
    // KWin's virtual backend, OpenGL on Mesa's software renderer, Breeze frames, offering
    // fractional scales; its scripting and screenshot D-Bus interfaces look at it
    kKwin,
    // mutter's headless backend on a virtual monitor, llvmpipe, private session and system buses;
    // its Eval and Screenshot D-Bus methods look at it
    kGnomeShell,
};

struct WaylandSession {
    Compositor compositor = Compositor::kSway;
    ChildProcess process;    // the compositor; its log is process.stderrPath
    std::string runtimeDir;  // XDG_RUNTIME_DIR, 0700, owned by the session's user
    std::string socket;      // WAYLAND_DISPLAY, inside runtimeDir
    std::string swaySocket;  // SWAYSOCK (sway only)
    std::string lsanOptions; // the tests' LSAN_OPTIONS, with a suppressions file the user can read
    std::string busAddress; // DBUS_SESSION_BUS_ADDRESS of the session's own bus (KWin, gnome-shell)
    ChildProcess sessionBus, systemBus; // the buses' daemons (the system bus: gnome-shell only)
    std::string kwinCall;               // the session's copy of the KWin D-Bus helper (KWin only)
    // KWin only, set before it starts: settings of its own with no frame plugin, so that it
    // leaves the frames to the clients from their first configure.
    bool kwinLeavesFrames = false;
    uid_t uid = static_cast<uid_t>(-1);
    gid_t gid = static_cast<gid_t>(-1);
};

// Starts the compositor on an output of 1280 x 1024 logical pixels at `scale` and waits until it
// accepts clients (and, for sway, IPC; for KWin, scripts; for gnome-shell, D-Bus calls); the
// compositor and the programs in it run as an unprivileged user created once when the tests run as
// root (sway refuses root). Given a `host` session, sway runs as a client of it instead, each of
// its outputs a window there ("wlroots - WL-1", 1280 x 720) that can be closed, which unplugs the
// output. False with the reason and the compositor's log in *error when it cannot.
bool StartCompositor(Compositor compositor, WaylandSession* session, std::string* error,
                     double scale = 1, const WaylandSession* host = nullptr);
// Ends the compositor with `signal` (SIGTERM unless given) and waits for it, then ends whatever
// it started.
void StopCompositor(WaylandSession* session, int signal = 15);
// Ends the compositor and its D-Bus daemon if they run and removes the runtime directory.
void EndSession(WaylandSession* session);
// What a program started in the session gets: its user, the session's variables, and no DISPLAY,
// so that nothing can reach an X server.
LaunchSettings SessionSettings(const WaylandSession& session);
// True when a Unix socket at `path` takes connections.
bool SocketAccepts(const std::string& path);
// Hands a directory tree (a viewer's working directory) to the session's user.
bool GiveToSessionUser(const WaylandSession& session, const std::string& path);
