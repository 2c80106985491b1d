// The communication client: the pattern registry, the frame routines, typed
// records and their header check, the request and reply records (including
// answers that do not fit their record), the actor pool and the listeners of
// unsolicited frames.
#include "comm/OvraClnt.h"

#include "comm/OvraActr.h"
#include "tests/support/OvraClientFixture.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

using namespace vo;
using namespace vo::test;

namespace {

// A pattern kind for the tests: request = address (2 bytes), answer = one
// data word (2 bytes) when the result is 0.
struct TWordData {
    int32_t Address = 0;
    int32_t Data = -1;
};

class TWordClass final : public TOvraPatternClass {
public:
    TWordClass() : TOvraPatternClass("TWordPattern") {}
    void SetRequestFrameData(TOvraActor& Src, MyAnsiString& Frame) const override {
        FrmPutInt(static_cast<uint32_t>(Src.GetData<TWordData>().RecDat.Address), 2, Frame);
    }
    void GetResponseFrameData(const MyAnsiString& Frame, TOvraActor& Dst) const override {
        TOvraRecord<TWordData> rec = Dst.GetData<TWordData>();
        int i = 2;
        const auto res = static_cast<uint8_t>(FrmGetInt(Frame, i, 1));
        int32_t data = rec.RecDat.Data;
        if (res == 0)
            data = static_cast<int32_t>(FrmGetInt(Frame, i, 2));
        rec.Header.OvraRes = res;
        rec.RecDat.Data = data;
        Dst.SetData(rec);
    }
};

TWordClass& WordClass() {
    static TWordClass cls;
    return cls;
}

class TWordPattern final : public TOvraPattern {
public:
    using TOvraPattern::TOvraPattern;
    const TOvraPatternClass& PatternClass() const override { return WordClass(); }
    void Put(TOvraActor& Actor, int32_t Address, int32_t User) const { TOvraPattern::Put(Actor, TWordData{Address, -1}, User); }
    TWordData Get(TOvraActor& Actor) const { return TOvraPattern::Get<TWordData>(Actor).RecDat; }
};

// Pattern classes that do nothing, for the registry.
class TNamedClass final : public TOvraPatternClass {
public:
    using TOvraPatternClass::TOvraPatternClass;
    void SetRequestFrameData(TOvraActor&, MyAnsiString&) const override {}
    void GetResponseFrameData(const MyAnsiString&, TOvraActor&) const override {}
};

// The body of a message as readable text (TAB as '|', CR as '/').
std::string Readable(const MyAnsiString& Body) {
    std::string s = Body;
    for (char& c : s)
        c = c == '\t' ? '|' : c == '\r' ? '/'
                                        : c;
    return s;
}

} // namespace

// ------------------------------------------------------------------ registry

TEST(OvraClientRegistry, IdsFollowTheRegistrationOrder) {
    const char* names[] = {"TLoginPattern", "TGetWordPattern", "TSetWordPattern", "TGetBlockPattern",
                           "TSetBlockPattern", "TSimplePattern", "TAddrActionPattern", "TGetStringPattern",
                           "TSetStringPattern", "TCustomPattern", "TFindInfoPattern", "TGetStatusPattern",
                           "TSetBitPattern", "TInstancePattern", "TCopyBlockPattern", "TGetFirstEmptyPattern",
                           "TEraseMemPattern", "TCurvePattern", "TByteActionPattern"};
    std::deque<TNamedClass> classes;
    TOvraClient client;
    for (const char* n : names) {
        classes.emplace_back(n);
        EXPECT_EQ(classes.back().GetPatternId(), 0) << n;
        client.RegisterOvraPattern(classes.back());
    }
    for (size_t i = 0; i < classes.size(); ++i) {
        EXPECT_EQ(classes[i].GetPatternId(), i + 1);
        EXPECT_EQ(&client.GetOvraPattern(static_cast<uint8_t>(i + 1)), &classes[i]);
        EXPECT_TRUE(client.IsPatternRegistered(classes[i]));
    }

    EXPECT_EQ(ExceptionText([&] { client.RegisterOvraPattern(classes[2]); }),
              "TOvraClient.RegisterOvraPattern: TSetWordPattern is already registerd");
    EXPECT_EQ(classes[2].GetPatternId(), 3);
    EXPECT_EQ(client.PatternCount(), 19);

    EXPECT_EQ(ExceptionText([&] { client.GetOvraPattern(20); }), "TOvraClient.GetOvraPattern: no pattern with id 20");
    EXPECT_EQ(ExceptionText([&] { client.GetOvraPattern(0); }), "TOvraClient.GetOvraPattern: no pattern with id 0");
    // The raw-frame id is always known and cannot be registered.
    EXPECT_EQ(&client.GetOvraPattern(OvraRawPatternId), &TRawFramePattern::Class());
    EXPECT_FALSE(client.IsPatternRegistered(TRawFramePattern::Class()));
    EXPECT_THROW(client.RegisterOvraPattern(TRawFramePattern::Class()), Exception);
    EXPECT_EQ(TRawFramePattern::Class().GetPatternId(), OvraRawPatternId);
}

