// CPU time of one frame (RenderScene, glFlush, SwapBuffers) at the window's 465 x 288 client
// size, beside a bare clear and swap on the same context, and their ratio. Also counts the
// allocations the program's own code makes per frame (operator new), which should be none.
// Also the start-up's choice of pixel format, beside ranking every GLX configuration.
#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>

#include "host/x11/layer.h"
#include "scene/gl_setup.h"
#include "scene/render_scene.h"
#include "gl_window.h"

namespace {

std::atomic<long> allocations{0};
GlWindow window;

void BM_Frame(benchmark::State& state) {
    long before = allocations.load();
    for (auto _ : state) {
        RenderScene();
        glFlush();
        SwapBuffers(wglGetCurrentDC());
    }
    glFinish();
    state.counters["allocs/frame"] = benchmark::Counter(
        static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_Frame)->Unit(benchmark::kMicrosecond)->Repetitions(3)->ReportAggregatesOnly(true);

void BM_BareClearSwap(benchmark::State& state) {
    for (auto _ : state) {
        glClearColor(0.1f, 0.1f, 0.1f, 0.5f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glFlush();
        SwapBuffers(wglGetCurrentDC());
    }
    glFinish();
}
BENCHMARK(BM_BareClearSwap)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

void BM_ChoosePixelFormat(benchmark::State& state) {
    const PIXELFORMATDESCRIPTOR pfd = ViewerPixelFormatRequest();
    for (auto _ : state) {
        benchmark::DoNotOptimize(ChoosePixelFormat(window.hdc, &pfd));
    }
}
BENCHMARK(BM_ChoosePixelFormat)->Unit(benchmark::kMillisecond)->MinTime(0.5);

// What the choice cost when it described every configuration.
void BM_RankEveryConfiguration(benchmark::State& state) {
    const PIXELFORMATDESCRIPTOR pfd = ViewerPixelFormatRequest();
    Display* display = Layer().display;
    for (auto _ : state) {
        int count = 0;
        GLXFBConfig* list = glXGetFBConfigs(display, DefaultScreen(display), &count);
        std::vector<FramebufferConfig> all;
        for (int i = 0; i < count; ++i) {
            all.push_back(DescribeConfigX11(display, list[i]));
        }
        XFree(list);
        benchmark::DoNotOptimize(ChooseClosestConfig(all.data(), count, pfd));
    }
}
BENCHMARK(BM_RankEveryConfiguration)->Unit(benchmark::kMillisecond)->MinTime(0.5);

// Prints the usual table and remembers the median CPU time of each benchmark.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.aggregate_name == "median") {
                medians[run.run_name.function_name] = run.GetAdjustedCPUTime();
            }
        }
    }
    std::map<std::string, double> medians;
};

} // namespace

// NOTE: GCC takes the free() below for a mismatch with the replaced operator new, which is
// malloc underneath; the pairing is right.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

int main(int argc, char** argv) {
    std::string error;
    if (!OpenGlWindow(&window, &error)) {
        std::fprintf(stderr, "frame_bench: %s\n", error.c_str());
        return 1;
    }
    InitGL();
    OnSize(window.hwnd, WM_SIZE, 0, MAKELPARAM(465, 288));
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    double frame = reporter.medians["BM_Frame"];
    double bare = reporter.medians["BM_BareClearSwap"];
    if (frame > 0 && bare > 0) {
        std::printf("frame / bare clear+swap CPU time: %.3f (%.1f us vs %.1f us)\n", frame / bare,
                    frame, bare);
    }
    CloseGlWindow(&window);
    return 0;
}
