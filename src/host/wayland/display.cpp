// The Wayland backend's connection: the compositor's globals, its outputs and their scales, the
// event loop on the connection (prepare, flush, poll, read, dispatch), the lost connection, and
// the table of entry points it gives the Linux layer.
#include "host/wayland/layer.h"

#include <EGL/eglext.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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
// An output's properties arrive as a batch ended by done: only then does a new scale count, and
// the windows on that output (or on none yet) redraw at it.
void OutputDone(void*, wl_output*) {
    for (WindowLinux* window : LinuxLayer().windows) {
        UpdateOutputScaleWayland(static_cast<WindowWayland*>(window));
    }
}
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

// The compositor checks that the client still answers.
void WmBasePing(void*, xdg_wm_base* wmBase, uint32_t serial) {
    xdg_wm_base_pong(wmBase, serial);
}
const xdg_wm_base_listener kWmBaseListener = {WmBasePing};

// The icon sizes the compositor prefers come one by one, complete at done.
void IconSize(void*, xdg_toplevel_icon_manager_v1*, int32_t size) {
    LayerWl().iconSizesComing.push_back(size);
}
void IconSizesDone(void*, xdg_toplevel_icon_manager_v1*) {
    LayerWayland& layer = LayerWl();
    layer.iconSizes.swap(layer.iconSizesComing);
    layer.iconSizesComing.clear();
}
const xdg_toplevel_icon_manager_v1_listener kIconManagerListener = {IconSize, IconSizesDone};

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
        ListenToSeatWayland(layer.seat);
    } else if (std::strcmp(interface, wl_output_interface.name) == 0 && version >= 2) {
        auto* output = new OutputWayland{nullptr, name, 1};
        output->output = static_cast<wl_output*>(bind(&wl_output_interface, 2));
        wl_output_add_listener(output->output, &kOutputListener, output);
        layer.outputs.push_back(output);
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
        layer.wmBase = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 1));
        xdg_wm_base_add_listener(layer.wmBase, &kWmBaseListener, nullptr);
    } else if (std::strcmp(interface, zxdg_decoration_manager_v1_interface.name) == 0) {
        layer.decorationManager = static_cast<zxdg_decoration_manager_v1*>(
            bind(&zxdg_decoration_manager_v1_interface, 1));
    } else if (std::strcmp(interface, wp_viewporter_interface.name) == 0) {
        layer.viewporter = static_cast<wp_viewporter*>(bind(&wp_viewporter_interface, 1));
    } else if (std::strcmp(interface, wp_fractional_scale_manager_v1_interface.name) == 0) {
        layer.fractionalScaleManager = static_cast<wp_fractional_scale_manager_v1*>(
            bind(&wp_fractional_scale_manager_v1_interface, 1));
    } else if (std::strcmp(interface, xdg_activation_v1_interface.name) == 0) {
        layer.activation = static_cast<xdg_activation_v1*>(bind(&xdg_activation_v1_interface, 1));
    } else if (std::strcmp(interface, wp_cursor_shape_manager_v1_interface.name) == 0) {
        // Version 1 has the default arrow, the one shape the layer shows.
        layer.cursorShapeManager = static_cast<wp_cursor_shape_manager_v1*>(
            bind(&wp_cursor_shape_manager_v1_interface, 1));
    } else if (std::strcmp(interface, xdg_toplevel_icon_manager_v1_interface.name) == 0) {
        layer.iconManager = static_cast<xdg_toplevel_icon_manager_v1*>(
            bind(&xdg_toplevel_icon_manager_v1_interface, 1));
        xdg_toplevel_icon_manager_v1_add_listener(layer.iconManager, &kIconManagerListener,
                                                  nullptr);
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
    layer.outputs.erase(found);
    // NOTE: a surface may get no leave for an output whose global goes away; the windows that
    // were on it take the scale of the outputs they are still on (or of those there are) here.
    for (WindowLinux* window : LinuxLayer().windows) {
        auto* windowWayland = static_cast<WindowWayland*>(window);
        std::vector<OutputWayland*>& on = windowWayland->outputs;
        on.erase(std::remove(on.begin(), on.end(), output), on.end());
        UpdateOutputScaleWayland(windowWayland);
    }
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

// Whether wl_display_connect could find a compositor: a socket handed over in WAYLAND_SOCKET, or
// the socket file it would connect to (WAYLAND_DISPLAY, "wayland-0" by default, under
// XDG_RUNTIME_DIR unless the name is a path).
bool CompositorSocketFound() {
    const char* handedOver = std::getenv("WAYLAND_SOCKET");
    if (handedOver != nullptr && *handedOver != '\0') {
        return true;
    }
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (name == nullptr || *name == '\0') {
        name = "wayland-0";
    }
    std::string path = name;
    if (name[0] != '/') {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (runtime == nullptr || *runtime == '\0') {
            return false;
        }
        path = std::string(runtime) + "/" + name;
    }
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
}

// Only a compositor the environment names is worth a line when it cannot be reached.
void ReportNoCompositor() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (name != nullptr && *name != '\0') {
        std::fprintf(stderr, "Wayland: cannot connect to the compositor \"%s\"\n", name);
    }
}

