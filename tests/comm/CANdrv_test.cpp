// The CAN link: segmentation and reassembly of drive frames, the adapter's
// connection steps and their report lines, the settings, the raw CAN ports,
// and drive frames end to end over the virtual bus to the simulated drive
// (MAC-ID 3) through the communication server, with segment faults.
#include "comm/CANComDriver.h"
#include "comm/CANMan.h"
#include "comm/CANdrv.h"

#include "kernel/Debug.h"
#include "platform/CanAdapter.h"
#include "platform/FileNames.h"
#include "storagelib/PrgRegs.h"
#include "storagelib/RefObj.h"
#include "storagelib/SL20FileSto.h"
#include "storagelib/SL20Sto.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/OvraServerFixture.h"
#include "tools/drivesim/SimCan.h"
#include "tools/drivesim/SimDriveFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <condition_variable>

using namespace std::chrono_literals;
using namespace vo;
using namespace vo::test;

using namespace std::chrono_literals;

namespace {

MyAnsiString Bytes(std::string_view Hex) {
    return SimHex(Hex);
}

// ------------------------------------------------------------------ frames

TEST(CanFrames, SegmentsCarryTheSenderTheReceiverAndTheCountStillToFollow) {
    auto ten = CanSegments(255, 3, Bytes("01 02 03 04 05 06 07 08 09 0A"));
    ASSERT_EQ(ten.size(), 2u);
    EXPECT_EQ(ten[0].first, 0x101FE061u);
    EXPECT_EQ(ten[0].second, Bytes("01 02 03 04 05 06 07 08"));
    EXPECT_EQ(ten[1].first, 0x101FE060u);
    EXPECT_EQ(ten[1].second, Bytes("09 0A"));

    auto three = CanSegments(255, 3, Bytes("01 02 03"));
    ASSERT_EQ(three.size(), 1u);
    EXPECT_EQ(three[0].first, 0x101FE060u);

    auto full = CanSegments(255, 3, MyAnsiString(255, 'x'));
    ASSERT_EQ(full.size(), 32u);
    EXPECT_EQ(CanIdentFollow(full[0].first), 31);
    EXPECT_EQ(full[31].second.size(), 7u);
    EXPECT_TRUE(CanSegments(255, 3, {}).empty());
}

struct TReassemblyCase {
    const char* Name;
    std::vector<std::pair<uint8_t, std::string>> Segments; // count, data
    std::vector<std::string> Frames; // complete frames, in order
};

TEST(CanFrames, ReassemblyChecksTheSequenceOfCounts) {
    const std::string a8 = "AAAAAAAA", b8 = "BBBBBBBB", c8 = "CCCCCCCC";
    const TReassemblyCase cases[] = {
        {"in order", {{2, a8}, {1, b8}, {0, "cc"}}, {a8 + b8 + "cc"}},
        {"single frames", {{0, "x"}, {0, "yz"}}, {"x", "yz"}},
        {"segment lost", {{2, a8}, {0, "cc"}, {0, "ok"}}, {"ok"}},
        {"segment twice", {{2, a8}, {1, b8}, {1, b8}, {0, "cc"}, {0, "ok"}}, {"ok"}},
        {"segments swapped", {{3, a8}, {1, c8}, {2, b8}, {0, "dd"}, {0, "ok"}}, {"ok"}},
        {"wrong count", {{2, a8}, {4, b8}, {3, b8}, {0, "cc"}, {1, a8}, {0, "ok"}}, {a8 + "ok"}},
        {"short middle segment", {{1, "abc"}, {0, "de"}, {0, "ok"}}, {"ok"}},
        {"empty frame", {{0, ""}, {0, "ok"}}, {"ok"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TCanReassembly r;
        std::vector<std::string> frames;
        for (const auto& [count, data] : c.Segments)
            if (r.Feed(count, data) == TCanReassembly::crComplete)
                frames.push_back(r.TakeFrame());
        EXPECT_EQ(frames, c.Frames);
        EXPECT_EQ(r.Expected(), -1);
    }
}

TEST(CanFrames, ReassemblyNeverHoldsMoreThan255Bytes) {
    TCanReassembly r;
    // 31 frames to follow announce up to 256 bytes: the last 8 are too many.
    for (int k = 31; k > 0; --k)
        ASSERT_EQ(r.Feed(static_cast<uint8_t>(k), "12345678"), TCanReassembly::crPending);
    EXPECT_EQ(r.Collected(), 248u);
    EXPECT_EQ(r.Feed(0, "12345678"), TCanReassembly::crDropped);
    EXPECT_EQ(r.Collected(), 0u);
    EXPECT_EQ(r.Feed(0, "1234567"), TCanReassembly::crComplete); // a new frame
}

TEST(CanFrames, ReportTextsOfStepsItemsAndSends) {
    EXPECT_EQ(CanStepFailure(0, 0xFE00), "Board initialization failed: No CAN device or driver found");
    EXPECT_EQ(CanStepFailure(0, -1), "Board initialization failed: Error Code -1");
    EXPECT_EQ(CanStepFailure(1, -614), "Reset Board failed: Wrong version of boot firmware");
    EXPECT_EQ(CanStepFailure(2, -1), "Reset Chip failed");
    EXPECT_EQ(CanStepFailure(2, -605), "Reset Chip failed: Internal driver error");
    EXPECT_EQ(CanStepFailure(1, -605), "Reset Board failed: Error Code -605");
    EXPECT_EQ(CanStepFailure(7, -613), "Start chip failed: Failed to start communication between host and interface");
    EXPECT_EQ(CanStepFailure(5, -1), "Set acceptance failed: Parameter error");
    const uint8_t data[] = {0x01, 0xAB};
    EXPECT_EQ(CanItemText(9, 0, 0x10007FE0, data, 2), "Extended data frame received: Ident: 10007FE0h , Data: 01 AB ");
    EXPECT_EQ(CanItemText(5, 2, 0, nullptr, 0), "Change of bus status: bus off");
    EXPECT_EQ(CanItemText(6, 0, 0, nullptr, 0), "");
    EXPECT_EQ(CanSendText(0x101FE060, Bytes("09 0A"), true), "Send Ident 101FE060h , Data: 09 0A: ok");
    EXPECT_EQ(CanSendText(0x101FE060, Bytes("09"), false), "Send Ident 101FE060h , Data: 09: failed");
}

// ------------------------------------------------------------------ driver on the virtual bus

// A CAN driver on its own scheduler and thread manager, its adapter mapped
// to a virtual bus of the test's own, the CAN manager with debugging on and a
// report sink.
class CanDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        MxEnsureMessaging();
        BusName = std::string("bus-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        Bus = TVirtualCanBus::Get(BusName);
        CanMapLibrary("canusb.dll", "virtual:" + BusName);
        Manager = std::make_unique<TCANManager>();
        SetCANManager(Manager.get());
        Manager->SetDebugingEnabled(true);
        Driver = std::make_shared<TCANDriver>();
        Manager->AssignCANDriver(Driver);
        Driver->SetReportMemo(&Sink);
        Scheduler = TMxScheduler::CreateThreaded("CanTest");
        Threads = std::make_unique<TThreadManager>();
    }
    void TearDown() override {
        Manager->AssignCANDriver(nullptr);
        Driver.reset();
        Threads.reset();
        Scheduler.reset();
        SetCANManager(nullptr);
        Manager.reset();
        CanMapLibrary("canusb.dll", "");
        TVirtualCanBus::Remove(BusName);
    }

    // A node of the bus that plays a drive: accepts frames to MacId.
    std::unique_ptr<TVirtualCanNode> DriveNode(uint8_t MacId, TFdEvent* Event = nullptr) {
        auto n = Bus->NewNode("drive");
        CANPC_RESSOURCES r;
        EXPECT_EQ(n->INIPC_initialize_board(&r), 0);
        EXPECT_EQ(n->CANPC_set_acceptance(0, 0x7FF, CanIdent(0, MacId, 0), CanMaskXtd), 0);
        EXPECT_EQ(n->CANPC_start_chip(), 0);
        if (Event)
            n->CANPC_set_interrupt_event(Event);
        return n;
    }
    std::vector<std::pair<uint32_t, MyAnsiString>> Read(TVirtualCanNode& Node) {
        std::vector<std::pair<uint32_t, MyAnsiString>> out;
        PARAM_STRUCT p;
        while (Node.CANPC_read_ac(&p) == CanItemXtdData)
            out.emplace_back(static_cast<uint32_t>(p.Ident),
                             MyAnsiString(reinterpret_cast<const char*>(p.RcvData), static_cast<size_t>(p.DataLength)));
        return out;
    }
    std::vector<MyAnsiString> Lines() {
        std::vector<MyAnsiString> l = Sink.Drain();
        Kept.insert(Kept.end(), l.begin(), l.end());
        return Kept;
    }

    std::string BusName;
    std::shared_ptr<TVirtualCanBus> Bus;
    std::unique_ptr<TCANManager> Manager;
    std::shared_ptr<TCANDriver> Driver;
    TDebugLineSink Sink;
    std::vector<MyAnsiString> Kept;
    std::unique_ptr<TMxScheduler> Scheduler;
    std::unique_ptr<TThreadManager> Threads;
};

TEST_F(CanDriverTest, ConnectingReportsEveryStepAndGoesOnline) {
    Driver->Open(*Scheduler, *Threads);
    EXPECT_TRUE(Driver->GetIsConnected());
    EXPECT_EQ(Driver->GetStatusString(), "Online");
    EXPECT_EQ(Lines(), (std::vector<MyAnsiString>{"CAN: Board initialization ok", "CAN: Reset Board ok", "CAN: Reset Chip ok", "CAN: Chip initialization ok", "CAN: Set output control ok", "CAN: Set acceptance ok (CodeXtd: 10001FE0h, MaskXtd: 1E001FE0h)", "CAN: Enable fifo mode ok", "CAN: Start chip ok"}));
    auto nodes = Bus->Nodes();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_TRUE(nodes[0].Started);
    EXPECT_EQ(std::vector<int32_t>(nodes[0].Timing, nodes[0].Timing + 5), (std::vector<int32_t>{1, 1, 8, 7, 0}));
    Driver->Close();
    EXPECT_FALSE(Driver->PortIsOpen());
    EXPECT_EQ(Driver->GetStatusString(), "Offline");
}

TEST_F(CanDriverTest, AFailedBoardInitialisationLeavesTheDriverOpenButOffline) {
    Bus->SetResult("INIPC_initialize_board", 0xFE00);
    Driver->Open(*Scheduler, *Threads);
    EXPECT_TRUE(Driver->PortIsOpen());
    EXPECT_FALSE(Driver->GetIsConnected());
    const auto lines = Lines();
    ASSERT_GE(lines.size(), 1u);
    EXPECT_EQ(lines[0], "CAN: Board initialization failed: No CAN device or driver found");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "CAN: Start chip ok"), 0);
    EXPECT_EQ(Driver->Send(3, Bytes("01")), OvraResSendFailed);
    EXPECT_EQ(Driver->Send(4, Bytes("10 00 01 00 00")), OvraResSendFailed);
    EXPECT_EQ(Bus->FramesSent(), 0u);

