// Info nodes: decoding a node's bytes by both layouts, and walking the node
// directory of a simulated drive (RS232 over a pseudo-terminal): chunked
// reads in one execution, the order by file sub type, damaged directory
// entries skipped, the end of the walk.
#include "devices/ExeInfNd.h"

#include "tests/support/DeviceFixture.h"

#include <gtest/gtest.h>

namespace vo {
namespace {

using namespace std::chrono_literals;
using test::ExpectError;

// ------------------------------------------------------------------ items

MyAnsiString Node(uint8_t Protocol, const SimNodeFields& F) {
    return SimBuildInfoNode(F, Protocol, 2);
}

TEST(InfoNodeItemTest, DecodesBothLayouts) {
    SimNodeFields f;
    f.fileType = 5;
    f.fileVersion = 0x0102;
    f.fileSubType = 3;
    f.name = "VxMotion";
    f.treeSubName = "Std";
    f.treeVersion = 1;
    f.treeSubVersion = 2;
    f.betaInfo = "B7";
    f.completeName = "VxMotion_Std_V1S2_B7";
    for (uint8_t protocol : {0x20, 0x31, 0x41}) {
        SCOPED_TRACE(protocol);
        const uint8_t proSel = (protocol >> 4) >= 3 ? 1 : 0;
        TInfoNodeItem item(Node(protocol, f), proSel);
        EXPECT_EQ(item.GetFileType(), 5);
        EXPECT_EQ(item.GetFileVersion(), 0x0102);
        EXPECT_EQ(item.GetFileSubType(), 3);
        EXPECT_EQ(item.GetFileName(), "VxMotion");
        EXPECT_EQ(item.GetTreeBaseName(), "VxMotion");
        EXPECT_EQ(item.GetTreeSubName(), "Std");
        EXPECT_EQ(item.GetTreeVersion(), 1);
        EXPECT_EQ(item.GetTreeSubVersion(), 2);
        EXPECT_EQ(item.GetTreeBetaInfo(), "B7");
        EXPECT_EQ(item.GetCompleteName(), "VxMotion_Std_V1S2_B7");
        // The other layout reads the name two bytes off.
        TInfoNodeItem other(item.NodeData(), proSel ? 0 : 1);
        EXPECT_NE(other.GetCompleteName(), "VxMotion_Std_V1S2_B7");
    }
}

TEST(InfoNodeItemTest, StartAddressCustomFieldsAndFullWidthTexts) {
    SimNodeFields f;
    f.fileType = 2;
    f.startAddress = 0x01000100;
    f.name = "ABCDEFGHIJKLMNOPQRST"; // longer than its 16 bytes
    f.fileInfo = MyAnsiString("\x34\x12xyz\0tail", 10);
    TInfoNodeItem item(Node(0x41, f), 1);
    EXPECT_EQ(item.GetStartAddress(), 16777472);
    EXPECT_EQ(item.GetFileName(), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(item.GetCustomInt(0, 2), 0x1234);
    EXPECT_EQ(item.GetCustomStr(2, 8), "xyz");
    EXPECT_EQ(item.GetFileInfo(), "\x34\x12xyz");
    EXPECT_EQ(item.GetCustomStr(100, 4), ""); // past the node
    EXPECT_EQ(TInfoNodeItem::BinToInt(MyAnsiString("\x01\x02\x03", 3)), 0x030201);
    ExpectError([] { TInfoNodeItem(MyAnsiString(33, 'x'), 0); }, "TInfoNodeItem.Create: node data error");
    EXPECT_NO_THROW(TInfoNodeItem(MyAnsiString(34, 'x'), 0));
}

// ------------------------------------------------------------------ walks

class InfoNodeWalkTest : public test::DeviceTestBase {
protected:
    void RegisterServices() override {
        Manager->RegisterServiceClass("OvraService", DeviceServiceClass<TBasicOvraService>());
    }
    // Logs in to the drive and returns its connection service.
    TBasicOvraService& LogIn(SimDriveDescription Drive) {
        Attach(std::move(Drive));
        TDevice& d = NewDevice();
        EXPECT_TRUE(Start(d));
        EXPECT_EQ(d.State(), dstStarted);
        Runner->Transcript().Clear();
        return Ovra(d);
    }
    // Walks and waits for the response; the number of responses.
    int Walk(TInfoNodeList& List, TBasicOvraService& S) {
        int responses = 0;
        List.ReadInfoNodes(S, 0, [&](TInfoNodeList&) { ++responses; });
        EXPECT_TRUE(RunUntil([&] { return responses > 0; }, 10s));
        Settle(50ms);
        return responses;
    }
    static SimNodeFields Tree(uint16_t Sub, const char* Name) {
        SimNodeFields f;
        f.fileType = 5;
        f.fileSubType = Sub;
        f.completeName = Name;
        return f;
    }
};

TEST_F(InfoNodeWalkTest, ReadsLongNodesInChunksAndSortsBySubType) {
    SimDriveDescription drive = SimLoadDrive(SimDataDir() + "/vx20.drive");
    // A 100-byte node: the fixed part and 20 bytes of file information.
    SimNodeFields longNode;
    longNode.fileType = 7;
    longNode.fileSubType = 3;
    longNode.fileInfo = "first of sub type 3.";
    ASSERT_EQ(Node(0x20, longNode).size(), 100u);
    drive.drive.AddInfoNode(0x1000, 0, Node(0x20, longNode));
    drive.drive.AddInfoNode(0x1100, 0, Node(0x20, Tree(1, "One_A_V1S1")));
    drive.drive.AddInfoNode(0x1200, 0, Node(0x20, Tree(3, "Three_B_V1S1")));
    TBasicOvraService& ovra = LogIn(std::move(drive));
    TInfoNodeList list;
    EXPECT_EQ(Walk(list, ovra), 1);
    EXPECT_EQ(list.ProSel(), 0);

    const std::vector<std::string> expected = {
        "25 00 00 00 00", "30 00 10 00 3E", "30 1F 10 00 26", // 62 + 38 bytes, one execution
        "25 01 10 00 00", "30 00 11 00 3E", "30 1F 11 00 3E", "30 3E 11 00 0C",
        "25 01 11 00 00", "30 00 12 00 3E", "30 1F 12 00 3E", "30 3E 12 00 0C",
        "25 01 12 00 00", "30 00 20 00 3E", "30 1F 20 00 3E", "30 3E 20 00 0C",
        "25 01 20 00 00"};
    EXPECT_EQ(FramesIn(), expected);

    ASSERT_EQ(list.GetCount(), 4);
    std::vector<int> subs;
    for (int i = 0; i < list.GetCount(); ++i)
        subs.push_back(list.GetItem(i).GetFileSubType());
    EXPECT_EQ(subs, (std::vector<int>{1, 2, 3, 3}));
    EXPECT_EQ(list.GetItem(0).GetCompleteName(), "One_A_V1S1");
    EXPECT_EQ(list.GetItem(1).GetCompleteName(), "VxMotion_Old_V1S7"); // at 74 on this drive
    EXPECT_EQ(list.GetItem(2).GetFileInfo(), "first of sub type 3.");
    EXPECT_EQ(list.GetItem(2).NodeData().size(), 100u);
    EXPECT_EQ(list.GetItem(3).GetCompleteName(), "Three_B_V1S1");
}

TEST_F(InfoNodeWalkTest, DamagedDirectoryEntriesAreSkippedOnce) {
    SimDriveDescription drive = SimLoadDrive(SimDataDir() + "/vx41.drive");
    const MyAnsiString good = Node(0x41, Tree(4, "Good_A_V1S1"));
    drive.drive.AddInfoNode(0x9000, 0, good, uint16_t(good.size() + 1)); // odd size
    drive.drive.AddInfoNode(0x9100, 0, MyAnsiString(20, '\x05')); // under 34 bytes
    drive.drive.AddInfoNode(0x9200, 0, good);
    TBasicOvraService& ovra = LogIn(std::move(drive));
    TInfoNodeList list;
    EXPECT_EQ(Walk(list, ovra), 1);
    ASSERT_EQ(list.GetCount(), 4);
    EXPECT_EQ(list.GetItem(3).GetCompleteName(), "Good_A_V1S1");
    // Each damaged node is found once and never read.
    EXPECT_EQ(CountFrames("25 00 90 00 00 00"), 0u);
    EXPECT_EQ(CountFrames("25 01 81 00 00 00"), 1u);
    EXPECT_EQ(CountFrames("25 01 90 00 00 00"), 1u);
    EXPECT_EQ(CountFrames("25 01 91 00 00 00"), 1u);
    for (const auto& f : FramesIn()) {
        EXPECT_NE(f.substr(0, 14), "30 00 90 00 00");
        EXPECT_NE(f.substr(0, 14), "30 00 91 00 00");
    }
    EXPECT_TRUE(Trace.Contains("TInfoNodeList.ReadCurrentNode: node size error (Size = 139)"));
    EXPECT_TRUE(Trace.Contains("TInfoNodeList.ReadCurrentNode: node size error (Size = 20)"));
}

TEST_F(InfoNodeWalkTest, AFailedFindEndsAndAFailedReadSkips) {
    TBasicOvraService& ovra = LogIn(SimLoadDrive(SimDataDir() + "/vx41.drive"));
    // The second block read fails: that node is dropped, the walk goes on.
    Runner->Faults().Add("cmd=30 from=2 times=1 status=C3");
    TInfoNodeList list;
    EXPECT_EQ(Walk(list, ovra), 1);
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.GetItem(0).GetFileType(), 2);
    EXPECT_EQ(list.GetItem(1).GetCompleteName(), "VxIntf_Std_V1S1");
    EXPECT_TRUE(Trace.Contains("Error reading file info block"));

    // A drive whose first find fails: an empty list, one response.
    Runner->Faults().Add("cmd=25 times=1 status=C7");
    EXPECT_EQ(Walk(list, ovra), 1);
    EXPECT_EQ(list.GetCount(), 0);
}

TEST_F(InfoNodeWalkTest, OneWalkAtATimeAndOnlyOnline) {
    TBasicOvraService& ovra = LogIn(SimLoadDrive(SimDataDir() + "/vx41.drive"));
    TInfoNodeList list;
    int responses = 0;
    list.ReadInfoNodes(ovra, 0, [&](TInfoNodeList&) { ++responses; });
    ExpectError([&] { list.ReadInfoNodes(ovra, 0, nullptr); }, "TInfoNodeList.ReadInfoNodes: not ready");
    ASSERT_TRUE(RunUntil([&] { return responses > 0; }, 10s));
    EXPECT_EQ(list.GetCount(), 3);
    ovra.SetDeviceOnline(false);
    ExpectError([&] { list.ReadInfoNodes(ovra, 0, nullptr); }, "TInfoNodeList.ReadInfoNodes: not on-line");
    EXPECT_EQ(list.GetCount(), 3);
    ovra.SetDeviceOnline(true);
}

} // namespace
} // namespace vo
