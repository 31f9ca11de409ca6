#include "picture.h"

#include <algorithm>
#include <cstdlib>

bool IsBackground(const unsigned char* p) {
    return p[0] == 26 && p[1] == 26 && p[2] == 26;
}

bool IsGreenDominant(const unsigned char* p) {
    return p[1] > p[0] + 10 && p[1] > p[2] + 10;
}

bool IsWhite(const unsigned char* p) {
    return p[0] == 255 && p[1] == 255 && p[2] == 255;
}

int OriginRow(const RgbImage& image) {
    // tan(22.5 degrees) = 0.41421: the origin is 0.2 / 0.41421 of the half height below centre.
    return static_cast<int>(image.height * (0.5 + 0.5 * 0.2 / 0.41421));
}

double BoxPatchShare(const RgbImage& image, bool (*test)(const unsigned char*)) {
    // The box always covers a disc of radius 0.5 about the Y axis: at least 5.8 % of the height
    // on either side of the centre column and above and below the origin row.
    int cx = image.width / 2, cy = OriginRow(image);
    int half = std::max(2, image.height / 40);
    int hits = 0, all = 0;
    for (int y = cy - half; y <= cy + half; ++y) {
        for (int x = cx - half; x <= cx + half; ++x) {
            hits += test(image.At(x, y));
            ++all;
        }
    }
    return static_cast<double>(hits) / all;
}

int GreenAxisPixelsAboveTheBox(const RgbImage& image) {
    int count = 0;
    for (int y = 10; y < image.height / 2; ++y) {
        for (int x = image.width / 2 - 1; x <= image.width / 2 + 1; ++x) {
            count += IsGreenDominant(image.At(x, y));
        }
    }
    return count;
}

bool GrassSpan(const RgbImage& image, int* left, int* right) {
    *left = image.width;
    *right = -1;
    int cy = OriginRow(image);
    for (int y = cy - 2; y <= cy + 2; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (IsGreenDominant(image.At(x, y))) {
                *left = std::min(*left, x);
                *right = std::max(*right, x);
            }
        }
    }
    return *right >= *left;
}

int CountDifferingPixels(const RgbImage& a, const RgbImage& b, int tolerance) {
    if (a.width != b.width || a.height != b.height) {
        return -1;
    }
    int count = 0;
    for (size_t i = 0; i < a.pixels.size(); i += 3) {
        bool differs = false;
        for (size_t c = 0; c < 3; ++c) {
            differs |= std::abs(a.pixels[i + c] - b.pixels[i + c]) > tolerance;
        }
        count += differs;
    }
    return count;
}
