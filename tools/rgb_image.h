// A picture as every desktop and probe hands it over: 8-bit RGB, top row first.
#pragma once

#include <vector>

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels; // r, g, b per pixel, top row first

    const unsigned char* At(int x, int y) const { return &pixels[(y * width + x) * 3]; }
};
