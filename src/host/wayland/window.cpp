// Windows of the Wayland backend: a wl_surface in an xdg_toplevel, titled from the template, with
// the application id. Where the compositor offers to draw the frame, the layer makes the toplevel
// itself and asks for that; elsewhere libdecor makes it and draws the frame. Its buffer holds the
// logical size at the output's real resolution: the integer wl_output scale, or the fractional
// scale through a viewport. Where the compositor takes toplevel icons, the toplevel has the
// program's own.
#include "host/wayland/layer.h"

#include <algorithm>
#include <string>
#include <utility>

#include "host/linux/dialog_units.h"
#include "host/wayland/scale.h"

namespace {

constexpr int kDefaultDpi = 96;
constexpr std::int64_t kFirstConfigureWaitNs = 2000000000;

// The scale of the outputs the surface is on; before it is on any, the largest there is, so that
// the first frame is already drawn at the resolution it will most likely be shown at.
int OutputScaleOf(const WindowWayland* window) {
    if (window->outputs.empty()) {
        return LargestOutputScaleWayland();
    }
    int scale = 1;
    for (const OutputWayland* output : window->outputs) {
        scale = std::max(scale, output->scale);
    }
    return scale;
}

// A window that OpenGL does not draw (no pixel format, or no context) shows black at its size, as
// it does on the other systems.
void ShowBlank(WindowWayland* window) {
    ShmBufferWayland previous = window->blank;
    if (!CreateShmBufferWayland(window->width, window->height, &window->blank)) {
        window->blank = previous;
        return;
    }
    ApplyBufferScaleWayland(window);
    wl_surface_attach(window->surface, window->blank.buffer, 0, 0);
    wl_surface_damage(window->surface, 0, 0, window->logicalWidth, window->logicalHeight);
    wl_surface_commit(window->surface);
    DestroyShmBufferWayland(&previous);
    if (window->shown) {
        ActivateWithTokenWayland(window->surface);
    }
}

// Sizes the buffer for the logical size and scale, and records the client size in pixels; the
// next WM_SIZE carries it. The new buffer size takes effect with the next frame's commit.
void ApplySize(WindowWayland* window) {
    LayerWayland& layer = LayerWl();
    int scale120 = window->viewport != nullptr ? window->scale120 : 0;
    window->width = SurfacePixelsWayland(window->logicalWidth, scale120, window->outputScale);
    window->height = SurfacePixelsWayland(window->logicalHeight, scale120, window->outputScale);
    window->bufferScaleChanged = true;
    // The picture is opaque whatever alpha the pixel format has: the compositor need not blend it.
    wl_region* opaque = wl_compositor_create_region(layer.compositor);
    wl_region_add(opaque, 0, 0, window->logicalWidth, window->logicalHeight);
    wl_surface_set_opaque_region(window->surface, opaque);
    wl_region_destroy(opaque);
    if (window->eglWindow != nullptr) {
        wl_egl_window_resize(window->eglWindow, window->width, window->height, 0, 0);
    }
    if (!window->drawnWithOpenGl && window->configured) {
        ShowBlank(window);
    }
}

void SurfaceEnter(void* data, wl_surface*, wl_output* output) {
    auto* window = static_cast<WindowWayland*>(data);
    for (OutputWayland* known : LayerWl().outputs) {
        if (known->output == output) {
            window->outputs.push_back(known);
        }
    }
    UpdateOutputScaleWayland(window);
}

void SurfaceLeave(void* data, wl_surface*, wl_output* output) {
    auto* window = static_cast<WindowWayland*>(data);
    window->outputs.erase(
        std::remove_if(window->outputs.begin(), window->outputs.end(),
                       [&](const OutputWayland* on) { return on->output == output; }),
        window->outputs.end());
    UpdateOutputScaleWayland(window);
}

wl_surface_listener SurfaceListener() {
    wl_surface_listener listener{};
    listener.enter = SurfaceEnter;
    listener.leave = SurfaceLeave;
    return listener;
}
const wl_surface_listener kSurfaceListener = SurfaceListener();

void PreferredScale(void* data, wp_fractional_scale_v1*, uint32_t scale) {
    auto* window = static_cast<WindowWayland*>(data);
    if (static_cast<int>(scale) != window->scale120) {
        window->scale120 = static_cast<int>(scale);
        ApplySize(window);
    }
}

const wp_fractional_scale_v1_listener kFractionalScaleListener = {PreferredScale};

// Takes the size the compositor (or the frame) proposes, once the proposal is acknowledged. A
// dimension it leaves to the client keeps the window's own size.
void TakeProposedSize(WindowWayland* window, int width, int height) {
    window->logicalWidth = width > 0 ? width : window->logicalWidth;
    window->logicalHeight = height > 0 ? height : window->logicalHeight;
}

void Configured(WindowWayland* window) {
    bool first = !window->configured;
    window->configured = true;
    ApplySize(window);
    // NOTE: sway waits for the commit that follows each acknowledged configure before it acts on
    // the next resize, and drops resizes that arrive meanwhile; commit at once instead of with the
    // next frame (up to 40 ms later). The new buffer size follows with that frame.
    if (!first) {
        wl_surface_commit(window->surface);
    }
}

void FrameConfigure(libdecor_frame* frame, libdecor_configuration* configuration, void* data) {
    auto* window = static_cast<WindowWayland*>(data);
    // libdecor may make its toplevel only once it has started: the icon goes with the commit below.
    ShowIconWayland(window);
    int width = 0;
    int height = 0;
    if (!libdecor_configuration_get_content_size(configuration, frame, &width, &height)) {
        width = 0;
        height = 0;
    }
    TakeProposedSize(window, width, height);
    libdecor_state* state = libdecor_state_new(window->logicalWidth, window->logicalHeight);
    libdecor_frame_commit(frame, state, configuration);
    libdecor_state_free(state);
    Configured(window);
}

// The compositor's close (the frame's close button, or a request from elsewhere).
void FrameClose(libdecor_frame*, void* data) {
    PostMessageLinux(static_cast<WindowWayland*>(data), WM_CLOSE, 0, 0);
}

// The frame changed something that shows only once the surface is committed.
void FrameCommit(libdecor_frame*, void* data) {
    wl_surface_commit(static_cast<WindowWayland*>(data)->surface);
}

void FrameDismissPopup(libdecor_frame*, const char*, void*) {}

libdecor_frame_interface FrameInterface() {
    libdecor_frame_interface frame{};
    frame.configure = FrameConfigure;
    frame.close = FrameClose;
    frame.commit = FrameCommit;
    frame.dismiss_popup = FrameDismissPopup;
    return frame;
}
libdecor_frame_interface frameInterface = FrameInterface();

// The toplevel's proposals come in parts, complete at the xdg_surface's configure.
void ToplevelConfigure(void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
    auto* window = static_cast<WindowWayland*>(data);
    window->proposedWidth = width;
    window->proposedHeight = height;
}

void ToplevelClose(void* data, xdg_toplevel*) {
    PostMessageLinux(static_cast<WindowWayland*>(data), WM_CLOSE, 0, 0);
}

xdg_toplevel_listener ToplevelListener() {
    xdg_toplevel_listener listener{};
    listener.configure = ToplevelConfigure;
    listener.close = ToplevelClose;
    return listener;
}
const xdg_toplevel_listener kToplevelListener = ToplevelListener();

void XdgSurfaceConfigure(void* data, xdg_surface* xdgSurface, uint32_t serial) {
    auto* window = static_cast<WindowWayland*>(data);
    if (HoldForLibdecorWayland(&window->own, window->configured, serial)) {
        return;
    }
    xdg_surface_ack_configure(xdgSurface, serial);
    TakeProposedSize(window, window->proposedWidth, window->proposedHeight);
    Configured(window);
}
const xdg_surface_listener kXdgSurfaceListener = {XdgSurfaceConfigure};

// The compositor's answer to the request for its frame, which it may give or change at any time.
void DecorationConfigure(void* data, zxdg_toplevel_decoration_v1*, uint32_t mode) {
    static_cast<ServerToplevelWayland*>(data)->frameWanted =
        mode == ZXDG_TOPLEVEL_DECORATION_V1_MODE_CLIENT_SIDE;
}
const zxdg_toplevel_decoration_v1_listener kDecorationListener = {DecorationConfigure};

// The toplevel made and framed by libdecor.
void MakeFrame(WindowWayland* window, libdecor* decor) {
    window->frame = libdecor_decorate(decor, window->surface, &frameInterface, window);
    libdecor_frame_set_title(window->frame, window->caption);
    libdecor_frame_set_app_id(window->frame, kAppIdWayland);
    // The dialog style: caption, close and a sizing border; no minimise or maximise box.
    libdecor_frame_unset_capabilities(
        window->frame,
        static_cast<libdecor_capabilities>(LIBDECOR_ACTION_MINIMIZE | LIBDECOR_ACTION_FULLSCREEN));
}

// Replaces the layer's own toplevel with libdecor's, which draws the frame; the window keeps its
// surface, and with it its OpenGL surface. Shown already, it is mapped again once libdecor's
// first configure arrives. Without libdecor it stays as it is, unframed (and takes the configure
// it had left for libdecor's).
void ReplaceToplevelWithFrame(WindowWayland* window) {
    window->own.frameWanted = false;
    std::uint32_t deferred = std::exchange(window->own.deferredSerial, 0);
    libdecor* decor = DecorWayland();
    if (decor == nullptr) {
        if (deferred != 0) {
            XdgSurfaceConfigure(window, window->own.xdgSurface, deferred);
        }
        return;
    }
    DestroyServerToplevelWayland(&window->own);
    // A surface that gets a new xdg_surface must have no buffer; frames wait for the new
    // toplevel's configure.
    wl_surface_attach(window->surface, nullptr, 0, 0);
    wl_surface_commit(window->surface);
    window->configured = false;
    // A new toplevel, even at the old one's address, has no icon yet.
    window->iconToplevel = nullptr;
    MakeFrame(window, decor);
    ShowIconWayland(window);
    if (window->shown) {
        libdecor_frame_map(window->frame);
    }
}

// The toplevel the window has now: its own, or libdecor's once libdecor has made it.
xdg_toplevel* ToplevelOf(WindowWayland* window) {
    return window->frame != nullptr ? libdecor_frame_get_xdg_toplevel(window->frame)
                                    : window->own.toplevel;
}

// A picture of an icon (width and height, then its ARGB pixels, as _NET_WM_ICON holds it) in a
// shared-memory buffer of the premultiplied pixels Wayland's ARGB format means; false when it
// cannot be made.
bool MakeIconPicture(const unsigned long* picture, ShmBufferWayland* out) {
    const int size = static_cast<int>(picture[0]);
    if (!CreateShmBufferWayland(size, size, out, WL_SHM_FORMAT_ARGB8888)) {
        return false;
    }
    auto* pixels = static_cast<std::uint32_t*>(out->pixels);
    for (int i = 0; i < size * size; ++i) {
        const auto argb = static_cast<std::uint32_t>(picture[2 + i]);
        const std::uint32_t alpha = argb >> 24;
        std::uint32_t premultiplied = alpha << 24;
        for (int shift = 0; shift < 24; shift += 8) {
            premultiplied |= (((argb >> shift) & 0xff) * alpha + 127) / 255 << shift;
        }
        pixels[i] = premultiplied;
    }
    return true;
}

// The square pictures of the icon whose size the compositor asked for, or all of them where it
// asked for none of those it has.
std::vector<const unsigned long*> IconPictures(HICON icon) {
    std::vector<const unsigned long*> all, asked;
    const std::vector<int>& sizes = LayerWl().iconSizes;
    for (std::size_t at = 0; at + 2 <= icon->length;) {
        const unsigned long width = icon->images[at], height = icon->images[at + 1];
        if (width == 0 || width > 1024 || height > 1024 || width * height > icon->length - at - 2) {
            break;
        }
        if (width == height) {
            all.push_back(icon->images + at);
            if (std::find(sizes.begin(), sizes.end(), static_cast<int>(width)) != sizes.end()) {
                asked.push_back(icon->images + at);
            }
        }
        at += 2 + width * height;
    }
    return asked.empty() ? all : asked;
}

void DestroyToplevelIcon(ToplevelIconWayland* icon) {
    if (icon->icon != nullptr) {
        xdg_toplevel_icon_v1_destroy(icon->icon);
    }
    for (ShmBufferWayland& picture : icon->pictures) {
        DestroyShmBufferWayland(&picture);
    }
    *icon = ToplevelIconWayland{};
}

} // namespace

