#include "support/kwin_session.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

// A session bus with no service directories: nothing is started on demand, so every process in
// the session is one that the host started and ends.
constexpr const char* kBusConfig = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=@BUS@</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

// NOTE: KWin answers org.kde.KWin.ScreenShot2 only to a program whose executable is the Exec of
// a desktop file that lists the interface as restricted and allowed.
constexpr const char* kHelperDesktopFile = R"([Desktop Entry]
Type=Application
Name=Tavik test probe
NoDisplay=true
X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2
Exec=)";

bool WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
    return static_cast<bool>(out);
}

} // namespace

bool PrepareKwin(WaylandSession* session, double scale, std::vector<std::string>* argv,
                 LaunchSettings* settings, std::string* error) {
    const std::string& dir = session->runtimeDir;
    std::error_code failed;
    if (!fs::exists("/usr/bin/kwin_wayland")) {
        *error = "/usr/bin/kwin_wayland is missing: install kwin-wayland (scripts/setup.sh)";
        return false;
    }
    // NOTE: the packaged kwin_wayland carries a file capability (cap_sys_resource), which a
    // restricted container refuses to exec; a plain copy runs. It keeps its name: KWin's own Qt
    // platform plugin loads only in a program called kwin_wayland.
    fs::copy_file("/usr/bin/kwin_wayland", dir + "/kwin_wayland", failed);
    if (!failed) {
        fs::copy_file(TAVIK_KWIN_CALL, dir + "/kwin_call", failed);
    }
    session->kwinCall = dir + "/kwin_call";
    fs::create_directories(dir + "/data/applications", failed);
    std::string bus = dir + "/bus";
    std::string busConfig = kBusConfig;
    busConfig.replace(busConfig.find("@BUS@"), 5, bus);
    if (failed || !WriteFile(dir + "/bus.conf", busConfig) ||
        !WriteFile(dir + "/data/applications/tavik-kwin-call.desktop",
                   kHelperDesktopFile + session->kwinCall + "\n") ||
        !GiveToSessionUser(*session, dir)) {
        *error = "cannot lay out KWin's session in " + dir;
        return false;
    }
    if (!StartProcessWith({"dbus-daemon", "--config-file=" + dir + "/bus.conf", "--nofork"}, dir,
                          SessionSettings(*session), &session->bus)) {
        *error = "cannot start dbus-daemon";
        return false;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!SocketAccepts(bus)) {
        if (!IsRunning(session->bus) || std::chrono::steady_clock::now() > deadline) {
            *error = "dbus-daemon takes no connection: " + ReadStderr(session->bus);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    session->busAddress = "unix:path=" + bus;

    *settings = SessionSettings(*session);
    settings->environment.insert(settings->environment.end(), {{"XDG_DATA_HOME", dir + "/data"},
                                                               {"XDG_CACHE_HOME", dir + "/cache"},
                                                               {"LIBGL_ALWAYS_SOFTWARE", "1"}});
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
