// Input from the Wayland seat: button 1 and the Enter, Escape and space keys become mouse and key
// messages of the layer's windows, or go to the message box being shown; the pointer shows the
// theme's arrow over the layer's surfaces.
#include "host/wayland/layer.h"

#include <linux/input-event-codes.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>

namespace {

// The pointer over the layer's own surfaces is the theme's ordinary arrow; a client that sets
// none gets whatever image the pointer had before. Loaded on first use, at the outputs' scale.
void SetArrowCursor(uint32_t serial) {
    LayerWayland& layer = LayerWl();
    if (layer.cursorTheme == nullptr) {
        layer.cursorScale = LargestOutputScaleWayland();
        layer.cursorTheme = wl_cursor_theme_load(nullptr, 24 * layer.cursorScale, layer.shm);
        wl_cursor* arrow = layer.cursorTheme != nullptr
                               ? wl_cursor_theme_get_cursor(layer.cursorTheme, "left_ptr")
                               : nullptr;
        if (arrow == nullptr || arrow->image_count == 0) {
            return;
        }
        layer.cursorImage = arrow->images[0];
        layer.cursorSurface = wl_compositor_create_surface(layer.compositor);
        if (wl_surface_get_version(layer.cursorSurface) >=
            WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION) {
            wl_surface_set_buffer_scale(layer.cursorSurface, layer.cursorScale);
        }
        wl_surface_attach(layer.cursorSurface, wl_cursor_image_get_buffer(layer.cursorImage), 0, 0);
        wl_surface_damage(layer.cursorSurface, 0, 0, INT32_MAX, INT32_MAX);
        wl_surface_commit(layer.cursorSurface);
    }
    if (layer.cursorImage != nullptr) {
        wl_pointer_set_cursor(
            layer.pointer, serial, layer.cursorSurface,
            static_cast<int32_t>(layer.cursorImage->hotspot_x) / layer.cursorScale,
            static_cast<int32_t>(layer.cursorImage->hotspot_y) / layer.cursorScale);
    }
}

// Pointer: button 1 becomes WM_LBUTTON* on a window (at pixel coordinates) or a press on the box.
void PointerEnter(void*, wl_pointer*, uint32_t serial, wl_surface* surface, wl_fixed_t x,
                  wl_fixed_t y) {
    LayerWayland& layer = LayerWl();
    layer.pointerFocus = surface;
    layer.pointerX = wl_fixed_to_double(x);
    layer.pointerY = wl_fixed_to_double(y);
    if (FindWindowBySurfaceWayland(surface) != nullptr ||
        (layer.box != nullptr && surface == layer.boxSurface)) {
        SetArrowCursor(serial);
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

// Keyboard: Enter, Escape and space by their key codes, which do not depend on the layout.
void KeyboardKeymap(void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) {
    close(fd);
}
void KeyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface* surface, wl_array*) {
    LayerWl().keyboardFocus = surface;
}
void KeyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface* surface) {
    if (LayerWl().keyboardFocus == surface) {
        LayerWl().keyboardFocus = nullptr;
    }
}
WPARAM VirtualKeyOf(uint32_t key) {
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
            ModalBoxKeyWayland(layer.box, key);
        }
    } else if (WindowWayland* window = FindWindowBySurfaceWayland(layer.keyboardFocus)) {
        if (WPARAM virtualKey = VirtualKeyOf(key)) {
            PostMessageLinux(window, pressed ? WM_KEYDOWN : WM_KEYUP, virtualKey, 0);
        }
    }
}
void KeyboardModifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
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

void SeatCapabilities(void*, wl_seat* seat, uint32_t capabilities) {
    LayerWayland& layer = LayerWl();
    bool hasPointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
    bool hasKeyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
    if (hasPointer && layer.pointer == nullptr) {
        layer.pointer = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(layer.pointer, &kPointerListener, nullptr);
    } else if (!hasPointer && layer.pointer != nullptr) {
        wl_pointer_release(layer.pointer);
        layer.pointer = nullptr;
        layer.pointerFocus = nullptr;
    }
    if (hasKeyboard && layer.keyboard == nullptr) {
        layer.keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(layer.keyboard, &kKeyboardListener, nullptr);
    } else if (!hasKeyboard && layer.keyboard != nullptr) {
        wl_keyboard_release(layer.keyboard);
        layer.keyboard = nullptr;
        layer.keyboardFocus = nullptr;
    }
}
void SeatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeatListener = {SeatCapabilities, SeatName};

} // namespace

void ListenToSeatWayland(wl_seat* seat) {
    wl_seat_add_listener(seat, &kSeatListener, nullptr);
}
