// The real viewer on Wayland only: its toplevel as sway and gnome-shell report it, the output's
// real resolution on a scaled output, no usable OpenGL, libdecor's own frame under weston and
// gnome-shell (or none, without a usable libdecor), and the compositor going away. Each test
// starts its own headless compositor, with no X server.
#include <linux/input-event-codes.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/protocol_log.h"
#include "support/viewer_fixture.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = kTemplateWidth, kHeight = kTemplateHeight;

// Columns of the Y axis on the row a quarter of the way down, above the box: one where the
// picture is drawn at the grab's resolution, two side by side where it was drawn at half of it
// and scaled up.
int AxisWidth(const RgbImage& image) {
    if (image.width < 9) {
        return 0;
    }
    int width = 0;
    for (int x = image.width / 2 - 4; x <= image.width / 2 + 4; ++x) {
        width += IsGreenDominant(image.At(x, image.height / 4));
    }
    return width;
}

// Separate pieces of what is drawn on the background (8-connected). The axes run into the box,
// so a picture drawn at the output's scale is one piece; drawn at a finer scale and shrunk to the
// output, its thin lines break into dots.
int DrawnPieces(const RgbImage& image) {
    std::vector<bool> seen(static_cast<size_t>(image.width) * image.height);
    int pieces = 0;
    for (int start = 0; start < image.width * image.height; ++start) {
        if (seen[start] || IsBackground(image.At(start % image.width, start / image.width))) {
            continue;
        }
        ++pieces;
        std::vector<int> todo = {start};
        seen[start] = true;
        while (!todo.empty()) {
            int x0 = todo.back() % image.width, y0 = todo.back() / image.width;
            todo.pop_back();
            for (int y = std::max(0, y0 - 1); y <= std::min(image.height - 1, y0 + 1); ++y) {
                for (int x = std::max(0, x0 - 1); x <= std::min(image.width - 1, x0 + 1); ++x) {
                    int at = y * image.width + x;
                    if (!seen[at] && !IsBackground(image.At(x, y))) {
                        seen[at] = true;
                        todo.push_back(at);
                    }
                }
            }
        }
    }
    return pieces;
}

// The first match of the pattern's group in the log: an object's number.
std::string LogObject(const std::string& log, const std::string& pattern) {
    std::vector<LogMatch> matches = MatchLog(log, pattern);
    return matches.empty() ? "none" : matches[0].groups[1];
}

// The image on wl_surface `surface` as of line `line` of the log: "scale S, W x H", its buffer
// scale and the size its buffer was made with.
std::string SurfaceImage(const std::string& log, const std::string& surface, std::size_t line) {
    LogMatch attach =
        LastMatch(log, "wl_surface@" + surface + R"(\.attach\(wl_buffer@(\d+))", line + 1);
    std::vector<std::string> size = LastMatch(log,
                                              R"(create_buffer\(new id wl_buffer@)" +
                                                  attach.groups[1] + R"(, \d+, (\d+), (\d+),)",
                                              attach.line)
                                        .groups;
    std::string scale =
        LastMatch(log, "wl_surface@" + surface + R"(\.set_buffer_scale\((\d+)\))", line).groups[1];
    return "scale " + (scale == "none" ? "1" : scale) + ", " + size[1] + " x " + size[2];
}

// The image of the last wl_pointer.set_cursor in the log, with its hotspot.
std::string CursorImage(const std::string& log) {
    LogMatch set = LastMatch(log, R"(set_cursor\(\d+, wl_surface@(\d+), (-?\d+), (-?\d+)\))");
    return SurfaceImage(log, set.groups[1], set.line) + ", hotspot " + set.groups[2] + ", " +
           set.groups[3];
}

// Whether the program's own pointer (of the seat bound through the first registry, not
// libdecor's) was released since it was last got.
bool PointerReleased(const std::string& log) {
    std::string registry = LogObject(log, R"(get_registry\(new id wl_registry@(\d+)\))");
    std::string seat =
        LogObject(log, "wl_registry@" + registry +
                           R"(\.bind\(\d+, "wl_seat", \d+, new id \[unknown\]@(\d+))");
    LogMatch got = LastMatch(log, "wl_seat@" + seat + R"(\.get_pointer\(new id wl_pointer@(\d+))");
    LogMatch released = LastMatch(log, "wl_pointer@" + got.groups[1] + R"(\.release\(\))");
    return !released.groups[0].empty() && released.line > got.line;
}

