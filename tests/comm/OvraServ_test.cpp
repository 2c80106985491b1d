// The communication server: its dispatcher nodes, the command messages that
// open and close devices with their exact replies, the port registry, and a
// request message carried end to end to the simulated drive.
#include "comm/OvraServ.h"

#include "kernel/Debug.h"
#include "kernel/functions.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/OvraServerFixture.h"
#include "tests/support/TraceLine.h"

#include <gtest/gtest.h>

#include <map>

using namespace vo;
using namespace vo::test;
using namespace std::chrono_literals;

namespace {

// An Ethernet-like driver: device indices are addresses, bound at the next
// free position (the base's table is by position).
class TFakeEthDriver : public TPortDriver {
public:
    TFakeEthDriver() : TPortDriver(65535) { SetPortType("ETH"); }
    uint8_t Assign(int32_t Address, TInpEvent OnInput, TErrEvent OnError) override {
        std::lock_guard lock(FLock);
        if (OnInput) {
            const auto pos = static_cast<int32_t>(Slaves.size());
            const uint8_t r = TPortDriver::Assign(pos, std::move(OnInput), std::move(OnError));
            if (r == 0)
                Slaves.push_back(Address);
            return r;
        }
        for (size_t i = 0; i < Slaves.size(); ++i)
            if (Slaves[i] == Address) {
                TPortDriver::Assign(static_cast<int32_t>(i), nullptr, nullptr);
                Slaves.erase(Slaves.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        return 0;
    }
    bool IsBound(int32_t Address) const override {
        std::lock_guard lock(FLock);
        return std::find(Slaves.begin(), Slaves.end(), Address) != Slaves.end();
    }
    uint8_t Send(int32_t, const MyAnsiString&) override { return 0; }
    void Close() override {
        if (Slaves.empty())
            TPortDriver::Close();
    }
    std::vector<int32_t> Slaves;
};

class ServerCommandTest : public OvraServerTest {
protected:
    void SetUp() override {
        OpenDrive = false;
        OvraServerTest::SetUp();
        Can = std::make_shared<TSimPortDriver>(256, "CAN");
        Eth = std::make_shared<TFakeEthDriver>();
        ASSERT_TRUE(Server->AddPortDriver("CAN", Can));
        ASSERT_TRUE(Server->AddPortDriver("ETH", Eth));
        auto failing = std::make_shared<TSimPortDriver>(1, "SIM");
        failing->FailOpen = true;
        ASSERT_TRUE(Server->AddPortDriver("COM5", failing));
    }
    std::shared_ptr<TSimPortDriver> Can;
    std::shared_ptr<TFakeEthDriver> Eth;
};

} // namespace

TEST_F(ServerCommandTest, RequestAndCommandQueuesAreNodesZeroAndOne) {
    EXPECT_EQ(Server->QueueId(), 0);
    EXPECT_EQ(Server->RequestQueue().GetQueueIdent(), OvraServerIdent);
    EXPECT_EQ(Server->CommandQueue().GetQueueIdent(), OvraServerCommandIdent);
    EXPECT_EQ(Server->Scheduler().IsThreaded(), true);
    // A second server cannot have the nodes: it refuses to start rather than
    // serve under addresses nobody sends to.
    test::ExpectError([&] { TOvraServer second; }, "OvraServer.Create: dispatcher node 0 is taken");
    // The first one still serves.
    EXPECT_EQ(Gui->Open("COM1"), 0);
}

TEST_F(ServerCommandTest, OpenAndCloseGiveHandlesThatAreNeverReused) {
    auto r = Gui->Command({"OpenDevice", "COM1", "0", "0", "5"}, 1);
    EXPECT_EQ(r, (std::vector<MyAnsiString>{"OpenDevice", "OK", "0"}));
    EXPECT_EQ(Gui->Command({"CloseDevice", "0"}, 2), (std::vector<MyAnsiString>{"CloseDevice", "OK"}));
    EXPECT_EQ(Gui->Open("COM1"), 1);
    EXPECT_EQ(Gui->Open("CAN", 0x10), 2);
    EXPECT_EQ(Server->GetDeviceHandle("COM1"), 1);
    EXPECT_EQ(Server->GetDeviceHandle("CAN"), 2);
    EXPECT_EQ(Server->GetDeviceHandle("COM9"), -1);
    EXPECT_EQ(Server->DeviceList().DeviceWithIndex(0), nullptr);
    // The serial driver was opened by the device and got the port name.
    EXPECT_TRUE(Port->PortIsOpen());
    EXPECT_EQ(Port->PortName(), "COM1");
    // Closing a handle nobody has is fine.
    EXPECT_EQ(Gui->Command({"CloseDevice", "7"}), (std::vector<MyAnsiString>{"CloseDevice", "OK"}));
    // Closing the serial device closes its port.
    EXPECT_EQ(Gui->Command({"CloseDevice", "1"}), (std::vector<MyAnsiString>{"CloseDevice", "OK"}));
    EXPECT_FALSE(Port->PortIsOpen());
}

TEST_F(ServerCommandTest, CloseDeviceTakesTheHandleInHexadecimal) {
    // 64 devices on the CAN port (the shell's direct calls), then "3F".
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(Server->OpenDevice("CAN", i + 1, 0, Gui->Ident(), 0, 5), i);
    EXPECT_EQ(Gui->Command({"CloseDevice", "3F"}), (std::vector<MyAnsiString>{"CloseDevice", "OK"}));
    EXPECT_EQ(Server->DeviceList().DeviceWithIndex(63), nullptr);
    EXPECT_NE(Server->DeviceList().DeviceWithIndex(62), nullptr);
    EXPECT_FALSE(Can->IsBound(64)); // MAC-ID 64 was handle 63
    EXPECT_TRUE(Can->IsBound(63));
    EXPECT_TRUE(Can->PortIsOpen()); // still serves the other devices
}

TEST_F(ServerCommandTest, RefusedOpeningsAnswerErrorAndCreateNoDevice) {
    ASSERT_EQ(Gui->Open("COM1"), 0);
    ASSERT_EQ(Gui->Open("CAN", 3), 1);
    ASSERT_EQ(Gui->Open("ETH", 0, static_cast<int32_t>(0xC0A80005u)), 2);

    struct Case {
        std::vector<MyAnsiString> Fields;
        MyAnsiString Text; // empty: only "ERROR" is checked
    };
    const std::vector<Case> cases = {
        {{"OpenDevice", "COM1", "0", "0", "5"}, "OvraServer: port COM1 is occupied"},
        {{"OpenDevice", "COM1:1", "0", "0", "5"}, "OvraServer: index 1 at port 'COM1' is out of range"},
        // The same index under another name: refused, not opened without a port driver.
        {{"OpenDevice", "COM1:0", "0", "0", "5"}, "OvraServer: index 0 at port 'COM1' is occupied"},
        {{"OpenDevice", "COM7", "0", "0", "5"}, "OvraServer: port COM7 is unknown"},
        {{"OpenDevice", "COM7:2", "0", "0", "5"}, "OvraServer: port COM7:2 is unknown"},
        {{"OpenDevice", "COM5", "0", "0", "5"}, "Port COM5 could not be opened!"},
        {{"OpenDevice", "CAN", "100", "0", "5"}, "OvraServer: index 256 at port 'CAN' is out of range"},
        {{"OpenDevice", "CAN", "3", "0", "5"}, "OvraServer: index 3 at port 'CAN' is occupied"},
        {{"OpenDevice", "ETH", "0", "C0A80005", "5"}, "OvraServer: port 192.168.0.5 is occupied"},
        // Messages that cannot be read are answered, never left hanging.
        {{"OpenDevice", "COM2", "ZZ", "0", "5"}, "'$ZZ' is not a valid integer value"},
        {{"OpenDevice", "COM2", "0", "0"}, ""},
        {{"OpenDevice"}, "OvraServer.OpenDevice: port name missing"},
        {{"OpenDevice", "COM1:x", "0", "0", "5"}, ""},
        {{"CloseDevice", "G1"}, "'$G1' is not a valid integer value"},
        {{"CloseDevice"}, ""},
    };
    uint8_t info = 0x40;
    for (const auto& c : cases) {
        auto r = Gui->Command(c.Fields, info++);
        ASSERT_GE(r.size(), 2u) << c.Fields[0] << " " << (c.Fields.size() > 1 ? c.Fields[1] : "");
        EXPECT_EQ(r[0], c.Fields[0]);
        EXPECT_EQ(r[1], "ERROR") << (c.Fields.size() > 1 ? c.Fields[1] : "");
        ASSERT_EQ(r.size(), 3u);
        if (!c.Text.empty()) {
            EXPECT_EQ(r[2], c.Text);
        }
    }
    EXPECT_EQ(Server->DeviceList().Count(), 3);
    EXPECT_EQ(Gui->Command({"Reset", "1"}, 0x60), (std::vector<MyAnsiString>{"Reset", "ERROR", "unknown command"}));

    // The first device still works after all of this.
    TReply reply = Gui->Request({{2, 0, GetWordFrame(0x100)}});
    ASSERT_EQ(reply.Records.size(), 1u);
    EXPECT_EQ(reply.Records[0].Result, 0);
    EXPECT_EQ(reply.Records[0].Frame, SimHex("10 00 34 12"));
    EXPECT_EQ(Gui->Open("COM2"), -1);
}

TEST_F(ServerCommandTest, ReplyKeepsTheInfoCodeAndGoesToTheSender) {
    TGuiSide other;
    auto r = other.Command({"OpenDevice", "COM1", "0", "0", "9"}, 0x77);
    EXPECT_EQ(r, (std::vector<MyAnsiString>{"OpenDevice", "OK", "0"}));
    // Nothing reached the first GUI queue.
    EXPECT_TRUE(Gui->Collect(0x77).empty());
    // The device's unsolicited frames go to the opener with the info code of
    // the fourth parameter.
    Runner->SendUnsolicited(*Port->Link(0), "inproc", SimHex("42 00 01"));
    std::vector<MyAnsiString> frames;
    for (int i = 0; i < 200 && frames.empty(); ++i)
        frames = other.Collect(9, 10ms);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], SimHex("42 00 01"));
}

