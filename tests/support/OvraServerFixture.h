#pragma once
// A communication server with a simulated drive behind the in-process port
// driver, and the GUI side as a test sees it: a queue in domain 0 that sends
// command and request messages to the server's nodes and collects what comes
// back (replies and the drive's unsolicited frames).
//
// Header only: it needs the comm and drivesim libraries.
#include "comm/OvraServ.h"
#include "kernel/MsgTools.h"
#include "kernel/MxMLib20.h"
#include "platform/Time.h"
#include "tests/support/SimPortDriver.h"
#include "tools/drivesim/SimRunner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vo::test {

// One record of a request message.
struct TRequestRecord {
    uint8_t Pattern = 1;
    int32_t Handle = 0;
    MyAnsiString Frame;
};

// One record of a reply message.
struct TReplyRecord {
    int32_t Pattern = -1;
    int32_t Result = -1;
    bool HasFrame = false;
    MyAnsiString Frame;
};

struct TReply {
    bool Received = false;
    std::vector<TReplyRecord> Records;
    bool Error = false; // the reply ends with "ERROR"
    MyAnsiString ErrorText;
};

// The GUI side: a queue logged on in domain 0.
class TGuiSide {
public:
    TGuiSide() { Queue.LogOn(0); }
    ~TGuiSide() {
        while (TMxMessage* m = Queue.GetMessage())
            TMxMessage::Free(m);
        for (auto& m : Other)
            TMxMessage::Free(m);
    }

    uint16_t Ident() const { return Queue.GetQueueIdent(); }

    void Send(uint16_t Receiver, uint8_t Info, const MyAnsiString& Body) {
        TMxMessage* m = TMxMessage::Create();
        m->SetText(Body);
        m->SetReceiver(Receiver, 0, Info);
        Queue.SendMessage(m);
    }

    // The first message (kept aside earlier, or arriving within Timeout)
    // for which Pred holds; nullptr when none came. Messages that do not
    // match are kept aside for later calls.
    TMxMessagePtr Wait(const std::function<bool(const TMxMessage&)>& Pred,
                       std::chrono::milliseconds Timeout = std::chrono::seconds(10)) {
        for (auto it = Other.begin(); it != Other.end(); ++it)
            if (Pred(**it)) {
                TMxMessage* m = *it;
                Other.erase(it);
                return TMxMessagePtr(m);
            }
        const auto until = std::chrono::steady_clock::now() + Timeout;
        for (;;) {
            if (TMxMessage* m = Queue.GetMessage()) {
                if (Pred(*m))
                    return TMxMessagePtr(m);
                Other.push_back(m);
                continue;
            }
            if (std::chrono::steady_clock::now() >= until)
                return nullptr;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    TMxMessagePtr WaitInfo(uint8_t Info, std::chrono::milliseconds Timeout = std::chrono::seconds(10)) {
        return Wait([Info](const TMxMessage& m) { return m.Info == Info; }, Timeout);
    }
    // Frames that came with info code Info so far (within Grace).
    std::vector<MyAnsiString> Collect(uint8_t Info, std::chrono::milliseconds Grace = std::chrono::milliseconds(0)) {
        std::vector<MyAnsiString> out;
        const auto until = std::chrono::steady_clock::now() + Grace;
        do {
            while (TMxMessagePtr m = Wait([Info](const TMxMessage& x) { return x.Info == Info; }, std::chrono::milliseconds(0)))
                out.push_back(m->GetText());
            if (std::chrono::steady_clock::now() >= until)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        } while (true);
        return out;
    }

    // A command message to the command queue; the reply's fields (command
    // first), or empty when no reply came.
    std::vector<MyAnsiString> Command(const std::vector<MyAnsiString>& Fields, uint8_t Info = 1) {
        TMessageWriter w;
        w.CreateMessage();
        w.PutCommand(Fields.at(0));
        for (size_t i = 1; i < Fields.size(); ++i)
            w.PutParameter(Fields[i]);
        TMxMessage* m = w.GetItem();
        m->SetReceiver(OvraServerCommandIdent, OvraServerDomain, Info);
        Queue.SendMessage(m);
        TMxMessagePtr reply = WaitInfo(Info);
        if (!reply)
            return {};
        TMessageReader r;
        r.SetItem(reply.get());
        std::vector<MyAnsiString> out;
        out.push_back(r.GetCommand());
        for (MyAnsiString p = r.GetParameter(); !p.empty(); p = r.GetParameter())
            out.push_back(p);
        r.SetItem(nullptr);
        return out;
    }

    // Opens a device by command; the handle, or -1 (the reply then in LastError).
    int32_t Open(const MyAnsiString& Name, int32_t MacId = 0, int32_t Ip = 0, uint8_t UnsolicitedInfo = 5) {
        auto r = Command({"OpenDevice", Name, MsgIntToText(MacId), MsgIntToText(Ip), MsgIntToText(UnsolicitedInfo)});
        LastReply = r;
        if (r.size() == 3 && r[1] == "OK")
            return std::stoi(r[2]);
        return -1;
    }

    static MyAnsiString RequestBody(const std::vector<TRequestRecord>& Records) {
        TMessageWriter w;
        w.CreateMessage();
        for (const auto& rec : Records) {
            w.PutCommand(MsgIntToText(rec.Pattern));
            MsgPutInt(w, rec.Handle);
            MsgPutStr(w, rec.Frame);
        }
        TMxMessage* m = w.GetItem();
        MyAnsiString body = m->GetText();
        TMxMessage::Free(m);
        return body;
    }

    void SendRequest(const std::vector<TRequestRecord>& Records, uint8_t Info) {
        Send(OvraServerIdent, Info, RequestBody(Records));
    }

    static TReply Parse(TMxMessage& Msg) {
        TReply out;
        out.Received = true;
        TMessageReader r;
        r.SetItem(&Msg);
        for (MyAnsiString c = r.GetCommand(); !c.empty(); c = r.GetCommand()) {
            if (c == OvraReplyError) {
                out.Error = true;
                out.ErrorText = r.GetParameter();
                continue;
            }
            TReplyRecord rec;
            rec.Pattern = MsgTextToInt(c);
            rec.Result = MsgGetInt(r);
            const MyAnsiString count = r.GetParameter();
            if (!count.empty()) {
                rec.HasFrame = true;
                const int32_t n = MsgTextToInt(count);
                for (int32_t i = 0; i < n; ++i)
                    rec.Frame.push_back(static_cast<char>(MsgTextToInt(r.GetParameter())));
            }
            out.Records.push_back(rec);
        }
        r.SetItem(nullptr);
        return out;
    }

    TReply WaitReply(uint8_t Info, std::chrono::milliseconds Timeout = std::chrono::seconds(10)) {
        TMxMessagePtr m = WaitInfo(Info, Timeout);
        if (!m)
            return {};
        return Parse(*m);
    }

    TReply Request(const std::vector<TRequestRecord>& Records, uint8_t Info = 0x20) {
        SendRequest(Records, Info);
        return WaitReply(Info);
    }

    std::vector<MyAnsiString> LastReply;

private:
    TMxQueue Queue;
    std::deque<TMxMessage*> Other;
};

// A drive for the server tests: A = 4, D = 2, RAM 0x0000..0x0FFF with the
// words 0x1234 at 0x100 and 0x5678 at 0x101 (word addressed).
inline SimDrive ServerTestDrive() {
    SimIdentity id;
    id.protocolVersion = 0x41;
    id.addrFieldSize = 4;
    id.dataFieldSize = 2;
    id.deviceString = "SERVERTEST";
    SimDrive d(id);
    d.AddRegion("RAM", SimRegionKind::Ram, 0, 0x1000);
    d.Poke(0x100, SimHex("34 12"));
    d.Poke(0x101, SimHex("78 56"));
    d.SetRequireLogin(false);
    return d;
}

// Get word (0x10) of an address, A = 4.
inline MyAnsiString GetWordFrame(uint32_t Address) {
    return MyAnsiString("\x10", 1) + SimLE(Address, 4);
}

// The server with one simulated drive on port "COM1" (opened as handle 0).
// Time constants are lowered: an answer time-out of 500 ms, a "wait longer"
// unit of 500 ms and a default extension of 1500 ms. An answer the drive
// gives at once is in time even when a loaded machine delays it by several
// hundred milliseconds.
class OvraServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        MxEnsureMessaging();
        Runner = std::make_unique<SimRunner>(ServerTestDrive());
        Runner->Start();
        Port = std::make_shared<TSimPortDriver>(1, "SIM");
        Port->Connect(0, *Runner);
        Server = std::make_unique<TOvraServer>();
        Gui = std::make_unique<TGuiSide>();
        ASSERT_TRUE(Server->AddPortDriver("COM1", Port));
        if (OpenDrive) {
            Handle = Gui->Open("COM1");
            ASSERT_EQ(Handle, 0);
        }
    }
    void TearDown() override {
        Server.reset();
        Gui.reset();
        Port.reset();
        MoreRunners.clear();
        Runner.reset();
    }

