// A private Wayland session for one test: a runtime directory of its own, owned by the
// unprivileged user the compositor and its programs run as, the compositor started in it, and the
// way to start programs there. Which compositor, and how it is started and asked whether it is
// ready, is its desktop's (desktop.h).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "hosts/process.h"

struct WaylandSession {
    ChildProcess process;   // the compositor; its log is process.stderrPath
    std::string runtimeDir; // XDG_RUNTIME_DIR, 0700, owned by the session's user
    std::string socket;     // WAYLAND_DISPLAY, inside runtimeDir
    // Variables of the session's programs beside those of the runtime directory: the tests'
    // LSAN_OPTIONS with a suppressions file the user can read, and what its desktop adds (sway's
    // SWAYSOCK, the DBUS_SESSION_BUS_ADDRESS of KWin's and gnome-shell's own bus).
    std::vector<std::pair<std::string, std::string>> environment;
    ChildProcess sessionBus, systemBus; // the buses' daemons (the system bus: gnome-shell only)
    std::string root; // the system the session runs in (LaunchSettings::root), else the machine's
    uid_t uid = static_cast<uid_t>(-1);
    gid_t gid = static_cast<gid_t>(-1);
};

// Makes the session's runtime directory for the user `userName` (created once when the tests run
// as root, since sway refuses root; else the tests' own user, and known by the same ids in the
// session's root), with the leak checker's suppressions where that user can read them. False with
// the reason in *error.
bool OpenSession(const char* userName, WaylandSession* session, std::string* error);
// Starts the compositor, `argv` with `settings`, in the session and waits until its socket takes
// connections and `ready` holds, asked no more than every 50 ms (a question that starts a process
// costs the compositor a core). False with the reason (what `ready` last said was missing) and its
// log in *error when it does not within 30 s.
bool StartCompositor(WaylandSession* session, const std::vector<std::string>& argv,
                     const LaunchSettings& settings, const std::function<bool(std::string*)>& ready,
                     std::string* error);
// Ends the compositor with `signal` and waits for it, then ends whatever it started.
void StopCompositor(WaylandSession* session, int signal = 15);
// Ends the compositor and its D-Bus daemons if they run and removes the runtime directory.
void EndSession(WaylandSession* session);
// What a program started in the session gets: its user, the session's variables, and no DISPLAY,
// so that nothing can reach an X server.
LaunchSettings SessionSettings(const WaylandSession& session);
// The major version (45, 6) that `program --version` prints in the session, and the minor one in
// *minor when asked; 0 when it says none.
int MajorVersion(const WaylandSession& session, const std::string& program, int* minor = nullptr);
// True when a Unix socket at `path` takes connections.
bool SocketAccepts(const std::string& path);
// Hands a directory tree (a viewer's working directory) to the session's user.
bool GiveToSessionUser(const WaylandSession& session, const std::string& path);
