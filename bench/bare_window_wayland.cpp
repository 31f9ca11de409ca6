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

class BareWindowWayland : public BareWindow {
  public:
    ~BareWindowWayland() override;
    void Swap() override;
    bool WaitUntil(const timespec& deadline) override;
    bool Open(int width, int height);

    static void Global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version);
    static void Configure(libdecor_frame* frame, libdecor_configuration* configuration, void* data);
    static void Close(libdecor_frame*, void* data) {
        static_cast<BareWindowWayland*>(data)->closed_ = true;
    }
    static void Commit(libdecor_frame*, void*) {}
    static void Error(libdecor*, libdecor_error, const char* message) {
        std::fprintf(stderr, "bare_loop: libdecor: %s\n", message);
    }

  private:
    wl_display* display_ = nullptr;
    wl_compositor* compositor_ = nullptr;
    wl_surface* surface_ = nullptr;
    libdecor* decor_ = nullptr;
    libdecor_frame* frame_ = nullptr;
    wl_egl_window* eglWindow_ = nullptr;
    EGLDisplay eglDisplay_ = EGL_NO_DISPLAY;
    EGLSurface eglSurface_ = EGL_NO_SURFACE;
    int width_ = 0, height_ = 0;
    bool configured_ = false;
    bool closed_ = false;
};

// libdecor's tables have reserved members: fill only what is used.
libdecor_interface kDecorInterface = [] {
    libdecor_interface table = {};
    table.error = BareWindowWayland::Error;
    return table;
}();
libdecor_frame_interface kFrameInterface = [] {
    libdecor_frame_interface table = {};
    table.configure = BareWindowWayland::Configure;
    table.close = BareWindowWayland::Close;
    table.commit = BareWindowWayland::Commit;
    return table;
}();

void BareWindowWayland::Global(void* data, wl_registry* registry, uint32_t name,
                               const char* interface, uint32_t) {
    auto* self = static_cast<BareWindowWayland*>(data);
    if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
        self->compositor_ = static_cast<wl_compositor*>(
            wl_registry_bind(registry, name, &wl_compositor_interface, 4));
    }
}

void BareWindowWayland::Configure(libdecor_frame* frame, libdecor_configuration* configuration,
                                  void* data) {
    auto* self = static_cast<BareWindowWayland*>(data);
    libdecor_state* state = libdecor_state_new(self->width_, self->height_);
    libdecor_frame_commit(frame, state, configuration);
    libdecor_state_free(state);
    self->configured_ = true;
}

bool BareWindowWayland::Open(int width, int height) {
    width_ = width;
    height_ = height;
    display_ = wl_display_connect(nullptr);
    if (display_ == nullptr) {
        std::fputs("bare_loop: no Wayland compositor\n", stderr);
        return false;
    }
    static const wl_registry_listener registryListener = {Global, nullptr};
    wl_registry_add_listener(wl_display_get_registry(display_), &registryListener, this);
    wl_display_roundtrip(display_);
    if (compositor_ == nullptr) {
        std::fputs("bare_loop: no wl_compositor\n", stderr);
        return false;
    }
    surface_ = wl_compositor_create_surface(compositor_);
    decor_ = libdecor_new(display_, &kDecorInterface);
    frame_ = libdecor_decorate(decor_, surface_, &kFrameInterface, this);
    libdecor_frame_set_title(frame_, "Tavik");
    libdecor_frame_set_app_id(frame_, "org.tavik.Tavik");
    libdecor_frame_map(frame_);
    while (!configured_ && libdecor_dispatch(decor_, -1) >= 0) {
    }

    eglDisplay_ = eglGetDisplay(reinterpret_cast<EGLNativeDisplayType>(display_));
    if (!eglInitialize(eglDisplay_, nullptr, nullptr) || !eglBindAPI(EGL_OPENGL_API)) {
        std::fputs("bare_loop: no EGL with desktop OpenGL\n", stderr);
        return false;
    }
    const EGLint attributes[] = {EGL_SURFACE_TYPE,
                                 EGL_WINDOW_BIT,
                                 EGL_RENDERABLE_TYPE,
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
    if (!eglChooseConfig(eglDisplay_, attributes, &config, 1, &count) || count == 0) {
        std::fputs("bare_loop: no EGL configuration\n", stderr);
        return false;
    }
    EGLContext context = eglCreateContext(eglDisplay_, config, EGL_NO_CONTEXT, nullptr);
    eglWindow_ = wl_egl_window_create(surface_, width, height);
    eglSurface_ = eglCreateWindowSurface(
        eglDisplay_, config, reinterpret_cast<EGLNativeWindowType>(eglWindow_), nullptr);
    if (!eglMakeCurrent(eglDisplay_, eglSurface_, eglSurface_, context)) {
        std::fputs("bare_loop: cannot make the EGL context current\n", stderr);
        return false;
    }
    eglSwapInterval(eglDisplay_, 0);
    return true;
}

void BareWindowWayland::Swap() {
    eglSwapBuffers(eglDisplay_, eglSurface_);
}

bool BareWindowWayland::WaitUntil(const timespec& deadline) {
    // libdecor_dispatch flushes, polls the connection for up to the timeout and dispatches.
    do {
        if (libdecor_dispatch(decor_, MillisecondsUntil(deadline)) < 0) {
            return false;
        }
    } while (!closed_ && MillisecondsUntil(deadline) > 0);
    return !closed_;
}

BareWindowWayland::~BareWindowWayland() {
    if (eglDisplay_ != EGL_NO_DISPLAY) {
        eglMakeCurrent(eglDisplay_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglTerminate(eglDisplay_);
    }
    if (eglWindow_ != nullptr) {
        wl_egl_window_destroy(eglWindow_);
    }
    if (frame_ != nullptr) {
        libdecor_frame_unref(frame_);
    }
    if (decor_ != nullptr) {
        libdecor_unref(decor_);
    }
    if (display_ != nullptr) {
        wl_display_disconnect(display_);
    }
}

} // namespace

std::unique_ptr<BareWindow> OpenBareWindowWayland(int width, int height) {
    auto window = std::make_unique<BareWindowWayland>();
    return window->Open(width, height) ? std::move(window) : nullptr;
}
