#include "support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

bool StartProcess(const std::vector<std::string>& argv, const std::string& workingDirectory,
                  const std::string& display, ChildProcess* child) {
    char path[] = "/tmp/tavik-stderr-XXXXXX";
    int errFd = mkstemp(path);
    if (errFd < 0) {
        return false;
    }
    child->stderrPath = path;
    pid_t pid = fork();
    if (pid < 0) {
        close(errFd);
        return false;
    }
    if (pid == 0) {
        if (chdir(workingDirectory.c_str()) != 0) {
            _exit(126);
        }
        setenv("DISPLAY", display.c_str(), 1);
        dup2(errFd, 2);
        int nullFd = open("/dev/null", O_RDWR);
        dup2(nullFd, 0);
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(errFd);
    child->pid = pid;
    return true;
}

bool WaitProcess(ChildProcess* child, int timeoutMs, int* exitCode) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        pid_t done = waitpid(child->pid, &status, WNOHANG);
        if (done == child->pid) {
            *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            child->pid = -1;
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool IsRunning(const ChildProcess& child) {
    if (child.pid <= 0) {
        return false;
    }
    siginfo_t info = {};
    return waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
}

void KillProcess(ChildProcess* child) {
    if (child->pid > 0) {
        kill(child->pid, SIGKILL);
        int status = 0;
        waitpid(child->pid, &status, 0);
        child->pid = -1;
    }
}

std::string ReadStderr(const ChildProcess& child) {
    std::ifstream in(child.stderrPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

double ProcessCpuSeconds(const ChildProcess& child) {
    std::ifstream in("/proc/" + std::to_string(child.pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) {
        return -1;
    }
    // Fields after the command name, which is in parentheses and may hold spaces.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) {
            utime = std::stoull(field);
        } else if (i == 15) {
            stime = std::stoull(field);
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long ProcessResidentKiB(const ChildProcess& child) {
    std::ifstream in("/proc/" + std::to_string(child.pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}
