#include "hosts/wayland_session.h"

#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "hosts/kwin_session.h"
#include "hosts/gnome_session.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUserName = "tavik-test";
// KWin's sessions run as a user of their own, so that their processes (KWin, its bus, the
// programs in it) are told apart from those of other compositors' sessions on the machine.
constexpr const char* kKwinUserName = "tavik-kde";

// No bar, no Xwayland, the viewer floating at the size it asks for (tiled, it would get the
// whole output).
constexpr const char* kSwayConfig = R"(xwayland disable
output HEADLESS-1 resolution 1280x1024 position 0 0
for_window [app_id="org.tavik.Tavik"] floating enable
)";

// A plain desktop, so that a window stands out of it, and no screen locking.
constexpr const char* kWestonConfig = R"([core]
idle-time=0
[shell]
background-color=0xff203050
panel-position=none
locking=false
)";

// The compositor's Wayland socket (and sway's IPC socket) once they exist in the runtime
// directory.
bool FindSockets(WaylandSession* session) {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(session->runtimeDir, ignored)) {
        std::string name = entry.path().filename();
        if (!entry.is_socket(ignored)) {
            continue;
        }
        if (name.rfind("wayland-", 0) == 0) {
            session->socket = name;
        } else if (name.rfind("sway-ipc.", 0) == 0) {
            session->swaySocket = entry.path();
        }
    }
    return !session->socket.empty() &&
           (session->compositor != Compositor::kSway || !session->swaySocket.empty());
}

bool Ready(const WaylandSession& session) {
    if (!SocketAccepts(session.runtimeDir + "/" + session.socket)) {
        return false;
    }
    std::string output;
    switch (session.compositor) {
    case Compositor::kSway:
        return RunForOutput({"swaymsg", "-t", "get_version"}, SessionSettings(session), 2000,
                            &output);
    case Compositor::kWeston:
        return true;
    case Compositor::kKwin:
        return KwinRunsScripts(session);
    case Compositor::kGnomeShell:
        return GnomeShellReady(session);
    }
    return false;
}

// The user the compositor runs as: the tests' own (-1) unless they run as root, since sway
// refuses root; then an unprivileged system user, created once.
bool SessionUser(const char* name, uid_t* uid, gid_t* gid, std::string* error) {
    *uid = static_cast<uid_t>(-1);
    *gid = static_cast<gid_t>(-1);
    if (geteuid() != 0) {
        return true;
    }
    if (getpwnam(name) == nullptr) {
        std::string output, errors;
        RunForOutput(
            {"useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", name}, {},
            10000, &output, &errors);
        // Another test may have created it meanwhile; only its absence counts.
        if (getpwnam(name) == nullptr) {
            *error = std::string("cannot create the user ") + name + ": " + errors;
            return false;
        }
    }
    const passwd* user = getpwnam(name);
    *uid = user->pw_uid;
    *gid = user->pw_gid;
    return true;
}

} // namespace

// A socket file exists from bind() on, but takes connections only from listen() on.
bool SocketAccepts(const std::string& path) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof(address.sun_path) - 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool accepted = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    return accepted;
}

LaunchSettings SessionSettings(const WaylandSession& session) {
    LaunchSettings settings;
    settings.uid = session.uid;
    settings.gid = session.gid;
    settings.unset = {"DISPLAY", "WAYLAND_SOCKET", "XAUTHORITY"};
    settings.environment = {{"XDG_RUNTIME_DIR", session.runtimeDir},
                            {"HOME", session.runtimeDir},
                            {"XDG_CONFIG_HOME", session.runtimeDir},
                            {"WAYLAND_DISPLAY", session.socket}};
    if (!session.swaySocket.empty()) {
        settings.environment.emplace_back("SWAYSOCK", session.swaySocket);
    }
    if (!session.lsanOptions.empty()) {
        settings.environment.emplace_back("LSAN_OPTIONS", session.lsanOptions);
    }
    if (!session.busAddress.empty()) {
        settings.environment.emplace_back("DBUS_SESSION_BUS_ADDRESS", session.busAddress);
    }
    return settings;
}

bool GiveToSessionUser(const WaylandSession& session, const std::string& path) {
    if (session.uid == static_cast<uid_t>(-1)) {
        return true;
    }
    std::error_code failed;
    bool given = chown(path.c_str(), session.uid, session.gid) == 0;
    for (const auto& entry : fs::recursive_directory_iterator(path, failed)) {
        given &= chown(entry.path().c_str(), session.uid, session.gid) == 0;
    }
    return given && !failed;
}

