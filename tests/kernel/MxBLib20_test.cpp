#include "kernel/MxBLib20.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/KernelFixtures.h"

using namespace vo;

namespace {

class MxBLib20 : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!BufferSegmentPool()) MxCreateBufferSegmentPool();
    }
    TMxBufferSegmentPool& Pool() { return *BufferSegmentPool(); }
};

} // namespace

TEST_F(MxBLib20, PoolExistsOnce) {
    test::ExpectError([&] { MxCreateBufferSegmentPool(); }, "MxCreateBufferSegmentPool: pool already exists");
}

TEST_F(MxBLib20, SegmentsGrowAndReturnToPool) {
    TMxBuffer b;
    // Use a segment once, so that the free list holds at least one.
    b.AddByte(1);
    b.Clear();
    const int total0 = Pool().CountTotalSegments();
    const int free0 = Pool().CountFreeSegments();

    for (int i = 0; i < 128; ++i) b.AddByte(static_cast<std::uint8_t>(i));
    EXPECT_EQ(b.GetSize(), 128);
    EXPECT_EQ(b.Head, b.Tail);
    EXPECT_EQ(Pool().CountFreeSegments(), free0 - 1);
    b.AddByte(200); // the 129th byte takes a second segment
    EXPECT_NE(b.Head, b.Tail);
    EXPECT_EQ(b.Head->Next, b.Tail);
    EXPECT_EQ(b.GetSize(), 129);
    const int freeUsed = Pool().CountFreeSegments();

    b.Clear();
    EXPECT_EQ(Pool().CountFreeSegments(), freeUsed + 2);
    EXPECT_EQ(b.GetSize(), 0);
    EXPECT_EQ(b.Head, nullptr);
    EXPECT_EQ(b.Tail, nullptr);

    // After warm-up, building and clearing allocates no new segments.
    for (int i = 0; i < 300; ++i) b.AddByte(static_cast<std::uint8_t>(i));
    b.Clear();
    const int total1 = Pool().CountTotalSegments();
    for (int round = 0; round < 100; ++round) {
        for (int i = 0; i < 300; ++i) b.AddByte(static_cast<std::uint8_t>(i));
        b.Clear();
    }
    EXPECT_EQ(Pool().CountTotalSegments(), total1);
    EXPECT_GE(total1, total0);
}

TEST_F(MxBLib20, GetAndPutSegment) {
    TMxBufferSegment* s = Pool().GetBufferSegment();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Next, nullptr);
    const int free0 = Pool().CountFreeSegments();
    Pool().PutBufferSegment(s);
    EXPECT_EQ(s, nullptr); // the caller's reference is cleared
    EXPECT_EQ(Pool().CountFreeSegments(), free0 + 1);
    TMxBufferSegment* again = Pool().GetBufferSegment(); // the same segment, from the front
    EXPECT_EQ(again->Next, nullptr);
    Pool().PutBufferSegment(again);
}

TEST_F(MxBLib20, PointerReadsSequentiallyAcrossSegments) {
    TMxBuffer b;
    for (int i = 0; i < 300; ++i) b.AddByte(static_cast<std::uint8_t>(i * 7));
    TMxBufferPointer p;
    p.AssignBuffer(&b);
    for (int i = 0; i < 300; ++i) {
        ASSERT_FALSE(p.EndOfBuffer()) << i;
        ASSERT_EQ(p.GetByte(), static_cast<std::uint8_t>(i * 7)) << i;
        ASSERT_EQ(p.GetByte(), static_cast<std::uint8_t>(i * 7)) << i; // reading does not move
        p.Increment();
    }
    EXPECT_TRUE(p.EndOfBuffer());
    p.Increment(); // nothing at the end
    EXPECT_EQ(p.Position(), 300);

    // Bytes added after the pointer reached the end are read on.
    b.AddByte(0x55);
    EXPECT_FALSE(p.EndOfBuffer());
    EXPECT_EQ(p.GetByte(), 0x55);

    // Exactly one full segment, then more.
    TMxBuffer c;
    for (int i = 0; i < 128; ++i) c.AddByte(1);
    p.AssignBuffer(&c);
    for (int i = 0; i < 128; ++i) p.Increment();
    EXPECT_TRUE(p.EndOfBuffer());
    c.AddByte(9);
    EXPECT_EQ(p.GetByte(), 9);

    // AddData builds the same content as byte by byte.
    std::string text(517, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 13);
    TMxBuffer d;
    d.AddByte(static_cast<std::uint8_t>(text[0]));
    d.AddData(text.data() + 1, text.size() - 1);
    EXPECT_EQ(d.GetSize(), 517);
    EXPECT_EQ(d.GetText(), text);
}

