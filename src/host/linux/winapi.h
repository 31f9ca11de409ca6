// The subset of the Win32 window, GDI and WGL interfaces that the viewer uses, declared for Linux.
// Types and constants keep their Windows names and values; the operations are implemented by the
// files beside this one on the window system chosen at start-up (Wayland with EGL, or X11 with
// GLX). Include it through host/platform.h only.
//
// Supported:
//  - modeless dialogs from the templates the layer knows (IDD_MAIN), sized from dialog units;
//    WM_INITDIALOG, the first WM_SIZE on the first showing, WM_SIZE once per change of client
//    size (in pixels, at the output's scale on Wayland), WM_CLOSE from the window manager or
//    compositor, WM_DESTROY from DestroyWindow
//  - SetTimer/KillTimer: WM_TIMER on a drift-free grid, only when the queue is otherwise empty,
//    never queued twice; GetMessageW blocks, returns 0 for WM_QUIT and -1 when nothing can arrive
//  - keys become WM_KEYDOWN/WM_KEYUP with their virtual-key codes: A-Z, 0-9, Enter, Escape and
//    Space on X11, Enter, Escape and Space on Wayland; mouse button 1 becomes
//    WM_LBUTTONDOWN/WM_LBUTTONUP with the client position in pixels
//  - pixel formats (ChoosePixelFormat ranks the GLX framebuffer configurations or the EGL
//    configurations), wgl contexts, SwapBuffers; MessageBoxW as a modal box with one OK button
//    (Xlib, or Pango and cairo on Wayland; stderr without a window system)
//  - the program's icon (IDI_TAVIK) from LoadImageW, kept for the process as LR_SHARED icons are;
//    WM_SETICON through SendMessageW gives it to the window: every picture of the icon at once
//    in _NET_WM_ICON on X11, while on Wayland the application id names the icon
//  - GetSystemMetrics for the icon sizes, as Windows gives them to a program at 96 dpi
// Ignored:
//  - timer procedures (the TIMERPROC of SetTimer: WM_TIMER is always dispatched to the window)
//  - GetMessageW's window and message filters (every message of the thread is returned)
//  - TranslateMessage (no WM_CHAR), ShowWindow's nCmdShow, the instance handles, MessageBoxW's
//    type (always one OK button; returns IDOK), LoadImageW's size and flags (the window system
//    chooses among the icon's pictures)
//  - all other keys and mouse buttons, pointer motion (no WM_MOUSEMOVE), exposure (no WM_PAINT)
// Left out: controls and child windows, menus, modal dialogs (DialogBox*), dialog templates read
// from resources, window classes and DefWindowProc (a dialog's default handling covers
// WM_SETICON alone), GDI drawing, bitmaps and cursors, the clipboard, more than one thread's queue.
#pragma once

#include <cstdint>

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using WCHAR = wchar_t;
using LPCWSTR = const WCHAR*;
using LPSTR = char*;

#define TRUE 1
#define FALSE 0
#define WINAPI
#define CALLBACK

struct WindowLinux;
struct DeviceContextLinux;
struct ContextLinux;
using HWND = WindowLinux*;
using HDC = DeviceContextLinux*;
using HGLRC = ContextLinux*;
struct InstanceLinux;
using HINSTANCE = InstanceLinux*;
struct IconLinux;
using HICON = IconLinux*;
using HANDLE = void*;

using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

