// The thread's message queue on Linux: X events become window messages, posted messages and the
// quit message are kept in order, and window timers generate WM_TIMER when nothing else waits.
// GetMessageW blocks in poll() on the X connection until an event or the next timer deadline.
#include "host/x11/layer.h"

#include <poll.h>

#include <X11/keysym.h>

#include <algorithm>
#include <cerrno>

namespace {

// The platform never runs a window timer faster than this.
constexpr UINT kMinimumTimerMs = 10;

void Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Layer().posted.push_back(MSG{hwnd, message, wParam, lParam, 0, {0, 0}});
}

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

void TranslateEvent(XEvent* event) {
    WindowX11* window = FindWindowByHandleX11(event->xany.window);
    if (window == nullptr) {
        return;
    }
    const AtomsX11& atoms = Layer().atoms;
    switch (event->type) {
    case ConfigureNotify:
        window->width = event->xconfigure.width;
        window->height = event->xconfigure.height;
        break;
    case ClientMessage:
        if (event->xclient.message_type == atoms.wmProtocols &&
            static_cast<Atom>(event->xclient.data.l[0]) == atoms.wmDeleteWindow) {
            Post(window, WM_CLOSE, 0, 0);
        }
        break;
    case KeyPress:
    case KeyRelease:
        if (WPARAM key = VirtualKeyOf(&event->xkey)) {
            Post(window, event->type == KeyPress ? WM_KEYDOWN : WM_KEYUP, key, 0);
        }
        break;
    case ButtonPress:
    case ButtonRelease:
        if (event->xbutton.button == Button1) {
            Post(window, event->type == ButtonPress ? WM_LBUTTONDOWN : WM_LBUTTONUP, 0,
                 MAKELPARAM(event->xbutton.x, event->xbutton.y));
        }
        break;
    default:
        break;
    }
}

// Takes every event the X connection holds, then tells each shown window whose client size has
// changed its new size once, however many configure events a resize produced. Like the
// platform's size message, it is sent to the dialog procedure directly, not queued.
void PumpEvents() {
    LayerX11& layer = Layer();
    if (layer.display == nullptr) {
        return;
    }
    while (XPending(layer.display) > 0) {
        XEvent event;
        XNextEvent(layer.display, &event);
        TranslateEvent(&event);
    }
    for (size_t i = 0; i < layer.windows.size(); ++i) {
        WindowX11* window = layer.windows[i];
        if (!window->shown ||
            (window->width == window->reportedWidth && window->height == window->reportedHeight)) {
            continue;
        }
        window->reportedWidth = window->width;
        window->reportedHeight = window->height;
        if (window->proc != nullptr) {
            window->proc(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(window->width, window->height));
        }
    }
}

// The timer that is due soonest, or null.
TimerX11* EarliestTimer() {
    std::vector<TimerX11>& timers = Layer().timers;
    auto earliest =
        std::min_element(timers.begin(), timers.end(), [](const TimerX11& a, const TimerX11& b) {
            return a.deadlineNs < b.deadlineNs;
        });
    return earliest == timers.end() ? nullptr : &*earliest;
}

// Waits for an X event or until `deadlineNs` (no deadline when negative). The wait is timed to
// the nanosecond: a timeout in whole milliseconds would let every tick come up to 1 ms late.
void WaitForEvent(std::int64_t deadlineNs) {
    LayerX11& layer = Layer();
    timespec timeout = {};
    timespec* wait = nullptr;
    if (deadlineNs >= 0) {
        std::int64_t remaining = std::max<std::int64_t>(0, deadlineNs - NowNs());
        timeout.tv_sec = static_cast<time_t>(remaining / 1000000000);
        timeout.tv_nsec = static_cast<long>(remaining % 1000000000);
        wait = &timeout;
    }
    if (layer.display == nullptr) {
        ppoll(nullptr, 0, wait, nullptr);
        return;
    }
    XFlush(layer.display);
    if (XPending(layer.display) > 0) {
        return;
    }
    pollfd connection = {ConnectionNumber(layer.display), POLLIN, 0};
    while (ppoll(&connection, 1, wait, nullptr) < 0 && errno == EINTR) {
    }
}

} // namespace

UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC) {
    if (FindWindowX11(hWnd) == nullptr) {
        return 0;
    }
    std::int64_t intervalNs =
        static_cast<std::int64_t>(std::max(uElapse, kMinimumTimerMs)) * 1000000;
    std::vector<TimerX11>& timers = Layer().timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [&](const TimerX11& timer) {
                                    return timer.hwnd == hWnd && timer.id == nIDEvent;
                                }),
                 timers.end());
    timers.push_back(TimerX11{hWnd, nIDEvent, intervalNs, NowNs() + intervalNs});
    return nIDEvent;
}

BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    std::vector<TimerX11>& timers = Layer().timers;
    auto end = std::remove_if(timers.begin(), timers.end(), [&](const TimerX11& timer) {
        return timer.hwnd == hWnd && timer.id == uIDEvent;
    });
    bool found = end != timers.end();
    timers.erase(end, timers.end());
    return found ? TRUE : FALSE;
}

void PostQuitMessage(int nExitCode) {
    Layer().quitPosted = true;
    Layer().quitCode = nExitCode;
}

BOOL GetMessageW(MSG* lpMsg, HWND, UINT, UINT) {
    LayerX11& layer = Layer();
    for (;;) {
        PumpEvents();
        if (!layer.posted.empty()) {
            *lpMsg = layer.posted.front();
            layer.posted.pop_front();
            return TRUE;
        }
        if (layer.quitPosted) {
            layer.quitPosted = false;
            *lpMsg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(layer.quitCode), 0, 0, {0, 0}};
            return FALSE;
        }
        TimerX11* timer = EarliestTimer();
        std::int64_t now = NowNs();
        if (timer != nullptr && timer->deadlineNs <= now) {
            *lpMsg = MSG{timer->hwnd, WM_TIMER, timer->id, 0, 0, {0, 0}};
            // Deadlines stay on the timer's own grid, so the rate does not drift with the time
            // a frame takes; a late timer skips the ticks it missed instead of bursting.
            std::int64_t missed = (now - timer->deadlineNs) / timer->intervalNs;
            timer->deadlineNs += (missed + 1) * timer->intervalNs;
            return TRUE;
        }
        if (timer == nullptr && (layer.display == nullptr || layer.windows.empty())) {
            // Nothing could ever arrive (no timer, and no window for X events to come to):
            // report the failure instead of blocking for good.
            return -1;
        }
        WaitForEvent(timer != nullptr ? timer->deadlineNs : -1);
    }
}

BOOL TranslateMessage(const MSG*) {
    return FALSE;
}

LRESULT DispatchMessageW(const MSG* lpMsg) {
    WindowX11* window = FindWindowX11(lpMsg->hwnd);
    if (window == nullptr || window->proc == nullptr) {
        return 0;
    }
    return window->proc(window, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}