    // A later step that fails: its line, then the board is closed again.
    Driver->Close();
    Bus->ClearResults();
    Bus->SetResult("CANPC_set_output_control", -1);
    Kept.clear();
    Sink.Drain();
    Driver->Open(*Scheduler, *Threads);
    EXPECT_FALSE(Driver->GetIsConnected());
    EXPECT_EQ(Lines(), (std::vector<MyAnsiString>{"CAN: Board initialization ok", "CAN: Reset Board ok", "CAN: Reset Chip ok", "CAN: Chip initialization ok", "CAN: Set output control failed: Parameter error", "CAN: Close board ok"}));
}

TEST_F(CanDriverTest, ReportLinesOnlyWhileDebuggingIsOn) {
    Manager->SetDebugingEnabled(false);
    Driver->Open(*Scheduler, *Threads);
    EXPECT_TRUE(Driver->GetIsConnected());
    EXPECT_TRUE(Lines().empty());
}

TEST_F(CanDriverTest, SettingsFromTheConfigurationKeepDefaultsForValuesOutOfRange) {
    {
        TRef<TSLDictionary> dict = MakeRef<TSLDictionary>();
        dict->AddObject("BaudRateSelection", NewRefObj<TSLLongint>(true, 7));
        dict->AddObject("OvraMasterMACID", NewRefObj<TSLLongint>(true, 300));
        dict->AddObject("InterfaceSelection", NewRefObj<TSLLongint>(true, 1));
        Driver->Init(dict.Get());
        EXPECT_EQ(Driver->BaudRateSel(), 2);
        EXPECT_EQ(TCANManager::GetBaudRateString(Driver->BaudRateSel()), "500 kbaud");
        EXPECT_EQ(Driver->OvraMasterMACID(), 255);
        EXPECT_EQ(Driver->InterfaceSel(), 0);

        TRef<TSLDictionary> good = MakeRef<TSLDictionary>();
        good->AddObject("BaudRateSelection", NewRefObj<TSLLongint>(true, 4));
        good->AddObject("OvraMasterMACID", NewRefObj<TSLLongint>(true, 0));
        Driver->Init(good.Get());
        Driver->Init(nullptr);
    }
    PurgeAutoReleasePool();
    EXPECT_EQ(Driver->BaudRateSel(), 4);
    EXPECT_EQ(Driver->OvraMasterMACID(), 0);
    Driver->Open(*Scheduler, *Threads);
    auto nodes = Bus->Nodes();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0].Timing[0], 4); // "125 kbaud"
    EXPECT_EQ(nodes[0].CodeXtd, 0x10000000u);
}

