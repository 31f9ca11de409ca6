// The per-tick frame: the WM_TIMER handler and the scene renderer it calls.
#pragma once

#include "scene/scene_state.h"

// WM_TIMER: draws and presents one frame for the animation timer; TRUE for every timer.
INT_PTR OnTimer(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
// Draws one frame into the current OpenGL context and advances fAngle by one degree.
void RenderScene();
// The angle after one more frame: one degree more, reduced modulo 360 first once adding one
// degree would no longer change a 32-bit float (2 to the 24th), so the scene never stops turning.
float AdvanceAngle(float angle);
