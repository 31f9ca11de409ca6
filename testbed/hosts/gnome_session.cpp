#include "hosts/gnome_session.h"

#include <algorithm>
#include <filesystem>

#include "hosts/desktop.h"
#include "hosts/session_bus.h"

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

// The virtual monitor (named as mutter names it) at `scale`, in `width` x `height` pixels.
std::string MonitorsXml(int scale, int width, int height) {
    return "<monitors version=\"2\"><configuration><logicalmonitor>"
           "<x>0</x><y>0</y><scale>" +
           std::to_string(scale) +
           "</scale><primary>yes</primary><monitor><monitorspec>"
           "<connector>Meta-0</connector><vendor>MetaVendor</vendor>"
           "<product>MetaVirtualMonitor</product><serial>0x00</serial></monitorspec>"
           "<mode><width>" +
           std::to_string(width) + "</width><height>" + std::to_string(height) +
           "</height><rate>60.000</rate></mode></monitor></logicalmonitor></configuration>"
           "</monitors>\n";
}

} // namespace

bool PrepareGnomeShell(WaylandSession* session, int scale, std::vector<std::string>* argv,
                       LaunchSettings* settings, std::string* error) {
    const std::string& dir = session->runtimeDir;
    std::string extensions = dir + "/data/gnome-shell/extensions/" + kExtension;
    std::error_code failed;
    fs::create_directories(extensions, failed);
    fs::create_directories(dir + "/glib-2.0/settings", failed);
    // GNOME 45 and later load extensions as modules only; earlier ones as scripts only.
    std::string source = std::string(TAVIK_SOURCE_DIR "/testbed/hosts/gnome-extension") +
                         (MajorVersion(*session, "gnome-shell") >= 45 ? "-45/" : "/");
    for (const char* file : {"metadata.json", "extension.js"}) {
        fs::copy_file(source + file, extensions + "/" + file, failed);
    }
    int width = 1280 * scale, height = 1024 * scale;
    if (failed ||
        !WriteTextFile(dir + "/glib-2.0/settings/keyfile",
                       std::string(kSettings) + (scale != 1 ? kLogicalLayout : "")) ||
        (scale != 1 && !WriteTextFile(dir + "/monitors.xml", MonitorsXml(scale, width, height))) ||
        !GiveToSessionUser(*session, dir)) {
        *error = "cannot set up gnome-shell's settings and extension in " + dir;
        return false;
    }
    std::string systemBus = dir + "/system-bus";
    session->busAddress = "unix:path=" + dir + "/session-bus";
    if (!StartBusDaemon("session", dir + "/session-bus", dir, SessionSettings(*session),
                        &session->sessionBus, error) ||
        !StartBusDaemon("system", systemBus, dir, SessionSettings(*session), &session->systemBus,
                        error)) {
        return false;
    }
    *settings = SessionSettings(*session);
    // No WAYLAND_DISPLAY: the shell is the compositor, not a client of one.
    settings->environment.erase(
        std::remove_if(settings->environment.begin(), settings->environment.end(),
                       [](const auto& variable) { return variable.first == "WAYLAND_DISPLAY"; }),
        settings->environment.end());
    settings->unset.push_back("WAYLAND_DISPLAY");
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

bool GnomeShellReady(const WaylandSession& session) {
    std::string result;
    return GnomeEval(session,
                     "global.context.unsafe_mode && !Main.layoutManager._startingUp && "
                     "!Main.overview.visible",
                     &result) &&
           result == "true";
}
