// sway and weston: the wlroots compositor, driven through swaymsg and pictured with grim, and
// weston, seen through its screenshooter alone; and what every private Wayland desktop shares.
#include "hosts/desktop.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// Every view (a node with a client behind it) of sway's tree (none in one that did not parse).
void ForEachView(const json& node, const std::function<void(const json&)>& visit) {
    if (!node.is_object()) {
        return;
    }
    if (node.value("pid", 0) > 0) {
        visit(node);
    }
    for (const char* children : {"nodes", "floating_nodes"}) {
        if (node.contains(children)) {
            for (const json& child : node[children]) {
                ForEachView(child, visit);
            }
        }
    }
}

// The view with container id `id`, or null.
json FindView(const std::string& tree, unsigned long id) {
    json found;
    ForEachView(json::parse(tree, nullptr, false), [&](const json& view) {
        if (view.value("id", 0ul) == id) {
            found = view;
        }
    });
    return found;
}

} // namespace

bool WaylandDesktop::Start(std::string* error) {
    std::vector<std::string> argv;
    LaunchSettings settings;
    if (!OpenSession(userName_, &session_, error) || !Prepare(&argv, &settings, error)) {
        EndSession(&session_);
        return false;
    }
    return StartCompositor(
        &session_, argv, settings, [this](std::string* notReady) { return Ready(notReady); },
        error);
}

bool WaylandDesktop::GiveToProgramUser(const std::string& path) {
    return GiveToSessionUser(session_, path);
}

bool WaylandDesktop::RunInSession(const std::vector<std::string>& argv, std::string* output,
                                  int timeoutMs) const {
    std::string ignored;
    return RunForOutput(argv, ProgramSettings(), timeoutMs, output ? output : &ignored);
}

// No bar, no Xwayland, the viewer floating at the size it asks for (tiled, it would get the
// whole output).
constexpr const char* kSwayConfig = R"(xwayland disable
output HEADLESS-1 resolution 1280x1024 position 0 0
for_window [app_id="org.tavik.Tavik"] floating enable
)";

bool SwayDesktop::Prepare(std::vector<std::string>* argv, LaunchSettings* settings,
                          std::string* error) {
    std::string config = session_.runtimeDir + "/compositor.conf";
    *error = "cannot write " + config;
    if (!WriteTextFile(config, kSwayConfig + ("output HEADLESS-1 scale " +
                                              std::to_string(static_cast<int>(scale_)) + "\n"))) {
        return false;
    }
    // Tiled, the outputs would share the outer output, and change size when one comes.
    if (nested_) {
        outer_ = std::make_unique<SwayDesktop>();
        if (!outer_->Start(error) || !outer_->Run("for_window [app_id=wlroots] floating enable")) {
            return false;
        }
    }
    session_.environment.emplace_back("SWAYSOCK", session_.runtimeDir + "/sway-ipc.sock");
    *settings = SessionSettings(session_);
    settings->environment.insert(
        settings->environment.end(),
        {{"WLR_BACKENDS", nested_ ? "wayland" : "headless"},
         {"WLR_RENDERER", "pixman"},
         {"WLR_LIBINPUT_NO_DEVICES", "1"},
         {"WAYLAND_DISPLAY",
          nested_ ? outer_->session_.runtimeDir + "/" + outer_->session_.socket : ""}});
    *argv = {"sway", "--config", config};
    // Cursor shapes came with sway 1.9 (wlroots 0.17).
    int minor = 0;
    drawsCursorShapes_ = MajorVersion(session_, "sway", &minor) * 100 + minor >= 109;
    return true;
}

