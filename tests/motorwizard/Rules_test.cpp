// The rule engine: assignments of "OnSelect" entries (nested ones complete
// first), case-wise assignments by a selector, "OnChange" procedures by
// name, what FInitializing keeps, and rule chains that lead back.
#include <gtest/gtest.h>

#include "tests/motorwizard/WizFakes.h"
#include "tests/support/ExpectError.h"

namespace vo::test {
namespace {

const char* const RulesFile =
    "/WizardValues [A [D /Type 'DOUBLE' /Name 'Sel' /Value 2.5 ] [D /Type 'INTEGER' /Name 'Count' /Value 4 ]"
    "  [D /Type 'STRING' /Name 'Label' /Value 'x' ]"
    "  [D /Type 'DOUBLE' /Name 'Mass' /OnChange [A [D /Name 'CalculateFFValues_Brenno' ] ] ] ]"
    "/MCParameters [A"
    "  [D /Type 'ENUM' /Name 'Outer' /TreeUPID 9 /DefValueIfNotInTree 0 /ENumDef [A [D /Value 0 /OnSelect [A ]]"
    "     [D /Value 1 /OnSelect [A [D /Name 'Inner' /Value 5 ] [D /Name 'Len' /Value 0.5 ] [D /Name 'Nobody' /Value 1 ] ] ] ] ]"
    "  [D /Type 'ENUM' /Name 'Inner' /TreeUPID 10 /DefValueIfNotInTree 0 /ENumDef [A [D /Value 0 /OnSelect [A ]]"
    "     [D /Value 5 /OnSelect [A [D /Name 'Len' /Value 0.2 ] [D /Name 'Label' /Value 'inner' ] [D /Name 'Count' /Value 9 ] ] ] ] ]"
    "  [D /Type 'DOUBLE' /Name 'Len' /TreeUPID 4200 /DefValue 0.1 /OnChange [A [D /Name 'calculateffvalues' ] ] ]"
    "  [D /Type 'ENUM' /Name 'Mode' /TreeUPID 11 /DefValueIfNotInTree 0 /ENumDef [A [D /Value 0 /OnSelect [A ]]"
    "     [D /Value 1 /OnSelect [A ] /OnSelectCaseInt [A [D /CaseVar 'Sel' /CaseArr [A"
    "        [D /CaseValue 2 /Name 'Label' /Value 'two' ] [D /CaseValue 3 /Name 'Label' /Value 'three' ]"
    "        [D /CaseValue 4 /Name 'Label' /Value 'four' ] [D /CaseValue 2 /Name 'Len' /Value 0.7 ] ] ] ] ] ] ]"
    "  [D /Type 'ENUM' /Name 'Lost' /TreeUPID 12 /DefValueIfNotInTree 9 /OnChange [A [D /Name 'CalculateControlParameters' ] ]"
    "     /ENumDef [A [D /Value 1 /OnSelect [A ]] ] ]"
    "  [D /Type 'ENUM' /Name 'Bad' /TreeUPID 13 /DefValueIfNotInTree 0 /ENumDef [A"
    "     [D /Value 1 /OnSelect [A ] /OnSelectCaseInt [A [D /CaseVar 'Count' /CaseArr [A ] ] ] ] ] ]"
    "  [D /Type 'ENUM' /Name 'NoSelect' /TreeUPID 14 /DefValueIfNotInTree 0 /ENumDef [A [D /Value 1 ] ] ] ]";

class RulesTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        tree.String(6220, "ABC");
        tree.Integer(4200, 0);
        Adf("ABC.adf", RulesFile);
        man.SetProcedureMethod("CalculateFFValues", [this] { ff.push_back(D("Len").FRuleValue); });
        man.SetProcedureMethod("CalculateControlParameters", [this] { ++control; });
        ASSERT_TRUE(Start());
        ff.clear();
        control = 0;
    }
    MyAnsiString Label() { return dynamic_cast<TWizValString&>(*man.GetWizValWithName("Label")).FValue; }
    TWizValDouble& Sel() { return dynamic_cast<TWizValDouble&>(*man.GetWizValWithName("Sel")); }

    std::vector<double> ff;
    int control = 0;
};