TEST_F(ServerCommandTest, PortRegistry) {
    EXPECT_FALSE(Server->AddPortDriver("com1", std::make_shared<TSimPortDriver>()));
    EXPECT_EQ(Server->GetPortCount(), 4);
    EXPECT_EQ(Server->GetPortName(0), "COM1");
    EXPECT_EQ(Server->GetPortName(2), "ETH");
    EXPECT_EQ(Server->GetPortName(4), "");
    EXPECT_EQ(Server->GetPortType("eth"), "ETH");
    EXPECT_EQ(Server->GetPortType("COM9"), "");
    EXPECT_EQ(Server->GetPortDriver("can"), Can);
    EXPECT_EQ(Server->GetPortDriver("COM9"), nullptr);
    EXPECT_FALSE(Server->SetPortBaudRate("COM9", 9600));
    EXPECT_FALSE(Server->SetPortBaudRate("CAN", 9600));

    class TRs : public TSimPortDriver {
    public:
        TRs() : TSimPortDriver(1, "RS") {}
        bool SetBaudRate(uint32_t B) override {
            Baud = B;
            return true;
        }
        uint32_t Baud = 0;
    };
    auto rs3 = std::make_shared<TRs>();
    ASSERT_TRUE(Server->AddPortDriver("COM3", rs3));
    ASSERT_TRUE(Server->AddPortDriver("COM4", std::make_shared<TRs>()));
    EXPECT_TRUE(Server->SetPortBaudRate("COM3", 115200));
    EXPECT_EQ(rs3->Baud, 115200u);
    Server->ClearRSPorts();
    EXPECT_EQ(Server->GetPortCount(), 4);
    EXPECT_EQ(Server->GetPortDriver("COM3"), nullptr);
}

