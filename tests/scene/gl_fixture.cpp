#include "gl_fixture.h"

#include <cmath>

#include "scene/gl_setup.h"

GlWindow GlTest::window_;
std::string GlTest::error_;

void GlTest::SetUpTestSuite() {
    if (window_.hglrc == nullptr && OpenGlWindow(&window_, &error_)) {
        InitGL();
    }
}

void GlTest::SetUp() {
    ASSERT_NE(window_.hglrc, nullptr) << error_;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

Matrix4 GetMatrix(GLenum which) {
    Matrix4 m{};
    glGetFloatv(which, m.data());
    return m;
}

std::vector<GLint> GetIntegers(GLenum name, int count) {
    std::vector<GLint> values(count, -1);
    glGetIntegerv(name, values.data());
    return values;
}

std::vector<GLfloat> GetFloats(GLenum name, int count) {
    std::vector<GLfloat> values(count, -1);
    glGetFloatv(name, values.data());
    return values;
}

Matrix4 Multiply(const Matrix4& a, const Matrix4& b) {
    Matrix4 r{};
    for (int col = 0; col < 4; ++col) {
        for (int row = 0; row < 4; ++row) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) {
                sum += a[k * 4 + row] * b[col * 4 + k];
            }
            r[col * 4 + row] = sum;
        }
    }
    return r;
}

Matrix4 Translation(float x, float y, float z) {
    return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1};
}

Matrix4 RotationY(float degrees) {
    double radians = degrees * M_PI / 180.0;
    float c = static_cast<float>(std::cos(radians));
    float s = static_cast<float>(std::sin(radians));
    return {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1};
}

void ExpectNear(const std::vector<GLfloat>& actual, const std::vector<GLfloat>& expected,
                float tolerance) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        EXPECT_NEAR(actual[i], expected[i], tolerance) << "element " << i;
    }
}

void ExpectMatrixNear(const Matrix4& actual, const Matrix4& expected, float tolerance) {
    ExpectNear({actual.begin(), actual.end()}, {expected.begin(), expected.end()}, tolerance);
}