TEST(OvraClientRegistry, NoRegisteredClassGetsTheRawFrameId) {
    std::deque<TNamedClass> classes;
    TOvraClient client;
    for (int i = 0; i < OvraMaxPatterns; ++i) {
        classes.emplace_back("P" + std::to_string(i));
        client.RegisterOvraPattern(classes.back());
    }
    EXPECT_EQ(classes.back().GetPatternId(), 254);
    classes.emplace_back("OneTooMany");
    EXPECT_EQ(ExceptionText([&] { client.RegisterOvraPattern(classes.back()); }),
              "TOvraClient.RegisterOvraPattern: pattern list is full");
    EXPECT_EQ(classes.back().GetPatternId(), 0);
    EXPECT_EQ(&client.GetOvraPattern(0xFF), &TRawFramePattern::Class());
}

// ------------------------------------------------------------------ frames

TEST(OvraClientFrames, LittleEndianIntegers) {
    MyAnsiString f;
    FrmPutInt(0x1234, 3, f);
    EXPECT_EQ(f, SimHex("34 12 00"));
    int i = 1;
    EXPECT_EQ(FrmGetInt(f, i, 3), 0x1234u);
    EXPECT_EQ(i, 4);
    EXPECT_EQ(FrmGetInt(f, i, 0), 0u); // N = 0: nothing read, even at the end
    EXPECT_EQ(i, 4);

    f.clear();
    FrmPutInt(0xA1B2C3D4u, 6, f);
    EXPECT_EQ(f, SimHex("D4 C3 B2 A1 00 00"));
    i = 1;
    EXPECT_EQ(FrmGetInt(f, i, 4), 0xA1B2C3D4u);
    f.clear();
    FrmPutInt(0xFFFF, 1, f);
    EXPECT_EQ(f, SimHex("FF"));
}

TEST(OvraClientFrames, NoReadPastTheFrame) {
    const MyAnsiString f = SimHex("10 00 78");
    struct Case {
        int Index;
        int N;
    };
    for (const Case c : {Case{3, 2}, Case{4, 1}, Case{1, 4}, Case{0, 1}, Case{-5, 2}}) {
        int i = c.Index;
        EXPECT_THROW(FrmGetInt(f, i, c.N), EOvraFrameTooShort) << c.Index << "/" << c.N;
        EXPECT_EQ(i, c.Index); // the index does not move
    }
    int i = 3;
    EXPECT_EQ(FrmGetInt(f, i, 1), 0x78u);
}

// ------------------------------------------------------------------ services and listeners

TEST(OvraClientService, ListenersGetTheFramesOfTheirCommand) {
    std::vector<std::string> got;
    TOvraListener a(0x04, 1), b(0x04, 2), c(0x07, 3);
    for (TOvraListener* l : {&a, &b, &c})
        l->SetOnMessage([&got](const MyAnsiString& Data, int32_t Info) { got.push_back(std::to_string(Info) + ":" + SimToHex(Data)); });
    {
        TOvraService service;
        a.Connect(service);
        b.Connect(service);
        c.Connect(service);
        EXPECT_EQ(ExceptionText([&] { service.AddListener(a); }), "TOvraService.AddListener: listener already in list");
        service.DispatchUnsolicited(SimHex("04 01"));
        service.DispatchUnsolicited(SimHex("07"));
        service.DispatchUnsolicited(SimHex("09 00"));
        service.DispatchUnsolicited(""); // dropped
        EXPECT_EQ(got, (std::vector<std::string>{"1:04 01", "2:04 01", "3:07"}));

        got.clear();
        a.Disconnect();
        EXPECT_EQ(a.OvraService(), nullptr);
        EXPECT_EQ(ExceptionText([&] { service.RemoveListener(a); }), "TOvraService.RemoveListener: listener not in list");
        // A listener that disconnects another from its handler: that one is
        // not called any more.
        b.SetOnMessage([&](const MyAnsiString&, int32_t) {
            got.push_back("b");
            c.Disconnect();
        });
        c.SetOvraId(0x04);
        service.DispatchUnsolicited(SimHex("04"));
        EXPECT_EQ(got, (std::vector<std::string>{"b"}));
        EXPECT_EQ(service.ListenerCount(), 1u);
    }
    // The service went first: its listeners know it.
    EXPECT_EQ(b.OvraService(), nullptr);
    TOvraService other;
    b.Connect(other);
    {
        TOvraListener shortLived(0x04);
        shortLived.Connect(other);
        EXPECT_EQ(other.ListenerCount(), 2u);
    }
    EXPECT_EQ(other.ListenerCount(), 1u);
}

