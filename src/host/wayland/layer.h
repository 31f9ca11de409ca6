// Internal state of the Wayland backend of the Linux layer: the compositor connection and its
// globals, the outputs and the seat, the EGL display, and the per-window surfaces. Only the
// backend's own files include this header, first: it brings the libraries' loaded entry points.
#pragma once

#include "host/wayland/library.h"

#include <vector>

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "xdg-activation-v1-client-protocol.h"
#include "xdg-decoration-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"
#ifdef TAVIK_DECLARED_PROTOCOLS
#include "host/wayland/declared_protocols.h"
#else
#include "cursor-shape-v1-client-protocol.h"
#include "xdg-toplevel-icon-v1-client-protocol.h"
#endif
#include "host/linux/layer.h"

// The application id; the desktop entry carries the same name.
constexpr const char* kAppIdWayland = "org.tavik.Tavik";

// A wl_shm buffer of XRGB pixels and its mapping.
struct ShmBufferWayland {
    wl_buffer* buffer = nullptr;
    void* pixels = nullptr;
    std::size_t size = 0;
    int width = 0;
    int height = 0;
    int stride = 0;
};

struct OutputWayland {
    wl_output* output;
    std::uint32_t name;
    int scale;
};

// An xdg_toplevel of the layer's own, framed by the compositor where it offers server-side
// decorations: the window's and the message box's.
struct ServerToplevelWayland {
    xdg_surface* xdgSurface = nullptr;
    xdg_toplevel* toplevel = nullptr;
    zxdg_toplevel_decoration_v1* decoration = nullptr;
    // The compositor answered the request for its frame with "client side": libdecor is to make
    // the toplevel instead (at the next turn of the event loop).
    bool frameWanted = false;
    // The first configure of a toplevel that was to be replaced, not yet acknowledged (0: none).
    uint32_t deferredSerial = 0;
};

// An icon given to a toplevel, and the buffers of its pictures, which must outlive it.
struct ToplevelIconWayland {
    xdg_toplevel_icon_v1* icon = nullptr;
    std::vector<ShmBufferWayland> pictures;
};

// Everything the Wayland backend knows about one window.
struct WindowWayland : WindowLinux {
    wl_surface* surface = nullptr;
    // Framed by the compositor (a toplevel of the layer's own) or by libdecor: one or the other.
    ServerToplevelWayland own;
    libdecor_frame* frame = nullptr;
    // The size of the toplevel's last configure, applied at the xdg_surface's configure.
    int proposedWidth = 0;
    int proposedHeight = 0;
    wp_viewport* viewport = nullptr;
    wp_fractional_scale_v1* fractionalScale = nullptr;
    wl_egl_window* eglWindow = nullptr;
    EGLSurface eglSurface = EGL_NO_SURFACE;
    EGLConfig config = nullptr;
    // Client size in logical pixels (the compositor's units).
    int logicalWidth = 0;
    int logicalHeight = 0;
    // The compositor's preferred scale in 120ths (0 until it names one), and the largest
    // integer scale of the outputs the surface is on.
    int scale120 = 0;
    int outputScale = 1;
    std::vector<OutputWayland*> outputs;
    bool configured = false;
    // The buffer scale or viewport is to change with the next buffer.
    bool bufferScaleChanged = false;
    // Whether an OpenGL context has been made current on the window; until then nothing draws
    // into its EGL surface, and it shows `blank` (black) instead.
    bool drawnWithOpenGl = false;
    ShmBufferWayland blank;
    // The icon as the compositor was last given it (where it offers toplevel icons): the icon
    // handle it shows, on which toplevel.
    ToplevelIconWayland icon;
    HICON iconShown = nullptr;
    xdg_toplevel* iconToplevel = nullptr;
};

struct ContextWayland : ContextLinux {
    explicit ContextWayland(EGLContext context) : handle(context) {}
    EGLContext handle;
};

struct ModalBoxWayland;

// The backend's state for the one user-interface thread.
struct LayerWayland {
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    wl_seat* seat = nullptr;
    wl_pointer* pointer = nullptr;
    wl_keyboard* keyboard = nullptr;
    wp_viewporter* viewporter = nullptr;
    wp_fractional_scale_manager_v1* fractionalScaleManager = nullptr;
    xdg_activation_v1* activation = nullptr;
    // Where the compositor draws the pointer's shapes itself, and the pointer's device for them.
    wp_cursor_shape_manager_v1* cursorShapeManager = nullptr;
    wp_cursor_shape_device_v1* cursorShapeDevice = nullptr;
    // Where the compositor takes icons for toplevels, and the sizes it last asked for (none: any).
    xdg_toplevel_icon_manager_v1* iconManager = nullptr;
    std::vector<int> iconSizes;
    std::vector<int> iconSizesComing;
    std::vector<OutputWayland*> outputs;
    xdg_wm_base* wmBase = nullptr;
    zxdg_decoration_manager_v1* decorationManager = nullptr;
    libdecor* decor = nullptr;
    bool decorTried = false;
    EGLDisplay eglDisplay = EGL_NO_DISPLAY;
    bool eglTried = false;
    // Where pointer and keyboard input go, and where the pointer is (surface-local, logical).
    wl_surface* pointerFocus = nullptr;
    wl_surface* keyboardFocus = nullptr;
    double pointerX = 0;
    double pointerY = 0;
    // The serial of the pointer's last enter, which setting its image needs.
    std::uint32_t pointerSerial = 0;
    // The pointer's image over the layer's surfaces: the theme loaded at the scale of the surface
    // it was last shown over, and the buffer scale its image is shown at.
    wl_cursor_theme* cursorTheme = nullptr;
    wl_cursor_image* cursorImage = nullptr;
    wl_surface* cursorSurface = nullptr;
    int cursorScale = 1;
    int cursorBufferScale = 1;
    // The compositor's keymap and the keyboard's state in it (null without libxkbcommon).
    xkb_context* xkbContext = nullptr;
    xkb_keymap* xkbKeymap = nullptr;
    xkb_state* xkbState = nullptr;
    // The message box being shown, if any, and its surface.
    ModalBoxWayland* box = nullptr;
    wl_surface* boxSurface = nullptr;
};

