// One frame of the scene and the timer handler, checked through the state OpenGL reports and
// the pixels it draws.
#include <GL/glew.h>

#include <cmath>
#include <vector>

#include "gl_fixture.h"
#include "scene/gl_setup.h"
#include "scene/render_scene.h"

namespace {

class Frame : public GlTest {
  protected:
    void SetUp() override {
        GlTest::SetUp();
        fAngle = 0.0f;
        uiTexture = 0;
        OnSize(window_.hwnd, WM_SIZE, 0, MAKELPARAM(kWidth, kHeight));
    }
    static constexpr int kWidth = 465;
    static constexpr int kHeight = 288;
};

TEST_F(Frame, NthFrameTurnsTheSceneByNDegreesBehindTheTranslation) {
    for (int n = 1; n <= 3; ++n) {
        RenderScene();
        SCOPED_TRACE(n);
        EXPECT_EQ(fAngle, static_cast<float>(n));
        ExpectMatrixNear(GetMatrix(GL_MODELVIEW_MATRIX),
                         Multiply(Translation(0, -2, -10), RotationY(static_cast<float>(n))),
                         1e-5f);
    }
    fAngle = 89.0f;
    RenderScene();
    ExpectMatrixNear(GetMatrix(GL_MODELVIEW_MATRIX),
                     Multiply(Translation(0, -2, -10), RotationY(90.0f)), 1e-5f);
}

TEST_F(Frame, LeavesWhiteColourTexturingOnGrassBoundAndLastTexCoord) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    uiTexture = texture;
    glDisable(GL_TEXTURE_2D);
    RenderScene();
    EXPECT_EQ(GetFloats(GL_CURRENT_COLOR, 4), (std::vector<GLfloat>{1, 1, 1, 1}));
    // The last corner's (1, 0), as two coordinates give it.
    EXPECT_EQ(GetFloats(GL_CURRENT_TEXTURE_COORDS, 4), (std::vector<GLfloat>{1, 0, 0, 1}));
    ExpectNear(GetFloats(GL_COLOR_CLEAR_VALUE, 4), {0.1f, 0.1f, 0.1f, 0.5f}, 1e-6f);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(static_cast<GLuint>(GetInteger(GL_TEXTURE_BINDING_2D)), texture);
    EXPECT_EQ(GetInteger(GL_ACTIVE_TEXTURE), GL_TEXTURE0);
    EXPECT_EQ(GetInteger(GL_MODELVIEW_STACK_DEPTH), 1);
    glDeleteTextures(1, &texture);
    uiTexture = 0;
}

TEST_F(Frame, AnimationTimerDrawsAFrameAndAdvancesTheAngle) {
    glClearColor(1, 0, 1, 1);
    EXPECT_EQ(OnTimer(window_.hwnd, WM_TIMER, ID_TIMER, 0), TRUE);
    EXPECT_EQ(fAngle, 1.0f);
    EXPECT_NEAR(GetFloats(GL_COLOR_CLEAR_VALUE, 4)[0], 0.1f, 1e-6f);
}

TEST_F(Frame, OtherTimersDrawNothingAndStillReturnTrue) {
    glClearColor(1, 0, 1, 1);
    for (WPARAM id : {WPARAM{0}, WPARAM{1}, WPARAM{2017}, WPARAM{2019}, ~WPARAM{0}}) {
        EXPECT_EQ(OnTimer(window_.hwnd, WM_TIMER, id, 0), TRUE);
    }
    EXPECT_EQ(fAngle, 0.0f);
    EXPECT_EQ(GetFloats(GL_COLOR_CLEAR_VALUE, 4)[0], 1.0f);
    glClearColor(0.1f, 0.1f, 0.1f, 0.5f);
}

TEST_F(Frame, FirstFrameShowsBackgroundAndTheAxesInPureColours) {
    RenderScene();
    std::vector<unsigned char> pixels(kWidth * kHeight * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    auto at = [&](int x, int y) {
        const unsigned char* pixel = &pixels[(y * kWidth + x) * 3];
        return std::vector<int>(pixel, pixel + 3);
    };
    EXPECT_EQ(at(2, 2), (std::vector<int>{26, 26, 26}));
    EXPECT_EQ(at(kWidth - 3, kHeight - 3)[0], 26);
    int blue = 0, green = 0, red = 0;
    for (int i = 0; i < kWidth * kHeight; ++i) {
        const unsigned char* p = &pixels[i * 3];
        blue += p[0] == 0 && p[1] == 0 && p[2] == 255;
        green += p[0] == 0 && p[1] == 255 && p[2] == 0;
        red += p[0] == 255 && p[1] == 0 && p[2] == 0;
    }
    EXPECT_GT(blue, 50);
    EXPECT_GT(green, 50);
    EXPECT_GT(red, 5);
    // The untextured box is white: its middle is 2 units below the view's axis, a quarter of the
    // picture's height from the bottom, beside the centre (where the Y axis is hidden in it).
    EXPECT_EQ(at(kWidth / 2 + 20, kHeight / 4), (std::vector<int>{255, 255, 255}));
}

TEST(AngleGuard, KeepsTurningPastTwoToTheTwentyFourth) {
    EXPECT_EQ(AdvanceAngle(0.0f), 1.0f);
    EXPECT_EQ(AdvanceAngle(16777215.0f), 16777216.0f);
    // 16777216 mod 360 is 136: the next frame shows 137, one degree on from the last one.
    EXPECT_EQ(AdvanceAngle(16777216.0f), 137.0f);
    EXPECT_EQ(AdvanceAngle(3.0e9f), static_cast<float>(std::fmod(3.0e9, 360.0) + 1.0));
}

TEST_F(Frame, AngleGuardTurnsTheDrawnSceneToo) {
    fAngle = 16777216.0f;
    RenderScene();
    EXPECT_EQ(fAngle, 137.0f);
    ExpectMatrixNear(GetMatrix(GL_MODELVIEW_MATRIX),
                     Multiply(Translation(0, -2, -10), RotationY(137.0f)), 1e-5f);
}

} // namespace
