// Close latency on every host: the time from the close request (the window manager's or the
// compositor's close, sent as the whole-program tests send it) to the process's exit, for the
// viewer and for the bare 25 Hz loop (bench/bare_loop) on the same host, taken in turns. Each
// host is one of testbed/hosts; a host more is one more entry in kHosts. Prints medians; it
// asserts no time. Run one host: close_bench --gtest_filter='*/sway'.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "support/viewer_fixture.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 11; // counted runs of each program, after one uncounted start of each

// The counted runs of each host, ms.
struct Figures {
    std::vector<double> viewer, bare, request;
};
// The hosts measured, in the order they ran.
std::vector<std::pair<std::string, Figures>> table;

double Median(std::vector<double> values) {
    if (values.empty()) {
        return -1;
    }
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The whole-program tests' fixture, on each host in turn.
class CloseLatency : public ViewerTest {
  protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(StartServer()); }

    // Makes `path` the program in bin/.
    void UseProgram(const std::string& path) {
        fs::copy_file(path, root_ + "/bin/tavik", fs::copy_options::overwrite_existing);
        ASSERT_TRUE(desktop_->GiveToProgramUser(root_));
    }

    // One start, first picture and close: ms from the close request to the exit; -1 when it
    // failed.
    double TimeOneClose(double* requestMs) {
        Start(); // its failure is the test's; the run then counts as failed
        WaitUntil([&] { return window_ == 0 || Grab(window_).width > 0; }, 10000);
        if (window_ == 0) {
            return -1;
        }
        auto start = std::chrono::steady_clock::now();
        Close(window_);
        *requestMs = MsSince(start);
        int code = -1;
        bool ended = WaitProcess(viewer_, 10000, &code);
        EXPECT_TRUE(ended && code == 0) << "code " << code << ": " << ReadStderr(*viewer_);
        return ended && code == 0 ? MsSince(start) : -1;
    }
};

TEST_P(CloseLatency, MedianFromCloseRequestToExit) {
    const std::string viewer = NativeBinary();
    Figures figures;
    for (int run = 0; run <= kRuns; ++run) {
        for (bool bare : {false, true}) {
            ASSERT_NO_FATAL_FAILURE(UseProgram(bare ? TAVIK_BARE_LOOP : viewer));
            double request = 0;
            double ms = TimeOneClose(&request);
            ASSERT_GE(ms, 0) << (bare ? "bare loop" : "viewer");
            if (run > 0) {
                (bare ? figures.bare : figures.viewer).push_back(ms);
                figures.request.push_back(request);
            }
        }
    }
    table.emplace_back(GetParam()->name, figures);
}

// The rows of the table: a desktop added to the rig is added here.
const ViewerHost* const kHosts[] = {&kX11Host,       &kOpenboxHost, &kKwinX11Host, &kXfwm4Host,
                                    &kMutterX11Host, &kSwayHost,    &kKwinHost,    &kGnomeHost};
INSTANTIATE_TEST_SUITE_P(Host, CloseLatency, ::testing::ValuesIn(kHosts),
                         [](const ::testing::TestParamInfo<const ViewerHost*>& info) {
                             return std::string(info.param->name);
                         });

void PrintRuns(const char* label, const std::vector<double>& runs) {
    std::printf("  %-8s", label);
    for (double ms : runs) {
        std::printf(" %5.1f", ms);
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The machine's load over the last minute, before and after, as a note beside the figures.
    double loadBefore = -1, loadAfter = -1;
    getloadavg(&loadBefore, 1);
    int result = RUN_ALL_TESTS();
    getloadavg(&loadAfter, 1);
    std::printf("\nclose request to process exit, ms (%d runs each, in turns; load average %.1f "
                "before, %.1f after)\n",
                kRuns, loadBefore, loadAfter);
    for (const auto& [host, figures] : table) {
        std::printf("%s:\n", host.c_str());
        PrintRuns("viewer", figures.viewer);
        PrintRuns("bare", figures.bare);
    }
    std::printf("\n%-12s %8s %8s %8s %10s\n", "host", "viewer", "bare", "margin", "request");
    std::printf("%-12s %8s %8s %8s %10s\n", "", "(<= 50)", "", "(<= 10)", "");
    for (const auto& [host, figures] : table) {
        double viewer = Median(figures.viewer), bare = Median(figures.bare);
        std::printf("%-12s %8.1f %8.1f %8.1f %10.1f\n", host.c_str(), viewer, bare, viewer - bare,
                    Median(figures.request));
    }
    std::printf("(medians; from the moment the close is sent: 'request' is how long the sending\n"
                " itself took, e.g. starting wmctrl or swaymsg, and is part of both figures)\n");
    return result;
}
