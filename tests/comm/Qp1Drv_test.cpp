// The older serial protocol gateway over a pseudo-terminal to a simulated
// drive of that protocol: the login answered by the gateway itself, word
// transfers with their check sums, block reads and writes, the interim
// "wait longer" frames, wrong sums, a silent drive, and one tty for one port
// only. The state machine alone is driven through a table of line faults.
#include "comm/Qp1Drv.h"

#include "comm/RsDrv.h"
#include "kernel/Debug.h"
#include "platform/ComPorts.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/OvraServerFixture.h"
#include "tools/drivesim/SimDriveFile.h"
#include "tools/drivesim/SimQp1.h"

#include <gtest/gtest.h>

#include <condition_variable>

using namespace vo;
using namespace vo::test;
using namespace std::chrono_literals;

namespace {

MyAnsiString Bytes(std::string_view Hex) {
    return SimHex(Hex);
}

// Serial port names of the tests point at the simulator's pseudo-terminal.
class TScopedComMapping {
public:
    TScopedComMapping(std::string Name, const std::string& Path) : FName(std::move(Name)) {
        ComPortTable::Instance().Map(FName, Path);
    }
    ~TScopedComMapping() { ComPortTable::Instance().Unmap(FName); }

private:
    std::string FName;
};

class GatewayTest : public ::testing::Test {
protected:
    void SetUp() override {
        MxEnsureMessaging();
        Drive = std::make_unique<SimQp1Drive>(SimLoadDrive(SimDataDir() + "/oqp10.drive"));
        Mapping = std::make_unique<TScopedComMapping>("COM1", Drive->SlavePath());
        Scheduler = TMxScheduler::CreateThreaded("GatewayTest");
        Threads = std::make_unique<TThreadManager>();
        Driver = std::make_unique<TQp1Driver>(1, 9600);
        Driver->Open(*Scheduler, *Threads);
        ASSERT_EQ(Driver->Assign(
                      0,
                      [this](int32_t, const MyAnsiString& F) {
                          std::lock_guard lock(M);
                          Frames.push_back(F);
                          Cv.notify_all();
                      },
                      nullptr),
                  0);
    }
    void TearDown() override {
        Driver.reset();
        Threads.reset();
        Scheduler.reset();
        Mapping.reset();
        Drive.reset();
    }

    // Sends a request and waits for Count reply frames (the interim ones
    // included); returns the frames that came.
    std::vector<MyAnsiString> Ask(const MyAnsiString& Request, size_t Count = 1) {
        {
            std::lock_guard lock(M);
            Frames.clear();
        }
        EXPECT_EQ(Driver->Send(0, Request), 0);
        std::unique_lock lock(M);
        Cv.wait_for(lock, 5s, [&] { return Frames.size() >= Count; });
        return Frames;
    }

    CapturedTrace Trace;
    std::unique_ptr<SimQp1Drive> Drive;
    std::unique_ptr<TScopedComMapping> Mapping;
    std::unique_ptr<TMxScheduler> Scheduler;
    std::unique_ptr<TThreadManager> Threads;
    std::unique_ptr<TQp1Driver> Driver;
    std::mutex M;
    std::condition_variable Cv;
    std::vector<MyAnsiString> Frames;
};

TEST_F(GatewayTest, TheLoginIsAnsweredWithoutALineTransfer) {
    const auto frames = Ask(Bytes("01"));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], Bytes("01 00 20 03 02 02 FF 00 00 00 00 00 00 00 00 00 00 08") + "OVRA 1.0 GateWay");
    EXPECT_EQ(Driver->PortType(), "OQP");
    std::this_thread::sleep_for(20ms); // a byte on the line would have arrived by now
    EXPECT_TRUE(Drive->Received().empty());
}

TEST_F(GatewayTest, AWordIsReadWithChecksumsAndAcknowledgement) {
    const auto frames = Ask(Bytes("10 34 12 00"));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], Bytes("10 00 AB 12"));
    EXPECT_EQ(Drive->Received(), Bytes("3A 00 00 12 34 00 00 21"));
    EXPECT_EQ(Drive->Sent(), Bytes("46 12 AB BD"));
}

TEST_F(GatewayTest, AWrongChecksumIsRefusedAndAnsweredWithFF) {
    Drive->FailChecksums(1);
    const auto frames = Ask(Bytes("10 34 12 00"));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], Bytes("10 FF"));
    ASSERT_TRUE(Drive->WaitReceived(8, 2s));
    EXPECT_EQ(Drive->Received(), Bytes("3A 00 00 12 34 00 00 55"));
    // The next request goes through.
    EXPECT_EQ(Ask(Bytes("10 34 12 00")), std::vector<MyAnsiString>{Bytes("10 00 AB 12")});
}

