// An OpenGL window for tests and benchmarks, opened through the project's own window-system
// layer in the same steps as the viewer's window: dialog template, pixel format, context.
#pragma once

#include <string>

#include "host/platform.h"

struct GlWindow {
    HWND hwnd = nullptr;
    HDC hdc = nullptr;
    HGLRC hglrc = nullptr;
};

// Why there is no X display to open windows on, or "" when DISPLAY names one. Tests that need a
// display fail with this reason; they never skip.
std::string MissingDisplay();
// The pixel format the viewer asks for: double-buffered RGBA, 24 colour bits, 32 depth bits.
PIXELFORMATDESCRIPTOR ViewerPixelFormatRequest();
// Opens and shows the viewer's dialog window with its pixel format and makes a new OpenGL
// context current on it. Returns false, with the reason in *error, when there is no display or
// no OpenGL: callers fail loudly then, they never skip.
bool OpenGlWindow(GlWindow* window, std::string* error);
// Releases the context and destroys the window.
void CloseGlWindow(GlWindow* window);
