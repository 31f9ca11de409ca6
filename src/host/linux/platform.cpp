// Choosing the window system once, at the first call that needs one, the way the windowing
// toolkits do: Wayland when a compositor is reachable, X11 otherwise; X11 alone when a display is
// set and either the session type names X11 or no compositor is named; the default compositor
// socket only in a Wayland session. Also the window list and the helpers both backends use.
#include "host/linux/layer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

LayerLinux& LinuxLayer() {
    static LayerLinux layer;
    return layer;
}

namespace {

bool Named(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

bool SessionIs(const char* type) {
    const char* session = std::getenv("XDG_SESSION_TYPE");
    return session != nullptr && std::strcmp(session, type) == 0;
}

// Whether a compositor may be tried: one handed over in WAYLAND_SOCKET always; otherwise a display
// of the environment, and never X11 alone where the environment asks for it. The default socket
// (wayland-0) counts only in a Wayland session: over plain ssh it belongs to whoever sits at the
// machine.
bool TryWayland() {
    if (Named("WAYLAND_SOCKET")) {
        return true;
    }
    if (Named("DISPLAY") && SessionIs("x11")) {
        return false;
    }
    if (Named("WAYLAND_DISPLAY")) {
        return true;
    }
    // NOTE: over `ssh -X` DISPLAY is the forwarded server and no compositor is named, while the
    // default socket of a local desktop of the same user may still be there: opening a window on
    // it would put it on someone else's screen.
    return !Named("DISPLAY") && SessionIs("wayland");
}

// The variable's value, removed from the environment; empty when unset.
std::string TakeVariable(const char* variable) {
    const char* value = std::getenv(variable);
    std::string taken = value != nullptr ? value : "";
    unsetenv(variable);
    return taken;
}

} // namespace

const PlatformLinux* ConnectPlatform() {
    LayerLinux& layer = LinuxLayer();
    if (!layer.platformChosen) {
        layer.platformChosen = true;
        layer.startupId = TakeVariable("DESKTOP_STARTUP_ID");
        layer.activationToken = TakeVariable("XDG_ACTIVATION_TOKEN");
        layer.platformConnected =
            (TryWayland() && ConnectWayland(&layer.platform)) || ConnectX11(&layer.platform);
    }
    return ConnectedPlatform();
}

const PlatformLinux* ConnectedPlatform() {
    LayerLinux& layer = LinuxLayer();
    return layer.platformConnected ? &layer.platform : nullptr;
}

WindowLinux* FindWindowLinux(HWND hwnd) {
    const std::vector<WindowLinux*>& windows = LinuxLayer().windows;
    auto found = std::find(windows.begin(), windows.end(), hwnd);
    return found == windows.end() ? nullptr : *found;
}

WindowLinux* FindWindowOfDCLinux(HDC hdc) {
    for (WindowLinux* window : LinuxLayer().windows) {
        if (&window->dc == hdc) {
            return window;
        }
    }
    return nullptr;
}

void PostMessageLinux(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LinuxLayer().posted.push_back(MSG{hwnd, message, wParam, lParam, 0, {0, 0}});
}

unsigned long NextCodePoint(LPCWSTR* text) {
    // wchar_t is 32 bits here, but text that came through UTF-16 may still hold pairs.
    auto c = static_cast<unsigned long>(*(*text)++);
    if (c >= 0xD800 && c < 0xDC00) {
        auto low = static_cast<unsigned long>(**text);
        if (low >= 0xDC00 && low < 0xE000) {
            ++*text;
            return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        }
        return 0xFFFD;
    }
    return (c >= 0xDC00 && c < 0xE000) || c > 0x10FFFF ? 0xFFFD : c;
}

std::string ToUtf8(LPCWSTR text) {
    std::string out;
    while (text != nullptr && *text != L'\0') {
        unsigned long c = NextCodePoint(&text);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}