// A cursor theme of the test's own under `dir`/icons, "tavik-test", unlike any installed one: its
// arrow is 44 x 44 pixels at size 48 and 60 x 60 at size 64, with the hotspot at (4, 8) and
// (6, 10) of the image (the Xcursor file format: a table of images, then each image in ARGB).
void WriteCursorTheme(const std::string& dir) {
    fs::create_directories(dir + "/icons/tavik-test/cursors");
    std::vector<uint32_t> file = {0x72756358u, 16u, 0x10000u, 2u}, images;
    for (uint32_t size : {48u, 64u}) {
        const uint32_t side = size - 4, hotspot = size / 8 - 2, kImage = 0xfffd0002;
        file.insert(file.end(), {kImage, size, static_cast<uint32_t>(40 + 4 * images.size())});
        images.insert(images.end(), {36u, kImage, size, 1u, side, side, hotspot, hotspot + 4, 0u});
        images.insert(images.end(), side * side, 0xff000000);
    }
    file.insert(file.end(), images.begin(), images.end());
    std::ofstream(dir + "/icons/tavik-test/cursors/left_ptr", std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), 4 * file.size());
}

// Connections the compositor has taken on its socket: /proc/net/unix names each with the
// socket's path, beside the listening socket itself.
int CompositorClients(const WaylandSession& session) {
    const std::string path = " " + session.runtimeDir + "/" + session.socket;
    std::ifstream table("/proc/net/unix");
    int count = -1;
    for (std::string line; std::getline(table, line);) {
        count += line.size() > path.size() &&
                 line.compare(line.size() - path.size(), path.size(), path) == 0;
    }
    return count;
}

class WaylandViewer : public ViewerRig {
  protected:
    using ViewerRig::ViewerRig;

    // The client area keeps its logical size, and its picture fits `scale` times as many pixels
    // each way, with lines one of them wide, unbroken; a picture still drawn at another scale gets
    // the fit time to change.
    void ExpectTemplateSizeDrawnAtScale(Window window, int scale) {
        RgbImage picture;
        WaitUntil(
            [&] {
                picture = Grab(window);
                return PictureMisfit(picture, scale * kWidth, scale * kHeight) == "" &&
                       AxisWidth(picture) == 1 && DrawnPieces(picture) <= 3;
            },
            limits_.fitMs);
        ClientArea area = {};
        ASSERT_TRUE(Geometry(window, &area));
        EXPECT_EQ(area.width, kWidth);
        EXPECT_EQ(area.height, kHeight);
        EXPECT_EQ(PictureMisfit(picture, scale * kWidth, scale * kHeight), "");
        EXPECT_EQ(AxisWidth(picture), 1) << "not drawn at the output's resolution";
        // Unbroken in every frame, not just in one at an angle that hides it.
        for (int grab = 0; grab < 5 && !HasFailure(); ++grab) {
            EXPECT_LE(DrawnPieces(picture), 3) << "drawn at a finer scale and shrunk to the output";
            RgbImage before = picture;
            EXPECT_TRUE(
                WaitUntil([&] { return CountDifferingPixels(before, picture = Grab(window)) > 0; },
                          limits_.fitMs))
                << "no new frame after grab " << grab;
        }
    }
};

class SwayViewer : public HostRig<SwayDesktop, WaylandViewer> {
  protected:
    SwayViewer() : HostRig(kSwayHost) {}

