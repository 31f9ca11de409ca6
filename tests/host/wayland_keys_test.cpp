// Keys on Wayland: read through the compositor's keymap at the modifiers and layout that the
// compositor reports, fed to the keyboard's handlers as a compositor sends them (no compositor).
#include "host/wayland/layer.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>

#include <utility>
#include <vector>

namespace {

// Escape's key types x, and Return with Shift; in the second layout Escape, and space with Shift.
constexpr char kKeymap[] = R"(xkb_keymap {
    xkb_keycodes "test" { minimum = 8; maximum = 255; <ESC> = 9; };
    xkb_types "test" { include "complete" };
    xkb_compatibility "test" { include "complete" };
    xkb_symbols "test" { key <ESC> { [ x, Return ], [ Escape, space ] }; };
};)";

TEST(WaylandKeys, FollowTheKeymapAtTheReportedModifiersAndLayout) {
    const wl_keyboard_listener& keyboard = KeyboardListenerWayland();
    int fd = memfd_create("keymap", MFD_CLOEXEC);
    ASSERT_EQ(write(fd, kKeymap, sizeof kKeymap), static_cast<ssize_t>(sizeof kKeymap));
    keyboard.keymap(nullptr, nullptr, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, sizeof kKeymap);
    ASSERT_NE(LayerWl().xkbState, nullptr) << "the keymap was not compiled";
    WindowWayland window;
    window.surface = reinterpret_cast<wl_surface*>(&window);
    LinuxLayer().windows.push_back(&window);
    keyboard.enter(nullptr, nullptr, 1, window.surface, nullptr);
    // The virtual key posted for each (modifiers, layout); Shift is the first modifier.
    std::vector<WPARAM> keys;
    for (auto [modifiers, layout] : {std::pair{0u, 0u}, {1u, 0u}, {0u, 1u}, {1u, 1u}}) {
        LinuxLayer().posted.clear();
        keyboard.modifiers(nullptr, nullptr, 2, modifiers, 0, 0, layout);
        keyboard.key(nullptr, nullptr, 3, 0, KEY_ESC, WL_KEYBOARD_KEY_STATE_PRESSED);
        keys.push_back(LinuxLayer().posted.empty() ? 0 : LinuxLayer().posted.back().wParam);
    }
    LinuxLayer().windows.pop_back();
    LinuxLayer().posted.clear();
    EXPECT_EQ(keys, (std::vector<WPARAM>{0, 0x0D, 0x1B, 0x20}));
}

} // namespace
