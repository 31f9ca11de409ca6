// Loads Pango and cairo with dlopen the first time a message box needs them.
#include "host/wayland/text_library.h"

#include "host/wayland/library.h"

namespace {

// pangocairo depends on pango, cairo and GObject, so its handle finds all of their symbols.
constexpr const char* kPangoCairo = "libpangocairo-1.0.so.0";

template <typename Function> bool Find(void* library, const char* name, Function* out) {
    *out = reinterpret_cast<Function>(FindEntryPointWayland(library, kPangoCairo, name));
    return *out != nullptr;
}

bool Load(TextLibraryWayland* text) {
    void* library = OpenLibraryWayland(kPangoCairo);
    if (library == nullptr) {
        return false;
    }
    // Kept loaded for the process: GLib's type system cannot be unloaded.
#define TAVIK_FIND(name) Find(library, #name, &text->name)
    return TAVIK_FIND(cairo_image_surface_create) &&
           TAVIK_FIND(cairo_image_surface_create_for_data) && TAVIK_FIND(cairo_surface_flush) &&
           TAVIK_FIND(cairo_surface_destroy) && TAVIK_FIND(cairo_create) &&
           TAVIK_FIND(cairo_destroy) && TAVIK_FIND(cairo_scale) &&
           TAVIK_FIND(cairo_set_source_rgb) && TAVIK_FIND(cairo_paint) &&
           TAVIK_FIND(cairo_move_to) && TAVIK_FIND(cairo_set_line_width) &&
           TAVIK_FIND(cairo_rectangle) && TAVIK_FIND(cairo_stroke) &&
           TAVIK_FIND(pango_cairo_create_layout) && TAVIK_FIND(pango_cairo_show_layout) &&
           TAVIK_FIND(pango_font_description_from_string) &&
           TAVIK_FIND(pango_font_description_free) &&
           TAVIK_FIND(pango_layout_set_font_description) && TAVIK_FIND(pango_layout_set_width) &&
           TAVIK_FIND(pango_layout_set_wrap) && TAVIK_FIND(pango_layout_set_text) &&
           TAVIK_FIND(pango_layout_get_pixel_size) && TAVIK_FIND(g_object_unref);
#undef TAVIK_FIND
}

} // namespace

const TextLibraryWayland* TextLibraryOfWayland() {
    static TextLibraryWayland text{};
    static const bool loaded = Load(&text);
    return loaded ? &text : nullptr;
}
