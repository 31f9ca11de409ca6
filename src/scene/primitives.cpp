// The axes and the box. Each routine saves and restores the modelview matrix around its own
// scaling and touches no colour, texture or enable state beyond what it draws.
#include "scene/primitives.h"

#include <GL/glew.h>

void DrawAxes(float scale) {
    glPushMatrix();
    glScalef(scale, scale, scale);
    glBegin(GL_LINES);
    glColor3f(0.0f, 0.0f, 1.0f);
    glVertex3f(-10.0f, 0.0f, 0.0f);
    glVertex3f(10.0f, 0.0f, 0.0f);
    glColor3f(0.0f, 1.0f, 0.0f);
    glVertex3f(0.0f, -10.0f, 0.0f);
    glVertex3f(0.0f, 10.0f, 0.0f);
    glColor3f(1.0f, 0.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, -10.0f);
    glVertex3f(0.0f, 0.0f, 10.0f);
    glEnd();
    glPopMatrix();
}

namespace {

struct BoxFace {
    GLint normal[3];
    GLint corners[4][3];
};

// The unit cube's faces (corners at +-1) in drawing order: bottom, top, left, right, back, front.
constexpr BoxFace kBoxFaces[6] = {
    {{0, -1, 0}, {{-1, -1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, -1, -1}}},
    {{0, 1, 0}, {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}}},
    {{-1, 0, 0}, {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}}},
    {{1, 0, 0}, {{1, -1, -1}, {1, -1, 1}, {1, 1, 1}, {1, 1, -1}}},
    {{0, 0, -1}, {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1}}},
    {{0, 0, 1}, {{-1, -1, 1}, {-1, 1, 1}, {1, 1, 1}, {1, -1, 1}}},
};

// Every face maps the whole texture once, corners in the same order.
constexpr GLfloat kFaceTexCoords[4][2] = {{0.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 1.0f}, {1.0f, 0.0f}};

} // namespace

void DrawBox(float sizeX, float sizeY, float sizeZ) {
    glPushMatrix();
    // The geometry is a cube with corners at +-1, so half the sizes give the requested edges.
    glScalef(sizeX / 2, sizeY / 2, sizeZ / 2);
    glBegin(GL_QUADS);
    for (const BoxFace& face : kBoxFaces) {
        glNormal3i(face.normal[0], face.normal[1], face.normal[2]);
        for (int corner = 0; corner < 4; ++corner) {
            glTexCoord2f(kFaceTexCoords[corner][0], kFaceTexCoords[corner][1]);
            glVertex3i(face.corners[corner][0], face.corners[corner][1], face.corners[corner][2]);
        }
    }
    glEnd();
    glPopMatrix();
}
