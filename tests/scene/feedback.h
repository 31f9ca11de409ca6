// Captures what a drawing routine sends down the pipeline, through OpenGL's feedback mode
// (GL_3D_COLOR_TEXTURE), and maps window coordinates back to object space.
#pragma once

#include <GL/glew.h>

#include <functional>
#include <vector>

struct FeedbackVertex {
    float x, y, z;    // object coordinates under the identity modelview
    float r, g, b, a; // colour
    float s, t;       // texture coordinates
};

struct FeedbackPrimitive {
    GLenum token; // GL_LINE_TOKEN or GL_POLYGON_TOKEN (line resets reported as lines)
    std::vector<FeedbackVertex> vertices;
};

// Runs `draw` in feedback mode with an orthographic view of the cube [-20, 20] and an identity
// modelview, so that window coordinates map back to object coordinates exactly.
std::vector<FeedbackPrimitive> CaptureFeedback(const std::function<void()>& draw);
