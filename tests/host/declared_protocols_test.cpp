// The layer's own declaration of cursor-shape-v1 and xdg-toplevel-icon-v1, which build machines
// without them (Debian 12) compile, held against what wayland-scanner makes of Debian 13's
// descriptions of the two (renamed expected_*): each interface's name and version, and each
// request and event by name, signature (with the version it came in) and argument interfaces.
#include <gtest/gtest.h>
#include <wayland-util.h>

#include <cctype>
#include <string>

extern "C" {
extern const wl_interface wp_cursor_shape_manager_v1_interface, wp_cursor_shape_device_v1_interface,
    xdg_toplevel_icon_manager_v1_interface, xdg_toplevel_icon_v1_interface,
    expected_wp_cursor_shape_manager_v1_interface, expected_wp_cursor_shape_device_v1_interface,
    expected_xdg_toplevel_icon_manager_v1_interface, expected_xdg_toplevel_icon_v1_interface;
}

namespace {

std::string Describe(const wl_message* messages, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += std::string(messages[i].name) + "(" + messages[i].signature + ":";
        int argument = 0;
        for (const char* type = messages[i].signature; *type != '\0'; ++type) {
            if (std::isalpha(static_cast<unsigned char>(*type))) {
                const wl_interface* of = messages[i].types[argument++];
                text += std::string(" ") + (of != nullptr ? of->name : "-");
            }
        }
        text += ") ";
    }
    return text;
}

std::string Describe(const wl_interface& interface) {
    return std::string(interface.name) + " version " + std::to_string(interface.version) +
           "; requests " + Describe(interface.methods, interface.method_count) + "; events " +
           Describe(interface.events, interface.event_count);
}

TEST(DeclaredProtocols, AreTheInterfacesDebian13Describes) {
    const wl_interface* pairs[][2] = {
        {&wp_cursor_shape_manager_v1_interface, &expected_wp_cursor_shape_manager_v1_interface},
        {&wp_cursor_shape_device_v1_interface, &expected_wp_cursor_shape_device_v1_interface},
        {&xdg_toplevel_icon_manager_v1_interface, &expected_xdg_toplevel_icon_manager_v1_interface},
        {&xdg_toplevel_icon_v1_interface, &expected_xdg_toplevel_icon_v1_interface}};
    for (const auto& pair : pairs) {
        EXPECT_EQ(Describe(*pair[0]), Describe(*pair[1]));
    }
}

} // namespace