TEST_F(CanDriverTest, TheUsersViewConfigSectionSetsTheDriver) {
    {
        TStorageManager storage;
        storage.AnnounceStoragePlugin(std::make_unique<TFileStoragePlugin>(), true);
        TProgramRegistry registry;
        registry.ReadFromFile("file://" + RealPathToStored(SimDataDir() + "/../test-config/ViewConfig.ini"));
        Driver->Init(registry.GetDictKey("CANDriverConfig"));
    }
    PurgeAutoReleasePool();
    EXPECT_EQ(Driver->BaudRateSel(), 2); // 7 is out of range
    EXPECT_EQ(Driver->OvraMasterMACID(), 254);
    EXPECT_EQ(Driver->InterfaceSel(), 0);
}

TEST_F(CanDriverTest, DriveFramesGoOutInSegmentsAndComeBackWhole) {
    auto drive = DriveNode(3);
    auto other = DriveNode(4);
    Driver->Open(*Scheduler, *Threads);
    std::mutex m;
    std::condition_variable cv;
    std::vector<MyAnsiString> received;
    ASSERT_EQ(Driver->Assign(
                  3,
                  [&](int32_t, const MyAnsiString& F) {
                      std::lock_guard lock(m);
                      received.push_back(F);
                      cv.notify_all();
                  },
                  nullptr),
              0);
    EXPECT_EQ(Driver->NoOfSlaves(), 1);

    EXPECT_EQ(Driver->Send(3, Bytes("01 02 03 04 05 06 07 08 09 0A")), 0);
    EXPECT_EQ(Read(*drive), (std::vector<std::pair<uint32_t, MyAnsiString>>{{0x101FE061, Bytes("01 02 03 04 05 06 07 08")}, {0x101FE060, Bytes("09 0A")}}));
    EXPECT_TRUE(Read(*other).empty()); // not addressed to MAC-ID 4
    EXPECT_EQ(Driver->Send(3, Bytes("01 02 03")), 0);
    EXPECT_EQ(Read(*drive), (std::vector<std::pair<uint32_t, MyAnsiString>>{{0x101FE060, Bytes("01 02 03")}}));

    // From MAC-ID 4 (no device) and to another master: dropped.
    other->CANPC_send_data(CanIdent(4, 255, 0), 1, 2, reinterpret_cast<const uint8_t*>("\x10\x00"));
    drive->CANPC_send_data(CanIdent(3, 254, 0), 1, 2, reinterpret_cast<const uint8_t*>("\x10\x00"));
    const MyAnsiString frame = Bytes("01 02 03 04 05 06 07 08 09 0A");
    ASSERT_EQ(drive->CANPC_send_data(0x10007FE1, 1, 8, reinterpret_cast<const uint8_t*>(frame.data())), 0);
    ASSERT_EQ(drive->CANPC_send_data(0x10007FE0, 1, 2, reinterpret_cast<const uint8_t*>(frame.data() + 8)), 0);
    {
        std::unique_lock lock(m);
        ASSERT_TRUE(cv.wait_for(lock, 5s, [&] { return !received.empty(); }));
        EXPECT_EQ(received, std::vector<MyAnsiString>{frame});
    }
    const auto lines = Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "CAN: Send Ident 101FE061h , Data: 01 02 03 04 05 06 07 08: ok"),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "CAN: Complete Ovra Frame received: Length: 10"), lines.end());

    // Unbinding the last device lets Close disconnect.
    Driver->Close();
    EXPECT_TRUE(Driver->PortIsOpen());
    EXPECT_EQ(Driver->Assign(3, nullptr, nullptr), 0);
    EXPECT_EQ(Driver->NoOfSlaves(), 0);
    Driver->Close();
    EXPECT_FALSE(Driver->PortIsOpen());
    EXPECT_FALSE(Driver->GetIsConnected());
}

