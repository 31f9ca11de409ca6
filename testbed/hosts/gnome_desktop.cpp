// gnome-shell, driven through its Eval and pictured through its ScreenshotArea.
#include "hosts/desktop.h"
#include "hosts/session_bus.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace fs = std::filesystem;

namespace {

constexpr const char* kExtension = "unsafe-mode@tests.tavik.org";

// The extension enabled; no welcome dialog; no animations, so that a window is whole once it is
// shown; no banners over the windows.
constexpr const char* kSettings = R"([org/gnome/shell]
enabled-extensions=['unsafe-mode@tests.tavik.org']
welcome-dialog-last-shown-version='999'

[org/gnome/desktop/interface]
enable-animations=false

[org/gnome/desktop/notifications]
show-banners=false
)";

// Without it mutter lays monitors out in physical pixels and windows are sized in them; with it,
// in logical pixels, as sway does, and a scaled monitor's picture has the monitor's own pixels.
constexpr const char* kLogicalLayout = R"(
[org/gnome/mutter]
experimental-features=['scale-monitor-framebuffer']
)";

// The virtual monitor (named as mutter names it) at a scale, in a width x height pixels.
constexpr const char* kMonitorsXml = R"(<monitors version="2"><configuration><logicalmonitor>
<x>0</x><y>0</y><scale>%d</scale><primary>yes</primary><monitor><monitorspec>
<connector>Meta-0</connector><vendor>MetaVendor</vendor><product>MetaVirtualMonitor</product>
<serial>0x00</serial></monitorspec><mode><width>%d</width><height>%d</height><rate>60.000</rate>
</mode></monitor></logicalmonitor></configuration></monitors>
)";

// The client area of mutter's window in stage (logical) pixels. NOTE: with libdecor's frame the
// window's frame rectangle holds the title bar too; the main surface's buffer is the client area.
constexpr const char* kClientArea = "(r => [r.x, r.y, r.width, r.height])(w.get_buffer_rect())";

// A D-Bus call on the session bus with its reply printed plainly (a string as it is, unquoted).
bool CallShell(const WaylandSession& session, const std::vector<std::string>& call,
               std::string* reply) {
    std::vector<std::string> argv = {"dbus-send", "--session", "--print-reply=literal",
                                     "--dest=org.gnome.Shell"};
    argv.insert(argv.end(), call.begin(), call.end());
    return RunForOutput(argv, SessionSettings(session), 10000, reply);
}

// The shell's virtual pointer as `p`, made once, and `t`, the time for its events in microseconds
// of the monotonic clock; `C` is Clutter.
constexpr const char* kVirtualPointer =
    "const C = imports.gi.Clutter, t = imports.gi.GLib.get_monotonic_time(); "
    "if (!global.tavikPointer) global.tavikPointer = C.get_default_backend()"
    ".get_default_seat().create_virtual_device(C.InputDeviceType.POINTER_DEVICE); "
    "const p = global.tavikPointer; ";

// Runs JavaScript in gnome-shell; true with the value of its last expression, as JSON, in
// *result. False when the call fails or the code throws.
bool GnomeEval(const WaylandSession& session, const std::string& code, std::string* result) {
    std::string reply;
    if (!CallShell(session, {"/org/gnome/Shell", "org.gnome.Shell.Eval", "string:" + code},
                   &reply)) {
        return false;
    }
    // "   boolean true\n   <JSON>\n"
    size_t line = reply.find('\n');
    if (line == std::string::npos || reply.compare(0, line, "   boolean true") != 0) {
        return false;
    }
    size_t start = reply.find_first_not_of(' ', line + 1);
    size_t end = reply.find_last_not_of("\n ");
    *result = start == std::string::npos || end < start ? "" : reply.substr(start, end - start + 1);
    return true;
}

} // namespace

std::string GnomeDesktop::OnWindow(Window window, const std::string& expression) {
    std::string result;
    std::string code = "(w => w ? " + expression +
                       " : null)(global.get_window_actors().map(a => a.meta_window).find(w => "
                       "w.get_id() == " +
                       std::to_string(window) + "))";
    return GnomeEval(session_, code, &result) ? result : "null";
}

// NOTE: mutter lists a new window before it places and shows it, with an empty rectangle; a
// resize sent then is lost. It counts as shown once its actor is visible.
std::vector<Window> GnomeDesktop::FindWindows(const std::string& caption) {
    std::string result;
    GnomeEval(session_,
              "global.get_window_actors().filter(a => a.visible).map(a => a.meta_window)"
              ".filter(w => !w.is_hidden() && w.get_title() === " +
                  json(caption).dump() + ").map(w => w.get_id())",
              &result);
    json ids = json::parse(result, nullptr, false);
    return ids.is_array() ? ids.get<std::vector<Window>>() : std::vector<Window>();
}

