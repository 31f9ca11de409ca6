// Pixel formats and OpenGL contexts on GLX. A pixel format is the 1-based index of a GLX
// framebuffer configuration of the default screen; setting it gives the window that
// configuration's visual. Failures become the results the Windows calls give (0, FALSE, null)
// with a line on stderr.
#include "host/x11/layer.h"

#include <cstdio>
#include <vector>

#include "host/linux/pixel_format.h"

namespace {

bool HasGlx(Display* display) {
    int errorBase = 0;
    int eventBase = 0;
    return glXQueryExtension(display, &errorBase, &eventBase) == True;
}

int Attribute(Display* display, GLXFBConfig config, int attribute) {
    int value = 0;
    glXGetFBConfigAttrib(display, config, attribute, &value);
    return value;
}

FramebufferConfig DescribeConfig(Display* display, GLXFBConfig config) {
    FramebufferConfig description = {};
    description.drawToWindow = (Attribute(display, config, GLX_DRAWABLE_TYPE) & GLX_WINDOW_BIT);
    description.hasVisual = Attribute(display, config, GLX_VISUAL_ID) != 0;
    description.rgba = (Attribute(display, config, GLX_RENDER_TYPE) & GLX_RGBA_BIT) != 0;
    description.doubleBuffer = Attribute(display, config, GLX_DOUBLEBUFFER) != 0;
    description.slow = Attribute(display, config, GLX_CONFIG_CAVEAT) == GLX_SLOW_CONFIG;
    description.colorBits = Attribute(display, config, GLX_RED_SIZE) +
                            Attribute(display, config, GLX_GREEN_SIZE) +
                            Attribute(display, config, GLX_BLUE_SIZE);
    description.alphaBits = Attribute(display, config, GLX_ALPHA_SIZE);
    description.depthBits = Attribute(display, config, GLX_DEPTH_SIZE);
    description.stencilBits = Attribute(display, config, GLX_STENCIL_SIZE);
    return description;
}

// The framebuffer configurations of the default screen; empty without GLX.
std::vector<GLXFBConfig> ScreenConfigs(Display* display) {
    std::vector<GLXFBConfig> configs;
    if (!HasGlx(display)) {
        return configs;
    }
    int count = 0;
    GLXFBConfig* list = glXGetFBConfigs(display, DefaultScreen(display), &count);
    if (list != nullptr) {
        configs.assign(list, list + count);
        XFree(list);
    }
    return configs;
}

} // namespace

int ChoosePixelFormatX11(WindowLinux*, const PIXELFORMATDESCRIPTOR& request) {
    Display* display = Layer().display;
    if (!HasGlx(display)) {
        std::fputs("GLX: the display has no GLX extension\n", stderr);
        return 0;
    }
    std::vector<GLXFBConfig> configs = ScreenConfigs(display);
    std::vector<FramebufferConfig> descriptions;
    descriptions.reserve(configs.size());
    for (GLXFBConfig config : configs) {
        descriptions.push_back(DescribeConfig(display, config));
    }
    int chosen =
        ChooseClosestConfig(descriptions.data(), static_cast<int>(descriptions.size()), request);
    if (chosen < 0) {
        std::fputs("GLX: no framebuffer configuration can draw OpenGL to a window\n", stderr);
        return 0;
    }
    return chosen + 1;
}

bool SetPixelFormatX11(WindowLinux* windowLinux, int format) {
    auto* window = static_cast<WindowX11*>(windowLinux);
    Display* display = Layer().display;
    std::vector<GLXFBConfig> configs = ScreenConfigs(display);
    if (format > static_cast<int>(configs.size())) {
        return false;
    }
    GLXFBConfig config = configs[format - 1];
    XVisualInfo* visual = glXGetVisualFromFBConfig(display, config);
    if (visual == nullptr) {
        std::fputs("GLX: the pixel format has no X visual\n", stderr);
        return false;
    }
    bool created = CreateNativeWindowX11(window, visual->visual, visual->depth);
    XFree(visual);
    if (!created) {
        return false;
    }
    window->config = config;
    return true;
}

ContextLinux* CreateContextX11(WindowLinux* windowLinux) {
    auto* window = static_cast<WindowX11*>(windowLinux);
    Display* display = Layer().display;
    BeginErrorTrapX11(display);
    GLXContext handle = glXCreateNewContext(display, window->config, GLX_RGBA_TYPE, nullptr, True);
    int error = EndErrorTrapX11(display);
    if (handle == nullptr || error != 0) {
        std::fprintf(stderr, "GLX: cannot create an OpenGL context (X error %d)\n", error);
        if (handle != nullptr) {
            glXDestroyContext(display, handle);
        }
        return nullptr;
    }
    return new ContextX11(handle);
}

bool MakeCurrentX11(WindowLinux* windowLinux, ContextLinux* context) {
    Display* display = Layer().display;
    if (context == nullptr) {
        glXMakeContextCurrent(display, None, None, nullptr);
        return true;
    }
    auto* window = static_cast<WindowX11*>(windowLinux);
    BeginErrorTrapX11(display);
    Bool made = glXMakeContextCurrent(display, window->handle, window->handle,
                                      static_cast<ContextX11*>(context)->handle);
    int error = EndErrorTrapX11(display);
    if (!made || error != 0) {
        std::fprintf(stderr, "GLX: cannot make the OpenGL context current (X error %d)\n", error);
        return false;
    }
    return true;
}

void DeleteContextX11(ContextLinux* context) {
    auto* contextX11 = static_cast<ContextX11*>(context);
    glXDestroyContext(Layer().display, contextX11->handle);
    delete contextX11;
}

bool SwapBuffersX11(WindowLinux* window) {
    glXSwapBuffers(Layer().display, static_cast<WindowX11*>(window)->handle);
    return true;
}
