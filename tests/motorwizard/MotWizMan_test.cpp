// The motor wizard manager on a drive tree of the test's own: finding and
// checking definition files, building items and pages, starting values, the
// rule engine, the change list and the writing pass's order of turns.
#include <gtest/gtest.h>

#include "motorwizard/FinishCheck.h"
#include "storagelib/SL20Arr.h"
#include "tests/motorwizard/WizFakes.h"
#include "tests/support/ExpectError.h"

namespace vo::test {
namespace {

const char* const OneEnum = "/MCParameters [A [D /Type 'ENUM' /Name 'Kind' /TreeUPID 4100 "
                            "/ENumDef [A [D /Value 0 /Caption 'A' /OnSelect [A ]] ] ] ]";

// ---- Finding the file -------------------------------------------------------

class FindingTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        tree.String(6220, "ABC");
    }
};

TEST_F(FindingTest, FileInASubFolderIsFoundWithoutAQuestion) {
    Adf("linear/ABC.adf", OneEnum);
    Adf("zz/other.adf", OneEnum);
    ASSERT_TRUE(Start());
    EXPECT_TRUE(prompt.Texts().empty());
    EXPECT_EQ(man.ADFName(), "ABC");
    EXPECT_TRUE(shell.openDialogs.empty());
}

TEST_F(FindingTest, FileDirectlyInMotorsWinsOverSubFolders) {
    Adf("a/ABC.adf", "/MCParameters [A ]");
    Adf("abc.ADF", OneEnum); // names match without regard to case
    ASSERT_TRUE(Start());
    EXPECT_EQ(man.GetWizParCount(), 1);
    EXPECT_EQ(man.ADFName(), "abc");
}

TEST_F(FindingTest, SubFoldersAreSearchedInNameOrder) {
    Adf("b/ABC.adf", OneEnum);
    Adf("a/ABC.adf", "/MCParameters [A ]");
    ASSERT_TRUE(Start());
    EXPECT_EQ(man.GetWizParCount(), 0);
}

TEST_F(FindingTest, DriveWithoutTheIdentifierCannotStart) {
    tree.pars.erase(6220);
    EXPECT_FALSE(Start());
    EXPECT_EQ(prompt.Texts(),
              std::vector<MyAnsiString>{"Missing or incompatible software! The motor wizard cannot be started!"});
}

TEST_F(FindingTest, MissingFileAsksAndNoEnds) {
    prompt.Answer(mrNo);
    EXPECT_FALSE(Start());
    ASSERT_EQ(prompt.Requests().size(), 1u);
    EXPECT_EQ(prompt.Requests()[0].Kind, TMsgDlgType::mtWarning);
    EXPECT_NE(prompt.Texts()[0].find("file ABC.adf was not found"), std::string::npos);
    EXPECT_TRUE(shell.openDialogs.empty());
}

TEST_F(FindingTest, MissingFileYesOpensTheChoiceOfFiles) {
    const auto chosen = files.Write("elsewhere/Mine.adf", "[D " + AdfHead() + OneEnum + "]");
    prompt.Answer(mrYes);
    shell.openDialogAnswer = chosen.string();
    ASSERT_TRUE(Start());
    ASSERT_EQ(shell.openDialogs.size(), 1u);
    EXPECT_EQ(shell.openDialogs[0].Filter, "Actuator Data Files(*.adf )|*.adf");
    EXPECT_EQ(shell.openDialogs[0].DefaultExt, ".adf");
    EXPECT_EQ(man.ADFName(), "Mine");
    // A chosen actuator sets up a new actuator: Finish needs the last page.
    EXPECT_FALSE(man.FLastPageVisited);
    EXPECT_FALSE(man.FInitializing);
}

TEST_F(FindingTest, CancelledChoiceEnds) {
    prompt.Answer(mrYes);
    EXPECT_FALSE(Start());
    EXPECT_EQ(shell.openDialogs.size(), 1u);
}

