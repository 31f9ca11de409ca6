#include "hosts/xvfb_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

bool ServerAlive(const XvfbServer& server) {
    int status = 0;
    return server.process.pid > 0 && waitpid(server.process.pid, &status, WNOHANG) == 0;
}

bool StartOnce(XvfbServer* server, const std::vector<std::string>& extraArgs, std::string* error) {
    int fds[2];
    if (pipe(fds) != 0) {
        *error = "pipe failed";
        return false;
    }
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        int nullFd = open("/dev/null", O_RDWR);
        dup2(nullFd, 1);
        dup2(nullFd, 2);
        std::string fd = std::to_string(fds[1]);
        // -noreset: by default the server resets when its last client leaves (as the readiness
        // check below does) and refuses the connections that arrive meanwhile.
        std::vector<std::string> args = {"Xvfb",         "-displayfd", fd,    "-screen", "0",
                                         "1280x1024x24", "-nolisten",  "tcp", "-noreset"};
        args.insert(args.end(), extraArgs.begin(), extraArgs.end());
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        execvp("Xvfb", argv.data());
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        *error = "fork failed";
        return false;
    }
    server->process.pid = pid;
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') {
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        *error = "Xvfb did not start (is the xvfb package installed?)";
        StopXvfb(server);
        return false;
    }
    server->display = ":" + number;
    for (int i = 0; i < 100 && ServerAlive(*server); ++i) {
        if (Display* display = XOpenDisplay(server->display.c_str())) {
            XCloseDisplay(display);
            // A server that lost a race for its display number exits right after starting.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (ServerAlive(*server)) {
                return true;
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    *error = "Xvfb on " + server->display + " accepts no connection";
    StopXvfb(server);
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

void StopXvfb(XvfbServer* server) {
    if (server->process.pid > 0) {
        kill(server->process.pid, SIGTERM);
        int status = 0;
        waitpid(server->process.pid, &status, 0);
        server->process.pid = -1;
    }
}
