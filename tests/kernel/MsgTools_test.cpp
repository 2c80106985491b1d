#include "kernel/MsgTools.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "kernel/functions.h"
#include "tests/support/KernelFixtures.h"

using namespace vo;
using namespace std::chrono_literals;

namespace {

MyAnsiString Bytes(std::initializer_list<int> l) {
    MyAnsiString s;
    for (int b : l) s.push_back(static_cast<char>(b));
    return s;
}

class MsgTools : public test::MainSchedulerFixture {
protected:
    static void SetUpTestSuite() { MxEnsureMessaging(); }

    // A message holding Body, freed with the fixture.
    TMxMessage* Body(const MyAnsiString& body) {
        TMxMessage* m = TMxMessage::Create();
        m->SetText(body);
        Owned.emplace_back(m);
        return m;
    }
    std::vector<TMxMessagePtr> Owned;
};

using test::ExpectError;

} // namespace

// A command 2 with the integer 26 and the byte string 10 34 12.
TEST_F(MsgTools, ByteExactExample) {
    TMessageWriter w;
    w.CreateMessage();
    TMxMessagePtr owner(w.GetItem());
    w.PutCommand(MsgIntToText(2));
    MsgPutInt(w, 26);
    MsgPutStr(w, Bytes({0x10, 0x34, 0x12}));
    const MyAnsiString expected =
        Bytes({0x32, 0x09, 0x31, 0x41, 0x09, 0x33, 0x09, 0x31, 0x30, 0x09, 0x33, 0x34, 0x09, 0x31, 0x32});
    EXPECT_EQ(w.GetItem()->GetText(), expected);

    // A second command field follows after a CR.
    w.PutCommand("B");
    EXPECT_EQ(w.GetItem()->GetText(), expected + "\x0D"
                                                 "B");

    TMessageReader r;
    r.SetItem(w.GetItem());
    EXPECT_EQ(MsgTextToInt(r.GetCommand()), 2);
    EXPECT_EQ(MsgGetInt(r), 26);
    EXPECT_EQ(MsgGetStr(r), Bytes({0x10, 0x34, 0x12}));
    EXPECT_EQ(r.GetParameter(), "");
    EXPECT_EQ(r.GetCommand(), "B");
    EXPECT_EQ(r.GetCommand(), "");
}

TEST_F(MsgTools, ReaderWalksFields) {
    TMessageReader r;
    r.SetItem(Body("A\t1\t2\rB"));
    EXPECT_EQ(r.GetParameter(), ""); // nothing before the first command
    EXPECT_EQ(r.GetCommand(), "A");
    EXPECT_EQ(r.GetParameter(), "1");
    EXPECT_EQ(r.GetParameter(), "2");
    EXPECT_EQ(r.GetParameter(), "");
    EXPECT_EQ(r.GetCommand(), "B");
    EXPECT_EQ(r.GetParameter(), "");
    EXPECT_EQ(r.GetCommand(), "");
    EXPECT_EQ(r.GetCommand(), "");

    // Unread parameters are skipped by the next GetCommand.
    r.SetItem(Body("CMD1\tp1\tp2\tp3\rCMD2\tq\rCMD3"));
    EXPECT_EQ(r.GetCommand(), "CMD1");
    EXPECT_EQ(r.GetCommand(), "CMD2");
    EXPECT_EQ(r.GetParameter(), "q");
    EXPECT_EQ(r.GetCommand(), "CMD3");

    // SetItem starts over.
    r.SetItem(r.GetItem());
    EXPECT_EQ(r.GetCommand(), "CMD1");

    // An empty body has no command.
    r.SetItem(Body(""));
    EXPECT_EQ(r.GetCommand(), "");
    EXPECT_EQ(r.GetParameter(), "");

    // Bytes above 0x7F and long fields are copied as they are.
    MyAnsiString longField(400, '\xE4');
    r.SetItem(Body("\x80\x81\t" + longField));
    EXPECT_EQ(r.GetCommand(), "\x80\x81");
    EXPECT_EQ(r.GetParameter(), longField);

    TMessageReader none;
    EXPECT_EQ(none.GetCommand(), "");
}

