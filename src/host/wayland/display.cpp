// The Wayland backend's connection: the compositor's globals, its outputs and their scales, the
// seat's pointer and keyboard, the event loop on the connection (prepare, flush, poll, read,
// dispatch), the lost connection, and the table of entry points it gives the Linux layer.
#include "host/wayland/layer.h"

#include <EGL/eglext.h>
#include <linux/input-event-codes.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A lost connection cannot be recovered from: say so and end at once, without running library
// teardown that would talk to the dead connection again.
[[noreturn]] void ReportLostConnection() {
    wl_display* display = LayerWl().display;
    const wl_interface* interface = nullptr;
    std::uint32_t id = 0;
    if (display != nullptr && wl_display_get_error(display) == EPROTO) {
        std::uint32_t code = wl_display_get_protocol_error(display, &interface, &id);
        std::fprintf(stderr, "Wayland: protocol error %u on %s; Tavik ends\n", code,
                     interface != nullptr ? interface->name : "the connection");
    } else {
        std::fputs("Wayland: the connection to the compositor was lost; Tavik ends\n", stderr);
    }
    _exit(1);
}

void QuietLog(const char*, va_list) {}

void PrefixedLog(const char* format, va_list args) {
    std::fputs("Wayland: ", stderr);
    std::vfprintf(stderr, format, args);
}

// The scale of each output, for the surfaces on them and for the message box.
void OutputGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*,
                    const char*, int32_t) {}
void OutputMode(void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {}
void OutputDone(void*, wl_output*) {}
void OutputScale(void* data, wl_output*, int32_t factor) {
    static_cast<OutputWayland*>(data)->scale = std::max(1, factor);
}
// Listeners are filled member by member: later protocol headers add members, which stay null
// because events newer than the bound version are never sent.
wl_output_listener OutputListener() {
    wl_output_listener listener{};
    listener.geometry = OutputGeometry;
    listener.mode = OutputMode;
    listener.done = OutputDone;
    listener.scale = OutputScale;
    return listener;
}
const wl_output_listener kOutputListener = OutputListener();

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

void RegistryGlobal(void*, wl_registry* registry, uint32_t name, const char* interface,
                    uint32_t version) {
    LayerWayland& layer = LayerWl();
    auto bind = [&](const wl_interface* type, uint32_t highest) {
        return wl_registry_bind(registry, name, type, std::min(version, highest));
    };
    if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
        // Version 4: buffer scale and damage in buffer coordinates.
        layer.compositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        layer.shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && layer.seat == nullptr) {
        layer.seat = static_cast<wl_seat*>(bind(&wl_seat_interface, 3));
        wl_seat_add_listener(layer.seat, &kSeatListener, nullptr);
    } else if (std::strcmp(interface, wl_output_interface.name) == 0 && version >= 2) {
        auto* output = new OutputWayland{nullptr, name, 1};
        output->output = static_cast<wl_output*>(bind(&wl_output_interface, 2));
        wl_output_add_listener(output->output, &kOutputListener, output);
        layer.outputs.push_back(output);
    } else if (std::strcmp(interface, wp_viewporter_interface.name) == 0) {
        layer.viewporter = static_cast<wp_viewporter*>(bind(&wp_viewporter_interface, 1));
    } else if (std::strcmp(interface, wp_fractional_scale_manager_v1_interface.name) == 0) {
        layer.fractionalScaleManager = static_cast<wp_fractional_scale_manager_v1*>(
            bind(&wp_fractional_scale_manager_v1_interface, 1));
    }
}

void RegistryGlobalRemove(void*, wl_registry*, uint32_t name) {
    LayerWayland& layer = LayerWl();
    auto found = std::find_if(layer.outputs.begin(), layer.outputs.end(),
                              [&](const OutputWayland* output) { return output->name == name; });
    if (found == layer.outputs.end()) {
        return;
    }
    OutputWayland* output = *found;
    for (WindowLinux* window : LinuxLayer().windows) {
        std::vector<OutputWayland*>& on = static_cast<WindowWayland*>(window)->outputs;
        on.erase(std::remove(on.begin(), on.end(), output), on.end());
    }
    layer.outputs.erase(found);
    wl_output_destroy(output->output);
    delete output;
}

const wl_registry_listener kRegistryListener = {RegistryGlobal, RegistryGlobalRemove};

void DecorError(libdecor*, libdecor_error, const char* message) {
    std::fprintf(stderr, "Wayland: libdecor: %s; Tavik ends\n", message);
    _exit(1);
}
libdecor_interface DecorInterface() {
    libdecor_interface decor{};
    decor.error = DecorError;
    return decor;
}
libdecor_interface decorInterface = DecorInterface();

void Disconnect() {
    LayerWayland& layer = LayerWl();
    wl_display_disconnect(layer.display);
    layer = LayerWayland{};
}

} // namespace

