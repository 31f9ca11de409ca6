// The one door to the window system for all of the program's code.
// On Windows it brings the system's own API; on Linux it brings the project's own small
// implementation of the same subset (host/linux/), on Wayland and EGL (host/wayland/) or on Xlib
// and GLX (host/x11/). Nothing else includes <windows.h> or <X11/Xlib.h> directly.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include "host/linux/winapi.h"
#endif