// NOTE: the icon is state of the toplevel's next commit, so it goes out before the toplevel's
// first one, lest the compositor show a generic icon first; a change is committed at once. The old
// icon goes before its buffers, which must outlive it.
void ShowIconWayland(WindowWayland* window) {
    LayerWayland& layer = LayerWl();
    xdg_toplevel* toplevel = ToplevelOf(window);
    HICON wanted = window->bigIcon != nullptr ? window->bigIcon : window->smallIcon;
    if (layer.iconManager == nullptr || toplevel == nullptr ||
        (toplevel == window->iconToplevel && wanted == window->iconShown)) {
        return;
    }
    ToplevelIconWayland previous = window->icon;
    window->icon = ToplevelIconWayland{};
    if (wanted != nullptr) {
        window->icon.icon = xdg_toplevel_icon_manager_v1_create_icon(layer.iconManager);
        xdg_toplevel_icon_v1_set_name(window->icon.icon, kAppIdWayland);
        for (const unsigned long* picture : IconPictures(wanted)) {
            window->icon.pictures.emplace_back();
            if (!MakeIconPicture(picture, &window->icon.pictures.back())) {
                window->icon.pictures.pop_back();
                continue;
            }
            xdg_toplevel_icon_v1_add_buffer(window->icon.icon, window->icon.pictures.back().buffer,
                                            1);
        }
    }
    xdg_toplevel_icon_manager_v1_set_icon(layer.iconManager, toplevel, window->icon.icon);
    window->iconShown = wanted;
    window->iconToplevel = toplevel;
    DestroyToplevelIcon(&previous);
    if (window->configured) {
        wl_surface_commit(window->surface);
    }
}

