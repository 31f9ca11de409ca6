#include "hosts/wayland_session.h"

#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// The compositor's Wayland socket once it exists in the runtime directory.
bool FindSockets(WaylandSession* session) {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(session->runtimeDir, ignored)) {
        std::string name = entry.path().filename();
        if (!entry.is_socket(ignored)) {
            continue;
        }
        if (name.rfind("wayland-", 0) == 0) {
            session->socket = name;
        }
    }
    return !session->socket.empty();
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
    settings.root = session.root;
    // No WAYLAND_DISPLAY before the compositor's socket is known: the compositor is no client.
    settings.unset = {"DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "XAUTHORITY"};
    settings.environment = {{"XDG_RUNTIME_DIR", session.runtimeDir},
                            {"HOME", session.runtimeDir},
                            {"XDG_CONFIG_HOME", session.runtimeDir}};
    if (!session.socket.empty()) {
        settings.environment.emplace_back("WAYLAND_DISPLAY", session.socket);
    }
    settings.environment.insert(settings.environment.end(), session.environment.begin(),
                                session.environment.end());
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

bool OpenSession(const char* userName, WaylandSession* session, std::string* error) {
    if (!SessionUser(userName, &session->uid, &session->gid, error)) {
        return false;
    }
    char tmpl[] = "/tmp/tavik-wayland-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        *error = "cannot make a runtime directory";
        return false;
    }
    session->runtimeDir = tmpl;
    // Sanitizer builds: the leak checker's suppressions, where the session's user can read them
    // wherever the tree is.
    if (const char* inherited = std::getenv("LSAN_OPTIONS")) {
        std::string options = inherited;
        size_t at = options.find("suppressions=");
        if (at != std::string::npos) {
            at += 13;
            size_t end = options.find(':', at);
            std::string copy = session->runtimeDir + "/lsan.supp";
            std::error_code ignored;
            fs::copy_file(options.substr(at, end - at), copy, ignored);
            options.replace(at, end == std::string::npos ? end : end - at, copy);
        }
        session->environment.emplace_back("LSAN_OPTIONS", options);
    }
    *error = "cannot hand " + session->runtimeDir + " to the session's user";
    return GiveToSessionUser(*session, session->runtimeDir);
}

bool StartCompositor(WaylandSession* session, const std::vector<std::string>& argv,
                     const LaunchSettings& settings, const std::function<bool(std::string*)>& ready,
                     std::string* error) {
    if (!StartProcessWith(argv, session->runtimeDir, settings, &session->process)) {
        *error = "cannot start " + argv[0];
        return false;
    }
    // gnome-shell starts in 1 to 2 seconds on an idle machine, sway and weston in less.
    auto started = std::chrono::steady_clock::now();
    bool accepting = false;
    std::string notReady = "no socket of its takes a client";
    WaitUntil(
        [&] {
            return !IsRunning(session->process) ||
                   (accepting = FindSockets(session) &&
                                SocketAccepts(session->runtimeDir + "/" + session->socket) &&
                                ready(&notReady));
        },
        30000);
    if (accepting) {
        std::printf("%s ready %.0f ms after its start\n", argv[0].c_str(), MsSince(started));
        return true;
    }
    *error = argv[0] + (IsRunning(session->process) ? " is not ready: " + notReady : " ended") +
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
    KillProcess(&session->sessionBus);
    KillProcess(&session->systemBus);
    session->environment.clear();
    if (!session->runtimeDir.empty()) {
        std::error_code ignored;
        fs::remove_all(session->runtimeDir, ignored);
        session->runtimeDir.clear();
    }
}

int MajorVersion(const WaylandSession& session, const std::string& program, int* minor) {
    std::string version;
    RunForOutput({program, "--version"}, SessionSettings(session), 10000, &version);
    int major = 0, second = 0;
    // From its first digit on.
    std::sscanf(version.c_str() + std::min(version.find_first_of("0123456789"), version.size()),
                "%d.%d", &major, &second);
    if (minor != nullptr) {
        *minor = second;
    }
    return major;
}
