#include "feedback.h"

namespace {

constexpr float kExtent = 20.0f;

FeedbackVertex ReadVertex(const std::vector<GLfloat>& buffer, size_t* at) {
    const GLfloat* v = &buffer[*at];
    *at += 11; // x y z, r g b a, s t r q
    // Window coordinates back to object space; the colour and texture coordinates as they are.
    return {v[0] - kExtent, v[1] - kExtent, -(2.0f * v[2] - 1.0f) * kExtent,
            v[3],           v[4],           v[5],
            v[6],           v[7],           v[8]};
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
        if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN || token == GL_POLYGON_TOKEN) {
            // A line has two vertices; a polygon's count comes first.
            const bool line = token != GL_POLYGON_TOKEN;
            const int n = line ? 2 : static_cast<int>(buffer[at++]);
            primitives.push_back({line ? GLenum{GL_LINE_TOKEN} : GLenum{GL_POLYGON_TOKEN}, {}});
            for (int i = 0; i < n; ++i) {
                primitives.back().vertices.push_back(ReadVertex(buffer, &at));
            }
        } else if (token == GL_POINT_TOKEN || token == GL_BITMAP_TOKEN ||
                   token == GL_DRAW_PIXEL_TOKEN || token == GL_COPY_PIXEL_TOKEN) {
            ReadVertex(buffer, &at);
        } else {
            at += 1; // pass-through marker and its value
        }
    }
    return primitives;
}