TEST_F(FindingTest, CompositeFileOffersItsPartsAndCancelKeepsThePreviousRun) {
    Adf("ABC.adf", OneEnum);
    ASSERT_TRUE(Start());
    const auto composite = Adf("kit/Kit.adf", "/CompositeType #1 /PartsArray [A [D /PartCaption 'Left' /ADFName 'L'] "
                                              "[D /PartCaption 'Right' /ADFName 'R'] ]");
    Adf("kit/R.adf", "/MCParameters [A ]");
    shell.openDialogAnswer = composite.string();
    dialog.partChoice = -1;
    EXPECT_FALSE(man.Init(tree, true));
    ASSERT_EQ(dialog.partLists.size(), 1u);
    EXPECT_EQ(dialog.partLists[0], (std::vector<MyAnsiString>{"Left", "Right"}));
    EXPECT_EQ(man.GetWizParCount(), 1);
    EXPECT_EQ(man.ADFName(), "ABC");

    dialog.partChoice = 1;
    ASSERT_TRUE(man.Init(tree, true));
    EXPECT_EQ(man.ADFName(), "R");
    EXPECT_EQ(man.GetWizParCount(), 0);
}

// ---- Compatibility ----------------------------------------------------------

struct CompatCase {
    const char* name;
    std::int64_t main, sub;
    std::string head;
    std::string message; // "" : accepted
};

class CompatTest : public WizardTest, public ::testing::WithParamInterface<CompatCase> {};

TEST_P(CompatTest, FirmwareAndFileVersions) {
    const CompatCase& c = GetParam();
    tree.String(6220, "ABC");
    tree.Integer(1370, c.main);
    tree.Integer(1371, c.sub);
    if (c.main < 0)
        tree.pars.erase(1370);
    Adf("ABC.adf", OneEnum, c.head);
    EXPECT_EQ(Start(), c.message.empty());
    if (c.message.empty()) {
        EXPECT_TRUE(prompt.Texts().empty());
        return;
    }
    ASSERT_EQ(prompt.Texts().size(), 1u);
    EXPECT_EQ(prompt.Texts()[0], c.message);
    EXPECT_EQ(prompt.Requests()[0].Kind, TMsgDlgType::mtError);
    EXPECT_EQ(man.GetWizParCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, CompatTest,
    ::testing::Values(
        CompatCase{"Accepted", 4, 2, AdfHead(21, "/MinMCSubVersionR4 2"), ""},
        CompatCase{"Version20", 4, 2, AdfHead(20),
                   "This actuator definition file is not compatible with this program version."},
        CompatCase{"WrongType", 4, 2, "/Type 'Curve' /Version 21 /MinMCSubVersionR4 1",
                   "This actuator definition file is not compatible with this program version."},
        CompatCase{"OlderSubVersion", 4, 2, AdfHead(21, "/MinMCSubVersionR4 3"),
                   "This actuator definition file needs firmware version 4.3 or newer, the drive has version 4.2."},
        CompatCase{"ReleaseKeyMissing", 3, 9, AdfHead(21, "/MinMCSubVersionR4 1"),
                   "ADF file not compatible with Firmware Release 3.x"},
        CompatCase{"Release5", 5, 0, AdfHead(21, "/MinMCSubVersionR5 0"), ""},
        CompatCase{"UnknownMain", 6, 0, AdfHead(21, "/MinMCSubVersionR4 1"), "Unknown MC Firmware main version!"},
        CompatCase{"NoVersionParameters", -1, 0, AdfHead(), "Unknown MC Firmware main version!"}),
    [](const auto& info) { return info.param.name; });

// ---- Items ------------------------------------------------------------------

class ItemsTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        tree.String(6220, "ABC");
    }
};