// ------------------------------------------------------------------ records

TEST_F(OvraClientTest, PutFillsTheHeaderAndGetChecksIt) {
    Client->RegisterOvraPattern(WordClass());
    TOvraService drive1, drive2;
    TWordPattern get10(&drive1, 0x10), get11(&drive1, 0x11), otherDrive(&drive2, 0x10);
    TRawFramePattern raw(&drive1);

    TOvraActorLease actor(*Client);
    get10.Put(*actor, 0x1234, 77);
    TServiceRecordHeader h = actor->GetHeader();
    EXPECT_EQ(h.OvraPat, WordClass().GetPatternId());
    EXPECT_EQ(h.OvraIdt, 0x10);
    EXPECT_EQ(h.OvraSrv.Get(), &drive1);
    EXPECT_EQ(h.OvraRes, 0);
    EXPECT_EQ(h.OvraUsr, 77);
    EXPECT_EQ(actor->GetUser(), 77);
    EXPECT_EQ(actor->GetService(), 0x10);
    EXPECT_EQ(actor->GetOvraService(), &drive1);
    EXPECT_EQ(get10.Get(*actor).Address, 0x1234);

    // Another command, another drive, another pattern: the header check fails.
    EXPECT_EQ(ExceptionText([&] { get11.Get(*actor); }), "TWordPattern.Get: error in record header");
    EXPECT_EQ(ExceptionText([&] { otherDrive.Get(*actor); }), "TWordPattern.Get: error in record header");
    // A record of another kind cannot even be read as the raw kind.
    EXPECT_EQ(ExceptionText([&] { raw.Get(*actor); }),
              "TOvraActorImplementation.GetData: record holds data of another kind");

    raw.Put(*actor, SimHex("20 01"), 5);
    EXPECT_EQ(actor->GetService(), 0x20);
    EXPECT_EQ(actor->GetHeader().OvraPat, OvraRawPatternId);
    EXPECT_EQ(raw.GetRequest(*actor), SimHex("20 01"));
    EXPECT_EQ(ExceptionText([&] { raw.Put(*actor, "", 0); }), "TRawFramePattern.Put: empty frame");
    EXPECT_EQ(actor->GetCount(), 2);
}

TEST_F(OvraClientTest, RequestRecordsCarryHandleAndFrame) {
    Client->RegisterOvraPattern(WordClass());
    auto drive = std::make_unique<TOvraService>();
    drive->SetPortHandle(0x2A);
    TOvraService second;
    second.SetPortHandle(3);
    TWordPattern word(drive.get(), 0x10);
    TRawFramePattern raw(drive.get());
    TRawFramePattern raw2(&second);

    TOvraActorLease actor(*Client);
    raw.Put(*actor, SimHex("10 34 12 00"), 0);
    word.Put(*actor, 0xBEEF, 0);
    raw2.Put(*actor, SimHex("02"), 0);
    actor->Execute();
    TMxMessagePtr request = Server->Take();
    ASSERT_TRUE(request);
    EXPECT_EQ(Readable(request->GetText()), "FF|2A|4|10|34|12|0/" + MsgIntToText(WordClass().GetPatternId()) + "|2A|3|10|EF|BE/FF|3|1|2");
    EXPECT_EQ(request->Receiver, (TMxMsgAddr{OvraServerIdent, OvraServerDomain}));
    EXPECT_EQ(request->Info, 0);

    // Answer it so that the actor is free again, then send its records once
    // more after the first drive's service has gone: they name no device.
    Server->Reply(*request, ReplyBody({{0xFF, 0xB0}, {WordClass().GetPatternId(), 0xB0}, {0xFF, 0xB0}}));
    ASSERT_TRUE(RunUntil([&] { return !actor->GetBusy(); }));
    drive.reset();
    actor->Execute();
    request = Server->Take();
    ASSERT_TRUE(request);
    EXPECT_EQ(Readable(request->GetText()), "FF|FFFFFFFF|4|10|34|12|0/" + MsgIntToText(WordClass().GetPatternId()) + "|FFFFFFFF|3|10|EF|BE/FF|3|1|2");
    Server->Reply(*request, ReplyBody({{0xFF, 0xB0}, {WordClass().GetPatternId(), 0xB0}, {0xFF, 0xB0}}));
    ASSERT_TRUE(RunUntil([&] { return !actor->GetBusy(); }));
    actor->Reset();
    EXPECT_EQ(actor->GetOvraService(), nullptr);
    EXPECT_EQ(actor->GetResult(), 0xB0);
}

