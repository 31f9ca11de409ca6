// What only the native program on X shows: the template's size in X's pixels and both
// captions, the GLEW error box on a server without GLX, the frame a window manager gives it,
// and a start with no display at all.
#include <X11/Xatom.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/viewer_fixture.h"

namespace {

class X11Viewer : public ViewerRig {
  protected:
    X11Viewer() : ViewerRig(kX11Host) {}

    // True when the viewer answers a window manager's ping within 2 s: its message loop runs.
    // The answer comes back to the root window, where a window manager listens. The startup
    // messages that begin meanwhile are counted in *removes.
    bool AnswersPing(Window window, int* removes = nullptr) {
        Display* display = probe_->display();
        Window root = DefaultRootWindow(display);
        XSelectInput(display, root, PropertyChangeMask | SubstructureNotifyMask);
        probe_->SendClientMessage(
            window, window, "WM_PROTOCOLS",
            {static_cast<long>(probe_->Intern("_NET_WM_PING")), 4321, static_cast<long>(window)});
        const Atom begin = probe_->Intern("_NET_STARTUP_INFO_BEGIN");
        bool answered = false;
        XEvent event;
        return WaitUntil(
            [&] {
                while (!answered && XCheckTypedEvent(display, ClientMessage, &event)) {
                    if (removes != nullptr) {
                        *removes += event.xclient.message_type == begin;
                    }
                    answered = event.xclient.window == root && event.xclient.data.l[1] == 4321 &&
                               static_cast<Window>(event.xclient.data.l[2]) == window;
                }
                return answered;
            },
            2000, 1);
    }
};

// On a server at its default 96 dpi and on a desktop that sets Xft.dpi to 192, where the template
// has twice as many pixels (310 x 177 dialog units with 12 x 26 base units). Also what lets a
// window manager tell that the program has hung and offer to end it: its process, host and
// answer to a ping. And what a panel shows and a launcher waits for: the icon at each size, as
// rendered, and the end of the launch feedback for the startup id the viewer was started with,
// once, even when the window is mapped again. At 192 dpi the id holds a quote and a backslash, and
// its message fills two pieces exactly, so that only the NUL the viewer appends ends it.
class X11ViewerAtDpi : public X11Viewer, public ::testing::WithParamInterface<int> {};

// The icon's rendering at `size` pixels, the PNG the build made the property from, as an image of
// the property.
std::vector<unsigned long> IconRendering(unsigned long size) {
    return IconImage(ReadFile(TAVIK_ICON_PNG_DIR "/" + std::to_string(size) + "x" +
                              std::to_string(size) + "/org.tavik.Tavik.png"));
}

// The _NET_WM_ICON images' sizes as "WxH ...", or what is wrong with the property.
std::string IconSizes(const std::vector<unsigned long>& icon) {
    std::string sizes;
    for (const std::vector<unsigned long>& image : IconImages(icon)) {
        if (image.empty()) {
            return sizes + "then a malformed image";
        }
        if (std::none_of(image.begin() + 2, image.end(),
                         [](unsigned long argb) { return argb >> 24 == 0xFF; })) {
            return sizes + "then an image without an opaque pixel";
        }
        if (image != IconRendering(image[0])) {
            return sizes + "then an image unlike its PNG";
        }
        sizes +=
            (sizes.empty() ? "" : " ") + std::to_string(image[0]) + "x" + std::to_string(image[1]);
    }
    return sizes;
}

// The startup-notification message sent to the root window (with PropertyChangeMask, which the
// display selects there): its pieces joined up to the NUL.
std::string StartupMessage(Display* display, Atom begin, Atom more) {
    std::string message;
    std::size_t end = std::string::npos;
    XEvent event;
    WaitUntil(
        [&] {
            while (end == std::string::npos && XCheckTypedEvent(display, ClientMessage, &event)) {
                Atom type = event.xclient.message_type;
                if (type == begin || (type == more && !message.empty())) {
                    message.append(event.xclient.data.b, sizeof event.xclient.data.b);
                    end = message.find('\0');
                }
            }
            return end != std::string::npos;
        },
        2000, 1);
    return end != std::string::npos ? message.substr(0, end) : message + " (unfinished)";
}

TEST_P(X11ViewerAtDpi, OpensAtTopLeftWithTheTemplateSizeBothCaptionsAndItsProcess) {
    const int dpi = GetParam();
    ASSERT_NO_FATAL_FAILURE(StartServer());
    Display* display = probe_->display();
    if (dpi != 0) {
        std::string resources = "Xft.dpi:\t" + std::to_string(dpi) + "\n";
        XChangeProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, XA_STRING, 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(resources.c_str()),
                        static_cast<int>(resources.size()));
        XSync(display, False);
    }
    // Started as a launcher starts it, with a startup id (one that the message must quote).
    const std::string startupId = dpi == 0 ? "tavik test_TIME42" : R"(tavik "a\b" tests_TIME42)";
    XSelectInput(display, DefaultRootWindow(display), PropertyChangeMask | SubstructureNotifyMask);
    XSync(display, False);
    options_.viewerEnvironment = {{"DESKTOP_STARTUP_ID", startupId},
                                  {"TAVIK_ENVIRONMENT_AT_EXIT", root_ + "/environment"}};
    ASSERT_NO_FATAL_FAILURE(Preload(TAVIK_ENVIRONMENT_AT_EXIT));
    ASSERT_NO_FATAL_FAILURE(Start());
    const Atom begin = probe_->Intern("_NET_STARTUP_INFO_BEGIN");
    EXPECT_EQ(StartupMessage(display, begin, probe_->Intern("_NET_STARTUP_INFO")),
              dpi == 0 ? "remove: ID=\"tavik test_TIME42\""
                       : R"(remove: ID="tavik \"a\\b\" tests_TIME42")");
    EXPECT_EQ(probe_->TextProperty(window_, "_NET_STARTUP_ID"), startupId);
    Atom iconType = None;
    EXPECT_EQ(IconSizes(probe_->LongProperty(window_, "_NET_WM_ICON", &iconType)),
              "16x16 32x32 48x48 64x64");
    EXPECT_EQ(iconType, XA_CARDINAL) << "_NET_WM_ICON is not typed CARDINAL";
    ClientArea area = {};
    ASSERT_TRUE(Geometry(window_, &area));
    EXPECT_EQ(area.x, 0);
    EXPECT_EQ(area.y, 0);
    EXPECT_EQ(area.width, dpi == 192 ? 930 : kTemplateWidth);
    EXPECT_EQ(area.height, dpi == 192 ? 575 : kTemplateHeight);
    EXPECT_EQ(probe_->TextProperty(window_, "WM_NAME"), "Tavik");
    EXPECT_EQ(probe_->TextProperty(window_, "_NET_WM_NAME"), "Tavik");

