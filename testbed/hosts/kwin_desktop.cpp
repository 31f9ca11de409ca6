// KWin, driven through its scripts and pictured through its screenshot interface.
#include "hosts/desktop.h"
#include "hosts/session_bus.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;
// JSON's strings and numbers, as JavaScript and KWin's command line write them.
using nlohmann::json;

namespace {

// NOTE: KWin answers org.kde.KWin.ScreenShot2 only to a program whose executable is the Exec of
// a desktop file that lists the interface as restricted and allowed.
constexpr const char* kHelperDesktopFile = R"([Desktop Entry]
Type=Application
Name=Tavik test probe
NoDisplay=true
X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2
Exec=)";

// Runs a KWin script (JavaScript that ends with report(text)) through the session's helper; true
// with the reported text in *output when it reported without an error.
bool RunKwinScript(const WaylandSession& session, const std::string& body, std::string* output) {
    // The windows for which `test` holds. KWin 6 lists windows with windowList(), KWin 5 with
    // clientList().
    const std::string windows =
        "function windows(test) { var found = [], all = workspace.windowList ? "
        "workspace.windowList() : workspace.clientList();\n"
        "for (var i = 0; i < all.length; ++i) if (test(all[i])) found.push(all[i]);\n"
        "return found; }\n";
    return RunForOutput({session.runtimeDir + "/kwin_call", "script", windows + body},
                        SessionSettings(session), 15000, output);
}

// The caption of the window in which KWin shows its output on an X server.
constexpr const char* kOutputCaption =
    "KDE Wayland Compositor - Press right control key to grab input";

} // namespace

