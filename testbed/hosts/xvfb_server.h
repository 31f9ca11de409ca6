// A private Xvfb server for one test, on a display number of its own.
#pragma once

#include <signal.h>

#include <string>
#include <vector>

#include "hosts/process.h"

// Stopped with its owner.
struct XvfbServer {
    ~XvfbServer() { StopProcess(&process, SIGTERM, 10000); }

    ChildProcess process;
    std::string display; // ":N"
    std::string root;    // the system it runs in (LaunchSettings::root), else the machine's
};

// Starts Xvfb (1280 x 1024 x 24 unless `extraArgs` say otherwise) and waits until it accepts
// connections. Returns false with a reason in *error when it cannot.
bool StartXvfb(XvfbServer* server, const std::vector<std::string>& extraArgs, std::string* error);
