// The thread's message queue on Linux: window-system events become window messages, posted
// messages and the quit message are kept in order, and window timers generate WM_TIMER when
// nothing else waits. GetMessageW blocks in the backend's wait (ppoll() on its connection) until
// an event or the next timer deadline.
#include "host/linux/layer.h"

#include <poll.h>

#include <algorithm>

namespace {

// The platform never runs a window timer faster than this.
constexpr UINT kMinimumTimerMs = 10;

// Takes every event the connection holds, then tells each shown window whose client size has
// changed its new size once, however many configure events a resize produced. Like the
// platform's size message, it is sent to the dialog procedure directly, not queued.
void PumpEvents() {
    LayerLinux& layer = LinuxLayer();
    const PlatformLinux* platform = ConnectedPlatform();
    if (platform == nullptr) {
        return;
    }
    platform->pollEvents();
    for (size_t i = 0; i < layer.windows.size(); ++i) {
        WindowLinux* window = layer.windows[i];
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
TimerLinux* EarliestTimer() {
    std::vector<TimerLinux>& timers = LinuxLayer().timers;
    auto earliest = std::min_element(
        timers.begin(), timers.end(),
        [](const TimerLinux& a, const TimerLinux& b) { return a.deadlineNs < b.deadlineNs; });
    return earliest == timers.end() ? nullptr : &*earliest;
}

// Waits for an event or until `deadlineNs` (no deadline when negative).
void WaitForEvent(std::int64_t deadlineNs) {
    if (const PlatformLinux* platform = ConnectedPlatform()) {
        platform->waitEvents(deadlineNs);
    } else {
        timespec timeout;
        ppoll(nullptr, 0, PollTimeout(deadlineNs, &timeout), nullptr);
    }
}

} // namespace

const timespec* PollTimeout(std::int64_t deadlineNs, timespec* storage) {
    if (deadlineNs < 0) {
        return nullptr;
    }
    std::int64_t remaining = std::max<std::int64_t>(0, deadlineNs - NowNs());
    storage->tv_sec = static_cast<time_t>(remaining / 1000000000);
    storage->tv_nsec = static_cast<long>(remaining % 1000000000);
    return storage;
}

UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC) {
    if (FindWindowLinux(hWnd) == nullptr) {
        return 0;
    }
    std::int64_t intervalNs =
        static_cast<std::int64_t>(std::max(uElapse, kMinimumTimerMs)) * 1000000;
    std::vector<TimerLinux>& timers = LinuxLayer().timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [&](const TimerLinux& timer) {
                                    return timer.hwnd == hWnd && timer.id == nIDEvent;
                                }),
                 timers.end());
    timers.push_back(TimerLinux{hWnd, nIDEvent, intervalNs, NowNs() + intervalNs});
    return nIDEvent;
}

BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    std::vector<TimerLinux>& timers = LinuxLayer().timers;
    auto end = std::remove_if(timers.begin(), timers.end(), [&](const TimerLinux& timer) {
        return timer.hwnd == hWnd && timer.id == uIDEvent;
    });
    bool found = end != timers.end();
    timers.erase(end, timers.end());
    return found ? TRUE : FALSE;
}

void PostQuitMessage(int nExitCode) {
    LinuxLayer().quitPosted = true;
    LinuxLayer().quitCode = nExitCode;
}

BOOL GetMessageW(MSG* lpMsg, HWND, UINT, UINT) {
    LayerLinux& layer = LinuxLayer();
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
        TimerLinux* timer = EarliestTimer();
        std::int64_t now = NowNs();
        if (timer != nullptr && timer->deadlineNs <= now) {
            *lpMsg = MSG{timer->hwnd, WM_TIMER, timer->id, 0, 0, {0, 0}};
            // Deadlines stay on the timer's own grid, so the rate does not drift with the time
            // a frame takes; a late timer skips the ticks it missed instead of bursting.
            std::int64_t missed = (now - timer->deadlineNs) / timer->intervalNs;
            timer->deadlineNs += (missed + 1) * timer->intervalNs;
            return TRUE;
        }
        if (timer == nullptr && (ConnectedPlatform() == nullptr || layer.windows.empty())) {
            // Nothing could ever arrive (no timer, and no window for events to come to): report
            // the failure instead of blocking for good.
            return -1;
        }
        WaitForEvent(timer != nullptr ? timer->deadlineNs : -1);
    }
}

BOOL TranslateMessage(const MSG*) {
    return FALSE;
}

LRESULT DispatchMessageW(const MSG* lpMsg) {
    WindowLinux* window = FindWindowLinux(lpMsg->hwnd);
    if (window == nullptr) {
        return 0;
    }
    return DeliverMessageLinux(window, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}
