// X events for the Linux layer's message queue: a resize records the new client size, the window
// manager's close becomes WM_CLOSE, button 1 and a few keys become mouse and key messages.
// Waiting is ppoll() on the X connection until an event or the next timer deadline.
#include "host/x11/layer.h"

#include <poll.h>

#include <X11/keysym.h>

#include <cerrno>

namespace {

// Virtual-key code for the keys a dialog might care about; 0 drops the key.
WPARAM VirtualKeyOf(XKeyEvent* event) {
    KeySym keysym = XLookupKeysym(event, 0);
    if (keysym >= XK_a && keysym <= XK_z) {
        return 'A' + (keysym - XK_a);
    }
    if (keysym >= XK_0 && keysym <= XK_9) {
        return '0' + (keysym - XK_0);
    }
    switch (keysym) {
    case XK_Return:
    case XK_KP_Enter:
        return 0x0D;
    case XK_Escape:
        return 0x1B;
    case XK_space:
        return 0x20;
    default:
        return 0;
    }
}

// The window manager's ping goes back to the root window, as the window manager asks: the
// answer shows that the program still reads its events.
void AnswerPing(XEvent* event) {
    Display* display = Layer().display;
    Window root = DefaultRootWindow(display);
    event->xclient.window = root;
    XSendEvent(display, root, False, SubstructureNotifyMask | SubstructureRedirectMask, event);
}

void TranslateEvent(XEvent* event) {
    WindowX11* window = FindWindowByHandleX11(event->xany.window);
    if (window == nullptr) {
        return;
    }
    const AtomsX11& atoms = Layer().atoms;
    switch (event->type) {
    case MapNotify:
        CompleteStartupX11(window->handle);
        break;
    case ConfigureNotify:
        window->width = event->xconfigure.width;
        window->height = event->xconfigure.height;
        break;
    case ClientMessage:
        if (event->xclient.message_type != atoms.wmProtocols) {
            break;
        }
        if (static_cast<Atom>(event->xclient.data.l[0]) == atoms.wmDeleteWindow) {
            PostMessageLinux(window, WM_CLOSE, 0, 0);
        } else if (static_cast<Atom>(event->xclient.data.l[0]) == atoms.netWmPing) {
            AnswerPing(event);
        }
        break;
    case KeyPress:
    case KeyRelease:
        if (WPARAM key = VirtualKeyOf(&event->xkey)) {
            PostMessageLinux(window, event->type == KeyPress ? WM_KEYDOWN : WM_KEYUP, key, 0);
        }
        break;
    case ButtonPress:
    case ButtonRelease:
        if (event->xbutton.button == Button1) {
            PostMessageLinux(window, event->type == ButtonPress ? WM_LBUTTONDOWN : WM_LBUTTONUP, 0,
                             MAKELPARAM(event->xbutton.x, event->xbutton.y));
        }
        break;
    default:
        break;
    }
}

} // namespace

void PollEventsX11() {
    Display* display = Layer().display;
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        TranslateEvent(&event);
    }
}

void WaitEventsX11(std::int64_t deadlineNs) {
    Display* display = Layer().display;
    XFlush(display);
    if (XPending(display) > 0) {
        return;
    }
    pollfd connection = {ConnectionNumber(display), POLLIN, 0};
    timespec timeout;
    const timespec* wait = PollTimeout(deadlineNs, &timeout);
    while (ppoll(&connection, 1, wait, nullptr) < 0 && errno == EINTR) {
    }
}