TEST_F(MsgTools, MalformedBodiesAreErrors) {
    const char* bodies[] = {
        "\tA", // parameter before any command
        "\rA", // empty first command
        "A\r", // empty last command
        "A\r\rB", // empty command in between
        "A\r\tx", // command field of a parameter only
    };
    for (const char* b : bodies) {
        TMessageReader r;
        r.SetItem(Body(b));
        EXPECT_THROW(
            {
                while (!r.GetCommand().empty())
                    while (!r.GetParameter().empty()) {
                    }
            },
            EMessageFormatError)
            << b;
    }
    const char* params[] = {"A\t", "A\t\tB", "A\t\rB"};
    for (const char* b : params) {
        TMessageReader r;
        r.SetItem(Body(b));
        EXPECT_EQ(r.GetCommand(), "A");
        EXPECT_THROW(r.GetParameter(), EMessageFormatError) << b;
    }
}

TEST_F(MsgTools, WriterRules) {
    TMessageWriter w;
    w.CreateMessage();
    TMxMessagePtr owner(w.GetItem());
    ExpectError([&] { w.PutParameter("1"); }, "TMessageWriter.PutParameter: need a PutCommand first");
    ExpectError([&] { w.PutCommand(""); }, "PutCommand: Empty Data");
    w.PutCommand("A"); // no CR before the first command
    EXPECT_EQ(w.GetItem()->GetText(), "A");
    const std::pair<std::function<void()>, std::string> errors[] = {
        {[&] { w.PutParameter(""); }, "TMessageWriter.PutParameter: Empty Data"},
        {[&] { w.PutParameter("a\tb"); }, "TMessageWriter.PutParameter: TAB or CR in Data"},
        {[&] { w.PutParameter("a\rb"); }, "TMessageWriter.PutParameter: TAB or CR in Data"},
        {[&] { w.PutCommand("x\ty"); }, "TMessageWriter.PutCommand: TAB or CR in Data"},
        {[&] { w.PutCommand(""); }, "PutCommand: Empty Data"},
    };
    for (const auto& [op, text] : errors) {
        ExpectError(op, text);
        EXPECT_EQ(w.GetItem()->GetText(), "A"); // unchanged
    }
    MsgPutName(w, "CAN");
    w.PutCommand("B");
    EXPECT_EQ(w.GetItem()->GetText(), "A\tCAN\rB");

    // SetItem takes a message to answer and clears its body.
    TMxMessage* m = Body("old body");
    w.SetItem(m);
    EXPECT_EQ(m->GetSize(), 0);
    w.PutCommand("R");
    EXPECT_EQ(m->GetText(), "R");

    TMessageWriter none;
    EXPECT_THROW(none.PutCommand("A"), Exception);
}

TEST_F(MsgTools, IntegerAndByteStringConventions) {
    struct Case {
        std::int32_t value;
        const char* text;
    };
    const Case ints[] = {{0, "0"}, {26, "1A"}, {255, "FF"}, {-1, "FFFFFFFF"}, {INT32_MAX, "7FFFFFFF"}, {INT32_MIN, "80000000"}, {0x10, "10"}, {-2, "FFFFFFFE"}};
    for (const auto& c : ints) {
        EXPECT_EQ(MsgIntToText(c.value), c.text);
        EXPECT_EQ(MsgTextToInt(c.text), c.value);
    }
    EXPECT_EQ(MsgTextToInt("1a"), 26);
    EXPECT_EQ(MsgTextToInt("00000001"), 1);

    // Hexadecimal parameters that do not parse are errors, never a silent value.
    for (const char* bad : {"", "G", "1G", "123456789", "-1", " 1", "1 ", "$1", "0x1", "+1"})
        EXPECT_THROW(MsgTextToInt(bad), EConvertError) << '"' << bad << '"';
    ExpectError([] { MsgTextToInt("XY"); }, "'$XY' is not a valid integer value");

    // Round trips through a message.
    TMessageWriter w;
    w.CreateMessage();
    TMxMessagePtr owner(w.GetItem());
    w.PutCommand("C");
    MsgPutInt(w, -1);
    MsgPutStr(w, Bytes({0x00}));
    MsgPutStr(w, "");
    MyAnsiString all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    MsgPutStr(w, all);
    EXPECT_EQ(w.GetItem()->GetText().substr(0, 16), "C\tFFFFFFFF\t1\t0\t0");

    TMessageReader r;
    r.SetItem(w.GetItem());
    r.GetCommand();
    EXPECT_EQ(MsgGetInt(r), -1);
    EXPECT_EQ(MsgGetStr(r), Bytes({0x00}));
    EXPECT_EQ(MsgGetStr(r), "");
    EXPECT_EQ(MsgGetStr(r), all);
    EXPECT_THROW(MsgGetInt(r), EConvertError); // no parameter left
}

