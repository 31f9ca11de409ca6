// A modal message box on Wayland: a toplevel of its own, framed by the compositor where it offers
// to draw frames and by libdecor elsewhere, with the caption as its title, the text laid out by
// Pango and drawn with cairo into a shared-memory buffer, and an OK button. Dismissed by a click on
// the button, Enter, Escape, space or the compositor's close. Other windows' events keep arriving
// meanwhile and wait in the queue, as on X11.
#include "host/wayland/layer.h"
#include "host/wayland/text_library.h"

#include <algorithm>
#include <string>

struct ModalBoxWayland {
    wl_surface* surface = nullptr;
    // The box's own toplevel with the compositor's frame, or libdecor's frame: one or the other.
    ServerToplevelWayland own;
    libdecor_frame* frame = nullptr;
    std::string title;
    ShmBufferWayland pixels;
    int width = 0;
    int height = 0;
    int buttonX = 0;
    int buttonY = 0;
    bool configured = false;
    bool pressedOnButton = false;
    bool done = false;
};

namespace {

constexpr int kMargin = 16;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;
// NOTE: libdecor's drawn frame centres the title and puts three buttons at the right; narrower
// than this, they cover a caption like "Error Glew".
constexpr int kMinimumWidth = 320;
constexpr int kWrapWidth = 640;
constexpr const char* kFont = "Sans 10";

PangoLayout* TextLayout(const TextLibraryWayland& lib, cairo_t* cairo, const std::string& text) {
    PangoLayout* layout = lib.pango_cairo_create_layout(cairo);
    PangoFontDescription* font = lib.pango_font_description_from_string(kFont);
    lib.pango_layout_set_font_description(layout, font);
    lib.pango_font_description_free(font);
    lib.pango_layout_set_width(layout, kWrapWidth * PANGO_SCALE);
    lib.pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    lib.pango_layout_set_text(layout, text.c_str(), -1);
    return layout;
}

// The box's size (logical pixels) and where its button goes, from the text's extent.
void LayOut(const TextLibraryWayland& lib, ModalBoxWayland* box, const std::string& text) {
    cairo_surface_t* scratch = lib.cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    cairo_t* cairo = lib.cairo_create(scratch);
    PangoLayout* layout = TextLayout(lib, cairo, text);
    int textWidth = 0;
    int textHeight = 0;
    lib.pango_layout_get_pixel_size(layout, &textWidth, &textHeight);
    lib.g_object_unref(layout);
    lib.cairo_destroy(cairo);
    lib.cairo_surface_destroy(scratch);
    box->width = std::max(std::max(textWidth, kButtonWidth) + 2 * kMargin, kMinimumWidth);
    box->buttonX = (box->width - kButtonWidth) / 2;
    box->buttonY = kMargin + textHeight + kMargin;
    box->height = box->buttonY + kButtonHeight + kMargin;
}

void Draw(const TextLibraryWayland& lib, ModalBoxWayland* box, const std::string& text, int scale) {
    cairo_surface_t* target = lib.cairo_image_surface_create_for_data(
        static_cast<unsigned char*>(box->pixels.pixels), CAIRO_FORMAT_RGB24, box->pixels.width,
        box->pixels.height, box->pixels.stride);
    cairo_t* cairo = lib.cairo_create(target);
    lib.cairo_scale(cairo, scale, scale);
    lib.cairo_set_source_rgb(cairo, 0.94, 0.94, 0.94);
    lib.cairo_paint(cairo);
    lib.cairo_set_source_rgb(cairo, 0, 0, 0);
    PangoLayout* layout = TextLayout(lib, cairo, text);
    lib.cairo_move_to(cairo, kMargin, kMargin);
    lib.pango_cairo_show_layout(cairo, layout);
    lib.cairo_set_line_width(cairo, 1);
    lib.cairo_rectangle(cairo, box->buttonX + 0.5, box->buttonY + 0.5, kButtonWidth - 1,
                        kButtonHeight - 1);
    lib.cairo_stroke(cairo);
    lib.pango_layout_set_width(layout, -1);
    lib.pango_layout_set_text(layout, "OK", -1);
    int labelWidth = 0;
    int labelHeight = 0;
    lib.pango_layout_get_pixel_size(layout, &labelWidth, &labelHeight);
    lib.cairo_move_to(cairo, box->buttonX + (kButtonWidth - labelWidth) / 2,
                      box->buttonY + (kButtonHeight - labelHeight) / 2);
    lib.pango_cairo_show_layout(cairo, layout);
    lib.g_object_unref(layout);
    lib.cairo_destroy(cairo);
    lib.cairo_surface_flush(target);
    lib.cairo_surface_destroy(target);
}

// The first configure brings the picture; every configure is answered with a commit. Shown before
// the program's window (as when OpenGL fails at start-up), the box is what the launch activates.
void ShowConfigured(ModalBoxWayland* box) {
    bool first = !box->configured;
    if (first) {
        box->configured = true;
        wl_surface_attach(box->surface, box->pixels.buffer, 0, 0);
        wl_surface_damage(box->surface, 0, 0, box->width, box->height);
    }
    wl_surface_commit(box->surface);
    if (first) {
        ActivateWithTokenWayland(box->surface);
    }
}

void BoxConfigure(libdecor_frame* frame, libdecor_configuration* configuration, void* data) {
    auto* box = static_cast<ModalBoxWayland*>(data);
    libdecor_state* state = libdecor_state_new(box->width, box->height);
    libdecor_frame_commit(frame, state, configuration);
    libdecor_state_free(state);
    ShowConfigured(box);
}

void BoxClose(libdecor_frame*, void* data) {
    static_cast<ModalBoxWayland*>(data)->done = true;
}

void BoxCommit(libdecor_frame*, void* data) {
    wl_surface_commit(static_cast<ModalBoxWayland*>(data)->surface);
}

void BoxDismissPopup(libdecor_frame*, const char*, void*) {}

libdecor_frame_interface BoxInterface() {
    libdecor_frame_interface frame{};
    frame.configure = BoxConfigure;
    frame.close = BoxClose;
    frame.commit = BoxCommit;
    frame.dismiss_popup = BoxDismissPopup;
    return frame;
}
libdecor_frame_interface boxInterface = BoxInterface();

// The box's own toplevel.
void BoxSurfaceConfigure(void* data, xdg_surface* xdgSurface, uint32_t serial) {
    auto* box = static_cast<ModalBoxWayland*>(data);
    if (HoldForLibdecorWayland(&box->own, box->configured, serial)) {
        return;
    }
    xdg_surface_ack_configure(xdgSurface, serial);
    ShowConfigured(box);
}
const xdg_surface_listener kBoxSurfaceListener = {BoxSurfaceConfigure};

void BoxToplevelConfigure(void*, xdg_toplevel*, int32_t, int32_t, wl_array*) {}
void BoxToplevelClose(void* data, xdg_toplevel*) {
    static_cast<ModalBoxWayland*>(data)->done = true;
}
xdg_toplevel_listener BoxToplevelListener() {
    xdg_toplevel_listener listener{};
    listener.configure = BoxToplevelConfigure;
    listener.close = BoxToplevelClose;
    return listener;
}
const xdg_toplevel_listener kBoxToplevelListener = BoxToplevelListener();

void MakeBoxFrame(ModalBoxWayland* box, libdecor* decor) {
    box->frame = libdecor_decorate(decor, box->surface, &boxInterface, box);
    libdecor_frame_set_title(box->frame, box->title.c_str());
    libdecor_frame_set_app_id(box->frame, kAppIdWayland);
    libdecor_frame_unset_capabilities(
        box->frame,
        static_cast<libdecor_capabilities>(LIBDECOR_ACTION_RESIZE | LIBDECOR_ACTION_MINIMIZE |
                                           LIBDECOR_ACTION_FULLSCREEN));
    libdecor_frame_set_min_content_size(box->frame, box->width, box->height);
    libdecor_frame_set_max_content_size(box->frame, box->width, box->height);
    libdecor_frame_map(box->frame);
}

bool InButton(const ModalBoxWayland* box, double x, double y) {
    return x >= box->buttonX && x < box->buttonX + kButtonWidth && y >= box->buttonY &&
           y < box->buttonY + kButtonHeight;
}

} // namespace