TEST_F(GatewayTest, ABlockIsReadWordByWord) {
    const auto frames = Ask(Bytes("30 00 10 00 05"), 2);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], Bytes("30 01")); // wait longer
    EXPECT_EQ(frames[1], Bytes("30 00 11 22 33 44 55 66"));
    EXPECT_EQ(Drive->Received(), Bytes("3A 00 00 10 00 00 00 21 3A 00 00 10 02 00 00 21 3A 00 00 10 04 00 00 21"));
}

TEST_F(GatewayTest, ABlockIsWrittenInChunksOfTheDrivesMaximum) {
    ASSERT_EQ(Drive->BlockMax(), 4);
    const auto frames = Ask(Bytes("31 00 20 00 01 02 03 04 05 06"), 2);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], Bytes("31 01"));
    EXPECT_EQ(frames[1], Bytes("31 00"));
    // The transfer (function 0x14), then "!" n and the chunk, then 0x99.
    EXPECT_EQ(Drive->Received(), Bytes("3A 14 00 20 00 00 00 21 21 04 01 02 03 04 21 02 05 06 99"));
    EXPECT_EQ(Drive->Sent(), Bytes("34 00 04 04 00 0A 00 0B 00"));
    Drive->WithDrive([](SimDrive& d) { EXPECT_EQ(d.Peek(0x2000, 6), Bytes("01 02 03 04 05 06")); });
}

TEST_F(GatewayTest, ExtendedCommandsDeliverWaitLongerFirst) {
    const struct {
        const char* Request;
        const char* Final;
        uint8_t Function;
    } cases[] = {{"12 00 30 00 34 12", "12 00", 0x06}, {"20 00 00 01", "20 00", 0x0C}, {"23 00 00 02", "23 00", 0x08}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Request);
        const auto frames = Ask(Bytes(c.Request), 2);
        ASSERT_EQ(frames.size(), 2u);
        EXPECT_EQ(frames[0], Bytes(c.Request).substr(0, 1) + Bytes("01"));
        EXPECT_EQ(frames[1], Bytes(c.Final));
        EXPECT_EQ(Drive->Functions().back(), c.Function);
    }
    // Without extended time-out: one frame.
    EXPECT_EQ(Ask(Bytes("11 00 30 00 CD AB")), std::vector<MyAnsiString>{Bytes("11 00")});
    EXPECT_EQ(Ask(Bytes("21")), std::vector<MyAnsiString>{Bytes("21 00")});
    Drive->WithDrive([](SimDrive& d) { EXPECT_EQ(d.Peek(0x3000, 2), Bytes("CD AB")); });
}

TEST_F(GatewayTest, AfterASilentDriveTheLineIsResetFirst) {
    Drive->Silence(1);
    EXPECT_EQ(Driver->Send(0, Bytes("10 34 12 00")), 0);
    ASSERT_TRUE(Drive->WaitReceived(7, 2s));
    const auto frames = Ask(Bytes("10 34 12 00"));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], Bytes("10 00 AB 12"));
    const MyAnsiString received = Drive->Received();
    ASSERT_EQ(received.size(), 7u + 256u + 8u);
    EXPECT_EQ(received.substr(7, 256), MyAnsiString(256, 'U'));
    EXPECT_TRUE(Trace.Contains("***WARNING: Qp1Driver: protocol state error"));
}

TEST_F(GatewayTest, UnknownCommandsAreNotAnsweredAndLeaveTheDriverIdle) {
    EXPECT_EQ(Driver->Send(0, Bytes("77 01 02")), 0);
    EXPECT_EQ(Ask(Bytes("10 34 12 00")), std::vector<MyAnsiString>{Bytes("10 00 AB 12")});
    EXPECT_EQ(Drive->Received(), Bytes("3A 00 00 12 34 00 00 21")); // no line reset
}

