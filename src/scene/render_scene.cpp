// One frame of the animated scene, drawn on every tick of the animation timer.
#include "scene/render_scene.h"

#include <GL/glew.h>

#include <cmath>

#include "scene/primitives.h"

float AdvanceAngle(float angle) {
    if (angle + 1.0f == angle) {
        angle = std::fmod(angle, 360.0f);
    }
    return angle + 1.0f;
}

void RenderScene() {
    glClearColor(0.1f, 0.1f, 0.1f, 0.5f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glLoadIdentity();
    glTranslatef(0.0f, -2.0f, -10.0f);
    fAngle = AdvanceAngle(fAngle);
    glRotatef(fAngle, 0.0f, 1.0f, 0.0f);
    DrawAxes(1.0f);
    glColor3f(1.0f, 1.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    // NOTE: GLEW provides no glActiveTexture when its initialisation failed; unit 0 is active
    // by default, so skipping the selection then changes nothing.
    if (glActiveTexture != nullptr) {
        glActiveTexture(GL_TEXTURE0);
    }
    glBindTexture(GL_TEXTURE_2D, uiTexture);
    DrawBox(2.0f, 1.0f, 1.0f);
}

INT_PTR OnTimer(HWND, UINT, WPARAM wParam, LPARAM) {
    if (wParam != ID_TIMER) {
        return TRUE;
    }
    RenderScene();
    HDC hdc = wglGetCurrentDC();
    glFlush();
    SwapBuffers(hdc);
    return TRUE;
}