LayerWayland& LayerWl() {
    static LayerWayland layer;
    return layer;
}

void DispatchWayland(int timeoutMs) {
    wl_display* display = LayerWl().display;
    int dispatched = 0;
    while (wl_display_prepare_read(display) != 0) {
        int count = wl_display_dispatch_pending(display);
        if (count < 0) {
            ReportLostConnection();
        }
        dispatched += count;
    }
    // What was already queued counts as the arrival waited for.
    if (dispatched > 0) {
        timeoutMs = 0;
    }
    pollfd connection = {wl_display_get_fd(display), POLLIN, 0};
    // A full socket buffer (EAGAIN) is flushed again once the compositor has read from it.
    if (wl_display_flush(display) < 0) {
        if (errno != EAGAIN) {
            wl_display_cancel_read(display);
            ReportLostConnection();
        }
        connection.events |= POLLOUT;
    }
    int ready;
    while ((ready = poll(&connection, 1, timeoutMs)) < 0 && errno == EINTR) {
    }
    if (ready > 0 && (connection.revents & (POLLIN | POLLHUP | POLLERR))) {
        if (wl_display_read_events(display) < 0) {
            ReportLostConnection();
        }
    } else {
        wl_display_cancel_read(display);
    }
    if (wl_display_dispatch_pending(display) < 0) {
        ReportLostConnection();
    }
}

void PollEventsWayland() {
    DispatchWayland(0);
}

void WaitEventsWayland(std::int64_t deadlineNs) {
    DispatchWayland(PollTimeoutMs(deadlineNs));
}

WindowWayland* FindWindowBySurfaceWayland(wl_surface* surface) {
    if (surface == nullptr) {
        return nullptr;
    }
    for (WindowLinux* window : LinuxLayer().windows) {
        auto* windowWayland = static_cast<WindowWayland*>(window);
        if (windowWayland->surface == surface) {
            return windowWayland;
        }
    }
    return nullptr;
}

int LargestOutputScaleWayland() {
    int scale = 1;
    for (const OutputWayland* output : LayerWl().outputs) {
        scale = std::max(scale, output->scale);
    }
    return scale;
}

EGLDisplay EglDisplayWayland() {
    LayerWayland& layer = LayerWl();
    if (layer.eglTried) {
        return layer.eglDisplay;
    }
    layer.eglTried = true;
    EGLDisplay display = eglGetPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, layer.display, nullptr);
    EGLint major = 0;
    EGLint minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
        std::fprintf(stderr, "EGL: cannot initialise EGL on the Wayland connection (error 0x%x)\n",
                     eglGetError());
        return EGL_NO_DISPLAY;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        std::fputs("EGL: the EGL implementation has no desktop OpenGL\n", stderr);
        eglTerminate(display);
        return EGL_NO_DISPLAY;
    }
    layer.eglDisplay = display;
    return display;
}

bool ConnectWayland(PlatformLinux* platform) {
    LayerWayland& layer = LayerWl();
    // NOTE: libwayland logs to stderr when it finds no socket; whether one is there is exactly
    // what is being asked, so only a named compositor that cannot be reached is reported.
    wl_log_set_handler_client(QuietLog);
    layer.display = wl_display_connect(nullptr);
    wl_log_set_handler_client(PrefixedLog);
    if (layer.display == nullptr) {
        const char* name = std::getenv("WAYLAND_DISPLAY");
        if (name != nullptr && *name != '\0') {
            std::fprintf(stderr, "Wayland: cannot connect to the compositor \"%s\"\n", name);
        }
        return false;
    }
    layer.registry = wl_display_get_registry(layer.display);
    wl_registry_add_listener(layer.registry, &kRegistryListener, nullptr);
    // The first round trip lists the globals, the second brings the outputs' scales.
    if (wl_display_roundtrip(layer.display) < 0 || wl_display_roundtrip(layer.display) < 0) {
        ReportLostConnection();
    }
    if (layer.compositor == nullptr || layer.shm == nullptr) {
        std::fputs("Wayland: the compositor offers no wl_compositor or wl_shm\n", stderr);
        Disconnect();
        return false;
    }
    layer.decor = libdecor_new(layer.display, &decorInterface);
    if (layer.decor == nullptr) {
        std::fputs("Wayland: libdecor cannot decorate windows on this compositor\n", stderr);
        Disconnect();
        return false;
    }
    *platform = PlatformLinux{"Wayland",
                              CreateWindowWayland,
                              ShowWindowWayland,
                              DestroyWindowWayland,
                              PollEventsWayland,
                              WaitEventsWayland,
                              ChoosePixelFormatWayland,
                              SetPixelFormatWayland,
                              CreateContextWayland,
                              MakeCurrentWayland,
                              DeleteContextWayland,
                              SwapBuffersWayland,
                              MessageBoxWayland};
    return true;
}
