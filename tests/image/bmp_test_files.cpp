#include "bmp_test_files.h"

#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>
#include <unistd.h>

#include "image/bmp_reader.h"

std::vector<unsigned char> BmpReadResult::Bytes() const {
    if (pixels == nullptr) {
        return {};
    }
    return std::vector<unsigned char>(pixels, pixels + static_cast<size_t>(width) * height * 3);
}

void ReadBmp(BmpSource source, const std::vector<unsigned char>& bytes, BmpReadResult* result) {
    if (source == BmpSource::Memory) {
        // A copy of exactly the file's size, so that reading past its end is caught.
        std::vector<unsigned char> exact(bytes);
        exact.shrink_to_fit();
        result->pixels = DecodeBMP(exact.data(), exact.size(), &result->width, &result->height);
        return;
    }
    const std::string path =
        ::testing::TempDir() + "tavik_bmp_" + std::to_string(getpid()) + ".bmp";
    ASSERT_TRUE(WriteBytes(path, bytes)) << path;
    result->pixels = LoadBMP(path.c_str(), &result->width, &result->height);
    std::remove(path.c_str());
}

std::string BmpSourceName(BmpSource source) {
    return source == BmpSource::File ? "FromFile" : "FromMemory";
}

std::vector<unsigned char> ExpectedPixels(const BmpImage& image) {
    std::vector<unsigned char> out;
    const size_t count = static_cast<size_t>(image.width) * std::abs(image.height);
    out.reserve(count * 3);
    const size_t stride = image.bits / 8;
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* pixel = image.pixels.data() + i * stride;
        for (int c = 0; c < 3; ++c) {
            if (image.bits == 8) {
                const size_t entry = pixel[0] * 4u + c;
                out.push_back(entry < image.colourTable.size() ? image.colourTable[entry] : 0);
            } else {
                out.push_back(pixel[c]);
            }
        }
    }
    return out;
}
