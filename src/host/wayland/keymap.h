// The compositor's keymap as the Wayland backend reads it, apart from the seat so that it can be
// given any bytes without a compositor.
#pragma once

#include <cstddef>

// Compiles the keymap text of `size` bytes at `text` with libxkbcommon (loaded on the first call)
// and makes it the keyboard's, in place of the one before. Nothing beyond `size` is read, no NUL
// is needed at the end, and a NUL within the size ends the text. False, keeping the keymap there
// was, when the library cannot be had or the text does not compile.
bool TakeKeymapWayland(const char* text, std::size_t size);