TEST_F(RulesTest, NestedSelectionCompletesBeforeTheOuterNextItem) {
    E("Outer").FRuleValue = 1;
    man.ParameterChange("Outer");
    EXPECT_EQ(E("Inner").FRuleValue, 5);
    EXPECT_EQ(Label(), "inner");
    EXPECT_EQ(ff, (std::vector<double>{0.2, 0.5}));
    EXPECT_EQ(D("Len").FRuleValue, 0.5);
    // An INTEGER value is not assigned; an unknown name is ignored.
    EXPECT_EQ(dynamic_cast<TWizValInteger&>(*man.GetWizValWithName("Count")).FValue, 4);
}

TEST_F(RulesTest, InitializingMovesDefaultAndRecommendationOnly) {
    man.FInitializing = true;
    E("Outer").FRuleValue = 1;
    man.ParameterChange("Outer");
    EXPECT_EQ(D("Len").FDefaultValue, 0.5);
    EXPECT_EQ(D("Len").FRuleValue, 0.5);
    EXPECT_EQ(D("Len").FTreeValue, 0.0);
    EXPECT_EQ(E("Inner").FTreeValue, 0);

    man.FInitializing = false;
    man.ParameterChange("Outer");
    EXPECT_EQ(D("Len").FTreeValue, 0.5);
    EXPECT_EQ(E("Inner").FTreeValue, 5);
}

TEST_F(RulesTest, SelectorIsRoundedHalfToEvenAndEveryMatchingCaseApplies) {
    struct Case {
        double sel;
        const char* label;
        double len;
    };
    for (const Case& c : {Case{2.5, "two", 0.7}, Case{3.5, "four", 0.1}, Case{3.49, "three", 0.1}, Case{-7, "x", 0.1}}) {
        SCOPED_TRACE(c.sel);
        dynamic_cast<TWizValString&>(*man.GetWizValWithName("Label")).FValue = "x";
        D("Len").FRuleValue = 0.1;
        Sel().FValue = c.sel;
        E("Mode").FRuleValue = 1;
        man.ParameterChange("Mode");
        EXPECT_EQ(Label(), c.label);
        EXPECT_EQ(D("Len").FRuleValue, c.len);
    }
}

TEST_F(RulesTest, NoMatchingEntryRunsNoProcedure) {
    man.ParameterChange("Lost");
    EXPECT_EQ(control, 0);
    E("Lost").FRuleValue = 1;
    man.ParameterChange("Lost");
    EXPECT_EQ(control, 1);
}

TEST_F(RulesTest, ProceduresAreFoundByNameAndAliasesRunTheSameMethod) {
    D("Len").FRuleValue = 0.3;
    man.ValueChange("Mass");
    EXPECT_EQ(ff, std::vector<double>{0.3});
    man.ValueChange("Nothing");
    man.RunProcedure("CalculateDCMotForceConstant");
    man.RunProcedure("NoSuchProcedure");
    EXPECT_EQ(ff.size(), 1u);
    ASSERT_NE(man.FindProcedure("calculatecontrolparameters_brenno"), nullptr);
    EXPECT_EQ(man.FindProcedure("CalculateControlParameters_Brenno")->FMethod, "CalculateControlParameters");
}

TEST_F(RulesTest, ErrorsOfTheFileReachTheCaller) {
    E("Bad").FRuleValue = 1;
    ExpectError([&] { man.ParameterChange("Bad"); }, "Invalid class typecast");
    E("NoSelect").FRuleValue = 1;
    ExpectError([&] { man.ParameterChange("NoSelect"); }, "TSLDictionary error: no object named OnSelect");
}

TEST_F(WizardTest, RuleChainThatLeadsBackIsNotEnteredAgain) {
    tree.String(6220, "ABC");
    Adf("ABC.adf", "/MCParameters [A"
                   " [D /Type 'ENUM' /Name 'CycA' /TreeUPID 9 /DefValueIfNotInTree 1 /ENumDef [A"
                   "   [D /Value 1 /OnSelect [A [D /Name 'CycB' /Value 1 ] ] ] ] ]"
                   " [D /Type 'ENUM' /Name 'CycB' /TreeUPID 10 /DefValueIfNotInTree 1 /ENumDef [A"
                   "   [D /Value 1 /OnSelect [A [D /Name 'CycA' /Value 1 ] ] ] ] ] ]");
    ASSERT_TRUE(Start());
    ASSERT_FALSE(man.ErrorLines().empty());
    EXPECT_NE(man.ErrorLines()[0].find("\"CycA\""), std::string::npos);
}

} // namespace
} // namespace vo::test
