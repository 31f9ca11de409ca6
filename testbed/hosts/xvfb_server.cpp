#include "hosts/xvfb_server.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <signal.h>
#include <unistd.h>

#include <X11/Xlib.h>

namespace {

// True when `pid` is `ancestor` or a process it started, however deep (bubblewrap puts a process
// of its own between the two).
bool DescendsFrom(pid_t pid, pid_t ancestor) {
    for (int depth = 0; pid > 1 && depth < 8; ++depth) {
        if (pid == ancestor) {
            return true;
        }
        std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
        size_t end = stat.rfind(')');
        pid = end == std::string::npos ? 0 : std::atoi(stat.c_str() + end + 4); // ") S ppid"
    }
    return false;
}

bool StartOnce(XvfbServer* server, const std::vector<std::string>& extraArgs, std::string* error) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        *error = "pipe failed";
        return false;
    }
    // -noreset: by default the server resets when its last client leaves (as the readiness check
    // below does) and refuses the connections that arrive meanwhile.
    std::vector<std::string> args = {"Xvfb",      "-displayfd", std::to_string(fds[1]),
                                     "-screen",   "0",          "1280x1024x24",
                                     "-nolisten", "tcp",        "-noreset"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    LaunchSettings settings;
    settings.keepFd = fds[1];
    settings.root = server->root;
    bool started = StartProcessWith(args, "/", settings, &server->process);
    close(fds[1]);
    std::string number;
    char c;
    while (started && read(fds[0], &c, 1) == 1 && c != '\n') {
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        *error =
            "Xvfb did not start (is the xvfb package installed?): " + ReadStderr(server->process);
        StopProcess(&server->process, SIGTERM, 10000);
        return false;
    }
    server->display = ":" + number;
    // A server that lost a race for its display number exits right after starting, and the
    // connection then reaches the winner: only a connection whose peer is this server (or, in
    // another system's root, bubblewrap's child) counts.
    bool ours = false;
    WaitUntil(
        [&] {
            Display* display = XOpenDisplay(server->display.c_str());
            ucred peer = {};
            socklen_t size = sizeof peer;
            ours =
                display != nullptr &&
                getsockopt(ConnectionNumber(display), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
                DescendsFrom(peer.pid, server->process.pid);
            if (display != nullptr) {
                XCloseDisplay(display);
            }
            return ours || !IsRunning(server->process);
        },
        5000);
    if (ours) {
        return true;
    }
    *error = "Xvfb on " + server->display + " accepts no connection";
    StopProcess(&server->process, SIGTERM, 10000);
    return false;
}

} // namespace

bool StartXvfb(XvfbServer* server, const std::vector<std::string>& extraArgs, std::string* error) {
    // Servers started at the same moment by parallel tests can race for a display number.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (StartOnce(server, extraArgs, error)) {
            return true;
        }
    }
    return false;
}
