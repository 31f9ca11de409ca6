// Pango and cairo for the Wayland message box, loaded on first use. Only the box draws text, and
// these libraries bring a tree of others (GLib, HarfBuzz, FreeType, fontconfig, pixman) that would
// otherwise cost every start on either window system about 4 ms before the first frame.
#pragma once

#include <pango/pangocairo.h>

// The entry points the box uses, named after the functions they hold.
struct TextLibraryWayland {
    decltype(&::cairo_image_surface_create) cairo_image_surface_create;
    decltype(&::cairo_image_surface_create_for_data) cairo_image_surface_create_for_data;
    decltype(&::cairo_surface_flush) cairo_surface_flush;
    decltype(&::cairo_surface_destroy) cairo_surface_destroy;
    decltype(&::cairo_create) cairo_create;
    decltype(&::cairo_destroy) cairo_destroy;
    decltype(&::cairo_scale) cairo_scale;
    decltype(&::cairo_set_source_rgb) cairo_set_source_rgb;
    decltype(&::cairo_paint) cairo_paint;
    decltype(&::cairo_move_to) cairo_move_to;
    decltype(&::cairo_set_line_width) cairo_set_line_width;
    decltype(&::cairo_rectangle) cairo_rectangle;
    decltype(&::cairo_stroke) cairo_stroke;
    decltype(&::pango_cairo_create_layout) pango_cairo_create_layout;
    decltype(&::pango_cairo_show_layout) pango_cairo_show_layout;
    decltype(&::pango_font_description_from_string) pango_font_description_from_string;
    decltype(&::pango_font_description_free) pango_font_description_free;
    decltype(&::pango_layout_set_font_description) pango_layout_set_font_description;
    decltype(&::pango_layout_set_width) pango_layout_set_width;
    decltype(&::pango_layout_set_wrap) pango_layout_set_wrap;
    decltype(&::pango_layout_set_text) pango_layout_set_text;
    decltype(&::pango_layout_get_pixel_size) pango_layout_get_pixel_size;
    decltype(&::g_object_unref) g_object_unref;
};

// The loaded entry points, or null (with a line on stderr) when the libraries cannot be loaded.
const TextLibraryWayland* TextLibraryOfWayland();
