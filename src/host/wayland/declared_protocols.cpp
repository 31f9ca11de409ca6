// The interfaces of cursor-shape-v1 (version 2) and xdg-toplevel-icon-v1 (version 1) as
// libwayland's marshalling reads them: each request and event by name, with its arguments'
// signature and the interfaces of its object arguments. Built where the machine's
// wayland-protocols lacks the two; a test holds them against the protocols' own descriptions.
#include "host/wayland/layer.h"

extern "C" {

// cursor-shape-v1 can also give a tablet tool its shape, which the layer does not use: the
// tablet tool's interface stands here by its name alone, for the argument's type.
extern const wl_interface zwp_tablet_tool_v2_interface;
const wl_interface zwp_tablet_tool_v2_interface = {"zwp_tablet_tool_v2", 1, 0, nullptr, 0, nullptr};

namespace {

const wl_interface* kNoTypes[] = {nullptr, nullptr};
const wl_interface* kGetPointerTypes[] = {&wp_cursor_shape_device_v1_interface,
                                          &wl_pointer_interface};
const wl_interface* kGetTabletToolTypes[] = {&wp_cursor_shape_device_v1_interface,
                                             &zwp_tablet_tool_v2_interface};
const wl_interface* kCreateIconTypes[] = {&xdg_toplevel_icon_v1_interface};
const wl_interface* kSetIconTypes[] = {&xdg_toplevel_interface, &xdg_toplevel_icon_v1_interface};
const wl_interface* kAddBufferTypes[] = {&wl_buffer_interface, nullptr};

// (libwayland takes the types as a mutable array; it never writes to it.)
// Signatures: u uint, i int, s string, o object, n new id; ? before a type allows null.
const wl_message kCursorShapeManagerRequests[] = {
    {"destroy", "", kNoTypes},
    {"get_pointer", "no", kGetPointerTypes},
    {"get_tablet_tool_v2", "no", kGetTabletToolTypes},
};
const wl_message kCursorShapeDeviceRequests[] = {
    {"destroy", "", kNoTypes},
    {"set_shape", "uu", kNoTypes},
};
const wl_message kIconManagerRequests[] = {
    {"destroy", "", kNoTypes},
    {"create_icon", "n", kCreateIconTypes},
    {"set_icon", "o?o", kSetIconTypes},
};
const wl_message kIconManagerEvents[] = {
    {"icon_size", "i", kNoTypes},
    {"done", "", kNoTypes},
};
const wl_message kIconRequests[] = {
    {"destroy", "", kNoTypes},
    {"set_name", "s", kNoTypes},
    {"add_buffer", "oi", kAddBufferTypes},
};

} // namespace

const wl_interface wp_cursor_shape_manager_v1_interface = {
    "wp_cursor_shape_manager_v1", 2, 3, kCursorShapeManagerRequests, 0, nullptr};
const wl_interface wp_cursor_shape_device_v1_interface = {"wp_cursor_shape_device_v1", 2, 2,
                                                          kCursorShapeDeviceRequests,  0, nullptr};
const wl_interface xdg_toplevel_icon_manager_v1_interface = {
    "xdg_toplevel_icon_manager_v1", 1, 3, kIconManagerRequests, 2, kIconManagerEvents};
const wl_interface xdg_toplevel_icon_v1_interface = {"xdg_toplevel_icon_v1", 1, 3,
                                                     kIconRequests,          0, nullptr};
}