    // A viewer without OpenGL, started with an activation token: GLEW's error box, modal and
    // activated with the token, dismissed with `key`, then the window, black at the output's
    // `scale`, which closes.
    void ExpectGlewErrorThenABlackWindowThatCloses(ChildProcess* viewer, int scale = 1,
                                                   const char* key = "Return") {
        std::vector<Window> boxes;
        WaitUntil([&] { return !(boxes = FindWindows("Error Glew")).empty(); }, limits_.startMs);
        ASSERT_EQ(boxes.size(), 1u) << ReadStderr(*viewer);
        // NOTE: sway offers its seat a keyboard only while a virtual one exists, and a client
        // binds its own only when told so: a key typed on a keyboard that has just appeared is
        // lost unless the viewer was quick. One wtype sleeps through the case (ended with the
        // viewers) to keep a keyboard there; keys are typed once the viewer's has entered the box.
        viewers_.push_back(std::make_unique<ChildProcess>());
        ASSERT_TRUE(StartProcessWith({"wtype", "-s", "600000"}, "/", desktop_->ProgramSettings(),
                                     viewers_.back().get()));
        ASSERT_TRUE(WaitUntil(
            [&] { return !MatchLog(ReadStderr(*viewer), R"(wl_keyboard@\d+\.enter\()").empty(); },
            limits_.startMs, 10))
            << "the viewer's keyboard never entered the box";
        // Keys count by the keymap's symbols: x, which wtype puts at Escape's code, leaves the
        // box; Return or Escape dismisses it. The log shows when the x has been dispatched.
        const std::string pressed = R"(wl_keyboard@\d+\.key\(\d+, \d+, \d+, 1\))";
        ASSERT_TRUE(desktop().PressKey("x")) << "wtype could not type on the compositor";
        WaitUntil([&] { return !MatchLog(ReadStderr(*viewer), pressed).empty(); }, limits_.startMs,
                  10);
        ASSERT_TRUE(desktop().PressKey(key)) << "wtype could not type on the compositor";
        Window window = WaitForNewWindow({}, limits_.startMs);
        ASSERT_NE(window, 0u) << ReadStderr(*viewer);
        EXPECT_FALSE(desktop_->Exists(boxes[0]));
        // Closed by the second key, not the first; its frame torn down in the protocol's order.
        const std::string log = ReadStderr(*viewer);
        std::vector<LogMatch> keys = MatchLog(log, pressed);
        std::string toplevel = LogObject(log, R"(xdg_toplevel@(\d+)\.set_title\("Error Glew"\))");
        std::string decoration = LogObject(
            log,
            R"(get_toplevel_decoration\(new id zxdg_toplevel_decoration_v1@(\d+), xdg_toplevel@)" +
                toplevel);
        std::vector<LogMatch> toplevelGone =
            MatchLog(log, "xdg_toplevel@" + toplevel + R"(\.destroy\()");
        std::vector<LogMatch> decorationGone =
            MatchLog(log, "zxdg_toplevel_decoration_v1@" + decoration + R"(\.destroy\()");
        std::string xdgSurface = LogObject(
            log, R"(xdg_surface@(\d+)\.get_toplevel\(new id xdg_toplevel@)" + toplevel + "\\)");
        EXPECT_EQ(MatchLog(log, "xdg_surface@" + xdgSurface + R"(\.ack_configure\()").size(),
                  MatchLog(log, "xdg_surface@" + xdgSurface + R"(\.configure\()").size())
            << "a configure of the box was never acknowledged";
        ASSERT_EQ(keys.size(), 2u) << ReadStderr(*viewer);
        std::string surface = LogObject(log, R"(get_xdg_surface\(new id xdg_surface@)" +
                                                 xdgSurface + R"(, wl_surface@(\d+))");
        std::vector<LogMatch> activated =
            MatchLog(log, R"(xdg_activation_v1@\d+\.activate\("tavik-launch-3", wl_surface@)" +
                              surface + R"(\))");
        EXPECT_EQ(MatchLog(log, R"(\.activate\()").size(), 1u) << "one token, one activation";
        EXPECT_TRUE(activated.size() == 1 && activated[0].line < keys[0].line)
            << "the box (surface " << surface << ") was not activated while it was up";
        ASSERT_FALSE(toplevelGone.empty()) << "box toplevel " << toplevel << " never destroyed";
        EXPECT_GT(toplevelGone[0].line, keys[1].line) << "the box went with the x";
        // The box is modal: in the protocol's order, however slow the viewer, the window's
        // surface gets its first buffer only once the box is gone.
        std::string main = LogObject(log, R"(xdg_toplevel@(\d+)\.set_title\("Tavik"\))");
        main = LogObject(log,
                         R"(xdg_surface@(\d+)\.get_toplevel\(new id xdg_toplevel@)" + main + "\\)");
        main = LogObject(log, R"(get_xdg_surface\(new id xdg_surface@)" + main +
                                  R"(, wl_surface@(\d+))");
        std::vector<LogMatch> shown =
            MatchLog(log, "wl_surface@" + main + R"(\.attach\(wl_buffer)");
        EXPECT_TRUE(!shown.empty() && shown[0].line > toplevelGone[0].line)
            << "the window (surface " << main << ") was shown while the box was up";
        EXPECT_TRUE(!decorationGone.empty() && decorationGone[0].line < toplevelGone[0].line)
            << "the box's decoration " << decoration << " outlived its toplevel " << toplevel;
        RgbImage picture;
        WaitUntil([&] { return (picture = Grab(window)).width == scale * kWidth; }, limits_.fitMs);
        EXPECT_TRUE(IsRunning(*viewer));
        EXPECT_EQ(picture.width, scale * kWidth) << "the black buffer is not at the output's scale";
        EXPECT_TRUE(std::all_of(picture.pixels.begin(), picture.pixels.end(), [](unsigned char c) {
            return c == 0;
        })) << "not black";
        CloseAndExpectEndsWithZero(viewer, window, "close", false);
        EXPECT_NE(ReadStderr(*viewer).find("EGL"), std::string::npos) << ReadStderr(*viewer);
    }
};

