// Pixel formats and OpenGL contexts on EGL with the desktop OpenGL API. A pixel format is the
// 1-based index of an EGLConfig of the compositor connection's EGL display; setting it gives the
// window an EGL window surface of that configuration. Contexts are compatibility contexts, so
// the fixed-function calls work. Failures become the results the Windows calls give (0, FALSE,
// null) with a line on stderr.
#include "host/wayland/layer.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "host/linux/pixel_format.h"

namespace {

int Attribute(EGLDisplay display, EGLConfig config, EGLint attribute) {
    EGLint value = 0;
    eglGetConfigAttrib(display, config, attribute, &value);
    return value;
}

// An EGL window surface renders to a back buffer and has no visual to match; a configuration
// that cannot render desktop OpenGL is one that cannot serve the request for a window.
FramebufferConfig DescribeConfig(EGLDisplay display, EGLConfig config) {
    FramebufferConfig description = {};
    description.drawToWindow = (Attribute(display, config, EGL_SURFACE_TYPE) & EGL_WINDOW_BIT) &&
                               (Attribute(display, config, EGL_RENDERABLE_TYPE) & EGL_OPENGL_BIT);
    description.hasVisual = true;
    description.rgba = Attribute(display, config, EGL_COLOR_BUFFER_TYPE) == EGL_RGB_BUFFER;
    description.doubleBuffer = true;
    description.slow = Attribute(display, config, EGL_CONFIG_CAVEAT) == EGL_SLOW_CONFIG;
    description.colorBits = Attribute(display, config, EGL_RED_SIZE) +
                            Attribute(display, config, EGL_GREEN_SIZE) +
                            Attribute(display, config, EGL_BLUE_SIZE);
    description.alphaBits = Attribute(display, config, EGL_ALPHA_SIZE);
    description.depthBits = Attribute(display, config, EGL_DEPTH_SIZE);
    description.stencilBits = Attribute(display, config, EGL_STENCIL_SIZE);
    description.level = Attribute(display, config, EGL_LEVEL);
    return description;
}

// Every configuration of the display, in EGL's own (stable) order; empty without EGL.
std::vector<EGLConfig> AllConfigs(EGLDisplay display) {
    std::vector<EGLConfig> configs;
    EGLint count = 0;
    if (display == EGL_NO_DISPLAY || !eglGetConfigs(display, nullptr, 0, &count) || count <= 0) {
        return configs;
    }
    configs.resize(static_cast<std::size_t>(count));
    if (!eglGetConfigs(display, configs.data(), count, &count)) {
        count = 0;
    }
    configs.resize(static_cast<std::size_t>(count));
    return configs;
}

} // namespace

bool EglCanDrawWindowsWayland(EGLDisplay display) {
    std::vector<EGLConfig> configs = AllConfigs(display);
    return std::any_of(configs.begin(), configs.end(), [&](EGLConfig config) {
        return DescribeConfig(display, config).drawToWindow;
    });
}

int ChoosePixelFormatWayland(WindowLinux*, const PIXELFORMATDESCRIPTOR& request) {
    EGLDisplay display = EglDisplayWayland();
    if (display == EGL_NO_DISPLAY) {
        return 0;
    }
    std::vector<EGLConfig> configs = AllConfigs(display);
    std::vector<FramebufferConfig> descriptions;
    descriptions.reserve(configs.size());
    for (EGLConfig config : configs) {
        descriptions.push_back(DescribeConfig(display, config));
    }
    int chosen =
        ChooseClosestConfig(descriptions.data(), static_cast<int>(descriptions.size()), request);
    if (chosen < 0) {
        std::fputs("EGL: no configuration can draw desktop OpenGL to a window\n", stderr);
        return 0;
    }
    return chosen + 1;
}

bool SetPixelFormatWayland(WindowLinux* windowLinux, int format) {
    auto* window = static_cast<WindowWayland*>(windowLinux);
    EGLDisplay display = EglDisplayWayland();
    std::vector<EGLConfig> configs = AllConfigs(display);
    if (format > static_cast<int>(configs.size())) {
        return false;
    }
    EGLConfig config = configs[static_cast<std::size_t>(format - 1)];
    window->eglWindow = wl_egl_window_create(window->surface, window->width, window->height);
    window->eglSurface = eglCreateWindowSurface(
        display, config, reinterpret_cast<EGLNativeWindowType>(window->eglWindow), nullptr);
    if (window->eglSurface == EGL_NO_SURFACE) {
        std::fprintf(stderr, "EGL: cannot create the window surface (error 0x%x)\n", eglGetError());
        wl_egl_window_destroy(window->eglWindow);
        window->eglWindow = nullptr;
        return false;
    }
    window->config = config;
    return true;
}

ContextLinux* CreateContextWayland(WindowLinux* windowLinux) {
    auto* window = static_cast<WindowWayland*>(windowLinux);
    EGLDisplay display = EglDisplayWayland();
    // No version or profile asked for: the compatibility profile, at the highest version the
    // driver offers with it.
    const EGLint attributes[] = {EGL_NONE};
    eglBindAPI(EGL_OPENGL_API);
    EGLContext handle = eglCreateContext(display, window->config, EGL_NO_CONTEXT, attributes);
    if (handle == EGL_NO_CONTEXT) {
        std::fprintf(stderr, "EGL: cannot create an OpenGL context (error 0x%x)\n", eglGetError());
        return nullptr;
    }
    return new ContextWayland(handle);
}

bool MakeCurrentWayland(WindowLinux* windowLinux, ContextLinux* context) {
    EGLDisplay display = LayerWl().eglDisplay;
    if (context == nullptr) {
        if (display != EGL_NO_DISPLAY) {
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        }
        return true;
    }
    auto* window = static_cast<WindowWayland*>(windowLinux);
    eglBindAPI(EGL_OPENGL_API);
    if (!eglMakeCurrent(display, window->eglSurface, window->eglSurface,
                        static_cast<ContextWayland*>(context)->handle)) {
        std::fprintf(stderr, "EGL: cannot make the OpenGL context current (error 0x%x)\n",
                     eglGetError());
        return false;
    }
    window->drawnWithOpenGl = true;
    // The 40 ms timer paces the frames: a swap must never wait for the compositor, so a hidden
    // or covered window does not hold up the message loop.
    eglSwapInterval(display, 0);
    return true;
}

void DeleteContextWayland(ContextLinux* context) {
    auto* contextWayland = static_cast<ContextWayland*>(context);
    eglDestroyContext(LayerWl().eglDisplay, contextWayland->handle);
    delete contextWayland;
}

bool SwapBuffersWayland(WindowLinux* windowLinux) {
    auto* window = static_cast<WindowWayland*>(windowLinux);
    // A buffer before the compositor's first configure is a protocol error that ends the
    // connection; a frame drawn before the window is shown is dropped instead.
    if (!window->configured) {
        return false;
    }
    if (window->bufferScaleChanged) {
        ApplyBufferScaleWayland(window);
    }
    if (eglSwapBuffers(LayerWl().eglDisplay, window->eglSurface) != EGL_TRUE) {
        return false;
    }
    if (window->shown) {
        ActivateWithTokenWayland(window->surface);
    }
    return true;
}

bool EglContextCurrentWayland() {
    return LayerWl().display != nullptr && eglGetCurrentContext() != EGL_NO_CONTEXT;
}
