// The port-driver base: index checks, open state, binding rules per port type,
// delivery of received frames.
#include "comm/PortDrv.h"

#include "kernel/MxTLib20.h"
#include "kernel/ThrdMan.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace vo;

namespace {

class TFakeDriver : public TPortDriver {
public:
    TFakeDriver(int32_t Count, MyAnsiString Type) : TPortDriver(Count) { SetPortType(std::move(Type)); }
    uint8_t Send(int32_t PortIndex, const MyAnsiString& Msg) override {
        Sends.emplace_back(PortIndex, Msg);
        return 0;
    }
    std::vector<std::pair<int32_t, MyAnsiString>> Sends;
};

struct Received {
    std::vector<std::pair<int32_t, MyAnsiString>> Frames;
    TInpEvent Event(const std::string& Tag) {
        return [this, Tag](int32_t Index, const MyAnsiString& Frame) { Frames.emplace_back(Index, Tag + ":" + Frame); };
    }
};

class PortDrvTest : public ::testing::Test {
protected:
    TMxScheduler Scheduler; // not threaded: nothing runs on it here
    TThreadManager Manager;
};

} // namespace

TEST_F(PortDrvTest, OutputChecksOpenStateAndIndexBeforeSending) {
    TFakeDriver rs(1, "RS");
    EXPECT_EQ(rs.PortType(), "RS");
    EXPECT_EQ(rs.Output(0, "\x10"), OvraResPortNotOpen);
    rs.Open(Scheduler, Manager);
    EXPECT_TRUE(rs.PortIsOpen());
    EXPECT_EQ(rs.Scheduler(), &Scheduler);
    EXPECT_EQ(rs.Output(1, "\x10"), OvraResIndexOutOfRange);
    EXPECT_EQ(rs.Output(-1, "\x10"), OvraResIndexOutOfRange);
    EXPECT_EQ(rs.Output(0, "\x10\x01"), 0);
    ASSERT_EQ(rs.Sends.size(), 1u);
    EXPECT_EQ(rs.Sends[0].second, "\x10\x01");

    // Ethernet indices are addresses: any 32-bit value goes to Send.
    TFakeDriver eth(65535, "ETH");
    eth.Open(Scheduler, Manager);
    EXPECT_EQ(eth.Output(static_cast<int32_t>(0xC0A80005u), "\x03"), 0);
    ASSERT_EQ(eth.Sends.size(), 1u);
    EXPECT_EQ(eth.Sends[0].first, static_cast<int32_t>(0xC0A80005u));

    rs.Close();
    EXPECT_FALSE(rs.PortIsOpen());
    EXPECT_EQ(rs.Scheduler(), nullptr);
    EXPECT_EQ(rs.Output(0, "\x10"), OvraResPortNotOpen);
}

TEST_F(PortDrvTest, BindingRulesPerPortType) {
    TFakeDriver can(256, "CAN");
    can.Open(Scheduler, Manager);
    Received r;
    EXPECT_EQ(can.Assign(256, r.Event("x"), nullptr), OvraResIndexOutOfRange);
    EXPECT_EQ(can.Assign(5, r.Event("first"), nullptr), 0);
    EXPECT_EQ(can.Assign(5, r.Event("second"), nullptr), OvraResIndexBound);
    can.Input(5, "a");
    // The CAN scan rebinds index 0: the new events replace the old ones.
    EXPECT_EQ(can.Assign(0, r.Event("scan1"), nullptr), 0);
    EXPECT_EQ(can.Assign(0, r.Event("scan2"), nullptr), OvraResReplaced);
    can.Input(0, "b");
    ASSERT_EQ(r.Frames.size(), 2u);
    EXPECT_EQ(r.Frames[0].second, "first:a");
    EXPECT_EQ(r.Frames[1].second, "scan2:b");
    EXPECT_TRUE(can.IsBound(5));

    // Unbinding clears the index; a second unbinding is harmless.
    EXPECT_EQ(can.Assign(5, nullptr, nullptr), 0);
    EXPECT_EQ(can.Assign(5, nullptr, nullptr), 0);
    EXPECT_FALSE(can.IsBound(5));
    can.Input(5, "c");
    EXPECT_EQ(r.Frames.size(), 2u);

    // RS232 has index 0 only, and a second device there is refused (no replacing).
    TFakeDriver rs(1, "RS");
    rs.Open(Scheduler, Manager);
    EXPECT_EQ(rs.Assign(0, r.Event("rs"), nullptr), 0);
    EXPECT_EQ(rs.Assign(0, r.Event("rs2"), nullptr), OvraResIndexBound);
    EXPECT_EQ(rs.Assign(1, r.Event("rs"), nullptr), OvraResIndexOutOfRange);
}

