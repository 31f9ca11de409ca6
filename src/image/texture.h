// The grass texture of the scene's box, made once from the bitmap "..\res\grass.bmp".
#pragma once

// Reads "..\res\grass.bmp" (relative to the working directory), uploads it as texture unit 0's
// two-dimensional texture with linear filters and repeat wrapping, stores its name in uiTexture
// and leaves texture 0 bound and flat shading in force. Needs a current OpenGL context on which
// GLEW is initialised. A missing or unreadable bitmap gives an empty texture, silently.
void LoadTexture();
