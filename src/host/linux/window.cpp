// Windows of the Linux layer, the part that is the same on every window system: the dialog
// template table, the messages the platform sends while it creates, shows and destroys a window,
// and the dialog's default handling of the messages sent to it.
#include "host/linux/layer.h"

#include <algorithm>
#include <cstdio>

#include "host/resource.h"

namespace {

constexpr DialogTemplateLinux kTemplates[] = {
    {IDD_MAIN, IDD_MAIN_X, IDD_MAIN_Y, IDD_MAIN_WIDTH, IDD_MAIN_HEIGHT, IDD_MAIN_CAPTION},
};

const DialogTemplateLinux* FindTemplate(LPCWSTR name) {
    UINT_PTR id = reinterpret_cast<UINT_PTR>(name);
    for (const DialogTemplateLinux& dialog : kTemplates) {
        if (static_cast<UINT_PTR>(dialog.id) == id) {
            return &dialog;
        }
    }
    return nullptr;
}

// WM_SETICON's default handling: the window keeps the icon of that kind (null takes it away) and
// the window system shows it; the result is the icon it replaces. A handle that is no icon of the
// program's changes nothing.
LRESULT SetIcon(WindowLinux* window, WPARAM kind, LPARAM lParam) {
    auto icon = reinterpret_cast<HICON>(lParam);
    if ((kind != ICON_BIG && kind != ICON_SMALL) || (icon != nullptr && !KnownIconLinux(icon))) {
        return 0;
    }
    HICON& held = kind == ICON_BIG ? window->bigIcon : window->smallIcon;
    HICON previous = held;
    held = icon;
    ConnectedPlatform()->setIcon(window);
    return reinterpret_cast<LRESULT>(previous);
}

void ReleaseContextOf(LayerLinux& layer, const PlatformLinux* platform, WindowLinux* window) {
    if (layer.currentDC == &window->dc) {
        platform->makeCurrent(nullptr, nullptr);
        layer.currentDC = nullptr;
        layer.currentContext = nullptr;
    }
}

} // namespace

HWND CreateDialogParamW(HINSTANCE, LPCWSTR lpTemplateName, HWND, DLGPROC lpDialogFunc,
                        LPARAM dwInitParam) {
    const DialogTemplateLinux* dialog = FindTemplate(lpTemplateName);
    if (dialog == nullptr) {
        std::fputs("Tavik: no dialog template with that identifier\n", stderr);
        return nullptr;
    }
    const PlatformLinux* platform = ConnectPlatform();
    if (platform == nullptr) {
        return nullptr;
    }
    WindowLinux* window = platform->createWindow(*dialog);
    if (window == nullptr) {
        return nullptr;
    }
    window->proc = lpDialogFunc;
    window->caption = dialog->caption;
    LinuxLayer().windows.push_back(window);
    if (window->proc != nullptr) {
        window->proc(window, WM_INITDIALOG, 0, dwInitParam);
    }
    return FindWindowLinux(window);
}

LRESULT DeliverMessageLinux(WindowLinux* window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window->proc != nullptr) {
        if (INT_PTR result = window->proc(window, message, wParam, lParam)) {
            return result;
        }
    }
    return message == WM_SETICON ? SetIcon(window, wParam, lParam) : 0;
}

LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    WindowLinux* window = FindWindowLinux(hWnd);
    return window != nullptr ? DeliverMessageLinux(window, Msg, wParam, lParam) : 0;
}

BOOL ShowWindow(HWND hWnd, int) {
    WindowLinux* window = FindWindowLinux(hWnd);
    if (window == nullptr) {
        return FALSE;
    }
    if (window->shown) {
        return TRUE;
    }
    window->shown = true;
    ConnectedPlatform()->showWindow(window);
    // The platform sends a top-level window its first size message when it is first shown; the
    // dialog procedure relies on it to set up its projection.
    window->reportedWidth = window->width;
    window->reportedHeight = window->height;
    if (window->proc != nullptr) {
        window->proc(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(window->width, window->height));
    }
    return FALSE;
}

BOOL DestroyWindow(HWND hWnd) {
    WindowLinux* window = FindWindowLinux(hWnd);
    if (window == nullptr) {
        return FALSE;
    }
    LayerLinux& layer = LinuxLayer();
    const PlatformLinux* platform = ConnectedPlatform();
    if (window->proc != nullptr) {
        window->proc(window, WM_DESTROY, 0, 0);
    }
    // NOTE: a context still current on this window would be bound to a surface that is about to
    // vanish, which the window system reports as an error on the next call; release it first.
    ReleaseContextOf(layer, platform, window);
    layer.timers.erase(
        std::remove_if(layer.timers.begin(), layer.timers.end(),
                       [&](const TimerLinux& timer) { return timer.hwnd == window; }),
        layer.timers.end());
    layer.posted.erase(std::remove_if(layer.posted.begin(), layer.posted.end(),
                                      [&](const MSG& msg) { return msg.hwnd == window; }),
                       layer.posted.end());
    layer.windows.erase(std::find(layer.windows.begin(), layer.windows.end(), window));
    platform->destroyWindow(window);
    return TRUE;
}