    Atom pidType = None;
    EXPECT_EQ(probe_->LongProperty(window_, "_NET_WM_PID", &pidType),
              std::vector<unsigned long>{static_cast<unsigned long>(viewer_->pid)});
    EXPECT_EQ(pidType, XA_CARDINAL) << "_NET_WM_PID is not typed CARDINAL";
    std::vector<unsigned long> protocols = probe_->LongProperty(window_, "WM_PROTOCOLS");
    EXPECT_TRUE(std::count(protocols.begin(), protocols.end(), probe_->Intern("_NET_WM_PING")))
        << "WM_PROTOCOLS does not ask for _NET_WM_PING";
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    EXPECT_EQ(probe_->TextProperty(window_, "WM_CLIENT_MACHINE"), host);
    // Unmapped and mapped again, as when iconified and restored; the viewer has handled that by
    // the time it answers the ping that follows.
    XUnmapWindow(display, window_);
    XMapWindow(display, window_);
    int removedAgain = 0;
    EXPECT_TRUE(AnswersPing(window_, &removedAgain)) << "no answer to the window manager's ping";
    EXPECT_EQ(removedAgain, 0) << "the launch was ended again when the window was mapped again";
    CloseAndExpectEndsWithZero(viewer_, window_, "close");
    EXPECT_EQ(ReadFile(root_ + "/environment"),
              "DESKTOP_STARTUP_ID=(unset) XDG_ACTIVATION_TOKEN=(unset)");
}
INSTANTIATE_TEST_SUITE_P(Dpi, X11ViewerAtDpi, ::testing::Values(0, 192),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 0 ? std::string("ServerDefault")
                                                    : "Xft" + std::to_string(info.param);
                         });

// Started from a launcher, the box, the first window to be shown, carries the startup id and ends
// the launch feedback while it is up.
TEST_F(X11Viewer, WithoutGlxItShowsTheGlewErrorThenStillOpensAndCloses) {
    desktop_ = std::make_unique<XvfbDesktop>(std::vector<std::string>{"-extension", "GLX"});
    ViewerOptions options;
    options.viewerEnvironment = {{"DESKTOP_STARTUP_ID", "tavik_TIME7"}};
    ASSERT_NO_FATAL_FAILURE(StartServer(options));
    Display* display = probe_->display();
    XSelectInput(display, DefaultRootWindow(display), PropertyChangeMask | SubstructureNotifyMask);
    XSync(display, False);
    ChildProcess* viewer = StartViewer();
    Window box = probe_->WaitForWindow("Error Glew", 10000);
    ASSERT_NE(box, 0u) << ReadStderr(*viewer);
    EXPECT_EQ(probe_->TextProperty(box, "_NET_STARTUP_ID"), "tavik_TIME7");
    EXPECT_EQ(StartupMessage(display, probe_->Intern("_NET_STARTUP_INFO_BEGIN"),
                             probe_->Intern("_NET_STARTUP_INFO")),
              "remove: ID=tavik_TIME7");
    probe_->SendKey(box, XK_Return);
    Window window = WaitForNewWindow({}, limits_.startMs);
    ASSERT_NE(window, 0u) << ReadStderr(*viewer);
    // The box is modal: in the server's order of events, however slow the viewer, the window is
    // shown only once the box is gone.
    std::string order;
    for (XEvent event; XCheckMaskEvent(display, SubstructureNotifyMask, &event);) {
        order +=
            event.type == DestroyNotify && event.xdestroywindow.window == box ? "box gone, " : "";
        order += event.type == MapNotify && event.xmap.window == window ? "window shown, " : "";
    }
    EXPECT_EQ(order, "box gone, window shown, ");
    EXPECT_FALSE(probe_->Exists(box));
    EXPECT_TRUE(AnswersPing(window)) << "not running on after the box";
    CloseAndExpectEndsWithZero(viewer, window, "close", false);
    EXPECT_NE(ReadStderr(*viewer).find("GLX"), std::string::npos);
}

