// A private D-Bus daemon for a test's desktop session (KWin's session bus, gnome-shell's session
// and system buses, an X11 window manager's session bus): it activates no services, so that
// nothing starts on it that the session does not end (KWin asks for kglobalaccel, xfwm4 for
// xfconfd), and everyone on it may send to and own anything.
#pragma once

#include <string>

#include "hosts/process.h"

// Starts a dbus-daemon of `type` ("session" or "system") as `settings` say, its configuration
// written in `directory`, listening on the Unix socket `path`, and waits until it takes
// connections. False with the reason in *error.
bool StartBusDaemon(const std::string& type, const std::string& path, const std::string& directory,
                    const LaunchSettings& settings, ChildProcess* bus, std::string* error);
