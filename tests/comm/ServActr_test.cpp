// The server actors against the simulated drive: records, results, retries,
// "wait longer", serialisation per device, and every fault of the simulator's
// fault plan ending its record with that fault's result (FaultCase::Result)
// while the server goes on serving. Time constants are lowered by the
// fixture (answer time-out 500 ms, wait-longer unit 500 ms, default extension
// 1500 ms); records the drive never answers in time wait a shorter time-out.
#include "comm/ServActr.h"

#include "tests/support/OvraServerFixture.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace vo;
using namespace vo::test;
using namespace std::chrono_literals;

namespace {

const MyAnsiString Word100 = SimHex("10 00 34 12"); // answer to get word 0x100
const MyAnsiString Block101 = SimHex("30 00 78 56"); // answer to get block 0x101, 2 bytes

MyAnsiString GetBlockFrame(uint32_t Address, uint8_t Size) {
    return MyAnsiString("\x30", 1) + SimLE(Address, 4) + MyAnsiString(1, static_cast<char>(Size));
}

} // namespace

TEST_F(OvraServerTest, PatternZeroEndsTheRecords) {
    TReply r = Gui->Request({{0, Handle, GetWordFrame(0x100)}, {2, Handle, GetWordFrame(0x100)}});
    ASSERT_TRUE(r.Received);
    EXPECT_TRUE(r.Records.empty());
    EXPECT_FALSE(r.Error);
    // An empty message gets an empty reply as well.
    Gui->Send(OvraServerIdent, 0x22, "");
    TMxMessagePtr m = Gui->WaitInfo(0x22);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->GetSize(), 0);
    EXPECT_EQ(SentToDrive(0x10), 0u);
}

TEST_F(OvraServerTest, UnknownHandleEndsOnlyItsRecord) {
    TReply r = Gui->Request({
        {7, 5, GetWordFrame(0x100)}, // nobody has handle 5
        {8, Handle, MyAnsiString(1, '\0')}, // command code 0: an ordinary code
        {9, Handle, GetWordFrame(0x100)},
    });
    ASSERT_EQ(r.Records.size(), 3u);
    EXPECT_EQ(r.Records[0].Pattern, 7);
    EXPECT_EQ(r.Records[0].Result, OvraResNoDevice);
    EXPECT_FALSE(r.Records[0].HasFrame);
    EXPECT_EQ(r.Records[1].Result, 0xC1); // the drive does not know command 0
    EXPECT_EQ(r.Records[2].Result, 0);
    EXPECT_EQ(r.Records[2].Frame, Word100);
}

TEST_F(OvraServerTest, SilentDriveGivesNoAnswerAfterThreeSends) {
    Runner->Faults().Add("cmd=10 times=0 drop");
    const auto t0 = std::chrono::steady_clock::now();
    TReply r = RequestUnanswered({{2, Handle, GetWordFrame(0x100)}, {4, Handle, GetBlockFrame(0x101, 2)}}, 3);
    const auto elapsed = std::chrono::steady_clock::now() - t0;
    ASSERT_EQ(r.Records.size(), 2u);
    EXPECT_EQ(r.Records[0].Result, OvraResNoAnswer);
    EXPECT_FALSE(r.Records[0].HasFrame);
    EXPECT_EQ(SentToDrive(0x10), 3u);
    EXPECT_GE(elapsed, 400ms); // three waits of 150 ms
    EXPECT_EQ(r.Records[1].Result, 0);
    EXPECT_EQ(r.Records[1].Frame, Block101);
}

TEST_F(OvraServerTest, WaitLongerExtendsTheWaitByItsThirdByte) {
    // "Wait longer, 5 units" at once, the answer 700 ms later: beyond the
    // 500 ms time-out, within 5 x 500 ms. One send.
    Runner->Faults().Add("cmd=10 waitlonger=5,every=700");
    TReply r = Gui->Request({{2, Handle, GetWordFrame(0x100)}});
    ASSERT_EQ(r.Records.size(), 1u);
    EXPECT_EQ(r.Records[0].Result, 0);
    EXPECT_EQ(r.Records[0].Frame, Word100);
    EXPECT_EQ(SentToDrive(0x10), 1u);

    // The 2-byte form waits the default extension (1500 ms here).
    Runner->Faults().Clear();
    Runner->Faults().Add("cmd=10 waitlonger,every=700");
    r = Gui->Request({{2, Handle, GetWordFrame(0x100)}}, 0x21);
    ASSERT_EQ(r.Records.size(), 1u);
    EXPECT_EQ(r.Records[0].Result, 0);
    EXPECT_EQ(SentToDrive(0x10), 2u);

    // Each further "wait longer" extends again: the answer comes 1500 ms
    // after the first, whose extension ends after 1000 ms.
    Runner->Faults().Clear();
    Runner->Faults().Add("cmd=10 waitlonger=2,every=500,repeat=3");
    r = Gui->Request({{2, Handle, GetWordFrame(0x100)}}, 0x22);
    ASSERT_EQ(r.Records.size(), 1u);
    EXPECT_EQ(r.Records[0].Result, 0);
    EXPECT_EQ(SentToDrive(0x10), 3u);
}

