#include "support/wayland_probe.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// Every view (a node with a client behind it) of sway's tree.
void ForEachView(const json& node, const std::function<void(const json&)>& visit) {
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
    json root = json::parse(tree, nullptr, false);
    if (!root.is_discarded()) {
        ForEachView(root, [&](const json& view) {
            if (view.value("id", 0ul) == id) {
                found = view;
            }
        });
    }
    return found;
}

} // namespace

std::string SwayProbe::Tree() {
    std::string output;
    RunForOutput({"swaymsg", "--raw", "-t", "get_tree"}, SessionSettings(session_), 5000, &output);
    return output;
}

std::vector<unsigned long> SwayProbe::FindWindows(const std::string& caption) {
    std::vector<unsigned long> windows;
    json root = json::parse(Tree(), nullptr, false);
    if (!root.is_discarded()) {
        ForEachView(root, [&](const json& view) {
            if (view["name"].is_string() && view["name"] == caption) {
                windows.push_back(view["id"].get<unsigned long>());
            }
        });
    }
    return windows;
}

bool SwayProbe::Geometry(unsigned long window, ClientArea* area) {
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

std::string SwayProbe::AppId(unsigned long window) {
    json view = FindView(Tree(), window);
    return view.is_null() || !view["app_id"].is_string() ? "" : view["app_id"].get<std::string>();
}

bool SwayProbe::Exists(unsigned long window) {
    return !FindView(Tree(), window).is_null();
}

RgbImage SwayProbe::Grab(unsigned long window) {
    ClientArea area = {};
    if (!Geometry(window, &area)) {
        return RgbImage();
    }
    std::ostringstream region;
    region << area.x << "," << area.y << " " << area.width << "x" << area.height;
    std::string output;
    RunForOutput({"grim", "-t", "ppm", "-g", region.str(), "-"}, SessionSettings(session_), 5000,
                 &output);
    return RgbFromPpm(output);
}

bool SwayProbe::Command(unsigned long window, const std::string& command) {
    return Run("[con_id=" + std::to_string(window) + "] " + command);
}

bool SwayProbe::Run(const std::string& command) {
    std::string output;
    return RunForOutput({"swaymsg", command}, SessionSettings(session_), 5000, &output);
}

void SwayProbe::SendClose(unsigned long window) {
    Command(window, "kill");
}

void SwayProbe::Resize(unsigned long window, int width, int height) {
    // sway sizes the container with its border and title bar: add them to the client size.
    std::string tree = Tree();
    json view = FindView(tree, window);
    if (view.is_null()) {
        return;
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
    Command(window, command);
}

void SwayProbe::Move(unsigned long window, int x, int y) {
    Command(window, "move position " + std::to_string(x) + " " + std::to_string(y));
}

bool SwayProbe::PressKey(const std::string& keysym) {
    // NOTE: sway gives the seat a keyboard only once wtype's virtual keyboard is there, and
    // clients ask for their wl_keyboard when told so: a key pressed at once reaches no one.
    std::string output;
    return RunForOutput({"wtype", "-s", "1000", "-k", keysym}, SessionSettings(session_), 5000,
                        &output);
}

bool SwayProbe::SetScale(int scale) {
    std::string output;
    return RunForOutput({"swaymsg", "output", "*", "scale", std::to_string(scale)},
                        SessionSettings(session_), 5000, &output);
}

WestonShot WestonScreenshot(const WaylandSession& session) {
    // The screenshooter writes wayland-screenshot-<time>.png into its working directory, which
    // is the runtime directory for the session's user.
    ChildProcess shooter;
    int code = -1;
    bool shot = StartProcessWith({"weston-screenshooter"}, session.runtimeDir,
                                 SessionSettings(session), &shooter) &&
                WaitProcess(&shooter, 10000, &code) && code == 0;
    KillProcess(&shooter);
    RemoveCapturedOutput(&shooter);
    WestonShot result;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(session.runtimeDir, ignored)) {
        if (shot && entry.path().filename().string().rfind("wayland-screenshot-", 0) == 0) {
            std::string ppm, pgm;
            RunForOutput({"convert", entry.path(), "-depth", "8", "ppm:-"}, {}, 10000, &ppm);
            RunForOutput({"convert", entry.path(), "-alpha", "extract", "-depth", "8", "pgm:-"}, {},
                         10000, &pgm);
            result.rgb = RgbFromPpm(ppm);
            // A grey map (P5) ends with one byte per pixel.
            size_t pixels = static_cast<size_t>(result.rgb.width) * result.rgb.height;
            if (pgm.size() > pixels) {
                result.alpha.assign(pgm.end() - static_cast<long>(pixels), pgm.end());
            }
            fs::remove(entry.path(), ignored);
        }
    }
    if (result.alpha.size() != static_cast<size_t>(result.rgb.width) * result.rgb.height) {
        return WestonShot();
    }
    return result;
}

bool FindClientArea(const WestonShot& screen, ClientArea* area) {
    int left = screen.rgb.width, top = screen.rgb.height, right = -1, bottom = -1;
    for (int y = 0; y < screen.rgb.height; ++y) {
        for (int x = 0; x < screen.rgb.width; ++x) {
            if (screen.alpha[static_cast<size_t>(y) * screen.rgb.width + x] != 255) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    *area = {left, top, right - left + 1, bottom - top + 1};
    return right >= left;
}

RgbImage Crop(const RgbImage& image, const ClientArea& area) {
    RgbImage out;
    if (area.x < 0 || area.y < 0 || area.width <= 0 || area.height <= 0 ||
        area.x + area.width > image.width || area.y + area.height > image.height) {
        return out;
    }
    out.width = area.width;
    out.height = area.height;
    for (int y = area.y; y < area.y + area.height; ++y) {
        const unsigned char* row = image.At(area.x, y);
        out.pixels.insert(out.pixels.end(), row, row + area.width * 3);
    }
    return out;
}

RgbImage RgbFromPpm(const std::string& data) {
    std::istringstream in(data);
    std::string magic;
    int width = 0, height = 0, maxValue = 0;
    in >> magic >> width >> height >> maxValue;
    RgbImage image;
    size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    if (magic != "P6" || maxValue != 255 || width <= 0 || height <= 0 || !in) {
        return image;
    }
    size_t start = static_cast<size_t>(in.tellg()) + 1; // one whitespace after the header
    if (data.size() < start + size) {
        return image;
    }
    image.width = width;
    image.height = height;
    image.pixels.assign(data.begin() + static_cast<long>(start),
                        data.begin() + static_cast<long>(start + size));
    return image;
}