// The reply records, read into the actor's records one by one: what each
// result and answer does to its record.
TEST_F(OvraClientTest, ReplyRecordsFillTheirRecords) {
    Client->RegisterOvraPattern(WordClass());
    const uint8_t W = WordClass().GetPatternId();
    TOvraService drive;
    TWordPattern word(&drive, 0x10);
    TRawFramePattern raw(&drive);

    struct Case {
        const char* What;
        bool Raw;
        THandReply Reply;
        uint8_t Result;
        int32_t Data; // word records
        MyAnsiString Response; // raw records
    };
    const std::vector<Case> cases = {
        {"success", false, {W, 0, true, SimHex("10 00 78 56")}, 0, 0x5678, ""},
        {"no answer: no frame, the request fields stay", false, {W, 0xB2}, 0xB2, -1, ""},
        {"0xA4 comes with data", true, {0xFF, 0xA4, true, SimHex("10 A4 01 02")}, 0xA4, 0, SimHex("10 A4 01 02")},
        {"a drive status below 0x80 comes with its frame", true, {0xFF, 0x01, true, SimHex("10 01 05")}, 0x01, 0, SimHex("10 01 05")},
        {"a drive error status with its frame: no data decoded", false, {W, 0x42, true, SimHex("10 42")}, 0x42, -1, ""},
        {"an answer too short for the word", false, {W, 0, true, SimHex("10 00 78")}, OvraResBadReply, -1, ""},
        {"an answer without result byte", true, {0xFF, 0, true, SimHex("10")}, OvraResBadReply, 0, ""},
        {"an answer to another command", false, {W, 0, true, SimHex("11 00 78 56")}, OvraResBadReply, -1, ""},
        {"an empty answer", false, {W, 0, true, ""}, OvraResBadReply, -1, ""},
    };

    TOvraActorLease actor(*Client);
    std::vector<THandReply> replies;
    for (const auto& c : cases) {
        if (c.Raw)
            raw.Put(*actor, SimHex("10 34 12 00"), 0);
        else
            word.Put(*actor, 0x1234, 0);
        replies.push_back(c.Reply);
    }
    bool answered = false;
    actor->SetOnResponse([&](TOvraActor&) { answered = true; });
    actor->Execute();
    TMxMessagePtr request = Server->Take();
    ASSERT_TRUE(request);
    Server->Reply(*request, ReplyBody(replies));
    ASSERT_TRUE(RunUntil([&] { return answered; }));

    actor->Reset();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(actor->GetResult(), c.Result);
        if (c.Raw) {
            EXPECT_EQ(raw.GetResponse(*actor), c.Response);
            EXPECT_EQ(raw.GetRequest(*actor), SimHex("10 34 12 00"));
        } else {
            EXPECT_EQ(word.Get(*actor).Data, c.Data);
            EXPECT_EQ(word.Get(*actor).Address, 0x1234);
        }
        actor->Next();
    }
}

TEST_F(OvraClientTest, AReplyOfAnotherPatternIsRefused) {
    Client->RegisterOvraPattern(WordClass());
    TOvraService drive;
    TRawFramePattern raw(&drive);
    TOvraActorLease actor(*Client);
    raw.Put(*actor, SimHex("10"), 0);

    TMessageWriter w;
    w.CreateMessage();
    TMxMessagePtr reply(w.GetItem());
    reply->SetText(ReplyBody({{1, 0, true, SimHex("10 00")}}));
    TMessageReader r;
    r.SetItem(reply.get());
    actor->Reset();
    EXPECT_EQ(ExceptionText([&] { Client->GetResponseData(r, *actor); }),
              "TServicePattern.GetResponseData: wrong pattern id");
    r.SetItem(nullptr);
    EXPECT_EQ(actor->GetResult(), 0);
}