bool StartCompositor(Compositor compositor, WaylandSession* session, std::string* error,
                     double scale, const WaylandSession* host) {
    session->compositor = compositor;
    if (!SessionUser(compositor == Compositor::kKwin ? kKwinUserName : kUserName, &session->uid,
                     &session->gid, error)) {
        return false;
    }
    char tmpl[] = "/tmp/tavik-wayland-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        *error = "cannot make a runtime directory";
        return false;
    }
    session->runtimeDir = tmpl;
    std::string config = session->runtimeDir + "/compositor.conf";
    if (compositor == Compositor::kSway) {
        std::string text = kSwayConfig + ("output HEADLESS-1 scale " +
                                          std::to_string(static_cast<int>(scale)) + "\n");
        WriteTextFile(config, text);
    } else if (compositor == Compositor::kWeston) {
        WriteTextFile(config, kWestonConfig);
    }
    // Sanitizer builds: the leak checker's suppressions, where the session's user can read them
    // wherever the tree is.
    if (const char* options = std::getenv("LSAN_OPTIONS")) {
        session->lsanOptions = options;
        size_t at = session->lsanOptions.find("suppressions=");
        if (at != std::string::npos) {
            at += 13;
            size_t end = session->lsanOptions.find(':', at);
            std::string copy = session->runtimeDir + "/lsan.supp";
            std::error_code ignored;
            fs::copy_file(session->lsanOptions.substr(at, end - at), copy, ignored);
            session->lsanOptions.replace(at, end == std::string::npos ? end : end - at, copy);
        }
    }
    if (!GiveToSessionUser(*session, session->runtimeDir)) {
        *error = "cannot hand " + session->runtimeDir + " to the session's user";
        return false;
    }
    LaunchSettings settings = SessionSettings(*session);
    std::vector<std::string> argv;
    if (compositor == Compositor::kSway) {
        settings.environment.insert(
            settings.environment.end(),
            {{"WLR_BACKENDS", host != nullptr ? "wayland" : "headless"},
             {"WLR_RENDERER", "pixman"},
             {"WLR_LIBINPUT_NO_DEVICES", "1"},
             {"WAYLAND_DISPLAY", host != nullptr ? host->runtimeDir + "/" + host->socket : ""}});
        argv = {"sway", "--config", config};
    } else if (compositor == Compositor::kKwin) {
        if (!PrepareKwin(session, scale, &argv, &settings, error)) {
            EndSession(session);
            return false;
        }
    } else if (compositor == Compositor::kGnomeShell) {
        if (!PrepareGnomeShell(session, static_cast<int>(scale), &argv, &settings, error)) {
            EndSession(session);
            return false;
        }
    } else {
        session->socket = "wayland-tavik";
        // --debug: the screenshooter is allowed only then.
        argv = {
            "weston",        "--backend=headless-backend.so", "--use-pixman", "--width=1280",
            "--height=1024", "--socket=" + session->socket,   "--debug",      "--config=" + config};
        argv.push_back("--scale=" + std::to_string(static_cast<int>(scale)));
    }
    if (!StartProcessWith(argv, session->runtimeDir, settings, &session->process)) {
        *error = "cannot start " + argv[0];
        return false;
    }
    // gnome-shell starts in 1 to 2 seconds on an idle machine, sway and weston in less. Each
    // readiness check but the socket's starts a process (swaymsg, a KWin script, dbus-send): no
    // more than one every 50 ms, to leave the cores to the compositor.
    auto started = std::chrono::steady_clock::now();
    bool ready = false;
    WaitUntil(
        [&] {
            return !IsRunning(session->process) ||
                   (ready = FindSockets(session) && Ready(*session));
        },
        30000);
    if (ready) {
        std::printf(
            "%s ready %.0f ms after its start\n", argv[0].c_str(),
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count());
        return true;
    }
    *error = argv[0] + (IsRunning(session->process) ? " accepts no client" : " ended") +
             "; its log:\n" + ReadStderr(session->process);
    EndSession(session);
    return false;
}

void StopCompositor(WaylandSession* session, int signal) {
    // One that does not end within 10 s of the signal is killed, with whatever it started.
    StopProcess(&session->process, signal, 10000);
}

void EndSession(WaylandSession* session) {
    StopCompositor(session);
    RemoveCapturedOutput(&session->process);
    for (ChildProcess* bus : {&session->sessionBus, &session->systemBus}) {
        KillProcess(bus);
        RemoveCapturedOutput(bus);
    }
    session->busAddress.clear();
    if (!session->runtimeDir.empty()) {
        std::error_code ignored;
        fs::remove_all(session->runtimeDir, ignored);
        session->runtimeDir.clear();
    }
}
