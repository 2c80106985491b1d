// The motor calculations against hand-computed motors: strokes, zero
// position, force constants, home position limits and the motor's name; the
// registry's names and the handling of a file that lacks an item.
#include <gtest/gtest.h>

#include "tests/motorwizard/ProcFixture.h"

namespace vo::test {
namespace {

class MotorTest : public ProcTest {
protected:
    // The sample motor: slider 300 mm (active 250, end pieces 20, pole
    // pitch 30), stator active 90, end piece 15, sensor 10, 5 N per pitch.
    void Motor() {
        Set("Slider_Length", 0.300);
        Set("Slider_ActiveLength", 0.250);
        Set("Slider_EndPieceLength", 0.020);
        Set("Slider_PolePitch", 0.030);
        Set("Stator_ActiveLength", 0.090);
        Set("Stator_EndPieceLength", 0.015);
        Set("Stator_SensorLength", 0.010);
        Set("Motor_FactorPerPolePitch", 5);
        Set("Stator_Length", 0.120);
        Set("Stator_Mass", 1.5);
        T("Motor_PreName").FValue = "LM01-";
        T("Motor_Name_SD_Extension").FValue = "-SD";
        T("Motor_Name_Extension").FValue = "/X";
    }
};

TEST_F(MotorTest, AliasesRunTheSameBodiesAndTheLastTwoNothing) {
    Load();
    EXPECT_EQ(man.FindProcedure("SETDISTANCEA_BRENNO")->FMethod, "SetDistanceA");
    EXPECT_EQ(man.FindProcedure("setdistanceb_brenno")->FMethod, "SetDistanceB");
    Set("Slider_Length", 0.300);
    Set("Complete_Stator_Length", 0.150);
    Set("DistanceB", 0.040);
    man.RunProcedure("SetDistanceB_Brenno");
    EXPECT_NEAR(D("HomeConf_SliderHomePosition").FRuleValue, 0.110, 1e-12);
    Motor();
    man.RunProcedure("CalculateDCMotForceConstant");
    man.RunProcedure("CalculateDCMotTempModelPar");
    EXPECT_EQ(D("Force_Constant").FRuleValue, 0);
    EXPECT_EQ(T("Motor_Name").FValue, "");
}

TEST_F(MotorTest, SampleMotorByDirection) {
    Load();
    struct Case {
        std::int64_t direction;
        double zero;
    };
    for (const Case c : {Case{0, 0.090}, Case{1, 0.080}}) {
        SCOPED_TRACE(c.direction);
        Motor();
        SetEnum("Slider_Direction", c.direction);
        man.RunProcedure("calculateMOTORproperty");
        EXPECT_NEAR(D("Zero_Position").FRuleValue, c.zero, 1e-12);
        EXPECT_NEAR(D("Zero_Position").FTreeValue, c.zero, 1e-12);
        for (const auto& [name, value] : {std::pair{"Shortened_Stroke", 0.150}, std::pair{"Maximal_Stroke", 0.160},
                                          std::pair{"Force_Constant", 15.0},
                                          std::pair{"EdgeForce_Constant", 15.0 * (1 - 0.010 / 0.180)}}) {
            EXPECT_NEAR(D(name).FRuleValue, value, 1e-12) << name;
            EXPECT_NEAR(D(name).FDefaultValue, value, 1e-12) << name;
            EXPECT_NEAR(D(name).FTreeValue, value, 1e-12) << name;
        }
        EXPECT_NEAR(V("RelativeEdgeForce").FValue, 1 - 0.010 / 0.180, 1e-12);
        EXPECT_DOUBLE_EQ(D("HomeConf_SliderHomePosition").FMinValue, c.zero - 0.080);
        EXPECT_DOUBLE_EQ(D("HomeConf_SliderHomePosition").FMaxValue, c.zero + 0.080);
        EXPECT_EQ(T("Motor_Name").FValue, "LM01-150x160-SD/X");
        EXPECT_DOUBLE_EQ(V("Complete_Stator_Length").FValue, 0.120);
        EXPECT_DOUBLE_EQ(V("Complete_Stator_EndPieceLength").FValue, 0.015);
        EXPECT_DOUBLE_EQ(V("Complete_Stator_Mass").FValue, 1.5);
    }
    EXPECT_TRUE(man.ErrorLines().empty());
}

TEST_F(MotorTest, LimitsAreRoundedToTenToTheMinusTen) {
    Load();
    Motor();
    man.RunProcedure("CalculateMotorProperty");
    // 0.09 - 0.08 is 0.009999999999999995 in doubles.
    EXPECT_EQ(D("HomeConf_SliderHomePosition").FMinValue, 0.010);
    EXPECT_EQ(D("HomeConf_SliderHomePosition").FMaxValue, 0.170);
}

TEST_F(MotorTest, EdgeCasesOfTheModel) {
    Load();
    // Stator active and sensor longer than the slider's active part.
    Motor();
    Set("Stator_ActiveLength", 0.245);
    man.RunProcedure("CalculateMotorProperty");
    EXPECT_NEAR(D("Force_Constant").FRuleValue, 0.240 / 0.030 * 5, 1e-9);

    // No pole pitch: no force at all, and no division by zero.
    Motor();
    Set("Slider_PolePitch", 0);
    man.RunProcedure("CalculateMotorProperty");
    EXPECT_EQ(D("Force_Constant").FRuleValue, 0);
    EXPECT_EQ(D("EdgeForce_Constant").FRuleValue, 0);
    EXPECT_EQ(V("RelativeEdgeForce").FValue, 0);

    // Direction 2 keeps the recommended zero and copies it to the default.
    Motor();
    SetEnum("Slider_Direction", 2);
    D("Zero_Position").FRuleValue = 0.033;
    man.RunProcedure("CalculateMotorProperty");
    EXPECT_EQ(D("Zero_Position").FRuleValue, 0.033);
    EXPECT_EQ(D("Zero_Position").FDefaultValue, 0.033);
    EXPECT_EQ(D("Zero_Position").FTreeValue, 0.033);
}

TEST_F(MotorTest, InitializingKeepsTheDriveValues) {
    Load();
    Motor();
    const char* const names[] = {"Zero_Position", "Shortened_Stroke", "Maximal_Stroke", "Force_Constant",
                                 "EdgeForce_Constant"};
    for (const char* n : names) D(n).FTreeValue = 0.5;
    man.FInitializing = true;
    man.RunProcedure("CalculateMotorProperty");
    for (const char* n : names) {
        EXPECT_EQ(D(n).FTreeValue, 0.5) << n;
        EXPECT_NE(D(n).FRuleValue, 0.5) << n;
        EXPECT_EQ(D(n).FDefaultValue, D(n).FRuleValue) << n;
    }
}

TEST_F(MotorTest, SensorPositionShortensTheMaximalStroke) {
    Load();
    Motor();
    Set("Stator_SensorPosition", 0.005);
    man.RunProcedure("CalculateMotorProperty");
    EXPECT_NEAR(D("Maximal_Stroke").FRuleValue, 0.150, 1e-12);
    EXPECT_EQ(T("Motor_Name").FValue, "LM01-150x150-SD/X");
}

TEST_F(MotorTest, SensorPositionMayBeMissing) {
    Load({"Stator_SensorPosition"});
    Motor();
    man.RunProcedure("CalculateMotorProperty");
    EXPECT_NEAR(D("Maximal_Stroke").FRuleValue, 0.160, 1e-12);
    EXPECT_TRUE(man.ErrorLines().empty());
}

TEST_F(MotorTest, TolvarBearings) {
    Load();
    struct Case {
        const char* name;
        double bearing, sliderLength, ss, zero, csl;
        const char* motorName;
    };
    const Case cases[] = {
        // 300 - 140 - 2 x 10 = 140 is below the bearing-less 150.
        {"bearing", 0.010, 0.300, 0.140, 0.080, 0.140, "LM01-140x140-SD-L10/X"},
        // 300 - 100 - 20 = 180: the bearing-less 150 is the smaller bound.
        {"negative", -0.010, 0.300, 0.150, 0.085, 0.100, "LM01-150x150-SD/X"},
        // 150 - 140 - 20 < 0: no stroke.
        {"too short", 0.010, 0.150, 0.0, 0.010, 0.140, "LM01-0x0-SD-L10/X"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Motor();
        Set("Slider_Length", c.sliderLength);
        Set("Slider_EndPieceWeldLength", 0.010);
        Set("BearingLength", c.bearing);
        Set("BearingMass", 0.25);
        SetEnum("Slider_Direction", 1);
        man.RunProcedure("CalculateMotorPropertyTolvar");
        EXPECT_NEAR(V("Complete_Stator_Length").FValue, c.csl, 1e-12);
        EXPECT_NEAR(V("Complete_Stator_EndPieceLength").FValue, 0.015 + c.bearing, 1e-12);
        EXPECT_NEAR(V("Complete_Stator_Mass").FValue, 1.5 + 2 * 0.25, 1e-12);
        EXPECT_NEAR(D("Shortened_Stroke").FRuleValue, c.ss, 1e-12);
        EXPECT_NEAR(D("Maximal_Stroke").FRuleValue, c.ss, 1e-12);
        EXPECT_NEAR(D("Zero_Position").FRuleValue, c.zero, 1e-12);
        EXPECT_EQ(T("Motor_Name").FValue, c.motorName);
    }
}

TEST_F(MotorTest, TolvarWithoutBearingIsTheModelWithTheCompleteEndPiece) {
    Load();
    Motor();
    Set("BearingLength", 0);
    man.RunProcedure("CalculateMotorPropertyTolvar");
    EXPECT_NEAR(D("Zero_Position").FRuleValue, 0.090, 1e-12);
    EXPECT_NEAR(D("Maximal_Stroke").FRuleValue, 0.160, 1e-12);
    EXPECT_EQ(T("Motor_Name").FValue, "LM01-150x160-SD/X");
}

TEST_F(MotorTest, LinRotReadsTheStrokesAndRecommendsNeither) {
    Load();
    Motor();
    D("Shortened_Stroke").FRuleValue = 0.150;
    D("Shortened_Stroke").FDefaultValue = 0.120;
    D("Maximal_Stroke").FRuleValue = 0.160;
    D("Maximal_Stroke").FDefaultValue = 0.7;
    D("Zero_Position").FRuleValue = 0.4;
    man.RunProcedure("CalculateMotorPropertyLinRot");
    EXPECT_EQ(D("Shortened_Stroke").FDefaultValue, 0.120);
    EXPECT_EQ(D("Maximal_Stroke").FDefaultValue, 0.7);
    EXPECT_EQ(D("Zero_Position").FRuleValue, 0.4);
    EXPECT_EQ(D("HomeConf_SliderHomePosition").FMaxValue, 10.0);
    EXPECT_NEAR(D("Force_Constant").FRuleValue, 15, 1e-12);
    EXPECT_NEAR(D("EdgeForce_Constant").FRuleValue, 15 * (1 - 0.010 / 0.180), 1e-12);
    EXPECT_EQ(T("Motor_Name").FValue, "LM01-120x120-SD/X");
}

TEST_F(MotorTest, LinRotG2TakesTheMovedPartAndLeavesTheLimits) {
    Load();
    Motor();
    Set("MovedPart_Length", 0.400);
    man.RunProcedure("CalculateMotorPropertyLinRotG2");
    EXPECT_NEAR(D("Zero_Position").FRuleValue, 0.190, 1e-12);
    EXPECT_EQ(D("HomeConf_SliderHomePosition").FMaxValue, 10.0);
    EXPECT_EQ(T("Motor_Name").FValue, "LM01-150x160-SD/X");
}

TEST_F(MotorTest, BrennoCentresTheSlider) {
    Load();
    Set("Slider_Length", 0.300);
    Set("Stator_Length", 0.120);
    Set("Maximal_Stroke", 0.160);
    T("Motor_PreName").FValue = "B-";
    T("Slider_Name").FValue = "S300";
    man.RunProcedure("CalculateMotorProperty_Brenno");
    EXPECT_NEAR(D("Zero_Position").FRuleValue, 0.090, 1e-12);
    EXPECT_EQ(D("HomeConf_SliderHomePosition").FMinValue, 0.010);
    EXPECT_EQ(D("HomeConf_SliderHomePosition").FMaxValue, 0.170);
    EXPECT_EQ(T("Motor_Name").FValue, "B-S300");
}

TEST_F(MotorTest, K52BySliderSubIdentifier) {
    Load();
    struct Case {
        std::int64_t slider;
        double sl;
    };
    for (const Case c : {Case{(std::int64_t{65535} << 16) | 3, 0.400}, Case{(std::int64_t{1} << 16) | 3, 0.300}}) {
        SCOPED_TRACE(c.slider);
        Set("Slider_Length", 0.300);
        Set("Slider_Mass", 0.9);
        Set("MovedPart_Length", 0.400);
        Set("MovedPart_Mass", 1.2);
        Set("Stator_Length", 0.120);
        Set("Stator_Mass", 1.5);
        Set("Force_Scale_Factor", 1.5);
        Set("Force_Constant_Standard_Slider", 10);
        Set("MinDistanceFront_SliderEnd_StatorEnd", 0.010);
        Set("MinDistanceBack_SliderEnd_StatorEnd", 0.020);
        SetEnum("Slider", c.slider);
        man.RunProcedure("CalculateMotorPropertyK52");
        EXPECT_DOUBLE_EQ(V("Slider_Length").FValue, c.sl);
        EXPECT_DOUBLE_EQ(V("Slider_Mass").FValue, c.sl == 0.400 ? 1.2 : 0.9);
        EXPECT_DOUBLE_EQ(D("Force_Constant").FRuleValue, 15);
        const double ss = c.sl - 0.120 - 0.030;
        EXPECT_NEAR(D("Shortened_Stroke").FRuleValue, ss, 1e-12);
        EXPECT_NEAR(D("Maximal_Stroke").FDefaultValue, ss, 1e-12);
        EXPECT_DOUBLE_EQ(D("HomeConf_SliderHomePosition").FMinValue, 0.010);
        EXPECT_NEAR(D("HomeConf_SliderHomePosition").FMaxValue, 0.010 + ss, 1e-12);
        EXPECT_DOUBLE_EQ(V("Complete_Stator_Mass").FValue, 1.5);
    }
}

TEST_F(MotorTest, ModuleName) {
    Load();
    T("Module_Base_Name").FValue = "Base";
    T("Module_Name_Extension").FValue = "Ext";
    T("Motor_Name_Extension").FValue = "-HC";
    man.RunProcedure("BuildModuleActuatorName");
    EXPECT_EQ(T("Module_Name").FValue, "Base/Ext-HC");
}

TEST_F(MotorTest, MissingItemLogsOneLineAndChangesNothing) {
    Load({"Stator_SensorLength", "Maximal_Stroke"});
    Motor();
    man.RunProcedure("CalculateMotorProperty");
    ASSERT_EQ(man.ErrorLines().size(), 1u);
    EXPECT_NE(man.ErrorLines()[0].find("CalculateMotorProperty"), std::string::npos);
    EXPECT_NE(man.ErrorLines()[0].find("Stator_SensorLength"), std::string::npos);
    EXPECT_EQ(D("Shortened_Stroke").FRuleValue, 0);
    EXPECT_EQ(V("Complete_Stator_Length").FValue, 0);
    EXPECT_EQ(T("Motor_Name").FValue, "");
}

} // namespace
} // namespace vo::test
