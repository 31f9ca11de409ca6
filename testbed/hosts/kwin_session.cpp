#include "hosts/kwin_session.h"

#include "hosts/session_bus.h"

#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// NOTE: KWin answers org.kde.KWin.ScreenShot2 only to a program whose executable is the Exec of
// a desktop file that lists the interface as restricted and allowed.
constexpr const char* kHelperDesktopFile = R"([Desktop Entry]
Type=Application
Name=Tavik test probe
NoDisplay=true
X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2
Exec=)";

} // namespace

bool PrepareKwin(WaylandSession* session, double scale, bool leavesFrames,
                 std::vector<std::string>* argv, LaunchSettings* settings, std::string* error) {
    const std::string& dir = session->runtimeDir;
    std::error_code failed;
    if (!fs::exists("/usr/bin/kwin_wayland")) {
        *error = "/usr/bin/kwin_wayland is missing: install kwin-wayland (scripts/setup.sh)";
        return false;
    }
    // NOTE: the packaged kwin_wayland carries a file capability (cap_sys_resource), which a
    // restricted container refuses to exec; a plain copy runs. It keeps its name: KWin's own Qt
    // platform plugin loads only in a program called kwin_wayland. The rig's own clients run as
    // the session's user too, who may not reach the build tree (a checkout under a private
    // folder): they run from copies in the session's folder.
    fs::copy_file("/usr/bin/kwin_wayland", dir + "/kwin_wayland", failed);
    if (!failed) {
        fs::copy_file(TAVIK_KWIN_CALL, dir + "/kwin_call", failed);
    }
    if (!failed) {
        fs::copy_file(TAVIK_KWIN_OUTPUT_SCALE, dir + "/kwin_output_scale", failed);
    }
    session->kwinCall = dir + "/kwin_call";
    fs::create_directories(dir + "/data/applications", failed);
    if (!failed && leavesFrames) {
        fs::create_directories(dir + "/config", failed);
        WriteTextFile(dir + "/config/kwinrc", "[org.kde.kdecoration2]\nNoPlugin=true\n");
    }
    std::string bus = dir + "/bus";
    if (failed ||
        !WriteTextFile(dir + "/data/applications/tavik-kwin-call.desktop",
                       kHelperDesktopFile + session->kwinCall + "\n") ||
        !GiveToSessionUser(*session, dir)) {
        *error = "cannot lay out KWin's session in " + dir;
        return false;
    }
    if (!StartBusDaemon("session", bus, dir, SessionSettings(*session), &session->sessionBus,
                        error)) {
        return false;
    }
    session->busAddress = "unix:path=" + bus;

    *settings = SessionSettings(*session);
    settings->environment.insert(settings->environment.end(), {{"XDG_DATA_HOME", dir + "/data"},
                                                               {"XDG_CACHE_HOME", dir + "/cache"},
                                                               {"LIBGL_ALWAYS_SOFTWARE", "1"}});
    if (leavesFrames) {
        settings->environment.push_back({"XDG_CONFIG_HOME", dir + "/config"});
    }
    std::ostringstream scaleText;
    scaleText << scale;
    session->socket = "wayland-tavik";
    *argv = {dir + "/kwin_wayland",
             "--virtual",
             "--width",
             "1280",
             "--height",
             "1024",
             "--scale",
             scaleText.str(),
             "--socket",
             session->socket,
             "--no-lockscreen",
             "--no-global-shortcuts",
             "--no-kactivities"};
    return true;
}

bool KwinRunsScripts(const WaylandSession& session) {
    std::string output;
    return RunKwinScript(session, "report(\"ready\");", &output) && output == "ready";
}

bool RunKwinScript(const WaylandSession& session, const std::string& body, std::string* output) {
    return RunForOutput({session.kwinCall, "script", body}, SessionSettings(session), 15000,
                        output);
}

bool SetKwinOutputScale(const WaylandSession& session, double scale, std::string* error) {
    std::ostringstream scaleText;
    scaleText << scale;
    std::string output;
    error->clear();
    if (RunForOutput({session.runtimeDir + "/kwin_output_scale", scaleText.str()},
                     SessionSettings(session), 15000, &output, error)) {
        return true;
    }
    *error = "the scale " + scaleText.str() + " was not set: " + *error;
    return false;
}
