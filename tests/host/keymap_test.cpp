// The Wayland keyboard's keymap read by its size alone, as the compositor hands it over.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "host/wayland/keymap.h"

namespace {

// A keymap that fills exactly one page, with a page that nothing may read right after it: with a
// NUL counted in the size, as compositors send it, and without one. Text that does not compile
// changes nothing.
TEST(WaylandKeymap, CompilesAWholePageWithoutANulAndReadsNothingBeyondIt) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* pages =
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(pages, MAP_FAILED);
    char* text = static_cast<char*>(pages);
    ASSERT_EQ(mprotect(text + page, page, PROT_NONE), 0);
    const std::string keymap = "xkb_keymap {\n xkb_keycodes { <ESC> = 9; };\n xkb_types { };\n"
                               " xkb_compat { };\n xkb_symbols { key <ESC> { [ Escape ] }; };\n};";
    for (bool nul : {false, true}) {
        SCOPED_TRACE(nul ? "a NUL at the end" : "no NUL");
        std::memset(text, ' ', page);
        std::memcpy(text, keymap.data(), keymap.size());
        text[page - 1] = nul ? '\0' : '\n';
        EXPECT_TRUE(TakeKeymapWayland(text, page));
    }
    EXPECT_FALSE(TakeKeymapWayland(text, keymap.size() / 2));
    EXPECT_FALSE(TakeKeymapWayland(text, 0));
    munmap(pages, 2 * page);
}

} // namespace
