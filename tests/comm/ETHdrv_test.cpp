// The Ethernet link end to end: the communication server with the "ETH"
// driver, simulated drives on UDP at 127.0.0.5 and 127.0.0.6 (a port of the
// test's own in place of 20000), the positions of their slaves as devices
// come and go, and datagrams from an address that no device uses.
#include "comm/ETHdrv.h"

#include "kernel/functions.h"
#include "platform/UdpSocket.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/OvraServerFixture.h"
#include "tools/drivesim/SimUdp.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace std::chrono_literals;
using namespace vo;
using namespace vo::test;

namespace {

int32_t Ip(const char* Text) {
    return IPStrToInt(Text);
}

class EthLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        MxEnsureMessaging();
        // The first drive picks a free port; the second listens on the same
        // port at its own address, as drives do on 20000.
        for (auto* r : {&Runner5, &Runner6}) {
            *r = std::make_unique<SimRunner>(ServerTestDrive());
        }
        Udp5 = std::make_unique<SimUdpTransport>(*Runner5, "127.0.0.5", 0);
        Udp6 = std::make_unique<SimUdpTransport>(*Runner6, "127.0.0.6", Udp5->Port());
        Runner5->Start();
        Runner6->Start();
        DrivePort = std::make_unique<TScopedEthDrivePort>(Udp5->Port());
        Driver = std::make_shared<TETHDriver>();
        Server = std::make_unique<TOvraServer>();
        Gui = std::make_unique<TGuiSide>();
        ASSERT_TRUE(Server->AddPortDriver("ETH", Driver));
    }
    void TearDown() override {
        Server.reset();
        Gui.reset();
        Driver.reset();
        Udp5.reset();
        Udp6.reset();
        Runner5.reset();
        Runner6.reset();
    }

    TReply GetWord(int32_t Handle, uint32_t Address, uint8_t Info) {
        return Gui->Request({{1, Handle, GetWordFrame(Address)}}, Info);
    }

    TScopedTimeOverride CloseDelay{EthDriverCloseDelay, 0};
    TScopedTimeOverride AnswerTimeout{ServerActorAnswerTimeout, 300};
    std::unique_ptr<SimRunner> Runner5, Runner6;
    std::unique_ptr<SimUdpTransport> Udp5, Udp6;
    std::unique_ptr<TScopedEthDrivePort> DrivePort;
    std::shared_ptr<TETHDriver> Driver;
    std::unique_ptr<TOvraServer> Server;
    std::unique_ptr<TGuiSide> Gui;
};

TEST_F(EthLinkTest, SlavesMoveDownWhenAnEarlierDeviceCloses) {
    const int32_t h5 = Gui->Open("ETH", 0, Ip("127.0.0.5"));
    const int32_t h6 = Gui->Open("ETH", 0, Ip("127.0.0.6"));
    ASSERT_GE(h5, 0) << (Gui->LastReply.size() > 2 ? Gui->LastReply[2] : "");
    ASSERT_GE(h6, 0);
    EXPECT_EQ(Driver->GetSlaveIndex(Ip("127.0.0.5")), 0);
    EXPECT_EQ(Driver->GetSlaveIndex(Ip("127.0.0.6")), 1);
    EXPECT_NE(Driver->LocalPort(), 0);

    // Each drive answers its own device.
    TReply r5 = GetWord(h5, 0x100, 0x21);
    TReply r6 = GetWord(h6, 0x101, 0x22);
    ASSERT_EQ(r5.Records.size(), 1u);
    ASSERT_EQ(r6.Records.size(), 1u);
    EXPECT_EQ(r5.Records[0].Result, 0);
    EXPECT_EQ(r5.Records[0].Frame, SimHex("10 00 34 12"));
    EXPECT_EQ(r6.Records[0].Frame, SimHex("10 00 78 56"));
    EXPECT_EQ(Runner5->Transcript().Frames(SimDirection::In).size(), 1u);
    EXPECT_EQ(Runner6->Transcript().Frames(SimDirection::In).size(), 1u);

    // A second device on an address in use is refused.
    EXPECT_EQ(Gui->Open("ETH", 0, Ip("127.0.0.6")), -1);
    ASSERT_EQ(Gui->LastReply.size(), 3u);
    EXPECT_EQ(Gui->LastReply[2], "OvraServer: port 127.0.0.6 is occupied");

    // Closing the first moves the second to position 0; it still answers.
    EXPECT_EQ(Gui->Command({"CloseDevice", MsgIntToText(h5)}), (std::vector<MyAnsiString>{"CloseDevice", "OK"}));
    EXPECT_EQ(Driver->GetSlaveIndex(Ip("127.0.0.5")), -1);
    EXPECT_EQ(Driver->GetSlaveIndex(Ip("127.0.0.6")), 0);
    EXPECT_TRUE(Driver->PortIsOpen());
    r6 = GetWord(h6, 0x100, 0x23);
    ASSERT_EQ(r6.Records.size(), 1u);
    EXPECT_EQ(r6.Records[0].Result, 0);
    EXPECT_EQ(r6.Records[0].Frame, SimHex("10 00 34 12"));

    // Closing the second switches the endpoint off.
    EXPECT_EQ(Gui->Command({"CloseDevice", MsgIntToText(h6)}), (std::vector<MyAnsiString>{"CloseDevice", "OK"}));
    EXPECT_FALSE(Driver->PortIsOpen());
    EXPECT_EQ(Driver->LocalPort(), 0);
    EXPECT_EQ(Driver->NoOfSlaves(), 0);
    EXPECT_EQ(Driver->Send(Ip("127.0.0.6"), SimHex("01")), OvraResSendFailed);
}

