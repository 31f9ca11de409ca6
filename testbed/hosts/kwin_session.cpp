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
                 const std::string& x11Display, std::vector<std::string>* argv,
                 LaunchSettings* settings, std::string* error) {
    const std::string& dir = session->runtimeDir;
    std::error_code failed;
    if (!fs::exists(session->root + "/usr/bin/kwin_wayland")) {
        *error = session->root + "/usr/bin/kwin_wayland is missing: install kwin-wayland";
        return false;
    }
    // NOTE: the packaged kwin_wayland carries a file capability (cap_sys_resource), which a
    // restricted container refuses to exec; a plain copy runs. It keeps its name: KWin's own Qt
    // platform plugin loads only in a program called kwin_wayland. In another system's root it
    // runs as it is (its capability is not set there). The rig's own clients run as the session's
    // user too, who may not reach the build tree (a checkout under a private folder): they run
    // from copies in the session's folder.
    std::string kwin = session->root.empty() ? dir + "/kwin_wayland" : "kwin_wayland";
    if (session->root.empty()) {
        fs::copy_file("/usr/bin/kwin_wayland", kwin, failed);
    }
    if (!failed) {
        fs::copy_file(TAVIK_KWIN_CALL, dir + "/kwin_call", failed);
    }
    if (!failed) {
        fs::copy_file(TAVIK_KWIN_OUTPUT_SCALE, dir + "/kwin_output_scale", failed);
    }
    session->kwinCall = dir + "/kwin_call";
    // A configuration of the session's own, so that no output settings of an earlier session
    // (KWin 6 keeps them) come back.
    fs::create_directories(dir + "/data/applications", failed);
    fs::create_directories(dir + "/config", failed);
    if (!failed && leavesFrames) {
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
                                                               {"XDG_CONFIG_HOME", dir + "/config"},
                                                               {"LIBGL_ALWAYS_SOFTWARE", "1"}});
    std::ostringstream scaleText;
    scaleText << scale;
    session->socket = "wayland-tavik";
    *argv = {kwin,
             x11Display.empty() ? "--virtual" : "--x11-display=" + x11Display,
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
    // KWin 6 lists windows with windowList(), KWin 5 with clientList().
    const std::string windows = "function windows() { return workspace.windowList ? "
                                "workspace.windowList() : workspace.clientList(); }\n";
    return RunForOutput({session.kwinCall, "script", windows + body}, SessionSettings(session),
                        15000, output);
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
