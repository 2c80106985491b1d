// Feed-forward currents from mass, mounting and external force, their limit
// checks, the current controller limits and the external sensor switch,
// against hand-computed cases.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "tests/motorwizard/ProcFixture.h"

namespace vo::test {
namespace {

class FeedForwardTest : public ProcTest {
protected:
    void SetUp() override {
        ProcTest::SetUp();
        tree.Integer(4100, 0).valueSI = 5; // controller: 5 A
    }
    // Slider 1.5 kg + 0.5 kg load moves, 20 N/A, dry friction 4 N, viscous
    // 10 N s/m, motor limit 3 A.
    void Load2kg() {
        SetEnum("Move_Part", 0);
        Set("Slider_Mass", 1.5);
        Set("Additional_Mass", 0.5);
        Set("Force_Constant", 20);
        Set("Constant_Force", 0);
        SetEnum("Force_Direction", 1);
        Set("Dry_Friction", 4);
        Set("Viscous_Friction", 10);
        Set("Orientation", 0);
        Set("Maximal_Current", 3);
    }
};

TEST_F(FeedForwardTest, ConstantForceCurrentAndItsChecks) {
    Load();
    struct Case {
        const char* name;
        double theta, fc, cf;
        std::int64_t direction;
        double controller, motor;
        double ff, signedForce;
        const char* text;
        bool error;
    };
    const double up = std::numbers::pi / 2;
    const Case cases[] = {
        {"vertical", up, 20, 0, 1, 5, 3, 0.98064, 0, "Meaning_of_FF_Constant_Force", false},
        {"horizontal", 0, 20, 0, 1, 5, 3, 0, 0, "Meaning_of_FF_Constant_Force", false},
        {"force turned", 0, 20, 10, 0, 5, 3, 0.5, -10, "Meaning_of_FF_Constant_Force", false},
        {"force along", 0, 20, 40, 1, 1.5, 3, -2, 40, "ConstantCurrent_over_ControllerMax", true},
        {"no force constant", up, 0, 0, 1, 5, 3, 0, 0, "Meaning_of_FF_Constant_Force", false},
        {"over the controller only", up, 20, 0, 1, 0.5, 3, 0.98064, 0, "ConstantCurrent_over_ControllerMax", true},
        {"over the motor", up, 20, 0, 1, 5, 0.5, 0.98064, 0, "ConstantCurrent_over_MotorMax", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Load2kg();
        Set("Orientation", c.theta);
        Set("Force_Constant", c.fc);
        Set("Constant_Force", c.cf);
        SetEnum("Force_Direction", c.direction);
        Set("Maximal_Current", c.motor);
        tree.pars.at(4100)->valueSI = c.controller;
        man.RunProcedure("CalculateFFValues_Brenno");
        EXPECT_NEAR(D("FF_ConstForce_SetA").FRuleValue, c.ff, 1e-12);
        EXPECT_NEAR(D("FF_ConstForce_SetA").FTreeValue, c.ff, 1e-12);
        EXPECT_EQ(D("FF_ConstForce_SetA").FDefaultValue, 0);
        EXPECT_EQ(D("FF_ConstForce_SetA").FInfoText, LangText(c.text));
        EXPECT_EQ(D("FF_ConstForce_SetA").FErrorFlag, c.error);
        EXPECT_DOUBLE_EQ(V("SignedExtConstForce").FValue, c.signedForce);
        EXPECT_NEAR(V("SumOfConstForces").FValue, c.signedForce - std::sin(c.theta) * 9.8064 * 2, 1e-12);
        EXPECT_NEAR(V("GravitaionForce").FValue, -std::sin(c.theta) * 9.8064 * 2, 1e-12);
        const double k = c.fc > 0 ? 1 / c.fc : 0;
        EXPECT_NEAR(D("FF_Friction_SetA").FRuleValue, 4 * k, 1e-12);
        EXPECT_NEAR(D("FF_Damping_SetA").FRuleValue, 10 * k, 1e-12);
        EXPECT_NEAR(D("FF_Acceleration_SetA").FRuleValue, 2 * k, 1e-12);
        EXPECT_EQ(D("FF_Damping_SetA").FInfoText, LangText("Meaning_of_FF_Damping"));
    }
    EXPECT_TRUE(man.ErrorLines().empty());
}

TEST_F(FeedForwardTest, MovedMassByMovingPart) {
    Load();
    struct Case {
        std::int64_t part;
        double motorMass;
    };
    for (const Case c : {Case{0, 1.5 + 0.1}, Case{1, 3.0 + 0.2}, Case{2, 3.0 + 0.4}, Case{5, 0}}) {
        SCOPED_TRACE(c.part);
        Load2kg();
        SetEnum("Move_Part", c.part);
        Set("Complete_Stator_Mass", 3.0);
        Set("GuideUnit_SliderMass", 0.1);
        Set("GuideUnit_StatorMass", 0.2);
        Set("Flange_Mass", 0.4);
        man.RunProcedure("CalculateFFValues");
        EXPECT_NEAR(V("TotalMoved_Motor_Mass").FValue, c.motorMass, 1e-12);
        EXPECT_NEAR(V("TotalMoved_Mass").FValue, c.motorMass + 0.5, 1e-12);
        EXPECT_NEAR(D("Total_Load_Mass").FRuleValue, c.motorMass + 0.5, 1e-12);
    }
}

TEST_F(FeedForwardTest, OptionalMassesMayBeMissing) {
    Load({"GuideUnit_SliderMass", "GuideUnit_StatorMass", "Flange_Mass", "Total_Load_Mass"});
    Load2kg();
    man.RunProcedure("CalculateFFValues");
    EXPECT_NEAR(V("TotalMoved_Mass").FValue, 2, 1e-12);
    EXPECT_TRUE(man.ErrorLines().empty());
}

TEST_F(FeedForwardTest, WithoutTheControllerLimitNothingIsCalculated) {
    tree.pars.erase(4100);
    Load();
    Load2kg();
    Set("Orientation", std::numbers::pi / 2);
    man.RunProcedure("CalculateFFValues");
    man.RunProcedure("CalculateControlParameters");
    EXPECT_EQ(D("FF_ConstForce_SetA").FRuleValue, 0);
    EXPECT_EQ(D("IntegratorLimit_SetA").FRuleValue, 0);
    ASSERT_EQ(man.ErrorLines().size(), 2u);
    EXPECT_NE(man.ErrorLines()[0].find("4100"), std::string::npos);
}

TEST_F(FeedForwardTest, ControlLimits) {
    Load();
    struct Case {
        bool initializing;
        double controller, maxCurrent, m, l;
    };
    const Case cases[] = {
        {false, 5, 12, 10, 5}, // lowered to its maximum 10, the controller limits
        {false, 20, 8, 8, 8},
        {true, 5, 12, 10, 5}, // lowered even while initializing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.controller);
        tree.pars.at(4100)->valueSI = c.controller;
        Set("Maximal_Current", c.maxCurrent);
        for (const char* n : {"Maximal_Current", "IntegratorLimit_SetA", "MaxCurrent_SetA"}) D(n).FTreeValue = 0.25;
        man.FInitializing = c.initializing;
        man.RunProcedure("CalculateControlParameters_Brenno");
        EXPECT_EQ(D("Maximal_Current").FRuleValue, c.m);
        EXPECT_EQ(D("IntegratorLimit_SetA").FRuleValue, c.l);
        EXPECT_EQ(D("MaxCurrent_SetA").FRuleValue, c.l);
        EXPECT_EQ(D("Maximal_Current").FTreeValue, c.initializing ? 0.25 : c.m);
        EXPECT_EQ(D("MaxCurrent_SetA").FTreeValue, c.initializing ? 0.25 : c.l);
    }
}

TEST_F(FeedForwardTest, ExternalSensorType) {
    Load();
    struct Case {
        std::int64_t type;
        bool initializing;
        double deadBand, resolution;
    };
    const Case cases[] = {
        {2, false, 0, 0.00025},
        {1, false, 0, 0.000001},
        {0, false, 0.003, 0.5}, // the dead band's default, resolution stays
        {2, true, 0.7, 0.5}, // nothing while initializing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        D("NoiseDeadBandSetA").FDefaultValue = 0.003;
        D("NoiseDeadBandSetA").FRuleValue = 0.7;
        D("ExtSensor_Resolution").FRuleValue = 0.5;
        SetEnum("ExtSensor_Type", c.type);
        man.FInitializing = c.initializing;
        man.RunProcedure("ChangeExtSensorType");
        EXPECT_EQ(D("NoiseDeadBandSetA").FRuleValue, c.deadBand);
        EXPECT_EQ(D("ExtSensor_Resolution").FRuleValue, c.resolution);
    }
}

} // namespace
} // namespace vo::test
