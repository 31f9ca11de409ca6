// LoadTexture on the real renderer: the texture's texels are the bitmap's true colours, its
// filters and wrapping are as set, texture 0 is bound and flat shading is on afterwards, and a
// missing bitmap gives an empty texture. Each test runs from a working directory whose
// "../res/grass.bmp" it controls.
#include <GL/glew.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/bmp_reader.h"
#include "image/texture.h"
#include "scene/gl_setup.h"
#include "bmp_writer.h"
#include "gl_fixture.h"
#include "gl_window.h"

namespace fs = std::filesystem;

namespace {

GLint GetTextureParameter(GLenum name) {
    GLint value = -1;
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
    return value;
}

GLint GetLevelParameter(GLenum name, GLint level = 0) {
    GLint value = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, name, &value);
    return value;
}

// The texels of uiTexture's level 0 in the given format, rows packed.
std::vector<unsigned char> ReadTexels(GLenum format, size_t size) {
    std::vector<unsigned char> texels(size);
    glBindTexture(GL_TEXTURE_2D, uiTexture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

class TextureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(OpenGlWindow(&window, &error)) << error;
        InitGL();
        startDir = fs::current_path();
        root = fs::path(::testing::TempDir()) /
               (std::string("tavik_texture_") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(root / "res");
        fs::create_directories(root / "work");
        uiTexture = 0;
    }

    void TearDown() override {
        fs::current_path(startDir);
        fs::remove_all(root);
        CloseGlWindow(&window);
    }

    // Writes `image` as ../res/grass.bmp of the working directory the test then runs in.
    void PlaceGrass(const BmpImage& image) {
        ASSERT_TRUE(WriteBytes((root / "res" / "grass.bmp").string(), EncodeBmp(image)));
        fs::current_path(root / "work");
    }

    GlWindow window;
    fs::path startDir;
    fs::path root;
};

// A 3 x 2 picture: its rows are 9 bytes, which only an unpack alignment of 1 uploads intact.
BmpImage OddWidthImage() {
    BmpImage image = PatternImage(3, 2, 24);
    image.pixels = {0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00,  // red, green, blue
                    0x10, 0x80, 0xF0, 0x20, 0x40, 0x60, 0xFE, 0xDC, 0xBA}; // and three more
    return image;
}

TEST_F(TextureTest, TexelsAreTheBitmapsTrueColoursTopRowFirst) {
    const BmpImage image = OddWidthImage();
    PlaceGrass(image);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 2);
    LoadTexture();
    EXPECT_EQ(GetInteger(GL_UNPACK_ALIGNMENT), 2);

    ASSERT_NE(uiTexture, 0u);
    EXPECT_EQ(ReadTexels(GL_BGR, image.pixels.size()), image.pixels);
    // In red, green, blue order the first texel is pure red, as the file's first pixel.
    const std::vector<unsigned char> rgb = ReadTexels(GL_RGB, image.pixels.size());
    EXPECT_EQ(std::vector<unsigned char>(rgb.begin(), rgb.begin() + 9),
              (std::vector<unsigned char>{0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF}));
    EXPECT_EQ(GetLevelParameter(GL_TEXTURE_WIDTH), 3);
    EXPECT_EQ(GetLevelParameter(GL_TEXTURE_HEIGHT), 2);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureTest, LeavesTextureZeroBoundWithLinearRepeatAndFlatShading) {
    PlaceGrass(OddWidthImage());
    glShadeModel(GL_SMOOTH);
    LoadTexture();

    EXPECT_EQ(GetInteger(GL_TEXTURE_BINDING_2D), 0);
    EXPECT_EQ(GetInteger(GL_ACTIVE_TEXTURE), GL_TEXTURE0);
    EXPECT_EQ(GetInteger(GL_SHADE_MODEL), GL_FLAT);
    ASSERT_EQ(glIsTexture(uiTexture), GL_TRUE);
    glBindTexture(GL_TEXTURE_2D, uiTexture);
    EXPECT_EQ(GetTextureParameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(GetTextureParameter(GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    EXPECT_EQ(GetTextureParameter(GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(GetTextureParameter(GL_TEXTURE_WRAP_T), GL_REPEAT);
    // One level only: no mipmaps were built.
    EXPECT_EQ(GetLevelParameter(GL_TEXTURE_WIDTH), 3);
    glGetError();
    EXPECT_EQ(GetLevelParameter(GL_TEXTURE_WIDTH, 1), 0);
}

TEST_F(TextureTest, MissingBitmapGivesEmptyTextureAndGoesOn) {
    fs::current_path(root / "work"); // ../res holds no grass.bmp
    LoadTexture();

    ASSERT_EQ(glIsTexture(uiTexture), GL_TRUE);
    glBindTexture(GL_TEXTURE_2D, uiTexture);
    EXPECT_EQ(GetLevelParameter(GL_TEXTURE_WIDTH), 0);
    EXPECT_EQ(GetLevelParameter(GL_TEXTURE_HEIGHT), 0);
    EXPECT_EQ(GetInteger(GL_SHADE_MODEL), GL_FLAT);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(TextureTest, LoadsTheCommittedGrassBitmap) {
    // The source tree's src/ has the committed res/ beside it, as the viewer's directory has.
    const fs::path source(TAVIK_SOURCE_DIR);
    fs::current_path(source / "src");
    int width = 0, height = 0;
    unsigned char* expected =
        LoadBMP((source / "res" / "grass.bmp").string().c_str(), &width, &height);
    ASSERT_NE(expected, nullptr);
    const std::vector<unsigned char> pixels(expected, expected + width * height * 3);
    delete[] expected;

    LoadTexture();
    glBindTexture(GL_TEXTURE_2D, uiTexture);
    EXPECT_EQ(GetLevelParameter(GL_TEXTURE_WIDTH), 256);
    EXPECT_EQ(GetLevelParameter(GL_TEXTURE_HEIGHT), 256);
    EXPECT_EQ(ReadTexels(GL_BGR, pixels.size()), pixels);
}

} // namespace