// ------------------------------------------------------------------ pool

TEST_F(OvraClientTest, ThePoolHandsOutTheLastActorReturned) {
    TOvraActor& a = Client->GetActor();
    TOvraActor& b = Client->GetActor();
    EXPECT_NE(&a, &b);
    EXPECT_EQ(Client->ActorCount(), 2u);
    a.SetName("Block Reader Actor");
    bool called = false;
    a.SetOnResponse([&](TOvraActor&) { called = true; });
    TRawFramePattern raw(nullptr);
    raw.Put(a, SimHex("10"), 0);
    Client->PutActor(a);
    Client->PutActor(b);
    EXPECT_EQ(Client->PooledActorCount(), 2u);
    EXPECT_EQ(&Client->GetActor(), &b);
    TOvraActor& again = Client->GetActor();
    EXPECT_EQ(&again, &a);
    // Cleared, but name and handler stay.
    EXPECT_EQ(again.GetCount(), 0);
    EXPECT_EQ(again.Info(), astReady);
    EXPECT_EQ(again.Name(), "Block Reader Actor");
    ASSERT_TRUE(again.OnResponse());
    again.OnResponse()(again);
    EXPECT_TRUE(called);
    EXPECT_EQ(Client->ActorCount(), 2u);

    Client->PutActor(again);
    EXPECT_EQ(ExceptionText([&] { Client->PutActor(again); }), "TOvraClient.PutActor: actor is already pooled");
    EXPECT_EQ(Client->PooledActorCount(), 1u);
}

TEST_F(OvraClientTest, ABusyActorIsNotPooled) {
    TOvraActor& a = Client->GetActor();
    TRawFramePattern raw(nullptr);
    raw.Put(a, SimHex("10"), 0);
    a.Execute();
    EXPECT_EQ(ExceptionText([&] { Client->PutActor(a); }), "TOvraActorImplementation.Clear: actor is busy");
    EXPECT_EQ(Client->PooledActorCount(), 0u);
    EXPECT_EQ(a.GetCount(), 1);

    // Another client's actor, or an actor of another class, is refused.
    TOvraClient other;
    EXPECT_EQ(ExceptionText([&] { other.PutActor(a); }), "wrong actor class type");
    class TForeignActor final : public TOvraActor {
    public:
        using TOvraActor::TOvraActor;
        TOvraService* GetOvraService() override { return nullptr; }
        void Clear() override {}
        void Execute() override {}
        void Reset() override {}
        void Next() override {}
        uint8_t GetResult() override { return 0; }
        int32_t GetUser() override { return 0; }
        uint8_t GetService() override { return 0; }
        bool GetBusy() const override { return false; }
        int32_t GetIndex() const override { return 0; }
        int32_t GetCount() const override { return 0; }
        void AddData(std::unique_ptr<TActorRecord>) override {}

    protected:
        TActorRecord* CurrentRecord() override { return nullptr; }
    } foreign(*Client);
    EXPECT_EQ(ExceptionText([&] { Client->PutActor(foreign); }), "wrong actor class type");

    TMxMessagePtr request = Server->Take();
    Server->Reply(*request, ReplyBody({{0xFF, 0xB2}}));
    ASSERT_TRUE(RunUntil([&] { return !a.GetBusy(); }));
    Client->PutActor(a);
    EXPECT_EQ(Client->PooledActorCount(), 1u);
}

TEST_F(OvraClientTest, AnActorLetGoWhileBusyIsPooledAfterItsReply) {
    TRawFramePattern raw(nullptr);
    bool called = false;
    TOvraActor* held = nullptr;
    {
        TOvraActorLease lease(*Client);
        held = &lease.Get();
        raw.Put(*lease, SimHex("10"), 0);
        lease->SetOnResponse([&](TOvraActor&) { called = true; });
        lease->Execute();
    } // the user goes away with its request in flight
    EXPECT_EQ(Client->PooledActorCount(), 0u);
    TMxMessagePtr request = Server->Take();
    ASSERT_TRUE(request);
    Server->Reply(*request, ReplyBody({{0xFF, 0xB2}}));
    ASSERT_TRUE(RunUntil([&] { return Client->PooledActorCount() == 1; }));
    EXPECT_FALSE(called);
    TOvraActor& next = Client->GetActor();
    EXPECT_EQ(&next, held);
    EXPECT_EQ(next.GetCount(), 0);
    EXPECT_FALSE(next.OnResponse());
    Client->PutActor(next);
}
