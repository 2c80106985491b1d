// The device driver: binding at the port driver, sending under the device's
// semaphore, routing of received frames and the communication trace.
#include "comm/DevDrv.h"

#include "comm/PortDrv.h"
#include "kernel/MxMLib20.h"
#include "kernel/MxTLib20.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/TraceLine.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace vo;

namespace {

class TFakeDriver : public TPortDriver {
public:
    TFakeDriver(int32_t Count, MyAnsiString Type) : TPortDriver(Count) { SetPortType(std::move(Type)); }
    uint8_t Send(int32_t PortIndex, const MyAnsiString& Msg) override {
        Sends.emplace_back(PortIndex, Msg);
        return Result;
    }
    std::vector<std::pair<int32_t, MyAnsiString>> Sends;
    uint8_t Result = 0;
    int Closes = 0;
    void Close() override {
        ++Closes;
        TPortDriver::Close();
    }
};

class DevDrvTest : public ::testing::Test {
protected:
    void SetUp() override {
        MxEnsureMessaging();
        Port = std::make_shared<TFakeDriver>(256, "CAN");
        Port->Open(Scheduler, Manager);
        MainQueue.LogOn(0);
        GuiQueue.LogOn(0);
    }

    // A task of the (unthreaded) scheduler that holds the device's semaphore.
    std::unique_ptr<TMxTask> Owner(TDeviceDriver& Device) {
        auto t = std::make_unique<TMxTask>(Scheduler, "owner");
        t->SetOnExecute([&Device](TMxTask& Self) { Device.ObtainDevice(Self, MxInfinite); });
        t->Start();
        Scheduler.Execute();
        EXPECT_TRUE(Device.IsOwner(*t));
        t->SetOnExecute(nullptr);
        return t;
    }

    std::vector<MyAnsiString> Take(TMxQueue& Q, std::vector<uint8_t>* Infos = nullptr) {
        std::vector<MyAnsiString> out;
        while (TMxMessage* m = Q.GetMessage()) {
            out.push_back(m->GetText());
            if (Infos)
                Infos->push_back(m->Info);
            TMxMessage::Free(m);
        }
        return out;
    }

    TMxScheduler Scheduler;
    TThreadManager Manager;
    std::shared_ptr<TFakeDriver> Port;
    TMxQueue MainQueue; // the server's request queue
    TMxQueue GuiQueue; // the connection service's queue
};

} // namespace

TEST_F(DevDrvTest, OutputNeedsAPortDriverAndTheSemaphore) {
    TDeviceDriver first(Port, 5, &MainQueue);
    ASSERT_TRUE(first.PortDriver());
    // A second device on the same index gets no port driver.
    TDeviceDriver second(Port, 5, &MainQueue);
    EXPECT_FALSE(second.PortDriver());

    auto owner = Owner(first);
    auto other = std::make_unique<TMxTask>(Scheduler, "other");
    EXPECT_EQ(first.Output(*other, "\x10\x00"), OvraResNotOwner);
    EXPECT_EQ(second.Output(*owner, "\x10\x00"), OvraResNoPortDriver);
    EXPECT_EQ(first.Output(*owner, MyAnsiString("\x10\x00", 2)), 0);
    ASSERT_EQ(Port->Sends.size(), 1u);
    EXPECT_EQ(Port->Sends[0].first, 5);
    EXPECT_EQ(Port->Sends[0].second, MyAnsiString("\x10\x00", 2));

    Port->Result = OvraResSendFailed;
    EXPECT_EQ(first.Output(*owner, "\x10"), OvraResSendFailed);

    EXPECT_EQ(first.ReleaseDevice(*other), OvraResNotOwner);
    EXPECT_EQ(first.ReleaseDevice(*owner), 0);
    EXPECT_EQ(first.Output(*owner, "\x10"), OvraResNotOwner);
}

TEST_F(DevDrvTest, ReceivedFramesGoToTheWaitingActorOrTheDefaultQueue) {
    TDeviceDriver dev(Port, 3, &MainQueue);
    TMxQueue actorQueue;

    // Without a default queue an unsolicited frame is dropped.
    Port->Input(3, "\x10\x00\x01");
    EXPECT_TRUE(Take(GuiQueue).empty());

    dev.SetDefaultQueue(GuiQueue.GetQueueIdent(), 0, 5);
    // No code assigned: to the default queue, with the default info code.
    Port->Input(3, "\x10\x00\x02");
    std::vector<uint8_t> infos;
    auto gui = Take(GuiQueue, &infos);
    ASSERT_EQ(gui.size(), 1u);
    EXPECT_EQ(gui[0], "\x10\x00\x02");
    EXPECT_EQ(infos[0], 5);

    dev.AssignCurrentService(actorQueue, 0x10);
    EXPECT_EQ(dev.CurrentServiceIdent(), 0x10);
    Port->Input(3, "\x10\x00\x03"); // the awaited command: to the actor
    Port->Input(3, MyAnsiString("\x03\x00", 2)); // another command: unsolicited
    Port->Input(3, ""); // empty: nowhere
    auto actor = Take(actorQueue);
    gui = Take(GuiQueue);
    ASSERT_EQ(actor.size(), 1u);
    EXPECT_EQ(actor[0], "\x10\x00\x03");
    ASSERT_EQ(gui.size(), 1u);
    EXPECT_EQ(gui[0], MyAnsiString("\x03\x00", 2));

    dev.ReleaseCurrentService(actorQueue);
    EXPECT_EQ(dev.CurrentServiceIdent(), -1);
    Port->Input(3, "\x10\x00\x04");
    EXPECT_TRUE(Take(actorQueue).empty());
    EXPECT_EQ(Take(GuiQueue).size(), 1u);
}

