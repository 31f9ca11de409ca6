// Input from the Wayland seat: button 1 and the Enter, Escape and space keys become mouse and key
// messages of the layer's windows, or go to the message box being shown. Over the layer's surfaces
// the pointer is the default arrow, which the compositor draws itself where it offers cursor
// shapes (in the user's own theme and size, at every scale), and elsewhere the arrow of the cursor
// theme and size the environment names, at the surface's scale.
// Keys are read through the compositor's keymap with libxkbcommon, so that the user's layout and
// remaps count as on the other systems; without the library, by their key codes.
#include "host/wayland/layer.h"
#include "host/wayland/keymap.h"

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kDefaultCursorSize = 24;

// The pointer's size in logical pixels, from XCURSOR_SIZE as other toolkits read it; the
// default when it is unset or not a sensible size.
int CursorSize() {
    const char* text = std::getenv("XCURSOR_SIZE");
    if (text == nullptr || *text == '\0') {
        return kDefaultCursorSize;
    }
    char* end = nullptr;
    long size = std::strtol(text, &end, 10);
    return *end == '\0' && size > 0 && size <= 512 ? static_cast<int>(size) : kDefaultCursorSize;
}

// The scale of the surface the pointer is over: its window's, or for the box the largest there is,
// which the box is drawn at.
int ScaleUnder(wl_surface* surface) {
    WindowWayland* window = FindWindowBySurfaceWayland(surface);
    return window != nullptr ? window->outputScale : LargestOutputScaleWayland();
}

// Shows the arrow of the user's theme (XCURSOR_THEME, the default theme when unset) at `scale`
// on the cursor surface. The theme is loaded again at each new scale, and the old one is let go
// only once the new image is committed. False when there is no arrow to show.
bool ShowArrowAtScale(int scale) {
    LayerWayland& layer = LayerWl();
    if (layer.cursorImage != nullptr && layer.cursorScale == scale) {
        return true;
    }
    if (!LoadCursorLibraryWayland("the pointer keeps the image it had")) {
        return false;
    }
    const char* name = std::getenv("XCURSOR_THEME");
    wl_cursor_theme* theme = wl_cursor_theme_load(name != nullptr && *name != '\0' ? name : nullptr,
                                                  CursorSize() * scale, layer.shm);
    wl_cursor* arrow = theme != nullptr ? wl_cursor_theme_get_cursor(theme, "left_ptr") : nullptr;
    if (arrow == nullptr || arrow->image_count == 0) {
        if (theme != nullptr) {
            wl_cursor_theme_destroy(theme);
        }
        return layer.cursorImage != nullptr;
    }
    wl_cursor_image* image = arrow->images[0];
    if (layer.cursorSurface == nullptr) {
        layer.cursorSurface = wl_compositor_create_surface(layer.compositor);
    }
    // A theme without this size may give an image the scale does not divide, which as a buffer
    // of that scale would be a protocol error: it is then shown at scale 1, larger.
    layer.cursorBufferScale = image->width % scale == 0 && image->height % scale == 0 ? scale : 1;
    if (wl_surface_get_version(layer.cursorSurface) >= WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION) {
        wl_surface_set_buffer_scale(layer.cursorSurface, layer.cursorBufferScale);
    }
    wl_surface_attach(layer.cursorSurface, wl_cursor_image_get_buffer(image), 0, 0);
    wl_surface_damage(layer.cursorSurface, 0, 0, INT32_MAX, INT32_MAX);
    wl_surface_commit(layer.cursorSurface);
    if (layer.cursorTheme != nullptr) {
        wl_cursor_theme_destroy(layer.cursorTheme);
    }
    layer.cursorTheme = theme;
    layer.cursorImage = image;
    layer.cursorScale = scale;
    return true;
}

// The pointer over the layer's own surfaces is the ordinary arrow, which a client must set on
// each enter, with that enter's serial: one that sets none gets whatever image the pointer had
// before. Where the compositor draws shapes itself, neither the cursor library nor a theme is
// loaded.
void SetArrowCursor(wl_surface* surface) {
    LayerWayland& layer = LayerWl();
    if (layer.pointer == nullptr) {
        return;
    }
    if (layer.cursorShapeManager != nullptr) {
        if (layer.cursorShapeDevice == nullptr) {
            layer.cursorShapeDevice =
                wp_cursor_shape_manager_v1_get_pointer(layer.cursorShapeManager, layer.pointer);
        }
        wp_cursor_shape_device_v1_set_shape(layer.cursorShapeDevice, layer.pointerSerial,
                                            WP_CURSOR_SHAPE_DEVICE_V1_SHAPE_DEFAULT);
        return;
    }
    if (!ShowArrowAtScale(ScaleUnder(surface))) {
        return;
    }
    wl_pointer_set_cursor(
        layer.pointer, layer.pointerSerial, layer.cursorSurface,
        static_cast<int32_t>(layer.cursorImage->hotspot_x) / layer.cursorBufferScale,
        static_cast<int32_t>(layer.cursorImage->hotspot_y) / layer.cursorBufferScale);
}