// On the hosts of this test program, all of which report a toplevel's application id and can
// scale their output. Under gnome-shell, which draws no frames, libdecor frames the window and
// passes on the shell's close.
class WaylandToplevel : public WaylandViewer,
                        public ::testing::WithParamInterface<const ViewerHost*> {
  protected:
    WaylandToplevel() : WaylandViewer(*GetParam()) {}
};

// Without a usable cursor library: the pointer (which the test moves under gnome-shell) only
// keeps its image when it enters, with one line that says so. NOTE: libdecor's frame plugin needs
// that library too, so under gnome-shell the window is unframed here; the close button's case
// checks libdecor's frame.
TEST_P(WaylandToplevel, IsATavikToplevelOfTheTemplateSizeInOneOutputPixelPerUnit) {
    ViewerOptions options;
    options.unusableLibraries = {"libwayland-cursor.so.0"};
    ASSERT_NO_FATAL_FAILURE(Start(options));
    EXPECT_EQ(desktop_->AppId(window_), "org.tavik.Tavik");
    const std::string line = "Wayland: cannot load libwayland-cursor.so.0";
    const bool pointer = desktop_->PointAt(window_);
    if (pointer) {
        EXPECT_TRUE(WaitUntil([&] { return ReadStderr(*viewer_).find(line) != std::string::npos; },
                              limits_.startMs, 100))
            << ReadStderr(*viewer_);
    }
    ExpectTemplateSizeDrawnAtScale(window_, 1);
    CloseAndExpectEndsWithZero(viewer_, window_, "close", !pointer);
}

// Under sway's own frame, closed while its workspace is hidden; then with the frame left to the
// client (border csd, which sway tells the window once it is shown): libdecor's title bar above
// the same client area.
TEST_F(SwayViewer, ClosesWhileHiddenAndIsFramedByLibdecorWhenToldClientSide) {
    for (bool clientSide : {false, true}) {
        SCOPED_TRACE(clientSide ? "frame left to the client" : "sway's frame");
        if (clientSide) {
            ASSERT_TRUE(desktop().Run("for_window [app_id=\"org.tavik.Tavik\"] border csd"));
        }
        ASSERT_NO_FATAL_FAILURE(Start());
        if (clientSide) {
            // libdecor's toplevel is a new one for sway, once sway has told it client side.
            WaitUntil(
                [&] { return !desktop().Exists(window_) && FindWindows("Tavik").size() == 1; },
                limits_.startMs);
            std::vector<Window> windows = FindWindows("Tavik");
            ASSERT_EQ(windows.size(), 1u);
            window_ = windows[0];
        }
        EXPECT_EQ(desktop().AppId(window_), "org.tavik.Tavik");
        if (clientSide) {
            ClientArea area = {};
            int titleBar = 0;
            std::string misfit;
            WaitUntil(
                [&] {
                    titleBar = desktop().Geometry(window_, &area) ? area.height - kHeight : 0;
                    misfit = PictureMisfit(Crop(Grab(window_), {0, titleBar, kWidth, kHeight}),
                                           kWidth, kHeight);
                    return titleBar > 10 && misfit.empty();
                },
                limits_.fitMs);
            EXPECT_GT(titleBar, 10) << "no frame above the client area";
            EXPECT_EQ(misfit, "");
        } else {
            ExpectTemplateSizeDrawnAtScale(window_, 1);
            // Hidden, the window gets no frame callbacks: its swaps must not wait for them.
            // It keeps drawing while hidden: some of its CPU time goes by before the close.
            double cpu = ProcessCpuSeconds(*viewer_);
            ASSERT_TRUE(desktop().Run("workspace 2"));
            EXPECT_TRUE(
                WaitUntil([&] { return ProcessCpuSeconds(*viewer_) >= cpu + 0.05; }, limits_.fitMs))
                << "not drawing while hidden";
        }
        CloseAndExpectEndsWithZero(viewer_, window_, clientSide ? "close" : "close when hidden");
    }
}

