// The actor: its records and their walk, Execute and the asynchronous reply on
// the main scheduler, batches answered by the communication server with the
// simulated drive, and replies that cannot be unpacked (the records get an
// error result and OnResponse is still called, so their owner goes on).
#include "comm/OvraActr.h"

#include "tests/support/OvraClientFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vo;
using namespace vo::test;
using namespace std::chrono_literals;

TEST_F(OvraClientTest, RecordsAreWalkedInOrder) {
    TOvraService drive;
    TRawFramePattern raw(&drive);
    TOvraActorLease actor(*Client);
    EXPECT_EQ(actor->Info(), astReady);
    for (int i = 0; i < 3; ++i)
        raw.Put(*actor, MyAnsiString(1, static_cast<char>(0x10 + i)), 100 + i);
    EXPECT_EQ(actor->Info(), astInit);
    EXPECT_EQ(actor->GetCount(), 3);
    EXPECT_EQ(actor->GetIndex(), 2); // the record added last is current

    actor->Reset();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(actor->GetIndex(), i);
        EXPECT_EQ(actor->GetUser(), 100 + i);
        EXPECT_EQ(actor->GetService(), 0x10 + i);
        actor->Next();
    }
    // At the end.
    EXPECT_EQ(actor->GetIndex(), 3);
    EXPECT_EQ(ExceptionText([&] { actor->Next(); }), "TOvraActorImplementation.Next: end of data set");
    EXPECT_EQ(ExceptionText([&] { actor->GetResult(); }), "Index Error");
    EXPECT_EQ(ExceptionText([&] { actor->GetUser(); }), "Index Error");
    EXPECT_EQ(ExceptionText([&] { actor->GetService(); }), "Index Error");
    EXPECT_EQ(ExceptionText([&] { actor->GetOvraService(); }),
              "TOvraActorImplementation.GetOvraService: tried to read at the end");
    EXPECT_EQ(ExceptionText([&] { actor->GetHeader(); }), "TOvraActorImplementation.GetData: no more entries");
    EXPECT_EQ(ExceptionText([&] { actor->SetHeader({}); }), "TOvraActorImplementation.SetData: end of data set");

    actor->Clear();
    EXPECT_EQ(actor->GetCount(), 0);
    EXPECT_EQ(actor->GetIndex(), 0);
    EXPECT_EQ(actor->Info(), astReady);
}

TEST_F(OvraClientTest, ABusyActorRefusesToChangeItsRecords) {
    TOvraService drive;
    TRawFramePattern raw(&drive);
    TOvraActorLease actor(*Client);
    raw.Put(*actor, SimHex("10 01"), 1);
    raw.Put(*actor, SimHex("11 02"), 2);
    int responses = 0;
    actor->SetOnResponse([&](TOvraActor&) { ++responses; });
    actor->Execute();
    EXPECT_TRUE(actor->GetBusy());
    EXPECT_EQ(actor->Info(), astExecuting);
    auto* impl = dynamic_cast<TOvraActorImplementation*>(&actor.Get());
    ASSERT_NE(impl, nullptr);
    EXPECT_FALSE(impl->Signal().Ready());

    EXPECT_EQ(ExceptionText([&] { actor->Clear(); }), "TOvraActorImplementation.Clear: actor is busy");
    EXPECT_EQ(ExceptionText([&] { actor->Execute(); }), "TOvraActorImplementation.Execute: actor is busy");
    EXPECT_EQ(ExceptionText([&] { actor->Reset(); }), "TOvraActorImplementation.Reset: actor is busy");
    EXPECT_EQ(ExceptionText([&] { actor->Next(); }), "TOvraActorImplementation.Next: actor is busy");
    EXPECT_EQ(ExceptionText([&] { raw.Put(*actor, SimHex("12"), 3); }),
              "TOvraActorImplementation.PutData: actor is busy");
    EXPECT_EQ(actor->GetCount(), 2);
    EXPECT_EQ(Server->Pending(), 1); // the second Execute sent nothing

    TMxMessagePtr request = Server->Take();
    Server->Reply(*request, ReplyBody({{0xFF, 0, true, SimHex("10 00 AA")}, {0xFF, 0xB2}}));
    ASSERT_TRUE(RunUntil([&] { return responses == 1; }));
    EXPECT_FALSE(actor->GetBusy());
    EXPECT_EQ(actor->Info(), astDone);
    EXPECT_TRUE(impl->Signal().Ready());
    EXPECT_EQ(actor->GetIndex(), 0);
    EXPECT_EQ(actor->GetResult(), 0);
    EXPECT_EQ(raw.GetResponse(*actor), SimHex("10 00 AA"));
    actor->Next();
    EXPECT_EQ(actor->GetResult(), 0xB2);
}