TEST_F(OvraServerTest, ExpiredExtensionCountsAsAMissedAnswer) {
    // "Wait longer, 1 unit" on every send, the answer long after the three
    // extensions of 100 ms have run out.
    TScopedTimeOverride unit(ServerActorWaitLongerUnit, 100);
    Runner->Faults().Add("cmd=10 times=0 waitlonger=1,every=3000");
    TReply r = Gui->Request({{2, Handle, GetWordFrame(0x100)}});
    ASSERT_EQ(r.Records.size(), 1u);
    EXPECT_EQ(r.Records[0].Result, OvraResNoAnswer);
    EXPECT_FALSE(r.Records[0].HasFrame);
    EXPECT_EQ(SentToDrive(0x10), 3u);
}

TEST_F(OvraServerTest, TwoActorsOnOneDeviceAreSerialised) {
    Runner->Faults().Add("cmd=10 delay=80"); // the first answer takes 80 ms
    Gui->SendRequest({{2, Handle, GetWordFrame(0x100)}}, 0x30);
    Gui->SendRequest({{3, Handle, GetWordFrame(0x101)}}, 0x31);
    TReply a = Gui->WaitReply(0x30);
    TReply b = Gui->WaitReply(0x31);
    ASSERT_EQ(a.Records.size(), 1u);
    ASSERT_EQ(b.Records.size(), 1u);
    EXPECT_EQ(a.Records[0].Frame, Word100);
    EXPECT_EQ(b.Records[0].Frame, SimHex("10 00 78 56"));

    // The second request reached the drive only after the first was answered.
    auto entries = Runner->Transcript().Entries();
    int firstAnswer = -1, secondRequest = -1;
    for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
        if (entries[i].direction == SimDirection::Out && entries[i].frame == Word100 && firstAnswer < 0)
            firstAnswer = i;
        if (entries[i].direction == SimDirection::In && entries[i].frame == GetWordFrame(0x101))
            secondRequest = i;
    }
    ASSERT_GE(firstAnswer, 0);
    EXPECT_GT(secondRequest, firstAnswer);
    // Two different actors did the work.
    int busy = 0;
    for (int i = 0; i < TOvraServer::ActorCount; ++i)
        busy += Server->Actor(i).RecordsDone() > 0 ? 1 : 0;
    EXPECT_EQ(busy, 2);
}

TEST_F(OvraServerTest, RecordsOfDifferentDevicesRunInterleaved) {
    SimRunner& second = AddDrive();
    auto port2 = std::make_shared<TSimPortDriver>(1, "SIM");
    port2->Connect(0, second);
    ASSERT_TRUE(Server->AddPortDriver("COM2", port2));
    const int32_t h2 = Gui->Open("COM2");
    ASSERT_EQ(h2, 1);

    Runner->Faults().Add("cmd=10 delay=400"); // the first drive is slow
    Gui->SendRequest({{2, Handle, GetWordFrame(0x100)}}, 0x30);
    Gui->SendRequest({{2, h2, GetWordFrame(0x100)}}, 0x31);
    // The fast drive's reply comes while the slow one is still being waited for.
    TMxMessagePtr first = Gui->Wait([](const TMxMessage& m) { return m.Info == 0x30 || m.Info == 0x31; });
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Info, 0x31);
    EXPECT_EQ(Gui->WaitReply(0x30).Records.at(0).Frame, Word100);
}

TEST_F(OvraServerTest, StaleFramesInTheInputQueueAreNeverTakenAsTheAnswer) {
    // Frames left over from an earlier record (a doubled or late answer of the
    // same command) sit in every actor's input queue.
    for (int i = 0; i < TOvraServer::ActorCount; ++i) {
        TMxMessage* m = TMxMessage::Create();
        m->SetText(SimHex("10 00 EE EE"));
        Server->Actor(i).InputQueue().PutMessage(m);
    }
    TReply r = Gui->Request({{2, Handle, GetWordFrame(0x100)}});
    ASSERT_EQ(r.Records.size(), 1u);
    EXPECT_EQ(r.Records[0].Frame, Word100);
    EXPECT_EQ(SentToDrive(0x10), 1u);
}