// The EGL display on the connection, initialised for desktop OpenGL, in layer.eglDisplay; false,
// with the reason in *why, when EGL cannot draw OpenGL windows there. Tried once.
bool OpenEglDisplay(std::string* why) {
    LayerWayland& layer = LayerWl();
    layer.eglTried = true;
    EGLDisplay display = eglGetPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, layer.display, nullptr);
    EGLint major = 0;
    EGLint minor = 0;
    char error[64];
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
        std::snprintf(error, sizeof error, "0x%x", static_cast<unsigned>(eglGetError()));
        *why = std::string("cannot initialise EGL on the Wayland connection (error ") + error + ")";
        return false;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        *why = "the EGL implementation has no desktop OpenGL";
    } else if (!EglCanDrawWindowsWayland(display)) {
        *why = "no EGL configuration can draw desktop OpenGL to a window";
    } else {
        layer.eglDisplay = display;
        return true;
    }
    eglTerminate(display);
    return false;
}

// Where an X server is also there (Xwayland, or an X display forwarded to the session), its GLX
// can render what EGL on the compositor cannot: the reason and the switch make one stderr line.
bool EglFailsWithX11ToFallBackTo() {
    const char* x11 = std::getenv("DISPLAY");
    std::string why;
    if (x11 == nullptr || *x11 == '\0' || OpenEglDisplay(&why)) {
        return false;
    }
    std::fprintf(stderr, "Wayland: %s; Tavik uses the X display %s instead\n", why.c_str(), x11);
    return true;
}

// Destroys what the connection holds, then the connection, before it is given up for X11.
void Disconnect() {
    LayerWayland& layer = LayerWl();
    if (layer.eglDisplay != EGL_NO_DISPLAY) {
        eglTerminate(layer.eglDisplay);
    }
    for (OutputWayland* output : layer.outputs) {
        wl_output_destroy(output->output);
        delete output;
    }
    for (void* proxy :
         {static_cast<void*>(layer.cursorShapeDevice), static_cast<void*>(layer.pointer),
          static_cast<void*>(layer.keyboard), static_cast<void*>(layer.cursorShapeManager),
          static_cast<void*>(layer.iconManager), static_cast<void*>(layer.seat),
          static_cast<void*>(layer.compositor), static_cast<void*>(layer.shm),
          static_cast<void*>(layer.viewporter), static_cast<void*>(layer.fractionalScaleManager),
          static_cast<void*>(layer.activation), static_cast<void*>(layer.wmBase),
          static_cast<void*>(layer.decorationManager), static_cast<void*>(layer.registry)}) {
        if (proxy != nullptr) {
            wl_proxy_destroy(static_cast<wl_proxy*>(proxy));
        }
    }
    wl_display_disconnect(layer.display);
    layer = LayerWayland{};
}

} // namespace

LayerWayland& LayerWl() {
    static LayerWayland layer;
    return layer;
}

