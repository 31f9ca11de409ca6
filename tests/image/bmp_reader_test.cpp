// The BMP reader's results for well-formed files of every supported layout and its rejection of
// everything else. Every case runs through both entries: LoadBMP on a file and DecodeBMP on
// memory, since LoadBMP reads rows on its own path.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "bmp_test_files.h"
#include "image/bmp_reader.h"

namespace {

const std::vector<uint32_t> kPlainMasks = {0x00FF0000, 0x0000FF00, 0x000000FF};

// `bytes` with the 32-bit field at `at` set to `value`.
std::vector<unsigned char> With32(std::vector<unsigned char> bytes, size_t at, uint32_t value) {
    PutLE32(&bytes, at, value);
    return bytes;
}

// A 3 x 2 image of 32 bits with BI_BITFIELDS and `masks`, behind an info header of `infoSize`.
BmpImage BitfieldsImage(uint32_t infoSize, const std::vector<uint32_t>& masks) {
    BmpImage image = PatternImage(3, 2, 32);
    image.infoSize = infoSize;
    image.compression = 3;
    image.masks = masks;
    return image;
}

class BmpReaderTest : public ::testing::TestWithParam<BmpSource> {
  protected:
    void Read(const std::vector<unsigned char>& bytes, BmpReadResult* result) {
        ReadBmp(GetParam(), bytes, result);
    }
    // Reads `bytes` and expects them to be decoded as `image` of its size, into `pixels` when
    // given, else into ExpectedPixels(image).
    void ExpectDecodedAs(const std::vector<unsigned char>& bytes, const BmpImage& image,
                         const std::vector<unsigned char>& pixels = {}) {
        BmpReadResult result;
        Read(bytes, &result);
        ASSERT_NE(result.pixels, nullptr);
        EXPECT_EQ(result.width, image.width);
        EXPECT_EQ(result.height, std::abs(image.height));
        EXPECT_EQ(result.Bytes(), pixels.empty() ? ExpectedPixels(image) : pixels);
    }
    void ExpectRejected(const std::vector<unsigned char>& bytes) {
        BmpReadResult result;
        Read(bytes, &result);
        EXPECT_TRUE(result.Rejected());
    }
};

std::string SourceName(const ::testing::TestParamInfo<BmpSource>& info) {
    return BmpSourceName(info.param);
}

#define INSTANTIATE_FOR_BOTH_SOURCES(suite)                                                        \
    INSTANTIATE_TEST_SUITE_P(, suite, ::testing::Values(BmpSource::File, BmpSource::Memory),       \
                             SourceName)

// ---- The supported layouts ------------------------------------------------------------------

using BmpLayouts = BmpReaderTest;
INSTANTIATE_FOR_BOTH_SOURCES(BmpLayouts);

TEST_P(BmpLayouts, Maps8BitIndicesThroughFullTableSkippingRowPadding) {
    BmpImage image = PatternImage(2, 2, 8);
    image.pixels = {0x10, 0xFF, 0x00, 0x80};
    image.padByte = 0x07;
    std::vector<unsigned char> bytes = EncodeBmp(image);
    ASSERT_EQ(bytes.size(), 54u + 256 * 4 + 2 * 4); // rows of 2 pixels and 2 bytes of padding
    ExpectDecodedAs(bytes, image);
}

TEST_P(BmpLayouts, Reads24BitRowsPaddedToFourByteMultiples) {
    const uint32_t strides[] = {4, 8, 12};
    for (int width = 1; width <= 3; ++width) {
        SCOPED_TRACE("width " + std::to_string(width));
        BmpImage image = PatternImage(width, 3, 24);
        image.padByte = 0xEE;
        std::vector<unsigned char> bytes = EncodeBmp(image);
        ASSERT_EQ(bytes.size(), 54u + 3 * strides[width - 1]);
        ExpectDecodedAs(bytes, image);
    }
}

TEST_P(BmpLayouts, Drops32BitFourthByte) {
    BmpImage image = PatternImage(3, 2, 32);
    ExpectDecodedAs(EncodeBmp(image), image);
}

TEST_P(BmpLayouts, PlacesFirstFileRowAtEndOfBuffer) {
    std::vector<unsigned char> bytes = EncodeBmp(PatternImage(2, 3, 24));
    BmpReadResult result;
    Read(bytes, &result);
    ASSERT_NE(result.pixels, nullptr);
    const std::vector<unsigned char> out = result.Bytes();
    const size_t row = 6, stride = 8;
    // File row 0 is the image's bottom row, file row 2 its top row.
    EXPECT_TRUE(std::equal(out.end() - row, out.end(), bytes.begin() + 54));
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + row, bytes.begin() + 54 + 2 * stride));
}