    size_t SentToDrive(uint8_t Command) {
        size_t n = 0;
        for (const auto& f : Runner->Transcript().Frames(SimDirection::In))
            if (!f.empty() && static_cast<uint8_t>(f[0]) == Command)
                ++n;
        return n;
    }

    // A request whose first record the drive leaves unanswered: its three
    // sends go unanswered whatever the time-out, so they wait a short one
    // (ShortAnswerTimeout); once the drive has seen those Unanswered
    // requests the fixture's time-out holds again for the records after it.
    TReply RequestUnanswered(const std::vector<TRequestRecord>& Records, size_t Unanswered, uint8_t Info = 0x20) {
        ServerActorAnswerTimeout.Override(ShortAnswerTimeout);
        Gui->SendRequest(Records, Info);
        EXPECT_TRUE(Runner->Transcript().WaitForFrames(SimDirection::In, Unanswered, std::chrono::seconds(10)));
        ServerActorAnswerTimeout.Override(AnswerTimeoutMs);
        return Gui->WaitReply(Info);
    }

    // A further simulated drive that lives as long as the fixture's server.
    SimRunner& AddDrive() {
        MoreRunners.push_back(std::make_unique<SimRunner>(ServerTestDrive()));
        MoreRunners.back()->Start();
        return *MoreRunners.back();
    }

    bool OpenDrive = true;
    static constexpr int64_t AnswerTimeoutMs = 500;
    static constexpr int64_t ShortAnswerTimeout = 150;
    TScopedTimeOverride AnswerTimeout{ServerActorAnswerTimeout, AnswerTimeoutMs};
    TScopedTimeOverride WaitUnit{ServerActorWaitLongerUnit, 500};
    TScopedTimeOverride WaitDefault{ServerActorWaitLongerDefault, 1500};
    std::unique_ptr<SimRunner> Runner;
    std::vector<std::unique_ptr<SimRunner>> MoreRunners;
    std::shared_ptr<TSimPortDriver> Port;
    std::unique_ptr<TOvraServer> Server;
    std::unique_ptr<TGuiSide> Gui;
    int32_t Handle = -1;
};

} // namespace vo::test
