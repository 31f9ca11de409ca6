// A window on an X display as a person or a window manager sees it: found by its caption, its
// pixels grabbed and saved, a client message sent to it. The screenshot tool stands on it, and so
// does the tests' X11 probe.
#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

#include "rgb_image.h"

// Every window, top-level or not, whose WM_NAME or _NET_WM_NAME is `caption`.
std::vector<Window> FindWindows(Display* display, const std::string& caption);
// The first shown window whose WM_NAME or _NET_WM_NAME is `caption`, waiting up to `timeoutMs`
// for it; 0 if none is shown.
Window WaitForWindow(Display* display, const std::string& caption, int timeoutMs);
// A text property (STRING or UTF8_STRING), empty if unset.
std::string TextProperty(Display* display, Window window, const char* name);
// True when it is mapped and viewable: shown.
bool IsShown(Display* display, Window window);
// A rectangle of the client area as RGB; empty when it does not lie inside the window. Width 0:
// the whole client area.
RgbImage GrabArea(Display* display, Window window, int x = 0, int y = 0, int width = 0,
                  int height = 0);
// A 32-bit client message of `type` about `window`, sent to `target` for the clients that select
// `mask` there (none: to its owner); false when it could not be sent.
bool SendClientMessage(Display* display, Window target, Window window, const char* type,
                       std::vector<long> data, long mask = NoEventMask);
// The window manager's close: WM_PROTOCOLS / WM_DELETE_WINDOW.
bool SendClose(Display* display, Window window);
// Writes the image as a PNG (through ImageMagick's convert); false on failure.
bool SavePng(const RgbImage& image, const std::string& path);
