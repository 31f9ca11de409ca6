// A preloadable library that notes the wall-clock time of every glXSwapBuffers and eglSwapBuffers
// call of the program it is loaded into (so the X11 and the Wayland host alike), and writes them
// (nanoseconds, one a line) at exit to the file named by TAVIK_SWAP_LOG. The first one is written
// at once as well, so that a program that is ended by a signal still tells its first frame. Used
// by the host figures script to see frames from outside the program.
#include <EGL/egl.h>
#include <GL/glx.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

// Writes the first `count` times, one a line, to the file named by TAVIK_SWAP_LOG.
void Write(const std::vector<long long>& times, size_t count) {
    const char* path = std::getenv("TAVIK_SWAP_LOG");
    if (FILE* out = path != nullptr ? std::fopen(path, "w") : nullptr) {
        for (size_t i = 0; i < count; ++i) {
            std::fprintf(out, "%lld\n", times[i]);
        }
        std::fclose(out);
    }
}

struct SwapLog {
    std::vector<long long> times;
    SwapLog() { times.reserve(1 << 20); }
    ~SwapLog() { Write(times, times.size()); }
};

SwapLog& Log() {
    static SwapLog log;
    return log;
}

void Note() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    Log().times.push_back(static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
}

// After the first frame has been presented.
void WriteFirst() {
    if (Log().times.size() == 1) {
        Write(Log().times, 1);
    }
}

// The function the program would have called: the next definition after this library, or, for a
// library the program loaded itself with dlopen (the Wayland host loads EGL so), the one in it.
void* Real(const char* name, const char* library) {
    void* real = dlsym(RTLD_NEXT, name);
    if (real == nullptr) {
        if (void* handle = dlopen(library, RTLD_LAZY | RTLD_NOLOAD)) {
            real = dlsym(handle, name);
        }
    }
    if (real == nullptr) {
        std::fprintf(stderr, "swap_log: no %s in the program\n", name);
        std::abort();
    }
    return real;
}

} // namespace

extern "C" void glXSwapBuffers(Display* display, GLXDrawable drawable) {
    using SwapFn = void (*)(Display*, GLXDrawable);
    static SwapFn real = reinterpret_cast<SwapFn>(Real("glXSwapBuffers", "libGLX.so.0"));
    Note();
    real(display, drawable);
    WriteFirst();
}

extern "C" EGLBoolean eglSwapBuffers(EGLDisplay display, EGLSurface surface) {
    using SwapFn = EGLBoolean (*)(EGLDisplay, EGLSurface);
    static SwapFn real = reinterpret_cast<SwapFn>(Real("eglSwapBuffers", "libEGL.so.1"));
    Note();
    EGLBoolean result = real(display, surface);
    WriteFirst();
    return result;
}