void MakeServerToplevelWayland(ServerToplevelWayland* own, wl_surface* surface, const char* title,
                               const xdg_surface_listener* surfaceListener,
                               const xdg_toplevel_listener* toplevelListener, void* data) {
    LayerWayland& layer = LayerWl();
    own->xdgSurface = xdg_wm_base_get_xdg_surface(layer.wmBase, surface);
    xdg_surface_add_listener(own->xdgSurface, surfaceListener, data);
    own->toplevel = xdg_surface_get_toplevel(own->xdgSurface);
    xdg_toplevel_add_listener(own->toplevel, toplevelListener, data);
    xdg_toplevel_set_title(own->toplevel, title);
    xdg_toplevel_set_app_id(own->toplevel, kAppIdWayland);
    // Without the decoration protocol this is the unframed toplevel of a client with no libdecor.
    if (layer.decorationManager == nullptr) {
        return;
    }
    own->decoration =
        zxdg_decoration_manager_v1_get_toplevel_decoration(layer.decorationManager, own->toplevel);
    zxdg_toplevel_decoration_v1_add_listener(own->decoration, &kDecorationListener, own);
    zxdg_toplevel_decoration_v1_set_mode(own->decoration,
                                         ZXDG_TOPLEVEL_DECORATION_V1_MODE_SERVER_SIDE);
}

