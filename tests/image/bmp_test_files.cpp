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

BmpImage PatternImage(int32_t width, int32_t height, uint16_t bits) {
    BmpImage image;
    image.width = width;
    image.height = height;
    image.bits = bits;
    const size_t size = static_cast<size_t>(width) * std::abs(height) * (bits / 8);
    // Bytes of a linear congruential sequence: no row repeats another.
    uint32_t state = 12345;
    image.pixels.reserve(size);
    for (size_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        image.pixels.push_back(static_cast<unsigned char>(state >> 24));
    }
    if (bits == 8) {
        image.colourTable = PatternColourTable(256);
    }
    return image;
}

std::vector<unsigned char> PatternColourTable(int entries) {
    std::vector<unsigned char> table;
    for (int i = 0; i < entries; ++i) {
        table.push_back(static_cast<unsigned char>(i));        // blue
        table.push_back(static_cast<unsigned char>(255 - i));  // green
        table.push_back(static_cast<unsigned char>(i ^ 0x5A)); // red
        table.push_back(0xAA);                                 // reserved, never used
    }
    return table;
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
