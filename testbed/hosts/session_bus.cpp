#include "hosts/session_bus.h"

#include "hosts/wayland_session.h"

#include <fstream>

namespace {

constexpr const char* kBusPolicy = R"(  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

} // namespace

bool StartBusDaemon(const std::string& type, const std::string& path, const std::string& directory,
                    const LaunchSettings& settings, ChildProcess* bus, std::string* error) {
    std::string config = directory + "/" + type + "-bus.conf";
    std::ofstream(config) << "<busconfig>\n  <type>" << type
                          << "</type>\n  <listen>unix:path=" << path << "</listen>\n"
                          << kBusPolicy;
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