struct POINT {
    LONG x;
    LONG y;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

// Window messages.
#define WM_DESTROY 0x0002
#define WM_SIZE 0x0005
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_SETICON 0x0080
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_INITDIALOG 0x0110
#define WM_TIMER 0x0113
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202

#define SIZE_RESTORED 0
#define SW_SHOW 5

// Icons and the system's sizes for them.
#define ICON_SMALL 0
#define ICON_BIG 1
#define IMAGE_ICON 1
#define LR_DEFAULTCOLOR 0x00000000
#define LR_SHARED 0x00008000
#define SM_CXICON 11
#define SM_CYICON 12
#define SM_CXSMICON 49
#define SM_CYSMICON 50

// Word-splitting macros.
#define LOWORD(l) ((WORD)(((DWORD_PTR_LINUX)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR_LINUX)(l)) >> 16) & 0xffff))
#define MAKELONG(a, b)                                                                             \
    ((LONG)(((WORD)(((DWORD_PTR_LINUX)(a)) & 0xffff)) |                                            \
            ((DWORD)((WORD)(((DWORD_PTR_LINUX)(b)) & 0xffff))) << 16))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define MAKEINTRESOURCEW(i) ((LPCWSTR)((UINT_PTR)((WORD)(i))))
using DWORD_PTR_LINUX = std::uintptr_t;

// Message boxes.
#define MB_OK 0x00000000L
#define IDOK 1

// Pixel formats.
struct PIXELFORMATDESCRIPTOR {
    WORD nSize;
    WORD nVersion;
    DWORD dwFlags;
    BYTE iPixelType;
    BYTE cColorBits;
    BYTE cRedBits;
    BYTE cRedShift;
    BYTE cGreenBits;
    BYTE cGreenShift;
    BYTE cBlueBits;
    BYTE cBlueShift;
    BYTE cAlphaBits;
    BYTE cAlphaShift;
    BYTE cAccumBits;
    BYTE cAccumRedBits;
    BYTE cAccumGreenBits;
    BYTE cAccumBlueBits;
    BYTE cAccumAlphaBits;
    BYTE cDepthBits;
    BYTE cStencilBits;
    BYTE cAuxBuffers;
    BYTE iLayerType;
    BYTE bReserved;
    DWORD dwLayerMask;
    DWORD dwVisibleMask;
    DWORD dwDamageMask;
};

#define PFD_DOUBLEBUFFER 0x00000001
#define PFD_STEREO 0x00000002
#define PFD_DRAW_TO_WINDOW 0x00000004
#define PFD_DRAW_TO_BITMAP 0x00000008
#define PFD_SUPPORT_OPENGL 0x00000020
#define PFD_TYPE_RGBA 0
#define PFD_TYPE_COLORINDEX 1
#define PFD_MAIN_PLANE 0

// Windows, dialogs, the message loop and timers (window.cpp, queue.cpp).
HWND CreateDialogParamW(HINSTANCE hInstance, LPCWSTR lpTemplateName, HWND hWndParent,
                        DLGPROC lpDialogFunc, LPARAM dwInitParam);
BOOL ShowWindow(HWND hWnd, int nCmdShow);
BOOL DestroyWindow(HWND hWnd);
UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc);
BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent);
BOOL GetMessageW(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax);
BOOL TranslateMessage(const MSG* lpMsg);
LRESULT DispatchMessageW(const MSG* lpMsg);
void PostQuitMessage(int nExitCode);
LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// Icons (icon.cpp).
HANDLE LoadImageW(HINSTANCE hInst, LPCWSTR name, UINT type, int cx, int cy, UINT fuLoad);
int GetSystemMetrics(int nIndex);

// Device contexts, pixel formats and OpenGL contexts (context.cpp).
HDC GetDC(HWND hWnd);
int ReleaseDC(HWND hWnd, HDC hDC);
int ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR* ppfd);
BOOL SetPixelFormat(HDC hdc, int format, const PIXELFORMATDESCRIPTOR* ppfd);
BOOL SwapBuffers(HDC hdc);
HGLRC wglCreateContext(HDC hdc);
BOOL wglMakeCurrent(HDC hdc, HGLRC hglrc);
BOOL wglDeleteContext(HGLRC hglrc);
HGLRC wglGetCurrentContext();
HDC wglGetCurrentDC();

// Message boxes (message_box.cpp).
int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);

// The program's entry point, as the platform declares it.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
