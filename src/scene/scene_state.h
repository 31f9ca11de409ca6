// The scene's process-wide state and the declarations the window host shares with the scene:
// the animation timer's identifier and the form every window-message handler takes.
#pragma once

#include "host/platform.h"

// Identifier of the animation timer: started by the host, filtered by OnTimer, stopped on destroy.
constexpr UINT_PTR ID_TIMER = 2018;

// Every window-message handler takes the message's four arguments unchanged from the dialog
// procedure and returns the dialog-procedure result, TRUE when handled.
using MessageHandler = INT_PTR (*)(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

// Rotation of the scene about the Y axis, in degrees; grows by one per drawn frame.
extern float fAngle;
// OpenGL name of the grass texture, set once by LoadTexture; 0 until then.
extern unsigned int uiTexture;