// sway draws the frame itself: libdecor is not even loaded, so one that cannot be changes nothing.
TEST_F(SwayViewer, WithoutUsableLibdecorItIsFramedAndDrawnAsUsual) {
    ViewerOptions options;
    options.unusableLibraries = {"libdecor-0.so.0"};
    ASSERT_NO_FATAL_FAILURE(Start(options));
    ExpectTemplateSizeDrawnAtScale(window_, 1);
    CloseAndExpectEndsWithZero(viewer_, window_, "close");
}

// Under gnome-shell, whose pointer the test moves, as the viewer's protocol log shows: its first
// picture is already at the output's scale, the pointer over the client area is the arrow of the
// user's theme and size at that scale, its hotspot in logical pixels, and a pointer that goes is
// released.
TEST_P(WaylandToplevel, OnADoubleScaleOutputItDrawsWithTheOutputsPixels) {
    if (!desktop_->StartAtScale(2)) {
        GTEST_SKIP() << host_.name << " cannot start its output at twice its scale";
    }
    ASSERT_NO_FATAL_FAILURE(StartServer());
    WriteCursorTheme(root_);
    // Started by a launcher with an activation token, which it hands on for its surface once shown.
    options_.viewerEnvironment = {{"WAYLAND_DEBUG", "client"},
                                  {"XDG_ACTIVATION_TOKEN", "tavik-launch-7"},
                                  {"XCURSOR_PATH", root_ + "/icons"},
                                  {"XCURSOR_THEME", "tavik-test"},
                                  {"XCURSOR_SIZE", "32"},
                                  {"TAVIK_ENVIRONMENT_AT_EXIT", root_ + "/bin/environment"}};
    ASSERT_NO_FATAL_FAILURE(Preload(TAVIK_ENVIRONMENT_AT_EXIT));
    ASSERT_NO_FATAL_FAILURE(Start());
    ExpectTemplateSizeDrawnAtScale(window_, 2);
    std::string log = ReadStderr(*viewer_);
    std::string surface =
        LogObject(log, R"(get_xdg_surface\(new id xdg_surface@\d+, wl_surface@(\d+))");
    std::vector<LogMatch> activated =
        MatchLog(log, R"(xdg_activation_v1@\d+\.activate\("tavik-launch-7", wl_surface@)" +
                          surface + R"(\))");
    std::vector<LogMatch> attached =
        MatchLog(log, "wl_surface@" + surface + R"(\.attach\(wl_buffer)");
    ASSERT_EQ(activated.size(), 1u) << "surface " << surface;
    EXPECT_GT(activated[0].line, attached.at(0).line) << "activated before it was shown";
    if (desktop_->PointAt(window_)) {
        EXPECT_EQ(SurfaceImage(log, surface, attached.at(0).line), "scale 2, 930 x 576")
            << "the first picture is not at the output's scale and size";
        // 32 pixels at scale 2: the theme's 64-pixel arrow, its hotspot halved.
        WaitUntil([&] { return ReadStderr(*viewer_).find("set_cursor(") != std::string::npos; },
                  limits_.startMs, 100);
        EXPECT_EQ(CursorImage(ReadStderr(*viewer_)), "scale 2, 60 x 60, hotspot 3, 5");
        ASSERT_TRUE(desktop_->RemovePointer());
        // The seat's event that takes the pointer away, then a frame: by then it is released.
        WaitUntil(
            [&] {
                log = ReadStderr(*viewer_);
                size_t gone = log.rfind("capabilities(");
                return gone != std::string::npos && (std::stoi(log.substr(gone + 13)) & 1) == 0 &&
                       log.find("commit()", gone) != std::string::npos;
            },
            limits_.startMs, 100);
        EXPECT_TRUE(PointerReleased(log)) << "the pointer is not released";
    }
    CloseAndExpectEndsWithZero(viewer_, window_, "close", false);
    EXPECT_EQ(ReadFile(root_ + "/bin/environment"),
              "DESKTOP_STARTUP_ID=(unset) XDG_ACTIVATION_TOKEN=(unset)");
}