TEST_F(ItemsTest, DoubleTakesUnitDefaultAndLimitsOfItsParameterUnlessTheFileGivesThem) {
    FakePar& force = tree.Integer(4200, 0);
    force.uuid = 7;
    force.defSI = 1.5;
    force.minSI = -2;
    force.maxSI = 10;
    FakePar& len = tree.Integer(4201, 0);
    len.minSI = 0.1;
    len.maxSI = 9;
    Adf("ABC.adf", "/MCParameters [A [D /Type 'DOUBLE' /Name 'Force' /TreeUPID 4200 ]"
                   "[D /Type 'DOUBLE' /Name 'Len' /TreeUPID 4201 /DefValue 0.25 /MaxValue 3.0 ]"
                   "[D /Type 'DOUBLE' /Name 'Free' /TreeUPID 9999 /MinValue 1.0 ] ]");
    ASSERT_TRUE(Start());
    EXPECT_EQ(D("Force").FUUID, 7);
    EXPECT_EQ(D("Force").FDefaultValue, 1.5);
    EXPECT_EQ(D("Force").FMinValue, -2);
    EXPECT_EQ(D("Force").FMaxValue, 10);
    EXPECT_EQ(D("Force").FCaption, "Par 4200"); // the drive parameter's caption
    EXPECT_EQ(D("Len").FDefaultValue, 0.25);
    EXPECT_EQ(D("Len").FMinValue, 0.1);
    EXPECT_EQ(D("Len").FMaxValue, 3.0);
    EXPECT_EQ(D("Free").FMinValue, 1.0);
    EXPECT_EQ(D("Free").FMaxValue, 0.0);
    EXPECT_EQ(D("Free").FUUID, 0);
    EXPECT_FALSE(D("Free").FFoundInTree);
}

TEST_F(ItemsTest, WrongKindOfDriveParameterOrKeyRaisesOutOfInit) {
    tree.String(4202, "text");
    Adf("ABC.adf", "/MCParameters [A [D /Type 'DOUBLE' /Name 'Bad' /TreeUPID 4202 ] ]");
    ExpectError([&] { Start(); }, "Invalid class typecast");
    Adf("ABC.adf", "/MCParameters [A [D /Type 'DOUBLE' /Name 'Bad' /TreeUPID 9 /DefValue 3 ] ]");
    ExpectError([&] { Start(); }, "Invalid class typecast");
}

TEST_F(ItemsTest, EnumEntriesAreMatchedAgainstTheRadioChildren) {
    for (auto [upid, kind] : {std::pair{4300, TWizTreeKind::tkRadio16}, {4301, TWizTreeKind::tkRadio32}}) {
        FakePar& r = tree.Add(upid, kind);
        r.defInt = 5;
        r.intValue = 1;
        r.children = {{1, "One"}, {3, "Three"}};
    }
    const std::string defs = "/ENumDef [A [D /Value 1 /OnSelect [A ]] [D /Value 3 /Caption 'Drei' /OnSelect [A ]]"
                             "[D /Value 5 /Caption 'Five' /OnSelect [A ]] ] /DefValueIfNotInTree 2";
    Adf("ABC.adf", "/MCParameters [A [D /Type 'ENUM' /Name 'R16' /TreeUPID 4300 " + defs + "] [D /Type 'ENUM' /Name 'R32' /TreeUPID 4301 " + defs + "] ]");
    ASSERT_TRUE(Start());
    for (const char* n : {"R16", "R32"}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(E(n).GetCaptionAt(0), "One"); // from the drive's child
        EXPECT_EQ(E(n).GetCaptionAt(1), "Drei"); // the file's caption stays
        EXPECT_FALSE(E(n).GetHide(1));
        EXPECT_TRUE(E(n).GetHide(2)); // no child of value 5
    }
    EXPECT_EQ(E("R16").FDefaultValue, 2);
    EXPECT_EQ(E("R32").FDefaultValue, 5);
}

TEST_F(ItemsTest, EnumQueries) {
    shell.companyInfo["CaptionSuffix"] = " (R)";
    shell.companyInfo["CompanyPrefix"] = "VK ";
    Adf("ABC.adf", "/MCParameters [A [D /Type 'ENUM' /Name 'E' /TreeUPID 9 /DefValueIfNotInTree 2 /ENumDef [A "
                   "[D /Value 2 /Caption 'Two' /CaptionSuffix 0 /OnSelect [A ]]"
                   "[D /Value 3 /CaptionKeyWord 'Motor_Cooling' /ShowWithCompanyPrefix #1 /OnSelect [A ]]"
                   "[D /Value 4 /Caption 'Two (R)' /Hide #1 /OnSelect [A ]] ] ] ]");
    ASSERT_TRUE(Start());
    TWizParEnum& e = E("E");
    EXPECT_EQ(e.FDefaultValue, 2);
    EXPECT_EQ(e.GetShownText(0), "Two (R)");
    EXPECT_EQ(e.GetIndexOf("Two (R)"), 0); // the hidden entry of the same text is skipped
    EXPECT_EQ(e.GetShownText(1), "VK Motor Cooling");
    EXPECT_EQ(e.GetIndexOf("VK Motor Cooling"), 1);
    EXPECT_EQ(e.GetItemIndex(2), 0);
    EXPECT_EQ(e.GetItemIndex(0x100000002LL), -1);
    EXPECT_EQ(e.GetCaptionAt(7), "");
    EXPECT_EQ(e.GetValueAt(7), 0);
}

