// What the tests look for in a grab of the viewer's client area. The scene's origin is placed
// 2 units down and 10 away under a 45-degree vertical field of view, so it appears on the centre
// column at 0.7414 of the height from the top, whatever the size; the box surrounds it there and
// the green Y axis rises straight up from it.
#pragma once

#include "support/x11_probe.h"

// The cleared background, 0.1 grey.
bool IsBackground(const unsigned char* p);
// Grass, and the Y axis: green clearly above red and blue.
bool IsGreenDominant(const unsigned char* p);
bool IsWhite(const unsigned char* p);

// Row of the scene's origin.
int OriginRow(const RgbImage& image);
// Share of a small patch around the scene's origin (inside the box at every angle) whose pixels
// satisfy `test`.
double BoxPatchShare(const RgbImage& image, bool (*test)(const unsigned char*));
// Green pixels on the centre column (give or take one) above the box, in rows 10 to half height.
int GreenAxisPixelsAboveTheBox(const RgbImage& image);
// Leftmost and rightmost green pixel in the rows around the origin; false when there is none.
bool GrassSpan(const RgbImage& image, int* left, int* right);
// Pixels of equal-sized images whose channels differ by more than `tolerance`; -1 if the sizes
// differ.
int CountDifferingPixels(const RgbImage& a, const RgbImage& b, int tolerance);