// Pointer: button 1 becomes WM_LBUTTON* on a window (at pixel coordinates) or a press on the box.
void PointerEnter(void*, wl_pointer*, uint32_t serial, wl_surface* surface, wl_fixed_t x,
                  wl_fixed_t y) {
    LayerWayland& layer = LayerWl();
    layer.pointerFocus = surface;
    layer.pointerX = wl_fixed_to_double(x);
    layer.pointerY = wl_fixed_to_double(y);
    layer.pointerSerial = serial;
    if (FindWindowBySurfaceWayland(surface) != nullptr ||
        (layer.box != nullptr && surface == layer.boxSurface)) {
        SetArrowCursor(surface);
    }
}
void PointerLeave(void*, wl_pointer*, uint32_t, wl_surface* surface) {
    LayerWayland& layer = LayerWl();
    if (layer.pointerFocus == surface) {
        layer.pointerFocus = nullptr;
    }
}
void PointerMotion(void*, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
    LayerWl().pointerX = wl_fixed_to_double(x);
    LayerWl().pointerY = wl_fixed_to_double(y);
}
void PointerButton(void*, wl_pointer*, uint32_t, uint32_t, uint32_t button, uint32_t state) {
    LayerWayland& layer = LayerWl();
    if (button != BTN_LEFT || layer.pointerFocus == nullptr) {
        return;
    }
    bool pressed = state == WL_POINTER_BUTTON_STATE_PRESSED;
    if (layer.box != nullptr && layer.pointerFocus == layer.boxSurface) {
        ModalBoxButtonWayland(layer.box, pressed);
    } else if (WindowWayland* window = FindWindowBySurfaceWayland(layer.pointerFocus)) {
        double toPixels = window->logicalWidth > 0
                              ? static_cast<double>(window->width) / window->logicalWidth
                              : 1.0;
        auto x = static_cast<int>(std::floor(layer.pointerX * toPixels));
        auto y = static_cast<int>(std::floor(layer.pointerY * toPixels));
        PostMessageLinux(window, pressed ? WM_LBUTTONDOWN : WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }
}
void PointerAxis(void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {}
wl_pointer_listener PointerListener() {
    wl_pointer_listener listener{};
    listener.enter = PointerEnter;
    listener.leave = PointerLeave;
    listener.motion = PointerMotion;
    listener.button = PointerButton;
    listener.axis = PointerAxis;
    return listener;
}
const wl_pointer_listener kPointerListener = PointerListener();

// Keyboard: the compositor's keymap, read with libxkbcommon once it is loaded (on the first
// keymap).
void KeyboardKeymap(void*, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
    if (format != WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 || size == 0) {
        close(fd);
        return;
    }
    // NOTE: since version 7 of the seat the descriptor may only be mapped privately.
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    if (text == MAP_FAILED) {
        return;
    }
    TakeKeymapWayland(static_cast<const char*>(text), size);
    munmap(text, size);
}
void KeyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface* surface, wl_array*) {
    LayerWl().keyboardFocus = surface;
}
void KeyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface* surface) {
    if (LayerWl().keyboardFocus == surface) {
        LayerWl().keyboardFocus = nullptr;
    }
}
// The virtual key of Enter, Escape and space: by the keymap's symbol, or without a keymap by the
// key codes, which are those keys on the usual layouts.
WPARAM VirtualKeyOf(uint32_t key) {
    if (xkb_state* state = LayerWl().xkbState) {
        // Wayland's key codes are the kernel's; the keymap's are 8 more, as X11's.
        switch (xkb_state_key_get_one_sym(state, key + 8)) {
        case XKB_KEY_Return:
        case XKB_KEY_KP_Enter:
            return 0x0D;
        case XKB_KEY_Escape:
            return 0x1B;
        case XKB_KEY_space:
            return 0x20;
        default:
            return 0;
        }
    }
    switch (key) {
    case KEY_ENTER:
    case KEY_KPENTER:
        return 0x0D;
    case KEY_ESC:
        return 0x1B;
    case KEY_SPACE:
        return 0x20;
    default:
        return 0;
    }
}
void KeyboardKey(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
    LayerWayland& layer = LayerWl();
    bool pressed = state == WL_KEYBOARD_KEY_STATE_PRESSED;
    if (layer.box != nullptr && layer.keyboardFocus == layer.boxSurface) {
        if (pressed) {
            ModalBoxKeyWayland(layer.box, VirtualKeyOf(key));
        }
    } else if (WindowWayland* window = FindWindowBySurfaceWayland(layer.keyboardFocus)) {
        if (WPARAM virtualKey = VirtualKeyOf(key)) {
            PostMessageLinux(window, pressed ? WM_KEYDOWN : WM_KEYUP, virtualKey, 0);
        }
    }
}
void KeyboardModifiers(void*, wl_keyboard*, uint32_t, uint32_t depressed, uint32_t latched,
                       uint32_t locked, uint32_t group) {
    if (xkb_state* state = LayerWl().xkbState) {
        xkb_state_update_mask(state, depressed, latched, locked, 0, 0, group);
    }
}
wl_keyboard_listener KeyboardListener() {
    wl_keyboard_listener listener{};
    listener.keymap = KeyboardKeymap;
    listener.enter = KeyboardEnter;
    listener.leave = KeyboardLeave;
    listener.key = KeyboardKey;
    listener.modifiers = KeyboardModifiers;
    return listener;
}
const wl_keyboard_listener kKeyboardListener = KeyboardListener();

