// Keys on Wayland: the compositor's keymap read by its size alone, as the compositor hands it
// over, and keys read through it at the modifiers and layout that the compositor reports, fed to
// the keyboard's handlers as a compositor sends them (no compositor).
#include "host/wayland/keymap.h"
#include "host/wayland/layer.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// A keymap that fills exactly one page, with a page that nothing may read right after it: with a
// NUL counted in the size, as compositors send it, without one, and with one inside that ends the
// text before bytes that are not a keymap. Text that does not compile changes nothing.
TEST(WaylandKeymap, CompilesAWholePageWithoutANulAndReadsNothingBeyondIt) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* pages =
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(pages, MAP_FAILED);
    char* text = static_cast<char*>(pages);
    ASSERT_EQ(mprotect(text + page, page, PROT_NONE), 0);
    const std::string keymap = "xkb_keymap {\n xkb_keycodes { <ESC> = 9; };\n xkb_types { };\n"
                               " xkb_compat { };\n xkb_symbols { key <ESC> { [ Escape ] }; };\n};";
    // Whether a NUL follows the keymap, and the page's last byte.
    for (auto [inside, last] : {std::pair{false, '\n'}, {false, '\0'}, {true, '}'}}) {
        SCOPED_TRACE(inside ? "a NUL inside" : last == '\0' ? "a NUL at the end" : "no NUL");
        std::memset(text, ' ', page);
        std::memcpy(text, keymap.data(), keymap.size());
        text[keymap.size()] = inside ? '\0' : ' ';
        text[page - 1] = last;
        EXPECT_TRUE(TakeKeymapWayland(text, page));
    }
    EXPECT_FALSE(TakeKeymapWayland(text, keymap.size() / 2));
    EXPECT_FALSE(TakeKeymapWayland(text, 0));
    munmap(pages, 2 * page);
}

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
    // A keymap that fails to compile then leaves this one in use.
    EXPECT_FALSE(TakeKeymapWayland(kKeymap, sizeof kKeymap / 2));
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