bool GnomeDesktop::Geometry(Window window, ClientArea* area) {
    json rect = json::parse(OnWindow(window, kClientArea), nullptr, false);
    if (!rect.is_array() || rect.size() != 4) {
        return false;
    }
    *area = {rect[0].get<int>(), rect[1].get<int>(), rect[2].get<int>(), rect[3].get<int>()};
    return true;
}

int GnomeDesktop::TitleBarHeight(Window window) {
    json height = json::parse(OnWindow(window, "w.get_buffer_rect().y - w.get_frame_rect().y"),
                              nullptr, false);
    return height.is_number_integer() ? height.get<int>() : -1;
}

std::string GnomeDesktop::AppId(Window window) {
    json id = json::parse(OnWindow(window, "w.get_wm_class()"), nullptr, false);
    return id.is_string() ? id.get<std::string>() : "";
}

RgbImage GnomeDesktop::Grab(Window window) {
    ClientArea area = {};
    if (!Geometry(window, &area)) {
        return RgbImage();
    }
    // The shell writes the PNG as the session's user, into the session's runtime directory.
    std::string path = session_.runtimeDir + "/screenshot.png", reply, png;
    if (CallShell(session_,
                  {"/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot.ScreenshotArea",
                   "int32:" + std::to_string(area.x), "int32:" + std::to_string(area.y),
                   "int32:" + std::to_string(area.width), "int32:" + std::to_string(area.height),
                   "boolean:false", "string:" + path},
                  &reply)) {
        png = ReadFile(path);
    }
    unlink(path.c_str());
    return DecodeRgb(png);
}

bool GnomeDesktop::Close(Window window) {
    return OnWindow(window, "(w.delete(global.get_current_time()), true)") == "true";
}

bool GnomeDesktop::ClickCloseButton(Window window, std::string* failed) {
    const std::string pointer = kVirtualPointer;
    // NOTE: mutter 48 does not deliver the first motions of a pointer device just made: it is made
    // and put over the client area first, as a user's hand would rest there before the click.
    *failed = "the shell did not put its pointer on the client area";
    if (!PointAt(window)) {
        return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // Onto the button's centre, 16 pixels from the frame's right end and half the title bar down,
    // from the title's side, so that the frame sees the pointer enter and move; then the press
    // and the release, each once the frame has had time to see the one before.
    *failed = "the shell did not move its pointer onto the close button";
    if (OnWindow(window, "(f => (b => { " + pointer +
                             "const y = f.y + (b.y - f.y) / 2; "
                             "p.notify_absolute_motion(t, f.x + f.width / 2, y); "
                             "p.notify_absolute_motion(t, f.x + f.width - 16, y); return true; })"
                             "(w.get_buffer_rect()))(w.get_frame_rect())") != "true") {
        return false;
    }
    for (const char* state : {"PRESSED", "RELEASED"}) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        *failed = std::string("the shell's pointer button was not ") + state;
        if (OnWindow(window, "(() => { " + pointer +
                                 "p.notify_button(t, C.BUTTON_PRIMARY, C.ButtonState." + state +
                                 "); return true; })()") != "true") {
            return false;
        }
    }
    return true;
}

bool GnomeDesktop::PointAt(Window window) {
    return OnWindow(window, std::string("(b => { ") + kVirtualPointer +
                                "p.notify_absolute_motion(t, b.x + b.width / 2, b.y + b.height / "
                                "2); return true; })(w.get_buffer_rect())") == "true";
}

bool GnomeDesktop::RemovePointer() {
    std::string json;
    return GnomeEval(session_, "global.tavikPointer.run_dispose(); global.tavikPointer = null",
                     &json);
}

bool GnomeDesktop::Ready(std::string* notReady) {
    *notReady = "the shell is still starting or evaluates nothing";
    std::string result;
    return GnomeEval(session_,
                     "global.context.unsafe_mode && !Main.layoutManager._startingUp && "
                     "!Main.overview.visible",
                     &result) &&
           result == "true";
}

