// Reader of uncompressed Windows bitmaps (BMP) with 8, 24 or 32 bits per pixel into a pixel
// buffer: width x height pixels of 3 bytes (blue, green, red), rows packed, top row first.
// Also reads top-down bitmaps and 32-bit BI_BITFIELDS files with the plain masks; anything else,
// and every file that does not hold what its headers declare, gives null.
#pragma once

#include <cstddef>

// Reads the BMP file `filename`. Returns a buffer allocated with new[] that the caller releases
// with delete[], and stores the image's width and number of rows (always positive, also for a
// top-down file) in *pWidth and *pHeight. Returns null, leaving *pWidth and *pHeight untouched,
// when the file cannot be opened or read, is not a bitmap this reader supports, or is truncated.
unsigned char* LoadBMP(const char* filename, int* pWidth, int* pHeight);

// The same decoding from a whole file already in memory (`size` bytes at `data`), with the same
// results and the same checks as LoadBMP.
unsigned char* DecodeBMP(const unsigned char* data, size_t size, int* pWidth, int* pHeight);
