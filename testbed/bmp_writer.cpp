// A writer of BMP files for tests and tools.
#include "bmp_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

uint32_t BmpRowStride(int32_t width, uint16_t bits) {
    return (static_cast<uint32_t>(width) * (bits / 8u) + 3u) & ~3u;
}

void PutLE16(std::vector<unsigned char>* bytes, size_t offset, uint16_t value) {
    (*bytes)[offset] = static_cast<unsigned char>(value);
    (*bytes)[offset + 1] = static_cast<unsigned char>(value >> 8);
}

void PutLE32(std::vector<unsigned char>* bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        (*bytes)[offset + i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

std::vector<unsigned char> EncodeBmp(const BmpImage& image) {
    const uint32_t rows = static_cast<uint32_t>(std::abs(image.height));
    const uint32_t rowBytes = static_cast<uint32_t>(image.width) * (image.bits / 8u);
    const uint32_t stride = BmpRowStride(image.width, image.bits);
    const bool masksAfterHeader = !image.masks.empty() && image.infoSize == 40;
    const uint32_t tableOffset =
        14 + image.infoSize +
        (masksAfterHeader ? 4 * static_cast<uint32_t>(image.masks.size()) : 0);
    const uint32_t pixelOffset = tableOffset + static_cast<uint32_t>(image.colourTable.size());

    std::vector<unsigned char> bytes(pixelOffset + rows * stride, 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    PutLE32(&bytes, 2, static_cast<uint32_t>(bytes.size()));
    PutLE32(&bytes, 10, pixelOffset);
    PutLE32(&bytes, 14, image.infoSize);
    PutLE32(&bytes, 18, static_cast<uint32_t>(image.width));
    PutLE32(&bytes, 22, static_cast<uint32_t>(image.height));
    PutLE16(&bytes, 26, 1);
    PutLE16(&bytes, 28, image.bits);
    PutLE32(&bytes, 30, image.compression);
    PutLE32(&bytes, 34, rows * stride);
    PutLE32(&bytes, 38, 2835); // 72 dots per inch
    PutLE32(&bytes, 42, 2835);
    PutLE32(&bytes, 46, image.clrUsed);
    for (size_t i = 0; i < image.masks.size(); ++i) {
        PutLE32(&bytes, 54 + 4 * i, image.masks[i]);
    }
    std::copy(image.colourTable.begin(), image.colourTable.end(), bytes.begin() + tableOffset);

    for (uint32_t y = 0; y < rows; ++y) {
        // Bottom-up files store the image's last row first.
        const uint32_t fileRow = image.height < 0 ? y : rows - 1 - y;
        unsigned char* out = bytes.data() + pixelOffset + fileRow * stride;
        std::copy(image.pixels.begin() + y * rowBytes, image.pixels.begin() + (y + 1) * rowBytes,
                  out);
        std::fill(out + rowBytes, out + stride, image.padByte);
    }
    return bytes;
}

bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written =
        bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
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
