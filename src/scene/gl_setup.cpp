// GLEW initialisation, the fixed rendering state and the perspective projection.
#include "scene/gl_setup.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <cstdio>

namespace {

// GLEW's descriptions are plain ASCII; anything else is shown as '?' rather than guessed at.
void WidenText(const char* narrow, wchar_t* wide, size_t capacity) {
    size_t i = 0;
    for (; narrow[i] != '\0' && i + 1 < capacity; ++i) {
        unsigned char c = static_cast<unsigned char>(narrow[i]);
        wide[i] = c < 0x80 ? static_cast<wchar_t>(c) : L'?';
    }
    wide[i] = L'\0';
}

} // namespace

void InitGL() {
    glewExperimental = GL_TRUE;
    GLenum result = glewInit();
    if (result != GLEW_OK) {
        char strMsg[1000];
        std::snprintf(strMsg, sizeof strMsg, "%s",
                      reinterpret_cast<const char*>(glewGetErrorString(result)));
        wchar_t wideMsg[1000];
        WidenText(strMsg, wideMsg, sizeof wideMsg / sizeof wideMsg[0]);
        MessageBoxW(nullptr, wideMsg, L"Error Glew", MB_OK);
    }
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glShadeModel(GL_SMOOTH);
}

INT_PTR OnSize(HWND, UINT, WPARAM, LPARAM lParam) {
    int width = LOWORD(lParam);
    int height = HIWORD(lParam);
    if (height == 0) {
        height = 1;
    }
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    float aspect = static_cast<float>(width) / static_cast<float>(height);
    gluPerspective(45.0, static_cast<double>(aspect), 0.1, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    return TRUE;
}
