#include "hosts/picture.h"

#include <algorithm>
#include <cstdlib>

#include <stb_image.h>

namespace {

// Row of the scene's origin.
int OriginRow(int height) {
    // tan(22.5 degrees) = 0.41421: the origin is 0.2 / 0.41421 of the half height below centre.
    return static_cast<int>(height * (0.5 + 0.5 * 0.2 / 0.41421));
}

// Green pixels on the centre column (give or take one) above the box, in rows 10 to half height.
int GreenAxisPixelsAboveTheBox(const RgbImage& image) {
    int count = 0;
    for (int y = 10; y < image.height / 2; ++y) {
        for (int x = image.width / 2 - 1; x <= image.width / 2 + 1; ++x) {
            count += IsGreenDominant(image.At(x, y));
        }
    }
    return count;
}

} // namespace

bool IsBackground(const unsigned char* p) {
    return p[0] == 26 && p[1] == 26 && p[2] == 26;
}

bool IsGreenDominant(const unsigned char* p) {
    return p[1] > p[0] + 10 && p[1] > p[2] + 10;
}

bool IsWhite(const unsigned char* p) {
    return p[0] == 255 && p[1] == 255 && p[2] == 255;
}

Patch BoxPatch(int width, int height) {
    // The box always covers a disc of radius 0.5 about the Y axis and its own height about the
    // origin: at least 5.8 % of the height on either side of the centre column and above and
    // below the origin row.
    int half = std::max(1, height / 20);
    Patch patch;
    patch.x = std::max(0, width / 2 - half);
    patch.y = std::max(0, OriginRow(height) - half);
    patch.width = std::min(width - patch.x, 2 * half);
    patch.height = std::min(height - patch.y, 2 * half);
    return patch;
}

double BoxPatchShare(const RgbImage& image, bool (*test)(const unsigned char*)) {
    Patch patch = BoxPatch(image.width, image.height);
    int hits = 0, all = 0;
    for (int y = patch.y; y < patch.y + patch.height; ++y) {
        for (int x = patch.x; x < patch.x + patch.width; ++x) {
            hits += test(image.At(x, y));
            ++all;
        }
    }
    return all > 0 ? static_cast<double>(hits) / all : 0;
}

Patch Bounds(int width, int top, int bottom, const std::function<bool(int, int)>& hit) {
    int left = width, right = -1, first = bottom, last = -1;
    for (int y = top; y <= bottom; ++y) {
        for (int x = 0; x < width; ++x) {
            if (hit(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
                first = std::min(first, y);
                last = std::max(last, y);
            }
        }
    }
    return right < left ? Patch{0, 0, 0, 0}
                        : Patch{left, first, right - left + 1, last - first + 1};
}

int CountDifferingPixels(const RgbImage& a, const RgbImage& b, int tolerance) {
    if (a.width != b.width || a.height != b.height) {
        return -1;
    }
    int count = 0;
    auto differs = [&](size_t i) { return std::abs(a.pixels[i] - b.pixels[i]) > tolerance; };
    for (size_t i = 0; i < a.pixels.size(); i += 3) {
        count += differs(i) || differs(i + 1) || differs(i + 2);
    }
    return count;
}

std::string PictureMisfit(const RgbImage& image, int width, int height) {
    if (image.pixels.empty() || width < 6 || height < 6) {
        return "no picture to judge: the grab is " + std::to_string(image.width) + " x " +
               std::to_string(image.height);
    }
    if (image.width != width || image.height != height) {
        return "the grab is " + std::to_string(image.width) + " x " + std::to_string(image.height) +
               ", not " + std::to_string(width) + " x " + std::to_string(height);
    }
    for (auto [x, y] :
         {std::pair{2, 2}, {width - 3, 2}, {2, height - 3}, {width - 3, height - 3}}) {
        if (!IsBackground(image.At(x, y))) {
            return "no background at corner " + std::to_string(x) + "," + std::to_string(y);
        }
    }
    // A viewport left at another size moves the centre column; a projection left at another
    // size moves the origin up or down and stretches the box sideways.
    if (GreenAxisPixelsAboveTheBox(image) <= height / 4) {
        return "no Y axis up the centre column";
    }
    if (BoxPatchShare(image, IsGreenDominant) <= 0.6) {
        return "no grass around the origin";
    }
    // Whatever its angle, the box is 0.13 to 0.26 of the height wide when the aspect ratio
    // follows the window, and its middle stays within perspective's few pixels of the centre.
    const int cy = OriginRow(height);
    const Patch box = Bounds(width, cy - 2, cy + 2,
                             [&image](int x, int y) { return IsGreenDominant(image.At(x, y)); });
    if (box.width == 0 || box.width < height / 10 || box.width > height * 3 / 10) {
        return "the box is " + std::to_string(box.width) + " pixels wide at height " +
               std::to_string(height);
    }
    const int right = box.x + box.width - 1;
    if (std::abs(box.x + right - width) > width * 6 / 100) {
        return "the box spans columns " + std::to_string(box.x) + " to " + std::to_string(right) +
               ", not centred in " + std::to_string(width);
    }
    return "";
}

RgbImage Crop(const RgbImage& image, const Patch& area) {
    RgbImage out;
    if (area.x < 0 || area.y < 0 || area.width <= 0 || area.height <= 0 ||
        area.x + area.width > image.width || area.y + area.height > image.height) {
        return out;
    }
    out.width = area.width;
    out.height = area.height;
    for (int y = area.y; y < area.y + area.height; ++y) {
        const unsigned char* row = image.At(area.x, y);
        out.pixels.insert(out.pixels.end(), row, row + area.width * 3);
    }
    return out;
}

RgbImage DecodeRgb(const std::string& bytes, std::vector<unsigned char>* alpha) {
    RgbImage image;
    int channels = 0;
    const int wanted = alpha != nullptr ? 4 : 3;
    stbi_uc* pixels = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()),
                                            static_cast<int>(bytes.size()), &image.width,
                                            &image.height, &channels, wanted);
    if (pixels == nullptr) {
        return RgbImage();
    }
    for (size_t at = 0; at < static_cast<size_t>(image.width) * image.height * wanted;
         at += wanted) {
        image.pixels.insert(image.pixels.end(), pixels + at, pixels + at + 3);
        if (alpha != nullptr) {
            alpha->push_back(pixels[at + 3]);
        }
    }
    stbi_image_free(pixels);
    return image;
}