TEST_F(CanDriverTest, AFrameTheAdapterRefusesStopsTheRest) {
    auto drive = DriveNode(3);
    Driver->Open(*Scheduler, *Threads);
    Bus->SetBusState(2);
    EXPECT_EQ(Driver->Send(3, Bytes("01 02 03 04 05 06 07 08 09 0A")), OvraResSendFailed);
    Bus->SetBusState(0);
    const auto lines = Lines();
    // Bus status changes are reported by the receive thread whenever it sees them, so only the
    // send lines have an order to check.
    std::vector<MyAnsiString> sends;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(sends), [](const MyAnsiString& l) { return l.find("Send Ident") != l.npos; });
    EXPECT_EQ(sends, std::vector<MyAnsiString>{"CAN: Send Ident 101FE061h , Data: 01 02 03 04 05 06 07 08: failed"});
    EXPECT_EQ(Driver->Send(3, Bytes("01")), 0);
}

// ------------------------------------------------------------------ raw ports

TEST_F(CanDriverTest, RawPortsNeedAThreadManager) {
    ExpectError([] { TCANComDrv port(nullptr); }, "Internal Error: ThreadManager not assigned");
}

TEST_F(CanDriverTest, ARawPortKeepsEveryFrameOfAReceptionAndTriggersOnce) {
    TThreadManager manager;
    TCANComDrv port(&manager);
    std::atomic<int> triggers{0};
    port.SetOnTrigger([&](TCANComDrv&) { ++triggers; });
    ASSERT_TRUE(port.Open());
    auto nodes = Bus->Nodes();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0].MaskXtd, 0u); // accepts everything

    // Hold the manager's thread in another client so that both frames
    // arrive before the port reads.
    std::mutex gate;
    std::unique_lock hold(gate, std::defer_lock);
    std::atomic<bool> blocked{false};
    TThreadClient* blocker = manager.NewThreadClient();
    blocker->SetOnEvent([&](TThreadClient&) {
        blocked = true;
        std::lock_guard wait(gate);
    });
    hold.lock(); // the handler is set: the lock order is gate, then nothing
    blocker->SetEvent();
    while (!blocked)
        std::this_thread::sleep_for(1ms);
    auto sender = Bus->NewNode("sender");
    CANPC_RESSOURCES r;
    sender->INIPC_initialize_board(&r);
    sender->CANPC_start_chip();
    ASSERT_EQ(sender->CANPC_send_data(0x123, 1, 2, reinterpret_cast<const uint8_t*>("\x01\x02")), 0);
    ASSERT_EQ(sender->CANPC_send_data(0x456, 1, 3, reinterpret_cast<const uint8_t*>("\x03\x04\x05")), 0);
    hold.unlock();
    for (int i = 0; i < 5000 && triggers.load() == 0; ++i)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms); // a second trigger would come now
    EXPECT_EQ(triggers.load(), 1);
    EXPECT_EQ(port.FIdentValue(), 0x456);
    EXPECT_EQ(port.FDataStrValue(), Bytes("03 04 05"));
    auto frames = port.TakeFrames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].Ident, 0x123);
    EXPECT_EQ(frames[0].Data, Bytes("01 02"));
    EXPECT_TRUE(port.TakeFrames().empty());

    // Sending goes on the bus with an extended identifier.
    auto listener = DriveNode(1);
    EXPECT_TRUE(port.SendData(CanIdent(255, 1, 0), 1, reinterpret_cast<const uint8_t*>("\x7F")));
    EXPECT_EQ(Read(*listener), (std::vector<std::pair<uint32_t, MyAnsiString>>{{CanIdent(255, 1, 0), Bytes("7F")}}));
    blocker->Release();
    port.Close();
}

