// Large blocks: placed on 2 MB boundaries, zeroed, usable to their last byte.
#include "platform/LargeBlocks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

using namespace vo;

namespace {

TEST(LargeBlocks, BlocksAreAlignedZeroedAndUsableToTheirEnd) {
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

} // namespace
