// Placing the slider: position limits, the four distances, the range and
// initial position checks with their texts, the family variants and the
// distance editing, against hand-computed placements.
#include <gtest/gtest.h>

#include "tests/motorwizard/ProcFixture.h"

namespace vo::test {
namespace {

constexpr double Increment = 1e-7;

class StrokeTest : public ProcTest {
protected:
    // Home 0, initial 10 mm, slider home 50 mm (allowed 10 .. 170), stroke
    // 160, zero 90, slider 300, stator 150.
    void Placement(std::int64_t mode) {
        Set("HomeConf_HomePosition", 0);
        Set("InitialPosConf_Position", 0.010);
        Set("HomeConf_SliderHomePosition", 0.050);
        D("HomeConf_SliderHomePosition").FMinValue = 0.010;
        D("HomeConf_SliderHomePosition").FMaxValue = 0.170;
        Set("Maximal_Stroke", 0.160);
        Set("Zero_Position", 0.090);
        Set("Slider_Length", 0.300);
        Set("Complete_Stator_Length", 0.150);
        SetEnum("Home_Mode", mode);
    }
    std::vector<bool> Flags() {
        return {D("HomeConf_SliderHomePosition").FErrorFlag,
                V("DistanceA").FErrorFlag,
                V("DistanceB").FErrorFlag,
                D("Minimal_Position").FErrorFlag,
                D("Maximal_Position").FErrorFlag,
                D("InitialPosConf_Position").FErrorFlag,
                V("DistanceC").FErrorFlag,
                V("DistanceD").FErrorFlag};
    }
};

TEST_F(StrokeTest, LimitsAndDistancesOfTheSamplePlacement) {
    Load();
    Placement(1);
    man.RunProcedure("CalculateStrokeRange");
    EXPECT_NEAR(D("Minimal_Position").FRuleValue, -0.040, 1e-12);
    EXPECT_NEAR(D("Maximal_Position").FRuleValue, 0.120, 1e-12);
    EXPECT_NEAR(D("Maximal_Position").FTreeValue, 0.120, 1e-12);
    EXPECT_EQ(D("Maximal_Position").FDefaultValue, 0); // proposing leaves the default
    EXPECT_NEAR(V("DistanceA").FValue, 0.050, 1e-12);
    EXPECT_NEAR(V("DistanceB").FValue, 0.100, 1e-12);
    EXPECT_NEAR(V("DistanceC").FValue, 0.060, 1e-12);
    EXPECT_NEAR(V("DistanceD").FValue, 0.090, 1e-12);
    EXPECT_EQ(Flags(), std::vector<bool>(8, false));
}

TEST_F(StrokeTest, InitialPositionChecks) {
    Load();
    struct Case {
        const char* name;
        std::int64_t mode;
        double ip;
        const char* text; // nullptr: no error
    };
    const Case cases[] = {
        {"mode 1 above home", 1, 0.010, nullptr},
        {"mode 2 above home", 2, 0.010, "InitPosErrorMechStopPos"},
        {"mode 2 below home", 2, -0.010, nullptr},
        {"mode 1 within an increment of home", 1, 0.4 * Increment, "InitPosErrorMechStopNeg"},
        {"mode 2 within an increment of home", 2, -0.4 * Increment, "InitPosErrorMechStopPos"},
        {"mode 0 anywhere inside", 0, 0.0, nullptr},
        {"outside the limits", 1, 0.121, "InitPosError"},
        {"below the limits", 0, -0.041, "InitPosError"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Placement(c.mode);
        Set("InitialPosConf_Position", c.ip);
        D("InitialPosConf_Position").FInfoText = "old";
        man.RunProcedure("CalculateStrokeRange");
        const bool error = c.text != nullptr;
        EXPECT_EQ(D("InitialPosConf_Position").FErrorFlag, error);
        EXPECT_EQ(D("InitialPosConf_Position").FInfoText, error ? LangText(c.text) : MyAnsiString("old"));
        EXPECT_EQ(V("DistanceC").FErrorFlag, error);
        EXPECT_EQ(V("DistanceD").FErrorFlag, error);
        EXPECT_FALSE(D("HomeConf_SliderHomePosition").FErrorFlag);
    }
}

TEST_F(StrokeTest, SliderHomeOneIncrementOverItsRange) {
    Load();
    Placement(1);
    Set("HomeConf_SliderHomePosition", 0.170 + Increment);
    D("InitialPosConf_Position").FErrorFlag = true;
    man.RunProcedure("CalculateStrokeRange");
    EXPECT_EQ(Flags(), (std::vector<bool>{true, true, true, true, true, false, true, true}));
    EXPECT_EQ(V("DistanceA").FInfoText, LangText("Range_Error") + "10 mm .. 170 mm");
    EXPECT_EQ(V("DistanceB").FInfoText, LangText("Range_Error") + "-20 mm .. 140 mm");

    // Back inside: flags and range texts go.
    Set("HomeConf_SliderHomePosition", 0.100);
    man.RunProcedure("CalculateStrokeRange");
    EXPECT_EQ(Flags(), std::vector<bool>(8, false));
    EXPECT_EQ(V("DistanceA").FInfoText, "");
    EXPECT_EQ(V("DistanceB").FInfoText, "");
}

TEST_F(StrokeTest, WithoutDistanceDTheDistancesAreLeft) {
    Load({"DistanceD"});
    Placement(2);
    Set("DistanceA", 0.7);
    man.RunProcedure("CalculateStrokeRange");
    EXPECT_EQ(V("DistanceA").FValue, 0.7);
    EXPECT_NEAR(D("Minimal_Position").FRuleValue, -0.040, 1e-12);
    EXPECT_TRUE(D("InitialPosConf_Position").FErrorFlag);
    EXPECT_TRUE(man.ErrorLines().empty());
}

TEST_F(StrokeTest, InitializingProposesOnlyRecommendations) {
    Load();
    Placement(1);
    D("Minimal_Position").FTreeValue = 0.5;
    D("Maximal_Position").FTreeValue = 0.5;
    man.FInitializing = true;
    man.RunProcedure("CalculateStrokeRange");
    EXPECT_EQ(D("Minimal_Position").FTreeValue, 0.5);
    EXPECT_EQ(D("Maximal_Position").FTreeValue, 0.5);
    EXPECT_NEAR(D("Maximal_Position").FRuleValue, 0.120, 1e-12);
}

TEST_F(StrokeTest, DistanceEditing) {
    Load();
    struct Case {
        const char* procedure;
        const char* distance;
        double value, sliderHome;
    };
    const Case cases[] = {
        {"SetDistanceA", "DistanceA", 0.030, 0.030},
        {"SetDistanceB", "DistanceB", 0.040, 0.110}, // 300 - 150 - 40
        {"SetDistanceA_Brenno", "DistanceA", 0.020, 0.020},
        {"SetDistanceAK52", "DistanceA", 0.060, 0.060},
        {"SetDistanceBK52", "DistanceB", 0.040, 0.110},
        {"SetDistanceALinRotG2", "DistanceA", 0.025, 0.025},
        {"SetDistanceBLinRotG2", "DistanceB", 0.040, 0.210}, // moved part 400
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.procedure);
        Placement(1);
        Set("MovedPart_Length", 0.400);
        Set(c.distance, c.value);
        man.RunProcedure(c.procedure);
        EXPECT_NEAR(D("HomeConf_SliderHomePosition").FRuleValue, c.sliderHome, 1e-12);
        // The range calculation followed: A shows the new slider home.
        EXPECT_NEAR(V("DistanceA").FValue, c.sliderHome, 1e-12);
    }
}

TEST_F(StrokeTest, FamilyLimitsComeFromTheSliderHomeRange) {
    Load();
    struct Case {
        const char* procedure;
        std::int64_t slider;
        double sliderLength; // after the run
        double distanceB;
    };
    const Case cases[] = {
        {"CalculateStrokeRangeK52", (std::int64_t{1} << 16) | 3, 0.300, 0.100},
        {"CalculateStrokeRangeK52", (std::int64_t{65535} << 16) | 3, 0.400, 0.200},
        {"CalculateStrokeRangeLinRotG2", 0, 0.300, 0.200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.procedure);
        Placement(1);
        Set("HomeConf_HomePosition", 0.005);
        Set("InitialPosConf_Position", 0.010);
        Set("MovedPart_Length", 0.400);
        SetEnum("Slider", c.slider);
        Set("Zero_Position", 5); // not used
        man.RunProcedure(c.procedure);
        // 5 - (50 - 10) and 5 + (170 - 50)
        EXPECT_NEAR(D("Minimal_Position").FRuleValue, -0.035, 1e-12);
        EXPECT_NEAR(D("Maximal_Position").FRuleValue, 0.125, 1e-12);
        EXPECT_NEAR(V("Slider_Length").FValue, c.sliderLength, 1e-12);
        EXPECT_NEAR(V("DistanceB").FValue, c.distanceB, 1e-12);
    }
}

struct PageDialog : FakeDialog {
    int homing3 = 0;
    TWizardPageHandlers PageHandlers(int Page) override {
        TWizardPageHandlers h = FakeDialog::PageHandlers(Page);
        if (Page == 8)
            h.InitPage = [this] { ++homing3; };
        return h;
    }
};

TEST_F(StrokeTest, BrennoMeasuresFromTheStatorAndRefreshesPageEight) {
    PageDialog pages;
    man.SetDialog(&pages);
    Load();
    Placement(1);
    Set("Stator_Length", 0.100);
    man.RunProcedure("CalculateStrokeRange_Brenno");
    EXPECT_NEAR(V("DistanceB").FValue, 0.150, 1e-12);
    EXPECT_NEAR(D("Maximal_Position").FRuleValue, 0.120, 1e-12);
    EXPECT_EQ(pages.homing3, 1);
    man.SetDialog(&dialog);
}

TEST_F(StrokeTest, ModuleStrokeRangeByHomingMode) {
    Load();
    struct Case {
        std::int64_t mode;
        double shp, hp, ip;
        bool error;
    };
    const Case cases[] = {
        {1, 0.020, -0.003, 0.0, false},
        {2, 0.140, 0.204, 0.200, false},
        {0, 0.050, 0.001, 0.002, true}, // unchanged
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        Placement(c.mode);
        Set("HomeConf_HomePosition", 0.001);
        Set("InitialPosConf_Position", 0.002);
        Set("GuideUnit_SliderHomePosNegative", 0.020);
        Set("GuideUnit_SliderHomeGapNegative", 0.003);
        Set("GuideUnit_SliderHomePosPositive", 0.140);
        Set("GuideUnit_SliderHomeGapPositive", 0.004);
        Set("GuideUnit_NominalStroke", 0.200);
        E("Home_Mode").FInfoText = "old";
        man.RunProcedure("CalculateModuleStrokeRange");
        EXPECT_NEAR(D("HomeConf_SliderHomePosition").FRuleValue, c.shp, 1e-12);
        EXPECT_NEAR(D("HomeConf_HomePosition").FRuleValue, c.hp, 1e-12);
        EXPECT_NEAR(D("InitialPosConf_Position").FRuleValue, c.ip, 1e-12);
        if (!c.error) {
            EXPECT_NEAR(D("HomeConf_HomePosition").FTreeValue, c.hp, 1e-12);
        }
        for (const char* n : {"HomeConf_SliderHomePosition", "HomeConf_HomePosition", "InitialPosConf_Position",
                              "Home_Mode"})
            EXPECT_EQ(man.GetWizParWithName(n)->FErrorFlag, c.error) << n;
        EXPECT_EQ(E("Home_Mode").FInfoText, "");
        EXPECT_NEAR(D("Minimal_Position").FRuleValue, c.hp - 0.080 + 0.090 - c.shp, 1e-12);
        EXPECT_NEAR(D("Maximal_Position").FRuleValue, c.hp + 0.080 + 0.090 - c.shp, 1e-12);
    }
}

} // namespace
} // namespace vo::test
