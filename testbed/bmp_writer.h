// Builds BMP files in memory for tests, fuzz seeds, benchmarks and the grass generator: the
// 8-, 24- and 32-bit layouts with any information-header size, colour table, masks and row
// order, so that tests can then patch single header fields to make the cases they need.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct BmpImage {
    int32_t width = 0;
    int32_t height = 0; // negative writes the rows top-down
    uint16_t bits = 24; // 8, 24 or 32: 1, 3 or 4 bytes per pixel in `pixels`
    // The image's pixels as the file stores them (indices, blue-green-red, or four bytes),
    // top row first, without row padding.
    std::vector<unsigned char> pixels;
    // Colour-table entries, 4 bytes each (blue, green, red, reserved), written right after the
    // information header.
    std::vector<unsigned char> colourTable;
    uint32_t infoSize = 40;
    uint32_t compression = 0;
    uint32_t clrUsed = 0;
    // Red, green and blue masks: written after a 40-byte information header, into a larger one.
    std::vector<uint32_t> masks;
    unsigned char padByte = 0; // fills the row padding
};

// The file's bytes; bfOffBits points right after the headers, masks and colour table.
std::vector<unsigned char> EncodeBmp(const BmpImage& image);

// Bytes a file row takes, padding included.
uint32_t BmpRowStride(int32_t width, uint16_t bits);

void PutLE16(std::vector<unsigned char>* bytes, size_t offset, uint16_t value);
void PutLE32(std::vector<unsigned char>* bytes, size_t offset, uint32_t value);

// An image whose pixel bytes all differ from their neighbours, with 1, 3 or 4 bytes per pixel.
BmpImage PatternImage(int32_t width, int32_t height, uint16_t bits);
// A full 256-entry colour table whose entries are distinct and whose reserved bytes are set.
std::vector<unsigned char> PatternColourTable(int entries);

// Writes `bytes` to `path`; false when the file cannot be written.
bool WriteBytes(const std::string& path, const std::vector<unsigned char>& bytes);
