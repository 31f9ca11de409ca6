#include "hosts/process.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace {

// Removes the files that hold a process's captured output.
void RemoveCapturedOutput(ChildProcess* child) {
    for (std::string* path : {&child->stderrPath, &child->stdoutPath}) {
        if (!path->empty()) {
            unlink(path->c_str());
            path->clear();
        }
    }
}

// A temporary file for captured output; its descriptor, or -1.
int CaptureFile(std::string* path) {
    char name[] = "/tmp/tavik-output-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) {
        *path = name;
    }
    return fd;
}

// NOTE: a started program gets SIGKILL when the test process dies (PR_SET_PDEATHSIG), but what
// it starts itself (a compositor's helpers, a bus daemon's forks) does not. A guardian, forked
// once, holds one end of a socket whose only other end stays in the test process: each started
// program sends its group's number before it runs, the rig sends the number negated once it has
// ended the group, and when the socket reaches its end, however the test process ended, the
// guardian kills every group still named. Its descriptor, or -1.
int Guardian() {
    static int fd = [] {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) {
            return -1;
        }
        pid_t pid = fork();
        if (pid == 0) {
            // Out of the test's group (a terminal's Ctrl-C is for the test), holding nothing of
            // the test's but its end of the socket.
            setpgid(0, 0);
            int in = fcntl(fds[1], F_DUPFD, 3);
            close_range(3, in - 1, 0);
            close_range(in + 1, ~0U, 0);
            int nullFd = open("/dev/null", O_RDWR);
            for (int fd = 0; fd < 3; ++fd) {
                dup2(nullFd, fd);
            }
            pid_t groups[1024];
            int count = 0;
            pid_t group = 0;
            while (read(in, &group, sizeof group) == sizeof group) {
                if (group > 0 && count < 1024) {
                    groups[count++] = group;
                }
                for (int i = 0; group < 0 && i < count; ++i) {
                    if (groups[i] == -group) {
                        groups[i] = groups[--count];
                        break;
                    }
                }
            }
            for (int i = 0; i < count; ++i) {
                kill(-groups[i], SIGKILL);
            }
            _exit(0);
        }
        close(fds[1]);
        if (pid < 0) {
            close(fds[0]);
            return -1;
        }
        return fds[0];
    }();
    return fd;
}

// The accounts that programs in another system's root know: the root's own and the user `uid`,
// so that a bus daemon or a desktop can name the user it runs as. They are files of the tests'
// own, bound over the root's: the root itself is never written. The folder that holds them, made
// once per root and user and removed when the tests end; empty when it cannot be made.
std::string RootAccounts(const std::string& root, uid_t uid, std::string* home) {
    static struct Folders {
        std::map<std::pair<std::string, uid_t>, std::pair<std::string, std::string>> made;
        ~Folders() {
            std::error_code ignored;
            for (const auto& entry : made) {
                std::filesystem::remove_all(entry.second.first, ignored);
            }
        }
    } folders;
    auto& made = folders.made;
    auto found = made.find({root, uid});
    if (found != made.end()) {
        *home = found->second.second;
        return found->second.first;
    }
    const passwd* user = getpwuid(uid);
    std::string name = user != nullptr ? user->pw_name : "user" + std::to_string(uid);
    gid_t gid = user != nullptr ? user->pw_gid : uid;
    *home = uid == 0 ? "/root" : "/home/" + name;
    std::string passwd = ReadFile(root + "/etc/passwd");
    std::string group = ReadFile(root + "/etc/group");
    if (("\n" + passwd).find("\n" + name + ":") == std::string::npos) {
        passwd += name + ":x:" + std::to_string(uid) + ":" + std::to_string(gid) + "::" + *home +
                  ":/usr/sbin/nologin\n";
    }
    if (group.find(":x:" + std::to_string(gid) + ":") == std::string::npos) {
        group += name + ":x:" + std::to_string(gid) + ":\n";
    }
    char tmpl[] = "/tmp/tavik-accounts-XXXXXX";
    // Readable by the unprivileged user the tests give their compositors when they run as root.
    if (mkdtemp(tmpl) == nullptr || chmod(tmpl, 0755) != 0 ||
        !WriteTextFile(std::string(tmpl) + "/passwd", passwd) ||
        !WriteTextFile(std::string(tmpl) + "/group", group)) {
        return {};
    }
    made[{root, uid}] = {tmpl, *home};
    return tmpl;
}

