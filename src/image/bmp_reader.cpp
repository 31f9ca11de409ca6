// BMP reader. One set of checks (PlanBMP) decides from the headers and the file's real size
// whether a file is read and where everything in it lies; one row conversion (DecodeRow) turns
// file rows into output rows. LoadBMP and DecodeBMP differ only in where the bytes come from:
// LoadBMP reads runs of rows from the file, unpadded 24-bit ones straight into the output.
#include "image/bmp_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr uint16_t kBmpSignature = 0x4D42; // "BM"
constexpr uint32_t kFileHeaderSize = 14;
// The file header and the smallest information header: no pixel row may start before this.
constexpr uint32_t kMinHeadersSize = 54;
// The bytes the header checks look at: both headers and, for BI_BITFIELDS, the three colour
// masks, which follow a 40-byte information header and lie inside the larger ones (at file
// offsets 54, 58 and 62 either way).
constexpr size_t kHeadSize = 66;
constexpr uint32_t kMasksSize = 12;

constexpr uint32_t kCompressionNone = 0;      // BI_RGB
constexpr uint32_t kCompressionBitfields = 3; // BI_BITFIELDS

constexpr uint32_t kMaxColours = 256;
constexpr size_t kColourTableSize = kMaxColours * 3;
constexpr uint64_t kMaxBytes = INT32_MAX;

// The fields of BITMAPFILEHEADER and BITMAPINFOHEADER that the reader uses.
struct BmpFileHeader {
    uint16_t bfType;
    uint32_t bfOffBits;
};

struct BmpInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight; // negative for a top-down bitmap
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biClrUsed;
};

// Where the parts of an accepted file lie and how big the image is; every offset and length
// here has been checked against the file's size.
struct BmpLayout {
    int width;
    int rows;
    int bits;
    bool topDown;
    uint32_t tableOffset;
    uint32_t tableEntries; // colour-table entries present in the file (8 bits only)
    uint32_t pixelOffset;
    size_t rowBytes;  // bytes of a file row that hold pixels
    size_t rowStride; // rowBytes with the row's padding to a multiple of 4
    size_t outputSize;
};

uint16_t ReadU16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t ReadU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

int32_t ReadI32(const unsigned char* p) {
    return static_cast<int32_t>(ReadU32(p));
}

