// A preloadable library that notes the wall-clock time of every glXSwapBuffers call of the
// program it is loaded into, and writes them (nanoseconds, one a line) at exit to the file named
// by TAVIK_SWAP_LOG. The first one is written at once as well, so that a program that is ended by
// a signal still tells its first frame. Used by the host figures script to see frames from
// outside the program.
#include <GL/glx.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

struct SwapLog {
    std::vector<long long> times;
    SwapLog() { times.reserve(1 << 20); }
    ~SwapLog() {
        const char* path = std::getenv("TAVIK_SWAP_LOG");
        if (path == nullptr) {
            return;
        }
        if (FILE* out = std::fopen(path, "w")) {
            for (long long t : times) {
                std::fprintf(out, "%lld\n", t);
            }
            std::fclose(out);
        }
    }
};

SwapLog& Log() {
    static SwapLog log;
    return log;
}

} // namespace

extern "C" void glXSwapBuffers(Display* display, GLXDrawable drawable) {
    using SwapFn = void (*)(Display*, GLXDrawable);
    static SwapFn real = reinterpret_cast<SwapFn>(dlsym(RTLD_NEXT, "glXSwapBuffers"));
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    Log().times.push_back(static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
    real(display, drawable);
    if (Log().times.size() == 1) {
        const char* path = std::getenv("TAVIK_SWAP_LOG");
        if (FILE* out = path != nullptr ? std::fopen(path, "w") : nullptr) {
            std::fprintf(out, "%lld\n", Log().times[0]);
            std::fclose(out);
        }
    }
}
