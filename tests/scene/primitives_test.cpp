// The axes and the box, as OpenGL's feedback mode reports what they draw.
#include <GL/glew.h>

#include <set>
#include <tuple>

#include "feedback.h"
#include "gl_fixture.h"
#include "scene/primitives.h"

namespace {

using Primitives = GlTest;

void ExpectVertex(const FeedbackVertex& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-3f);
    EXPECT_NEAR(v.y, y, 1e-3f);
    EXPECT_NEAR(v.z, z, 1e-3f);
}

void ExpectColour(const FeedbackVertex& v, float r, float g, float b) {
    EXPECT_FLOAT_EQ(v.r, r);
    EXPECT_FLOAT_EQ(v.g, g);
    EXPECT_FLOAT_EQ(v.b, b);
}

TEST_F(Primitives, AxesAreThreeLinesTwentyUnitsLongXBlueYGreenZRed) {
    auto lines = CaptureFeedback([] { DrawAxes(1.0f); });
    ASSERT_EQ(lines.size(), 3u);
    const float ends[3][2][3] = {
        {{-10, 0, 0}, {10, 0, 0}}, {{0, -10, 0}, {0, 10, 0}}, {{0, 0, -10}, {0, 0, 10}}};
    const float colours[3][3] = {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}};
    for (int axis = 0; axis < 3; ++axis) {
        SCOPED_TRACE(axis);
        ASSERT_EQ(lines[axis].token, static_cast<GLenum>(GL_LINE_TOKEN));
        for (int end = 0; end < 2; ++end) {
            const FeedbackVertex& v = lines[axis].vertices[end];
            ExpectVertex(v, ends[axis][end][0], ends[axis][end][1], ends[axis][end][2]);
            ExpectColour(v, colours[axis][0], colours[axis][1], colours[axis][2]);
        }
    }
}

TEST_F(Primitives, AxesScaleUniformlyAndLeaveRedCurrent) {
    auto lines = CaptureFeedback([] { DrawAxes(0.5f); });
    ASSERT_EQ(lines.size(), 3u);
    ExpectVertex(lines[0].vertices[1], 5, 0, 0);
    ExpectVertex(lines[1].vertices[1], 0, 5, 0);
    ExpectVertex(lines[2].vertices[1], 0, 0, 5);
    EXPECT_EQ(GetFloats(GL_CURRENT_COLOR, 4), (std::vector<GLfloat>{1, 0, 0, 1}));
}

// The box's faces in drawing order, each with its corners in order (texture coordinates
// (0,0), (0,1), (1,1), (1,0)), for DrawBox(2, 1, 1).
struct Corner {
    float x, y, z, s, t;
};
const Corner kFaces[6][4] = {
    {{-1, -.5f, -.5f, 0, 0}, {-1, -.5f, .5f, 0, 1}, {1, -.5f, .5f, 1, 1}, {1, -.5f, -.5f, 1, 0}},
    {{-1, .5f, -.5f, 0, 0}, {-1, .5f, .5f, 0, 1}, {1, .5f, .5f, 1, 1}, {1, .5f, -.5f, 1, 0}},
    {{-1, -.5f, -.5f, 0, 0}, {-1, -.5f, .5f, 0, 1}, {-1, .5f, .5f, 1, 1}, {-1, .5f, -.5f, 1, 0}},
    {{1, -.5f, -.5f, 0, 0}, {1, -.5f, .5f, 0, 1}, {1, .5f, .5f, 1, 1}, {1, .5f, -.5f, 1, 0}},
    {{-1, -.5f, -.5f, 0, 0}, {-1, .5f, -.5f, 0, 1}, {1, .5f, -.5f, 1, 1}, {1, -.5f, -.5f, 1, 0}},
    {{-1, -.5f, .5f, 0, 0}, {-1, .5f, .5f, 0, 1}, {1, .5f, .5f, 1, 1}, {1, -.5f, .5f, 1, 0}},
};

using CornerKey = std::tuple<int, int, int, int, int>;
CornerKey KeyOf(float x, float y, float z, float s, float t) {
    auto q = [](float f) { return static_cast<int>(f * 1000 + (f < 0 ? -0.5f : 0.5f)); };
    return {q(x), q(y), q(z), q(s), q(t)};
}

TEST_F(Primitives, BoxIsSixFacesInOrderWithTheirCornersAndTextureCoordinates) {
    glColor3f(0.25f, 0.5f, 0.75f);
    auto polygons = CaptureFeedback([] { DrawBox(2, 1, 1); });
    // The renderer may hand a quad back whole or as two triangles; either way every face comes
    // in order and covers exactly its four corners.
    ASSERT_FALSE(polygons.empty());
    ASSERT_EQ(polygons.size() % 6, 0u);
    size_t perFace = polygons.size() / 6;
    for (int face = 0; face < 6; ++face) {
        SCOPED_TRACE(face);
        std::set<CornerKey> expected, actual;
        for (const Corner& c : kFaces[face]) {
            expected.insert(KeyOf(c.x, c.y, c.z, c.s, c.t));
        }
        for (size_t p = face * perFace; p < (face + 1) * perFace; ++p) {
            ASSERT_EQ(polygons[p].token, static_cast<GLenum>(GL_POLYGON_TOKEN));
            for (const FeedbackVertex& v : polygons[p].vertices) {
                actual.insert(KeyOf(v.x, v.y, v.z, v.s, v.t));
                // The box issues no colour of its own.
                ExpectColour(v, 0.25f, 0.5f, 0.75f);
            }
        }
        EXPECT_EQ(actual, expected);
        if (perFace == 1 && polygons[face].vertices.size() == 4) {
            for (int i = 0; i < 4; ++i) {
                const FeedbackVertex& v = polygons[face].vertices[i];
                EXPECT_EQ(KeyOf(v.x, v.y, v.z, v.s, v.t),
                          KeyOf(kFaces[face][i].x, kFaces[face][i].y, kFaces[face][i].z,
                                kFaces[face][i].s, kFaces[face][i].t));
            }
        }
    }
    EXPECT_EQ(GetFloats(GL_CURRENT_TEXTURE_COORDS, 4), (std::vector<GLfloat>{1, 0, 0, 1}));
}

TEST_F(Primitives, BothLeaveTheModelviewMatrixAsTheyFoundIt) {
    glLoadIdentity();
    glTranslatef(1, 2, 3);
    glRotatef(30, 0, 1, 0);
    Matrix4 before = GetMatrix(GL_MODELVIEW_MATRIX);
    DrawAxes(3.0f);
    ExpectMatrixNear(GetMatrix(GL_MODELVIEW_MATRIX), before, 0);
    DrawBox(2, 1, 1);
    ExpectMatrixNear(GetMatrix(GL_MODELVIEW_MATRIX), before, 0);
    EXPECT_EQ(GetInteger(GL_MODELVIEW_STACK_DEPTH), 1);
}

} // namespace