TEST_F(OvraClientTest, AnEmptyActorCompletesToo) {
    TOvraActorLease actor(*Client);
    int responses = 0;
    actor->SetOnResponse([&](TOvraActor& A) {
        ++responses;
        EXPECT_EQ(A.GetCount(), 0);
        EXPECT_FALSE(A.GetBusy());
    });
    actor->Execute();
    TMxMessagePtr request = Server->Take();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->GetSize(), 0);
    Server->Reply(*request, "");
    ASSERT_TRUE(RunUntil([&] { return responses == 1; }));
}

// A user drives a protocol one batch per response: OnResponse clears the
// actor, adds the next record and executes again.
TEST_F(OvraClientTest, OnResponseMayExecuteAgain) {
    TOvraService drive;
    TRawFramePattern raw(&drive);
    TOvraActorLease actor(*Client);
    std::vector<int> seen;
    actor->SetOnResponse([&](TOvraActor& A) {
        EXPECT_EQ(A.GetIndex(), 0);
        EXPECT_FALSE(A.GetBusy());
        seen.push_back(A.GetUser());
        if (A.GetUser() < 3) {
            const int next = A.GetUser() + 1;
            A.Clear();
            raw.Put(A, SimHex("10"), next);
            A.Execute();
        }
    });
    raw.Put(*actor, SimHex("10"), 1);
    actor->Execute();
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(RunUntil([&] { return Server->Pending() == 1; })) << round;
        TMxMessagePtr request = Server->Take();
        Server->Reply(*request, ReplyBody({{0xFF, 0, true, SimHex("10 00")}}));
    }
    ASSERT_TRUE(RunUntil([&] { return seen.size() == 3; }));
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(actor->GetBusy());
}

// Replies that do not fit the request: the records that could not be filled
// get an error result, the actor becomes free and its owner hears of it.
TEST_F(OvraClientTest, RepliesThatCannotBeUnpackedStillEndTheBatch) {
    struct Case {
        const char* What;
        MyAnsiString Body;
        std::vector<uint8_t> Results;
    };
    const std::vector<Case> cases = {
        {"the server could not read the request", ReplyBody({{0xFF, 0, true, SimHex("10 00")}}) + "\rERROR\tbad frame", {0, OvraResBadReply, OvraResBadReply}},
        {"fewer records than sent", ReplyBody({{0xFF, 0, true, SimHex("10 00")}, {0xFF, 0xB2}}), {0, 0xB2, OvraResBadReply}},
        {"a result that is no number", "FF\tXYZ", {OvraResBadReply, OvraResBadReply, OvraResBadReply}},
        {"a frame that breaks off", "FF\t0\t5\t10\t0", {OvraResBadReply, OvraResBadReply, OvraResBadReply}},
        {"another pattern id", ReplyBody({{0x01, 0xB2}}), {OvraResBadReply, OvraResBadReply, OvraResBadReply}},
        {"an empty reply", "", {OvraResBadReply, OvraResBadReply, OvraResBadReply}},
    };
    TOvraService drive;
    TRawFramePattern raw(&drive);
    TOvraActorLease actor(*Client);
    CapturedTrace trace;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        actor->Clear();
        for (int i = 0; i < 3; ++i)
            raw.Put(*actor, SimHex("10"), i);
        int responses = 0;
        actor->SetOnResponse([&](TOvraActor&) { ++responses; });
        actor->Execute();
        TMxMessagePtr request = Server->Take();
        ASSERT_TRUE(request);
        Server->Reply(*request, c.Body);
        ASSERT_TRUE(RunUntil([&] { return responses == 1; }));
        EXPECT_FALSE(actor->GetBusy());
        EXPECT_EQ(actor->Info(), astDone);
        actor->Reset();
        for (uint8_t expected : c.Results) {
            EXPECT_EQ(actor->GetResult(), expected);
            actor->Next();
        }
    }
    EXPECT_TRUE(trace.Contains("- OvraActorImplementation"));
}

