// Pixel formats and OpenGL contexts on GLX. A pixel format is the 1-based index of a GLX
// framebuffer configuration of the default screen; setting it gives the window that
// configuration's visual. Failures become the results the Windows calls give (0, FALSE, null)
// with a line on stderr.
#include "host/x11/layer.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "host/linux/pixel_format.h"

namespace {

// Asked of the server once: each query is a round trip.
bool HasGlx(Display* display) {
    LayerX11& layer = Layer();
    if (layer.glxPresent < 0) {
        int errorBase = 0;
        int eventBase = 0;
        layer.glxPresent = glXQueryExtension(display, &errorBase, &eventBase) == True ? 1 : 0;
    }
    return layer.glxPresent == 1;
}

int Attribute(Display* display, GLXFBConfig config, int attribute) {
    int value = 0;
    glXGetFBConfigAttrib(display, config, attribute, &value);
    return value;
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

// The parts of a description that a search for window-drawable RGBA configurations with a given
// buffering on the main plane leaves open.
void DescribeSizes(Display* display, GLXFBConfig config, FramebufferConfig* description) {
    description->hasVisual = Attribute(display, config, GLX_VISUAL_ID) != 0;
    description->slow = Attribute(display, config, GLX_CONFIG_CAVEAT) == GLX_SLOW_CONFIG;
    description->colorBits = Attribute(display, config, GLX_RED_SIZE) +
                             Attribute(display, config, GLX_GREEN_SIZE) +
                             Attribute(display, config, GLX_BLUE_SIZE);
    description->alphaBits = Attribute(display, config, GLX_ALPHA_SIZE);
    description->depthBits = Attribute(display, config, GLX_DEPTH_SIZE);
    description->stencilBits = Attribute(display, config, GLX_STENCIL_SIZE);
}

// The indexes in `configs`, in its order, of the configurations that glXChooseFBConfig finds
// for the minimums and for window drawing, RGBA pixels and the given buffering (on the main
// plane, its default). Stereo and transparency are left open, as the ranking ignores them.
std::vector<int> Matching(Display* display, const std::vector<GLXFBConfig>& configs,
                          bool doubleBuffer, const ConfigMinimums& minimums) {
    const int dontCare = static_cast<int>(GLX_DONT_CARE);
    // clang-format off
    const int attributes[] = {
        GLX_DRAWABLE_TYPE, GLX_WINDOW_BIT,
        GLX_RENDER_TYPE, GLX_RGBA_BIT,
        GLX_DOUBLEBUFFER, doubleBuffer,
        GLX_STEREO, dontCare,
        GLX_TRANSPARENT_TYPE, dontCare,
        GLX_RED_SIZE, minimums.channelBits,
        GLX_GREEN_SIZE, minimums.channelBits,
        GLX_BLUE_SIZE, minimums.channelBits,
        GLX_BUFFER_SIZE, minimums.bufferBits,
        GLX_DEPTH_SIZE, minimums.depthBits,
        None};
    // clang-format on
    int count = 0;
    GLXFBConfig* found = glXChooseFBConfig(display, DefaultScreen(display), attributes, &count);
    std::vector<GLXFBConfig> sorted(found, found + (found != nullptr ? count : 0));
    XFree(found);
    std::sort(sorted.begin(), sorted.end());
    std::vector<int> indexes;
    for (size_t i = 0; i < configs.size(); ++i) {
        if (std::binary_search(sorted.begin(), sorted.end(), configs[i])) {
            indexes.push_back(static_cast<int>(i));
        }
    }
    return indexes;
}

// The same choice, describing every configuration.
int ChooseAmongAll(Display* display, const std::vector<GLXFBConfig>& configs,
                   const PIXELFORMATDESCRIPTOR& request) {
    std::vector<FramebufferConfig> descriptions;
    descriptions.reserve(configs.size());
    for (GLXFBConfig config : configs) {
        descriptions.push_back(DescribeConfigX11(display, config));
    }
    return ChooseClosestConfig(descriptions.data(), static_cast<int>(descriptions.size()), request);
}

} // namespace

FramebufferConfig DescribeConfigX11(Display* display, GLXFBConfig config) {
    FramebufferConfig description = {};
    description.drawToWindow = (Attribute(display, config, GLX_DRAWABLE_TYPE) & GLX_WINDOW_BIT);
    description.rgba = (Attribute(display, config, GLX_RENDER_TYPE) & GLX_RGBA_BIT) != 0;
    description.doubleBuffer = Attribute(display, config, GLX_DOUBLEBUFFER) != 0;
    description.level = Attribute(display, config, GLX_LEVEL);
    DescribeSizes(display, config, &description);
    return description;
}

int ChoosePixelFormatX11(WindowLinux*, const PIXELFORMATDESCRIPTOR& request) {
    Display* display = Layer().display;
    if (!HasGlx(display)) {
        std::fputs("GLX: the display has no GLX extension\n", stderr);
        return 0;
    }
    std::vector<GLXFBConfig> configs = ScreenConfigs(display);
    // NOTE: each glXGetFBConfigAttrib call walks the library's list of configurations to check
    // its argument; describing all of a software renderer's hundreds costs milliseconds.
    const bool doubleBuffer = (request.dwFlags & PFD_DOUBLEBUFFER) != 0;
    int chosen = ChooseClosestConfigAmongFew(
        request,
        [&](const ConfigMinimums& minimums) {
            return Matching(display, configs, doubleBuffer, minimums);
        },
        [&](int index) {
            // What the search asked for is known; only the rest needs describing.
            FramebufferConfig description = {};
            description.drawToWindow = description.rgba = true;
            description.doubleBuffer = doubleBuffer;
            DescribeSizes(display, configs[index], &description);
            return description;
        });
    if (chosen < 0) {
        chosen = ChooseAmongAll(display, configs, request);
    }
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