TEST_F(MxBLib20, EmptyBufferAndMissingBuffer) {
    TMxBuffer b;
    TMxBufferPointer p;
    p.AssignBuffer(&b);
    EXPECT_TRUE(p.EndOfBuffer());
    p.Increment();
    EXPECT_EQ(p.Position(), 0);
    EXPECT_EQ(b.GetText(), "");

    TMxBufferPointer none;
    struct Case {
        std::function<void()> op;
        const char* text;
    };
    const Case cases[] = {
        {[&] { none.GetByte(); }, "TMxBufferPointer.GetByte: Invalid Buffer"},
        {[&] { none.EndOfBuffer(); }, "TMxBufferPointer.EndOfBuffer: Invalid Buffer"},
        {[&] { none.Increment(); }, "TMxBufferPointer.Increment: Invalid Buffer"},
    };
    for (const auto& c : cases) {
        test::ExpectError([&] { c.op(); }, c.text);
    }
}

TEST_F(MxBLib20, ReadAtEndLogsBufferAndRaises) {
    TMxBuffer b;
    b.AddByte(0xA5);
    b.AddByte(0x03);
    b.AddByte(0x10);
    TMxBufferPointer p;
    p.AssignBuffer(&b);
    for (int i = 0; i < 3; ++i) p.Increment();

    test::CapturedTrace log;
    test::ExpectError([&] { p.GetByte(); }, "TMxBufferPointer.GetByte: Read at End of Buffer");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"[0000] ***INFO: A5", "[0000] ***INFO: 03", "[0000] ***INFO: 10"}));

    // A buffer of exactly one full segment logs 128 lines.
    TMxBuffer full;
    for (int i = 0; i < 128; ++i) full.AddByte(static_cast<std::uint8_t>(i));
    p.AssignBuffer(&full);
    for (int i = 0; i < 128; ++i) p.Increment();
    test::CapturedTrace log2;
    EXPECT_THROW(p.GetByte(), Exception);
    auto lines = log2.Lines();
    ASSERT_EQ(lines.size(), 128u);
    EXPECT_EQ(lines.front(), "[0000] ***INFO: 00");
    EXPECT_EQ(lines.back(), "[0000] ***INFO: 7F");
}

// Buffers are built and cleared on many threads at once; the pool stays consistent.
TEST_F(MxBLib20, PoolSharedByThreads) {
    const int free0 = Pool().CountFreeSegments();
    const int total0 = Pool().CountTotalSegments();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            TMxBuffer b;
            for (int round = 0; round < 200; ++round) {
                const int n = 1 + (round * 37 + t * 11) % 700;
                for (int i = 0; i < n; ++i) b.AddByte(static_cast<std::uint8_t>(i + t));
                TMxBufferPointer p;
                p.AssignBuffer(&b);
                for (int i = 0; i < n; ++i, p.Increment())
                    if (p.GetByte() != static_cast<std::uint8_t>(i + t)) throw std::runtime_error("corrupt byte");
                b.Clear();
            }
        });
    for (auto& th : threads) th.join();
    const int created = Pool().CountTotalSegments() - total0;
    EXPECT_EQ(Pool().CountFreeSegments(), free0 + created);
}
