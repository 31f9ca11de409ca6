// The floor for the viewer's animation and for its close: the project's RenderScene drawn at 25 Hz
// on a plain window of the viewer's size (X11 with GLX, or Wayland with EGL), with no dialog,
// queue or timer machinery around it, waking between frames as soon as the window system sends
// anything. With SECONDS it prints the CPU time it used per second over the measured seconds; with
// none it runs until its window is closed and picks the window system as the viewer does.
// Usage: bare_loop [SECONDS [x11|wayland]], from a directory where ../res/grass.bmp resolves.
#include <GL/glew.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "bare_window.h"
#include "image/texture.h"
#include "scene/gl_setup.h"
#include "scene/render_scene.h"

namespace {

// The CPU time of all of the process's threads.
double CpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Wayland when a compositor is named and the session is not an X11 one.
bool WaylandFromEnvironment() {
    const char* socket = std::getenv("WAYLAND_DISPLAY");
    const char* session = std::getenv("XDG_SESSION_TYPE");
    return socket != nullptr && *socket != '\0' &&
           (session == nullptr || std::strcmp(session, "x11") != 0);
}

} // namespace

int MillisecondsUntil(Deadline deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Deadline::clock::now());
    return std::max(0, static_cast<int>(left.count()));
}

int main(int argc, char** argv) {
    int seconds = argc > 1 ? std::atoi(argv[1]) : 0; // 0: until the window is closed
    bool wayland = argc > 2 ? std::strcmp(argv[2], "wayland") == 0 : WaylandFromEnvironment();
    std::unique_ptr<BareWindow> window = wayland ? NewBareWindowWayland() : NewBareWindowX11();
    if (const char* reason = window->Open(465, 288)) {
        std::fprintf(stderr, "bare_loop: %s\n", reason);
        return 1;
    }
    // NOTE: under EGL, Debian's GLX-built GLEW loads the OpenGL entry points and then fails on
    // the GLX extensions; the entry points are what the scene needs.
    glewExperimental = GL_TRUE;
    glewInit();
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    // The same grass texture as the viewer (from ../res/grass.bmp), so both draw the same frame.
    LoadTexture();
    OnSize(nullptr, 0, 0, MAKELPARAM(465, 288));

    Deadline deadline = Deadline::clock::now();
    double cpuAtStart = 0;
    int frames = 25 * (seconds + 1);
    for (int frame = 0; seconds == 0 || frame < frames; ++frame) {
        if (frame == 25) {
            cpuAtStart = CpuSeconds(); // after a one-second warm-up
        }
        RenderScene();
        glFlush();
        window->Swap();
        deadline += std::chrono::milliseconds(40);
        if (!window->WaitUntil(deadline)) {
            return 0; // closed: the window goes with `window`
        }
    }
    std::printf("%.6f\n", (CpuSeconds() - cpuAtStart) / seconds);
    return 0;
}
