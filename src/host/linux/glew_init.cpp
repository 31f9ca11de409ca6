// glewInit for both Linux window systems in one program. Debian's GLEW is built for GLX: its
// glewInit loads the OpenGL entry points (glewContextInit, through glvnd's dispatch, which serves
// any current context) and then the GLX extensions, which need a current GLX display. With an EGL
// context current that second step fails with GLEW_ERROR_NO_GLX_DISPLAY although OpenGL itself was
// loaded. The link redirects the program's calls to glewInit here (--wrap=glewInit).
#include <GL/glew.h>

#include "host/linux/layer.h"

extern "C" GLenum __real_glewInit(void);

// NOTE: the OpenGL part of glewInit (glewContextInit) is static in GLEW 2.2, so the whole of
// glewInit runs and only the GLX step's "no display" is forgiven, and only under an EGL context.
extern "C" GLenum __wrap_glewInit(void) {
    GLenum result = __real_glewInit();
    if (result == GLEW_ERROR_NO_GLX_DISPLAY && EglContextCurrentWayland()) {
        return GLEW_OK;
    }
    return result;
}