TAVIK_VIEWER_TESTS_ON_EVERY_HOST(WaylandToplevel);

// Once settled on its output (entered), the window follows that output's scale; then an output
// of another scale that it moves to, across the edge onto both, then off the 2x one; then the
// 2x output is unplugged while the window is on both. sway runs nested, each output a window of
// the sway it runs in, so that closing that window unplugs the output.
TEST_F(SwayViewer, WhenTheOutputScaleChangesItDrawsWithTheNewPixels) {
    desktop().Nest();
    ASSERT_NO_FATAL_FAILURE(Start());
    ExpectTemplateSizeDrawnAtScale(window_, 1);
    ASSERT_TRUE(desktop().SetScale(2));
    // A floating window keeps its logical position, which the halved output may no longer show.
    desktop().Move(window_, 0, 0);
    ExpectTemplateSizeDrawnAtScale(window_, 2);

    // A 1x output right of the first, which is 640 logical pixels wide now (and placed, so that
    // it stays where it is when the second comes).
    ASSERT_TRUE(desktop().Run("output WL-1 position 0 0"));
    ASSERT_TRUE(desktop().Run("create_output"));
    ASSERT_TRUE(desktop().Run("output WL-2 position 640 0 scale 1"));
    ASSERT_TRUE(desktop().Command(window_, "move absolute position 400 0"));
    EXPECT_TRUE(WaitForNewPicture(window_, Grab(window_))) << "no frame drawn across the edge";
    ASSERT_TRUE(desktop().Command(window_, "move absolute position 700 0"));
    ExpectTemplateSizeDrawnAtScale(window_, 1);

    // Back across the edge it enters the 2x output, where it is then drawn at 2x.
    ASSERT_TRUE(desktop().Command(window_, "move absolute position 400 0"));
    EXPECT_EQ(Eventually([&] { return AxisWidth(Grab(window_)); }, 1, limits_.fitMs), 1)
        << "not drawn at 2x on entering the 2x output";
    ASSERT_TRUE(desktop().Outer()->Run("[title=\"wlroots - WL-1\"] kill"));
    ExpectTemplateSizeDrawnAtScale(window_, 1);
    CloseAndExpectEndsWithZero(viewer_, window_, "close");
}

// No EGL vendor: the viewer has no OpenGL at all, while the compositor (pixman) is unaffected.
// There is no X display to fall back to, whether DISPLAY is unset or empty (and the box dismissed
// with Escape).
TEST_F(SwayViewer, WithoutUsableOpenGlItShowsTheGlewErrorThenStillOpensAndCloses) {
    ViewerOptions options;
    options.viewerEnvironment = {{"__EGL_VENDOR_LIBRARY_FILENAMES", "/nonexistent.json"},
                                 {"WAYLAND_DEBUG", "client"},
                                 {"XDG_ACTIVATION_TOKEN", "tavik-launch-3"}};
    ASSERT_NO_FATAL_FAILURE(StartServer(options));
    ExpectGlewErrorThenABlackWindowThatCloses(StartViewer());
    SCOPED_TRACE("DISPLAY set but empty");
    options_.viewerEnvironment.push_back({"DISPLAY", ""});
    ExpectGlewErrorThenABlackWindowThatCloses(StartViewer(), 1, "Escape");
}

