// The rendering state that InitGL sets and the projection that OnSize fits to the window.
#include <GL/glew.h>

#include <algorithm>
#include <cmath>

#include "gl_fixture.h"
#include "scene/gl_setup.h"

namespace {

using RenderingSetup = GlTest;

// gluPerspective(45, aspect, 0.1, 100) written out.
Matrix4 Perspective(double aspect) {
    double f = 1.0 / std::tan(45.0 * M_PI / 360.0);
    double near = 0.1, far = 100.0;
    Matrix4 m{};
    m[0] = static_cast<float>(f / aspect);
    m[5] = static_cast<float>(f);
    m[10] = static_cast<float>((far + near) / (near - far));
    m[11] = -1;
    m[14] = static_cast<float>(2 * far * near / (near - far));
    return m;
}

void ExpectViewport(int x, int y, int width, int height) {
    EXPECT_EQ(GetIntegers(GL_VIEWPORT, 4), (std::vector<GLint>{x, y, width, height}));
}

void ExpectModelviewIdentitySelected() {
    EXPECT_EQ(GetInteger(GL_MATRIX_MODE), GL_MODELVIEW);
    ExpectMatrixNear(GetMatrix(GL_MODELVIEW_MATRIX), Translation(0, 0, 0), 0);
}

TEST_F(RenderingSetup, InitGLEnablesDepthTestAndTexturingWithSmoothShading) {
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(GetInteger(GL_SHADE_MODEL), GL_SMOOTH);
    EXPECT_EQ(GetInteger(GL_DEPTH_FUNC), GL_LESS);
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_NE(glActiveTexture, nullptr);
}

TEST_F(RenderingSetup, SizeFitsViewportAndPerspectiveAndSelectsModelview) {
    glMatrixMode(GL_MODELVIEW);
    glTranslatef(1, 2, 3);
    EXPECT_EQ(OnSize(window_.hwnd, WM_SIZE, 0, MAKELPARAM(465, 288)), TRUE);
    ExpectViewport(0, 0, 465, 288);
    ExpectMatrixNear(GetMatrix(GL_PROJECTION_MATRIX), Perspective(465.0f / 288.0f), 1e-5f);
    ExpectModelviewIdentitySelected();
}

TEST_F(RenderingSetup, SizeTakesUnsignedSixteenBitHalvesOfLParam) {
    // Sizes above 32767 would turn negative if the halves were taken as signed.
    OnSize(window_.hwnd, WM_SIZE, 0, MAKELPARAM(40000, 50000));
    const std::vector<GLint> maxDims = GetIntegers(GL_MAX_VIEWPORT_DIMS, 2);
    ExpectViewport(0, 0, std::min(40000, maxDims[0]), std::min(50000, maxDims[1]));
    ExpectMatrixNear(GetMatrix(GL_PROJECTION_MATRIX), Perspective(0.8), 1e-5f);
}

TEST_F(RenderingSetup, ZeroHeightBecomesOnePixelWithAspectWidth) {
    OnSize(window_.hwnd, WM_SIZE, 0, MAKELPARAM(300, 0));
    ExpectViewport(0, 0, 300, 1);
    ExpectMatrixNear(GetMatrix(GL_PROJECTION_MATRIX), Perspective(300.0), 1e-4f);
    ExpectModelviewIdentitySelected();
}

TEST_F(RenderingSetup, ZeroWidthPassesThroughUnchanged) {
    OnSize(window_.hwnd, WM_SIZE, 0, MAKELPARAM(0, 200));
    ExpectViewport(0, 0, 0, 200);
    Matrix4 projection = GetMatrix(GL_PROJECTION_MATRIX);
    for (float element : projection) {
        EXPECT_TRUE(std::isfinite(element));
    }
    ExpectModelviewIdentitySelected();
}

} // namespace
