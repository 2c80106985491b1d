// Large blocks: placed on 2 MB boundaries, zeroed, usable to their last byte.
#include "platform/LargeBlocks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

using namespace vo;

namespace {

TEST(LargeBlocks, BlocksAreAlignedZeroedAndUsableToTheirEnd) {
    TrimLargeBlocks(); // nothing kept: every block below is fresh
    TrimLargeBlocks();
    for (const std::size_t bytes : {LargeBlockMin, LargeBlockMin + 1, 3 * LargeBlockMin - 8, 5 * LargeBlockMin}) {
        SCOPED_TRACE(bytes);
        auto* p = static_cast<unsigned char*>(AllocateLargeBlock(bytes));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % LargeBlockMin, 0u);
        EXPECT_EQ(p[0], 0);
        EXPECT_EQ(p[bytes / 2], 0);
        EXPECT_EQ(p[bytes - 1], 0);
        std::memset(p, 0xA5, bytes);
        EXPECT_EQ(p[bytes - 1], 0xA5);
        FreeLargeBlock(p, bytes);
    }
    FreeLargeBlock(nullptr, LargeBlockMin); // nothing to return
}

TEST(LargeBlocks, FreedBlocksAreReusedByTheSameSizeAndGoBackAfterTwoTrims) {
    TrimLargeBlocks();
    TrimLargeBlocks();
    ASSERT_EQ(KeptLargeBlockBytes(), 0u);
    void* a = AllocateLargeBlock(3 * LargeBlockMin - 100); // mapped: 6 MB
    FreeLargeBlock(a, 3 * LargeBlockMin - 100);
    EXPECT_EQ(KeptLargeBlockBytes(), 3 * LargeBlockMin);
    void* other = AllocateLargeBlock(LargeBlockMin); // another size: a block of its own
    EXPECT_NE(other, a);
    void* again = AllocateLargeBlock(3 * LargeBlockMin); // the same mapped size
    EXPECT_EQ(again, a);
    EXPECT_EQ(KeptLargeBlockBytes(), 0u);
    FreeLargeBlock(again, 3 * LargeBlockMin);
    FreeLargeBlock(other, LargeBlockMin);
    TrimLargeBlocks(); // kept one trim: they stay
    EXPECT_EQ(KeptLargeBlockBytes(), 4 * LargeBlockMin);
    TrimLargeBlocks();
    EXPECT_EQ(KeptLargeBlockBytes(), 0u);
    // No more than 64 MB are kept; the rest goes back at once.
    std::vector<void*> blocks;
    for (int i = 0; i < 40; ++i) blocks.push_back(AllocateLargeBlock(LargeBlockMin));
    for (void* b : blocks) FreeLargeBlock(b, LargeBlockMin);
    EXPECT_EQ(KeptLargeBlockBytes(), std::size_t{64} << 20);
    TrimLargeBlocks();
    TrimLargeBlocks();
    EXPECT_EQ(KeptLargeBlockBytes(), 0u);
}

} // namespace