TEST_F(OvraServerTest, DuplicatedAnswerDoesNotAnswerTheNextRecord) {
    // Parameter-read answers carry no address: a doubled answer of the
    // first read must not become the second read's value. The answer and its
    // three copies reach the server together, so the copies are always queued
    // before the second read is sent: the actor must drop them then.
    Runner->Faults().Add("cmd=10 duplicate=0,repeat=3");
    Port->DeliverNextFramesTogether = 4;
    TReply r = Gui->Request({{2, Handle, GetWordFrame(0x100)}, {2, Handle, GetWordFrame(0x101)}});
    ASSERT_EQ(r.Records.size(), 2u);
    EXPECT_EQ(r.Records[0].Frame, Word100);
    EXPECT_EQ(r.Records[1].Frame, SimHex("10 00 78 56"));
}

TEST_F(OvraServerTest, FailedSendEndsTheRecordAndReleasesTheDevice) {
    Port->ThrowOnSend = 1;
    TReply r = Gui->Request({{2, Handle, GetWordFrame(0x100)}, {4, Handle, GetBlockFrame(0x101, 2)}});
    ASSERT_EQ(r.Records.size(), 2u);
    EXPECT_EQ(r.Records[0].Result, OvraResSendFailed);
    EXPECT_FALSE(r.Records[0].HasFrame);
    EXPECT_EQ(r.Records[1].Result, 0);
    EXPECT_EQ(r.Records[1].Frame, Block101);

    Port->FailOnSend = 1;
    r = Gui->Request({{2, Handle, GetWordFrame(0x100)}}, 0x21);
    ASSERT_EQ(r.Records.size(), 1u);
    EXPECT_EQ(r.Records[0].Result, OvraResSendFailed);

    // Later messages, on any actor, still get the device.
    for (uint8_t info = 0x22; info < 0x26; ++info) {
        r = Gui->Request({{2, Handle, GetWordFrame(0x100)}}, info);
        ASSERT_EQ(r.Records.size(), 1u);
        EXPECT_EQ(r.Records[0].Result, 0);
    }
    EXPECT_EQ(Server->DeviceList().DeviceWithIndex(Handle)->DeviceSemaphore().Owner(), nullptr);
}

TEST_F(OvraServerTest, MalformedRequestIsAnsweredWithError) {
    const MyAnsiString good = TGuiSide::RequestBody({{2, Handle, GetWordFrame(0x100)}});
    struct Case {
        MyAnsiString Body;
        size_t Records;
        MyAnsiString Text; // empty: any text
    };
    const std::vector<Case> cases = {
        {"2\t0", 0, ""}, // no frame
        {"2\tXYZ\t1\t10", 0, "'$XYZ' is not a valid integer value"}, // handle
        {"ZZ\t0\t1\t10", 0, "'$ZZ' is not a valid integer value"}, // pattern
        {"2\t0\t2\t10", 0, ""}, // a byte missing
        {"2\t0\t1\t100", 0, ""}, // a byte beyond FF
        {good + "\r3\t0\t0", 1, ""}, // an empty frame
        {good + "\r\r3\t0\t1\t10", 1, ""}, // an empty command field
        {good + "\r2\t0\tQ\r" + good.substr(0), 1, ""}, // records after the bad one are not executed
    };
    uint8_t info = 0x40;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Body);
        const size_t before = SentToDrive(0x10);
        Gui->Send(OvraServerIdent, info, c.Body);
        TReply r = Gui->WaitReply(info++);
        ASSERT_TRUE(r.Received);
        EXPECT_TRUE(r.Error);
        EXPECT_FALSE(r.ErrorText.empty());
        if (!c.Text.empty()) {
            EXPECT_EQ(r.ErrorText, c.Text);
        }
        ASSERT_EQ(r.Records.size(), c.Records);
        if (c.Records) {
            EXPECT_EQ(r.Records[0].Frame, Word100);
        }
        EXPECT_EQ(SentToDrive(0x10) - before, c.Records);
    }
    // The server goes on serving.
    TReply r = Gui->Request({{2, Handle, GetWordFrame(0x100)}}, 0x70);
    ASSERT_EQ(r.Records.size(), 1u);
    EXPECT_EQ(r.Records[0].Result, 0);
}

TEST_F(OvraServerTest, ClosingADeviceWhileItsRecordWaits) {
    Runner->Faults().Add("cmd=10 times=0 drop");
    Gui->SendRequest({{2, Handle, GetWordFrame(0x100)}}, 0x30);
    ASSERT_TRUE(Runner->Transcript().WaitForFrames(SimDirection::In, 1, 2s));
    EXPECT_EQ(Gui->Command({"CloseDevice", "0"}), (std::vector<MyAnsiString>{"CloseDevice", "OK"}));
    TReply r = Gui->WaitReply(0x30);
    ASSERT_EQ(r.Records.size(), 1u);
    EXPECT_EQ(r.Records[0].Result, OvraResNoPortDriver); // the next send finds no port
    // The port is free for the next device.
    Runner->Faults().Clear();
    EXPECT_EQ(Gui->Open("COM1"), 1);
    r = Gui->Request({{2, 1, GetWordFrame(0x100)}, {2, 0, GetWordFrame(0x100)}}, 0x31);
    ASSERT_EQ(r.Records.size(), 2u);
    EXPECT_EQ(r.Records[0].Result, 0);
    EXPECT_EQ(r.Records[1].Result, OvraResNoDevice);
}