bool HoldForLibdecorWayland(ServerToplevelWayland* own, bool configured, uint32_t serial) {
    if (!own->frameWanted || configured) {
        return false;
    }
    own->deferredSerial = serial;
    return true;
}

void DestroyServerToplevelWayland(ServerToplevelWayland* own) {
    if (own->decoration != nullptr) {
        zxdg_toplevel_decoration_v1_destroy(own->decoration);
    }
    if (own->toplevel != nullptr) {
        xdg_toplevel_destroy(own->toplevel);
    }
    if (own->xdgSurface != nullptr) {
        xdg_surface_destroy(own->xdgSurface);
    }
    *own = ServerToplevelWayland();
}

void FrameWindowsWhereAskedWayland() {
    for (WindowLinux* windowLinux : LinuxLayer().windows) {
        auto* window = static_cast<WindowWayland*>(windowLinux);
        if (window->own.frameWanted && window->frame == nullptr) {
            ReplaceToplevelWithFrame(window);
        }
    }
}

// NOTE: a compositor acts on the token only for a mapped surface, so the request follows the
// first buffer; a token is good for one activation, and is dropped where the compositor offers
// no activation. A request is one message of at most 4096 bytes (header 8, the token's length 4,
// its text with a NUL padded to 4, the surface 4): libwayland ends the connection rather than
// send a longer one, so a longer token is dropped as well.
void ActivateWithTokenWayland(wl_surface* surface) {
    constexpr std::size_t kLongestToken = 4096 - 8 - 4 - 4 - 1;
    LayerWayland& layer = LayerWl();
    std::string& token = LinuxLayer().activationToken;
    if (token.empty()) {
        return;
    }
    if (layer.activation != nullptr && token.size() <= kLongestToken) {
        xdg_activation_v1_activate(layer.activation, token.c_str(), surface);
        wl_display_flush(layer.display);
    }
    token.clear();
}

// The toplevel's icon where the compositor takes one from the program; the compositor also finds
// it, and elsewhere only, through the application id, in the desktop entry of that name.
void SetIconWayland(WindowLinux* window) {
    ShowIconWayland(static_cast<WindowWayland*>(window));
}

