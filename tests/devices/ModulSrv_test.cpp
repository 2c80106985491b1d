// The module service: the description search over folders, and a device that
// logs in to a simulated drive (RS232 over a pseudo-terminal), walks its info
// nodes, finds its module descriptions in data/Firmware and starts; fallback
// matches and missing descriptions ask the user; offline configurations from
// a file and from the offline wizard.
#include "devices/ModulSrv.h"

#include "devices/ConfWiz.h"
#include "devices/ExeInfNd.h"
#include "kernel/ModTree.h"
#include "storagelib/SL20Arr.h"
#include "tests/support/DeviceFixture.h"

#include <gtest/gtest.h>

namespace vo {
namespace {

using namespace std::chrono_literals;
using test::TTempFolder;

// ------------------------------------------------------------------ search

struct TSearchCase {
    const char* Name;
    std::vector<std::string> Files; // below the folder
    const char* Tree;
    TMatchKind Kind;
    const char* Found; // relative to the folder, "" for none
};

class SearchTest : public ::testing::TestWithParam<TSearchCase> {};

TEST_P(SearchTest, FindsTheDescriptionOfATree) {
    const TSearchCase& c = GetParam();
    TTempFolder dir;
    for (const auto& f : c.Files)
        dir.Write(f, "[D ]");
    const TDescriptionFolder folder(dir.Path());
    const TDescriptionMatch m = SearchModuleDescription(folder, c.Tree);
    EXPECT_EQ(m.Kind, c.Kind);
    if (*c.Found) {
        MyAnsiString want = RealPathToStored(dir.Path()) + "\\" + c.Found;
        for (auto& ch : want)
            if (ch == '/')
                ch = '\\';
        EXPECT_EQ(m.FileName, want);
    } else {
        EXPECT_EQ(m.FileName, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Trees, SearchTest,
    ::testing::Values(
        TSearchCase{"Exact", {"VxMotion_Std_V1S1.IN2", "VxMotion_Std_V1S2.IN2", "VxMotion_Std_V1S2_B1.IN2"}, "VxMotion_Std_V1S2", TMatchKind::mkExact, "VxMotion_Std_V1S2.IN2"},
        TSearchCase{"ExactWithoutRegardToCase", {"vxmotion_std_v1s2.in2"}, "VxMotion_Std_V1S2", TMatchKind::mkExact, "vxmotion_std_v1s2.in2"},
        TSearchCase{"SecondName", {"ApplTrDorvan_Std_V1S2.IN2"}, "ApplTr7300Dorvan_Std_V1S2", TMatchKind::mkExact, "ApplTrDorvan_Std_V1S2.IN2"},
        TSearchCase{"SecondNameMasterSlave", {"ApTrMasterSlave_Std_V2S0.IN2"}, "ApplTr7300MasterSlave_Std_V2S0", TMatchKind::mkExact, "ApTrMasterSlave_Std_V2S0.IN2"},
        TSearchCase{"SecondNameCmdTabIO", {"IntfTrCmdTabIO_Std_V1S0_B2.IN2"}, "IntfTr7300CmdTabIO_Std_V1S0_B1", TMatchKind::mkFallback, "IntfTrCmdTabIO_Std_V1S0_B2.IN2"},
        TSearchCase{"Fallback1OtherBeta", {"VxMotion_Std_V1S2_B3.IN2"}, "VxMotion_Std_V1S2_B7", TMatchKind::mkFallback, "VxMotion_Std_V1S2_B3.IN2"},
        TSearchCase{"Fallback1EmptyBeta", {"VxOS_Std_V1S0_R1.IN2"}, "VxOS_Std_V1S0_", TMatchKind::mkFallback, "VxOS_Std_V1S0_R1.IN2"},
        TSearchCase{"Fallback2Qtr", {"VxMotion_S2_V1S2_B1.IN2"}, "VxMotion_QTR2_V1S2_B9", TMatchKind::mkFallback, "VxMotion_S2_V1S2_B1.IN2"},
        TSearchCase{"Fallback2M7300x", {"VxMotion_K40x_V1S2_B1.IN2"}, "VxMotion_M7300x_V1S2_B9", TMatchKind::mkFallback, "VxMotion_K40x_V1S2_B1.IN2"},
        TSearchCase{"Fallback2M7300Kept", {"VxMotion_K40_V1S2_B1.IN2", "VxMotion_M7300_V1S2_B1.IN2"}, "VxMotion_M7300_V1S2_B9", TMatchKind::mkFallback, "VxMotion_M7300_V1S2_B1.IN2"},
        TSearchCase{"Fallback2Empty", {"VxMotion_R7300_V1S2_B1.IN2"}, "VxMotion__V1S2_B9", TMatchKind::mkFallback, "VxMotion_R7300_V1S2_B1.IN2"},
        TSearchCase{"Subfolder", {"Other/Deeper/VxIntf_Std_V1S1.IN2", "Other/readme.txt"}, "VxIntf_Std_V1S1", TMatchKind::mkExact, "Other/Deeper/VxIntf_Std_V1S1.IN2"},
        TSearchCase{"FolderBeforeSubfolders", {"A/VxIntf_Std_V1S1.IN2", "VxIntf_Std_V1S1.IN2"}, "VxIntf_Std_V1S1", TMatchKind::mkExact, "VxIntf_Std_V1S1.IN2"},
        TSearchCase{"FirstBySortedName", {"VxMotion_Std_V1S2_C1.IN2", "VxMotion_Std_V1S2_A1.IN2", "VxMotion_Std_V1S2_b1.IN2"}, "VxMotion_Std_V1S2_Z", TMatchKind::mkFallback, "VxMotion_Std_V1S2_A1.IN2"},
        TSearchCase{"HiddenFolderSkipped", {".svn/VxIntf_Std_V1S1.IN2"}, "VxIntf_Std_V1S1", TMatchKind::mkNone, ""},
        // Without beta information the first fallback drops the version.
        TSearchCase{"OtherVersionWithoutBeta", {"VxMotion_Std_V1S2.IN2"}, "VxMotion_Std_V1S3", TMatchKind::mkFallback, "VxMotion_Std_V1S2.IN2"},
        TSearchCase{"Missing", {"VxMotion_Std_V1S2.IN2", "VxMotion_Other.IN2"}, "VxMotion_Other_V1S3", TMatchKind::mkNone, ""},
        TSearchCase{"NoUnderscore", {"Plain_X.IN2"}, "Plain", TMatchKind::mkNone, ""}),
    [](const ::testing::TestParamInfo<TSearchCase>& i) { return std::string(i.param.Name); });

TEST(TreeNameTest, Rewrites) {
    EXPECT_EQ(SecondTreeName("ApplTr7300Dorvan_X_V1S2"), "ApplTrDorvan_X_V1S2");
    EXPECT_EQ(SecondTreeName("ApplTr7300DorvanPlus_X_V1S2"), "ApplTr7300DorvanPlus_X_V1S2");
    EXPECT_EQ(ClearBetaInfo("A_B_V1S2_B1"), "A_B_V1S2");
    EXPECT_EQ(ClearBetaInfo("NoPart"), "");
    EXPECT_EQ(ClearBetaAndSubInfo("A_QTR10_V1S2_B1"), "A_S10_V1S2");
    EXPECT_EQ(ClearBetaAndSubInfo("A_xM7300y_V1S2"), "A_K40y_V1S2");
    EXPECT_EQ(ClearBetaAndSubInfo("A_M7300_V1S2"), "A_M7300_V1S2");
    EXPECT_EQ(ClearBetaAndSubInfo("A__V1S2"), "A_R7300_V1S2");
    EXPECT_EQ(ClearBetaAndSubInfo("A_B"), "A_B_");
}

// ------------------------------------------------------------------ online

class ModuleServiceTest : public test::DeviceTestBase {};

TEST_F(ModuleServiceTest, AnOnlineDriveKnowsItsFirmware) {
    Attach("vx41.drive");
    TDevice& d = NewDevice();
    ASSERT_TRUE(Start(d));
    ASSERT_EQ(d.State(), dstStarted) << (Prompt.Texts().empty() ? "" : Prompt.Texts()[0]);
    EXPECT_TRUE(Question.Asked.empty());
    EXPECT_TRUE(Prompt.Texts().empty());
    TModuleService& m = Modules(d);
    EXPECT_EQ(m.ServiceStatus(), dsStarted);

    // The walk: find from 0, read the node in one block, find on from the
    // node's address + 1.
    const std::vector<std::string> expected = {
        "01", "30 30 08 30 00 20", "15 00 44 70 10",
        "25 00 00 00 00 00", "30 00 80 00 00 8A", // the program node (138 bytes)
        "25 01 80 00 00 00", "30 80 80 00 00 8A", // VxMotion
        "25 81 80 00 00 00", "30 00 81 00 00 8A", // VxIntf
        "25 01 81 00 00 00", // none further
        "03 00"};
    std::vector<std::string> frames = FramesIn();
    ASSERT_GE(frames.size(), expected.size());
    frames.resize(expected.size());
    EXPECT_EQ(frames, expected);

    EXPECT_EQ(LoginInfo.Lines,
              (std::vector<MyAnsiString>{"Search for parameter trees in the drive.", "Parameter tree found: VxMotion_Std_V1S2.IN2",
                                         "Parameter tree found: VxIntf_Std_V1S1.IN2", "",
                                         "Search disk for the requested in2 files: ", "in2 file found: VxMotion_Std_V1S2.IN2",
                                         "in2 file found: VxIntf_Std_V1S1.IN2"}));

    ASSERT_EQ(m.GetModuleCount(), 2);
    EXPECT_EQ(m.GetModule(0).FName, "VxMotion_Std_V1S2");
    EXPECT_EQ(m.GetModule(0).FTreeLevel, 2);
    EXPECT_EQ(m.GetModule(0).FTreeID, 4097);
    EXPECT_EQ(m.GetModule(1).FBaseName, "VxIntf");
    EXPECT_NE(m.GetModuleFileName(1).find("\\Firmware\\Interface\\VxIntf_Std_V1S1.IN2"), MyAnsiString::npos);
    EXPECT_NE(m.MCModuleInfo(), nullptr);
    EXPECT_NE(m.IntfModuleInfo(), nullptr);
    EXPECT_EQ(m.OSModuleInfo(), nullptr);

    // Facts of the descriptions.
    ASSERT_NE(m.OsciInfo(), nullptr);
    auto num = [](TSLDictionary* D, const char* K) {
        auto* n = dynamic_cast<TSLNumber*>(D->FindObjWithName(K));
        return n ? n->GetLongintValue() : -999;
    };
    EXPECT_EQ(num(m.OsciInfo(), "NumberOfSampling"), 1000);
    EXPECT_NE(m.OsciInfo()->FindObjWithName("Ch_2_Var"), nullptr);
    EXPECT_NE(m.OsciInfo()->FindObjWithName("Trig_1_Dir"), nullptr);
    EXPECT_EQ(m.OsciInfo()->FindObjWithName("Ch_4_Var"), nullptr);
    EXPECT_EQ(num(m.CurveInfo(), "MaxNumberOfCurves"), 16);
    EXPECT_EQ(num(m.CurveInfo(), "CurveBlockStartAddr"), 16973824);
    EXPECT_EQ(num(m.CurveInfo(), "CurveOffsetPtrSize"), 4);
    EXPECT_EQ(m.FNumOfCmdTabEntries, 64);
    EXPECT_EQ(m.FCmdTabEraseFlash, 1);
    EXPECT_TRUE(m.IsServiceActive("StatusService", false));
    EXPECT_FALSE(m.IsServiceActive("CurveService", false));
    EXPECT_TRUE(m.IsServiceActive("CurveService", true));
    ASSERT_EQ(m.GetNumberOfDocuments(), 2);
    EXPECT_EQ(m.GetDocAtIndex(1), "VxIntf_Std_V1S1 IO Manual.pdf");
    ASSERT_EQ(m.GetNumberOfMotioncmdListFiles(), 1);
    EXPECT_EQ(m.GetMotionCmdListFileName(0), "MCData\\MotionCmdList.csv");
    EXPECT_EQ(m.GetStrVar("ProgramStartAddr"), "16777472");

    // The status service read the drive's state: online, two instances.
    EXPECT_EQ(Status(d).ServiceStatus(), dsStarted);
    EXPECT_EQ(Status(d).MainState(), 0x8018);
    EXPECT_EQ(d.Model().ImageIndex(), ImageStopped);

    ASSERT_TRUE(Stop(d));
    EXPECT_EQ(d.State(), dstStopped);
    EXPECT_EQ(m.OsciInfo(), nullptr);
}

TEST_F(ModuleServiceTest, TwoNodesOfOneTreeGiveOneModule) {
    SimDriveDescription drive = SimLoadDrive(SimDataDir() + "/vx41.drive");
    SimNodeFields f;
    f.fileType = 5;
    f.fileSubType = 4;
    f.completeName = "VxIntf_Std_V1S1";
    drive.drive.AddInfoNode(0x8200, 0, SimBuildInfoNode(f, 0x41, 2));
    Attach(std::move(drive));
    TDevice& d = NewDevice();
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstStarted);
    EXPECT_EQ(Modules(d).GetModuleCount(), 2);
    EXPECT_EQ(Prompt.Texts(), std::vector<MyAnsiString>{"VxIntf_Std_V1S1 already exists in the module list"});
}

// A Firmware folder of the test's own, with descriptions named after the
// drive's trees as the case needs them.
class FirmwareFolderTest : public test::DeviceTestBase {
protected:
    void SetUp() override {
        DeviceTestBase::SetUp();
        SetWorkDir(RealPathToStored(Dir.Path()));
    }
    void Describe(const std::string& Rel, int Level) {
        Dir.Write("Firmware/" + Rel, "[D /ModuleInfo [D /TreeLevel " + std::to_string(Level) + " ] ]");
    }
    // vx41 with its trees renamed.
    void AttachWithTrees(const char* Motion, const char* Intf) {
        SimDriveDescription drive = SimLoadDrive(SimDataDir() + "/vx41.drive");
        for (auto [addr, name, sub] : {std::tuple{0x8080u, Motion, 2}, std::tuple{0x8100u, Intf, 3}}) {
            SimNodeFields f;
            f.fileType = 5;
            f.fileSubType = uint16_t(sub);
            f.completeName = name;
            drive.drive.Poke(addr, SimBuildInfoNode(f, 0x41, 2));
        }
        Attach(std::move(drive));
    }
    TTempFolder Dir;
};

TEST_F(FirmwareFolderTest, FallbackMatchesAskTheUser) {
    Describe("VxMotion_Std_V1S2_B1.IN2", 2);
    Describe("VxIntf_Std_V1S1.IN2", 3);
    for (TModalResult answer : {mrYes, mrNo}) {
        SCOPED_TRACE(answer);
        AttachWithTrees("VxMotion_Std_V1S2_B7", "VxIntf_Std_V1S1");
        Question.Asked.clear();
        Question.Answers = {answer};
        LoginInfo.Lines.clear();
        TDevice& d = NewDevice();
        ASSERT_TRUE(Start(d));
        ASSERT_EQ(Question.Asked.size(), 1u);
        const TLoginQuestion& q = Question.Asked[0];
        EXPECT_TRUE(q.YesVisible);
        EXPECT_EQ(q.Message, LangTextFmt("NotExactINIFile", {"Velkor-Ovra", "VX41 R1.02 2024-05-01", "www.velkor.example"}));
        EXPECT_NE(q.Message.find("VX41 R1.02"), MyAnsiString::npos);
        EXPECT_EQ(q.Details, LangText("TreesOnController") + "\r VxMotion_Std_V1S2_B7\r VxIntf_Std_V1S1\r\r" + LangText("AvailableTrees") + "\r VxMotion_Std_V1S2_B1.IN2\r VxIntf_Std_V1S1.IN2\r\r");
        EXPECT_NE(std::find(LoginInfo.Lines.begin(), LoginInfo.Lines.end(), "Compatible in2 file found: VxMotion_Std_V1S2_B1.IN2"),
                  LoginInfo.Lines.end());
        EXPECT_EQ(d.State(), answer == mrYes ? dstStarted : dstError);
        EXPECT_EQ(Modules(d).ServiceStatus(), answer == mrYes ? dsStarted : dsError);
        ASSERT_TRUE(Stop(d));
        Manager->DestroyDevice(d);
        Line.reset();
        Runner.reset();
    }
}

TEST_F(FirmwareFolderTest, AMissingDescriptionIsToldAndStopsTheStart) {
    Describe("VxMotion_Std_V1S2_B1.IN2", 2);
    AttachWithTrees("VxMotion_Std_V1S2_B7", "VxIntf_Std_V9S9");
    Question.Answers = {mrYes};
    TDevice& d = NewDevice();
    ASSERT_TRUE(Start(d));
    ASSERT_EQ(Question.Asked.size(), 1u);
    EXPECT_FALSE(Question.Asked[0].YesVisible);
    EXPECT_EQ(Question.Asked[0].NoCaption, "OK");
    EXPECT_EQ(Question.Asked[0].Message,
              LangTextFmt("UnknownFirmware", {"Velkor-Ovra", "VX41 R1.02 2024-05-01", "www.velkor.example"}));
    EXPECT_EQ(d.State(), dstError);
    EXPECT_EQ(Modules(d).GetModuleCount(), 2);
}

TEST_F(FirmwareFolderTest, AnUnreadableDescriptionLeavesNoModules) {
    Dir.Write("Firmware/VxMotion_Std_V1S2.IN2", "[D /ModuleInfo [D /TreeLevel 2 ]");
    Describe("VxIntf_Std_V1S1.IN2", 3);
    Attach("vx41.drive");
    TDevice& d = NewDevice();
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstError);
    EXPECT_EQ(Modules(d).GetModuleCount(), 0);
    EXPECT_TRUE(Trace.Contains("couldn't load module 'VxMotion_Std_V1S2'"));
}

TEST_F(FirmwareFolderTest, ACopiedFactTwiceIsALoadError) {
    Dir.Write("Firmware/VxMotion_Std_V1S2.IN2", "[D /InstanceInfoDict [D /NumberOfSampling 10 ] ]");
    Dir.Write("Firmware/VxIntf_Std_V1S1.IN2", "[D /InstanceInfoDict [D /NumberOfSampling 20 ] ]");
    Attach("vx41.drive");
    TDevice& d = NewDevice();
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstError);
    EXPECT_TRUE(Trace.Contains("couldn't load module 'VxIntf_Std_V1S1'"));
}

// ------------------------------------------------------------------ offline

class OfflineTest : public test::DeviceTestBase {
protected:
    TDevice& Offline(const MyAnsiString& ConfigFile) {
        TDevice& d = NewDevice("VelkorOffline");
        d.SetStrVar("ConfigFile", ConfigFile);
        return d;
    }
    TTempFolder Dir;
    MyAnsiString Write(const std::string& Name, const std::string& Text) {
        Dir.Write(Name, Text);
        return RealPathToStored(Dir.Path() / Name);
    }
};

TEST_F(OfflineTest, AConfigurationFileNamesTheTrees) {
    TDevice& d = Offline(RealPathToStored(DataPath("Configs/VX41-Sample.vkc")));
    ASSERT_TRUE(Start(d));
    ASSERT_EQ(d.State(), dstStarted) << (Prompt.Texts().empty() ? "" : Prompt.Texts()[0]);
    TModuleService& m = Modules(d);
    ASSERT_EQ(m.GetModuleCount(), 2);
    EXPECT_EQ(m.GetModule(1).FName, "VxIntf_Std_V1S1");
    EXPECT_EQ(m.FirmwareRelease(), "VX41 R1.02 2024-05-01");
    EXPECT_EQ(m.GetStrVar("ProgramStartAddr"), "");
    // No telegram: the status service starts offline.
    EXPECT_EQ(Status(d).ServiceStatus(), dsStarted);
    EXPECT_FALSE(Status(d).GetOnline());
}

TEST_F(OfflineTest, FormatVersionsAndDamagedFilesAreRefused) {
    const struct {
        const char* Text;
        const char* Message;
    } cases[] = {
        {"[D /Info [D /Version 2 ] ]", "Old configuration format version! This configuration cannot be imported!"},
        {"[D /Info [D /Version 4 ] ]", "Unknown configuration format version! This configuration cannot be imported!"},
        {"[D /Info 'x' ]", "no \"Info\""},
        {"[A 1 2 ]", "no \"Info\""},
        {"[D /Info [D /Version 'three' ] ]", "has no configuration format version"},
        {"[D /Info [D", "Syntax error"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        Prompt.Clear();
        TDevice& d = Offline(Write("c" + std::to_string(++n) + ".vkc", c.Text));
        ASSERT_TRUE(Start(d));
        EXPECT_EQ(d.State(), dstError);
        ASSERT_EQ(Prompt.Texts().size(), 1u);
        EXPECT_NE(Prompt.Texts()[0].find(c.Message), MyAnsiString::npos) << Prompt.Texts()[0];
    }
    // Version 3 without trees: nothing could be described.
    TDevice& d = Offline(Write("empty.vkc", "[D /Info [D /Version 3 ] ]"));
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstError);
    ASSERT_EQ(Question.Asked.size(), 1u);
    EXPECT_FALSE(Question.Asked[0].YesVisible);
}

TEST_F(OfflineTest, TheWizardsTreesStartAfterConsent) {
    TStorageManager& sm = *Storage;
    auto* script = dynamic_cast<TSLDictionary*>(sm.GetObject(RealPathToStored(DataPath("Firmware/VxFirmware.stx")))->GetData());
    ASSERT_NE(script, nullptr);
    ConfWizard().Initialize(dynamic_cast<TSLBlock*>(script->FindObjWithName("Init")), 3);
    ConfWizard().BuildNames();
    ASSERT_EQ(ConfWizard().GetNumberOfIniFile(), 2);
    Shell.productInfo["ProgramVersionCaption"] = "4.2";
    for (TModalResult answer : {mrYes, mrNo}) {
        SCOPED_TRACE(answer);
        Question.Asked.clear();
        Question.Answers = {answer};
        TDevice& d = Offline("CREATEOFFLINE");
        ASSERT_TRUE(Start(d));
        ASSERT_EQ(Question.Asked.size(), 1u);
        EXPECT_EQ(Question.Asked[0].Message, LangTextFmt("NotExactINIFileOffline", {"VX41 R1.02", "Velkor-Ovra"}));
        EXPECT_EQ(Question.Asked[0].Details.substr(0, LangText("TreesInConfig").size()), LangText("TreesInConfig"));
        EXPECT_EQ(d.State(), answer == mrYes ? dstStarted : dstError);
        if (answer == mrYes) {
            EXPECT_NE(Modules(d).OSModuleInfo(), nullptr);
            EXPECT_NE(Modules(d).IntfModuleInfo(), nullptr);
        }
    }
    // A tree the wizard names without a description.
    ConfWizard().SelectInterface(-1);
    ConfWizard().BuildNames();
    SetWorkDir(RealPathToStored(Dir.Path()));
    Question.Asked.clear();
    TDevice& d = Offline("CREATEOFFLINE");
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstError);
    ASSERT_EQ(Question.Asked.size(), 1u);
    EXPECT_EQ(Question.Asked[0].Message,
              LangTextFmt("UnknownFirmwareOffline", {"VX41 R1.02", "Velkor-Ovra 4.2", "www.velkor.example"}));
    PurgeAutoReleasePool();
}

} // namespace
} // namespace vo
