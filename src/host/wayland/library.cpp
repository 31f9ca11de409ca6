// Loads the Wayland host's libraries with dlopen: the ones every start needs before the first
// connection attempt, libdecor, the cursor library and libxkbcommon each on first use.
#include "host/wayland/library.h"

#include <dlfcn.h>

#include <cstdio>

namespace {

LibraryWayland library;

// One library of a group: opened, then each of its entry points found, stopping at the first
// that is missing.
struct GroupLoader {
    const char* without;
    const char* soname = nullptr;
    void* handle = nullptr;

    bool Open(const char* name) {
        soname = name;
        handle = OpenLibraryWayland(name, without);
        return handle != nullptr;
    }
    template <typename Function> bool Find(const char* name, Function* out) {
        *out = reinterpret_cast<Function>(FindEntryPointWayland(handle, soname, name, without));
        return *out != nullptr;
    }
};

#define TAVIK_FIND(name) &&group.Find(#name, &library.name)

bool LoadRequired() {
    GroupLoader group{nullptr};
    return group.Open("libwayland-client.so.0") TAVIK_WAYLAND_CLIENT_FUNCTIONS(TAVIK_FIND) &&
           group.Open("libwayland-egl.so.1") TAVIK_WAYLAND_EGL_FUNCTIONS(TAVIK_FIND) &&
           group.Open("libEGL.so.1") TAVIK_EGL_FUNCTIONS(TAVIK_FIND);
}

bool LoadDecor(const char* without) {
    GroupLoader group{without};
    return group.Open("libdecor-0.so.0") TAVIK_DECOR_FUNCTIONS(TAVIK_FIND);
}

bool LoadCursor(const char* without) {
    GroupLoader group{without};
    return group.Open("libwayland-cursor.so.0") TAVIK_WAYLAND_CURSOR_FUNCTIONS(TAVIK_FIND);
}

bool LoadXkb(const char* without) {
    GroupLoader group{without};
    return group.Open("libxkbcommon.so.0") TAVIK_XKB_FUNCTIONS(TAVIK_FIND);
}

#undef TAVIK_FIND

// What the program does without the library, after the reason, when the caller says.
const char* Consequence(const char* without) {
    return without != nullptr ? without : "";
}
const char* Separator(const char* without) {
    return without != nullptr ? "; " : "";
}

} // namespace

void* OpenLibraryWayland(const char* soname, const char* without) {
    void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "Wayland: cannot load %s: %s%s%s\n", soname, dlerror(),
                     Separator(without), Consequence(without));
    }
    return handle;
}

// NOTE: a definition already in the program's global scope comes first, as it would for a linked
// library, so that a preloaded one (the benchmarks' swap logger) still sees the calls.
void* FindEntryPointWayland(void* handle, const char* soname, const char* name,
                            const char* without) {
    void* entry = dlsym(RTLD_DEFAULT, name);
    if (entry == nullptr) {
        entry = dlsym(handle, name);
    }
    if (entry == nullptr) {
        std::fprintf(stderr, "Wayland: %s has no %s%s%s\n", soname, name, Separator(without),
                     Consequence(without));
    }
    return entry;
}

bool LoadLibraryWayland() {
    static const bool loaded = LoadRequired();
    return loaded;
}

bool LoadDecorLibraryWayland(const char* without) {
    static const bool loaded = LoadDecor(without);
    return loaded;
}

bool LoadCursorLibraryWayland(const char* without) {
    static const bool loaded = LoadCursor(without);
    return loaded;
}

bool LoadXkbLibraryWayland(const char* without) {
    static const bool loaded = LoadXkb(without);
    return loaded;
}

const LibraryWayland& LibraryWl() {
    return library;
}
