// Rotary EC motors (external sensor per revolution, measured feedback
// period), the count direction, DC motors and the pages of linear-rotary
// motors, against hand-computed cases; the aborted divisions; and the
// registry's names, each of which now runs a body.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "tests/motorwizard/ProcFixture.h"

namespace vo::test {
namespace {

constexpr double Pi = std::numbers::pi;
const char* const Aborted = "Calculation aborted (division by zero)!";

class RotaryTest : public ProcTest {
protected:
    // The sample EC motor: 4096 counts of 1.2207 um per revolution, four
    // pole pairs, 3 ohm and 4 mH phase to phase, 0.0005 V s/rad.
    void ECMotor() {
        Set("ExtSensor_CountsPerRev", 4096);
        Set("ExtSensor_Resolution", 1.2207e-6);
        Set("NoOfPolePairs", 4);
        Set("PhasePhase_Resistance", 3.0);
        Set("PhasePhase_Inductance", 0.004);
        Set("BEMFConstant", 0.0005);
        SetEnum("PosRec_Mode", 0);
        for (const char* n : {"Com_PeriodLength", "MotSen_Resolution", "MotSen_Hall_Distance_Err", "Force_Constant",
                              "SSI_Resolution"}) {
            D(n).FRuleValue = D(n).FTreeValue = 0.125;
            D(n).FErrorFlag = false;
            D(n).FInfoText.clear();
        }
        V("LinBEMFConstant").FValue = 0.125;
        V("LinBEMFConstant").FErrorFlag = false;
        V("LinBEMFConstant").FInfoText.clear();
        D("Force_Constant").FMaxValue = 10;
        dialog.refreshes.clear();
    }
    // The sample DC motor: 80 degrees winding limit at 40 degrees around
    // it, 2 ohm, 2 A nominal, 1 kg, 5000 counts of 1 um, four pole pairs.
    void DCMotor() {
        Set("TempModelPar_MaxWindingTemp", 353.15);
        Set("TempModelPar_EnvironmentTemp", 313.15);
        Set("Coil_Resistance", 2);
        Set("Nominal_Current", 2);
        Set("Motor_Mass", 1);
        Set("ExtSensor_CountsPerRev", 5000);
        Set("ExtSensor_Resolution", 1e-6);
        Set("NoOfPolePairs", 4);
        Set("BEMFConstant", 0.0005);
        D("Force_Constant").FRuleValue = D("Force_Constant").FTreeValue = 0.125;
    }
    // A unit of its own for the back EMF constant and the force constant.
    void ForceUnits() {
        tree.Unit(2, 1e-3, "Vs/m", 1e-3);
        tree.Unit(3, 1e-2, "N/A", 1e-2);
        V("LinBEMFConstant").FUUID = 2;
        D("Force_Constant").FUUID = 3;
    }
};

TEST_F(RotaryTest, EveryRegisteredNameRunsABody) {
    const char* const names[] = {
        "CalculateMotorProperty", "CalculateMotorPropertyK52", "CalculateMotorPropertyTolvar",
        "CalculateMotorPropertyLinRot", "CalculateMotorPropertyLinRotG2", "CalculateStrokeRangeLinRotG2",
        "CalculateMotorProperty_Brenno", "BuildModuleActuatorName", "CalculateCableResistance",
        "CalculateCableResistance_Brenno", "CalculateFFValues", "CalculateFFValues_Brenno",
        "CalculateControlParameters", "CalculateControlParameters_Brenno", "ChangeExtSensorType", "SetDistanceA",
        "SetDistanceB", "SetDistanceAK52", "SetDistanceBK52", "SetDistanceALinRotG2", "SetDistanceBLinRotG2",
        "SetDistanceA_Brenno", "SetDistanceB_Brenno", "CalculateStrokeRange", "CalculateStrokeRangeK52",
        "CalculateModuleStrokeRange", "CalculateStrokeRange_Brenno", "CalculateECMotorTypeAProperty",
        "CalculateECMotorTypeBProperty", "Calculate3PhCableResistance", "ChangeECMotorCountDirection",
        "SetExtSensor_Resolution2", "SetFBOnX3PeriodLength", "LinRotUpdatePageVisibility", "CalculateDCMotorProperty",
        "Calculate1PhCableResistance", "CalculateDCMotForceConstant", "CalculateDCMotTempModelPar"};
    ASSERT_EQ(man.GetProcedureCount(), 38);
    for (int i = 0; i < 38; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(man.GetProcedureName(i), names[i]);
        // The last two do nothing on purpose.
        EXPECT_EQ(man.ProcedureHasBody(names[i]), i < 36);
    }
    EXPECT_TRUE(man.ProcedureHasBody("SETEXTSENSOR_RESOLUTION2"));
}

TEST_F(RotaryTest, TypeAFromCountsResolutionAndPolePairs) {
    Load();
    struct Case {
        const char* name;
        double polePairs;
        std::int64_t posRecMode, ssiBits;
        double period, ssi;
    };
    const double r2 = 0.0049999872; // 4096 x 1.2207e-6
    const Case cases[] = {
        {"four pole pairs", 4, 0, 12, 0.0012499968, 0.125},
        {"2.5 rounds to 2", 2.5, 0, 12, 0.0024999936, 0.125},
        {"3.5 rounds to 4", 3.5, 0, 12, 0.0012499968, 0.125},
        {"SSI with 12 bits", 4, 4, 12, 0.0012499968, 0.0000012207},
        {"SSI with 44 bits counts 12", 4, 4, 44, 0.0012499968, 0.0000012207},
        {"SSI with 31 bits stays positive", 4, 4, 31, 0.0012499968, 2.32830047607421875e-12},
        {"mode 3 is no SSI", 4, 3, 12, 0.0012499968, 0.125},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ECMotor();
        Set("NoOfPolePairs", c.polePairs);
        SetEnum("PosRec_Mode", c.posRecMode);
        SetEnum("SSI_PositionBits", c.ssiBits);
        man.RunProcedure("CalculateECMotorTypeAProperty");
        EXPECT_DOUBLE_EQ(D("Coil_Resistance").FRuleValue, 1.5);
        EXPECT_DOUBLE_EQ(D("Coil_Inductivity").FTreeValue, 0.002);
        EXPECT_NEAR(V("ExtSensor_Resolution2").FValue, r2, 1e-18);
        EXPECT_NEAR(D("PhaseSearch_MaxPos").FRuleValue, 0.0149999616, 1e-17);
        EXPECT_NEAR(D("PhaseSearch_MaxSpeed").FTreeValue, 0.00049999872, 1e-18);
        EXPECT_NEAR(D("SSI_Resolution").FRuleValue, c.ssi, c.ssi * 1e-12);
        EXPECT_NEAR(D("Com_PeriodLength").FRuleValue, c.period, 1e-18);
        EXPECT_NEAR(D("Com_PeriodLength").FTreeValue, c.period, 1e-18);
        EXPECT_EQ(D("Com_PeriodLength").FDefaultValue, 0); // set, not recommended
        EXPECT_NEAR(D("MotSen_Resolution").FRuleValue, c.period / 4, 1e-18);
        EXPECT_NEAR(D("MotSen_Hall_Distance_Err").FRuleValue, c.period / 12, 1e-18);
        // sqrt(2) x 60 x 0.0005 / 0.0049999872
        EXPECT_NEAR(D("Force_Constant").FRuleValue, 8.48530309661449762, 1e-12);
        EXPECT_NEAR(V("LinBEMFConstant").FValue, 8.48530309661449762, 1e-12);
        EXPECT_FALSE(D("Force_Constant").FErrorFlag);
        EXPECT_FALSE(D("Com_PeriodLength").FErrorFlag);
        EXPECT_EQ(dialog.refreshes, std::vector<std::string>{"page 11"});
    }
    EXPECT_TRUE(man.ErrorLines().empty());
}

TEST_F(RotaryTest, TypeAPeriodThatIsNoIncrementAborts) {
    Load();
    struct Case {
        const char* name;
        double counts, polePairs;
        const char* periodText;
        double period; // the period's recommendation afterwards
    };
    const Case cases[] = {
        // 1 x 0.1 um / 4 is a quarter of the drive's increment.
        {"period under one increment", 1, 4, "Value must not be zero!", 0.1e-6 / 4},
        {"no counts", 0, 4, "Value must not be zero!", 0},
        {"no pole pairs", 4096, 0, Aborted, 0.125},
        {"0.4 pole pairs round to none", 4096, 0.4, Aborted, 0.125},
        {"nothing at all", 0, 0, Aborted, 0.125},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ECMotor();
        Set("ExtSensor_CountsPerRev", c.counts);
        Set("ExtSensor_Resolution", 1e-7);
        Set("NoOfPolePairs", c.polePairs);
        man.RunProcedure("CalculateECMotorTypeAProperty");
        EXPECT_TRUE(D("Com_PeriodLength").FErrorFlag);
        EXPECT_EQ(D("Com_PeriodLength").FInfoText, c.periodText);
        EXPECT_DOUBLE_EQ(D("Com_PeriodLength").FRuleValue, c.period);
        EXPECT_TRUE(std::isfinite(D("Com_PeriodLength").FTreeValue));
        EXPECT_EQ(D("Force_Constant").FRuleValue, 0);
        EXPECT_EQ(D("Force_Constant").FTreeValue, 0.125);
        EXPECT_TRUE(D("Force_Constant").FErrorFlag);
        EXPECT_EQ(D("Force_Constant").FInfoText, Aborted);
        EXPECT_EQ(V("LinBEMFConstant").FValue, 0);
        EXPECT_TRUE(V("LinBEMFConstant").FErrorFlag);
        EXPECT_EQ(V("LinBEMFConstant").FInfoText, Aborted);
        EXPECT_EQ(D("MotSen_Resolution").FRuleValue, 0.125);
        EXPECT_EQ(D("MotSen_Hall_Distance_Err").FRuleValue, 0.125);
        EXPECT_EQ(dialog.refreshes, std::vector<std::string>{"page 11"});
    }
    // A later good calculation clears every flag again.
    ECMotor();
    D("Com_PeriodLength").FErrorFlag = D("Force_Constant").FErrorFlag = V("LinBEMFConstant").FErrorFlag = true;
    man.RunProcedure("CalculateECMotorTypeAProperty");
    EXPECT_FALSE(D("Com_PeriodLength").FErrorFlag);
    EXPECT_FALSE(D("Force_Constant").FErrorFlag);
    EXPECT_FALSE(V("LinBEMFConstant").FErrorFlag);
}

TEST_F(RotaryTest, BackEMFTooHighForTheForceConstantsMaximum) {
    Load();
    ForceUnits();
    ECMotor();
    man.RunProcedure("CalculateECMotorTypeAProperty");
    const double kf = D("Force_Constant").FRuleValue;
    ASSERT_NEAR(kf, 8.48530309661449762, 1e-12);
    struct Case {
        const char* name;
        double max;
        bool high;
        const char *linText, *fcText;
    };
    const Case cases[] = {
        {"at the maximum", kf, true, "8.485 Vs/m", "8.49 N/A"},
        {"maximum 8", 8, true, "8 Vs/m", "8 N/A"},
        {"under the maximum", 10, false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ECMotor();
        D("Force_Constant").FMaxValue = c.max;
        man.RunProcedure("CalculateECMotorTypeAProperty");
        EXPECT_EQ(D("Force_Constant").FErrorFlag, c.high);
        EXPECT_EQ(V("LinBEMFConstant").FErrorFlag, c.high);
        EXPECT_EQ(V("LinBEMFConstant").FInfoText, c.high ? LangTextFmt("BackEMFTooHigh", {c.linText}) : "");
        EXPECT_EQ(D("Force_Constant").FInfoText, c.high ? LangTextFmt("BackEMFTooHigh", {c.fcText}) : "");
        // The values are set all the same.
        EXPECT_NEAR(D("Force_Constant").FTreeValue, 8.48530309661449762, 1e-12);
        EXPECT_NEAR(D("MotSen_Resolution").FRuleValue, 0.0003124992, 1e-18);
    }
    EXPECT_NE(LangTextFmt("BackEMFTooHigh", {"8 N/A"}).find("8 N/A"), std::string::npos);
}

TEST_F(RotaryTest, TypeBFromTheFeedbackPeriod) {
    Load();
    struct Case {
        const char* name;
        bool initializing;
        double angle, hall;
    };
    const Case cases[] = {
        {"hall angle 60 degrees", false, 60, 0.002 / 6},
        {"while initializing", true, 60, 0.002 / 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ECMotor();
        Set("BEMFConstant", 0.0001);
        Set("MotSen_Hall_Distance_Err_Angle", c.angle);
        Set("Com_PeriodLength", 0.002);
        man.FInitializing = c.initializing;
        man.RunProcedure("CalculateECMotorTypeBProperty");
        const double kept = 0.125;
        EXPECT_EQ(D("Com_PeriodLength").FTreeValue, c.initializing ? kept : 0.002);
        EXPECT_DOUBLE_EQ(V("FBOnX3PeriodLength").FValue, 0.008);
        // sqrt(2) x 60 x 0.0001 / 0.002
        EXPECT_NEAR(D("Force_Constant").FRuleValue, 4.24264068711928515, 1e-12);
        EXPECT_EQ(D("Force_Constant").FTreeValue, c.initializing ? kept : D("Force_Constant").FRuleValue);
        EXPECT_DOUBLE_EQ(D("MotSen_Resolution").FRuleValue, 0.0005);
        EXPECT_NEAR(D("MotSen_Hall_Distance_Err").FRuleValue, c.hall, 1e-18);
        EXPECT_EQ(D("SSI_Resolution").FRuleValue, kept); // no sensor steps
        EXPECT_EQ(dialog.refreshes, std::vector<std::string>{"page 12"});
    }
}

TEST_F(RotaryTest, TypeBWithoutHallAngleTakesATwelfth) {
    Load({"MotSen_Hall_Distance_Err_Angle"});
    ECMotor();
    Set("Com_PeriodLength", 0.003);
    man.RunProcedure("CalculateECMotorTypeBProperty");
    EXPECT_DOUBLE_EQ(D("MotSen_Hall_Distance_Err").FRuleValue, 0.00025);
    EXPECT_TRUE(man.ErrorLines().empty());
}

TEST_F(RotaryTest, FeedbackPeriodEntry) {
    Load();
    struct Case {
        const char* name;
        double polePairs, period;
        bool aborted;
    };
    const Case cases[] = {
        {"four pole pairs", 4, 0.002, false},
        {"2.5 rounds to 2", 2.5, 0.004, false},
        {"no pole pairs", 0, 0.125, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ECMotor();
        Set("BEMFConstant", 0.0001);
        Set("MotSen_Hall_Distance_Err_Angle", 90);
        Set("NoOfPolePairs", c.polePairs);
        V("FBOnX3PeriodLength").FValue = 0.008;
        man.RunProcedure("SetFBOnX3PeriodLength");
        EXPECT_DOUBLE_EQ(D("Maximal_Feedback_Difference").FRuleValue, 0.002);
        EXPECT_DOUBLE_EQ(D("Com_PeriodLength").FRuleValue, c.period);
        EXPECT_DOUBLE_EQ(D("Com_PeriodLength").FTreeValue, c.period);
        EXPECT_EQ(D("Com_PeriodLength").FErrorFlag, c.aborted);
        EXPECT_EQ(D("Force_Constant").FInfoText, c.aborted ? Aborted : "");
        EXPECT_EQ(D("Com_PeriodLength").FInfoText, c.aborted ? Aborted : "");
        EXPECT_DOUBLE_EQ(D("MotSen_Hall_Distance_Err").FRuleValue, c.aborted ? 0.125 : c.period / 4);
        EXPECT_DOUBLE_EQ(V("FBOnX3PeriodLength").FValue, 0.008);
        EXPECT_EQ(dialog.refreshes, std::vector<std::string>{"page 12"});
    }
}

TEST_F(RotaryTest, CountDirectionMirrorsThePhaseAngle) {
    Load();
    struct Case {
        const char* name;
        double angle, max;
        bool initializing, changeActuator;
        double result;
    };
    const Case cases[] = {
        {"1 rad", 1.0, 2 * Pi, false, false, 5.28318530717958623},
        {"0 rad is 2 pi, above a lower maximum", 0, 6.28, false, false, 0},
        {"0 rad is 2 pi, the maximum itself", 0, 2 * Pi, false, false, 2 * Pi},
        {"above 2 pi turns negative", 7, 10, false, false, 0},
        {"while initializing", 1.0, 2 * Pi, true, false, 1.0},
        {"while the actuator changes", 1.0, 2 * Pi, false, true, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        D("Com_PhaseAngle").FRuleValue = D("Com_PhaseAngle").FTreeValue = c.angle;
        D("Com_PhaseAngle").FMaxValue = c.max;
        man.FInitializing = c.initializing;
        man.FChangeActuator = c.changeActuator;
        man.RunProcedure("ChangeECMotorCountDirection");
        EXPECT_NEAR(D("Com_PhaseAngle").FRuleValue, c.result, 1e-15);
        EXPECT_NEAR(D("Com_PhaseAngle").FTreeValue, c.result, 1e-15);
    }
    man.FChangeActuator = false;
}

TEST_F(RotaryTest, DCMotorThermalModelAndForceConstant) {
    Load();
    struct Case {
        const char* name;
        double nominal, bemf, polePairs;
        bool initializing;
        double rth, fc, period;
    };
    const Case cases[] = {
        // (80 - 40) K / (2 ohm x (2 A)^2) = 5 K/W; sqrt(2) x 60 x 0.0005 / 0.005
        {"sample", 2, 0.0005, 4, false, 5, 8.48528137423857029, 0.00125},
        {"no back EMF keeps the force constant", 2, 0, 4, false, 5, 0.125, 0.00125},
        {"no nominal current", 0, 0.0005, 4, false, 0, 8.48528137423857029, 0.00125},
        {"no pole pairs", 2, 0.0005, 0, false, 5, 8.48528137423857029, 0.125},
        {"while initializing", 2, 0.0005, 4, true, 5, 8.48528137423857029, 0.00125},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DCMotor();
        Set("Nominal_Current", c.nominal);
        Set("BEMFConstant", c.bemf);
        Set("NoOfPolePairs", c.polePairs);
        D("Com_PeriodLength").FRuleValue = D("Com_PeriodLength").FTreeValue = 0.125;
        D("TempModelPar_CWinding").FTreeValue = 0.125;
        man.FInitializing = c.initializing;
        man.RunProcedure("CalculateDCMotorProperty");
        EXPECT_DOUBLE_EQ(V("ExtSensor_Resolution2").FValue, 0.005);
        EXPECT_NEAR(D("TempModelPar_RWOutHousing").FRuleValue, c.rth / 10, 1e-12);
        EXPECT_NEAR(D("TempModelPar_RHousingMounting").FRuleValue, c.rth / 10, 1e-12);
        EXPECT_NEAR(D("TempModelPar_RMountingEnvironment").FRuleValue, c.rth * 0.8, 1e-12);
        EXPECT_DOUBLE_EQ(D("TempModelPar_CWinding").FRuleValue, 96.25);
        EXPECT_DOUBLE_EQ(D("TempModelPar_CHousing").FRuleValue, 48.125);
        EXPECT_DOUBLE_EQ(D("TempModelPar_CMounting").FRuleValue, 48.125);
        EXPECT_EQ(D("TempModelPar_CWinding").FTreeValue, c.initializing ? 0.125 : 96.25);
        EXPECT_EQ(D("TempModelPar_CWinding").FDefaultValue, 0);
        EXPECT_NEAR(D("Force_Constant").FRuleValue, c.fc, 1e-12);
        EXPECT_DOUBLE_EQ(D("Com_PeriodLength").FRuleValue, c.period);
        EXPECT_EQ(D("Com_PeriodLength").FErrorFlag, c.polePairs == 0);
        EXPECT_EQ(D("Com_PeriodLength").FInfoText, c.polePairs == 0 ? Aborted : "");
    }
}

TEST_F(RotaryTest, DistancePerRevolutionEntry) {
    Load();
    struct Case {
        const char* name;
        std::int32_t type;
        double counts, resolution;
        std::vector<std::string> refreshes;
        double period;
    };
    const Case cases[] = {
        {"EC type A", 6, 5000, 1e-6, {"page 11", "all"}, 0.00125},
        {"DC motor", 11, 5000, 1e-6, {"all"}, 0.00125},
        {"other actuator", 0, 5000, 1e-6, {"all"}, 0.125},
        {"no counts", 6, 0, 0.125, {"all"}, 0.125},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ECMotor();
        DCMotor();
        I("Actuator_Type").FValue = c.type;
        Set("ExtSensor_CountsPerRev", c.counts);
        D("ExtSensor_Resolution").FRuleValue = 0.125;
        V("ExtSensor_Resolution2").FValue = 0.005;
        man.RunProcedure("SetExtSensor_Resolution2");
        EXPECT_DOUBLE_EQ(D("ExtSensor_Resolution").FRuleValue, c.resolution);
        EXPECT_EQ(D("ExtSensor_Resolution").FErrorFlag, c.counts == 0);
        EXPECT_EQ(D("ExtSensor_Resolution").FInfoText, c.counts == 0 ? Aborted : "");
        EXPECT_DOUBLE_EQ(V("ExtSensor_Resolution2").FValue, 0.005);
        EXPECT_DOUBLE_EQ(D("Com_PeriodLength").FRuleValue, c.period);
        EXPECT_EQ(dialog.refreshes, c.refreshes);
    }
}

TEST_F(RotaryTest, MissingItemLogsOneLineAndChangesNothing) {
    Load({"BEMFConstant", "TempModelPar_CMounting", "Com_PhaseAngle"});
    ECMotor();
    DCMotor();
    struct Case {
        const char *proc, *item;
    };
    const Case cases[] = {
        {"CalculateECMotorTypeAProperty", "BEMFConstant"},
        {"CalculateECMotorTypeBProperty", "BEMFConstant"},
        {"SetFBOnX3PeriodLength", "BEMFConstant"},
        {"CalculateDCMotorProperty", "BEMFConstant"},
        {"ChangeECMotorCountDirection", "Com_PhaseAngle"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proc);
        const std::size_t before = man.ErrorLines().size();
        man.RunProcedure(c.proc);
        ASSERT_EQ(man.ErrorLines().size(), before + 1);
        const MyAnsiString& line = man.ErrorLines().back();
        EXPECT_EQ(line.rfind(c.proc, 0), 0u) << line;
        EXPECT_NE(line.find(c.item), std::string::npos) << line;
    }
    EXPECT_EQ(D("Coil_Resistance").FRuleValue, 2);
    EXPECT_EQ(D("Com_PeriodLength").FRuleValue, 0.125);
    EXPECT_EQ(D("TempModelPar_CWinding").FRuleValue, 0);
    EXPECT_TRUE(dialog.refreshes.empty());
}

// Pages of a linear-rotary motor: homing (6) and rotary homing (13) go
// when the position is recovered at power-up (mode 3).
class LinRotPagesTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        tree.String(6220, "ABC");
    }
    void File(const std::string& pages, bool withMode = true) {
        const std::string mode = withMode ? "[D /Type 'ENUM' /Name 'PosRec_Mode' /TreeUPID 7001 /DefValueIfNotInTree 0"
                                            " /ENumDef [A [D /Value 0 /OnSelect [A ]] [D /Value 3 /OnSelect [A ]] ]"
                                            " /OnChange [A [D /Name 'LinRotUpdatePageVisibility' ] ] ]"
                                          : "";
        Adf("ABC.adf", "/MCParameters [A " + mode + " [D /Type 'DOUBLE' /Name 'Len' /TreeUPID 7002 ] ] /WizardPages [A " + pages + "]");
        ASSERT_TRUE(Start());
        man.FInitializing = false;
        dialog.refreshes.clear();
    }
    static std::string Page(int id, const std::string& more = "") {
        return "[D /PageID " + std::to_string(id) + " " + more + " /PageInfo [A ] ]";
    }
    std::vector<int> Shown() const {
        std::vector<int> pages;
        for (int i = 0; i < man.GetPageCount(); ++i) pages.push_back(man.GetWizardPage(i).FPage);
        return pages;
    }
    void Mode(std::int64_t m) {
        E("PosRec_Mode").FRuleValue = m;
        man.RunProcedure("LinRotUpdatePageVisibility");
    }
};

TEST_F(LinRotPagesTest, ModeThreeHidesTheHomingPagesOnce) {
    File(Page(11) + Page(12) + Page(6) + Page(13));
    struct Step {
        std::int64_t mode;
        std::vector<int> shown;
        std::size_t refreshes;
    };
    const Step steps[] = {
        {0, {11, 12, 6, 13}, 0}, // already shown
        {3, {11, 12}, 1},
        {3, {11, 12}, 1}, // no change, no refresh
        {1, {11, 12, 6, 13}, 2},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.mode);
        Mode(s.mode);
        EXPECT_EQ(Shown(), s.shown);
        EXPECT_EQ(dialog.refreshes, std::vector<std::string>(s.refreshes, "all"));
    }
}

TEST_F(LinRotPagesTest, RebuildKeepsTheFileOrderAndTheCurrentPage) {
    // Page 13 first and page 7 hidden (its parameter is missing): the
    // positions are neither dense nor at the end.
    File(Page(13) + Page(11) + Page(7, "/VisibleIfParsExisting [A 'Nothing' ]") + Page(6) + Page(12));
    ASSERT_EQ(Shown(), (std::vector<int>{13, 11, 6, 12}));
    man.FPageIndex = 3; // page 12
    Mode(3);
    EXPECT_EQ(Shown(), (std::vector<int>{11, 12}));
    EXPECT_EQ(man.GetWizardPage(man.FPageIndex).FPage, 12);
    Mode(0);
    EXPECT_EQ(Shown(), (std::vector<int>{13, 11, 6, 12}));
    EXPECT_EQ(man.GetWizardPage(man.FPageIndex).FPage, 12);
    // On a page that goes, the index stays within the list.
    man.FPageIndex = 3;
    man.SelectPreviousPage(); // page 6
    Mode(3);
    EXPECT_LT(man.FPageIndex, man.GetPageCount());
}

TEST_F(LinRotPagesTest, PageTheFileDoesNotListIsNotAdded) {
    File(Page(11) + Page(6));
    Mode(3);
    EXPECT_EQ(Shown(), std::vector<int>{11});
    Mode(0);
    EXPECT_EQ(Shown(), (std::vector<int>{11, 6}));
}

TEST_F(LinRotPagesTest, WithoutRecoveryModeNothingHappens) {
    File(Page(11) + Page(6) + Page(13), false);
    man.RunProcedure("LinRotUpdatePageVisibility");
    EXPECT_EQ(Shown(), (std::vector<int>{11, 6, 13}));
    EXPECT_TRUE(dialog.refreshes.empty());
    EXPECT_TRUE(man.ErrorLines().empty());
}

// The sample EC motor of data/Motors on a drive that has its parameters:
// the rules run the procedures when the user enters values.
class SampleECMotorTest : public WizardTest {
protected:
    void SetUp() override {
        WizardTest::SetUp();
        man.SetMotorsFolder(DataDir() + "/Motors");
        tree.String(6220, "EC-4022");
        tree.Unit(1, 1e-7, "mm", 1e-4); // positions: 0.1 um per increment
        tree.Unit(3, 1e-2, "N/A", 1e-2);
        for (std::int32_t upid = 4300; upid <= 4313; ++upid) tree.Integer(upid, 0);
        for (std::int32_t upid : {4301, 4306, 4307, 4308, 4309, 4310}) tree.pars.at(upid)->uuid = 1;
        tree.pars.at(4305)->uuid = 3;
    }
    std::vector<int> Shown() const {
        std::vector<int> pages;
        for (int i = 0; i < man.GetPageCount(); ++i) pages.push_back(man.GetWizardPage(i).FPage);
        return pages;
    }
    TWizValDouble& V(const char* n) { return dynamic_cast<TWizValDouble&>(*man.GetWizValWithName(n)); }
};

TEST_F(SampleECMotorTest, RulesRunTheRotaryProcedures) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(man.ADFName(), "EC-4022");
    EXPECT_TRUE(man.ErrorLines().empty());
    EXPECT_EQ(Shown(), (std::vector<int>{9, 11, 6, 13}));
    // The start recommends from the file's encoder and leaves the drive.
    EXPECT_NEAR(D("Com_PeriodLength").FRuleValue, 0.0012499968, 1e-18);
    EXPECT_EQ(D("Com_PeriodLength").FTreeValue, 0);
    EXPECT_DOUBLE_EQ(D("Coil_Resistance").FRuleValue, 0.6);
    // sqrt(2) x 60 x 0.005 / 0.0049999872
    EXPECT_NEAR(D("Force_Constant").FRuleValue, 84.8530309661449763, 1e-10);
    EXPECT_FALSE(D("Force_Constant").FErrorFlag);
    man.FInitializing = false;
    dialog.refreshes.clear();

    // A 4 mm spindle: 4 mm / 4096 counts per count.
    V("ExtSensor_Resolution2").FValue = 0.004;
    man.ValueChange("ExtSensor_Resolution2");
    EXPECT_DOUBLE_EQ(D("ExtSensor_Resolution").FTreeValue, 9.765625e-7);
    EXPECT_DOUBLE_EQ(D("Com_PeriodLength").FTreeValue, 0.001);
    EXPECT_DOUBLE_EQ(D("MotSen_Resolution").FTreeValue, 0.00025);
    EXPECT_NEAR(D("Force_Constant").FTreeValue, 106.066017177982129, 1e-10); // sqrt(2) x 60 x 0.005 / 0.004
    EXPECT_EQ(dialog.refreshes, (std::vector<std::string>{"page 11", "all"}));

    // The other counting direction mirrors the commutation angle.
    D("Com_PhaseAngle").FRuleValue = 1.0;
    E("ExtSensor_Direction").FRuleValue = 1;
    man.ParameterChange("ExtSensor_Direction");
    EXPECT_NEAR(D("Com_PhaseAngle").FTreeValue, 5.28318530717958623, 1e-15);

    // Absolute position at power-up: no homing pages.
    E("PosRec_Mode").FRuleValue = 3;
    man.ParameterChange("PosRec_Mode");
    EXPECT_EQ(Shown(), (std::vector<int>{9, 11}));
    EXPECT_TRUE(man.ErrorLines().empty());
}

} // namespace
} // namespace vo::test