TEST_F(GatewayTest, OneTtyServesOnePortOnly) {
    // A second gateway (or an RS232 driver) on the same tty fails cleanly.
    TQp1Driver second(1, 9600);
    ExpectError([&] { second.Open(*Scheduler, *Threads); },
                "Port COM1 could not be opened! COM1 (" + Drive->SlavePath() + ") is in use by another program");
    EXPECT_FALSE(second.PortIsOpen());
    TRsDriver rs(1, 9600, "COM1");
    EXPECT_NE(ExceptionText([&] { rs.Open(*Scheduler, *Threads); }), "(no exception)");
    EXPECT_FALSE(rs.PortIsOpen());
    EXPECT_EQ(Ask(Bytes("10 34 12 00")), std::vector<MyAnsiString>{Bytes("10 00 AB 12")});
    Driver->Close();
    EXPECT_EQ(Driver->Send(0, Bytes("10 34 12 00")), OvraResSendFailed);
}

TEST(GatewayServer, ADeviceOnOqp1IsServedThroughTheServer) {
    MxEnsureMessaging();
    SimQp1Drive drive(SimLoadDrive(SimDataDir() + "/oqp10.drive"));
    TScopedComMapping mapping("COM1", drive.SlavePath());
    TScopedTimeOverride waitUnit(ServerActorWaitLongerUnit, 100);
    TOvraServer server;
    ASSERT_TRUE(server.AddPortDriver("OQP1", std::make_shared<TQp1Driver>(1, 9600)));
    TGuiSide gui;
    const int32_t h = gui.Open("OQP1");
    ASSERT_EQ(h, 0) << (gui.LastReply.size() > 2 ? gui.LastReply[2] : "");
    TReply r = gui.Request({{1, h, Bytes("01")}, {1, h, Bytes("30 00 10 00 05")}, {1, h, Bytes("10 34 12 00")}});
    ASSERT_EQ(r.Records.size(), 3u);
    EXPECT_EQ(r.Records[0].Result, 0);
    EXPECT_EQ(r.Records[0].Frame, TQp1Protocol::LoginReply());
    // The interim "wait longer" is taken by the server; the record ends with
    // the block.
    EXPECT_EQ(r.Records[1].Result, 0);
    EXPECT_EQ(r.Records[1].Frame, Bytes("30 00 11 22 33 44 55 66"));
    EXPECT_EQ(r.Records[2].Frame, Bytes("10 00 AB 12"));
    EXPECT_EQ(gui.Command({"CloseDevice", MsgIntToText(h)}), (std::vector<MyAnsiString>{"CloseDevice", "OK"}));
    EXPECT_FALSE(server.GetPortDriver("OQP1")->PortIsOpen());
}

// ------------------------------------------------------------------ the state machine alone

TEST(Qp1Protocol, LineFaultsEndTheRequestWithFF) {
    const struct {
        const char* Name;
        const char* Request;
        const char* Drive; // bytes the drive answers, in order
        const char* Reply;
    } cases[] = {
        {"wrong C2", "10 34 12 00", "46 12 AB 00", "10 FF"},
        {"chunk not acknowledged", "31 00 20 00 01", "35 00 04 04 01", "31 FF"},
        {"wrong chunk sum", "31 00 20 00 01", "35 00 04 04 00 09", "31 FF"},
        {"end not acknowledged", "31 00 20 00 01", "35 00 04 04 00 01 07", "31 FF"},
        {"a drive that takes no bytes", "32 00 20 00 01", "36 00 00 00", "32 FF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TQp1Protocol p;
        std::vector<MyAnsiString> delivered;
        p.SetOnDeliver([&](const MyAnsiString& F) { delivered.push_back(F); });
        p.Send(Bytes(c.Request));
        for (const char b : Bytes(c.Drive))
            p.ReceiveByte(static_cast<uint8_t>(b));
        ASSERT_FALSE(delivered.empty());
        EXPECT_EQ(delivered.back(), Bytes(c.Reply));
        EXPECT_EQ(p.OvraState(), TQp1Protocol::tsIdle);
        EXPECT_EQ(p.State(), TQp1Protocol::stIdle);
    }
}

TEST(Qp1Protocol, AFailedWriteLeavesTheLineIdle) {
    TQp1Protocol p;
    bool fail = true;
    p.SetOnWrite([&](const MyAnsiString&) {
        if (fail)
            throw Exception("TRsPort.Send: an error occured!");
    });
    ExpectError([&] { p.Send(Bytes("10 00 00 00")); }, "TRsPort.Send: an error occured!");
    EXPECT_EQ(p.OvraState(), TQp1Protocol::tsIdle);
    EXPECT_EQ(p.State(), TQp1Protocol::stIdle);
    fail = false;
    p.Send(Bytes("10 00 00 00"));
    EXPECT_EQ(p.State(), TQp1Protocol::stWait1);
}

} // namespace