// The information headers that share the BITMAPINFOHEADER layout: versions 1 to 5. Any other
// size (the OS/2 headers, for one) has fields elsewhere.
bool IsKnownInfoHeaderSize(uint32_t size) {
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// Red 0xFF0000, green 0xFF00, blue 0xFF: the byte order of an uncompressed 32-bit file.
bool HasPlainMasks(const unsigned char* head) {
    return ReadU32(head + 54) == 0x00FF0000 && ReadU32(head + 58) == 0x0000FF00 &&
           ReadU32(head + 62) == 0x000000FF;
}

// Checks the headers in `head` (the file's first headSize bytes) against the file's size and
// fills *layout. Rejects everything the decoder does not read exactly: unknown header sizes,
// depths and compressions, empty or impossible sizes, and files that end before their last row.
bool PlanBMP(const unsigned char* head, size_t headSize, uint64_t fileSize, BmpLayout* layout) {
    if (headSize < kMinHeadersSize || fileSize < headSize) {
        return false;
    }
    BmpFileHeader bfh;
    bfh.bfType = ReadU16(head);
    bfh.bfOffBits = ReadU32(head + 10);
    if (bfh.bfType != kBmpSignature || bfh.bfOffBits < kMinHeadersSize) {
        return false;
    }

    BmpInfoHeader bih;
    bih.biSize = ReadU32(head + 14);
    bih.biWidth = ReadI32(head + 18);
    bih.biHeight = ReadI32(head + 22);
    bih.biBitCount = ReadU16(head + 28);
    bih.biCompression = ReadU32(head + 30);
    bih.biClrUsed = ReadU32(head + 46);
    if (!IsKnownInfoHeaderSize(bih.biSize)) {
        return false;
    }
    const int bits = bih.biBitCount;
    if (bits != 8 && bits != 24 && bits != 32) {
        return false;
    }
    uint64_t headersEnd = kFileHeaderSize + bih.biSize;
    const bool bitfields = bih.biCompression == kCompressionBitfields && bits == 32;
    if (bitfields && bih.biSize == 40) {
        headersEnd += kMasksSize;
    }
    if (!bitfields && bih.biCompression != kCompressionNone) {
        return false;
    }
    if (bfh.bfOffBits < headersEnd || bfh.bfOffBits > fileSize) {
        return false;
    }
    if (bitfields && (headSize < kHeadSize || !HasPlainMasks(head))) {
        return false;
    }

    if (bih.biWidth <= 0 || bih.biHeight == 0 || bih.biHeight == INT32_MIN) {
        return false;
    }
    const uint64_t width = static_cast<uint64_t>(bih.biWidth);
    const uint64_t rows = bih.biHeight < 0 ? static_cast<uint64_t>(-int64_t{bih.biHeight})
                                           : static_cast<uint64_t>(bih.biHeight);
    const uint64_t rowBytes = width * static_cast<uint64_t>(bits / 8);
    const uint64_t rowStride = (rowBytes + 3) & ~uint64_t{3};
    const uint64_t outputSize = width * rows * 3;
    if (rowStride > kMaxBytes || outputSize > kMaxBytes) {
        return false;
    }
    // Every row must be there; only the padding after the last one may be cut off.
    if (bfh.bfOffBits + (rows - 1) * rowStride + rowBytes > fileSize) {
        return false;
    }

    layout->width = static_cast<int>(width);
    layout->rows = static_cast<int>(rows);
    layout->bits = bits;
    layout->topDown = bih.biHeight < 0;
    layout->tableOffset = static_cast<uint32_t>(headersEnd);
    layout->tableEntries = 0;
    if (bits == 8) {
        // biClrUsed of 0 means a full table; entries that would reach into the pixel rows are
        // not part of it.
        const uint32_t entries =
            bih.biClrUsed == 0 || bih.biClrUsed > kMaxColours ? kMaxColours : bih.biClrUsed;
        const uint32_t room = (bfh.bfOffBits - layout->tableOffset) / 4;
        layout->tableEntries = entries < room ? entries : room;
    }
    layout->pixelOffset = bfh.bfOffBits;
    layout->rowBytes = static_cast<size_t>(rowBytes);
    layout->rowStride = static_cast<size_t>(rowStride);
    layout->outputSize = static_cast<size_t>(outputSize);
    return true;
}

// Turns `count` file colour-table entries (blue, green, red, reserved) into a 256-entry table
// of blue, green, red; the entries the file does not have stay black.
void BuildColourTable(const unsigned char* entries, uint32_t count, unsigned char* table) {
    std::memset(table, 0, kColourTableSize);
    for (uint32_t i = 0; i < count; ++i) {
        std::memcpy(table + i * 3, entries + i * 4, 3);
    }
}

// Converts the pixel bytes of one file row into one output row of blue, green, red.
void DecodeRow(const unsigned char* row, const BmpLayout& layout, const unsigned char* table,
               unsigned char* out) {
    const int width = layout.width;
    if (layout.bits == 8) {
        for (int x = 0; x < width; ++x, out += 3) {
            const unsigned char* colour = table + row[x] * 3;
            out[0] = colour[0];
            out[1] = colour[1];
            out[2] = colour[2];
        }
    } else if (layout.bits == 24) {
        std::memcpy(out, row, layout.rowBytes);
    } else {
        for (int x = 0; x < width; ++x, out += 3, row += 4) {
            out[0] = row[0];
            out[1] = row[1];
            out[2] = row[2];
        }
    }
}

// The output row that the file's row number `fileRow` fills: files store the bottom row first
// unless they are top-down.
unsigned char* OutputRow(unsigned char* pixels, const BmpLayout& layout, int fileRow) {
    const int y = layout.topDown ? fileRow : layout.rows - 1 - fileRow;
    return pixels + static_cast<size_t>(y) * static_cast<size_t>(layout.width) * 3;
}

// Rows are read in runs of about this many bytes: few enough reads that their cost vanishes,
// few enough bytes that a run is still in the cache when it is turned over or converted.
constexpr size_t kRunBytes = 256 * 1024;

// How many rows the run starting at file row `r` holds, and how many bytes of the file it
// takes: every row's stride but for the file's last row, whose padding may be missing.
int RunRows(const BmpLayout& layout, int r) {
    const size_t perRun = std::max<size_t>(1, kRunBytes / layout.rowStride);
    return static_cast<int>(std::min<size_t>(perRun, static_cast<size_t>(layout.rows - r)));
}

size_t RunBytes(const BmpLayout& layout, int r, int n) {
    const bool last = r + n == layout.rows;
    return (static_cast<size_t>(n) - 1) * layout.rowStride +
           (last ? layout.rowBytes : layout.rowStride);
}

// Exchanges two rows of `length` bytes through a small stack buffer. memcpy moves the bytes at
// the C library's full width whatever the compiler's optimisation level; a byte loop is only as
// fast as the compiler's vectoriser makes it (GCC vectorises it at -O3 only).
// NOTE: pieces of 2 KiB: from about 4 KiB glibc's memcpy switches to `rep movsb`, which some
// processors run at a fraction of the speed of its vector loop (4 KiB pieces cost 12 % more here).
void SwapRows(unsigned char* a, unsigned char* b, size_t length) {
    unsigned char spare[2048];
    for (size_t done = 0; done < length; done += sizeof spare) {
        const size_t n = std::min(sizeof spare, length - done);
        std::memcpy(spare, a + done, n);
        std::memcpy(a + done, b + done, n);
        std::memcpy(b + done, spare, n);
    }
}

// 24-bit rows without padding are already the output's bytes. A run of them fills one block of
// the output, in file order for a top-down file and upside down for a bottom-up one: read it
// straight into that block and, if need be, turn the block's rows over where they lie.
bool ReadRowsInPlace(FILE* hfile, const BmpLayout& layout, unsigned char* pixels) {
    const size_t rowBytes = layout.rowBytes;
    for (int r = 0; r < layout.rows;) {
        const int n = RunRows(layout, r);
        unsigned char* block = OutputRow(pixels, layout, layout.topDown ? r : r + n - 1);
        const size_t length = static_cast<size_t>(n) * rowBytes;
        if (std::fread(block, 1, length, hfile) != length) {
            return false;
        }
        if (!layout.topDown) {
            for (int i = 0, j = n - 1; i < j; ++i, --j) {
                SwapRows(block + i * rowBytes, block + j * rowBytes, rowBytes);
            }
        }
        r += n;
    }
    return true;
}

// All other rows (8 and 32 bits, and padded 24-bit ones) go through a run buffer and are
// converted from there.
bool ReadRowsThroughBuffer(FILE* hfile, const BmpLayout& layout, const unsigned char* table,
                           unsigned char* pixels) {
    unsigned char* run = new (std::nothrow) unsigned char[RunBytes(layout, 0, RunRows(layout, 0))];
    if (run == nullptr) {
        return false;
    }
    bool complete = true;
    for (int r = 0; r < layout.rows && complete;) {
        const int n = RunRows(layout, r);
        const size_t length = RunBytes(layout, r, n);
        complete = std::fread(run, 1, length, hfile) == length;
        for (int i = 0; i < n && complete; ++i, ++r) {
            DecodeRow(run + i * layout.rowStride, layout, table, OutputRow(pixels, layout, r));
        }
    }
    delete[] run;
    return complete;
}

// LoadBMP's work on an open file; the caller closes it.
unsigned char* ReadBMP(FILE* hfile, int* pWidth, int* pHeight) {
    if (std::fseek(hfile, 0, SEEK_END) != 0) {
        return nullptr;
    }
    const long fileSize = std::ftell(hfile);
    if (fileSize < 0 || std::fseek(hfile, 0, SEEK_SET) != 0) {
        return nullptr;
    }
    unsigned char head[kHeadSize];
    const size_t headSize = std::fread(head, 1, sizeof head, hfile);
    BmpLayout layout;
    if (!PlanBMP(head, headSize, static_cast<uint64_t>(fileSize), &layout)) {
        return nullptr;
    }

    unsigned char table[kColourTableSize];
    if (layout.bits == 8) {
        unsigned char entries[kMaxColours * 4];
        const size_t length = layout.tableEntries * 4;
        if (std::fseek(hfile, static_cast<long>(layout.tableOffset), SEEK_SET) != 0 ||
            std::fread(entries, 1, length, hfile) != length) {
            return nullptr;
        }
        BuildColourTable(entries, layout.tableEntries, table);
    }
    if (std::fseek(hfile, static_cast<long>(layout.pixelOffset), SEEK_SET) != 0) {
        return nullptr;
    }

    unsigned char* pixels = new (std::nothrow) unsigned char[layout.outputSize];
    if (pixels == nullptr) {
        return nullptr;
    }
    const bool complete = layout.bits == 24 && layout.rowStride == layout.rowBytes
                              ? ReadRowsInPlace(hfile, layout, pixels)
                              : ReadRowsThroughBuffer(hfile, layout, table, pixels);
    if (!complete) {
        delete[] pixels;
        return nullptr;
    }
    *pWidth = layout.width;
    *pHeight = layout.rows;
    return pixels;
}

} // namespace

