// The grass texture: the one bitmap of the program, uploaded as it is in the pixel buffer
// (blue, green, red, rows packed, top row first) so the box shows its true colours.
#include <GL/glew.h>

#include "image/texture.h"

#include "image/bmp_reader.h"
#include "scene/scene_state.h"

namespace {

#ifdef _WIN32
const char kGrassBmpPath[] = "..\\res\\grass.bmp";
#else
const char kGrassBmpPath[] = "../res/grass.bmp";
#endif

} // namespace

void LoadTexture() {
    // Stay at 0 x 0 when the bitmap is missing or rejected: the upload then makes an empty
    // texture and the viewer goes on without one.
    int iWidth = 0;
    int iHeight = 0;
    unsigned char* pixels = LoadBMP(kGrassBmpPath, &iWidth, &iHeight);

    // GLEW leaves the entry point null when its initialisation failed; unit 0 is active by
    // default then.
    if (glActiveTexture != nullptr) {
        glActiveTexture(GL_TEXTURE0);
    }
    glGenTextures(1, &uiTexture);
    glBindTexture(GL_TEXTURE_2D, uiTexture);

    // The buffer's rows are packed, whatever the width; restore the caller's alignment after.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, iWidth, iHeight, 0, GL_BGR, GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);

    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glBindTexture(GL_TEXTURE_2D, 0);
    delete[] pixels;

    glShadeModel(GL_FLAT);
}
