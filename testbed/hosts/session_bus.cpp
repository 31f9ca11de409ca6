#include "hosts/session_bus.h"

#include "hosts/wayland_session.h"

#include <fstream>

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
    bool accepts = false;
    WaitUntil([&] { return !IsRunning(*bus) || (accepts = SocketAccepts(path)); }, 10000, 10);
    if (accepts) {
        return true;
    }
    *error = "the " + type + " bus does not start: " + ReadStderr(*bus);
    return false;
}