// bubblewrap's command that runs a program in another system's root: the root read-only, with
// /proc, /dev, a writable /dev/shm, the accounts above, a home of the user's own on a tmpfs
// (Mesa keeps its shader cache there, the desktops their settings) unless the program is given
// one, and the machine's /tmp, where the sockets and working directories are. It dies with its
// parent, and so does everything inside. NOTE: in the machine's process namespace, so that a
// compositor can tell its clients' processes, and everything inside stays in the group that the
// rig ends. Empty when the accounts cannot be made.
std::vector<std::string> RootCommand(const LaunchSettings& settings,
                                     const std::string& workingDirectory) {
    uid_t uid = settings.uid != static_cast<uid_t>(-1) ? settings.uid : geteuid();
    std::string home;
    std::string accounts = RootAccounts(settings.root, uid, &home);
    if (accounts.empty()) {
        return {};
    }
    const std::vector<std::string> noOption;
    bool homeGiven = std::any_of(settings.environment.begin(), settings.environment.end(),
                                 [](const auto& variable) { return variable.first == "HOME"; });
    // Each option with its arguments.
    std::vector<std::vector<std::string>> options = {
        {"bwrap", "--die-with-parent"},
        {"--ro-bind", settings.root, "/"},
        {"--ro-bind", accounts + "/passwd", "/etc/passwd"},
        {"--ro-bind", accounts + "/group", "/etc/group"},
        {"--tmpfs", "/root"},
        {"--tmpfs", "/home"},
        {"--dir", home},
        {"--chdir", workingDirectory},
        homeGiven ? noOption : std::vector<std::string>{"--setenv", "HOME", home},
        {"--proc", "/proc"},
        {"--dev", "/dev"},
        {"--perms", "1777"},
        {"--tmpfs", "/dev/shm"},
        {"--ro-bind", "/sys", "/sys"},
        {"--bind", "/tmp", "/tmp"},
        {"--setenv", "PATH", "/usr/sbin:/usr/bin:/sbin:/bin"},
        {"--"}};
    std::vector<std::string> command;
    for (const auto& option : options) {
        command.insert(command.end(), option.begin(), option.end());
    }
    return command;
}

// A shared hold on a root, which the root's script takes exclusively before it makes or removes
// one: a root is never removed under a program running in it. The descriptor (close-on-exec, so
// that the program started takes it over explicitly), or -1 while the root is being made or
// removed, or was made without the lock beside it.
int HoldRoot(const std::string& root) {
    int fd = open((root + ".lock").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0 && flock(fd, LOCK_SH | LOCK_NB) != 0) {
        close(fd);
        fd = -1;
    }
    return fd;
}

// Kills what is left of the group of a process that has ended or is to end, then reaps the
// process: until it is reaped its number cannot name another group.
int EndGroup(ChildProcess* child) {
    kill(-child->pid, SIGKILL);
    int status = 0;
    waitpid(child->pid, &status, 0);
    pid_t ended = -child->pid;
    send(Guardian(), &ended, sizeof ended, MSG_NOSIGNAL);
    child->pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

LaunchSettings X11Settings(const std::string& display) {
    LaunchSettings settings;
    settings.environment = {{"DISPLAY", display}, {"XDG_SESSION_TYPE", "x11"}};
    settings.unset = {"WAYLAND_DISPLAY", "WAYLAND_SOCKET"};
    return settings;
}

std::vector<std::pair<std::string, std::string>> PreloadSettings(const std::string& library) {
    const char* inherited = std::getenv("ASAN_OPTIONS");
    std::string options =
        inherited != nullptr && *inherited != '\0' ? inherited + std::string(":") : "";
    return {{"LD_PRELOAD", library}, {"ASAN_OPTIONS", options + "verify_asan_link_order=0"}};
}

bool StartProcessWith(const std::vector<std::string>& argv, const std::string& workingDirectory,
                      const LaunchSettings& settings, ChildProcess* child) {
    RemoveCapturedOutput(child); // of the one started before, if any
    int errFd = CaptureFile(&child->stderrPath);
    int outFd = settings.captureStdout ? CaptureFile(&child->stdoutPath) : -1;
    int rootHold = -1;
    // The parent's copies, once the program has them or will not start.
    auto closeAll = [&] {
        for (int fd : {errFd, outFd, rootHold}) {
            if (fd >= 0) {
                close(fd);
            }
        }
    };
    if (errFd < 0 || (settings.captureStdout && outFd < 0)) {
        closeAll();
        return false;
    }
    std::vector<std::string> command;
    if (!settings.root.empty()) {
        command = RootCommand(settings, workingDirectory);
        rootHold = command.empty() ? -1 : HoldRoot(settings.root);
        if (rootHold < 0) {
            std::fprintf(stderr,
                         "cannot start %s in %s: its accounts cannot be made, or the root "
                         "is being made or removed\n",
                         argv[0].c_str(), settings.root.c_str());
            closeAll();
            return false;
        }
    }
    command.insert(command.end(), argv.begin(), argv.end());
    std::vector<char*> args;
    for (const std::string& arg : command) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    int guardian = Guardian();
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        closeAll();
        return false;
    }
    if (pid == 0) {
        // Its own group, named to the guardian before anything in it can start more.
        setpgid(0, 0);
        pid_t self = getpid();
        send(guardian, &self, sizeof self, MSG_NOSIGNAL);
        // The group first: once the user is dropped, the group can no longer be changed.
        if (settings.uid != static_cast<uid_t>(-1) &&
            (setgroups(0, nullptr) != 0 || setgid(settings.gid) != 0 ||
             setuid(settings.uid) != 0)) {
            _exit(125);
        }
        // After the change of user, which clears it; a parent already gone sends nothing.
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) {
            _exit(124);
        }
        // The hold on the root lasts as long as anything started in it runs.
        for (int fd : {settings.keepFd, rootHold}) {
            if (fd >= 0) {
                fcntl(fd, F_SETFD, 0);
            }
        }
        if (chdir(workingDirectory.c_str()) != 0) {
            _exit(126);
        }
        for (const std::string& name : settings.unset) {
            unsetenv(name.c_str());
        }
        for (const auto& [name, value] : settings.environment) {
            setenv(name.c_str(), value.c_str(), 1);
        }
        dup2(errFd, 2);
        if (outFd >= 0) {
            dup2(outFd, 1);
        }
        int nullFd = open("/dev/null", O_RDWR);
        dup2(nullFd, 0);
        // A path, or a tool found on PATH.
        execvp(args[0], args.data());
        _exit(127);
    }
    // Also here, so that a kill of the group right after the start finds it.
    setpgid(pid, pid);
    closeAll();
    child->pid = pid;
    return true;
}

