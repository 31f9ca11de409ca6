// The client side of cursor-shape-v1 and xdg-toplevel-icon-v1, for build machines whose
// wayland-protocols (before 1.37) has neither: the four interfaces, declared by the layer from
// the protocols' wire description (declared_protocols.cpp), and the requests, events and values
// the layer uses, under the names wayland-scanner gives them, so that the same code builds
// against the generated headers where the machine has the protocols. Included by layer.h only.
#pragma once

#include <cstdint>

struct wp_cursor_shape_manager_v1;
struct wp_cursor_shape_device_v1;
struct xdg_toplevel_icon_manager_v1;
struct xdg_toplevel_icon_v1;

extern "C" {
extern const wl_interface wp_cursor_shape_manager_v1_interface;
extern const wl_interface wp_cursor_shape_device_v1_interface;
extern const wl_interface xdg_toplevel_icon_manager_v1_interface;
extern const wl_interface xdg_toplevel_icon_v1_interface;
}

// The shape of the ordinary arrow.
constexpr std::uint32_t WP_CURSOR_SHAPE_DEVICE_V1_SHAPE_DEFAULT = 1;

// Requests by their opcodes, in the order the protocols list them.
inline void wp_cursor_shape_manager_v1_destroy(wp_cursor_shape_manager_v1* manager) {
    auto* proxy = reinterpret_cast<wl_proxy*>(manager);
    wl_proxy_marshal_flags(proxy, 0, nullptr, wl_proxy_get_version(proxy), WL_MARSHAL_FLAG_DESTROY);
}
inline wp_cursor_shape_device_v1*
wp_cursor_shape_manager_v1_get_pointer(wp_cursor_shape_manager_v1* manager, wl_pointer* pointer) {
    auto* proxy = reinterpret_cast<wl_proxy*>(manager);
    return reinterpret_cast<wp_cursor_shape_device_v1*>(
        wl_proxy_marshal_flags(proxy, 1, &wp_cursor_shape_device_v1_interface,
                               wl_proxy_get_version(proxy), 0, nullptr, pointer));
}
inline void wp_cursor_shape_device_v1_destroy(wp_cursor_shape_device_v1* device) {
    auto* proxy = reinterpret_cast<wl_proxy*>(device);
    wl_proxy_marshal_flags(proxy, 0, nullptr, wl_proxy_get_version(proxy), WL_MARSHAL_FLAG_DESTROY);
}
inline void wp_cursor_shape_device_v1_set_shape(wp_cursor_shape_device_v1* device,
                                                std::uint32_t serial, std::uint32_t shape) {
    auto* proxy = reinterpret_cast<wl_proxy*>(device);
    wl_proxy_marshal_flags(proxy, 1, nullptr, wl_proxy_get_version(proxy), 0, serial, shape);
}

inline void xdg_toplevel_icon_manager_v1_destroy(xdg_toplevel_icon_manager_v1* manager) {
    auto* proxy = reinterpret_cast<wl_proxy*>(manager);
    wl_proxy_marshal_flags(proxy, 0, nullptr, wl_proxy_get_version(proxy), WL_MARSHAL_FLAG_DESTROY);
}
inline xdg_toplevel_icon_v1*
xdg_toplevel_icon_manager_v1_create_icon(xdg_toplevel_icon_manager_v1* manager) {
    auto* proxy = reinterpret_cast<wl_proxy*>(manager);
    return reinterpret_cast<xdg_toplevel_icon_v1*>(wl_proxy_marshal_flags(
        proxy, 1, &xdg_toplevel_icon_v1_interface, wl_proxy_get_version(proxy), 0, nullptr));
}
inline void xdg_toplevel_icon_manager_v1_set_icon(xdg_toplevel_icon_manager_v1* manager,
                                                  xdg_toplevel* toplevel,
                                                  xdg_toplevel_icon_v1* icon) {
    auto* proxy = reinterpret_cast<wl_proxy*>(manager);
    wl_proxy_marshal_flags(proxy, 2, nullptr, wl_proxy_get_version(proxy), 0, toplevel, icon);
}
inline void xdg_toplevel_icon_v1_destroy(xdg_toplevel_icon_v1* icon) {
    auto* proxy = reinterpret_cast<wl_proxy*>(icon);
    wl_proxy_marshal_flags(proxy, 0, nullptr, wl_proxy_get_version(proxy), WL_MARSHAL_FLAG_DESTROY);
}
inline void xdg_toplevel_icon_v1_set_name(xdg_toplevel_icon_v1* icon, const char* name) {
    auto* proxy = reinterpret_cast<wl_proxy*>(icon);
    wl_proxy_marshal_flags(proxy, 1, nullptr, wl_proxy_get_version(proxy), 0, name);
}
inline void xdg_toplevel_icon_v1_add_buffer(xdg_toplevel_icon_v1* icon, wl_buffer* buffer,
                                            std::int32_t scale) {
    auto* proxy = reinterpret_cast<wl_proxy*>(icon);
    wl_proxy_marshal_flags(proxy, 2, nullptr, wl_proxy_get_version(proxy), 0, buffer, scale);
}

// The icon manager's events: the sizes the compositor prefers, then done.
struct xdg_toplevel_icon_manager_v1_listener {
    void (*icon_size)(void* data, xdg_toplevel_icon_manager_v1* manager, std::int32_t size);
    void (*done)(void* data, xdg_toplevel_icon_manager_v1* manager);
};
inline int
xdg_toplevel_icon_manager_v1_add_listener(xdg_toplevel_icon_manager_v1* manager,
                                          const xdg_toplevel_icon_manager_v1_listener* listener,
                                          void* data) {
    return wl_proxy_add_listener(reinterpret_cast<wl_proxy*>(manager),
                                 reinterpret_cast<void (**)(void)>(
                                     const_cast<xdg_toplevel_icon_manager_v1_listener*>(listener)),
                                 data);
}