// ---- Pages and the start ------------------------------------------------------

TEST_F(ItemsTest, PagesFollowTheFileOrderAndNeedTheirParameters) {
    Adf("ABC.adf", "/MCParameters [A [D /Type 'DOUBLE' /Name 'Gone' /TreeUPID 9999 ] ]"
                   "/WizardPages [A [D /PageID 5 /PageInfo [A ]] [D /PageID 0 /PageInfo [A [D /Name 'x']]]"
                   "[D /PageID 3 /VisibleIfParsExisting [A 'Gone'] ] [D /PageID 4 /VisibleIfParsExisting [A 'Nope'] ]"
                   "[D /PageID 5 /PageInfo [A ]] ]");
    ASSERT_TRUE(Start());
    ASSERT_EQ(man.GetPageCount(), 2);
    EXPECT_EQ(man.GetWizardPage(0).FPage, 5);
    EXPECT_EQ(man.GetWizardPage(0).GetPageCaption(), "Position Controller");
    EXPECT_EQ(man.GetWizardPage(1).FPage, 0);
    EXPECT_EQ(man.GetWizardPage(1).FPagePos, 1);
    EXPECT_EQ(man.GetInfoArray(1)->GetCount(), 1);
    ASSERT_EQ(man.ErrorLines().size(), 1u); // page 5 twice: shown once
    EXPECT_EQ(man.ErrorLines()[0], "page 5 is listed twice; it is shown once");
}

TEST_F(ItemsTest, PageNumberOutsideTheTableRaises) {
    Adf("ABC.adf", "/WizardPages [A [D /PageID 21 /PageInfo [A ]] ]");
    EXPECT_THROW(Start(), Exception);
}

TEST_F(ItemsTest, NeverExecutedWizardStartsFromDefaultsAndNeedsTheLastPage) {
    tree.Integer(6253, 0);
    tree.Integer(4200, 7).valueSI = 7;
    tree.Integer(4201, 8).valueSI = 8;
    tree.Integer(4202, 9).valueSI = 9;
    Adf("ABC.adf", "/MCParameters [A [D /Type 'ENUM' /Name 'Wizard_Executed' /TreeUPID 6253 /DefValue 1 ]"
                   "[D /Type 'DOUBLE' /Name 'Plain' /TreeUPID 4200 /DefValue 1.0 ]"
                   "[D /Type 'DOUBLE' /Name 'RO' /TreeUPID 4201 /DefValue 1.0 /ReadOnlyPar #1 ]"
                   "[D /Type 'DOUBLE' /Name 'Auto' /TreeUPID 4202 /DefValue 1.0 /AutoDetected #1 ]"
                   "[D /Type 'STRING' /Name 'ADF_Name' /TreeUPID 9 ] ]"
                   "/WizardPages [A [D /PageID 0 /PageInfo [A ]] [D /PageID 1 /PageInfo [A ]] ]");
    ASSERT_TRUE(Start());
    EXPECT_FALSE(man.FInitializing);
    EXPECT_EQ(D("Plain").FTreeValue, 1.0);
    EXPECT_EQ(D("Plain").FRuleValue, 1.0);
    EXPECT_EQ(D("RO").FTreeValue, 8.0);
    EXPECT_EQ(D("RO").FRuleValue, 8.0);
    EXPECT_EQ(D("Auto").FTreeValue, 9.0); // online: the drive detected it
    EXPECT_EQ(S("ADF_Name").FTreeValue, "ABC");
    EXPECT_EQ(S("ADF_Name").FRuleValue, "ABC");
    EXPECT_FALSE(man.GetFinishEnable());
    EXPECT_TRUE(man.GetNextEnable());
    man.SelectNextPage();
    EXPECT_FALSE(man.GetNextEnable());
    EXPECT_TRUE(man.GetFinishEnable());
    man.SelectPreviousPage();
    EXPECT_TRUE(man.GetFinishEnable()); // the last page was seen

    tree.online = false;
    ASSERT_TRUE(Start());
    EXPECT_EQ(D("Auto").FTreeValue, 1.0);
}