TEST_P(BmpLayouts, AcceptsPixelOffsetAtHeaderEnd) {
    BmpImage image = PatternImage(2, 2, 24);
    std::vector<unsigned char> bytes = EncodeBmp(image);
    ASSERT_EQ(bytes[10], 54);
    ExpectDecodedAs(bytes, image);
}

TEST_P(BmpLayouts, RejectsPixelOffsetBelowHeaderEnd) {
    ExpectRejected(With32(EncodeBmp(PatternImage(2, 2, 24)), 10, 53));
}

TEST_P(BmpLayouts, RejectsBadSignatureLeavingSizesUntouched) {
    for (const char* signature : {"BN", "MB", "\0\0"}) {
        std::vector<unsigned char> bytes = EncodeBmp(PatternImage(2, 2, 24));
        bytes[0] = static_cast<unsigned char>(signature[0]);
        bytes[1] = static_cast<unsigned char>(signature[1]);
        ExpectRejected(bytes);
    }
}

// ---- Headers the reader does not read -------------------------------------------------------

using BmpHeaderRejections = BmpReaderTest;
INSTANTIATE_FOR_BOTH_SOURCES(BmpHeaderRejections);

TEST_P(BmpHeaderRejections, RejectsFileShorterThanItsHeaders) {
    const std::vector<unsigned char> whole = EncodeBmp(PatternImage(1, 1, 24));
    for (size_t length : {0, 2, 14, 30, 53}) {
        SCOPED_TRACE("length " + std::to_string(length));
        ExpectRejected(std::vector<unsigned char>(whole.begin(), whole.begin() + length));
    }
}

TEST_P(BmpHeaderRejections, AcceptsOnlyKnownInfoHeaderSizes) {
    // Pixels at 138, behind the largest header, so that only the size field differs.
    BmpImage image = PatternImage(2, 2, 24);
    image.infoSize = 124;
    const std::vector<unsigned char> original = EncodeBmp(image);
    for (uint32_t size = 0; size <= 124; ++size) {
        SCOPED_TRACE("biSize " + std::to_string(size));
        const std::vector<unsigned char> bytes = With32(original, 14, size);
        if (size == 40 || size == 52 || size == 56 || size == 108 || size == 124) {
            ExpectDecodedAs(bytes, image);
        } else {
            ExpectRejected(bytes);
        }
    }
    ExpectRejected(With32(original, 14, 0xFFFFFFFF));
}

TEST_P(BmpHeaderRejections, RejectsPixelOffsetInsideLargerHeader) {
    BmpImage image = PatternImage(2, 2, 24);
    image.infoSize = 124;
    std::vector<unsigned char> bytes = EncodeBmp(image);
    ASSERT_EQ(bytes[10], 138);
    for (uint32_t offset : {54u, 100u, 137u}) {
        ExpectRejected(With32(bytes, 10, offset));
    }
}