TEST_F(PortDrvTest, EthernetUnbindingMovesTheLaterPositionsDownAndFreesTheLast) {
    TFakeDriver eth(65535, "ETH");
    eth.Open(Scheduler, Manager);
    Received r;
    ASSERT_EQ(eth.Assign(0, r.Event("A"), nullptr), 0);
    ASSERT_EQ(eth.Assign(1, r.Event("B"), nullptr), 0);
    ASSERT_EQ(eth.Assign(2, r.Event("C"), nullptr), 0);

    EXPECT_EQ(eth.Assign(0, nullptr, nullptr), 0);
    eth.Input(0, "x");
    eth.Input(1, "y");
    eth.Input(2, "z"); // the last position is free now, not a copy of C
    ASSERT_EQ(r.Frames.size(), 2u);
    EXPECT_EQ(r.Frames[0].second, "B:x");
    EXPECT_EQ(r.Frames[1].second, "C:y");
    EXPECT_FALSE(eth.IsBound(2));

    // The next slave takes the position after the remaining ones.
    EXPECT_EQ(eth.Assign(2, r.Event("D"), nullptr), 0);
    eth.Input(2, "w");
    EXPECT_EQ(r.Frames.back().second, "D:w");
}

TEST_F(PortDrvTest, InputReachesPositionsBeyond255AndDropsWhatHasNoReceiver) {
    TFakeDriver eth(65535, "ETH");
    Received r;
    eth.Input(0, "closed"); // never opened: no table
    eth.Open(Scheduler, Manager);
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(eth.Assign(i, r.Event(std::to_string(i)), nullptr), 0);
    eth.Input(299, "far");
    eth.Input(300, "unbound");
    eth.Input(-1, "negative");
    eth.Input(65535, "beyond");
    ASSERT_EQ(r.Frames.size(), 1u);
    EXPECT_EQ(r.Frames[0].first, 299);
    EXPECT_EQ(r.Frames[0].second, "299:far");

    // Closing forgets every binding; reopening starts empty.
    eth.Close();
    eth.Open(Scheduler, Manager);
    EXPECT_FALSE(eth.IsBound(299));
    eth.Input(299, "again");
    EXPECT_EQ(r.Frames.size(), 1u);
}

TEST_F(PortDrvTest, UnbindingWaitsForADeliveryInProgressOnAnotherThread) {
    // The GUI thread binds and unbinds (CAN scan) while frames arrive on the
    // server thread: once Assign(nil) returns, no frame reaches the old receiver.
    TFakeDriver can(256, "CAN");
    can.Open(Scheduler, Manager);
    std::atomic<bool> inside{false}, release{false}, unbound{false}, lateDelivery{false};
    ASSERT_EQ(can.Assign(
                  7,
                  [&](int32_t, const MyAnsiString&) {
                      if (unbound.load())
                          lateDelivery = true;
                      inside = true;
                      while (!release.load())
                          std::this_thread::yield();
                  },
                  nullptr),
              0);
    std::thread rx([&] { can.Input(7, "frame"); });
    while (!inside.load())
        std::this_thread::yield();
    std::atomic<bool> unbinding{false};
    std::thread gui([&] {
        unbinding = true;
        can.Assign(7, nullptr, nullptr);
        unbound = true;
    });
    while (!unbinding.load())
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(unbound.load()); // still waiting for the delivery
    release = true;
    rx.join();
    gui.join();
    EXPECT_TRUE(unbound.load());
    can.Input(7, "after");
    EXPECT_FALSE(lateDelivery.load());
}