// NOTE: KWin 6 composites a virtual output only on a GPU's render node, and offers screenshots
// only when it composites with OpenGL. Without them it shows its output in a window of an Xvfb of
// its own, whose pictures are read from that server.
bool KwinDesktop::Prepare(std::vector<std::string>* argv, LaunchSettings* settings,
                          std::string* error) {
    scalesAfterStart_ = MajorVersion(session_, "kwin_wayland") >= 6;
    drawsCursorShapes_ = scalesAfterStart_; // cursor shapes came with KWin 6
    if (scalesAfterStart_ && !fs::exists("/dev/dri")) {
        output_.root = session_.root;
        // The window keeps the output's logical size in its own pixels: room for 1280 x 1024 at
        // the largest scale the tests set.
        if (!StartXvfb(&output_, {"-screen", "0", "1920x1536x24"}, error)) {
            return false;
        }
        outputProbe_ = std::make_unique<X11Probe>(output_.display);
    }
    const std::string& dir = session_.runtimeDir;
    std::error_code failed;
    if (!fs::exists(session_.root + "/usr/bin/kwin_wayland")) {
        *error = session_.root + "/usr/bin/kwin_wayland is missing: install kwin-wayland";
        return false;
    }
    // NOTE: the packaged kwin_wayland carries a file capability (cap_sys_resource), which a
    // restricted container refuses to exec; a plain copy runs. It keeps its name: KWin's own Qt
    // platform plugin loads only in a program called kwin_wayland. In another system's root it
    // runs as it is (its capability is not set there). The rig's own clients run as the session's
    // user too, who may not reach the build tree (a checkout under a private folder): they run
    // from copies in the session's folder.
    std::string kwin = session_.root.empty() ? dir + "/kwin_wayland" : "kwin_wayland";
    if (session_.root.empty()) {
        fs::copy_file("/usr/bin/kwin_wayland", kwin, failed);
    }
    if (!failed) {
        fs::copy_file(TAVIK_KWIN_CALL, dir + "/kwin_call", failed);
    }
    if (!failed) {
        fs::copy_file(TAVIK_WAYLAND_CLIENT, dir + "/wayland_client", failed);
    }
    // A configuration of the session's own, so that no output settings of an earlier session
    // (KWin 6 keeps them) come back.
    fs::create_directories(dir + "/data/applications", failed);
    fs::create_directories(dir + "/config", failed);
    if (!failed && leavesFrames_) {
        WriteTextFile(dir + "/config/kwinrc", "[org.kde.kdecoration2]\nNoPlugin=true\n");
    }
    std::string bus = dir + "/bus";
    if (failed ||
        !WriteTextFile(dir + "/data/applications/tavik-kwin-call.desktop",
                       kHelperDesktopFile + session_.runtimeDir + "/kwin_call" + "\n") ||
        !GiveToSessionUser(session_, dir)) {
        *error = "cannot lay out KWin's session in " + dir;
        return false;
    }
    if (!StartBusDaemon("session", bus, dir, SessionSettings(session_), &session_.sessionBus,
                        error)) {
        return false;
    }
    session_.environment.emplace_back("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + bus);

    *settings = SessionSettings(session_);
    settings->environment.insert(settings->environment.end(), {{"XDG_DATA_HOME", dir + "/data"},
                                                               {"XDG_CACHE_HOME", dir + "/cache"},
                                                               {"XDG_CONFIG_HOME", dir + "/config"},
                                                               {"LIBGL_ALWAYS_SOFTWARE", "1"}});
    session_.socket = "wayland-tavik";
    *argv = {kwin,
             output_.display.empty() ? "--virtual" : "--x11-display=" + output_.display,
             "--width",
             "1280",
             "--height",
             "1024",
             "--scale",
             json(scale_).dump(),
             "--socket",
             session_.socket,
             "--no-lockscreen",
             "--no-global-shortcuts",
             "--no-kactivities"};
    return true;
}

KwinDesktop::~KwinDesktop() {
    EndSession(&session_);
    outputProbe_.reset();
}

// KWin 6 starts its output at scale 1 whatever --scale says: the scale is then set as the display
// settings set it. KWin 5 has it from the start.
bool KwinDesktop::Ready(std::string* notReady) {
    *notReady = "KWin runs no scripts";
    std::string output;
    return RunKwinScript(session_, "report(\"ready\");", &output) && output == "ready" &&
           (!scalesAfterStart_ || scale_ == 1 || ChangeScale(scale_, notReady));
}

bool KwinDesktop::ChangeScale(double scale, std::string* error) {
    std::string scaleText = json(scale).dump(), output;
    error->clear();
    if (RunForOutput({session_.runtimeDir + "/wayland_client", "scale", scaleText},
                     SessionSettings(session_), 15000, &output, error)) {
        return true;
    }
    *error = "the scale " + scaleText + " was not set: " + *error;
    return false;
}

std::vector<Window> KwinDesktop::FindWindows(const std::string& caption) {
    std::string output;
    RunKwinScript(session_,
                  "report(windows(function (w) { return w.caption == " + json(caption).dump() +
                      "; }).map(function (w) { return String(w.internalId); }).join(\" \"));",
                  &output);
    std::vector<Window> windows;
    std::istringstream uuids(output);
    for (std::string uuid; uuids >> uuid;) {
        auto known = std::find(uuids_.begin(), uuids_.end(), uuid);
        if (known == uuids_.end()) {
            known = uuids_.insert(uuids_.end(), uuid);
        }
        windows.push_back(static_cast<Window>(known - uuids_.begin()) + 1);
    }
    return windows;
}

std::string KwinDesktop::OnWindow(Window window, const std::string& statements) {
    if (window == 0 || window > uuids_.size()) {
        return "gone";
    }
    std::string output;
    RunKwinScript(session_,
                  "var w = windows(function (w) { return String(w.internalId) == " +
                      json(uuids_[window - 1]).dump() + "; })[0];\n" +
                      "if (w == null) report(\"gone\"); else {\n" + statements + "\n}",
                  &output);
    return output;
}

// The buffer's geometry is the client area: the viewer's frame is KWin's. KWin 6 places windows
// at fractions of a logical pixel where the scale is fractional; in the output's pixels (times
// `scale`) each edge is whole.
bool KwinDesktop::BufferArea(Window window, double scale, ClientArea* area) {
    return OutputPixels(OnWindow(window, "var b = w.bufferGeometry;\n"
                                         "report([b.x, b.y, b.width, b.height].join(\" \"));"),
                        scale, area);
}

bool KwinDesktop::OutputPixels(const std::string& report, double scale, ClientArea* area) {
    std::istringstream numbers(report);
    double x, y, width, height;
    if (!(numbers >> x >> y >> width >> height)) {
        return false;
    }
    auto scaled = [scale](double value) { return static_cast<int>(std::lround(value * scale)); };
    *area = {scaled(x), scaled(y), scaled(width), scaled(height)};
    return true;
}

bool KwinDesktop::Geometry(Window window, ClientArea* area) {
    return BufferArea(window, 1, area);
}

std::string KwinDesktop::AppId(Window window) {
    std::string id = OnWindow(window, "report(\"id:\" + w.desktopFileName);");
    return id.rfind("id:", 0) == 0 ? id.substr(3) : "";
}

RgbImage KwinDesktop::Grab(Window window) {
    if (window == 0 || window > uuids_.size()) {
        return RgbImage();
    }
    // The client area in the output's pixels, on the window that shows the output.
    ClientArea area = {};
    if (outputProbe_) {
        std::vector<Window> outputs = outputProbe_->FindWindows(kOutputCaption);
        return outputs.size() != 1 || !BufferArea(window, scale_, &area)
                   ? RgbImage()
                   : outputProbe_->GrabArea(outputs[0], area.x, area.y, area.width, area.height);
    }
    std::string output;
    RunInSession({session_.runtimeDir + "/kwin_call", "capture", uuids_[window - 1]}, &output,
                 15000);
    return DecodeRgb(output);
}

bool KwinDesktop::PointAt(Window window) {
    ClientArea area = {};
    std::vector<Window> outputs =
        outputProbe_ ? outputProbe_->FindWindows(kOutputCaption) : std::vector<Window>();
    return outputs.size() == 1 && BufferArea(window, scale_, &area) &&
           outputProbe_->MovePointer(outputs[0], area.x + area.width / 2, area.y + area.height / 2);
}

bool KwinDesktop::Close(Window window) {
    return OnWindow(window, "w.closeWindow();\nreport(\"closed\");") == "closed";
}

bool KwinDesktop::Resize(Window window, int width, int height) {
    return OnWindow(window, "var f = w.frameGeometry, b = w.bufferGeometry;\n"
                            "w.frameGeometry = {x: f.x, y: f.y, width: " +
                                std::to_string(width) +
                                " + f.width - b.width, height: " + std::to_string(height) +
                                " + f.height - b.height};\n"
                                "report(\"resized\");") == "resized";
}

void KwinDesktop::RemoveFrame(Window window) {
    OnWindow(window, "w.noBorder = true;\nreport(\"unframed\");");
}

bool KwinDesktop::Move(Window window, int x, int y) {
    return OnWindow(window, "var f = w.frameGeometry;\n"
                            "w.frameGeometry = {x: " +
                                std::to_string(x) + ", y: " + std::to_string(y) +
                                ", width: f.width, height: f.height};\n"
                                "report(\"moved\");") == "moved";
}
