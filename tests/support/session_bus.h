// A private D-Bus daemon for a test's desktop session (KWin's session bus, gnome-shell's session
// and system buses): it activates no services, so that nothing starts on it that the session does
// not end, and everyone on it may send to and own anything.
#pragma once

#include <string>

#include "support/wayland_session.h"

// Starts a dbus-daemon of `type` ("session" or "system") as the session's user, listening on the
// Unix socket `path`, and waits until it takes connections. False with the reason in *error.
bool StartBusDaemon(const WaylandSession& session, const std::string& type, const std::string& path,
                    ChildProcess* bus, std::string* error);
