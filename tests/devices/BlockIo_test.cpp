// Block reader, flash block reader, block writer and device actor against a
// simulated drive (vx41: buffer 255, data size 2, one word per address) over
// a pseudo-terminal: how a range is split into telegrams, how the data is
// taken across record boundaries, error results, misuse, and the device
// actor's job queue.
#include "devices/DevActor.h"
#include "devices/ExeFlashrdblk.h"
#include "devices/ExeRdBlk.h"
#include "devices/Exewrblk.h"

#include "tests/support/DeviceFixture.h"
#include "tests/support/ExpectError.h"

#include <gtest/gtest.h>

namespace vo {
namespace {

using namespace std::chrono_literals;
using test::ExpectError;

MyAnsiString Pattern(size_t N, int Seed = 0) { return test::TestBytes(N, 7, Seed); }

class BlockIoTest : public test::OnlineDeviceTest {
protected:
    TBasicOvraService& S() { return Ovra(*Device); }
    template <class R>
    void Run(R& Reader) {
        int responses = 0;
        Reader.SetOnResponse([&](auto&) { ++responses; });
        Reader.Execute();
        ASSERT_TRUE(Until([&] { return responses > 0; }));
        EXPECT_EQ(responses, 1);
    }
};

TEST_F(BlockIoTest, AReadIsSplitIntoBlocksThatFitTheBuffer) {
    const MyAnsiString data = Pattern(600);
    Poke(0x1000, data);
    TBlockReader r;
    r.Put(S(), 0x1000, 600);
    EXPECT_EQ(r.MaxBufferSize(), 252);
    Run(r);
    EXPECT_EQ(r.Result(), 0);
    EXPECT_EQ(Frames("30"), (std::vector<std::string>{"30 00 10 00 00 FC", "30 7E 10 00 00 FC", "30 FC 10 00 00 60"}));
    EXPECT_EQ(r.GetData(250), data.substr(0, 250));
    EXPECT_EQ(r.GetData(300), data.substr(250, 300));
    // The end of the data: only the bytes read, then nothing.
    char buf[100];
    EXPECT_EQ(r.GetDataBuf(buf, 100), 50);
    EXPECT_EQ(MyAnsiString(buf, 50), data.substr(550));
    EXPECT_EQ(r.GetData(10), "");
    // Reset rewinds to the first byte.
    r.Reset();
    EXPECT_EQ(r.GetData(4), data.substr(0, 4));
}

TEST_F(BlockIoTest, DataIsTakenAcrossRecordBoundaries) {
    // Records of 6 and 2 bytes: a reader whose blocks are 6 bytes long.
    const MyAnsiString data = Pattern(8, 3);
    Poke(0x2000, data);
    TBlockReader r;
    r.Put(S(), 0x2000, 6);
    // Add the second record through a second reader's pattern: a range of 8
    // bytes is one record on this drive, so build 6 + 2 by hand.
    S().GetMemoryBlock()->Put(r.Actor(), 0x2003, 2, 0);
    Run(r);
    ASSERT_EQ(r.Result(), 0);
    EXPECT_EQ(r.GetData(4), data.substr(0, 4));
    EXPECT_EQ(r.GetData(4), data.substr(4, 4));
}

TEST_F(BlockIoTest, TheFirstFailingRecordGivesTheResult) {
    Runner->Faults().Add("cmd=30 from=2 times=1 status=B2");
    TBlockReader r;
    r.Put(S(), 0x1000, 600);
    Run(r);
    EXPECT_EQ(r.Result(), 0xB2);
    // The bytes of the failed record are missing: no undefined bytes come.
    EXPECT_EQ(r.GetData(600).size(), 252u + 96u);
}

TEST_F(BlockIoTest, TheFlashReaderUsesItsOwnTelegram) {
    TFlashBlockReader r;
    EXPECT_STREQ(r.ClassName(), "TFlashBlockReader");
    EXPECT_EQ(r.Actor().Name(), "Flash Block Reader Actor");
    r.Put(S(), 0x01000000, 8);
    Run(r);
    EXPECT_EQ(r.Result(), 0);
    EXPECT_EQ(Frames("36"), (std::vector<std::string>{"36 00 00 00 01 08"}));
    EXPECT_EQ(r.GetData(8), MyAnsiString(8, '\xFF'));
}

TEST_F(BlockIoTest, MisuseIsRefused) {
    TBlockReader r;
    ExpectError([&] { r.Put(S(), 0x1000, 3); }, "TBlockReader.Put: data word size error");
    ExpectError([&] { r.Execute(); }, "TBlockReader.Execute: not initialized");
    TBlockWriter w;
    ExpectError([&] { w.PutData("ab"); }, "TBlockWriter.PutData: not initialized");
    ExpectError([&] { w.Execute(); }, "TBlockWriter.Execute: not initialized");
    w.Put(S(), 0x1000, false);
    w.PutData("abc");
    ExpectError([&] { w.Execute(); }, "TBlockWriter.PutSendBuffer: data word size error");

    r.Put(S(), 0x1000, 8);
    r.Execute();
    ExpectError([&] { r.Put(S(), 0x1000, 8); }, "TBlockReader.Put: actor is busy");
    ExpectError([&] { r.Clear(); }, "TBlockReader.Clear: actor is busy");
    ExpectError([&] { r.Execute(); }, "TBlockReader.Execute: actor is busy");
    ExpectError([&] { r.Reset(); }, "TBlockReader.Reset: actor is busy");
    ASSERT_TRUE(Until([&] { return !r.IsBusy(); }));

    S().SetDeviceOnline(false);
    ExpectError([&] { r.Put(S(), 0x1000, 8); }, "TBlockReader.Put: device is not online");
    ExpectError([&] { w.Put(S(), 0x1000, true); }, "TBlockWriter.Put: device is not online");
    ExpectError([&] { w.PutEnc(S(), 0x1000); }, "TBlockWriter.Put: device is not online");
    S().SetDeviceOnline(true);
}

TEST_F(BlockIoTest, AWriterPutsFullRecordsAtOnceAndTheRestAtExecute) {
    const MyAnsiString data = Pattern(300, 5);
    TBlockWriter w;
    w.Put(S(), 0x3000, false);
    EXPECT_EQ(w.MaxBufferSize(), 250);
    w.PutData(data.substr(0, 200));
    EXPECT_EQ(w.Actor().Count(), 0);
    w.PutData(data.substr(200));
    EXPECT_EQ(w.Actor().Count(), 1);
    EXPECT_EQ(w.Size(), 300);
    Run(w);
    EXPECT_EQ(w.Actor().Count(), 2);
    EXPECT_EQ(w.Result(), 0);
    EXPECT_EQ(Peek(0x3000, 300), data);
    const auto frames = Frames("31");
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].substr(0, 14), "31 7D 30 00 00");
}

