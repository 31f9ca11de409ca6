// The parts of a private Wayland session that are KWin's own: the copy of its binary that a
// restricted container lets run, its D-Bus session bus, and the desktop file that lets the
// session's helper take screenshots.
#pragma once

#include <string>
#include <vector>

#include "hosts/wayland_session.h"

// Lays out KWin's files in the session's runtime directory and starts its D-Bus daemon; then
// *argv and *settings start KWin on a 1280 x 1024 virtual output at `scale`; with
// `leavesFrames`, with settings of its own that have no frame plugin, so that it leaves the
// frames to the clients from their first configure. False with the reason in *error when any
// cannot be had.
// With `x11Display`, KWin shows its output as a window there instead of a virtual framebuffer.
bool PrepareKwin(WaylandSession* session, double scale, bool leavesFrames,
                 const std::string& x11Display, std::vector<std::string>* argv,
                 LaunchSettings* settings, std::string* error);
// True once KWin runs a script of the session's helper and reports back.
bool KwinRunsScripts(const WaylandSession& session);
// Runs a KWin script (JavaScript that ends with report(text)) through the session's helper;
// true with the reported text in *output when it reported without an error.
bool RunKwinScript(const WaylandSession& session, const std::string& body, std::string* output);
// Sets the scale of the session's outputs as KDE's display settings do, through KWin's output
// management; true once KWin has applied it, else false with the reason in *error.
bool SetKwinOutputScale(const WaylandSession& session, double scale, std::string* error);
