// Starting a program as a user would (its own working directory and environment) and waiting
// for it with a time limit.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct ChildProcess {
    pid_t pid = -1;
    std::string stderrPath; // where its standard error went
};

// Starts `argv` in `workingDirectory` with DISPLAY set to `display`, standard error captured
// in a temporary file. Returns false if it could not be started.
bool StartProcess(const std::vector<std::string>& argv, const std::string& workingDirectory,
                  const std::string& display, ChildProcess* child);
// Waits up to `timeoutMs` for the process to end; true with its exit code (or 128 + signal)
// when it did.
bool WaitProcess(ChildProcess* child, int timeoutMs, int* exitCode);
// True while the process has not ended (it is not reaped).
bool IsRunning(const ChildProcess& child);
// Kills the process if it still runs and reaps it.
void KillProcess(ChildProcess* child);
// Its captured standard error so far.
std::string ReadStderr(const ChildProcess& child);
// CPU time (user + system) the process has used so far, in seconds; -1 if unknown.
double ProcessCpuSeconds(const ChildProcess& child);
// Resident memory of the process in KiB; -1 if unknown.
long ProcessResidentKiB(const ChildProcess& child);
