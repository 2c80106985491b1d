// The change list, the check-list rows and the writing pass's turns on a
// drive tree of the test's own.
#include <gtest/gtest.h>

#include "motorwizard/FinishCheck.h"
#include "parameters/UniMan.h"
#include "tests/motorwizard/WizFakes.h"

namespace vo::test {
namespace {

class FinishTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        tree.String(6220, "ABC");
        tree.Unit(5, 0.001, "mm", 1);
        FakePar& len = tree.Integer(4200, 100);
        len.uuid = 5;
        len.valueSI = 0.1;
        tree.Integer(4201, 1).valueSI = 1;
        tree.Add(4202, TWizTreeKind::tkRadio16).intValue = 99;
        tree.String(4203, "old");
        tree.Integer(1520, 3).valueSI = 3;
        Adf("ABC.adf", "/MCParameters [A"
                       " [D /Type 'DOUBLE' /Name 'Len' /TreeUPID 4200 /DefValue 0.1004 ]"
                       " [D /Type 'DOUBLE' /Name 'RO' /TreeUPID 4201 /DefValue 2.0 /ReadOnlyPar #1 ]"
                       " [D /Type 'ENUM' /Name 'Mode' /TreeUPID 4202 /DefValue 65538 /ENumDef [A"
                       "   [D /Value 65538 /Caption 'Two' /OnSelect [A ] ] ] ]"
                       " [D /Type 'STRING' /Name 'Text' /TreeUPID 4203 /DefValue 'new' ]"
                       " [D /Type 'DOUBLE' /Name 'Gone' /TreeUPID 4999 /DefValue 5.0 ]"
                       " [D /Type 'DOUBLE' /Name 'Hex' /TreeUPID 1520 /DefValue 4.0 ] ]");
        ASSERT_TRUE(Start());
        D("RO").FRuleValue = 2.0; // a procedure's recommendation
    }
    std::vector<MyAnsiString> ChangedNames() {
        std::vector<MyAnsiString> out;
        for (int i = 0; i < man.GetChangedWizParCount(); ++i) out.push_back(man.GetChangedWizParAtIndex(i).FName);
        return out;
    }
    std::vector<MyAnsiString> Writes() {
        std::vector<MyAnsiString> out;
        for (const auto& l : tree.log)
            if (l.rfind("set", 0) == 0 || l.rfind("modify", 0) == 0)
                out.push_back(l);
        return out;
    }
};

TEST_F(FinishTest, ChangeListHoldsWhatDiffersByAtLeastOneDriveIncrement) {
    man.BuildChangesList();
    EXPECT_EQ(ChangedNames(), (std::vector<MyAnsiString>{"RO", "Mode", "Text", "Hex"}));
    D("Len").FRuleValue = 0.102;
    man.BuildChangesList();
    EXPECT_EQ(ChangedNames().front(), "Len");
}

TEST_F(FinishTest, WritingWithoutStopWritesEveryFoundParameterButTheReadOnlyOne) {
    D("Len").FTreeValue = 0.12345;
    man.Finish();
    EXPECT_EQ(tree.log.back(), "parameter turn");
    tree.log.clear();
    tree.handlers.ParameterExecute();
    EXPECT_EQ(tree.log.front(), "prepare");
    EXPECT_EQ(tree.log.back(), "execute");
    EXPECT_EQ(Writes(), (std::vector<MyAnsiString>{"set 4200 0.123", "modify 4200", "set 4202 99", "modify 4202", "set 4203 old", "modify 4203", "set 1520 3", "modify 1520"}));
    tree.handlers.ParameterNotify();
    EXPECT_EQ(dialog.closed, 1);
    EXPECT_EQ(man.GetPageCount(), 0);
    EXPECT_TRUE(prompt.Texts().empty());
}

TEST_F(FinishTest, EnumOnA16BitRadioWritesItsLowBits) {
    E("Mode").FTreeValue = E("Mode").FRuleValue;
    man.Finish();
    tree.handlers.ParameterExecute();
    EXPECT_EQ(Writes()[2], "set 4202 2");
}

TEST_F(FinishTest, RunningFirmwareIsStoppedBeforeAnythingIsWritten) {
    tree.running = true;
    man.Finish();
    EXPECT_EQ(man.WorkState(), TWizWorkState::wsStop);
    tree.handlers.StatusExecute();
    EXPECT_EQ(man.WorkState(), TWizWorkState::wsWaitStopResponse);
    tree.handlers.StatusUpdate();
    EXPECT_EQ(tree.log, (std::vector<MyAnsiString>{"status turn", "stop", "status release"}));
    tree.running = false;
    tree.handlers.StatusUpdate();
    EXPECT_EQ(man.WorkState(), TWizWorkState::wsReady);
    EXPECT_EQ(tree.log.back(), "parameter turn");
}