TEST_F(EthLinkTest, ADatagramFromAnUnusedAddressReachesNoDeviceButIsAnnounced) {
    std::atomic<int> triggers{0};
    MyAnsiString announced;
    int32_t announcedFrom = 0;
    std::mutex m;
    Driver->SetOnTrigger([&](TETHDriver&, const MyAnsiString& Data, int32_t From) {
        std::lock_guard lock(m);
        announced = Data;
        announcedFrom = From;
        ++triggers;
    });
    const int32_t h5 = Gui->Open("ETH", 0, Ip("127.0.0.5"), 5);
    ASSERT_GE(h5, 0);

    TUdpSocket stranger;
    stranger.Open(static_cast<uint32_t>(Ip("127.0.0.7")), 0);
    stranger.SendTo(static_cast<uint32_t>(Ip("127.0.0.1")), Driver->LocalPort(), SimHex("10 00 99 99"));
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (triggers.load() == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(triggers.load(), 1);
    {
        std::lock_guard lock(m);
        EXPECT_EQ(announced, SimHex("10 00 99 99"));
        EXPECT_EQ(announcedFrom, Ip("127.0.0.7"));
    }
    EXPECT_EQ(Driver->MessageStr(), SimHex("10 00 99 99"));
    // Not routed to the device: nothing unsolicited reaches the GUI side,
    // and the device's next request is answered by its own drive.
    EXPECT_TRUE(Gui->Collect(5, 100ms).empty());
    TReply r = GetWord(h5, 0x101, 0x24);
    ASSERT_EQ(r.Records.size(), 1u);
    EXPECT_EQ(r.Records[0].Frame, SimHex("10 00 78 56"));

    // A datagram from the device's address (any port) does reach it, as an
    // unsolicited frame.
    TUdpSocket sameAddress;
    sameAddress.Open(static_cast<uint32_t>(Ip("127.0.0.5")), 0);
    sameAddress.SendTo(static_cast<uint32_t>(Ip("127.0.0.1")), Driver->LocalPort(), SimHex("7E 01"));
    std::vector<MyAnsiString> frames;
    for (int i = 0; i < 500 && frames.empty(); ++i)
        frames = Gui->Collect(5, 10ms);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], SimHex("7E 01"));
    EXPECT_GE(triggers.load(), 3);
    EXPECT_EQ(Gui->Command({"CloseDevice", MsgIntToText(h5)}), (std::vector<MyAnsiString>{"CloseDevice", "OK"}));
}

TEST(EthDriver, ScriptDriversOpenWithoutSchedulerButBindNoSlave) {
    MxEnsureMessaging();
    TETHDriver driver;
    driver.Open();
    EXPECT_TRUE(driver.PortIsOpen());
    EXPECT_NE(driver.LocalPort(), 0);
    ExpectError([&] { driver.Assign(
                          Ip("127.0.0.9"), [](int32_t, const MyAnsiString&) {}, nullptr); },
                "ETHDriver.Assign: no scheduler for the receive task of 127.0.0.9");
    EXPECT_EQ(driver.Assign(Ip("127.0.0.9"), nullptr, nullptr), 0); // nothing bound: nothing to unbind
    TScopedTimeOverride fast(EthDriverCloseDelay, 0);
    driver.Close();
    EXPECT_FALSE(driver.PortIsOpen());
}

} // namespace
