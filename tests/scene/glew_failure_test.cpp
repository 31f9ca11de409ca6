// InitGL when GLEW cannot be initialised: the failure is shown in a box captioned "Error Glew"
// with GLEW's own description, and set-up resumes once the box is dismissed. A program of its
// own, since GLEW's state is process-wide.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <string>

#include "gl_fixture.h"
#include "host/linux/message_box.h"
#include "scene/gl_setup.h"
#include "scene/render_scene.h"
#include "gl_window.h"

namespace {

GlWindow window;
int boxes = 0;
std::wstring shownText;
std::wstring shownCaption;
UINT shownType = 0xFFFF;

// Stands in for the person who dismisses the box. The context becomes current only now, so the
// rendering state that follows shows that set-up went on after the box.
int DismissBox(LPCWSTR text, LPCWSTR caption, UINT type) {
    ++boxes;
    shownText = text;
    shownCaption = caption;
    shownType = type;
    wglMakeCurrent(window.hdc, window.hglrc);
    return IDOK;
}

TEST(GlewFailure, ShowsGlewsDescriptionUnderErrorGlewThenResumesSetUp) {
    std::string error;
    ASSERT_TRUE(OpenGlWindow(&window, &error)) << error;
    wglMakeCurrent(nullptr, nullptr);
    SetMessageBoxHookLinux(DismissBox);

    InitGL();

    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(shownCaption, L"Error Glew");
    EXPECT_EQ(shownText, L"Missing GL version");
    EXPECT_EQ(shownType, static_cast<UINT>(MB_OK));
    ASSERT_EQ(wglGetCurrentContext(), window.hglrc);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(GetInteger(GL_SHADE_MODEL), GL_SMOOTH);

    // GLEW left no glActiveTexture behind; a frame still draws, on texture unit 0.
    EXPECT_EQ(glActiveTexture, nullptr);
    OnSize(window.hwnd, WM_SIZE, 0, MAKELPARAM(465, 288));
    EXPECT_EQ(OnTimer(window.hwnd, WM_TIMER, ID_TIMER, 0), TRUE);
    EXPECT_EQ(fAngle, 1.0f);
    EXPECT_EQ(GetInteger(GL_ACTIVE_TEXTURE), GL_TEXTURE0);

    SetMessageBoxHookLinux(nullptr);
    CloseGlWindow(&window);
}

} // namespace
