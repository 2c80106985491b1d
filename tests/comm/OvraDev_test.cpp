// The server's devices: the off-line rule and the device list by handle.
#include "comm/OvraDev.h"

#include "kernel/MxMLib20.h"
#include "kernel/MxTLib20.h"

#include <gtest/gtest.h>

using namespace vo;

namespace {

class TFakeDriver : public TPortDriver {
public:
    TFakeDriver() : TPortDriver(256) { SetPortType("CAN"); }
    uint8_t Send(int32_t, const MyAnsiString& Msg) override {
        Sends.push_back(Msg);
        return 0;
    }
    std::vector<MyAnsiString> Sends;
};

} // namespace

TEST(OvraDevice, OffLineDevicePassesOnlyTheLogin) {
    MxEnsureMessaging();
    TMxScheduler sched;
    TThreadManager tm;
    auto port = std::make_shared<TFakeDriver>();
    port->Open(sched, tm);
    TOvraDevice dev("CAN", port, 4, nullptr);
    EXPECT_TRUE(dev.OnLine());
    TMxTask owner(sched, "owner");
    owner.SetOnExecute([&](TMxTask& t) { dev.ObtainDevice(t, MxInfinite); });
    owner.Start();
    sched.Execute();

    EXPECT_EQ(dev.Output(owner, "\x10"), 0);
    dev.SetOnLine(false);
    EXPECT_EQ(dev.Output(owner, "\x10"), OvraResOffLine);
    EXPECT_EQ(dev.Output(owner, "\x01pw"), 0);
    ASSERT_EQ(port->Sends.size(), 2u);
    EXPECT_EQ(port->Sends[1], "\x01pw");
    dev.ReleaseDevice(owner);
}

TEST(OvraDeviceList, HandlesAreSlotsThatAreNeverReused) {
    TOvraDeviceList list;
    auto mk = [](const char* name) { return std::make_shared<TOvraDevice>(name, nullptr, 0, nullptr); };
    auto a = mk("COM1"), b = mk("COM2"), c = mk("COM3");
    EXPECT_EQ(list.AddDevice(a), 0);
    EXPECT_EQ(list.AddDevice(b), 1);
    EXPECT_EQ(list.AddDevice(c), 2);
    EXPECT_EQ(c->DeviceHandle(), 2);

    EXPECT_EQ(list.DeleteDevice(*c), c);
    EXPECT_EQ(list.DeviceWithIndex(2), nullptr);
    EXPECT_EQ(list.DeviceWithIndex(1), b);
    EXPECT_EQ(list.DeviceWithIndex(-1), nullptr);
    EXPECT_EQ(list.DeviceWithIndex(3), nullptr);
    auto d = mk("COM4");
    EXPECT_EQ(list.AddDevice(d), 3);
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list.DeleteDevice(*c), nullptr); // gone already

    // Names compare exactly.
    EXPECT_EQ(list.DeviceWithName("COM2"), b);
    EXPECT_EQ(list.DeviceWithName("com2"), nullptr);
    EXPECT_EQ(list.DeviceWithName("COM3"), nullptr);

    EXPECT_EQ(list.DeleteHandle(0), a);
    EXPECT_EQ(list.Devices().size(), 2u);
    EXPECT_EQ(list.TakeAll().size(), 2u);
    EXPECT_EQ(list.Count(), 4);
    EXPECT_TRUE(list.Devices().empty());
}
