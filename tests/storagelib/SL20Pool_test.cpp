// The value pools: values read come from arena chunks that outlive the read
// as long as any of their values lives, go back to the thread (and, after
// two trims, to the system) once all are freed, and may be freed on another
// thread; values made outside a read reuse freed blocks one by one; element
// lists keep their elements as they grow into large blocks and back.
#include "storagelib/SL20Pool.h"

#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Elm.h"

#include "tests/storagelib/SLTestUtil.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace vo {
namespace {

using PoolTest = test::ValueTest;

// An array of Count entries, each an integer, a real, a short and a long
// string and a small array: about 80 bytes of values per entry.
std::string ManyValues(int Count) {
    std::string t = "[A ";
    for (int i = 0; i < Count; ++i) {
        t += std::to_string(i);
        t += " 1.5 'abc' 'a string longer than the inline room' [A #1 #0] ";
    }
    t += ']';
    return t;
}

// The entry at Index checked against what ManyValues wrote.
void ExpectEntry(const TSLArray& A, int Index) {
    ASSERT_EQ(A.GetIntAtIndex(Index * 5), Index);
    EXPECT_EQ(A.GetFloatAtIndex(Index * 5 + 1), 1.5);
    EXPECT_EQ(A.GetStrAtIndex(Index * 5 + 2), "abc");
    EXPECT_EQ(A.GetStrAtIndex(Index * 5 + 3), "a string longer than the inline room");
    const auto* flags = SLCast<TSLArray>(A.GetObjAtIndex(Index * 5 + 4));
    EXPECT_TRUE(flags->GetBoolAtIndex(0));
    EXPECT_FALSE(flags->GetBoolAtIndex(1));
}

// Frees what earlier tests left empty, so that counts start from a known state.
void TrimAll() {
    TSLSmallPool::Trim();
    TSLSmallPool::Trim();
}

TEST_F(PoolTest, PartsOfAReadValueOutliveTheRestAndTheChunksComeBack) {
    if (!VO_SL_POOL_ENABLED) GTEST_SKIP() << "the pools are left out under the address sanitizer";
    TrimAll();
    const std::size_t before = TSLSmallPool::ChunksInUse();
    TRef<TSLObject> kept;
    {
        TRef<TSLObject> v = SLDecodeString(ManyValues(20000));
        auto* a = SLCast<TSLArray>(v.Get());
        ASSERT_EQ(a->GetCount(), 100000);
        EXPECT_GE(TSLSmallPool::ChunksInUse(), before + 20) << "a read of this size fills many chunks";
        ExpectEntry(*a, 0);
        ExpectEntry(*a, 19999);
        kept = a->GetObjAtIndex(5 * 10000 + 4); // one small array from the middle
    }
    // Everything else is freed; the kept value and its chunk live on.
    const auto* flags = SLCast<TSLArray>(kept.Get());
    EXPECT_TRUE(flags->GetBoolAtIndex(0));
    EXPECT_FALSE(flags->GetBoolAtIndex(1));
    EXPECT_LE(TSLSmallPool::ChunksInUse(), before + 3);
    kept.Reset();
    // A second read of the same size reuses the emptied chunks.
    const std::size_t cached = TSLSmallPool::CachedArenaChunks();
    EXPECT_GE(cached, 20u);
    {
        TRef<TSLObject> v = SLDecodeString(ManyValues(20000));
        ExpectEntry(*SLCast<TSLArray>(v.Get()), 12345);
        EXPECT_LE(TSLSmallPool::ChunksInUse() + TSLSmallPool::CachedArenaChunks(), before + cached + 3);
    }
    // Chunks unused between two trims go back to the system (whole slabs).
    TrimAll();
    EXPECT_LT(TSLSmallPool::CachedArenaChunks(), 16u * 2);
}

TEST_F(PoolTest, ReadValuesFreedOnAnotherThreadComeBackToTheReadingThread) {
    if (!VO_SL_POOL_ENABLED) GTEST_SKIP() << "the pools are left out under the address sanitizer";
    TrimAll();
    const std::size_t before = TSLSmallPool::ChunksInUse();
    TRef<TSLObject> v = SLDecodeString(ManyValues(5000));
    EXPECT_GT(TSLSmallPool::ChunksInUse(), before);
    std::thread([held = std::move(v)]() mutable {
        ExpectEntry(*SLCast<TSLArray>(held.Get()), 4999);
        held.Reset();
    }).join();
    TSLSmallPool::Trim(); // takes the other thread's frees
    EXPECT_LE(TSLSmallPool::ChunksInUse(), before + 1);
}

TEST_F(PoolTest, ValuesReadOnAThreadThatEndedAreFreedLater) {
    if (!VO_SL_POOL_ENABLED) GTEST_SKIP() << "the pools are left out under the address sanitizer";
    TRef<TSLObject> v;
    std::thread([&v] { v = SLDecodeString(ManyValues(3000)); }).join();
    ExpectEntry(*SLCast<TSLArray>(v.Get()), 2999);
    // Changing it here mixes blocks of both threads.
    SLCast<TSLArray>(v.Get())->AddObject(MakeRef<TSLString>("added here").Get());
    v.Reset();
}

TEST_F(PoolTest, ValuesMadeOutsideAReadReuseFreedBlocks) {
    if (!VO_SL_POOL_ENABLED) GTEST_SKIP() << "the pools are left out under the address sanitizer";
    {
        TRef<TSLLongint> warm = MakeRef<TSLLongint>(1); // the first chunk of the thread's lists
    }
    const std::size_t before = TSLSmallPool::ChunksInUse();
    for (int i = 0; i < 200000; ++i) {
        TRef<TSLLongint> n = MakeRef<TSLLongint>(i);
        TRef<TSLString> s = MakeRef<TSLString>("x");
    }
    EXPECT_EQ(TSLSmallPool::ChunksInUse(), before);
}

TEST(PoolLists, ElementsSurviveGrowingIntoLargeBlocksAndBack) {
    // Grows from pool blocks through general ones into large blocks and back.
    std::vector<uint64_t, TSLPoolAllocator<uint64_t>> list;
    const std::size_t n = 3 * LargeBlockMin / sizeof(uint64_t);
    for (std::size_t i = 0; i < n; ++i) list.push_back(i * 7919);
    for (std::size_t i = 0; i < n; i += 4099) ASSERT_EQ(list[i], i * 7919);
    list.resize(100);
    list.shrink_to_fit();
    EXPECT_EQ(list[99], 99u * 7919);
    std::vector<uint64_t, TSLPoolAllocator<uint64_t>> copy(list);
    copy.resize(n, 1);
    EXPECT_EQ(copy[n - 1], 1u);
    EXPECT_EQ(copy[50], 50u * 7919);
}

} // namespace
} // namespace vo
