// The bare loop's window on Wayland: an xdg_toplevel through libdecor (as the viewer's), an EGL
// window surface with a desktop OpenGL context, swap interval 0.
#include <EGL/egl.h>
#include <libdecor.h>
#include <wayland-client.h>
#include <wayland-egl.h>

#include <cstdio>
#include <cstring>

#include "bare_window.h"

namespace {

struct BareWindowWayland : BareWindow {
    ~BareWindowWayland() override;
    void Swap() override { eglSwapBuffers(eglDisplay, eglSurface); }
    bool WaitUntil(Deadline deadline) override;
    const char* Open(int width, int height) override;

    wl_display* display = nullptr;
    wl_compositor* compositor = nullptr;
    libdecor* decor = nullptr;
    libdecor_frame* frame = nullptr;
    wl_egl_window* eglWindow = nullptr;
    EGLDisplay eglDisplay = EGL_NO_DISPLAY;
    EGLSurface eglSurface = EGL_NO_SURFACE;
    int width = 0, height = 0;
    bool configured = false;
    bool closed = false;
};

// libdecor's tables have reserved members: fill only what is used.
libdecor_interface kDecorInterface = [] {
    libdecor_interface table = {};
    table.error = [](libdecor*, libdecor_error, const char* message) {
        std::fprintf(stderr, "bare_loop: libdecor: %s\n", message);
    };
    return table;
}();
libdecor_frame_interface kFrameInterface = [] {
    libdecor_frame_interface table = {};
    table.configure = [](libdecor_frame* frame, libdecor_configuration* configuration, void* data) {
        auto* self = static_cast<BareWindowWayland*>(data);
        libdecor_state* state = libdecor_state_new(self->width, self->height);
        libdecor_frame_commit(frame, state, configuration);
        libdecor_state_free(state);
        self->configured = true;
    };
    table.close = [](libdecor_frame*, void* data) {
        static_cast<BareWindowWayland*>(data)->closed = true;
    };
    table.commit = [](libdecor_frame*, void*) {};
    return table;
}();
const wl_registry_listener kRegistryListener = {
    [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
        if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
            static_cast<BareWindowWayland*>(data)->compositor = static_cast<wl_compositor*>(
                wl_registry_bind(registry, name, &wl_compositor_interface, 4));
        }
    },
    nullptr};

const char* BareWindowWayland::Open(int width, int height) {
    this->width = width;
    this->height = height;
    display = wl_display_connect(nullptr);
    if (display == nullptr) {
        return "no Wayland compositor";
    }
    wl_registry_add_listener(wl_display_get_registry(display), &kRegistryListener, this);
    wl_display_roundtrip(display);
    if (compositor == nullptr) {
        return "no wl_compositor";
    }
    wl_surface* surface = wl_compositor_create_surface(compositor);
    decor = libdecor_new(display, &kDecorInterface);
    frame = libdecor_decorate(decor, surface, &kFrameInterface, this);
    libdecor_frame_set_title(frame, "Tavik");
    libdecor_frame_set_app_id(frame, "org.tavik.Tavik");
    libdecor_frame_map(frame);
    while (!configured && libdecor_dispatch(decor, -1) >= 0) {
    }

    eglDisplay = eglGetDisplay(reinterpret_cast<EGLNativeDisplayType>(display));
    if (!eglInitialize(eglDisplay, nullptr, nullptr) || !eglBindAPI(EGL_OPENGL_API)) {
        return "no EGL with desktop OpenGL";
    }
    // Window surfaces are what eglChooseConfig looks for unless told.
    const EGLint attributes[] = {EGL_RENDERABLE_TYPE,
                                 EGL_OPENGL_BIT,
                                 EGL_RED_SIZE,
                                 8,
                                 EGL_GREEN_SIZE,
                                 8,
                                 EGL_BLUE_SIZE,
                                 8,
                                 EGL_DEPTH_SIZE,
                                 24,
                                 EGL_NONE};
    EGLConfig config;
    EGLint count = 0;
    if (!eglChooseConfig(eglDisplay, attributes, &config, 1, &count) || count == 0) {
        return "no EGL configuration";
    }
    EGLContext context = eglCreateContext(eglDisplay, config, EGL_NO_CONTEXT, nullptr);
    eglWindow = wl_egl_window_create(surface, width, height);
    eglSurface = eglCreateWindowSurface(eglDisplay, config,
                                        reinterpret_cast<EGLNativeWindowType>(eglWindow), nullptr);
    if (!eglMakeCurrent(eglDisplay, eglSurface, eglSurface, context)) {
        return "cannot make the EGL context current";
    }
    eglSwapInterval(eglDisplay, 0);
    return nullptr;
}

bool BareWindowWayland::WaitUntil(Deadline deadline) {
    // libdecor_dispatch flushes, polls the connection for up to the timeout and dispatches.
    do {
        if (libdecor_dispatch(decor, MillisecondsUntil(deadline)) < 0) {
            return false;
        }
    } while (!closed && MillisecondsUntil(deadline) > 0);
    return !closed;
}

BareWindowWayland::~BareWindowWayland() {
    if (eglDisplay != EGL_NO_DISPLAY) {
        eglMakeCurrent(eglDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglTerminate(eglDisplay);
    }
    if (eglWindow != nullptr) {
        wl_egl_window_destroy(eglWindow);
    }
    if (frame != nullptr) {
        libdecor_frame_unref(frame);
    }
    if (decor != nullptr) {
        libdecor_unref(decor);
    }
    if (display != nullptr) {
        wl_display_disconnect(display);
    }
}

} // namespace

std::unique_ptr<BareWindow> NewBareWindowWayland() {
    return std::make_unique<BareWindowWayland>();
}
