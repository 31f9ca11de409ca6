// A long run of the viewer, with the frames it draws and its resident memory printed at the
// start and the end. The test command runs it for a minute; bench/long_run.sh runs it for an
// hour (--seconds=3600). It asserts only what holds on a loaded machine too: frames were drawn
// to the end, and resident memory grew by less than 1 MiB after the warm-up.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/viewer_fixture.h"

namespace {

int runSeconds = 60;
// Mesa compiles its shaders and fills its caches during the first frames.
constexpr int kWarmUpSeconds = 5;
constexpr long kAllowedGrowthKiB = 1024;

class ViewerLongRun : public ViewerRig {
  protected:
    ViewerLongRun() : ViewerRig(kX11Host) {}
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(StartServer()); }
};

// Of the resident memory, how much is the process's own (heap, stacks) and how much is mapped
// files (libraries, the driver), as "(A anon, F file)": growth of the first is what a leak shows.
std::string ResidentParts(const ChildProcess& viewer) {
    return "(" + std::to_string(ProcessStatusKiB(viewer, "RssAnon")) + " anon, " +
           std::to_string(ProcessStatusKiB(viewer, "RssFile")) + " file)";
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST_F(ViewerLongRun, KeepsDrawingWithoutGrowingInMemory) {
    ASSERT_GT(runSeconds, kWarmUpSeconds);
    ASSERT_NO_FATAL_FAILURE(Start());
    auto start = std::chrono::steady_clock::now();
    long rssShown = ProcessStatusKiB(*viewer_, "VmRSS");
    ClientArea area = {};
    ASSERT_TRUE(Geometry(window_, &area));
    FrameWatcher watcher = WatchFrames(window_, area.width, area.height);
    std::printf("run of %d s of %s at %d x %d; resident memory when shown: %ld KiB\n", runSeconds,
                NativeBinary().c_str(), area.width, area.height, rssShown);

    // Frames are counted as changes of the box patch, grabbed far more often than the viewer
    // draws, so two frames are seen as one only when they come less than 4 ms apart.
    const int reportEvery = std::max(10, runSeconds / 12);
    long frames = 0, framesAtStart = 0, framesAtLastReport = 0;
    long rssStart = -1;
    double cpuStart = 0;
    int nextReport = kWarmUpSeconds;
    while (SecondsSince(start) < runSeconds) {
        frames += watcher.Changed();
        double elapsed = SecondsSince(start);
        if (elapsed >= nextReport) {
            long rss = ProcessStatusKiB(*viewer_, "VmRSS");
            ASSERT_GE(rss, 0) << "the viewer ended: " << ReadStderr(*viewer_);
            if (rssStart < 0) {
                rssStart = rss;
                framesAtStart = frames;
                cpuStart = ProcessCpuSeconds(*viewer_);
                std::printf("start (after %d s of warm-up): %ld frames, %ld KiB resident %s\n",
                            kWarmUpSeconds, frames, rss, ResidentParts(*viewer_).c_str());
            } else {
                std::printf("  %5.0f s: %ld frames, %ld KiB resident %s\n", elapsed, frames, rss,
                            ResidentParts(*viewer_).c_str());
            }
            framesAtLastReport = frames;
            nextReport += reportEvery;
            std::fflush(stdout);
        }
        SleepMs(4);
    }
    long rssEnd = ProcessStatusKiB(*viewer_, "VmRSS");
    double cpuEnd = ProcessCpuSeconds(*viewer_);
    double measured = runSeconds - kWarmUpSeconds;
    std::printf("end (after %d s): %ld frames, %ld KiB resident %s\n", runSeconds, frames, rssEnd,
                ResidentParts(*viewer_).c_str());
    std::printf("after the warm-up: %ld frames in %.0f s (%.1f per second, 25 nominal), "
                "%+ld KiB resident, %.1f s of CPU (%.0f %% of one core)\n",
                frames - framesAtStart, measured, (frames - framesAtStart) / measured,
                rssEnd - rssStart, cpuEnd - cpuStart, 100 * (cpuEnd - cpuStart) / measured);

    EXPECT_GT(frames - framesAtStart, 0) << "no frames after the warm-up";
    EXPECT_GT(frames - framesAtLastReport, 0)
        << "no frames since " << nextReport - reportEvery << " s";
    EXPECT_LT(rssEnd - rssStart, kAllowedGrowthKiB);
    Close(window_);
    ExpectEndsWithZeroSilently(viewer_, limits_.loadedExitMs, "close after the long run");
}

} // namespace

// --seconds=N sets the length of the run (60 by default), --binary=PATH the viewer it runs (the
// one built beside the test by default); gtest's own flags are taken first.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--seconds=", 10) == 0) {
            runSeconds = std::atoi(argv[i] + 10);
        } else if (std::strncmp(argv[i], "--binary=", 9) == 0) {
            UseNativeBinary(argv[i] + 9);
        } else {
            std::fprintf(stderr, "unknown argument %s (use --seconds=N, --binary=PATH)\n", argv[i]);
            return 2;
        }
    }
    return RUN_ALL_TESTS();
}
