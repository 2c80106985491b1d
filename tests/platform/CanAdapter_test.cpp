// The CAN adapter layer: the virtual bus (acceptance, the chip's start,
// injected return codes, bus states, the interrupt event), the choice of the
// backend by library name, and SocketCAN where the kernel has it (skipped
// otherwise). Also the UDP socket on loopback.
#include "platform/CanAdapter.h"

#include "platform/Exception.h"
#include "platform/FdEvent.h"
#include "platform/UdpSocket.h"

#include <gtest/gtest.h>

#include <cstring>

#include <unistd.h>

namespace vo {
namespace {

std::unique_ptr<TVirtualCanNode> StartedNode(TVirtualCanBus& Bus, uint32_t Code, uint32_t Mask) {
    auto n = Bus.NewNode("node");
    CANPC_RESSOURCES r;
    EXPECT_EQ(n->INIPC_initialize_board(&r), 0);
    EXPECT_EQ(n->CANPC_set_acceptance(0, 0x7FF, Code, Mask), 0);
    EXPECT_EQ(n->CANPC_start_chip(), 0);
    return n;
}

int32_t Send(TVirtualCanNode& N, uint32_t Ident, const char* Data) {
    return N.CANPC_send_data(Ident, 1, static_cast<int32_t>(std::strlen(Data)), reinterpret_cast<const uint8_t*>(Data));
}

TEST(VirtualCanBus, FramesReachTheStartedNodesWhoseAcceptanceTheyPass) {
    auto bus = TVirtualCanBus::Get("acceptance");
    auto sender = StartedNode(*bus, 0, 0);
    auto to3 = StartedNode(*bus, 0x10000060, 0x1E001FE0); // receiver MAC-ID 3
    auto all = StartedNode(*bus, 0, 0);
    auto stopped = bus->NewNode("stopped");
    TFdEvent event;
    ASSERT_EQ(to3->CANPC_set_interrupt_event(&event), 0);

    ASSERT_EQ(Send(*sender, 0x101FE061, "12345678"), 0);
    ASSERT_EQ(Send(*sender, 0x101FE080, "x"), 0); // to MAC-ID 4
    EXPECT_TRUE(event.WaitFor(0));
    PARAM_STRUCT p;
    ASSERT_EQ(to3->CANPC_read_ac(&p), CanItemXtdData);
    EXPECT_EQ(p.Ident, 0x101FE061);
    EXPECT_EQ(p.DataLength, 8);
    EXPECT_EQ(std::memcmp(p.RcvData, "12345678", 8), 0);
    EXPECT_EQ(to3->CANPC_read_ac(&p), 0);
    EXPECT_EQ(all->Pending(), 2u);
    EXPECT_EQ(sender->Pending(), 0u); // not its own frames
    EXPECT_EQ(stopped->Pending(), 0u);
    EXPECT_EQ(bus->FramesSent(), 2u);

    // Bad arguments and a node that has not started.
    EXPECT_EQ(sender->CANPC_send_data(1, 1, 9, reinterpret_cast<const uint8_t*>("123456789")), CanResParameter);
    EXPECT_EQ(Send(*stopped, 1, "x"), CanResNotInitialized);
    TVirtualCanBus::Remove("acceptance");
}

TEST(VirtualCanBus, InjectedResultsAndBusStates) {
    auto bus = TVirtualCanBus::Get("faults");
    CanMapLibrary("canusb.dll", "virtual:faults");
    auto program = CanLoadAdapter("canusb.dll");
    ASSERT_TRUE(program);
    auto drive = StartedNode(*bus, 0, 0);
    bus->SetResult("INIPC_initialize_board", CanResNoDevice);
    CANPC_RESSOURCES r;
    EXPECT_EQ(program->INIPC_initialize_board(&r), CanResNoDevice);
    EXPECT_EQ(program->CANPC_reset_board(), CanResNotInitialized);
    bus->ClearResults();
    ASSERT_EQ(program->INIPC_initialize_board(&r), 0);
    EXPECT_EQ(program->INIPC_initialize_board(&r), CanResDeviceOpen);
    EXPECT_EQ(program->CANPC_initialize_chip(0, 1, 8, 7, 0), CanResParameter);
    ASSERT_EQ(program->CANPC_start_chip(), 0);

    bus->SetBusState(2);
    EXPECT_EQ(Send(*drive, 1, "x"), CanResCommError);
    bus->SetBusState(0);
    EXPECT_EQ(Send(*drive, 1, "x"), 0);
    PARAM_STRUCT p;
    ASSERT_EQ(program->CANPC_read_ac(&p), CanItemBusState);
    EXPECT_EQ(p.BusState, 2);
    ASSERT_EQ(program->CANPC_read_ac(&p), CanItemBusState);
    EXPECT_EQ(p.BusState, 0);
    EXPECT_EQ(program->CANPC_read_ac(&p), CanItemXtdData);
    EXPECT_EQ(program->INIPC_close_board(), 0);
    CanMapLibrary("canusb.dll", "");
    TVirtualCanBus::Remove("faults");
}

TEST(CanAdapterLoading, UnknownBackendsAreRefusedWithAReason) {
    CanMapLibrary("other.dll", "parallel:lpt1");
    std::string reason;
    EXPECT_EQ(CanLoadAdapter("other.dll", &reason), nullptr);
    EXPECT_EQ(reason, "no CAN backend \"parallel:lpt1\"");
    CanMapLibrary("other.dll", "");
}

TEST(CanAdapterLoading, SocketCanWhereTheKernelHasIt) {
    CanMapLibrary("canusb.dll", "socketcan:vcan0");
    std::string reason;
    auto adapter = CanLoadAdapter("canusb.dll", &reason);
    CanMapLibrary("canusb.dll", "");
    if (!adapter)
        GTEST_SKIP() << reason;
    CANPC_RESSOURCES r;
    const int32_t rc = adapter->INIPC_initialize_board(&r);
    if (rc == CanResNoDevice)
        GTEST_SKIP() << "no interface vcan0";
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(adapter->CANPC_set_acceptance(0, 0x7FF, 0x10001FE0, 0x1E001FE0), 0);
    EXPECT_EQ(adapter->CANPC_start_chip(), 0);
    EXPECT_FALSE(adapter->FixedBitRateText().empty());
    EXPECT_EQ(adapter->INIPC_close_board(), 0);
}

TEST(UdpSocket, DatagramsOnLoopback) {
    TUdpSocket a, b;
    uint32_t la = 0, lb = 0;
    ASSERT_TRUE(UdpParseAddress("127.0.0.21", la));
    ASSERT_TRUE(UdpParseAddress("127.0.0.22", lb));
    EXPECT_FALSE(UdpParseAddress("127.0.0", la));
    a.Open(la, 0);
    b.Open(lb, 0);
    EXPECT_NE(a.LocalPort(), 0);
    EXPECT_THROW(a.Open(), Exception);
    a.SendTo(lb, b.LocalPort(), std::string("\x00\x01\x02", 3));
    MyAnsiString data;
    uint32_t from = 0;
    uint16_t port = 0;
    for (int i = 0; i < 1000 && !b.ReceiveFrom(data, from, port); ++i)
        ::usleep(1000);
    EXPECT_EQ(data, std::string("\x00\x01\x02", 3));
    EXPECT_EQ(UdpAddressText(from), "127.0.0.21");
    EXPECT_EQ(port, a.LocalPort());
    EXPECT_FALSE(b.ReceiveFrom(data, from, port));
    a.Close();
    EXPECT_THROW(a.SendTo(lb, b.LocalPort(), "x"), Exception);
}

} // namespace
} // namespace vo