bool RunForOutput(const std::vector<std::string>& argv, const LaunchSettings& settings,
                  int timeoutMs, std::string* output, std::string* errors) {
    LaunchSettings capturing = settings;
    capturing.captureStdout = true;
    ChildProcess child;
    int code = -1;
    bool ended = false;
    if (StartProcessWith(argv, "/", capturing, &child)) {
        ended = WaitProcess(&child, timeoutMs, &code);
        KillProcess(&child);
    }
    *output = ReadFile(child.stdoutPath);
    if (errors != nullptr) {
        *errors = ended ? ReadFile(child.stderrPath) : argv[0] + " did not end in time";
        if (ended && code != 0 && errors->empty()) {
            *errors = argv[0] + " ended with code " + std::to_string(code) + ", saying nothing";
        }
    }
    return ended && code == 0;
}

bool WaitProcess(ChildProcess* child, int timeoutMs, int* exitCode, double* cpuSeconds) {
    // Until it has ended, or waitid says it is none of ours; then only an ended one is reaped.
    // Seen ended but not reaped, its CPU time can still be read; EndGroup then ends what is left
    // of its group and takes the group back from the guardian before the number is free for
    // another group.
    WaitUntil([&] { return !IsRunning(*child); }, timeoutMs, 1);
    siginfo_t info = {}; // what WNOHANG leaves when nothing has ended is unspecified
    if (child->pid <= 0 ||
        waitid(P_PID, static_cast<id_t>(child->pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
        info.si_pid != child->pid) {
        return false;
    }
    if (cpuSeconds != nullptr) {
        *cpuSeconds = ProcessCpuSeconds(*child);
    }
    *exitCode = EndGroup(child);
    return true;
}

bool IsRunning(const ChildProcess& child) {
    if (child.pid <= 0) {
        return false;
    }
    siginfo_t info = {};
    return waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
}

ChildProcess::~ChildProcess() {
    KillProcess(this);
    RemoveCapturedOutput(this);
}

void KillProcess(ChildProcess* child) {
    if (child->pid > 0) {
        EndGroup(child);
    }
}

void StopProcess(ChildProcess* child, int signal, int graceMs) {
    int code = 0;
    if (child->pid > 0 && (kill(child->pid, signal) != 0 || !WaitProcess(child, graceMs, &code))) {
        KillProcess(child);
    }
}

std::string ReadStderr(const ChildProcess& child) {
    return ReadFile(child.stderrPath);
}

double ProcessCpuSeconds(const ChildProcess& child) {
    std::ifstream in("/proc/" + std::to_string(child.pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) {
        return -1;
    }
    // Fields 14 and 15, after the command name, which is in parentheses and may hold spaces.
    unsigned long long utime = 0, stime = 0;
    std::sscanf(line.c_str() + line.rfind(')') + 2,
                "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime);
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long ProcessStatusKiB(const ChildProcess& child, const std::string& field) {
    const std::string status = ReadFile("/proc/" + std::to_string(child.pid) + "/status");
    const size_t at = status.find("\n" + field + ":");
    return at == std::string::npos ? -1 : std::strtol(&status[at + field.size() + 2], nullptr, 10);
}

bool WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
    return static_cast<bool>(out);
}
