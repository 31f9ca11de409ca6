#include "feedback.h"

namespace {

constexpr float kExtent = 20.0f;

FeedbackVertex ReadVertex(const std::vector<GLfloat>& buffer, size_t* at) {
    const GLfloat* v = &buffer[*at];
    *at += 11; // x y z, r g b a, s t r q
    FeedbackVertex vertex;
    vertex.x = v[0] - kExtent;
    vertex.y = v[1] - kExtent;
    vertex.z = -(2.0f * v[2] - 1.0f) * kExtent;
    vertex.r = v[3];
    vertex.g = v[4];
    vertex.b = v[5];
    vertex.a = v[6];
    vertex.s = v[7];
    vertex.t = v[8];
    return vertex;
}

} // namespace

std::vector<FeedbackPrimitive> CaptureFeedback(const std::function<void()>& draw) {
    std::vector<GLfloat> buffer(8192);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
    glViewport(0, 0, static_cast<GLsizei>(2 * kExtent), static_cast<GLsizei>(2 * kExtent));
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(-kExtent, kExtent, -kExtent, kExtent, -kExtent, kExtent);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRenderMode(GL_FEEDBACK);
    draw();
    GLint count = glRenderMode(GL_RENDER);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);

    std::vector<FeedbackPrimitive> primitives;
    for (size_t at = 0; count > 0 && at < static_cast<size_t>(count);) {
        GLenum token = static_cast<GLenum>(buffer[at++]);
        if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            FeedbackPrimitive line{GL_LINE_TOKEN, {}};
            line.vertices.push_back(ReadVertex(buffer, &at));
            line.vertices.push_back(ReadVertex(buffer, &at));
            primitives.push_back(line);
        } else if (token == GL_POLYGON_TOKEN) {
            int n = static_cast<int>(buffer[at++]);
            FeedbackPrimitive polygon{GL_POLYGON_TOKEN, {}};
            for (int i = 0; i < n; ++i) {
                polygon.vertices.push_back(ReadVertex(buffer, &at));
            }
            primitives.push_back(polygon);
        } else if (token == GL_POINT_TOKEN || token == GL_BITMAP_TOKEN ||
                   token == GL_DRAW_PIXEL_TOKEN || token == GL_COPY_PIXEL_TOKEN) {
            ReadVertex(buffer, &at);
        } else {
            at += 1; // pass-through marker and its value
        }
    }
    return primitives;
}
