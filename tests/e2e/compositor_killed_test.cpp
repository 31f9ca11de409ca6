// The compositor killed under a running viewer, on each compositor among the test program's hosts
// that may be killed: the layer's message, exit code 1, at once, and no busy loop meanwhile.
#include <algorithm>
#include <csignal>

#include "support/viewer_fixture.h"

namespace {

using CompositorKilled = ViewerTest;

TEST_P(CompositorKilled, EndsItPromptlyWithAMessage) {
    ASSERT_NO_FATAL_FAILURE(Start());
    WaitForPicture(window_); // its first frames on screen
    EXPECT_EQ(
        EndServerAndExpectPromptEnd(viewer_, SIGKILL, "the connection to the compositor was lost"),
        1);
}

std::vector<const ViewerHost*> KillableHosts() {
    std::vector<const ViewerHost*> hosts = {TAVIK_VIEWER_HOSTS};
    hosts.erase(std::remove_if(hosts.begin(), hosts.end(),
                               [](const ViewerHost* host) { return !host->killable; }),
                hosts.end());
    return hosts;
}
INSTANTIATE_TEST_SUITE_P(Host, CompositorKilled, ::testing::ValuesIn(KillableHosts()));

} // namespace