// The point in the output's pixels, of the 1280 x 1024 the configuration gives it.
bool SwayDesktop::PointAt(Window window) {
    ClientArea area = {};
    RemovePointer();
    std::string tool = session_.runtimeDir + "/wayland_client";
    std::error_code failed;
    fs::copy_file(TAVIK_WAYLAND_CLIENT, tool, fs::copy_options::overwrite_existing, failed);
    LaunchSettings settings = ProgramSettings();
    settings.captureStdout = true;
    return !failed && Geometry(window, &area) &&
           StartProcessWith({tool, "pointer",
                             std::to_string(static_cast<int>((area.x + area.width / 2) * scale_)),
                             std::to_string(static_cast<int>((area.y + area.height / 2) * scale_)),
                             "1280", "1024"},
                            session_.runtimeDir, settings, &pointer_) &&
           WaitUntil([&] { return ReadFile(pointer_.stdoutPath) == "ready\n"; }, 5000);
}

bool SwayDesktop::RemovePointer() {
    const bool had = pointer_.pid > 0;
    KillProcess(&pointer_);
    return had;
}

// Ready once its IPC socket, which SWAYSOCK names, answers.
bool SwayDesktop::Ready(std::string* notReady) {
    *notReady = "swaymsg gets no answer";
    return RunInSession({"swaymsg", "-t", "get_version"});
}

std::string SwayDesktop::Tree() {
    std::string output;
    RunInSession({"swaymsg", "--raw", "-t", "get_tree"}, &output);
    return output;
}

std::vector<Window> SwayDesktop::FindWindows(const std::string& caption) {
    std::vector<Window> windows;
    ForEachView(json::parse(Tree(), nullptr, false), [&](const json& view) {
        if (view["name"].is_string() && view["name"] == caption) {
            windows.push_back(view["id"].get<unsigned long>());
        }
    });
    return windows;
}

bool SwayDesktop::Geometry(Window window, ClientArea* area) {
    json view = FindView(Tree(), window);
    if (view.is_null()) {
        return false;
    }
    // window_rect is the client area inside the container's rect (which holds sway's frame).
    const json& outer = view["rect"];
    const json& inner = view["window_rect"];
    area->x = outer["x"].get<int>() + inner["x"].get<int>();
    area->y = outer["y"].get<int>() + inner["y"].get<int>();
    area->width = inner["width"].get<int>();
    area->height = inner["height"].get<int>();
    return true;
}

std::string SwayDesktop::AppId(Window window) {
    json view = FindView(Tree(), window);
    return view.is_null() || !view["app_id"].is_string() ? "" : view["app_id"].get<std::string>();
}

RgbImage SwayDesktop::Grab(Window window) {
    ClientArea area = {};
    if (!Geometry(window, &area)) {
        return RgbImage();
    }
    std::ostringstream region;
    region << area.x << "," << area.y << " " << area.width << "x" << area.height;
    std::string output;
    RunInSession({"grim", "-t", "ppm", "-g", region.str(), "-"}, &output);
    return DecodeRgb(output);
}

bool SwayDesktop::Command(Window window, const std::string& command) {
    return Run("[con_id=" + std::to_string(window) + "] " + command);
}

bool SwayDesktop::Resize(Window window, int width, int height) {
    // sway sizes the container with its border and title bar: add them to the client size.
    std::string tree = Tree();
    json view = FindView(tree, window);
    if (view.is_null()) {
        return false;
    }
    const json& rect = view["rect"];
    width += rect["width"].get<int>() - view["window_rect"]["width"].get<int>();
    height += rect["height"].get<int>() - view["window_rect"]["height"].get<int>() +
              view["deco_rect"]["height"].get<int>();
    std::string command = "resize set width " + std::to_string(width) + " px height " +
                          std::to_string(height) + " px";
    // sway keeps a resized floating window centred where it was, which can push it out of the
    // output where grim cannot see it: keep its top-left corner, moved back into the output.
    json root = json::parse(tree, nullptr, false);
    for (const json& output : root.is_discarded() ? json::array() : root["nodes"]) {
        if (output.value("type", "") == "output" && output.value("name", "") != "__i3") {
            int x = std::max(
                0, std::min(rect["x"].get<int>(), output["rect"]["width"].get<int>() - width));
            int y = std::max(
                0, std::min(rect["y"].get<int>(), output["rect"]["height"].get<int>() - height));
            command += ", move position " + std::to_string(x) + " " + std::to_string(y);
            break;
        }
    }
    return Command(window, command);
}

