#include "hosts/x11_window_manager.h"

#include "hosts/session_bus.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace fs = std::filesystem;

bool Wmctrl(const std::string& display, const char* action, Window window,
            const std::vector<std::string>& args) {
    LaunchSettings settings;
    settings.environment = {{"DISPLAY", display}};
    std::vector<std::string> argv = {"wmctrl", "-i", action, std::to_string(window)};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string output;
    return RunForOutput(argv, settings, 10000, &output);
}

bool StartWindowManager(const X11WindowManager& manager, const std::string& display,
                        X11Probe* probe, WindowManagerSession* session, std::string* error) {
    char tmpl[] = "/tmp/tavik-wm-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        *error = "cannot make a directory for the window manager";
        return false;
    }
    session->home = tmpl;
    // Its settings and caches stay in here, away from the user's; GSettings (mutter's) too, in a
    // key file instead of the user's dconf database.
    LaunchSettings settings;
    settings.environment = {{"DISPLAY", display},
                            {"HOME", session->home},
                            {"XDG_CONFIG_HOME", session->home + "/config"},
                            {"XDG_CACHE_HOME", session->home + "/cache"},
                            {"XDG_DATA_HOME", session->home + "/data"},
                            {"XDG_RUNTIME_DIR", session->home},
                            {"XDG_SESSION_TYPE", "x11"},
                            {"GSETTINGS_BACKEND", "keyfile"},
                            // Without compositing KWin draws nothing of its own with OpenGL.
                            {"KWIN_COMPOSE", "N"},
                            {"LIBGL_ALWAYS_SOFTWARE", "1"}};
    settings.unset = {"WAYLAND_DISPLAY", "WAYLAND_SOCKET", "SESSION_MANAGER",
                      "DBUS_SESSION_BUS_ADDRESS"};
    // Openbox writes its messages to standard output: kept out of the test's own.
    settings.captureStdout = true;
    if (manager.privateBus) {
        if (!StartBusDaemon("session", session->home + "/bus", session->home, LaunchSettings{},
                            &session->bus, error)) {
            return false;
        }
        settings.environment.push_back(
            {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + session->home + "/bus"});
    }
    const std::vector<std::string>& command = manager.command;
    if (!StartProcessWith(command, "/", settings, &session->manager)) {
        *error = "cannot start the window manager";
        return false;
    }
    // Managing once it names itself on the root window; a close sent before that reaches nobody.
    Window root = DefaultRootWindow(probe->display());
    bool managing = false;
    WaitUntil(
        [&] {
            return !IsRunning(session->manager) ||
                   (managing = !probe->LongProperty(root, "_NET_SUPPORTING_WM_CHECK").empty());
        },
        10000);
    if (managing) {
        return true;
    }
    *error = command[0] + " did not start managing windows within 10 s; it said: " +
             ReadStderr(session->manager);
    return false;
}

void EndWindowManager(WindowManagerSession* session) {
    KillProcess(&session->manager);
    KillProcess(&session->bus);
    if (!session->home.empty()) {
        std::error_code ignored;
        fs::remove_all(session->home, ignored);
        session->home.clear();
    }
}