TEST_F(ItemsTest, OrdinaryStartKeepsTheDriveValues) {
    tree.Integer(4200, 7).valueSI = 7;
    tree.Integer(4201, 8).valueSI = 8;
    Adf("ABC.adf", "/MCParameters [A [D /Type 'DOUBLE' /Name 'Plain' /TreeUPID 4200 /DefValue 1.0 ]"
                   "[D /Type 'DOUBLE' /Name 'Tree' /TreeUPID 4201 /DefValue 1.0 /StartWithTreeValue #1 ]"
                   "[D /Type 'DOUBLE' /Name 'Absent' /TreeUPID 4999 /DefValue 2.0 ] ]"
                   "/WizardPages [A [D /PageID 0 /PageInfo [A ]] [D /PageID 1 /PageInfo [A ]] ]");
    ASSERT_TRUE(Start());
    EXPECT_EQ(D("Plain").FTreeValue, 7.0);
    EXPECT_EQ(D("Plain").FRuleValue, 1.0);
    EXPECT_EQ(D("Tree").FRuleValue, 8.0);
    EXPECT_EQ(D("Absent").FTreeValue, 2.0);
    EXPECT_TRUE(man.GetFinishEnable()); // an ordinary run may finish on any page
    dialog.finishChecks[0] = false;
    EXPECT_FALSE(man.GetFinishEnable());
    EXPECT_FALSE(man.GetNextEnable());
}

TEST_F(ItemsTest, SliderCombinesItsTwoIdentifiers) {
    tree.Add(6254, TWizTreeKind::tkInteger);
    tree.Integer(4400, 3);
    tree.Integer(4401, 7);
    Adf("ABC.adf", "/MCParameters [A [D /Type 'ENUM' /Name 'Slider' /TreeUPID 6254 ]"
                   "[D /Type 'ENUM' /Name 'Slider_SubID' /TreeUPID 4400 /StartWithTreeValue #1 ]"
                   "[D /Type 'ENUM' /Name 'Slider_MainID' /TreeUPID 4401 /StartWithTreeValue #1 ] ]");
    ASSERT_TRUE(Start());
    EXPECT_EQ(E("Slider").FRuleValue, 196615);
    EXPECT_EQ(E("Slider").FTreeValue, 196615);
}

TEST_F(ItemsTest, SliderWithoutItsPartsIsReported) {
    tree.Add(6254, TWizTreeKind::tkInteger).intValue = 11;
    Adf("ABC.adf", "/MCParameters [A [D /Type 'ENUM' /Name 'Slider' /TreeUPID 6254 ] ]");
    ASSERT_TRUE(Start());
    EXPECT_EQ(E("Slider").FTreeValue, 11);
    ASSERT_EQ(man.ErrorLines().size(), 1u);
    EXPECT_NE(man.ErrorLines()[0].find("Slider_MainID"), std::string::npos);
}

TEST_F(ItemsTest, RegistryKeepsDoubledNamesAndFindsTheFirst) {
    TMotWizManager m;
    EXPECT_FALSE(m.WizParClassExists("ENUM"));
    RegisterWizardClasses(m);
    m.RegisterWizParClass("enum", &WizParClass<TWizParDouble>);
    EXPECT_EQ(m.GetWizParClass("Enum"), &WizParClass<TWizParEnum>);
    EXPECT_EQ(m.GetWizValClass("integer"), &WizValClass<TWizValInteger>);
    EXPECT_EQ(m.GetProcedureCount(), 38);
}

} // namespace
} // namespace vo::test
