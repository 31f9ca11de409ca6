// The Linux layer's windows, message queue and timers on a real X display.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "host/platform.h"
#include "host/resource.h"
#include "gl_window.h"
#include "host/x11/layer.h"
#include "wait.h"
#include "x11_probe.h"
#include "x11_seams.h"

namespace {

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Received> received;

INT_PTR RecordingProc(HWND, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    received.push_back({uMsg, wParam, lParam});
    return TRUE;
}

class MessageQueue : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(MissingDisplay(), "");
        received.clear();
        hwnd_ = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(IDD_MAIN), nullptr, RecordingProc, 42);
        ASSERT_NE(hwnd_, nullptr);
    }
    void TearDown() override {
        if (hwnd_ != nullptr) {
            DestroyWindow(hwnd_);
        }
        // Leave no quit request behind for the next test.
        PostQuitMessage(0);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        }
    }
    // Retrieves and dispatches until the procedure has received `message`, whether it came
    // through the queue or was sent directly; a fast timer keeps retrieval returning.
    bool PumpUntil(UINT message, int limit = 300) {
        SetTimer(hwnd_, 1, 10, nullptr);
        bool seen = false;
        MSG msg;
        for (int i = 0; i < limit && !seen && GetMessageW(&msg, nullptr, 0, 0) > 0; ++i) {
            DispatchMessageW(&msg);
            seen = std::any_of(received.begin(), received.end(),
                               [message](const Received& r) { return r.message == message; });
        }
        KillTimer(hwnd_, 1);
        return seen;
    }
    HWND hwnd_ = nullptr;
};

using Clock = std::chrono::steady_clock;

TEST_F(MessageQueue, CreationDeliversInitDialogWithTheParameterAndShowingOneSize) {
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(received[0].lParam, 42);
    ShowWindow(hwnd_, SW_SHOW);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1].message, static_cast<UINT>(WM_SIZE));
    EXPECT_EQ(LOWORD(received[1].lParam), 465);
    EXPECT_EQ(HIWORD(received[1].lParam), 288);
    ShowWindow(hwnd_, SW_SHOW);
    EXPECT_EQ(received.size(), 2u) << "only the first showing sends a size";
}

TEST_F(MessageQueue, QuitEndsRetrievalWithItsCodeAfterPostedMessages) {
    PostQuitMessage(7);
    MSG msg;
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(MessageQueue, TimerMessagesCarryTheirIdentifierAndStopWhenKilled) {
    ASSERT_EQ(SetTimer(hwnd_, 2018, 10, nullptr), 2018u);
    MSG msg;
    ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(msg.hwnd, hwnd_);
    EXPECT_EQ(msg.wParam, 2018u);
    EXPECT_EQ(KillTimer(hwnd_, 2018), TRUE);
    EXPECT_EQ(KillTimer(hwnd_, 2018), FALSE);
    // With the timer gone, the quit request is the next thing retrieved.
    PostQuitMessage(0);
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
}

TEST_F(MessageQueue, ALateTimerYieldsOneMessageNotABurst) {
    SetTimer(hwnd_, 2018, 40, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(250)); // six deadlines missed
    MSG msg;
    ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    auto before = Clock::now();
    ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    // The second message had to wait for the next deadline on the timer's grid.
    EXPECT_GE(Clock::now() - before, std::chrono::milliseconds(5));
}

TEST_F(MessageQueue, TimerDeadlinesStayOnTheGridOfTheirStart) {
    constexpr std::int64_t ms = 1000000;
    fakeNowNs = 1000 * ms;
    SetTimer(hwnd_, 2018, 40, nullptr);
    ASSERT_EQ(LinuxLayer().timers.size(), 1u);
    const TimerLinux& timer = LinuxLayer().timers[0];
    EXPECT_EQ(timer.intervalNs, 40 * ms);
    EXPECT_EQ(timer.deadlineNs, 1040 * ms);
    MSG msg;
    // A tick taken 7 ms late, then one taken after six missed deadlines: the next deadline is
    // the next point of the grid each time, not "now + 40 ms".
    for (std::int64_t now : {1047, 1250}) {
        fakeNowNs = now * ms;
        ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
        EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
        EXPECT_EQ(timer.deadlineNs, (now / 40 + 1) * 40 * ms);
    }
    fakeNowNs = -1;
}

TEST_F(MessageQueue, DestroyDeliversDestroyBeforeReturningAndDropsTheWindowsTimers) {
    SetTimer(hwnd_, 2018, 10, nullptr);
    received.clear();
    EXPECT_EQ(DestroyWindow(hwnd_), TRUE);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, static_cast<UINT>(WM_DESTROY));
    EXPECT_EQ(KillTimer(hwnd_, 2018), FALSE);
    EXPECT_EQ(DestroyWindow(hwnd_), FALSE);
    EXPECT_EQ(GetDC(hwnd_), nullptr);
    hwnd_ = nullptr;
}

