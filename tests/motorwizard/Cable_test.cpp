// Extension cable resistance added to the coil, by cable type and number of
// phases, against hand-computed cables.
#include <gtest/gtest.h>

#include "tests/motorwizard/ProcFixture.h"

namespace vo::test {
namespace {

class CableTest : public ProcTest {};

TEST_F(CableTest, ResistanceByTypePhasesAndProcedure) {
    Load();
    struct Case {
        const char* procedure;
        std::int64_t phases, type1, type2;
        double ext;
    };
    // Cable 1: 5 m, own 0.02 ohm/m, generic 0.05; cable 2: 2 m, own 0.01,
    // generic 0.03; coil 1.5 ohm.
    const Case cases[] = {
        {"CalculateCableResistance", 2, 2, 0, 0.2},
        {"CalculateCableResistance", 3, 2, 0, 0.1},
        {"CalculateCableResistance", 1, 2, 0, 0.2},
        {"CalculateCableResistance", 0, 2, 0, 0.1},
        {"CalculateCableResistance", 3, 1, 0, 0.25},
        {"CalculateCableResistance", 3, 2, 1, 0.16},
        {"CalculateCableResistance", 2, 7, 3, 0.24},
        {"CalculateCableResistance", 2, 0, 0, 0.0},
        {"Calculate3PhCableResistance", 2, 2, 0, 0.1},
        {"CalculateCableResistance_Brenno", 1, 2, 1, 0.16},
        {"Calculate1PhCableResistance", 2, 2, 2, 0.31}, // generic resistivities only
        {"Calculate1PhCableResistance", 2, 0, 0, 0.31},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.procedure) + " " + std::to_string(c.phases) + " " + std::to_string(c.type1) + " " +
                     std::to_string(c.type2));
        SetEnum("Com_NumberOfPhases", c.phases);
        SetEnum("Cable1_Type", c.type1);
        SetEnum("Cable2_Type", c.type2);
        Set("Cable1_Length", 5);
        Set("Cable2_Length", 2);
        Set("Cable1_Resistivity", 0.02);
        Set("Cable1_Resistivity_Gen", 0.05);
        Set("Cable2_Resistivity", 0.01);
        Set("Cable2_Resistivity_Gen", 0.03);
        Set("Coil_Resistance", 1.5);
        man.RunProcedure(c.procedure);
        EXPECT_NEAR(D("Ext_Cable_Resistance").FRuleValue, c.ext, 1e-12);
        EXPECT_NEAR(D("Ext_Cable_Resistance").FDefaultValue, c.ext, 1e-12);
        EXPECT_NEAR(D("Ext_Cable_Resistance").FTreeValue, c.ext, 1e-12);
        EXPECT_NEAR(V("Total_Resistance").FValue, 1.5 + c.ext, 1e-12);
    }
    EXPECT_TRUE(man.ErrorLines().empty());
}

TEST_F(CableTest, InitializingKeepsTheDriveValue) {
    Load();
    SetEnum("Cable1_Type", 2);
    Set("Cable1_Length", 5);
    Set("Cable1_Resistivity", 0.02);
    D("Ext_Cable_Resistance").FTreeValue = 0.7;
    man.FInitializing = true;
    man.RunProcedure("Calculate3PhCableResistance");
    EXPECT_EQ(D("Ext_Cable_Resistance").FTreeValue, 0.7);
    EXPECT_NEAR(D("Ext_Cable_Resistance").FDefaultValue, 0.1, 1e-12);
}

TEST_F(CableTest, MissingCableItemChangesNothing) {
    Load({"Cable2_Resistivity"});
    SetEnum("Cable1_Type", 2);
    Set("Cable1_Length", 5);
    Set("Cable1_Resistivity", 0.02);
    man.RunProcedure("CalculateCableResistance");
    EXPECT_EQ(D("Ext_Cable_Resistance").FRuleValue, 0);
    ASSERT_EQ(man.ErrorLines().size(), 1u);
    EXPECT_NE(man.ErrorLines()[0].find("Cable2_Resistivity"), std::string::npos);
}

} // namespace
} // namespace vo::test