TEST_F(MsgTools, MalformedByteStrings) {
    const std::pair<const char*, bool> cases[] = {
        // body, true when the integer conversion fails (else a format error)
        {"C\t3\t1\t2", false}, // one byte missing
        {"C\t2\t1\t100", false}, // byte value out of range
        {"C\tFFFFFFFF", false}, // negative length
        {"C\t2\t1\tZZ", true}, // byte is no number
        {"C\tQ", true}, // length is no number
        {"C", true}, // no length at all
    };
    for (const auto& [body, conversion] : cases) {
        TMessageReader r;
        r.SetItem(Body(body));
        r.GetCommand();
        if (conversion)
            EXPECT_THROW(MsgGetStr(r), EConvertError) << body;
        else
            EXPECT_THROW(MsgGetStr(r), EMessageFormatError) << body;
    }
}

TEST_F(MsgTools, DestroyMessageGivesItBack) {
    const int free0 = MxMessagePool()->CountFreeMessages();
    TMessageReader r;
    r.SetItem(TMxMessage::Create());
    const int free1 = MxMessagePool()->CountFreeMessages();
    r.DestroyMessage();
    EXPECT_EQ(r.GetItem(), nullptr);
    EXPECT_EQ(MxMessagePool()->CountFreeMessages(), free1 + 1);
    EXPECT_EQ(r.GetCommand(), "");
    EXPECT_GE(free1 + 1, free0);
}

// A task on a threaded scheduler sends a request with command fields and
// hexadecimal parameters to a queue read by a main-scheduler task; the main
// task answers with SetReceiverFromSender and the reply comes back with the
// same Info.
TEST_F(MsgTools, RequestAndReplyAcrossSchedulers) {
    auto sched = TMxScheduler::CreateThreaded("OvraScheduler");

    TMxQueue mainQueue;
    mainQueue.LogOn(0);
    std::vector<std::string> seen;
    TMxTask receiver("Receiver");
    receiver.SetOnExecute([&](TMxTask& t) {
        while (TMxMessage* m = mainQueue.GetMessage()) {
            TMessageReader r;
            r.SetItem(m);
            std::int32_t sum = 0;
            for (MyAnsiString cmd = r.GetCommand(); !cmd.empty(); cmd = r.GetCommand()) {
                const std::int32_t a = MsgGetInt(r);
                const MyAnsiString data = MsgGetStr(r);
                seen.push_back(cmd + ":" + std::to_string(a) + ":" + std::to_string(data.size()));
                sum += a + static_cast<std::int32_t>(data.size());
            }
            TMessageWriter w;
            w.SetItem(m); // answer in the same message
            w.PutCommand("RESULT");
            MsgPutInt(w, sum);
            m->SetReceiverFromSender(*m);
            mainQueue.SendMessage(m);
        }
        t.WaitFor(mainQueue, MxInfinite);
    });
    receiver.Start();

    TMxQueue serverQueue;
    serverQueue.LogOn(0);
    std::atomic<int> replyInfo{-1}, replySum{0};
    std::atomic<bool> replied{false};
    const std::uint16_t target = mainQueue.GetQueueIdent();
    TMxTask sender(*sched, "Sender");
    bool sent = false;
    sender.SetOnExecute([&](TMxTask& t) {
        if (!sent) {
            TMessageWriter w;
            w.CreateMessage();
            w.PutCommand(MsgIntToText(0x89));
            MsgPutInt(w, 0x1234);
            MsgPutStr(w, Bytes({0xA5, 0x00, 0xFF}));
            w.PutCommand(MsgIntToText(0x10));
            MsgPutInt(w, -1);
            MsgPutStr(w, "");
            w.GetItem()->SetReceiver(target, 0, 0xB7);
            serverQueue.SendMessage(w.GetItem());
            sent = true;
        }
        if (TMxMessage* m = serverQueue.GetMessage()) {
            TMessageReader r;
            r.SetItem(m);
            if (r.GetCommand() == "RESULT") replySum = MsgGetInt(r);
            replyInfo = m->Info;
            r.DestroyMessage();
            replied = true;
        }
        t.WaitFor(serverQueue, MxInfinite);
    });
    sender.Start();

    ASSERT_TRUE(RunUntil([&] { return replied.load(); }));
    EXPECT_EQ(replyInfo.load(), 0xB7);
    EXPECT_EQ(replySum.load(), 0x1234 + 3 + (-1) + 0);
    EXPECT_EQ(seen, (std::vector<std::string>{"89:4660:3", "10:-1:0"}));
    while (serverQueue.WaitingCount() == 0) std::this_thread::sleep_for(1ms);
}
