#include "hosts/session_bus.h"

#include "hosts/wayland_session.h"

#include <chrono>
#include <fstream>
#include <thread>

namespace {

constexpr const char* kBusConfig = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>@TYPE@</type>
  <listen>unix:path=@PATH@</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

} // namespace

bool StartBusDaemon(const std::string& type, const std::string& path, const std::string& directory,
                    const LaunchSettings& settings, ChildProcess* bus, std::string* error) {
    std::string config = directory + "/" + type + "-bus.conf";
    std::ofstream(config) << Replace(Replace(kBusConfig, "@TYPE@", type), "@PATH@", path);
    if (!StartProcessWith({"dbus-daemon", "--nofork", "--nopidfile", "--config-file=" + config},
                          directory, settings, bus)) {
        *error = "cannot start the " + type + " bus";
        return false;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline && IsRunning(*bus)) {
        if (SocketAccepts(path)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    *error = "the " + type + " bus does not start: " + ReadStderr(*bus);
    return false;
}
