#pragma once
// Fixtures for tests of the communication client and its actors: the main
// scheduler on a headless pump, a client, and a stand-in for the
// communication server whose queues take the server's dispatcher nodes (0 and
// 1) and keep the requests for the test, which answers them by hand.
//
// Header only: it needs the comm library.
#include "comm/OvraActr.h"
#include "comm/OvraClnt.h"
#include "comm/OvraServ.h"
#include "kernel/MsgTools.h"
#include "kernel/MxMLib20.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/OvraServerFixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace vo::test {

// One record of a reply written by hand.
struct THandReply {
    THandReply() = default;
    // {pattern, result} or {pattern, result, true, frame}.
    THandReply(uint8_t APattern, uint8_t AResult, bool AWithFrame = false, MyAnsiString AFrame = {})
        : Pattern(APattern), Result(AResult), WithFrame(AWithFrame), Frame(std::move(AFrame)) {}

    uint8_t Pattern = 0;
    uint8_t Result = 0;
    bool WithFrame = false;
    MyAnsiString Frame;
};

inline MyAnsiString ReplyBody(const std::vector<THandReply>& Records) {
    TMessageWriter w;
    w.CreateMessage();
    for (const auto& r : Records) {
        w.PutCommand(MsgIntToText(r.Pattern));
        MsgPutInt(w, r.Result);
        if (r.WithFrame)
            MsgPutStr(w, r.Frame);
    }
    TMxMessage* m = w.GetItem();
    MyAnsiString body = m->GetText();
    TMxMessage::Free(m);
    return body;
}

// The request records of a request message.
inline std::vector<TRequestRecord> ParseRequest(TMxMessage& Msg) {
    std::vector<TRequestRecord> out;
    TMessageReader r;
    r.SetItem(&Msg);
    for (MyAnsiString c = r.GetCommand(); !c.empty(); c = r.GetCommand()) {
        TRequestRecord rec;
        rec.Pattern = static_cast<uint8_t>(MsgTextToInt(c));
        rec.Handle = MsgGetInt(r);
        rec.Frame = MsgGetStr(r);
        out.push_back(rec);
    }
    r.SetItem(nullptr);
    return out;
}

// Queues at the server's nodes; requests stay there until taken.
class TFakeServer {
public:
    TFakeServer() {
        MxEnsureMessaging();
        Requests.LogOn(0);
        Commands.LogOn(0);
    }
    ~TFakeServer() {
        while (TMxMessage* m = Requests.GetMessage())
            TMxMessage::Free(m);
    }
    bool AtServerNodes() const {
        return Requests.GetQueueIdent() == OvraServerIdent && Commands.GetQueueIdent() == OvraServerCommandIdent;
    }
    // The next request message (nullptr when none came).
    TMxMessagePtr Take() { return TMxMessagePtr(Requests.GetMessage()); }
    int Pending() const { return Requests.MessageCount(); }
    // Answers Request with Body, addressed as the server does.
    void Reply(const TMxMessage& Request, const MyAnsiString& Body) {
        TMxMessage* m = TMxMessage::Create();
        m->SetText(Body);
        m->SetReceiverFromSender(Request);
        Requests.SendMessage(m);
    }
    // Sends Body to a queue ident of domain 0 as if it were a reply.
    void SendTo(uint16_t Ident, const MyAnsiString& Body) {
        TMxMessage* m = TMxMessage::Create();
        m->SetText(Body);
        m->SetReceiver(Ident, 0, 0);
        Requests.SendMessage(m);
    }

private:
    TMxQueue Requests;
    TMxQueue Commands;
};

// The main scheduler, a fake server at the server's nodes and a client.
class OvraClientTest : public MainSchedulerFixture {
protected:
    void SetUp() override {
        MainSchedulerFixture::SetUp();
        Server = std::make_unique<TFakeServer>();
        ASSERT_TRUE(Server->AtServerNodes());
        Client = std::make_unique<TOvraClient>();
    }
    void TearDown() override {
        Client.reset();
        Server.reset();
        MainSchedulerFixture::TearDown();
    }

    std::unique_ptr<TFakeServer> Server;
    std::unique_ptr<TOvraClient> Client;
};

} // namespace vo::test
