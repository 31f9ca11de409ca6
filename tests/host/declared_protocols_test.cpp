// The layer's own declaration of cursor-shape-v1 and xdg-toplevel-icon-v1, which build machines
// without them (Debian 12) compile, held against what wayland-scanner makes of Debian 13's
// descriptions of the two (renamed expected_*): each interface's name and version, and each
// request and event by name, signature (with the version it came in) and argument interfaces.
#include <gtest/gtest.h>
#include <wayland-util.h>

#include <cctype>
#include <string>
#include <utility>

extern "C" {
extern const wl_interface wp_cursor_shape_manager_v1_interface, wp_cursor_shape_device_v1_interface,
    xdg_toplevel_icon_manager_v1_interface, xdg_toplevel_icon_v1_interface,
    expected_wp_cursor_shape_manager_v1_interface, expected_wp_cursor_shape_device_v1_interface,
    expected_xdg_toplevel_icon_manager_v1_interface, expected_xdg_toplevel_icon_v1_interface;
}

namespace {

std::string Describe(const wl_interface& interface) {
    std::string text = std::string(interface.name) + " " + std::to_string(interface.version);
    for (auto [messages, count] : {std::pair{interface.methods, interface.method_count},
                                   std::pair{interface.events, interface.event_count}}) {
        text += ";";
        for (const wl_message* message = messages; message < messages + count; ++message) {
            text += std::string(" ") + message->name + "(" + message->signature;
            for (int at = 0, argument = 0; message->signature[at] != '\0'; ++at) {
                if (std::isalpha(static_cast<unsigned char>(message->signature[at]))) {
                    const wl_interface* type = message->types[argument++];
                    text += std::string(" ") + (type != nullptr ? type->name : "-");
                }
            }
            text += ")";
        }
    }
    return text;
}

TEST(DeclaredProtocols, AreTheInterfacesDebian13Describes) {
    EXPECT_EQ(Describe(wp_cursor_shape_manager_v1_interface),
              Describe(expected_wp_cursor_shape_manager_v1_interface));
    EXPECT_EQ(Describe(wp_cursor_shape_device_v1_interface),
              Describe(expected_wp_cursor_shape_device_v1_interface));
    EXPECT_EQ(Describe(xdg_toplevel_icon_manager_v1_interface),
              Describe(expected_xdg_toplevel_icon_manager_v1_interface));
    EXPECT_EQ(Describe(xdg_toplevel_icon_v1_interface),
              Describe(expected_xdg_toplevel_icon_v1_interface));
}

} // namespace
