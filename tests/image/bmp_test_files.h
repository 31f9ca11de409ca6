// Test inputs for the BMP reader: small images with distinct bytes, and a way to run one file
// through either entry of the reader (from a file on disk or from memory).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bmp_writer.h"

enum class BmpSource { File, Memory };

struct BmpReadResult {
    unsigned char* pixels = nullptr; // owned; released by the destructor
    int width = -12345;              // what the caller had before the read
    int height = -12345;

    BmpReadResult() = default;
    BmpReadResult(const BmpReadResult&) = delete;
    BmpReadResult& operator=(const BmpReadResult&) = delete;
    ~BmpReadResult() { delete[] pixels; }

    bool Rejected() const { return pixels == nullptr && width == -12345 && height == -12345; }
    // The whole result as a vector of width x height x 3 bytes.
    std::vector<unsigned char> Bytes() const;
};

// Reads `bytes` through LoadBMP (after writing them to a temporary file) or DecodeBMP.
void ReadBmp(BmpSource source, const std::vector<unsigned char>& bytes, BmpReadResult* result);

std::string BmpSourceName(BmpSource source);

// What the reader must return for `image`: blue, green, red, top row first.
std::vector<unsigned char> ExpectedPixels(const BmpImage& image);
