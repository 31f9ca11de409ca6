// What a headless gnome-shell needs around it in a private Wayland session: its own session and
// system D-Bus daemons, keyfile settings and a monitor configuration in the session's config
// directory, and the test-only extension that opens the shell's Eval and Screenshot methods.
#pragma once

#include <string>
#include <vector>

#include "hosts/wayland_session.h"

// Writes the settings (and, at a scale other than 1, a monitors.xml that scales the virtual
// monitor), installs the extension, starts both buses and fills *argv and *settings with how to
// start the shell: a virtual monitor of 1280 x 1024 logical pixels at `scale`. False with the
// reason in *error.
bool PrepareGnomeShell(WaylandSession* session, int scale, std::vector<std::string>* argv,
                       LaunchSettings* settings, std::string* error);
// True once the shell runs the extension (Eval answers) and shows the desktop, not the overview.
bool GnomeShellReady(const WaylandSession& session);