unsigned char* LoadBMP(const char* filename, int* pWidth, int* pHeight) {
    FILE* hfile = std::fopen(filename, "rb");
    if (hfile == nullptr) {
        return nullptr;
    }
    // Every read below is either small and done once or a whole run of rows: a stream buffer
    // would only add a copy.
    std::setvbuf(hfile, nullptr, _IONBF, 0);
    unsigned char* pixels = ReadBMP(hfile, pWidth, pHeight);
    std::fclose(hfile);
    return pixels;
}

unsigned char* DecodeBMP(const unsigned char* data, size_t size, int* pWidth, int* pHeight) {
    BmpLayout layout;
    if (data == nullptr || !PlanBMP(data, size, size, &layout)) {
        return nullptr;
    }
    unsigned char table[kColourTableSize];
    if (layout.bits == 8) {
        BuildColourTable(data + layout.tableOffset, layout.tableEntries, table);
    }
    unsigned char* pixels = new (std::nothrow) unsigned char[layout.outputSize];
    if (pixels == nullptr) {
        return nullptr;
    }
    for (int r = 0; r < layout.rows; ++r) {
        const unsigned char* row =
            data + layout.pixelOffset + static_cast<size_t>(r) * layout.rowStride;
        DecodeRow(row, layout, table, OutputRow(pixels, layout, r));
    }
    *pWidth = layout.width;
    *pHeight = layout.rows;
    return pixels;
}
