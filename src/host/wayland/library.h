// The Wayland host's libraries, loaded with dlopen: libwayland's client and EGL-window parts and
// EGL when a compositor may be there, so that a start on X11 neither maps nor relocates them;
// libdecor, libwayland-cursor and libxkbcommon only once a frame, a pointer image or the keymap is
// first needed, so that a missing one costs its feature and not the window. The backend's files
// include this header first (through layer.h): it points the libraries' function names at the
// loaded entry points before the protocol headers use them.
#pragma once

#include <EGL/egl.h>
#include <wayland-client-core.h>
#include <wayland-cursor.h>
#include <wayland-egl-core.h>
#include <xkbcommon/xkbcommon.h>

// NOTE: libdecor.h includes wayland-client.h, whose core protocol header calls libwayland by name;
// that header is kept out here, and the program's own copy comes below, after the redirection.
#define WAYLAND_CLIENT_PROTOCOL_H
#include <libdecor.h>
#undef WAYLAND_CLIENT_PROTOCOL_H

// The entry points the backend and the protocol headers use, by library.
// clang-format off
#define TAVIK_WAYLAND_CLIENT_FUNCTIONS(F) \
    F(wl_display_connect) \
    F(wl_display_disconnect) \
    F(wl_display_get_fd) \
    F(wl_display_get_error) \
    F(wl_display_get_protocol_error) \
    F(wl_display_prepare_read) \
    F(wl_display_read_events) \
    F(wl_display_cancel_read) \
    F(wl_display_dispatch_pending) \
    F(wl_display_flush) \
    F(wl_display_roundtrip) \
    F(wl_log_set_handler_client) \
    F(wl_proxy_marshal_flags) \
    F(wl_proxy_add_listener) \
    F(wl_proxy_destroy) \
    F(wl_proxy_get_version) \
    F(wl_proxy_set_user_data) \
    F(wl_proxy_get_user_data)
#define TAVIK_WAYLAND_CURSOR_FUNCTIONS(F) \
    F(wl_cursor_theme_load) \
    F(wl_cursor_theme_destroy) \
    F(wl_cursor_theme_get_cursor) \
    F(wl_cursor_image_get_buffer)
#define TAVIK_WAYLAND_EGL_FUNCTIONS(F) \
    F(wl_egl_window_create) \
    F(wl_egl_window_destroy) \
    F(wl_egl_window_resize)
#define TAVIK_DECOR_FUNCTIONS(F) \
    F(libdecor_new) \
    F(libdecor_get_fd) \
    F(libdecor_dispatch) \
    F(libdecor_decorate) \
    F(libdecor_frame_unref) \
    F(libdecor_frame_set_app_id) \
    F(libdecor_frame_set_title) \
    F(libdecor_frame_set_min_content_size) \
    F(libdecor_frame_set_max_content_size) \
    F(libdecor_frame_unset_capabilities) \
    F(libdecor_frame_map) \
    F(libdecor_frame_commit) \
    F(libdecor_frame_get_xdg_toplevel) \
    F(libdecor_configuration_get_content_size) \
    F(libdecor_state_new) \
    F(libdecor_state_free)
#define TAVIK_XKB_FUNCTIONS(F) \
    F(xkb_context_new) \
    F(xkb_keymap_new_from_buffer) \
    F(xkb_keymap_unref) \
    F(xkb_state_new) \
    F(xkb_state_unref) \
    F(xkb_state_update_mask) \
    F(xkb_state_key_get_one_sym)
#define TAVIK_EGL_FUNCTIONS(F) \
    F(eglGetPlatformDisplay) \
    F(eglInitialize) \
    F(eglTerminate) \
    F(eglBindAPI) \
    F(eglGetError) \
    F(eglGetConfigs) \
    F(eglGetConfigAttrib) \
    F(eglCreateWindowSurface) \
    F(eglDestroySurface) \
    F(eglCreateContext) \
    F(eglDestroyContext) \
    F(eglMakeCurrent) \
    F(eglGetCurrentContext) \
    F(eglSwapBuffers) \
    F(eglSwapInterval)
// clang-format on