void ModalBoxButtonWayland(ModalBoxWayland* box, bool pressed) {
    bool inButton = InButton(box, LayerWl().pointerX, LayerWl().pointerY);
    if (pressed) {
        box->pressedOnButton = inButton;
    } else {
        box->done = box->done || (box->pressedOnButton && inButton);
    }
}

void ModalBoxKeyWayland(ModalBoxWayland* box, WPARAM virtualKey) {
    box->done = box->done || virtualKey == 0x0D || virtualKey == 0x1B || virtualKey == 0x20;
}

bool MessageBoxWayland(LPCWSTR text, LPCWSTR caption) {
    LayerWayland& layer = LayerWl();
    std::string body = ToUtf8(text);
    const TextLibraryWayland* lib = TextLibraryOfWayland();
    // Where the compositor draws frames the box is framed by it, as the windows are; libdecor
    // frames it elsewhere, and where the compositor answers that the client is to draw its frame.
    bool ownToplevel = layer.decorationManager != nullptr;
    libdecor* decor = ownToplevel ? nullptr : DecorWayland("the message goes to stderr");
    if (lib == nullptr || (!ownToplevel && decor == nullptr)) {
        return false;
    }
    ModalBoxWayland box;
    box.title = ToUtf8(caption);
    LayOut(*lib, &box, body);
    int scale = LargestOutputScaleWayland();
    if (!CreateShmBufferWayland(box.width * scale, box.height * scale, &box.pixels)) {
        return false;
    }
    Draw(*lib, &box, body, scale);
    box.surface = wl_compositor_create_surface(layer.compositor);
    if (wl_surface_get_version(box.surface) >= WL_SURFACE_SET_BUFFER_SCALE_SINCE_VERSION) {
        wl_surface_set_buffer_scale(box.surface, scale);
    }
    layer.box = &box;
    layer.boxSurface = box.surface;
    if (ownToplevel) {
        MakeServerToplevelWayland(&box.own, box.surface, box.title.c_str(), &kBoxSurfaceListener,
                                  &kBoxToplevelListener, &box);
        xdg_toplevel_set_min_size(box.own.toplevel, box.width, box.height);
        xdg_toplevel_set_max_size(box.own.toplevel, box.width, box.height);
        // The first commit, without a buffer, asks for the first configure.
        wl_surface_commit(box.surface);
    } else {
        MakeBoxFrame(&box, decor);
    }
    while (!box.done) {
        DispatchWayland(-1);
        if (box.own.frameWanted && box.frame == nullptr && !box.configured) {
            // Unframed when libdecor cannot be had: the box still shows, with its button.
            if (libdecor* frameDecor = DecorWayland("the message box has no frame")) {
                DestroyServerToplevelWayland(&box.own);
                MakeBoxFrame(&box, frameDecor);
            } else if (box.own.deferredSerial != 0) {
                box.own.frameWanted = false;
                BoxSurfaceConfigure(&box, box.own.xdgSurface, box.own.deferredSerial);
            }
        }
    }
    layer.box = nullptr;
    layer.boxSurface = nullptr;
    if (box.frame != nullptr) {
        libdecor_frame_unref(box.frame);
    }
    DestroyServerToplevelWayland(&box.own);
    if (layer.pointerFocus == box.surface) {
        layer.pointerFocus = nullptr;
    }
    if (layer.keyboardFocus == box.surface) {
        layer.keyboardFocus = nullptr;
    }
    wl_surface_destroy(box.surface);
    DestroyShmBufferWayland(&box.pixels);
    wl_display_flush(layer.display);
    return true;
}
