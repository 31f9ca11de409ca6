// OpenGL set-up: the one-time rendering state and the projection that follows the window's size.
#pragma once

#include "scene/scene_state.h"

// Initialises GLEW (reporting a failure in a message box) and sets the fixed rendering state.
void InitGL();
// WM_SIZE: fits the viewport and the 45-degree perspective to the client size in lParam and
// leaves the modelview matrix selected and cleared.
INT_PTR OnSize(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
