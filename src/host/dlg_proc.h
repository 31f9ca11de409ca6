// The dialog procedure of the viewer's window and the handlers of this subsystem.
#pragma once

#include "host/platform.h"

// Routes the window's messages to their handlers; FALSE leaves a message to the default handling.
INT_PTR CALLBACK DlgProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
// WM_INITDIALOG: pixel format, OpenGL context, rendering state and texture.
INT_PTR OnInitDialog(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
// WM_CLOSE: destroys the window and asks the message loop to end.
INT_PTR OnClose(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
// WM_DESTROY: releases the context, the device context and the timer; asks the loop to end.
INT_PTR OnDestroy(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