// ------------------------------------------------------------------ end to end

// The server with the CAN driver; the VX-41 drive at MAC-ID 3 on the bus.
class CanLinkTest : public CanDriverTest {
protected:
    void SetUp() override {
        CanDriverTest::SetUp();
        Runner = std::make_unique<SimRunner>(SimLoadDrive(SimDataDir() + "/vx41.drive"));
        Node = std::make_unique<SimCanTransport>(*Runner, BusName);
        Runner->Start();
        Server = std::make_unique<TOvraServer>();
        Gui = std::make_unique<TGuiSide>();
        ASSERT_TRUE(Server->AddPortDriver("CAN", Driver));
    }
    void TearDown() override {
        Server.reset();
        Gui.reset();
        Node.reset();
        Runner.reset();
        CanDriverTest::TearDown();
    }
    size_t RequestsOf(uint8_t Command) {
        size_t n = 0;
        for (const auto& f : Runner->Transcript().Frames(SimDirection::In))
            n += !f.empty() && static_cast<uint8_t>(f[0]) == Command;
        return n;
    }

    // A segmented answer crosses the bus and the driver's thread: on a loaded
    // machine it needs well over 250 ms to be in time, and the test counts
    // the tries each fault costs.
    TScopedTimeOverride AnswerTimeout{ServerActorAnswerTimeout, 1000};
    std::unique_ptr<SimRunner> Runner;
    std::unique_ptr<SimCanTransport> Node;
    std::unique_ptr<TOvraServer> Server;
    std::unique_ptr<TGuiSide> Gui;
};

