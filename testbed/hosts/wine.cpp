#include "hosts/wine.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Written once `wineboot -i` and the processes it started have finished: a prefix without it
// was interrupted half-way and is made again.
const char kReadyStamp[] = "tavik-prefix-ready";

// The prefix in use: the tree's shared one unless UseWinePrefix named another.
std::string prefixInUse = TAVIK_WINE_PREFIX;

// A Windows program under Wine, `arguments` after it.
std::vector<std::string> WineCommand(const std::string& program,
                                     const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {TAVIK_WINE, program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

} // namespace

void UseWinePrefix(const std::string& prefix) {
    prefixInUse = prefix;
}

bool RunWineTool(const std::vector<std::string>& argv, const std::string& display, int timeoutMs,
                 std::string* output) {
    std::string ignored;
    return RunForOutput(argv, X11Settings(display), timeoutMs, &ignored, output);
}

bool RunUnderWine(const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& display, int timeoutMs, std::string* output) {
    return RunWineTool(WineCommand(program, arguments), display, timeoutMs, output);
}

bool WaitForWineServerEnd(const std::string& display, std::string* output) {
    return RunWineTool({TAVIK_WINESERVER, "-w"}, display, 120000, output);
}

void UseTestWinePrefix() {
    setenv("WINEPREFIX", prefixInUse.c_str(), 1);
    setenv("WINEARCH", "win64", 1);
    setenv("WINEDEBUG", "-all", 1);
    // No Mono or Gecko download prompts, no menu entries or file associations in $HOME.
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d", 1);
}

bool EnsureWinePrefix(const std::string& display, std::string* error) {
    UseTestWinePrefix();
    fs::path prefix = prefixInUse;
    if (fs::exists(prefix / kReadyStamp)) {
        return true;
    }
    std::error_code ignored;
    fs::remove_all(prefix, ignored);
    std::string output;
    if (!RunWineTool({TAVIK_WINE, "wineboot", "-i"}, display, 300000, &output)) {
        *error = "wineboot -i failed to create " + prefix.string() + ":\n" + output;
        return false;
    }
    // wineboot returns before the services it started have settled; wait for them.
    if (!WaitForWineServerEnd(display, &output)) {
        *error = "the wineserver of the new prefix did not end:\n" + output;
        return false;
    }
    std::ofstream(prefix / kReadyStamp) << "created by the Wine tests\n";
    return true;
}

bool StartUnderWine(const std::string& program, const std::vector<std::string>& arguments,
                    const std::string& workingDirectory, const std::string& display,
                    ChildProcess* child) {
    return StartProcessWith(WineCommand(program, arguments), workingDirectory, X11Settings(display),
                            child);
}

void StopWine() {
    std::string output;
    RunWineTool({TAVIK_WINESERVER, "-k"}, "", 30000, &output);
    RunWineTool({TAVIK_WINESERVER, "-w"}, "", 30000, &output);
}