TEST_F(DevDrvTest, CommandCodeZeroIsAnOrdinaryCode) {
    // Code 0 is routed like any other and does not stay assigned afterwards.
    TDeviceDriver dev(Port, 1, &MainQueue);
    dev.SetDefaultQueue(GuiQueue.GetQueueIdent(), 0, 5);
    TMxQueue actorQueue;
    dev.AssignCurrentService(actorQueue, 0x00);
    Port->Input(1, MyAnsiString("\x00\x00", 2));
    EXPECT_EQ(Take(actorQueue).size(), 1u);
    dev.ReleaseCurrentService(actorQueue);
    Port->Input(1, MyAnsiString("\x00\x00", 2));
    EXPECT_TRUE(Take(actorQueue).empty());
    EXPECT_EQ(Take(GuiQueue).size(), 1u);
}

TEST_F(DevDrvTest, AssignmentErrors) {
    TDeviceDriver dev(Port, 2, &MainQueue);
    TMxQueue a, b;
    dev.AssignCurrentService(a, 0x10);
    test::ExpectError([&] { dev.AssignCurrentService(b, 0x11); }, "TDeviceDriver.AssignCurrentService: current service is already assigned");
    test::ExpectError([&] { dev.ReleaseCurrentService(b); }, "TDeviceDriver.ReleaseCurrentService: wrong current service queue");
    EXPECT_EQ(dev.CurrentServiceIdent(), 0x10); // unchanged by the refusals
}

TEST_F(DevDrvTest, DetachUnbindsClosesAndEndsSending) {
    auto dev = std::make_unique<TDeviceDriver>(Port, 9, &MainQueue);
    auto owner = Owner(*dev);
    dev->Detach();
    EXPECT_FALSE(Port->IsBound(9));
    EXPECT_EQ(Port->Closes, 1);
    EXPECT_EQ(dev->Output(*owner, "\x10"), OvraResNoPortDriver);
    dev->ReleaseDevice(*owner);
    dev.reset(); // a detached device does not close the port again
    EXPECT_EQ(Port->Closes, 1);

    // The index is free for the next device.
    TDeviceDriver next(Port, 9, &MainQueue);
    EXPECT_TRUE(next.PortDriver());
}

TEST_F(DevDrvTest, TraceLinesOfSentAndReceivedFrames) {
    test::CapturedTrace trace;
    auto rs = std::make_shared<TFakeDriver>(1, "RS");
    rs->Open(Scheduler, Manager);
    rs->SetPortName("COM1");
    TDeviceDriver dev(rs, 0, &MainQueue);
    auto owner = Owner(dev);

    trace.Manager().Assign(1, [&](TDebugHandler h) { dev.SetDebugHandler(std::move(h)); });
    EXPECT_EQ(dev.Output(*owner, MyAnsiString("\x10\x01\x00", 3)), 0); // group 1 off: no line
    trace.Manager().Enable(1);
    EXPECT_EQ(dev.Output(*owner, MyAnsiString("\x10\x01\x00", 3)), 0);
    rs->Input(0, MyAnsiString("\x10\x00\x34\x12", 4));

    auto lines = trace.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(test::IsTimedTraceLine(lines[0], "0110", "COM1 OUT: 10 01 00 ")) << lines[0];
    EXPECT_TRUE(test::IsTimedTraceLine(lines[1], "0210", "COM1 IN: 10 00 34 12 ")) << lines[1];
    // The time field is 10 characters wide.
    EXPECT_EQ(lines[0].find(')'), 8u + 10u);

    trace.Manager().Disable(1);
    dev.Output(*owner, "\x11");
    EXPECT_EQ(trace.Lines().size(), 2u);
}

TEST(DeviceTraceText, FormatsPerPortType) {
    const MyAnsiString t = "     1.500";
    EXPECT_EQ(DeviceTraceText(t, "ETH", "", static_cast<int32_t>(0xC0A80105u), true, "\x03"),
              "(     1.500) - ETH (192.168.1.5) - OUT: 03 ");
    EXPECT_EQ(DeviceTraceText(t, "CAN", "", 17, false, MyAnsiString("\x03\x00", 2)),
              "(     1.500) - CAN (17) - IN: 03 00 ");
    EXPECT_EQ(DeviceTraceText(t, "OQP", "OQP1", 0, true, "\x01"), "(     1.500) - OQP1 OUT: 01 ");
    // At most the first 255 bytes.
    const MyAnsiString longFrame(300, '\x20');
    EXPECT_EQ(DeviceTraceText(t, "RS", "COM2", 0, true, longFrame).size(),
              MyAnsiString("(     1.500) - COM2 OUT: ").size() + 255 * 3);
}