TEST_F(OvraClientTest, AReplyNobodyWaitsForIsDropped) {
    TOvraActorLease actor(*Client);
    auto* impl = dynamic_cast<TOvraActorImplementation*>(&actor.Get());
    ASSERT_NE(impl, nullptr);
    CapturedTrace trace;
    Server->SendTo(impl->QueueIdent(), ReplyBody({{0xFF, 0xB2}}));
    ASSERT_TRUE(RunUntil([&] { return trace.Contains("TOvraActorImplementation.Work: unexpected response"); }));

    // The actor goes on working.
    TRawFramePattern raw(nullptr);
    raw.Put(*actor, SimHex("10"), 0);
    bool done = false;
    actor->SetOnResponse([&](TOvraActor&) { done = true; });
    actor->Execute();
    TMxMessagePtr request = Server->Take();
    Server->Reply(*request, ReplyBody({{0xFF, 0xB0}}));
    ASSERT_TRUE(RunUntil([&] { return done; }));
    EXPECT_EQ(actor->GetResult(), 0xB0);
}

TEST_F(OvraClientTest, AHandlerThatRaisesDoesNotStopTheActor) {
    TOvraActorLease actor(*Client);
    TRawFramePattern raw(nullptr);
    raw.Put(*actor, SimHex("10"), 0);
    int calls = 0;
    actor->SetOnResponse([&](TOvraActor&) {
        ++calls;
        throw Exception("handler failed");
    });
    CapturedTrace trace;
    for (int i = 0; i < 2; ++i) {
        actor->Execute();
        TMxMessagePtr request = Server->Take();
        Server->Reply(*request, ReplyBody({{0xFF, 0xB0}}));
        ASSERT_TRUE(RunUntil([&] { return calls == i + 1; }));
    }
    EXPECT_TRUE(trace.Contains("handler failed - OvraActorImplementation"));
}

TEST_F(OvraClientTest, ARecordThatCannotBeWrittenSendsNothing) {
    TOvraService drive;
    TOvraActorLease actor(*Client);
    // A record of a pattern id the client does not know.
    TServiceRecordHeader h;
    h.OvraPat = 7;
    h.OvraIdt = 0x10;
    TRawFramePattern raw(&drive);
    raw.Put(*actor, SimHex("10"), 0);
    actor->AddData(std::make_unique<TOvraRecord<int>>(h, 5));
    EXPECT_EQ(ExceptionText([&] { actor->Execute(); }), "TOvraClient.GetOvraPattern: no pattern with id 7");
    EXPECT_FALSE(actor->GetBusy());
    EXPECT_EQ(Server->Pending(), 0);
    EXPECT_EQ(actor->Info(), astInit);
}

// ------------------------------------------------------------------ through the server

