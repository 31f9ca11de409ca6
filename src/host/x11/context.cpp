// Device contexts, pixel formats and OpenGL contexts on GLX. A pixel format is the 1-based
// index of a GLX framebuffer configuration of the default screen; setting it gives the window
// that configuration's visual. Failures become the results the Windows calls give (0, FALSE,
// null) with a line on stderr.
#include "host/x11/layer.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "host/x11/pixel_format.h"

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
void DescribeSizes(Display* display, GLXFBConfig config, FramebufferConfigX11* description) {
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
                          bool doubleBuffer, const ConfigMinimumsX11& minimums) {
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
    std::vector<FramebufferConfigX11> descriptions;
    descriptions.reserve(configs.size());
    for (GLXFBConfig config : configs) {
        descriptions.push_back(DescribeConfigX11(display, config));
    }
    return ChooseClosestConfig(descriptions.data(), static_cast<int>(descriptions.size()), request);
}

bool IsLiveContext(HGLRC hglrc) {
    const std::vector<ContextX11*>& contexts = Layer().contexts;
    return std::find(contexts.begin(), contexts.end(), hglrc) != contexts.end();
}

void ReleaseCurrent() {
    LayerX11& layer = Layer();
    if (layer.currentContext != nullptr) {
        glXMakeContextCurrent(layer.display, None, None, nullptr);
    }
    layer.currentContext = nullptr;
    layer.currentDC = nullptr;
}

} // namespace

FramebufferConfigX11 DescribeConfigX11(Display* display, GLXFBConfig config) {
    FramebufferConfigX11 description = {};
    description.drawToWindow = (Attribute(display, config, GLX_DRAWABLE_TYPE) & GLX_WINDOW_BIT);
    description.rgba = (Attribute(display, config, GLX_RENDER_TYPE) & GLX_RGBA_BIT) != 0;
    description.doubleBuffer = Attribute(display, config, GLX_DOUBLEBUFFER) != 0;
    description.level = Attribute(display, config, GLX_LEVEL);
    DescribeSizes(display, config, &description);
    return description;
}

HDC GetDC(HWND hWnd) {
    WindowX11* window = FindWindowX11(hWnd);
    return window == nullptr ? nullptr : &window->dc;
}

int ReleaseDC(HWND hWnd, HDC hDC) {
    WindowX11* window = FindWindowX11(hWnd);
    return window != nullptr && &window->dc == hDC ? 1 : 0;
}

int ChoosePixelFormat(HDC hdc, const PIXELFORMATDESCRIPTOR* ppfd) {
    WindowX11* window = FindWindowOfDCX11(hdc);
    if (window == nullptr || ppfd == nullptr) {
        return 0;
    }
    Display* display = Layer().display;
    if (!HasGlx(display)) {
        std::fputs("GLX: the display has no GLX extension\n", stderr);
        return 0;
    }
    std::vector<GLXFBConfig> configs = ScreenConfigs(display);
    // NOTE: each glXGetFBConfigAttrib call walks the library's list of configurations to check
    // its argument; describing all of a software renderer's hundreds costs milliseconds.
    const bool doubleBuffer = (ppfd->dwFlags & PFD_DOUBLEBUFFER) != 0;
    int chosen = ChooseClosestConfigAmongFew(
        *ppfd,
        [&](const ConfigMinimumsX11& minimums) {
            return Matching(display, configs, doubleBuffer, minimums);
        },
        [&](int index) {
            // What the search asked for is known; only the rest needs describing.
            FramebufferConfigX11 description = {};
            description.drawToWindow = description.rgba = true;
            description.doubleBuffer = doubleBuffer;
            DescribeSizes(display, configs[index], &description);
            return description;
        });
    if (chosen < 0) {
        chosen = ChooseAmongAll(display, configs, *ppfd);
    }
    if (chosen < 0) {
        std::fputs("GLX: no framebuffer configuration can draw OpenGL to a window\n", stderr);
        return 0;
    }
    return chosen + 1;
}

BOOL SetPixelFormat(HDC hdc, int format, const PIXELFORMATDESCRIPTOR*) {
    WindowX11* window = FindWindowOfDCX11(hdc);
    if (window == nullptr || window->pixelFormat != 0) {
        return FALSE;
    }
    Display* display = Layer().display;
    std::vector<GLXFBConfig> configs = ScreenConfigs(display);
    if (format < 1 || format > static_cast<int>(configs.size())) {
        return FALSE;
    }
    GLXFBConfig config = configs[format - 1];
    XVisualInfo* visual = glXGetVisualFromFBConfig(display, config);
    if (visual == nullptr) {
        std::fputs("GLX: the pixel format has no X visual\n", stderr);
        return FALSE;
    }
    bool created = CreateNativeWindowX11(window, visual->visual, visual->depth);
    XFree(visual);
    if (!created) {
        return FALSE;
    }
    window->pixelFormat = format;
    window->config = config;
    return TRUE;
}

HGLRC wglCreateContext(HDC hdc) {
    WindowX11* window = FindWindowOfDCX11(hdc);
    if (window == nullptr || window->config == nullptr) {
        return nullptr;
    }
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
    ContextX11* context = new ContextX11{handle};
    Layer().contexts.push_back(context);
    return context;
}

BOOL wglMakeCurrent(HDC hdc, HGLRC hglrc) {
    LayerX11& layer = Layer();
    if (hglrc == nullptr) {
        ReleaseCurrent();
        return TRUE;
    }
    WindowX11* window = FindWindowOfDCX11(hdc);
    if (window == nullptr || window->config == nullptr || !IsLiveContext(hglrc)) {
        return FALSE;
    }
    BeginErrorTrapX11(layer.display);
    Bool made = glXMakeContextCurrent(layer.display, window->handle, window->handle, hglrc->handle);
    int error = EndErrorTrapX11(layer.display);
    if (!made || error != 0) {
        std::fprintf(stderr, "GLX: cannot make the OpenGL context current (X error %d)\n", error);
        return FALSE;
    }
    layer.currentDC = hdc;
    layer.currentContext = hglrc;
    return TRUE;
}

BOOL wglDeleteContext(HGLRC hglrc) {
    LayerX11& layer = Layer();
    if (!IsLiveContext(hglrc)) {
        return FALSE;
    }
    if (layer.currentContext == hglrc) {
        ReleaseCurrent();
    }
    glXDestroyContext(layer.display, hglrc->handle);
    layer.contexts.erase(std::find(layer.contexts.begin(), layer.contexts.end(), hglrc));
    delete hglrc;
    return TRUE;
}

HGLRC wglGetCurrentContext() {
    return Layer().currentContext;
}

HDC wglGetCurrentDC() {
    return Layer().currentDC;
}

BOOL SwapBuffers(HDC hdc) {
    WindowX11* window = FindWindowOfDCX11(hdc);
    if (window == nullptr || window->config == nullptr) {
        return FALSE;
    }
    glXSwapBuffers(Layer().display, window->handle);
    return TRUE;
}
