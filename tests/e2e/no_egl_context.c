// Preloaded into the viewer: an EGL that offers its configurations and surfaces but makes no
// context, as a driver does that cannot give the context asked for.
#include <EGL/egl.h>

EGLContext eglCreateContext(EGLDisplay display, EGLConfig config, EGLContext share,
                            const EGLint* attributes) {
    (void)display;
    (void)config;
    (void)share;
    (void)attributes;
    return EGL_NO_CONTEXT;
}
