// What a program started in another system's root may do to it and to the machine: it cannot
// write the root, which every host of that system shares, and it ends when its launcher does,
// even when the launcher is killed alone.
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/viewer_fixture.h"

namespace {

LaunchSettings InRoot() {
    LaunchSettings settings;
    settings.root = TAVIK_SYSTEM_ROOT;
    return settings;
}

TEST(SystemRoot, ProgramsThereCannotWriteIt) {
    // /var/tmp is writable by anyone in the root itself, so only the bind keeps it read-only.
    std::string output, errors;
    EXPECT_FALSE(
        RunForOutput({"touch", "/var/tmp/tavik-write-probe"}, InRoot(), 10000, &output, &errors));
    EXPECT_NE(errors.find("Read-only file system"), std::string::npos) << errors;
    EXPECT_FALSE(std::filesystem::exists(TAVIK_SYSTEM_ROOT "/var/tmp/tavik-write-probe"));
    // Its home, where Mesa and the desktops write, is its own.
    EXPECT_TRUE(
        RunForOutput({"sh", "-c", "touch \"$HOME/.probe\""}, InRoot(), 10000, &output, &errors))
        << errors;
}

TEST(SystemRoot, ProgramsThereEndWithTheirLauncherKilledAlone) {
    ChildProcess launcher;
    ASSERT_TRUE(StartProcessWith({"sleep", "300"}, "/tmp", InRoot(), &launcher));
    // The program runs as the launcher's child, once the launcher has set the root up.
    pid_t program = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::ifstream children("/proc/" + std::to_string(launcher.pid) + "/task/" +
                                   std::to_string(launcher.pid) + "/children");
            return static_cast<bool>(children >> program) &&
                   ReadFile("/proc/" + std::to_string(program) + "/comm") == "sleep\n";
        },
        10000));
    kill(launcher.pid, SIGKILL);
    EXPECT_TRUE(WaitUntil([&] { return kill(program, 0) != 0; }, 5000))
        << "the program in the root outlived its killed launcher";
    KillProcess(&launcher);
}

} // namespace