TEST_F(FinishTest, StopThatNeverComesEndsWithAMessageAndNothingWritten) {
    TScopedTimeOverride fast(MotWizStopTimeout, 0);
    tree.running = true;
    man.Finish();
    tree.handlers.StatusExecute();
    tree.handlers.StatusUpdate();
    EXPECT_EQ(man.WorkState(), TWizWorkState::wsReady);
    EXPECT_EQ(tree.log.back(), "status disconnect");
    EXPECT_EQ(dialog.busy, (std::vector<bool>{true, false}));
    ASSERT_EQ(prompt.Texts().size(), 1u);
    EXPECT_NE(prompt.Texts()[0].find("Nothing was written"), std::string::npos);
    EXPECT_EQ(dialog.closed, 0);
}

TEST_F(FinishTest, RefusedValueAndVanishedParameterAreReportedTheRestIsWritten) {
    tree.pars.at(4202)->refuse = true;
    tree.pars.erase(4203);
    man.Finish();
    tree.handlers.ParameterExecute();
    EXPECT_EQ(Writes(), (std::vector<MyAnsiString>{"set 4200 0.1", "modify 4200", "set 1520 3", "modify 1520"}));
    tree.handlers.ParameterNotify();
    ASSERT_EQ(prompt.Texts().size(), 1u);
    const MyAnsiString text = prompt.Texts()[0];
    EXPECT_NE(text.find("Mode: value refused"), std::string::npos);
    EXPECT_NE(text.find("Text: the drive no longer has UPID 4203"), std::string::npos);
    EXPECT_EQ(dialog.closed, 1);
}

// ---- Check-list rows ------------------------------------------------------------

class CheckListTest : public FinishTest {
protected:
    void SetUp() override {
        FinishTest::SetUp();
        previous = UnitManager().GetUnitSystem();
        UnitManager().SetUnitSystem(usMetric);
    }
    void TearDown() override { UnitManager().SetUnitSystem(previous); }
    const TFinishCheckRow& Row(const char* name) {
        for (const auto& r : rows.Rows())
            if (r.Par->FName == name)
                return r;
        throw Exception("no row");
    }
    TUnitSystem previous{};
    TFinishCheck rows;
};

TEST_F(CheckListTest, RowsShowActualAndRecommendedValues) {
    tree.Unit(6, 0.000001, "mm", 0.001);
    tree.pars.at(4200)->uuid = 6;
    D("Len").FUUID = 6;
    D("Len").FTreeValue = 0.1;
    D("Len").FRuleValue = 0.12;
    man.BuildChangesList();
    shell.SetUPIDDispMode("DEC");
    rows.Init(man);
    ASSERT_EQ(rows.GetRowCount(), 5);
    EXPECT_EQ(Row("Len").ActualValue, "100mm");
    EXPECT_EQ(Row("Len").WizardValue, "120mm");
    EXPECT_EQ(Row("Mode").ActualValue, "Raw Data Value: 99");
    EXPECT_EQ(Row("Mode").WizardValue, "Two");
    EXPECT_EQ(Row("Text").ActualValue, "old");
    EXPECT_EQ(Row("Hex").UPIDText, "1520");
    EXPECT_EQ(Row("Hex").Caption, "Par 1520");
    EXPECT_EQ(Row("Hex").Path, "Motor\\Par 1520");
    EXPECT_TRUE(Row("Hex").Checked);

    shell.SetUPIDDispMode("HEX");
    rows.Init(man);
    EXPECT_EQ(Row("Hex").UPIDText, "05F0h");
}

TEST_F(CheckListTest, ClearAllKeepsActualValuesTickedRowsTakeTheRecommendation) {
    man.BuildChangesList();
    rows.Init(man);
    rows.DeselectAll();
    rows.Apply();
    EXPECT_EQ(S("Text").FTreeValue, "old");
    EXPECT_EQ(E("Mode").FTreeValue, 99);

    rows.SelectAll();
    rows.GetRow(0).Checked = false; // "RO"
    rows.Apply();
    EXPECT_EQ(S("Text").FTreeValue, "new");
    EXPECT_EQ(E("Mode").FTreeValue, 65538);
    EXPECT_EQ(D("Hex").FTreeValue, 4.0);
    EXPECT_EQ(D("RO").FTreeValue, 1.0);
}

} // namespace
} // namespace vo::test
