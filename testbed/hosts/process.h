// Starting a program as a user would (its own working directory and environment) and waiting
// for it with a time limit. Every program started here leads a process group of its own and is
// ended with everything in that group, even when the test process itself is killed.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "wait.h"

// Ends with its owner: the process and whatever is left in its group, and its captured output.
struct ChildProcess {
    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    pid_t pid = -1;
    std::string stderrPath; // where its standard error went
    std::string stdoutPath; // where its standard output went, when it was captured
};

// How a program is started beyond its arguments and working directory.
struct LaunchSettings {
    std::vector<std::pair<std::string, std::string>> environment; // variables to set
    std::vector<std::string> unset;                               // variables to remove
    // The user it runs as when uid is not -1: some compositors refuse to run as root.
    uid_t uid = static_cast<uid_t>(-1);
    gid_t gid = static_cast<gid_t>(-1);
    bool captureStdout = false; // into a temporary file, else /dev/null is left as it is
    int keepFd = -1;            // a descriptor it inherits (Xvfb's -displayfd), else none
    // Another system's root it runs in (through bubblewrap: its own mounts and processes, the
    // machine's /tmp shared), else the machine's own.
    std::string root;
};

// A program on the X display `display`: X11 even in a Wayland session, since the layer takes X11
// only when the session says so.
LaunchSettings X11Settings(const std::string& display);
// The variables that preload `library` into a program: LD_PRELOAD, and the inherited sanitizer
// options plus the one that lets a sanitized program start with a library loaded before its
// runtime.
std::vector<std::pair<std::string, std::string>> PreloadSettings(const std::string& library);
// Starts `argv` in `workingDirectory` with the environment and user that `settings` give (an X
// program's: X11Settings), standard error captured in a temporary file. Returns false if it could
// not be started.
bool StartProcessWith(const std::vector<std::string>& argv, const std::string& workingDirectory,
                      const LaunchSettings& settings, ChildProcess* child);
// Runs a command to its end (killed after `timeoutMs`) with standard output captured; true when
// it ended with 0. *output gets its standard output, *errors its standard error.
bool RunForOutput(const std::vector<std::string>& argv, const LaunchSettings& settings,
                  int timeoutMs, std::string* output, std::string* errors = nullptr);
// Waits up to `timeoutMs` for the process to end, asking every millisecond; true with its exit
// code (or 128 + signal) when it did, and the CPU time it used over its whole life when asked.
bool WaitProcess(ChildProcess* child, int timeoutMs, int* exitCode, double* cpuSeconds = nullptr);
// True while the process has not ended (it is not reaped).
bool IsRunning(const ChildProcess& child);
// Kills the process and whatever is left in its group, and reaps it.
void KillProcess(ChildProcess* child);
// Sends `signal` to the process, waits up to `graceMs` for it to end, then kills its group.
void StopProcess(ChildProcess* child, int signal, int graceMs);
// Its captured standard error so far.
std::string ReadStderr(const ChildProcess& child);
// A file's whole content; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Writes `text` to the file at `path` (a configuration a started program reads); false when it
// cannot.
bool WriteTextFile(const std::string& path, const std::string& text);
// CPU time (user + system) the process has used so far, in seconds; -1 if unknown.
double ProcessCpuSeconds(const ChildProcess& child);
// A field of the process's /proc status given in KiB, for example its resident memory ("VmRSS")
// or the anonymous part of that ("RssAnon"); -1 if unknown.
long ProcessStatusKiB(const ChildProcess& child, const std::string& field);