TEST_F(MessageQueue, ResizesBecomeSizeMessagesAndTheWindowManagersCloseBecomesClose) {
    ShowWindow(hwnd_, SW_SHOW);
    X11Probe probe(std::getenv("DISPLAY"));
    // This window itself: other tests on the same display show windows captioned "Tavik" too.
    Window window = static_cast<WindowX11*>(hwnd_)->handle;
    ASSERT_TRUE(probe.Exists(window));
    received.clear();
    probe.Resize(window, 300, 200);
    ASSERT_TRUE(PumpUntil(WM_SIZE));
    LPARAM lastSize = 0;
    for (const Received& r : received) {
        lastSize = r.message == WM_SIZE ? r.lParam : lastSize;
    }
    EXPECT_EQ(LOWORD(lastSize), 300);
    EXPECT_EQ(HIWORD(lastSize), 200);
    // A move is not a size change.
    XMoveWindow(probe.display(), window, 10, 10);
    probe.SendClose(window);
    received.clear();
    ASSERT_TRUE(PumpUntil(WM_CLOSE));
    for (const Received& r : received) {
        EXPECT_NE(r.message, static_cast<UINT>(WM_SIZE));
    }
}

// Started by a launcher: the window carries the startup id (as UTF8_STRING) before it is mapped,
// where a window manager reads it, and once mapped ends the launch from a window of the message's
// own, which then goes.
TEST_F(MessageQueue, ShowingCarriesTheStartupIdThenEndsTheLaunchFromAWindowOfItsOwn) {
    X11Probe probe(std::getenv("DISPLAY"));
    Display* display = probe.display();
    Window window = static_cast<WindowX11*>(hwnd_)->handle, root = DefaultRootWindow(display);
    XSelectInput(display, window, PropertyChangeMask);
    XSelectInput(display, root, PropertyChangeMask | SubstructureNotifyMask);
    XSync(display, False);
    LinuxLayer().startupId = "tavik_TIME5";
    Layer().startupWindow = 0; // unclaimed, as in a process that has just started
    ShowWindow(hwnd_, SW_SHOW);
    std::string order;
    Window sender = 0;
    for (int i = 0; i < 100 && order.find("gone") == std::string::npos; ++i) {
        received.clear();
        PumpUntil(WM_TIMER);
        for (XEvent event; XPending(display) > 0;) {
            XNextEvent(display, &event);
            if (event.type == PropertyNotify && event.xproperty.window == window &&
                event.xproperty.atom == probe.Intern("_NET_STARTUP_ID")) {
                order += "id ";
            } else if (event.type == MapNotify && event.xmap.window == window) {
                order += "map ";
            } else if (event.type == ClientMessage &&
                       event.xclient.message_type == probe.Intern("_NET_STARTUP_INFO_BEGIN")) {
                sender = event.xclient.window;
                order += sender == window ? "remove from the window " : "remove ";
            } else if (event.type == DestroyNotify && event.xdestroywindow.window == sender) {
                order += "gone";
            }
        }
    }
    EXPECT_EQ(order, "id map remove gone");
    Atom type = None;
    probe.LongProperty(window, "_NET_STARTUP_ID", &type);
    EXPECT_EQ(probe.AtomName(type), "UTF8_STRING");
}

// A held key, typed on the server's own keyboard, repeats as key-down messages alone, as on
// Windows, not as up-down pairs.
TEST_F(MessageQueue, AHeldKeyRepeatsAsKeyDownsAlone) {
    ShowWindow(hwnd_, SW_SHOW);
    Window window = static_cast<WindowX11*>(hwnd_)->handle;
    X11Probe probe(std::getenv("DISPLAY"));
    Display* display = probe.display();
    ASSERT_TRUE(WaitUntil([&] { return probe.IsShown(window); }, 1000, 5)) << "never shown";
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    unsigned delay = 0, interval = 0;
    ASSERT_TRUE(XkbGetAutoRepeatRate(display, XkbUseCoreKbd, &delay, &interval));
    KeyCode space = XKeysymToKeycode(display, XK_space);
    XTestFakeKeyEvent(display, space, True, CurrentTime);
    XFlush(display);
    auto release =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(delay + 5 * interval);
    received.clear();
    SetTimer(hwnd_, 1, 10, nullptr);
    MSG msg;
    while (std::chrono::steady_clock::now() < release && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageW(&msg);
    }
    XTestFakeKeyEvent(display, space, False, CurrentTime);
    XFlush(display);
    ASSERT_TRUE(PumpUntil(WM_KEYUP));
    std::string keys;
    for (const Received& r : received) {
        if ((r.message == WM_KEYDOWN || r.message == WM_KEYUP) && r.wParam == 0x20) {
            keys += r.message == WM_KEYDOWN ? 'D' : 'U';
        }
    }
    EXPECT_GE(keys.size(), 3u) << "no repeat within " << delay + 5 * interval << " ms: " << keys;
    EXPECT_EQ(keys, std::string(keys.size() - 1, 'D') + "U");
}

} // namespace