// ------------------------------------------------------------------ fault plan

namespace {

struct FaultCase {
    const char* Rule;
    int Result;
    const char* Frame; // expected frame (hex); nullptr: no frame in the reply
    size_t Sends; // get-word sends for the record
    const char* Unsolicited = nullptr; // a frame the GUI gets with the default info code
};

std::ostream& operator<<(std::ostream& os, const FaultCase& c) {
    return os << c.Rule;
}

class FaultPlanTest : public OvraServerTest, public ::testing::WithParamInterface<FaultCase> {};

} // namespace

TEST_P(FaultPlanTest, EndsTheRecordWithTheFaultsResultAndServesTheNext) {
    const FaultCase& c = GetParam();
    Runner->Faults().Add(c.Rule);
    const std::vector<TRequestRecord> records = {{2, Handle, GetWordFrame(0x100)}, {4, Handle, GetBlockFrame(0x101, 2)}};
    TReply r = c.Result == OvraResNoAnswer ? RequestUnanswered(records, c.Sends) : Gui->Request(records);
    ASSERT_EQ(r.Records.size(), 2u);
    EXPECT_EQ(r.Records[0].Pattern, 2);
    EXPECT_EQ(r.Records[0].Result, c.Result);
    EXPECT_EQ(r.Records[0].HasFrame, c.Frame != nullptr);
    if (c.Frame) {
        EXPECT_EQ(SimToHex(r.Records[0].Frame), SimToHex(SimHex(c.Frame)));
    }
    EXPECT_EQ(SentToDrive(0x10), c.Sends);
    // The next record is served normally.
    EXPECT_EQ(r.Records[1].Result, 0);
    EXPECT_EQ(r.Records[1].Frame, Block101);
    if (c.Unsolicited) {
        TMxMessagePtr frame = Gui->WaitInfo(5);
        ASSERT_TRUE(frame);
        EXPECT_EQ(SimToHex(frame->GetText()), SimToHex(SimHex(c.Unsolicited)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultPlanTest,
    ::testing::Values(
        FaultCase{"cmd=10 drop", 0, "10 00 34 12", 2},
        FaultCase{"cmd=10 times=0 drop", 0xB2, nullptr, 3},
        FaultCase{"cmd=10 delay=40", 0, "10 00 34 12", 1},
        // Late beyond the time-out: sent again; the late answer goes to the GUI side.
        FaultCase{"cmd=10 delay=1250", 0, "10 00 34 12", 2, "10 00 34 12"},
        FaultCase{"cmd=10 times=0 delay=2500", 0xB2, nullptr, 3},
        FaultCase{"cmd=10 waitlonger=3,every=700", 0, "10 00 34 12", 1},
        FaultCase{"cmd=10 waitlonger,every=700", 0, "10 00 34 12", 1},
        FaultCase{"cmd=10 duplicate", 0, "10 00 34 12", 1},
        FaultCase{"cmd=10 unsolicited=420001", 0, "10 00 34 12", 1, "42 00 01"},
        // An unsolicited frame of the awaited command before the answer is
        // taken for it; the real answer that follows answers nothing.
        FaultCase{"cmd=10 unsolicited=100099,before", 0, "10 00 99", 1},
        FaultCase{"cmd=10 truncate=1", 0, "10 00 34 12", 2},
        FaultCase{"cmd=10 times=0 truncate=1", 0xB2, nullptr, 3},
        FaultCase{"cmd=10 truncate=3", 0, "10 00 34", 1},
        FaultCase{"cmd=10 echo=11", 0, "10 00 34 12", 2, "11 00 34 12"},
        FaultCase{"cmd=10 times=0 echo=11", 0xB2, nullptr, 3},
        FaultCase{"cmd=10 status=B3", 0xB3, nullptr, 1},
        FaultCase{"cmd=10 status=C0", 0xC0, nullptr, 1},
        FaultCase{"cmd=10 status=EC", 0xEC, nullptr, 1},
        FaultCase{"cmd=10 exec status=A3,keepdata", 0xA3, nullptr, 1},
        FaultCase{"cmd=10 exec status=A4,keepdata", 0xA4, "10 A4 34 12", 1},
        FaultCase{"cmd=10 exec status=05,keepdata", 0x05, "10 05 34 12", 1}));
