// Loads the Wayland host's libraries with dlopen, once, before the first connection attempt.
#include "host/wayland/library.h"

#include <dlfcn.h>

#include <cstdio>

namespace {

LibraryWayland library;

template <typename Function>
bool Find(void* handle, const char* soname, const char* name, Function* out) {
    *out = reinterpret_cast<Function>(FindEntryPointWayland(handle, soname, name));
    return *out != nullptr;
}

bool Load() {
    const char* soname = nullptr;
    void* handle = nullptr;
    auto open = [&](const char* name) {
        soname = name;
        handle = OpenLibraryWayland(name);
        return handle != nullptr;
    };
#define TAVIK_FIND(name) &&Find(handle, soname, #name, &library.name)
    return open("libwayland-client.so.0") TAVIK_WAYLAND_CLIENT_FUNCTIONS(TAVIK_FIND) &&
           open("libwayland-cursor.so.0") TAVIK_WAYLAND_CURSOR_FUNCTIONS(TAVIK_FIND) &&
           open("libwayland-egl.so.1") TAVIK_WAYLAND_EGL_FUNCTIONS(TAVIK_FIND) &&
           open("libdecor-0.so.0") TAVIK_DECOR_FUNCTIONS(TAVIK_FIND) &&
           open("libEGL.so.1") TAVIK_EGL_FUNCTIONS(TAVIK_FIND);
#undef TAVIK_FIND
}

} // namespace

void* OpenLibraryWayland(const char* soname) {
    void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "Wayland: cannot load %s: %s\n", soname, dlerror());
    }
    return handle;
}

// NOTE: a definition already in the program's global scope comes first, as it would for a linked
// library, so that a preloaded one (the benchmarks' swap logger) still sees the calls.
void* FindEntryPointWayland(void* handle, const char* soname, const char* name) {
    void* entry = dlsym(RTLD_DEFAULT, name);
    if (entry == nullptr) {
        entry = dlsym(handle, name);
    }
    if (entry == nullptr) {
        std::fprintf(stderr, "Wayland: %s has no %s\n", soname, name);
    }
    return entry;
}

bool LoadLibraryWayland() {
    static const bool loaded = Load();
    return loaded;
}

const LibraryWayland& LibraryWl() {
    return library;
}
