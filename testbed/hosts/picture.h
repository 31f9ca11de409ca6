// What the tests look for in a grab of the viewer's client area. The scene's origin is placed
// 2 units down and 10 away under a 45-degree vertical field of view, so it appears on the centre
// column at 0.7414 of the height from the top, whatever the size; the box surrounds it there and
// the green Y axis rises straight up from it.
#pragma once

#include <functional>
#include <string>

#include "rgb_image.h"

// The cleared background, 0.1 grey.
bool IsBackground(const unsigned char* p);
// Grass, and the Y axis: green clearly above red and blue.
bool IsGreenDominant(const unsigned char* p);
// The untextured box.
bool IsWhite(const unsigned char* p);

// The rectangle around the scene's origin that the box covers at every angle, for a client area
// of `width` x `height`.
struct Patch {
    int x, y, width, height;
};
Patch BoxPatch(int width, int height);
// The smallest patch around the pixels, in rows `top` to `bottom` of a picture `width` wide, where
// `hit(x, y)` holds; 0 x 0 when it holds for none.
Patch Bounds(int width, int top, int bottom, const std::function<bool(int, int)>& hit);
// The rectangle `area` of the image; empty when it does not lie inside.
RgbImage Crop(const RgbImage& image, const Patch& area);
// An image file's bytes (PNG, binary PPM), read by stb_image, as RGB, and its alpha, one byte per
// pixel, when asked; empty when they are not one.
RgbImage DecodeRgb(const std::string& bytes, std::vector<unsigned char>* alpha = nullptr);
// Share of the box patch's pixels that satisfy `test`.
double BoxPatchShare(const RgbImage& image, bool (*test)(const unsigned char*));
// Pixels of equal-sized images whose channels differ by more than `tolerance`; -1 if the sizes
// differ.
int CountDifferingPixels(const RgbImage& a, const RgbImage& b, int tolerance = 0);

// What is wrong with a grab that should show the scene fitted to a client area of `width` x
// `height` (background in the corners, the Y axis up the centre column, the grass box around the
// origin, centred, with the width the aspect ratio gives it); empty when nothing is.
std::string PictureMisfit(const RgbImage& image, int width, int height);