// The loaded entry points, named after the functions they hold.
struct LibraryWayland {
#define TAVIK_ENTRY_POINT(name) decltype(&::name) name;
    TAVIK_WAYLAND_CLIENT_FUNCTIONS(TAVIK_ENTRY_POINT)
    TAVIK_WAYLAND_CURSOR_FUNCTIONS(TAVIK_ENTRY_POINT)
    TAVIK_WAYLAND_EGL_FUNCTIONS(TAVIK_ENTRY_POINT)
    TAVIK_DECOR_FUNCTIONS(TAVIK_ENTRY_POINT)
    TAVIK_XKB_FUNCTIONS(TAVIK_ENTRY_POINT)
    TAVIK_EGL_FUNCTIONS(TAVIK_ENTRY_POINT)
#undef TAVIK_ENTRY_POINT
};

// Loads the libraries every Wayland start needs (libwayland-client, libwayland-egl, EGL) and
// finds their entry points the first time it is called; false, with one line on stderr naming
// what is missing, when one cannot be had. Kept loaded for the process.
bool LoadLibraryWayland();
// The same for libdecor, libwayland-cursor and libxkbcommon, each on its first call; the line on
// stderr ends with `without`, what the program does without it ("the window has no frame").
bool LoadDecorLibraryWayland(const char* without);
bool LoadCursorLibraryWayland(const char* without);
bool LoadXkbLibraryWayland(const char* without);
// The entry points; a group's are filled once its loader has returned true.
const LibraryWayland& LibraryWl();
// A library loaded with dlopen, kept for the process; null, with a line on stderr (ending with
// `without` when given), when it cannot be loaded.
void* OpenLibraryWayland(const char* soname, const char* without = nullptr);
// The entry point `name` of a library so loaded (a definition already in the program's global
// scope first); null, with a line on stderr naming both, when there is none.
void* FindEntryPointWayland(void* handle, const char* soname, const char* name,
                            const char* without = nullptr);

// The libraries' functions by their own names, as calls through the loaded entry points.
#define wl_display_connect(...) LibraryWl().wl_display_connect(__VA_ARGS__)
#define wl_display_disconnect(...) LibraryWl().wl_display_disconnect(__VA_ARGS__)
#define wl_display_get_fd(...) LibraryWl().wl_display_get_fd(__VA_ARGS__)
#define wl_display_get_error(...) LibraryWl().wl_display_get_error(__VA_ARGS__)
#define wl_display_get_protocol_error(...) LibraryWl().wl_display_get_protocol_error(__VA_ARGS__)
#define wl_display_prepare_read(...) LibraryWl().wl_display_prepare_read(__VA_ARGS__)
#define wl_display_read_events(...) LibraryWl().wl_display_read_events(__VA_ARGS__)
#define wl_display_cancel_read(...) LibraryWl().wl_display_cancel_read(__VA_ARGS__)
#define wl_display_dispatch_pending(...) LibraryWl().wl_display_dispatch_pending(__VA_ARGS__)
#define wl_display_flush(...) LibraryWl().wl_display_flush(__VA_ARGS__)
#define wl_display_roundtrip(...) LibraryWl().wl_display_roundtrip(__VA_ARGS__)
#define wl_log_set_handler_client(...) LibraryWl().wl_log_set_handler_client(__VA_ARGS__)
#define wl_proxy_marshal_flags(...) LibraryWl().wl_proxy_marshal_flags(__VA_ARGS__)
#define wl_proxy_add_listener(...) LibraryWl().wl_proxy_add_listener(__VA_ARGS__)
#define wl_proxy_destroy(...) LibraryWl().wl_proxy_destroy(__VA_ARGS__)
#define wl_proxy_get_version(...) LibraryWl().wl_proxy_get_version(__VA_ARGS__)
#define wl_proxy_set_user_data(...) LibraryWl().wl_proxy_set_user_data(__VA_ARGS__)
#define wl_proxy_get_user_data(...) LibraryWl().wl_proxy_get_user_data(__VA_ARGS__)
#define wl_cursor_theme_load(...) LibraryWl().wl_cursor_theme_load(__VA_ARGS__)
#define wl_cursor_theme_destroy(...) LibraryWl().wl_cursor_theme_destroy(__VA_ARGS__)
#define wl_cursor_theme_get_cursor(...) LibraryWl().wl_cursor_theme_get_cursor(__VA_ARGS__)
#define wl_cursor_image_get_buffer(...) LibraryWl().wl_cursor_image_get_buffer(__VA_ARGS__)
#define wl_egl_window_create(...) LibraryWl().wl_egl_window_create(__VA_ARGS__)
#define wl_egl_window_destroy(...) LibraryWl().wl_egl_window_destroy(__VA_ARGS__)
#define wl_egl_window_resize(...) LibraryWl().wl_egl_window_resize(__VA_ARGS__)
#define libdecor_new(...) LibraryWl().libdecor_new(__VA_ARGS__)
#define libdecor_get_fd(...) LibraryWl().libdecor_get_fd(__VA_ARGS__)
#define libdecor_dispatch(...) LibraryWl().libdecor_dispatch(__VA_ARGS__)
#define libdecor_decorate(...) LibraryWl().libdecor_decorate(__VA_ARGS__)
#define libdecor_frame_unref(...) LibraryWl().libdecor_frame_unref(__VA_ARGS__)
#define libdecor_frame_set_app_id(...) LibraryWl().libdecor_frame_set_app_id(__VA_ARGS__)
#define libdecor_frame_set_title(...) LibraryWl().libdecor_frame_set_title(__VA_ARGS__)
#define libdecor_frame_set_min_content_size(...)                                                   \
    LibraryWl().libdecor_frame_set_min_content_size(__VA_ARGS__)