bool GnomeDesktop::Prepare(std::vector<std::string>* argv, LaunchSettings* settings,
                           std::string* error) {
    int version = MajorVersion(session_, "gnome-shell");
    drawsCursorShapes_ = version >= 48; // since GNOME 48
    const std::string& dir = session_.runtimeDir;
    std::string extensions = dir + "/data/gnome-shell/extensions/" + kExtension;
    std::error_code failed;
    fs::create_directories(extensions, failed);
    fs::create_directories(dir + "/glib-2.0/settings", failed);
    // GNOME 45 and later load extensions as modules only; earlier ones as scripts only.
    std::string source = std::string(TAVIK_SOURCE_DIR "/testbed/hosts/gnome-extension") +
                         (version >= 45 ? "-45/" : "/");
    for (const char* file : {"metadata.json", "extension.js"}) {
        fs::copy_file(source + file, extensions + "/" + file, failed);
    }
    const int scale = static_cast<int>(scale_);
    int width = 1280 * scale, height = 1024 * scale;
    char monitors[512];
    std::snprintf(monitors, sizeof monitors, kMonitorsXml, scale, width, height);
    if (failed ||
        !WriteTextFile(dir + "/glib-2.0/settings/keyfile",
                       std::string(kSettings) + (scale != 1 ? kLogicalLayout : "")) ||
        (scale != 1 && !WriteTextFile(dir + "/monitors.xml", monitors)) ||
        !GiveToSessionUser(session_, dir)) {
        *error = "cannot set up gnome-shell's settings and extension in " + dir;
        return false;
    }
    std::string systemBus = dir + "/system-bus";
    // NOTE: a GNOME session runs the accessibility bus; this one has none, and GTK (libdecor 0.2's
    // frame plugin) would say so on every program's stderr.
    session_.environment.emplace_back("NO_AT_BRIDGE", "1");
    session_.environment.emplace_back("DBUS_SESSION_BUS_ADDRESS",
                                      "unix:path=" + dir + "/session-bus");
    if (!StartBusDaemon("session", dir + "/session-bus", dir, SessionSettings(session_),
                        &session_.sessionBus, error) ||
        !StartBusDaemon("system", systemBus, dir, SessionSettings(session_), &session_.systemBus,
                        error)) {
        return false;
    }
    *settings = SessionSettings(session_);
    settings->environment.insert(settings->environment.end(),
                                 {{"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + systemBus},
                                  {"GSETTINGS_BACKEND", "keyfile"},
                                  {"XDG_DATA_HOME", dir + "/data"},
                                  {"LIBGL_ALWAYS_SOFTWARE", "1"}});
    *argv = {"gnome-shell",       "--headless",
             "--wayland",         "--no-x11",
             "--virtual-monitor", std::to_string(width) + "x" + std::to_string(height)};
    return true;
}

bool GnomeDesktop::Resize(Window window, int width, int height) {
    // mutter sizes the frame, which holds libdecor's title bar: add it to the client size.
    // NOTE: while a resize is under way mutter's frame has the new size and the buffer the old
    // one, so the frame's extra size is measured once, on the window as it was first shown.
    auto extra = frameExtra_.find(window);
    if (extra == frameExtra_.end()) {
        json size = json::parse(OnWindow(window, "(f => (b => [f.width - b.width, f.height - "
                                                 "b.height])(w.get_buffer_rect()))(w.get_frame_"
                                                 "rect())"),
                                nullptr, false);
        if (!size.is_array() || size.size() != 2) {
            return false;
        }
        extra =
            frameExtra_.emplace(window, std::pair{size[0].get<int>(), size[1].get<int>()}).first;
    }
    // The frame keeps its top-left corner, moved back into the work area where the new size
    // would stick out of it, as the screenshot sees only what is on the monitor. NOTE: not as a
    // user's operation: mutter 43 answered those, after a burst, with an older size of the burst.
    std::string frameWidth = std::to_string(width + extra->second.first);
    std::string frameHeight = std::to_string(height + extra->second.second);
    return OnWindow(window,
                    "(f => (a => (w.move_resize_frame(false, Math.max(a.x, Math.min(f.x, a.x + "
                    "a.width - " +
                        frameWidth + ")), Math.max(a.y, Math.min(f.y, a.y + a.height - " +
                        frameHeight + ")), " + frameWidth + ", " + frameHeight +
                        "), true))(w.get_work_area_current_monitor()))(w.get_frame_rect())") ==
           "true";
}

// Relative to the work area, below the shell's top bar, as the tests place windows in the
// space where they are seen whole.
bool GnomeDesktop::Move(Window window, int x, int y) {
    return OnWindow(window, "(a => (w.move_frame(false, a.x + " + std::to_string(x) + ", a.y + " +
                                std::to_string(y) +
                                "), true))(w.get_work_area_current_monitor())") == "true";
}