TEST_F(CanLinkTest, ADeviceLogsInAtMacId3AndSegmentFaultsCostOneTry) {
    EXPECT_EQ(Node->MacId(), 3);
    const int32_t h = Gui->Open("CAN", 3);
    ASSERT_EQ(h, 0) << (Gui->LastReply.size() > 2 ? Gui->LastReply[2] : "");
    TReply login = Gui->Request({{1, h, Bytes("01")}}, 0x30);
    ASSERT_EQ(login.Records.size(), 1u);
    EXPECT_EQ(login.Records[0].Result, 0);
    EXPECT_EQ(login.Records[0].Frame.size(), 35u);
    EXPECT_EQ(static_cast<uint8_t>(login.Records[0].Frame[0]), 0x01);
    EXPECT_EQ(Node->SegmentsSent(), 5u);

    const struct {
        SimCanFault Fault;
        int Segment;
        const char* Name;
    } faults[] = {{SimCanFault::DropSegment, 0, "drop"},
                  {SimCanFault::DuplicateSegment, 1, "duplicate"},
                  {SimCanFault::SwapSegments, 0, "swap"},
                  {SimCanFault::WrongCount, 1, "count"},
                  {SimCanFault::BusOff, 0, "bus off"}};
    uint8_t info = 0x31;
    for (const auto& f : faults) {
        SCOPED_TRACE(f.Name);
        const size_t before = RequestsOf(0x01);
        Node->AddFault(f.Fault, f.Segment);
        TReply r = Gui->Request({{1, h, Bytes("01")}}, info++);
        ASSERT_EQ(r.Records.size(), 1u);
        EXPECT_EQ(r.Records[0].Result, 0);
        EXPECT_EQ(r.Records[0].Frame, login.Records[0].Frame);
        EXPECT_EQ(RequestsOf(0x01), before + 2); // the first answer was lost, the resend answered
        EXPECT_EQ(Node->PendingFaults(), 0u);
    }
    EXPECT_GE(Driver->FramesDropped(), 3u);
    const auto lines = Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "CAN: Change of bus status: bus off"), lines.end());

    EXPECT_EQ(Gui->Command({"CloseDevice", MsgIntToText(h)}), (std::vector<MyAnsiString>{"CloseDevice", "OK"}));
    EXPECT_FALSE(Driver->PortIsOpen());
    EXPECT_FALSE(Driver->GetIsConnected());
}

} // namespace