LayerWayland& LayerWl();
// Reads and dispatches the compositor's events, waiting until `deadlineNs` at most for some to
// arrive (negative: no limit; a deadline already past, such as 0: only what is already there). A
// lost connection ends the process.
void DispatchWayland(std::int64_t deadlineNs);
// libdecor on the connection, loaded and started on first use: only a compositor that draws no
// frames of its own needs it, and starting it loads its plugins. Null when it cannot be had, with
// one line on stderr the first time, ending with `without` (what the caller does instead).
libdecor* DecorWayland(const char* without = "the window has no frame");
// Makes the toplevel on `surface`, its events going to the listeners with `data`, and asks for
// the compositor's frame where the compositor offers frames.
void MakeServerToplevelWayland(ServerToplevelWayland* own, wl_surface* surface, const char* title,
                               const xdg_surface_listener* surfaceListener,
                               const xdg_toplevel_listener* toplevelListener, void* data);
// Destroys it in the order the protocol asks: the decoration before its toplevel (error
// "orphaned" otherwise).
void DestroyServerToplevelWayland(ServerToplevelWayland* own);
// Holds the configure `serial` of a toplevel not yet `configured` whose compositor answered
// "client side": libdecor's toplevel replaces it, so it is never acknowledged or mapped. True
// when held.
bool HoldForLibdecorWayland(ServerToplevelWayland* own, bool configured, uint32_t serial);
// The live window that owns this surface, or null.
WindowWayland* FindWindowBySurfaceWayland(wl_surface* surface);
// Gives libdecor's frame to the windows whose compositor left their frame to the client; called
// between dispatches, never from inside an event.
void FrameWindowsWhereAskedWayland();
// Sets the buffer scale or the viewport for the window's current size and scale; called just
// before the commit that attaches a buffer of that size.
void ApplyBufferScaleWayland(WindowWayland* window);
// Hands the launcher's activation token (XDG_ACTIVATION_TOKEN) to the compositor with the surface
// of the first toplevel shown, the window or the message box, once: called after each commit of a
// buffer to a shown toplevel, the first of which maps it.
void ActivateWithTokenWayland(wl_surface* surface);
// Gives the window's toplevel its icon where the compositor takes icons (window.cpp): at once when
// the icon changes, and before the first commit of each new toplevel.
void ShowIconWayland(WindowWayland* window);
// Re-sizes the window's buffer when the scale of the outputs it is on has changed.
void UpdateOutputScaleWayland(WindowWayland* window);
// The largest scale among the compositor's outputs (1 when it names none).
int LargestOutputScaleWayland();
// A zero-filled (black, or transparent in ARGB) shared-memory buffer; false, with a line on
// stderr, when none can be made.
bool CreateShmBufferWayland(int width, int height, ShmBufferWayland* out,
                            uint32_t format = WL_SHM_FORMAT_XRGB8888);
void DestroyShmBufferWayland(ShmBufferWayland* buffer);
// The EGL display on the compositor connection, initialised for desktop OpenGL on first use;
// EGL_NO_DISPLAY (with a line on stderr) when EGL cannot be used.
EGLDisplay EglDisplayWayland();
// Whether one of the display's configurations can render desktop OpenGL to a window.
bool EglCanDrawWindowsWayland(EGLDisplay display);

// Turns the seat's pointer and keyboard into messages (input.cpp).
void ListenToSeatWayland(wl_seat* seat);
// The keyboard's handlers of keymap, focus, keys and modifiers, which the layer's tests also call
// as a compositor would.
const wl_keyboard_listener& KeyboardListenerWayland();
// Shows the pointer's image again at the surface's scale, when the pointer is over it.
void RefreshCursorWayland(wl_surface* surface);
// Input for the message box, from the seat (message_box.cpp).
void ModalBoxButtonWayland(ModalBoxWayland* box, bool pressed);
void ModalBoxKeyWayland(ModalBoxWayland* box, WPARAM virtualKey);

// The backend's entry points, by file: windows (window.cpp), events (display.cpp), pixel formats
// and contexts (context.cpp), the message box (message_box.cpp).
WindowLinux* CreateWindowWayland(const DialogTemplateLinux& dialog);
void ShowWindowWayland(WindowLinux* window);
void DestroyWindowWayland(WindowLinux* window);
void PollEventsWayland();
void WaitEventsWayland(std::int64_t deadlineNs);
int ChoosePixelFormatWayland(WindowLinux* window, const PIXELFORMATDESCRIPTOR& request);
bool SetPixelFormatWayland(WindowLinux* window, int format);
ContextLinux* CreateContextWayland(WindowLinux* window);
bool MakeCurrentWayland(WindowLinux* window, ContextLinux* context);
void DeleteContextWayland(ContextLinux* context);
bool SwapBuffersWayland(WindowLinux* window);
bool MessageBoxWayland(LPCWSTR text, LPCWSTR caption);
void SetIconWayland(WindowLinux* window);