TEST_F(BlockIoTest, FlashAndEncryptedFlashWrites) {
    const MyAnsiString data = Pattern(40, 9);
    TBlockWriter w;
    w.Put(S(), 0x01000100, true);
    w.PutData(data);
    Run(w);
    EXPECT_EQ(w.Result(), 0);
    EXPECT_EQ(Frames("32").size(), 1u);
    // Flash that is not erased refuses a second write.
    w.Put(S(), 0x01000100, true);
    w.PutData(data);
    Run(w);
    EXPECT_EQ(w.Result(), 0xC4);
    // A drive whose flash takes new bytes over old ones.
    Runner->WithDrive([](SimDrive& d) {
        d.SetFlashOverwrite(true);
        return 0;
    });
    const MyAnsiString again = Pattern(40, 11);
    w.Put(S(), 0x01000100, true);
    w.PutData(again);
    Run(w);
    EXPECT_EQ(w.Result(), 0);
    EXPECT_EQ(Peek(0x01000100, 40), again);

    w.PutEnc(S(), 0x01000200);
    EXPECT_TRUE(w.Encrypted());
    w.PutData(data);
    Run(w);
    EXPECT_EQ(w.Result(), 0);
    EXPECT_EQ(Frames("37").size(), 1u);
    EXPECT_EQ(Peek(0x01000200, 40), data);
}

// ------------------------------------------------------------ device actor

TEST_F(BlockIoTest, DeviceActorJobsAnswerInOrder) {
    Poke(0x0400, MyAnsiString("\x34\x12", 2));
    TDeviceActor a(2);
    std::vector<std::string> calls;
    a.Write(S(), 0x0402, 0x5678, 11, [&](uint8_t R, int32_t U) {
        calls.push_back("write " + std::to_string(R) + " " + std::to_string(U));
    });
    a.Read(S(), 0x0400, 12, [&](uint8_t R, int32_t D, int32_t U) {
        calls.push_back("read " + std::to_string(R) + " " + std::to_string(D) + " " + std::to_string(U));
    });
    ExpectError([&] { a.Stop(S(), 13, nullptr); }, "TClientJobQueue.GetNewJob: FULL");
    EXPECT_EQ(a.Queue().Count(), 2u);
    ASSERT_TRUE(Until([&] { return calls.size() == 2; }));
    EXPECT_EQ(calls, (std::vector<std::string>{"write 0 11", "read 0 4660 12"}));
    EXPECT_EQ(Peek(0x0402, 2), MyAnsiString("\x78\x56", 2));

    // A failing read: its result and Data 0; the queue goes on.
    calls.clear();
    Runner->Faults().Add("cmd=10 status=B2");
    a.Read(S(), 0x0400, 1, [&](uint8_t R, int32_t D, int32_t U) {
        calls.push_back("read " + std::to_string(R) + " " + std::to_string(D) + " " + std::to_string(U));
    });
    a.Read(S(), 0x0400, 2, [&](uint8_t R, int32_t D, int32_t U) {
        calls.push_back("read " + std::to_string(R) + " " + std::to_string(D) + " " + std::to_string(U));
    });
    ASSERT_TRUE(Until([&] { return calls.size() == 2; }));
    EXPECT_EQ(calls, (std::vector<std::string>{"read 178 0 1", "read 0 4660 2"}));
    EXPECT_TRUE(a.Queue().Empty());
}

TEST_F(BlockIoTest, DeviceActorSendsEachJobKindsTelegram) {
    TDeviceActor a(8);
    std::vector<int32_t> users;
    auto resp = [&](uint8_t R, int32_t U) {
        EXPECT_EQ(R, 0) << U;
        users.push_back(U);
    };
    a.Stop(S(), 2, resp);
    a.Erase(S(), 0x01001000, 4, resp);
    a.Flash(S(), 0x01001000, 0x0102, 7, resp);
    a.Start(S(), 0x1234, 1, resp);
    a.Stop(S(), 2, resp);
    ASSERT_TRUE(Until([&] { return users.size() == 5; }));
    EXPECT_EQ(users, (std::vector<int32_t>{2, 4, 7, 1, 2}));
    EXPECT_EQ(Frames("20"), (std::vector<std::string>{"20"}));
    EXPECT_EQ(Frames("23"), (std::vector<std::string>{"23 00 10 00 01"}));
    EXPECT_EQ(Peek(0x01001000, 2), MyAnsiString("\x02\x01", 2));
}

} // namespace
} // namespace vo