// EGL offers configurations, so the pixel format is set, but it makes no context (a preloaded
// eglCreateContext that fails): the same, although the window has an OpenGL surface; on a 2x
// output, with the box's frame left to the client.
TEST_F(SwayViewer, WithoutAnOpenGlContextItShowsTheGlewErrorThenStillOpensAndCloses) {
    ASSERT_TRUE(desktop().StartAtScale(2));
    ASSERT_NO_FATAL_FAILURE(StartServer());
    ASSERT_NO_FATAL_FAILURE(Preload(TAVIK_NO_EGL_CONTEXT));
    options_.viewerEnvironment.push_back({"WAYLAND_DEBUG", "client"});
    options_.viewerEnvironment.push_back({"XDG_ACTIVATION_TOKEN", "tavik-launch-3"});
    // The box told "client side" once it is shown keeps its own toplevel.
    ASSERT_TRUE(desktop().Run("for_window [title=\"Error Glew\"] border csd"));
    ExpectGlewErrorThenABlackWindowThatCloses(StartViewer(), 2);
}

// No EGL for the compositor, but an X server beside it (as Xwayland would be): the viewer says
// why in one line and opens on X11, where GLX draws, before any window is made on Wayland.
TEST_F(SwayViewer, WithoutUsableEglButAnXDisplayItOpensOnX11Instead) {
    std::string error;
    ASSERT_TRUE(StartXvfb(&server_, {}, &error)) << error;
    ViewerOptions options;
    options.viewerEnvironment = {{"__EGL_VENDOR_LIBRARY_FILENAMES", "/nonexistent.json"},
                                 {"DISPLAY", server_.display}};
    ASSERT_NO_FATAL_FAILURE(StartServer(options));
    ChildProcess* viewer = StartViewer();
    X11Probe x11(server_.display);
    Window window = x11.WaitForWindow("Tavik", limits_.startMs);
    ASSERT_NE(window, 0u) << ReadStderr(*viewer);
    EXPECT_TRUE(FindWindows("Tavik").empty()) << "a window on Wayland too";
    WaitUntil([&] { return CompositorClients(desktop().Session()) == 0; }, limits_.startMs, 10);
    EXPECT_EQ(CompositorClients(desktop().Session()), 0)
        << "the connection to the compositor stays open";
    int x = 0, y = 0, width = 0, height = 0;
    std::string misfit;
    WaitUntil(
        [&] {
            return x11.Geometry(window, &x, &y, &width, &height) &&
                   (misfit = PictureMisfit(x11.Grab(window), width, height)).empty();
        },
        limits_.fitMs);
    EXPECT_EQ(misfit, "");
    x11.SendClose(window);
    ExpectEndsWithZeroSilently(viewer, limits_.exitMs, "close", false);
    std::string said = ReadStderr(*viewer);
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_NE(said.find("uses the X display"), std::string::npos) << said;
}

// Both window systems reachable at once (sway, and an Xvfb given as DISPLAY unless the row has
// none): the environment decides which one the window opens on, if any. Over `ssh -X` no
// compositor is named, yet a local desktop's default socket may be there; over plain ssh that
// socket is someone else's desktop; in an X11 session a named compositor is not taken, but one
// that hands its socket over (WAYLAND_SOCKET) is; an empty variable counts as unset. The default
// socket is not taken in a Wayland session whose compositor was unset to ask for X11, and a
// session said to be X11 does not stop a named compositor when there is no X display.
enum class WaylandVariables { kNamed, kUnset, kEmpty, kEmptySocket, kHandedOver };
enum class Opens { kOnX11, kOnWayland, kNowhere };
struct WindowSystemChoice {
    const char* name;
    const char* sessionType;
    bool displaySet;
    WaylandVariables compositor;
    Opens opens;
};

void PrintTo(const WindowSystemChoice& choice, std::ostream* out) {
    *out << choice.name;
}

class BothWindowSystems : public SwayViewer,
                          public ::testing::WithParamInterface<WindowSystemChoice> {};

