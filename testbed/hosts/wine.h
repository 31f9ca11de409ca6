// Wine for the tests: one 64-bit prefix under the build tree, created on first use and reused by
// later runs, quiet, and without the Mono and Gecko installers or menu entries in the user's home.
#pragma once

#include <string>
#include <vector>

#include "hosts/process.h"

// Points this process and the Wine processes it starts at the tests' prefix.
void UseTestWinePrefix();
// Makes `prefix` the tests' prefix instead of the tree's shared one (for a test that needs a
// prefix of its own).
void UseWinePrefix(const std::string& prefix);
// Runs a Wine program (argv[0] is wine or wineserver) to its end; true when it ended within the
// time with code 0. Its standard error (or why it did not end) goes to *output.
bool RunWineTool(const std::vector<std::string>& argv, const std::string& display, int timeoutMs,
                 std::string* output);
// The same for a Windows program under Wine, `arguments` after it.
bool RunUnderWine(const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& display, int timeoutMs, std::string* output);
// Waits until the prefix's server has ended, and with it every program of the prefix; false when
// it has not within two minutes, with the reason in *output.
bool WaitForWineServerEnd(const std::string& display, std::string* output);
// Creates the prefix with `wineboot -i` on `display` unless a complete one is there; false with
// the reason in *error when it cannot.
bool EnsureWinePrefix(const std::string& display, std::string* error);
// Starts a Windows program under Wine (`arguments` follow the program) in `workingDirectory`.
bool StartUnderWine(const std::string& program, const std::vector<std::string>& arguments,
                    const std::string& workingDirectory, const std::string& display,
                    ChildProcess* child);
// Ends every process of the prefix and its wineserver, so that the next test starts afresh on
// its own display.
void StopWine();