// The window asks for close, move and resize only (Motif hints). Each window manager's frame
// offers close and resize; xfwm4 and mutter honour the hints and offer neither minimise nor
// maximise, where openbox and KWin deliberately show both anyway. The frame's close, sent as a
// pager does, ends the viewer with 0 and nothing printed.
class ViewerUnderAWindowManager : public ViewerTest {};

TEST_P(ViewerUnderAWindowManager, TheFrameOffersCloseAndItsCloseEndsWithZero) {
    ASSERT_NO_FATAL_FAILURE(Start());
    std::vector<std::string> actions;
    auto has = [&](const char* name) {
        return std::find(actions.begin(), actions.end(), name) != actions.end();
    };
    // Once the window manager has framed the window and said what its frame offers.
    WaitUntil(
        [&] {
            actions.clear();
            for (unsigned long atom : probe_->LongProperty(window_, "_NET_WM_ALLOWED_ACTIONS")) {
                actions.push_back(probe_->AtomName(atom));
            }
            return has("_NET_WM_ACTION_CLOSE") && has("_NET_WM_ACTION_RESIZE");
        },
        limits_.fitMs);
    EXPECT_TRUE(has("_NET_WM_ACTION_CLOSE"));
    EXPECT_TRUE(has("_NET_WM_ACTION_RESIZE"));
    if (desktop_->HonoursMotifFunctions()) {
        EXPECT_FALSE(has("_NET_WM_ACTION_MINIMIZE"));
        EXPECT_FALSE(has("_NET_WM_ACTION_MAXIMIZE_HORZ"));
        EXPECT_FALSE(has("_NET_WM_ACTION_MAXIMIZE_VERT"));
    }
    if (const char* shot = std::getenv("TAVIK_E2E_SCREENSHOT")) {
        SavePng(probe_->Grab(DefaultRootWindow(probe_->display())), shot);
    }

    // The frame's close button asks the window manager to close the window.
    // Source 2: a pager or the frame, on the user's behalf.
    probe_->SendClientMessage(DefaultRootWindow(probe_->display()), window_, "_NET_CLOSE_WINDOW",
                              {0, 2}, SubstructureRedirectMask | SubstructureNotifyMask);
    ExpectEndsWithZeroSilently(viewer_, 2000, "the frame's close");
}
INSTANTIATE_TEST_SUITE_P(Host, ViewerUnderAWindowManager,
                         ::testing::Values(&kOpenboxHost, &kKwinX11Host, &kXfwm4Host,
                                           &kMutterX11Host));

// With no display at all; and with a compositor seemingly there (a socket handed over, which
// cannot be connected to) and libdecor unloadable (an empty file of its name first on the library
// path), which is not even tried before a window needs a frame: only X11's line is printed.
class ViewerWithoutDisplay : public ::testing::TestWithParam<bool> {};

TEST_P(ViewerWithoutDisplay, SaysSoAndEndsWithOneInsteadOfWaitingForever) {
    const bool libdecorHidden = GetParam();
    char hiding[] = "/tmp/tavik-hiding-XXXXXX";
    ASSERT_NE(mkdtemp(hiding), nullptr);
    const std::string hidden = std::string(hiding) + "/libdecor-0.so.0";
    ASSERT_TRUE(WriteTextFile(hidden, ""));
    LaunchSettings settings;
    settings.environment = {{"DISPLAY", ""}};
    settings.unset = {"WAYLAND_DISPLAY", "WAYLAND_SOCKET"};
    if (libdecorHidden) {
        settings.environment.insert(settings.environment.end(),
                                    {{"WAYLAND_SOCKET", "-1"}, {"LD_LIBRARY_PATH", hiding}});
    }
    ChildProcess viewer;
    ASSERT_TRUE(StartProcessWith({NativeBinary()}, "/", settings, &viewer));
    int code = -1;
    ASSERT_TRUE(WaitProcess(&viewer, 5000, &code)) << "the viewer kept running with no display";
    EXPECT_EQ(code, 1);
    const std::string errors = ReadStderr(viewer);
    EXPECT_NE(errors.find("X11: cannot open display"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("libdecor"), std::string::npos) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    std::filesystem::remove_all(hiding);
}
INSTANTIATE_TEST_SUITE_P(Start, ViewerWithoutDisplay, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "LibdecorHidden" : "NothingHidden";
                         });

} // namespace
