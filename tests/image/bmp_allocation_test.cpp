// How the BMP reader allocates: never more than its file can fill, and a failed allocation
// gives null without leaking. The reader allocates with nothrow new[]; this test program
// replaces the array forms of new and delete (all of them, on malloc and free, so that every
// new[] still pairs with its delete[]) to watch and fail those allocations.
#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

#include <gtest/gtest.h>

#include "bmp_test_files.h"

namespace {

struct ArrayAllocations {
    bool watching = false;
    int calls = 0;        // nothrow new[] calls while watching
    int failAt = 0;       // the call (from 1) that fails; 0 for none
    size_t largest = 0;   // largest request while watching
    long outstanding = 0; // new[] blocks not yet deleted, while watching
} allocations;

void* AllocateArray(std::size_t size) {
    return std::malloc(size == 0 ? 1 : size);
}

} // namespace

void* operator new[](std::size_t size) {
    void* block = AllocateArray(size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (!allocations.watching) {
        return AllocateArray(size);
    }
    ++allocations.calls;
    allocations.largest = std::max(allocations.largest, size);
    if (allocations.calls == allocations.failAt) {
        return nullptr;
    }
    ++allocations.outstanding;
    return AllocateArray(size);
}

void operator delete[](void* block) noexcept {
    if (block != nullptr && allocations.watching) {
        --allocations.outstanding;
    }
    std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept {
    operator delete[](block);
}

namespace {

class BmpAllocation : public ::testing::TestWithParam<BmpSource> {
  protected:
    // Reads `bytes` while watching the reader's allocations; the result is released before
    // the watch ends, so `outstanding` counts only what the reader leaked.
    bool ReadWatched(const std::vector<unsigned char>& bytes, int failAt) {
        allocations = ArrayAllocations{};
        allocations.failAt = failAt;
        allocations.watching = true;
        bool decoded;
        {
            BmpReadResult result;
            ReadBmp(GetParam(), bytes, &result);
            decoded = result.pixels != nullptr;
            if (!decoded) {
                EXPECT_TRUE(result.Rejected());
            }
        }
        allocations.watching = false;
        return decoded;
    }
};

INSTANTIATE_TEST_SUITE_P(, BmpAllocation, ::testing::Values(BmpSource::File, BmpSource::Memory),
                         [](const auto& info) { return BmpSourceName(info.param); });

TEST_P(BmpAllocation, FailedAllocationGivesNullAndLeaksNothing) {
    for (uint16_t bits : {8, 24, 32}) {
        SCOPED_TRACE("bits " + std::to_string(bits));
        const std::vector<unsigned char> bytes = EncodeBmp(PatternImage(5, 3, bits));
        ASSERT_TRUE(ReadWatched(bytes, 0));
        const int calls = allocations.calls;
        ASSERT_GE(calls, 1);
        for (int failAt = 1; failAt <= calls; ++failAt) {
            SCOPED_TRACE("failing allocation " + std::to_string(failAt));
            EXPECT_FALSE(ReadWatched(bytes, failAt));
            EXPECT_EQ(allocations.outstanding, 0);
        }
    }
}

TEST_P(BmpAllocation, NeverAsksMoreThanThreeBytesPerFileByte) {
    // Three output bytes for each index byte is the most a file can fill; the declared sizes
    // of hostile headers must not be allocated before the file is known to hold them.
    struct Case {
        int32_t width, height;
        uint16_t bits;
    };
    for (const Case& c : {Case{20000, 20000, 8}, Case{4, 1 << 20, 24}, Case{65536, 65536, 32},
                          Case{1, -(1 << 30), 24}, Case{5, 3, 8}, Case{1, 40, 8}}) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + " at " +
                     std::to_string(c.bits));
        BmpImage image = PatternImage(1, 40, c.bits);
        image.colourTable.clear();
        std::vector<unsigned char> bytes = EncodeBmp(image);
        PutLE32(&bytes, 18, static_cast<uint32_t>(c.width));
        PutLE32(&bytes, 22, static_cast<uint32_t>(c.height));
        ReadWatched(bytes, 0);
        EXPECT_LE(allocations.largest, 3 * bytes.size());
        EXPECT_EQ(allocations.outstanding, 0);
    }
}

} // namespace