TEST_F(OvraServerTest, RequestWithSeveralRecordsGetsOneReplyInRecordOrder) {
    const MyAnsiString setWord = MyAnsiString("\x11", 1) + SimLE(0x102, 4) + SimHex("CD AB");
    const MyAnsiString getBlock = MyAnsiString("\x30", 1) + SimLE(0x100, 4) + MyAnsiString("\x04", 1);
    TReply reply = Gui->Request({
        {1, Handle, SimHex("01")}, // login
        {2, Handle, GetWordFrame(0x100)}, // get word
        {3, Handle, setWord}, // set word
        {2, Handle, GetWordFrame(0x102)}, // read it back
        {4, Handle, getBlock}, // block of two words
        {19, Handle, GetWordFrame(0x5000)}, // outside memory: the drive's status
    });
    ASSERT_TRUE(reply.Received);
    EXPECT_FALSE(reply.Error);
    ASSERT_EQ(reply.Records.size(), 6u);
    const std::vector<int> patterns = {1, 2, 3, 2, 4, 19};
    for (size_t i = 0; i < patterns.size(); ++i) {
        EXPECT_EQ(reply.Records[i].Pattern, patterns[i]);
        // Results below 0x80 come with the frame, errors (bit 7) without.
        EXPECT_EQ(reply.Records[i].HasFrame, i < 5) << i;
    }
    EXPECT_EQ(reply.Records[0].Result, 0);
    EXPECT_EQ(reply.Records[0].Frame.substr(0, 4), SimHex("01 00 41 04"));
    EXPECT_EQ(reply.Records[1].Frame, SimHex("10 00 34 12"));
    EXPECT_EQ(reply.Records[2].Frame, SimHex("11 00"));
    EXPECT_EQ(reply.Records[3].Frame, SimHex("10 00 CD AB"));
    EXPECT_EQ(reply.Records[4].Frame, SimHex("30 00 34 12 78 56"));
    EXPECT_EQ(reply.Records[5].Result, 0xC3);
    EXPECT_EQ(Runner->WithDrive([](SimDrive& d) { return d.Peek(0x102, 2); }), SimHex("CD AB"));
}

