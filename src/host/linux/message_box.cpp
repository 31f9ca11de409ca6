// MessageBoxW on Linux: the backend's modal box, or the caption and the text on stderr when no
// window system is reachable (IDOK) or the backend cannot show a box (0, the call fails); a test
// hook may stand in for the person who dismisses it.
#include "host/linux/message_box.h"

#include <cstdio>

#include "host/linux/layer.h"

namespace {

MessageBoxHookLinux messageBoxHook = nullptr;

} // namespace

MessageBoxHookLinux SetMessageBoxHookLinux(MessageBoxHookLinux hook) {
    MessageBoxHookLinux previous = messageBoxHook;
    messageBoxHook = hook;
    return previous;
}

int MessageBoxW(HWND, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
    if (messageBoxHook != nullptr) {
        return messageBoxHook(lpText, lpCaption, uType);
    }
    const PlatformLinux* platform = ConnectPlatform();
    if (platform == nullptr) {
        std::fprintf(stderr, "%s: %s\n", ToUtf8(lpCaption).c_str(), ToUtf8(lpText).c_str());
        return IDOK;
    }
    if (!platform->messageBox(lpText, lpCaption)) {
        // The message is not lost: it goes where it goes without a window system, and the call
        // fails as the platform's does when it cannot show a box.
        std::fprintf(stderr, "%s: %s\n", ToUtf8(lpCaption).c_str(), ToUtf8(lpText).c_str());
        return 0;
    }
    return IDOK;
}