bool SwayDesktop::Move(Window window, int x, int y) {
    return Command(window, "move position " + std::to_string(x) + " " + std::to_string(y));
}

bool SwayDesktop::PressKey(const std::string& keysym) {
    return RunInSession({"wtype", "-k", keysym});
}

bool SwayDesktop::SetScale(int scale) {
    return Run("output * scale " + std::to_string(scale));
}

WestonShot WestonScreenshot(const WaylandSession& session) {
    // The screenshooter writes wayland-screenshot-<time>.png into its working directory, which
    // is the runtime directory for the session's user.
    ChildProcess shooter;
    int code = -1;
    bool shot = StartProcessWith({"weston-screenshooter"}, session.runtimeDir,
                                 SessionSettings(session), &shooter) &&
                WaitProcess(&shooter, 10000, &code) && code == 0;
    WestonShot result;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(session.runtimeDir, ignored)) {
        if (shot && entry.path().filename().string().rfind("wayland-screenshot-", 0) == 0) {
            result.rgb = DecodeRgb(ReadFile(entry.path()), &result.alpha);
            fs::remove(entry.path(), ignored);
        }
    }
    if (result.alpha.size() != static_cast<size_t>(result.rgb.width) * result.rgb.height) {
        return WestonShot();
    }
    return result;
}

bool FindClientArea(const WestonShot& screen, ClientArea* area) {
    const std::vector<unsigned char>& alpha = screen.alpha;
    // weston 14 stores every pixel opaque, with its true colour: there the client area is where
    // the viewer's cleared background is, which its corners always show.
    const bool opaque = std::all_of(alpha.begin(), alpha.end(), [](int a) { return a == 255; });
    *area = Bounds(screen.rgb.width, 0, screen.rgb.height - 1, [&](int x, int y) {
        return opaque ? IsBackground(screen.rgb.At(x, y))
                      : alpha[static_cast<size_t>(y) * screen.rgb.width + x] != 255;
    });
    return area->width > 0;
}

// A plain desktop, so that a window stands out of it, and no screen locking.
constexpr const char* kWestonConfig = R"([core]
idle-time=0
[shell]
background-color=0xff203050
panel-position=none
locking=false
)";

bool WestonDesktop::Prepare(std::vector<std::string>* argv, LaunchSettings* settings,
                            std::string* error) {
    std::string config = session_.runtimeDir + "/compositor.conf";
    *error = "cannot write " + config;
    session_.socket = "wayland-tavik";
    *settings = SessionSettings(session_);
    // --debug: the screenshooter is allowed only then.
    *argv = {"weston",
             "--backend=headless-backend.so",
             "--use-pixman",
             "--width=1280",
             "--height=1024",
             "--socket=" + session_.socket,
             "--debug",
             "--config=" + config,
             "--scale=" + std::to_string(static_cast<int>(scale_))};
    return WriteTextFile(config, kWestonConfig);
}

// Weston's one window: where its client area is on a screenshot, if there is one.
constexpr Window kWestonWindow = 1;

std::vector<Window> WestonDesktop::FindWindows(const std::string& caption) {
    return caption == "Tavik" && Exists(kWestonWindow) ? std::vector<Window>{kWestonWindow}
                                                       : std::vector<Window>{};
}

bool WestonDesktop::Geometry(Window window, ClientArea* area) {
    return window == kWestonWindow && FindClientArea(WestonScreenshot(session_), area);
}

RgbImage WestonDesktop::Grab(Window window) {
    WestonShot shot = WestonScreenshot(session_);
    ClientArea area = {};
    return window == kWestonWindow && FindClientArea(shot, &area) ? Crop(shot.rgb, area)
                                                                  : RgbImage();
}
