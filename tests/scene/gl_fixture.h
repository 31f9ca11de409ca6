// A test suite base that owns one OpenGL window and context for the whole test program, with
// GLEW initialised, and helpers to read OpenGL state back.
#pragma once

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "gl_window.h"

class GlTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite();
    void SetUp() override;

    static GlWindow window_;
    static std::string error_;
};

using Matrix4 = std::array<float, 16>;

Matrix4 GetMatrix(GLenum which);
// The `count` values of OpenGL's state `name` (as many as it has: it writes them all).
std::vector<GLint> GetIntegers(GLenum name, int count = 1);
std::vector<GLfloat> GetFloats(GLenum name, int count);
inline GLint GetInteger(GLenum name) {
    return GetIntegers(name)[0];
}
// Column-major products and transforms, as OpenGL multiplies them.
Matrix4 Multiply(const Matrix4& a, const Matrix4& b);
Matrix4 Translation(float x, float y, float z);
Matrix4 RotationY(float degrees);
// Each of `actual` within `tolerance` of the same element of `expected`.
void ExpectNear(const std::vector<GLfloat>& actual, const std::vector<GLfloat>& expected,
                float tolerance);
void ExpectMatrixNear(const Matrix4& actual, const Matrix4& expected, float tolerance);
