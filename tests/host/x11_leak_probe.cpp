// A program for the leak checker's own test: the layer's message box, with its XFreeGC forgotten
// and a person who presses Escape at once. Run under LeakSanitizer with tests/lsan.supp, it must
// still report the box's graphics context: the suppressions keep quiet only about what Xlib
// allocates once and keeps, not about X resources the layer fails to release.
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <dlfcn.h>

#include "host/platform.h"

extern "C" {

int XFreeGC(Display*, GC) {
    return 1;
}

int XIfEvent(Display* display, XEvent* event, Bool (*predicate)(Display*, XEvent*, XPointer),
             XPointer argument) {
    using Function = decltype(&XIfEvent);
    static Function real = reinterpret_cast<Function>(dlsym(RTLD_NEXT, "XIfEvent"));
    // The box's window is the first event's; answer at once with Escape on it.
    int result = real(display, event, predicate, argument);
    event->type = KeyPress;
    event->xkey.keycode = XKeysymToKeycode(display, XK_Escape);
    event->xkey.state = 0;
    return result;
}

} // extern "C"

int main() {
    return MessageBoxW(nullptr, L"leak probe", L"Tavik", MB_OK) == IDOK ? 0 : 1;
}