void UpdateOutputScaleWayland(WindowWayland* window) {
    int scale = OutputScaleOf(window);
    if (scale != window->outputScale) {
        window->outputScale = scale;
        ApplySize(window);
        RefreshCursorWayland(window->surface);
    }
}

// How the buffer maps onto the surface. Pending until the next commit that attaches a buffer of
// the new size, so that no commit pairs a scale with a buffer of the old size.
void ApplyBufferScaleWayland(WindowWayland* window) {
    bool fractional = window->viewport != nullptr && window->scale120 > 0;
    if (wl_surface_get_version(window->surface) >= WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION) {
        wl_surface_set_buffer_scale(window->surface, fractional ? 1 : window->outputScale);
    }
    if (fractional) {
        wp_viewport_set_destination(window->viewport, window->logicalWidth, window->logicalHeight);
    }
    window->bufferScaleChanged = false;
}

WindowLinux* CreateWindowWayland(const DialogTemplateLinux& dialog) {
    LayerWayland& layer = LayerWl();
    // NOTE: starting libdecor loads its plugins and their libraries, about 10 ms before the first
    // frame: a compositor that draws frames itself does without it. Where it is needed but cannot
    // be had, the window still opens, unframed.
    libdecor* decor = layer.decorationManager == nullptr ? DecorWayland() : nullptr;
    // Logical pixels are the compositor's 96-dpi units; the scale brings the real resolution.
    DialogBaseUnits base = DialogBaseUnitsForDpi(kDefaultDpi);
    auto* window = new WindowWayland;
    window->caption = dialog.caption;
    window->logicalWidth = std::max(1, DialogUnitsToPixelsX(dialog.width, base));
    window->logicalHeight = std::max(1, DialogUnitsToPixelsY(dialog.height, base));
    window->outputScale = OutputScaleOf(window);
    window->surface = wl_compositor_create_surface(layer.compositor);
    wl_surface_add_listener(window->surface, &kSurfaceListener, window);
    if (layer.viewporter != nullptr) {
        window->viewport = wp_viewporter_get_viewport(layer.viewporter, window->surface);
    }
    if (layer.fractionalScaleManager != nullptr) {
        window->fractionalScale = wp_fractional_scale_manager_v1_get_fractional_scale(
            layer.fractionalScaleManager, window->surface);
        wp_fractional_scale_v1_add_listener(window->fractionalScale, &kFractionalScaleListener,
                                            window);
    }
    if (decor != nullptr) {
        MakeFrame(window, decor);
    } else {
        MakeServerToplevelWayland(&window->own, window->surface, window->caption,
                                  &kXdgSurfaceListener, &kToplevelListener, window);
    }
    ApplySize(window);
    return window;
}

void ShowWindowWayland(WindowLinux* windowLinux) {
    auto* window = static_cast<WindowWayland*>(windowLinux);
    if (window->frame != nullptr) {
        libdecor_frame_map(window->frame);
    } else {
        // The first commit, without a buffer, asks the compositor for the first configure.
        wl_surface_commit(window->surface);
    }
    // The first size message carries the size the compositor gives the window, so wait for its
    // first configure (a compositor that never sends one leaves the template's size).
    std::int64_t deadline = NowNs() + kFirstConfigureWaitNs;
    while (!window->configured && NowNs() < deadline) {
        DispatchWayland(deadline);
        FrameWindowsWhereAskedWayland();
    }
}

void DestroyWindowWayland(WindowLinux* windowLinux) {
    auto* window = static_cast<WindowWayland*>(windowLinux);
    LayerWayland& layer = LayerWl();
    if (window->eglSurface != EGL_NO_SURFACE) {
        eglDestroySurface(layer.eglDisplay, window->eglSurface);
    }
    if (window->eglWindow != nullptr) {
        wl_egl_window_destroy(window->eglWindow);
    }
    if (window->fractionalScale != nullptr) {
        wp_fractional_scale_v1_destroy(window->fractionalScale);
    }
    if (window->viewport != nullptr) {
        wp_viewport_destroy(window->viewport);
    }
    DestroyToplevelIcon(&window->icon);
    if (window->frame != nullptr) {
        libdecor_frame_unref(window->frame);
    }
    DestroyServerToplevelWayland(&window->own);
    if (layer.pointerFocus == window->surface) {
        layer.pointerFocus = nullptr;
    }
    if (layer.keyboardFocus == window->surface) {
        layer.keyboardFocus = nullptr;
    }
    wl_surface_destroy(window->surface);
    DestroyShmBufferWayland(&window->blank);
    wl_display_flush(layer.display);
    delete window;
}
