// The floor for the viewer's animation: the project's RenderScene drawn at 25 Hz on a plain GLX
// window of the viewer's size, with no dialog, queue or timer machinery around it. Prints the
// CPU time it used per second over the measured seconds.
// Usage: bare_loop [SECONDS=10], from a directory where ../res/grass.bmp resolves.
#include <GL/glew.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "image/texture.h"
#include "scene/gl_setup.h"
#include "scene/render_scene.h"

namespace {

double CpuSeconds() {
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fputs("bare_loop: no display\n", stderr);
        return 1;
    }
    int attributes[] = {GLX_X_RENDERABLE,
                        True,
                        GLX_DRAWABLE_TYPE,
                        GLX_WINDOW_BIT,
                        GLX_RENDER_TYPE,
                        GLX_RGBA_BIT,
                        GLX_DOUBLEBUFFER,
                        True,
                        GLX_RED_SIZE,
                        8,
                        GLX_GREEN_SIZE,
                        8,
                        GLX_BLUE_SIZE,
                        8,
                        GLX_DEPTH_SIZE,
                        24,
                        None};
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display, DefaultScreen(display), attributes, &count);
    if (configs == nullptr || count == 0) {
        std::fputs("bare_loop: no GLX configuration\n", stderr);
        return 1;
    }
    XVisualInfo* visual = glXGetVisualFromFBConfig(display, configs[0]);
    XSetWindowAttributes windowAttributes = {};
    windowAttributes.colormap =
        XCreateColormap(display, DefaultRootWindow(display), visual->visual, AllocNone);
    Window window =
        XCreateWindow(display, DefaultRootWindow(display), 0, 0, 465, 288, 0, visual->depth,
                      InputOutput, visual->visual, CWColormap, &windowAttributes);
    XMapWindow(display, window);
    GLXContext context = glXCreateNewContext(display, configs[0], GLX_RGBA_TYPE, nullptr, True);
    glXMakeContextCurrent(display, window, window, context);
    glewExperimental = GL_TRUE;
    glewInit();
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    // The same grass texture as the viewer (from ../res/grass.bmp), so both draw the same frame.
    LoadTexture();
    OnSize(nullptr, 0, 0, MAKELPARAM(465, 288));

    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    double cpuAtStart = 0;
    int frames = 25 * (seconds + 1);
    for (int frame = 0; frame < frames; ++frame) {
        if (frame == 25) {
            cpuAtStart = CpuSeconds(); // after a one-second warm-up
        }
        RenderScene();
        glFlush();
        glXSwapBuffers(display, window);
        deadline.tv_nsec += 40000000;
        if (deadline.tv_nsec >= 1000000000) {
            deadline.tv_nsec -= 1000000000;
            ++deadline.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
    }
    std::printf("%.6f\n", (CpuSeconds() - cpuAtStart) / seconds);
    return 0;
}