// The real communication server with a simulated drive behind its in-process
// port driver, and the client's actors on the main scheduler.
class OvraActorServerTest : public MainSchedulerFixture {
protected:
    void SetUp() override {
        MainSchedulerFixture::SetUp();
        MxEnsureMessaging();
        Runner = std::make_unique<SimRunner>(ServerTestDrive());
        Runner->Start();
        Port = std::make_shared<TSimPortDriver>(1, "SIM");
        Port->Connect(0, *Runner);
        Server = std::make_unique<TOvraServer>();
        Gui = std::make_unique<TGuiSide>();
        ASSERT_TRUE(Server->AddPortDriver("COM1", Port));
        Drive.SetPortHandle(Gui->Open("COM1"));
        ASSERT_EQ(Drive.PortHandle(), 0);
        Client = std::make_unique<TOvraClient>();
    }
    void TearDown() override {
        Client.reset();
        Server.reset();
        Gui.reset();
        Port.reset();
        Runner.reset();
        MainSchedulerFixture::TearDown();
    }

    // Long enough that a prompt answer is in time on a loaded machine: a late
    // one would be sent again, and its second answer could answer the next
    // read of the same command.
    TScopedTimeOverride AnswerTimeout{ServerActorAnswerTimeout, 500};
    std::unique_ptr<SimRunner> Runner;
    std::shared_ptr<TSimPortDriver> Port;
    std::unique_ptr<TOvraServer> Server;
    std::unique_ptr<TGuiSide> Gui;
    std::unique_ptr<TOvraClient> Client;
    TOvraService Drive;
};

TEST_F(OvraActorServerTest, ABatchGetsOneResponseWithEachRecordsResult) {
    TOvraService nowhere; // no device has its handle
    nowhere.SetPortHandle(9);
    TRawFramePattern raw(&Drive), lost(&nowhere);
    Runner->Faults().Add("cmd=30 times=0 drop");

    TOvraActorLease actor(*Client);
    raw.Put(*actor, GetWordFrame(0x100), 1);
    lost.Put(*actor, GetWordFrame(0x100), 2);
    raw.Put(*actor, GetWordFrame(0x101), 3);
    raw.Put(*actor, SimHex("30 00 01 00 00 02"), 4); // the drive stays silent
    int responses = 0;
    actor->SetOnResponse([&](TOvraActor&) { ++responses; });
    actor->Execute();
    ASSERT_TRUE(RunUntil([&] { return responses > 0; }, 10s));
    RunUntil([] { return false; }, 50ms);
    EXPECT_EQ(responses, 1);

    struct Expect {
        int32_t User;
        uint8_t Result;
        MyAnsiString Response;
    };
    const std::vector<Expect> expected = {
        {1, 0, SimHex("10 00 34 12")}, {2, 0xB0, ""}, {3, 0, SimHex("10 00 78 56")}, {4, 0xB2, ""}};
    actor->Reset();
    for (const auto& e : expected) {
        EXPECT_EQ(actor->GetUser(), e.User);
        EXPECT_EQ(actor->GetResult(), e.Result) << e.User;
        EXPECT_EQ(actor->GetUser() == 2 ? lost.GetResponse(*actor) : raw.GetResponse(*actor), e.Response);
        actor->Next();
    }
}

TEST_F(OvraActorServerTest, ManyActorsAtOnce) {
    TRawFramePattern raw(&Drive);
    constexpr int N = 25; // more actors than the server has
    std::vector<std::unique_ptr<TOvraActorLease>> actors;
    int responses = 0;
    for (int i = 0; i < N; ++i) {
        actors.push_back(std::make_unique<TOvraActorLease>(*Client));
        TOvraActor& a = actors.back()->Get();
        raw.Put(a, GetWordFrame(i % 2 ? 0x101 : 0x100), i);
        a.SetOnResponse([&](TOvraActor&) { ++responses; });
        a.Execute();
    }
    ASSERT_TRUE(RunUntil([&] { return responses == N; }, 20s));
    for (int i = 0; i < N; ++i) {
        TOvraActor& a = actors[static_cast<size_t>(i)]->Get();
        EXPECT_EQ(a.GetResult(), 0);
        EXPECT_EQ(raw.GetResponse(a), SimHex(i % 2 ? "10 00 78 56" : "10 00 34 12"));
    }
    actors.clear();
    EXPECT_EQ(Client->PooledActorCount(), static_cast<size_t>(N));
}