TEST_F(OvraServerTest, RequestBodyOnTheWireFollowsTheTextFields) {
    // Pattern 2, handle 0, frame 10 00 01 00 00: "2 TAB 0 TAB 5 TAB 10 TAB 0 ...".
    const MyAnsiString body = TGuiSide::RequestBody({{2, 0, GetWordFrame(0x100)}});
    EXPECT_EQ(body, "2\t0\t5\t10\t0\t1\t0\t0");
    Gui->Send(OvraServerIdent, 0x21, body);
    TMxMessagePtr m = Gui->WaitInfo(0x21);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->GetText(), "2\t0\t4\t10\t0\t34\t12");
}

TEST(OvraServerTrace, DeviceTracesItsFramesUnderGroupOne) {
    CapturedTrace trace; // before the server: it enables group 1
    {
        MxEnsureMessaging();
        SimRunner runner(ServerTestDrive());
        runner.Start();
        auto port = std::make_shared<TSimPortDriver>(1, "SIM");
        port->Connect(0, runner);
        {
            TOvraServer server;
            TGuiSide gui;
            EXPECT_TRUE(trace.Manager().IsEnabled(1));
            server.AddPortDriver("COM1", port);
            ASSERT_EQ(gui.Open("COM1"), 0);
            TReply r = gui.Request({{2, 0, GetWordFrame(0x100)}});
            ASSERT_EQ(r.Records.size(), 1u);
        }
    }
    std::vector<std::string> lines = trace.Lines();
    bool out = false, in = false;
    for (const auto& l : lines) {
        out = out || test::IsTimedTraceLine(l, "0110", "COM1 OUT: 10 00 01 00 00 ");
        in = in || test::IsTimedTraceLine(l, "0210", "COM1 IN: 10 00 34 12 ");
    }
    EXPECT_TRUE(out);
    EXPECT_TRUE(in);
}
