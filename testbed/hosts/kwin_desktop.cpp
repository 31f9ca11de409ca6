// KWin, driven through its scripts and pictured through its screenshot interface.
#include "hosts/desktop.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <sstream>

namespace {

// `text` as a JavaScript string literal: JSON's string is one.
std::string Quoted(const std::string& text) {
    return nlohmann::json(text).dump();
}

} // namespace

// KWin's sessions run as a user of their own, so that their processes (KWin, its bus, the
// programs in it) are told apart from those of other compositors' sessions on the machine.
const char* KwinDesktop::UserName() const {
    return "tavik-kde";
}

bool KwinDesktop::Prepare(std::vector<std::string>* argv, LaunchSettings* settings,
                          std::string* error) {
    return PrepareKwin(&session_, scale_, leavesFrames_, argv, settings, error);
}

bool KwinDesktop::ChangeScale(double scale, std::string* error) {
    return SetKwinOutputScale(session_, scale, error);
}

std::vector<Window> KwinDesktop::FindWindows(const std::string& caption) {
    std::string output;
    RunKwinScript(session_,
                  "var found = [], all = workspace.clientList();\n"
                  "for (var i = 0; i < all.length; ++i)\n"
                  "    if (all[i].caption == " +
                      Quoted(caption) +
                      ") found.push(String(all[i].internalId));\n"
                      "report(found.join(\" \"));",
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
                  "var w = null, all = workspace.clientList();\n"
                  "for (var i = 0; i < all.length; ++i)\n"
                  "    if (String(all[i].internalId) == " +
                      Quoted(uuids_[window - 1]) +
                      ") w = all[i];\n"
                      "if (w == null) report(\"gone\"); else {\n" +
                      statements + "\n}",
                  &output);
    return output;
}

bool KwinDesktop::Geometry(Window window, ClientArea* area) {
    // The buffer's geometry is the client area: the viewer's frame is KWin's.
    std::istringstream numbers(OnWindow(window,
                                        "var b = w.bufferGeometry;\n"
                                        "report([b.x, b.y, b.width, b.height].join(\" \"));"));
    return static_cast<bool>(numbers >> area->x >> area->y >> area->width >> area->height);
}

std::string KwinDesktop::AppId(Window window) {
    std::string id = OnWindow(window, "report(\"id:\" + w.desktopFileName);");
    return id.rfind("id:", 0) == 0 ? id.substr(3) : "";
}

RgbImage KwinDesktop::Grab(Window window) {
    if (window == 0 || window > uuids_.size()) {
        return RgbImage();
    }
    std::string output;
    RunInSession({session_.kwinCall, "capture", uuids_[window - 1]}, &output, 15000);
    return RgbFromPpm(output);
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