#define libdecor_frame_set_max_content_size(...)                                                   \
    LibraryWl().libdecor_frame_set_max_content_size(__VA_ARGS__)
#define libdecor_frame_unset_capabilities(...)                                                     \
    LibraryWl().libdecor_frame_unset_capabilities(__VA_ARGS__)
#define libdecor_frame_map(...) LibraryWl().libdecor_frame_map(__VA_ARGS__)
#define libdecor_frame_commit(...) LibraryWl().libdecor_frame_commit(__VA_ARGS__)
#define libdecor_frame_get_xdg_toplevel(...)                                                       \
    LibraryWl().libdecor_frame_get_xdg_toplevel(__VA_ARGS__)
#define libdecor_configuration_get_content_size(...)                                               \
    LibraryWl().libdecor_configuration_get_content_size(__VA_ARGS__)
#define libdecor_state_new(...) LibraryWl().libdecor_state_new(__VA_ARGS__)
#define libdecor_state_free(...) LibraryWl().libdecor_state_free(__VA_ARGS__)
#define xkb_context_new(...) LibraryWl().xkb_context_new(__VA_ARGS__)
#define xkb_keymap_new_from_buffer(...) LibraryWl().xkb_keymap_new_from_buffer(__VA_ARGS__)
#define xkb_keymap_unref(...) LibraryWl().xkb_keymap_unref(__VA_ARGS__)
#define xkb_state_new(...) LibraryWl().xkb_state_new(__VA_ARGS__)
#define xkb_state_unref(...) LibraryWl().xkb_state_unref(__VA_ARGS__)
#define xkb_state_update_mask(...) LibraryWl().xkb_state_update_mask(__VA_ARGS__)
#define xkb_state_key_get_one_sym(...) LibraryWl().xkb_state_key_get_one_sym(__VA_ARGS__)
#define eglGetPlatformDisplay(...) LibraryWl().eglGetPlatformDisplay(__VA_ARGS__)
#define eglInitialize(...) LibraryWl().eglInitialize(__VA_ARGS__)
#define eglTerminate(...) LibraryWl().eglTerminate(__VA_ARGS__)
#define eglBindAPI(...) LibraryWl().eglBindAPI(__VA_ARGS__)
#define eglGetError(...) LibraryWl().eglGetError(__VA_ARGS__)
#define eglGetConfigs(...) LibraryWl().eglGetConfigs(__VA_ARGS__)
#define eglGetConfigAttrib(...) LibraryWl().eglGetConfigAttrib(__VA_ARGS__)
#define eglCreateWindowSurface(...) LibraryWl().eglCreateWindowSurface(__VA_ARGS__)
#define eglDestroySurface(...) LibraryWl().eglDestroySurface(__VA_ARGS__)
#define eglCreateContext(...) LibraryWl().eglCreateContext(__VA_ARGS__)
#define eglDestroyContext(...) LibraryWl().eglDestroyContext(__VA_ARGS__)
#define eglMakeCurrent(...) LibraryWl().eglMakeCurrent(__VA_ARGS__)
#define eglGetCurrentContext(...) LibraryWl().eglGetCurrentContext(__VA_ARGS__)
#define eglSwapBuffers(...) LibraryWl().eglSwapBuffers(__VA_ARGS__)
#define eglSwapInterval(...) LibraryWl().eglSwapInterval(__VA_ARGS__)

// The core protocol's client code, generated at build time: its inline functions now call the
// loaded entry points, and its interface objects are the program's own.
#include "wayland-client-protocol.h"