// NOTE: the release requests came with version 3 of the seat; an older seat's pointer and
// keyboard are only destroyed, since a request the bound version lacks is a protocol error.
void ReleasePointer(wl_pointer* pointer) {
    if (wl_pointer_get_version(pointer) >= WL_POINTER_RELEASE_SINCE_VERSION) {
        wl_pointer_release(pointer);
    } else {
        wl_pointer_destroy(pointer);
    }
}
void ReleaseKeyboard(wl_keyboard* keyboard) {
    if (wl_keyboard_get_version(keyboard) >= WL_KEYBOARD_RELEASE_SINCE_VERSION) {
        wl_keyboard_release(keyboard);
    } else {
        wl_keyboard_destroy(keyboard);
    }
}

void SeatCapabilities(void*, wl_seat* seat, uint32_t capabilities) {
    LayerWayland& layer = LayerWl();
    bool hasPointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
    bool hasKeyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
    if (hasPointer && layer.pointer == nullptr) {
        layer.pointer = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(layer.pointer, &kPointerListener, nullptr);
    } else if (!hasPointer && layer.pointer != nullptr) {
        if (layer.cursorShapeDevice != nullptr) {
            wp_cursor_shape_device_v1_destroy(layer.cursorShapeDevice);
            layer.cursorShapeDevice = nullptr;
        }
        ReleasePointer(layer.pointer);
        layer.pointer = nullptr;
        layer.pointerFocus = nullptr;
    }
    if (hasKeyboard && layer.keyboard == nullptr) {
        layer.keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(layer.keyboard, &kKeyboardListener, nullptr);
    } else if (!hasKeyboard && layer.keyboard != nullptr) {
        ReleaseKeyboard(layer.keyboard);
        layer.keyboard = nullptr;
        layer.keyboardFocus = nullptr;
    }
}
void SeatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeatListener = {SeatCapabilities, SeatName};

} // namespace

// NOTE: compositors count the keymap's terminating NUL in its size, but nothing makes them put one
// there, and libxkbcommon 1.5 takes a NUL inside the length it is given for a token it does not
// know: the text ends at its first NUL within the size, or at the size.
bool TakeKeymapWayland(const char* text, std::size_t size) {
    LayerWayland& layer = LayerWl();
    if (!LoadXkbLibraryWayland("keys are read by their key codes, whatever the keymap")) {
        return false;
    }
    size = strnlen(text, size);
    if (layer.xkbContext == nullptr) {
        layer.xkbContext = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    }
    xkb_keymap* keymap =
        layer.xkbContext == nullptr
            ? nullptr
            : xkb_keymap_new_from_buffer(layer.xkbContext, text, size, XKB_KEYMAP_FORMAT_TEXT_V1,
                                         XKB_KEYMAP_COMPILE_NO_FLAGS);
    xkb_state* state = keymap != nullptr ? xkb_state_new(keymap) : nullptr;
    if (state == nullptr) {
        if (keymap != nullptr) {
            xkb_keymap_unref(keymap);
        }
        return false;
    }
    if (layer.xkbState != nullptr) {
        xkb_state_unref(layer.xkbState);
        xkb_keymap_unref(layer.xkbKeymap);
    }
    layer.xkbKeymap = keymap;
    layer.xkbState = state;
    return true;
}

void ListenToSeatWayland(wl_seat* seat) {
    wl_seat_add_listener(seat, &kSeatListener, nullptr);
}

const wl_keyboard_listener& KeyboardListenerWayland() {
    return kKeyboardListener;
}

// A shape the compositor draws follows the scale by itself.
void RefreshCursorWayland(wl_surface* surface) {
    if (surface != nullptr && LayerWl().pointerFocus == surface &&
        LayerWl().cursorShapeManager == nullptr) {
        SetArrowCursor(surface);
    }
}