TEST_P(BmpHeaderRejections, RejectsPixelOffsetBeyondFile) {
    const std::vector<unsigned char> bytes = EncodeBmp(PatternImage(2, 2, 24));
    const uint32_t size = static_cast<uint32_t>(bytes.size());
    for (uint32_t offset : {size, size + 1, 0x80000000u, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
        SCOPED_TRACE("offset " + std::to_string(offset));
        ExpectRejected(With32(bytes, 10, offset));
    }
}

TEST_P(BmpHeaderRejections, RejectsEmptyOrNegativeWidthAndEmptyHeight) {
    const std::vector<unsigned char> original = EncodeBmp(PatternImage(4, 4, 24));
    const struct {
        int32_t width, height;
    } sizes[] = {{0, 4}, {4, 0}, {0, 0}, {-4, 4}, {-4, -4}, {INT32_MIN, 4}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        ExpectRejected(With32(With32(original, 18, static_cast<uint32_t>(size.width)), 22,
                              static_cast<uint32_t>(size.height)));
    }
}

TEST_P(BmpHeaderRejections, RejectsDepthsOtherThan8And24And32) {
    const std::vector<unsigned char> original = EncodeBmp(PatternImage(4, 4, 32));
    for (uint16_t bits = 0; bits <= 64; ++bits) {
        if (bits == 8 || bits == 24 || bits == 32) {
            continue;
        }
        SCOPED_TRACE("bits " + std::to_string(bits));
        std::vector<unsigned char> bytes = original;
        PutLE16(&bytes, 28, bits);
        ExpectRejected(bytes);
    }
}

TEST_P(BmpHeaderRejections, RejectsCompressedFiles) {
    // RLE8, RLE4, BITFIELDS below 32 bits, JPEG, PNG, ALPHABITFIELDS and the CMYK variants.
    for (uint16_t bits : {8, 24, 32}) {
        for (uint32_t compression : {1u, 2u, 3u, 4u, 5u, 6u, 11u, 12u, 13u, 0x80000000u}) {
            if (bits == 32 && compression == 3) {
                continue;
            }
            SCOPED_TRACE(std::to_string(bits) + " bits, compression " +
                         std::to_string(compression));
            BmpImage image = PatternImage(4, 2, bits);
            image.compression = compression;
            image.masks = kPlainMasks;
            ExpectRejected(EncodeBmp(image));
        }
    }
}

// ---- Sizes that do not fit ------------------------------------------------------------------

using BmpSizeRejections = BmpReaderTest;
INSTANTIATE_FOR_BOTH_SOURCES(BmpSizeRejections);

// A small file whose header declares `width` x `height`, with enough bytes after its headers
// that a size computed with 32-bit wrap-around would seem to fit.
std::vector<unsigned char> FileDeclaring(int32_t width, int32_t height, uint16_t bits) {
    std::vector<unsigned char> bytes = EncodeBmp(PatternImage(4, 4, bits));
    bytes.resize(bytes.size() + 4096, 0x33);
    return With32(With32(bytes, 18, static_cast<uint32_t>(width)), 22,
                  static_cast<uint32_t>(height));
}

TEST_P(BmpSizeRejections, RejectsSizesWhoseProductOverflows) {
    ExpectRejected(FileDeclaring(0x55555556, 1, 24)); // width x 3 wraps to 2
    ExpectRejected(FileDeclaring(65536, 65536, 32));  // width x height wraps to 0
    ExpectRejected(FileDeclaring(65536, -65536, 32));
    ExpectRejected(FileDeclaring(46341, 46341, 8)); // x 3 passes 2^31
    ExpectRejected(FileDeclaring(1, 0x7FFFFFFF, 8));
}

TEST_P(BmpSizeRejections, RejectsRowsLongerThan32BitSizes) {
    // The output fits, but the file's row does not: 0x7FFFFFFE rounds up to 0x80000000, and
    // 0x20000000 pixels of 4 bytes are 0x80000000 bytes.
    ExpectRejected(FileDeclaring(0x2AAAAAAA, 1, 24));
    ExpectRejected(FileDeclaring(0x20000000, 1, 32));
}

TEST_P(BmpSizeRejections, RejectsMostNegativeHeight) {
    ExpectRejected(FileDeclaring(1, INT32_MIN, 24));
    ExpectRejected(FileDeclaring(1, INT32_MIN, 8));
}

TEST_P(BmpSizeRejections, RejectsDeclaredRowsTheFileDoesNotHold) {
    ExpectRejected(FileDeclaring(20000, 20000, 8));
    ExpectRejected(FileDeclaring(4, 1 << 20, 24));
    ExpectRejected(FileDeclaring(4, -(1 << 20), 32));
}

// ---- Truncated files ------------------------------------------------------------------------

using BmpTruncation = BmpReaderTest;
INSTANTIATE_FOR_BOTH_SOURCES(BmpTruncation);

TEST_P(BmpTruncation, AcceptsLastRowWithoutItsPadding) {
    for (uint16_t bits : {8, 24}) {
        SCOPED_TRACE("bits " + std::to_string(bits));
        BmpImage image = PatternImage(3, 3, bits);
        std::vector<unsigned char> bytes = EncodeBmp(image);
        const size_t padding = BmpRowStride(3, bits) - 3 * bits / 8;
        bytes.resize(bytes.size() - padding);
        ExpectDecodedAs(bytes, image);
    }
}

TEST_P(BmpTruncation, RejectsFileEndingInsideAPixelRow) {
    for (uint16_t bits : {8, 24, 32}) {
        for (int32_t height : {3, -3}) {
            SCOPED_TRACE(std::to_string(bits) + " bits, height " + std::to_string(height));
            const std::vector<unsigned char> whole = EncodeBmp(PatternImage(3, height, bits));
            const size_t stride = BmpRowStride(3, bits);
            const size_t padding = stride - 3 * bits / 8;
            for (size_t cut : {padding + 1, stride, 2 * stride + 1, 3 * stride}) {
                ExpectRejected(std::vector<unsigned char>(whole.begin(), whole.end() - cut));
            }
        }
    }
}

// ---- Top-down files -------------------------------------------------------------------------

using BmpTopDown = BmpReaderTest;
INSTANTIATE_FOR_BOTH_SOURCES(BmpTopDown);

TEST_P(BmpTopDown, KeepsFileRowOrderAndReportsRowCount) {
    for (uint16_t bits : {8, 24, 32}) {
        SCOPED_TRACE("bits " + std::to_string(bits));
        BmpImage image = PatternImage(5, -4, bits);
        ExpectDecodedAs(EncodeBmp(image), image); // height 4
    }
}

TEST_P(BmpTopDown, ReadsFirstFileRowAsTopRow) {
    std::vector<unsigned char> bytes = EncodeBmp(PatternImage(2, -3, 24));
    BmpReadResult result;
    Read(bytes, &result);
    ASSERT_NE(result.pixels, nullptr);
    EXPECT_EQ(result.height, 3);
    EXPECT_TRUE(std::equal(result.pixels, result.pixels + 6, bytes.begin() + 54));
}

// ---- 32-bit BI_BITFIELDS --------------------------------------------------------------------

using BmpBitfields = BmpReaderTest;
INSTANTIATE_FOR_BOTH_SOURCES(BmpBitfields);

TEST_P(BmpBitfields, DecodesPlainMasksLikeUncompressed) {
    for (uint32_t infoSize : {40u, 52u, 56u, 108u, 124u}) {
        SCOPED_TRACE("biSize " + std::to_string(infoSize));
        const BmpImage image = BitfieldsImage(infoSize, kPlainMasks);
        ExpectDecodedAs(EncodeBmp(image), image);
    }
}

TEST_P(BmpBitfields, RejectsAnyOtherMasks) {
    const std::vector<uint32_t> masks[] = {
        {0x000000FF, 0x0000FF00, 0x00FF0000}, // red and blue exchanged
        {0xFF000000, 0x00FF0000, 0x0000FF00}, // shifted up a byte
        {0x0000F800, 0x000007E0, 0x0000001F}, // 5-6-5
        {0x00FF0000, 0x0000FF00, 0x000000FE},
        {0, 0, 0}};
    for (uint32_t infoSize : {40u, 108u}) {
        for (const std::vector<uint32_t>& mask : masks) {
            ExpectRejected(EncodeBmp(BitfieldsImage(infoSize, mask)));
        }
    }
}

TEST_P(BmpBitfields, RejectsPixelOffsetOverlappingMasks) {
    const std::vector<unsigned char> bytes = EncodeBmp(BitfieldsImage(40, kPlainMasks));
    ASSERT_EQ(bytes[10], 66);
    for (uint32_t offset : {54u, 58u, 65u}) {
        ExpectRejected(With32(bytes, 10, offset));
    }
}

// ---- 8-bit colour tables --------------------------------------------------------------------

using BmpColourTable = BmpReaderTest;
INSTANTIATE_FOR_BOTH_SOURCES(BmpColourTable);

TEST_P(BmpColourTable, FollowsLargerInfoHeaders) {
    for (uint32_t infoSize : {52u, 56u, 108u, 124u}) {
        SCOPED_TRACE("biSize " + std::to_string(infoSize));
        BmpImage image = PatternImage(4, 2, 8);
        image.infoSize = infoSize;
        // Header bytes beyond the first 40 that would be read as a table at offset 54.
        std::vector<unsigned char> bytes = EncodeBmp(image);
        std::fill(bytes.begin() + 54, bytes.begin() + 14 + infoSize, 0xC3);
        ExpectDecodedAs(bytes, image);
    }
}

TEST_P(BmpColourTable, HasClrUsedEntriesAndBlackBeyondThem) {
    BmpImage image = PatternImage(4, 1, 8);
    image.colourTable = PatternColourTable(2);
    // A gap between the short table and the rows: its bytes are no colours of the file.
    image.colourTable.insert(image.colourTable.end(), 8, 0xEE);
    image.clrUsed = 2;
    image.pixels = {0, 1, 2, 255};
    ExpectDecodedAs(EncodeBmp(image), image, {0, 255, 0x5A, 1, 254, 0x5B, 0, 0, 0, 0, 0, 0});
}

TEST_P(BmpColourTable, ReadsFirst256EntriesWhenClrUsedIsLarger) {
    BmpImage image = PatternImage(4, 2, 8);
    image.colourTable = PatternColourTable(1000);
    image.clrUsed = 1000;
    image.pixels = {0, 255, 17, 128, 200, 254, 1, 2};
    ExpectDecodedAs(EncodeBmp(image), image);
}

TEST_P(BmpColourTable, OmitsEntriesOverlappingPixelRows) {
    // A full table is declared, but the rows start 3 entries and 2 bytes after the header: the
    // bytes that would make entries 3 and up belong to the rows, and those indices are black.
    BmpImage image = PatternImage(4, 2, 8);
    image.colourTable = PatternColourTable(3);
    image.colourTable.push_back(0x44);
    image.colourTable.push_back(0x55);
    image.pixels = {0, 1, 2, 3, 4, 0x60, 0x61, 0x62};
    BmpImage shown = image;
    shown.colourTable = PatternColourTable(3);
    ExpectDecodedAs(EncodeBmp(image), shown);
}

TEST_P(BmpColourTable, HasNoEntriesWhenRowsFollowTheHeader) {
    BmpImage image = PatternImage(4, 1, 8);
    image.colourTable.clear();
    ExpectDecodedAs(EncodeBmp(image), image, std::vector<unsigned char>(12, 0));
}

TEST(BmpFile, ReadsImagesLargerThanOneRunOfRows) {
    // LoadBMP reads rows in runs of a few hundred kilobytes; these images take several runs and
    // end in a shorter one: 24-bit rows read in place in both orders, and converted rows with
    // and without padding.
    const struct {
        int32_t width, height;
        uint16_t bits;
    } cases[] = {
        {1024, 301, 24}, {1024, -301, 24}, {1023, 301, 8}, {1023, -301, 24}, {700, 301, 32}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.bits) + " bits, " + std::to_string(c.width) + " x " +
                     std::to_string(c.height));
        const BmpImage image = PatternImage(c.width, c.height, c.bits);
        std::vector<unsigned char> bytes = EncodeBmp(image);
        bytes.resize(bytes.size() - (BmpRowStride(c.width, c.bits) - c.width * c.bits / 8));
        BmpReadResult result;
        ReadBmp(BmpSource::File, bytes, &result);
        ASSERT_NE(result.pixels, nullptr);
        EXPECT_EQ(result.Bytes(), ExpectedPixels(image));
    }
}

TEST(BmpFile, MissingFileLeavesSizesUntouched) {
    int width = 7, height = 9;
    EXPECT_EQ(LoadBMP("no/such/directory/grass.bmp", &width, &height), nullptr);
    EXPECT_EQ(width, 7);
    EXPECT_EQ(height, 9);
}

} // namespace