TEST_P(BothWindowSystems, TheWindowOpensOnTheOneTheEnvironmentNames) {
    const WindowSystemChoice& choice = GetParam();
    XvfbServer xvfb; // ended however the test ends, after the probe's connection to it
    std::string error;
    ASSERT_TRUE(StartXvfb(&xvfb, {}, &error)) << error;
    X11Probe x11(xvfb.display);
    ViewerOptions options;
    options.viewerEnvironment = {{"XDG_SESSION_TYPE", choice.sessionType}};
    if (choice.displaySet) {
        options.viewerEnvironment.emplace_back("DISPLAY", xvfb.display);
    } else {
        options.viewerUnset = {"DISPLAY"};
    }
    if (choice.compositor == WaylandVariables::kEmpty) {
        options.viewerEnvironment.emplace_back("WAYLAND_DISPLAY", "");
    } else if (choice.compositor == WaylandVariables::kEmptySocket) {
        options.viewerEnvironment.emplace_back("WAYLAND_SOCKET", "");
    } else if (choice.compositor != WaylandVariables::kNamed) {
        options.viewerUnset.push_back("WAYLAND_DISPLAY");
    }
    ASSERT_NO_FATAL_FAILURE(StartServer(options));
    // The default socket, as a desktop session of the same user would have it.
    std::string defaultSocket = desktop().Session().runtimeDir + "/wayland-0";
    if (desktop().Session().socket != "wayland-0") {
        ASSERT_EQ(symlink(desktop().Session().socket.c_str(), defaultSocket.c_str()), 0);
    }
    // A connection to the compositor that the viewer inherits, as from a compositor starting it.
    int handedOver = -1;
    if (choice.compositor == WaylandVariables::kHandedOver) {
        handedOver = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", defaultSocket.c_str());
        ASSERT_EQ(connect(handedOver, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        options_.viewerEnvironment.emplace_back("WAYLAND_SOCKET", std::to_string(handedOver));
    }
    ChildProcess* viewer = StartViewer();
    if (handedOver >= 0) {
        close(handedOver);
    }
    if (choice.opens == Opens::kNowhere) {
        int code = -1;
        ASSERT_TRUE(WaitProcess(viewer, limits_.exitMs, &code)) << "still running";
        EXPECT_EQ(code, 1);
        EXPECT_NE(ReadStderr(*viewer).find("cannot open display"), std::string::npos)
            << ReadStderr(*viewer);
        return;
    }
    bool onX11 = choice.opens == Opens::kOnX11;
    Window window =
        onX11 ? x11.WaitForWindow("Tavik", limits_.startMs) : WaitForNewWindow({}, limits_.startMs);
    ASSERT_NE(window, 0u) << ReadStderr(*viewer);
    EXPECT_TRUE((onX11 ? FindWindows("Tavik") : x11.FindWindows("Tavik")).empty());
    if (onX11) {
        x11.SendClose(window);
        ExpectEndsWithZeroSilently(viewer, limits_.exitMs, "close on X11");
    } else {
        CloseAndExpectEndsWithZero(viewer, window, "close on Wayland");
    }
}
INSTANTIATE_TEST_SUITE_P(
    Choice, BothWindowSystems,
    ::testing::Values(
        WindowSystemChoice{"SshForwardedDisplay", "tty", true, WaylandVariables::kUnset,
                           Opens::kOnX11},
        WindowSystemChoice{"X11Session", "x11", true, WaylandVariables::kNamed, Opens::kOnX11},
        WindowSystemChoice{"WaylandSession", "wayland", true, WaylandVariables::kNamed,
                           Opens::kOnWayland},
        WindowSystemChoice{"PlainSsh", "tty", false, WaylandVariables::kUnset, Opens::kNowhere},
        WindowSystemChoice{"HandedOverSocketInX11Session", "x11", true,
                           WaylandVariables::kHandedOver, Opens::kOnWayland},
        WindowSystemChoice{"SshForwardedDisplayEmptyWaylandDisplay", "tty", true,
                           WaylandVariables::kEmpty, Opens::kOnX11},
        WindowSystemChoice{"WaylandSessionCompositorUnset", "wayland", true,
                           WaylandVariables::kUnset, Opens::kOnX11},
        WindowSystemChoice{"X11SessionWithoutDisplay", "x11", false, WaylandVariables::kNamed,
                           Opens::kOnWayland},
        WindowSystemChoice{"X11SessionEmptyWaylandSocket", "x11", true,
                           WaylandVariables::kEmptySocket, Opens::kOnX11}),
    [](const ::testing::TestParamInfo<WindowSystemChoice>& info) { return info.param.name; });

} // namespace
