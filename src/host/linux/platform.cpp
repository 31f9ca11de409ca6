// Choosing the window system once, at the first call that needs one, the way the windowing
// toolkits do: Wayland when a compositor is reachable, X11 otherwise; the session type decides
// when it names X11 and a display is set. Also the window list and the helpers both backends use.
#include "host/linux/layer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

LayerLinux& LinuxLayer() {
    static LayerLinux layer;
    return layer;
}

const PlatformLinux* ConnectPlatform() {
    LayerLinux& layer = LinuxLayer();
    if (!layer.platformChosen) {
        layer.platformChosen = true;
        const char* session = std::getenv("XDG_SESSION_TYPE");
        const char* display = std::getenv("DISPLAY");
        bool x11Session = session != nullptr && std::strcmp(session, "x11") == 0 &&
                          display != nullptr && *display != '\0';
        layer.platformConnected =
            (!x11Session && ConnectWayland(&layer.platform)) || ConnectX11(&layer.platform);
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

std::int64_t NowNs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

std::string ToUtf8(LPCWSTR text) {
    std::string out;
    for (; text != nullptr && *text != L'\0'; ++text) {
        auto c = static_cast<unsigned long>(*text);
        // wchar_t is 32 bits here, but text that came through UTF-16 may still hold pairs.
        if (c >= 0xD800 && c < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<unsigned long>(text[1]) - 0xDC00);
            ++text;
        } else if ((c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) {
            c = 0xFFFD;
        }
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