void DispatchWayland(std::int64_t deadlineNs) {
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
    timespec timeout = {};
    const timespec* wait = dispatched > 0 ? &timeout : PollTimeout(deadlineNs, &timeout);
    // NOTE: libdecor's plugin may have work of its own behind a descriptor of its own, and its
    // API wants libdecor_dispatch called when that is readable, as GLFW does. The cairo plugin's
    // descriptor is the connection's, and its dispatch only reads and dispatches what is already
    // there without waiting: the events still reach the same listeners.
    libdecor* decor = LayerWl().decor;
    pollfd fds[2] = {{wl_display_get_fd(display), POLLIN, 0},
                     {decor != nullptr ? libdecor_get_fd(decor) : -1, POLLIN, 0}};
    pollfd& connection = fds[0];
    // A full socket buffer (EAGAIN) is flushed again once the compositor has read from it.
    if (wl_display_flush(display) < 0) {
        if (errno != EAGAIN) {
            wl_display_cancel_read(display);
            ReportLostConnection();
        }
        connection.events |= POLLOUT;
    }
    int ready;
    while ((ready = ppoll(fds, 2, wait, nullptr)) < 0 && errno == EINTR) {
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
    if (ready > 0 && (fds[1].revents & POLLIN) && libdecor_dispatch(decor, 0) < 0 &&
        wl_display_get_error(display) != 0) {
        ReportLostConnection();
    }
}

void PollEventsWayland() {
    DispatchWayland(0);
    FrameWindowsWhereAskedWayland();
}

void WaitEventsWayland(std::int64_t deadlineNs) {
    DispatchWayland(deadlineNs);
    FrameWindowsWhereAskedWayland();
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
    if (!layer.eglTried) {
        std::string why;
        if (!OpenEglDisplay(&why)) {
            std::fprintf(stderr, "EGL: %s\n", why.c_str());
        }
    }
    return layer.eglDisplay;
}

libdecor* DecorWayland(const char* without) {
    LayerWayland& layer = LayerWl();
    if (layer.decor == nullptr && !layer.decorTried) {
        layer.decorTried = true;
        if (LoadDecorLibraryWayland(without)) {
            layer.decor = libdecor_new(layer.display, &decorInterface);
            if (layer.decor == nullptr) {
                std::fprintf(stderr, "Wayland: libdecor cannot decorate windows here; %s\n",
                             without);
            }
        }
    }
    return layer.decor;
}

bool ConnectWayland(PlatformLinux* platform) {
    LayerWayland& layer = LayerWl();
    // Without a socket the libraries are not loaded at all, so that a start on X11 costs nothing.
    if (!CompositorSocketFound()) {
        ReportNoCompositor();
        return false;
    }
    if (!LoadLibraryWayland()) {
        return false;
    }
    // NOTE: libwayland logs to stderr when it finds no socket; whether one is there is exactly
    // what is being asked, so only a named compositor that cannot be reached is reported.
    wl_log_set_handler_client(QuietLog);
    // NOTE: libwayland takes an empty WAYLAND_SOCKET for descriptor 0 and an empty WAYLAND_DISPLAY
    // for a socket named "": both count as unset here, as the choice of window system has it.
    const char* handedOver = std::getenv("WAYLAND_SOCKET");
    if (handedOver != nullptr && *handedOver == '\0') {
        unsetenv("WAYLAND_SOCKET");
    }
    const char* named = std::getenv("WAYLAND_DISPLAY");
    layer.display = wl_display_connect(named != nullptr && *named != '\0' ? nullptr : "wayland-0");
    wl_log_set_handler_client(PrefixedLog);
    if (layer.display == nullptr) {
        ReportNoCompositor();
        return false;
    }
    layer.registry = wl_display_get_registry(layer.display);
    wl_registry_add_listener(layer.registry, &kRegistryListener, nullptr);
    // The first round trip lists the globals, the second brings the outputs' scales.
    if (wl_display_roundtrip(layer.display) < 0 || wl_display_roundtrip(layer.display) < 0) {
        ReportLostConnection();
    }
    if (layer.compositor == nullptr || layer.shm == nullptr || layer.wmBase == nullptr) {
        std::fputs("Wayland: the compositor offers no wl_compositor, wl_shm or xdg_wm_base\n",
                   stderr);
        Disconnect();
        return false;
    }
    if (EglFailsWithX11ToFallBackTo()) {
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
                              MessageBoxWayland,
                              SetIconWayland};
    return true;
}
