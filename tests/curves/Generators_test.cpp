// The set-point generators checked against independent computations: end
// points, continuity, peak slope and curvature, mirroring; the jerk-limited
// move against a numerical integration of its jerk; the checks' messages,
// proposals and range limits.
#include "curves/CurWizar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

#include "tests/curves/CurveTestUtil.h"
#include "tests/support/ScriptedPrompt.h"

namespace vo {
namespace {

using test::Texts;
constexpr double Pi = std::numbers::pi;

template <class W>
std::unique_ptr<TCurveWizard> Make(const TSLDictionary* File, const char* Name) {
    return std::make_unique<W>(File, Name);
}

using TMaker = std::function<std::unique_ptr<TCurveWizard>(const TSLDictionary*)>;

// One generator with parameters for a positive stroke; the negative case
// mirrors the end position around the start.
struct TCase {
    const char* Name;
    TMaker Create;
    std::vector<double> Pars;
    int StartPar, EndPar;
    // Independently computed over the X axis (per second or per increment):
    // the steepest slope and the largest curvature (0: not checked).
    double PeakSlope, PeakCurvature;
    // Information values that hold them (-1: none) and the factor from X to
    // seconds (the master speed for cams).
    int SlopeInfo, CurvatureInfo;
    double PerSecond;
    // Standstill and manual: every point at this value.
    bool Constant = false;
    double ConstantValue = 0;
};

class Generators : public ::testing::TestWithParam<TCase> {
protected:
    static void SetUpTestSuite() {
        Storage = new test::TArchiveStorage;
        File = Storage->Read(test::TypesFile).Detach();
    }
    static void TearDownTestSuite() {
        File->Release();
        delete Storage;
    }
    std::unique_ptr<TCurveWizard> Checked(const TCase& c, const std::vector<double>& Pars) {
        auto w = c.Create(File);
        test::TScriptedPromptScope prompt;
        EXPECT_TRUE(w->DataCheck(Texts(Pars), &Units, 100000)) << (prompt.Count() ? prompt.Texts()[0] : "");
        return w;
    }
    static inline test::TArchiveStorage* Storage = nullptr;
    static inline TSLDictionary* File = nullptr;
    test::TSampleUnits Units;
};

std::vector<TCase> Cases() {
    const double d = 0.05, s = 0.01; // stroke and start position
    const double n = 20000; // master speed, increments per second
    std::vector<TCase> c;
    c.push_back({"SinPosTime", [](auto f) { return Make<TSineWizard>(f, "SinPosTime"); }, {0.4, s, s + d}, 1, 2, Pi * d / (2 * 0.4), Pi * Pi * d / (2 * 0.4 * 0.4), 1, 2, 1});
    // trapezoid: 1 m/s, 20 m/s^2 up, 10 m/s^2 down
    c.push_back({"VAPosTime", [](auto f) { return Make<TPToPWizard>(f, "VAPosTime"); }, {s, s + 0.2, 1, 20, 10}, 0, 1, 1.0, 20, 2, -1, 1});
    // triangle: peak sqrt(2|d|ab/(a+b))
    c.push_back({"VAPosTime triangle", [](auto f) { return Make<TPToPWizard>(f, "VAPosTime"); }, {s, s + d, 5, 20, 10}, 0, 1, std::sqrt(2 * d * 20 * 10 / 30.0), 20, 2, -1, 1});
    c.push_back({"MinJerkPosTime", [](auto f) { return Make<TMinJerkWizard>(f, "MinJerkPosTime"); }, {0.3, s, s + d}, 1, 2, 2 * d / 0.3, 8 * d / (0.3 * 0.3), 1, 2, 1});
    // jerk-limited: both limits reached and a constant phase
    c.push_back({"LimitJerkPosTime", [](auto f) { return Make<TLimitJerkWizard>(f, "LimitJerkPosTime"); }, {s, s + 0.3, 1, 10, 5, 200}, 0, 1, 1.0, 10, 2, 3, 1});
    c.push_back({"StandstillPosTime", [](auto f) { return Make<TStandstillWizard>(f, "StandstillPosTime"); }, {0.2, 0.0123}, -1, -1, 0, 0, -1, -1, 1, true, 0.0123});
    c.push_back({"ManualTime", [](auto f) { return Make<TManualWizard>(f, "ManualTime"); }, {0.2}, -1, -1, 0, 0, -1, -1, 1, true, 0});
    c.push_back({"SinPosInc", [](auto f) { return Make<TSinPosIncWizard>(f, "SinPosInc"); }, {n, 8000, s, s + d}, 2, 3, Pi * d / (2 * 8000), Pi * Pi * d / (2 * 8000.0 * 8000), 2, 3, n});
    c.push_back({"MinJerkPosInc", [](auto f) { return Make<TMinJerkPosIncWizard>(f, "MinJerkPosInc"); }, {n, 6000, s, s + d}, 2, 3, 2 * d / 6000, 8 * d / (6000.0 * 6000), 2, 3, n});
    c.push_back({"StandstillPosInc", [](auto f) { return Make<TStandstillPosIncWizard>(f, "StandstillPosInc"); }, {n, 5000, -0.02}, -1, -1, 0, 0, -1, -1, n, true, -0.02});
    c.push_back({"ManualInc", [](auto f) { return Make<TManualPosIncWizard>(f, "ManualInc"); }, {5000}, -1, -1, 0, 0, -1, -1, n, true, 0});
    {
        const double La = 2000, Lp = 5000, Ld = 3000, D = La / 2 + Lp + Ld / 2;
        c.push_back({"VALengthPosInc", [](auto f) { return Make<TVALengthPosIncWizard>(f, "VALengthPosInc"); }, {n, s, s + d, La, Lp, Ld}, 1, 2, d / D, d / (D * La), 4, 3, n});
    }
    {
        const double w = 0.2, Sa = 0.01, Sd = 0.02;
        c.push_back({"ConvSyncPosInc", [](auto f) { return Make<TConvSyncPosIncWizard>(f, "ConvSyncPosInc"); }, {n, w, s, s + d, Sa, Sd}, 2, 3, w / n, w * w / (2 * Sa) / (n * n), -1, 5, n});
    }
    return c;
}

TEST_P(Generators, EndPointsContinuityPeaksAndMirror) {
    const TCase& c = GetParam();
    auto pos = Checked(c, c.Pars);
    std::vector<double> neg = c.Pars;
    if (c.StartPar >= 0) neg[static_cast<std::size_t>(c.EndPar)] = 2 * c.Pars[c.StartPar] - c.Pars[c.EndPar];
    auto mirrored = Checked(c, neg);
    for (int N : {2, 3, 1001, 16001}) {
        const std::vector<double> p = pos->CalcSIPoints(N);
        ASSERT_EQ(p.size(), static_cast<std::size_t>(N));
        for (double v : p) ASSERT_TRUE(std::isfinite(v)) << c.Name;
        if (c.Constant) {
            for (double v : p) ASSERT_EQ(v, c.ConstantValue) << c.Name;
            continue;
        }
        const double start = c.Pars[c.StartPar], end = c.Pars[c.EndPar], d = end - start;
        EXPECT_NEAR(p.front(), start, 1e-9 * std::fabs(end)) << c.Name << " N=" << N;
        EXPECT_NEAR(p.back(), end, 1e-9 * std::fabs(end)) << c.Name << " N=" << N;
        const std::vector<double> m = mirrored->CalcSIPoints(N);
        for (int i = 0; i < N; ++i)
            ASSERT_NEAR(m[i] - start, -(p[i] - start), 1e-12 * std::fabs(d) + 1e-15) << c.Name << " i=" << i;
        if (N != 16001) continue;
        const double dx = pos->FXLength / (N - 1);
        double slope = 0, curvature = 0;
        for (int i = 1; i < N; ++i) {
            const double step = std::fabs(p[i] - p[i - 1]);
            ASSERT_LE(step, 1.01 * c.PeakSlope * dx) << c.Name << " jump at i=" << i;
            slope = std::max(slope, step / dx);
            if (i + 1 < N) curvature = std::max(curvature, std::fabs(p[i + 1] - 2 * p[i] + p[i - 1]) / (dx * dx));
        }
        EXPECT_NEAR(slope, c.PeakSlope, 0.005 * c.PeakSlope) << c.Name;
        if (c.PeakCurvature > 0) {
            EXPECT_NEAR(curvature, c.PeakCurvature, 0.005 * c.PeakCurvature) << c.Name;
        }
        if (c.SlopeInfo >= 0) {
            const double v = c.PeakSlope * c.PerSecond;
            EXPECT_NEAR(std::fabs(pos->GetInfoSIValue(c.SlopeInfo)), v, 0.005 * v) << c.Name;
        }
        if (c.CurvatureInfo >= 0) {
            const double a = c.PeakCurvature * c.PerSecond * c.PerSecond;
            EXPECT_NEAR(std::fabs(pos->GetInfoSIValue(c.CurvatureInfo)), a, 0.005 * a) << c.Name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, Generators, ::testing::ValuesIn(Cases()), [](const auto& info) {
    std::string n = info.param.Name;
    std::replace(n.begin(), n.end(), ' ', '_');
    return n;
});

// ------------------------------------------------------------------ single generators

class Generator : public ::testing::Test {
protected:
    void SetUp() override { File = Storage.Read(test::TypesFile); }
    template <class W>
    std::unique_ptr<W> Create(const char* Name) {
        return std::make_unique<W>(File.Get(), Name);
    }
    test::TArchiveStorage Storage;
    TRef<TSLDictionary> File;
    test::TSampleUnits Units;
    test::TScriptedPromptScope Prompt;
};

TEST_F(Generator, SineMiddleAndTwoPoints) {
    auto w = Create<TSineWizard>("SinPosTime");
    ASSERT_TRUE(w->DataCheck(Texts({0.5, -0.03, 0.07}), &Units, 1000));
    const auto p3 = w->CalcSIPoints(3);
    EXPECT_NEAR(p3[1], (-0.03 + 0.07) / 2, 1e-15);
    const auto p2 = w->CalcSIPoints(2);
    EXPECT_NEAR(p2[0], -0.03, 1e-15);
    EXPECT_NEAR(p2[1], 0.07, 1e-15);
    EXPECT_TRUE(Prompt.Texts().empty());
}

// The travelled distance of a seven-phase jerk profile, integrated step by
// step (jerk +r, 0, -r, 0, -r, 0, +r between the phase times).
double IntegratedDistance(const TLimitJerkWizard& w, double t, double& v) {
    const double bounds[8] = {0, w.t1, w.t2, w.t3, w.t4, w.t5, w.t6, w.t7};
    const double jerk[7] = {w.r, 0, -w.r, 0, -w.r, 0, w.r};
    double s = 0, a = 0;
    v = 0;
    for (int k = 0; k < 7; ++k) {
        const double from = bounds[k], to = std::min(bounds[k + 1], t);
        if (to <= from) continue;
        const int steps = 200;
        const double h = (to - from) / steps;
        for (int i = 0; i < steps; ++i) {
            s += v * h + a * h * h / 2 + jerk[k] * h * h * h / 6;
            v += a * h + jerk[k] * h * h / 2;
            a += jerk[k] * h;
        }
    }
    return s;
}

TEST_F(Generator, LimitedJerkMatchesTheIntegratedJerk) {
    const struct {
        const char* What;
        std::vector<double> Pars; // start, end, v max, a acc, a dec, jerk
        bool NoConstantPhase;
    } cases[] = {
        {"no limit reached", {0, 0.02, 10, 100, 100, 500}, true},
        {"smaller limit reached", {0, 0.3, 10, 3, 8, 50}, true},
        {"both limits reached", {0, 0.5, 10, 2, 3, 100}, true},
        {"velocity limit", {0.1, -0.4, 0.5, 4, 2, 100}, false},
        {"equal limits", {0, 0.2, 10, 5, 5, 100}, true},
    };
    for (const auto& c : cases) {
        auto w = Create<TLimitJerkWizard>("LimitJerkPosTime");
        ASSERT_TRUE(w->DataCheck(Texts(c.Pars), &Units, 100000)) << c.What;
        const double S = std::fabs(c.Pars[1] - c.Pars[0]), sg = c.Pars[1] >= c.Pars[0] ? 1 : -1;
        EXPECT_LE(w->v_P, w->v_Max * (1 + 1e-12)) << c.What;
        EXPECT_LE(w->a_P1, w->a_Acc * (1 + 1e-12)) << c.What;
        EXPECT_LE(w->a_P2, w->a_Dec * (1 + 1e-12)) << c.What;
        if (c.NoConstantPhase) {
            EXPECT_EQ(w->s_Con, 0.0) << c.What;
        }
        double vEnd = 0;
        EXPECT_NEAR(IntegratedDistance(*w, w->t7, vEnd), S, 1e-6 * S) << c.What;
        EXPECT_NEAR(vEnd, 0.0, 1e-6 * w->v_P) << c.What;
        const int N = 4001;
        const auto p = w->CalcSIPoints(N);
        double worst = 0;
        for (int i = 0; i < N; ++i) {
            double v = 0;
            const double s = IntegratedDistance(*w, w->t7 * i / (N - 1), v);
            worst = std::max(worst, std::fabs((p[i] - c.Pars[0]) * sg - s));
        }
        EXPECT_LE(worst, 1e-6 * S) << c.What;
        EXPECT_NEAR(w->GetInfoSIValue(2), sg * w->v_P, 1e-12) << c.What;
    }
    // a velocity limit above everything reachable: no constant phase
    auto w = Create<TLimitJerkWizard>("LimitJerkPosTime");
    ASSERT_TRUE(w->DataCheck(Texts({0, 0.1, 99, 10, 10, 1000}), &Units, 1000));
    EXPECT_EQ(w->s_Con, 0.0);
    EXPECT_LT(w->v_P, 99.0);
}

TEST_F(Generator, PointToPointTriangleAndLimits) {
    auto w = Create<TPToPWizard>("VAPosTime");
    // s_a + s_b = 0.05 + 0.05 = |d|: the triangle, peak = the velocity limit
    ASSERT_TRUE(w->DataCheck(Texts({0, 0.1, 1, 10, 10}), &Units, 1000));
    EXPECT_NEAR(w->GetInfoSIValue(2), 1.0, 1e-9);
    EXPECT_NEAR(w->GetInfoSIValue(0), 0.2, 1e-9);

    ASSERT_FALSE(w->DataCheck(Texts({0.02, 0.02, 1, 10, 10}), &Units, 1000));
    ASSERT_EQ(Prompt.Count(), 1u);
    EXPECT_EQ(Prompt.Texts()[0], "Range Error!\r\rStroke must not be zero!");
    EXPECT_EQ(Prompt.Requests()[0].Kind, TMsgDlgType::mtError);

    // 0.01 m at 1 um/s: 10000 s, beyond 2^31 - 1 microseconds
    Prompt.Clear();
    ASSERT_FALSE(w->DataCheck(Texts({0, 0.01, 0.000001, 10, 10}), &Units, 1000));
    ASSERT_EQ(Prompt.Count(), 1u);
    const TDeviceUnit& us = *Units.GetUnitWithUUID(2);
    const double T = 0.000001 / 10 * 2 + (0.01 - 2 * (1e-12 / 20)) / 0.000001;
    EXPECT_EQ(Prompt.Texts()[0], "Curve lenght " + us.IntToValStr(usSI, us.ValToInt(usSI, T)) + " s. Curve is too slow! Please change velocity, acceleration  or the stroke!");
}

TEST_F(Generator, ConveyorEndsExactlyAndRefitsOnCopies) {
    auto w = Create<TConvSyncPosIncWizard>("ConvSyncPosInc");
    // strokes that sum to the whole stroke: accepted, no constant phase
    ASSERT_TRUE(w->DataCheck(Texts({10000, 0.2, 0.01, 0.05, 0.02, 0.02}), &Units, 100000)) << Prompt.Texts()[0];
    EXPECT_NEAR(w->GetInfoSIValue(2), w->GetInfoSIValue(3) + w->GetInfoSIValue(4), 0.5);
    for (int N : {2, 3, 4, 7, 1001}) {
        const auto a = w->CalcSIPoints(N);
        const auto b = w->CalcSIPoints(N);
        EXPECT_EQ(a, b) << N;
        EXPECT_EQ(a.back(), w->GetParSIValue(3)) << N; // End exactly, as the unit quantised it
        for (double v : a) EXPECT_TRUE(std::isfinite(v)) << N;
    }
    ASSERT_FALSE(w->DataCheck(Texts({10000, 0.2, 0.01, 0.05, 0.02, 0.0201}), &Units, 100000));
    ASSERT_EQ(Prompt.Count(), 1u);
    EXPECT_EQ(Prompt.Texts()[0],
              "Range Error!\r\rAcceleration Stroke + Deceleration Stroke has to be less than the desired stroke!");
}

TEST_F(Generator, VALengthJoinsItsPhases) {
    auto w = Create<TVALengthPosIncWizard>("VALengthPosInc");
    const double La = 1000, Lp = 2000, Ld = 1000, d = 0.06, D = La / 2 + Lp + Ld / 2;
    ASSERT_TRUE(w->DataCheck(Texts({10000, 0, d, La, Lp, Ld}), &Units, 100000));
    const auto p = w->CalcSIPoints(static_cast<int>(La + Lp + Ld) + 1); // one point per increment
    EXPECT_NEAR(p[1000], (La / 2) * d / D, 1e-15);
    EXPECT_NEAR(p[3000], d - (Ld / 2) * d / D, 1e-15);
    EXPECT_NEAR(p[999], (999.0 * 999.0 / (2 * La)) * d / D, 1e-15);
    EXPECT_NEAR(w->GetInfoSIValue(4), 10000 * d / D, 1e-12);
}

TEST_F(Generator, Proposals) {
    auto sine = Create<TSineWizard>("SinPosTime");
    ASSERT_TRUE(sine->DataCheck(Texts({0.5, 0, 0.01}), &Units, 1000));
    EXPECT_EQ(sine->FNoOfSetPointsProposal, 501);
    ASSERT_TRUE(sine->DataCheck(Texts({0.5, 0, 0.01}), &Units, 300));
    EXPECT_EQ(sine->FNoOfSetPointsProposal, 300);
    EXPECT_DOUBLE_EQ(sine->FXLength, 0.5);
    auto cam = Create<TSinPosIncWizard>("SinPosInc");
    ASSERT_TRUE(cam->DataCheck(Texts({10000, 4, 0, 0.01}), &Units, 1000)); // 0.0004 s
    EXPECT_EQ(cam->FNoOfSetPointsProposal, 2);
    EXPECT_DOUBLE_EQ(cam->GetInfoSIValue(0), 0.0004);
    // a half millisecond rounds to the even count
    ASSERT_TRUE(cam->DataCheck(Texts({10000, 25, 0, 0.01}), &Units, 1000)); // 2.5 ms
    EXPECT_EQ(cam->FNoOfSetPointsProposal, 3);
    auto still = Create<TStandstillPosIncWizard>("StandstillPosInc");
    ASSERT_TRUE(still->DataCheck(Texts({10000, 50000, 0.01}), &Units, 1));
    EXPECT_EQ(still->FNoOfSetPointsProposal, 2);
    EXPECT_DOUBLE_EQ(still->GetInfoSIValue(0), 5.0);
    auto manual = Create<TManualWizard>("ManualTime");
    ASSERT_TRUE(manual->DataCheck(Texts({3}), &Units, 1));
    EXPECT_EQ(manual->FNoOfSetPointsProposal, 2);
    EXPECT_DOUBLE_EQ(manual->FXLength, 3.0);
    EXPECT_TRUE(Prompt.Texts().empty());
}

TEST_F(Generator, LimitsPassExactlyAndFailOneRawStepBeyond) {
    auto w = Create<TSineWizard>("SinPosTime");
    EXPECT_TRUE(w->DataCheck({"0.001", "-10", "10"}, &Units, 1000));
    EXPECT_TRUE(w->DataCheck({"100", "0", "0.01"}, &Units, 1000));
    EXPECT_TRUE(Prompt.Texts().empty());
    const struct {
        std::vector<MyAnsiString> Texts;
        const char* Message;
    } cases[] = {
        {{"100.000001", "0", "0.01"},
         "Parameter 'Curve Length' out of Range!\r\rMinimal Value: 0.001 s\rMaximal Value: 100 s\r"},
        {{"0.000999", "0", "0.01"},
         "Parameter 'Curve Length' out of Range!\r\rMinimal Value: 0.001 s\rMaximal Value: 100 s\r"},
        {{"0.5", "-10.0000001", "0.01"},
         "Parameter 'Start Position' out of Range!\r\rMinimal Value: -10 m\rMaximal Value: 10 m\r"},
    };
    for (const auto& c : cases) {
        Prompt.Clear();
        EXPECT_FALSE(w->DataCheck(c.Texts, &Units, 1000));
        ASSERT_EQ(Prompt.Count(), 1u);
        EXPECT_EQ(Prompt.Texts()[0], c.Message);
        EXPECT_EQ(Prompt.Requests()[0].Kind, TMsgDlgType::mtError);
    }
    // a text that is no number stops the check the same way
    Prompt.Clear();
    EXPECT_FALSE(w->DataCheck({"abc", "0", "0.01"}, &Units, 1000));
    EXPECT_EQ(Prompt.Count(), 1u);
}

// Degenerate parameters the file's limits allow never give NaN or infinite
// set points: the check refuses them with a message.
TEST_F(Generator, DegenerateParametersAreRefused) {
    const struct {
        const char* What;
        std::function<std::unique_ptr<TCurveWizard>()> Create;
        std::vector<double> Pars;
    } cases[] = {
        {"VA zero acceleration", [&] { return Create<TPToPWizard>("VAPosTime"); }, {0, 0.1, 1, 0, 10}},
        {"VA zero deceleration", [&] { return Create<TPToPWizard>("VAPosTime"); }, {0, 0.1, 1, 10, 0}},
        {"VA zero velocity", [&] { return Create<TPToPWizard>("VAPosTime"); }, {0, 0.1, 0, 10, 10}},
        {"jerk zero", [&] { return Create<TLimitJerkWizard>("LimitJerkPosTime"); }, {0, 0.1, 1, 10, 10, 0}},
        {"jerk zero acceleration", [&] { return Create<TLimitJerkWizard>("LimitJerkPosTime"); }, {0, 0.1, 1, 0, 10, 100}},
        {"jerk zero velocity", [&] { return Create<TLimitJerkWizard>("LimitJerkPosTime"); }, {0, 0.1, 0, 10, 10, 100}},
        {"conveyor zero velocity", [&] { return Create<TConvSyncPosIncWizard>("ConvSyncPosInc"); }, {10000, 0, 0, 0.05, 0.01, 0.01}},
        {"conveyor zero acceleration stroke", [&] { return Create<TConvSyncPosIncWizard>("ConvSyncPosInc"); }, {10000, 0.2, 0, 0.05, 0, 0.01}},
        {"VA length zero acceleration length", [&] { return Create<TVALengthPosIncWizard>("VALengthPosInc"); }, {10000, 0, 0.05, 0, 1000, 1000}},
        {"VA length all zero", [&] { return Create<TVALengthPosIncWizard>("VALengthPosInc"); }, {10000, 0, 0.05, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        Prompt.Clear();
        auto w = c.Create();
        EXPECT_FALSE(w->DataCheck(Texts(c.Pars), &Units, 1000)) << c.What;
        EXPECT_EQ(Prompt.Count(), 1u) << c.What;
    }
}

TEST_F(Generator, MissingEntryHasNothing) {
    auto w = Create<TSineWizard>("NoSuchGenerator");
    EXPECT_EQ(w->GetNoOfWizardPars(), 0);
    EXPECT_EQ(w->GetNoOfInfoValues(), 0);
    EXPECT_EQ(w->GetParCaption(0), "");
    EXPECT_EQ(w->GetInfoValueCaption(0), "");
    EXPECT_EQ(w->GetParUUID(0), 0);
    EXPECT_EQ(w->GetInfoValueUUID(0), 0);
    EXPECT_EQ(w->GetParDefaultValue(0), 0.0);
    EXPECT_EQ(w->GetParSIValue(0), 0.0);
    EXPECT_EQ(w->GetInfoSIValue(0), 0.0);
    EXPECT_EQ(w->FWizardName, "NoSuchGenerator");
    EXPECT_TRUE(Prompt.Texts().empty());
    // a broken file is reported, and the generator stays without parameters
    TRef<TSLDictionary> bad = test::DecodeDict("[D /WizardTypeArray [A [D /Name 'X' /Caption 'c' ] ] ]");
    TSineWizard broken(bad.Get(), "X");
    EXPECT_EQ(Prompt.Count(), 1u);
    EXPECT_EQ(broken.GetNoOfWizardPars(), 0);
}

// Every archived entry belongs to its class and lists its parameters in the
// order the generator reads them.
TEST_F(Generator, ArchivedEntriesMatchTheirClasses) {
    const struct {
        const char* Name;
        std::unique_ptr<TCurveWizard> W;
        std::vector<const char*> Pars;
        int Infos;
    } cases[] = {
        {"SinPosTime", Create<TSineWizard>("SinPosTime"), {"CurveLength", "StartPoint", "EndPoint"}, 3},
        {"VAPosTime", Create<TPToPWizard>("VAPosTime"), {"StartPoint", "EndPoint", "MaxVel", "StartAcc", "EndDec"}, 3},
        {"MinJerkPosTime", Create<TMinJerkWizard>("MinJerkPosTime"), {"CurveLength", "StartPoint", "EndPoint"}, 4},
        {"LimitJerkPosTime", Create<TLimitJerkWizard>("LimitJerkPosTime"), {"StartPoint", "EndPoint", "v_Max", "a_Acc", "a_Dec", "r"}, 5},
        {"StandstillPosTime", Create<TStandstillWizard>("StandstillPosTime"), {"CurveLength", "StandstillPoint"}, 0},
        {"FromFileTime", Create<TManualWizard>("FromFileTime"), {"CurveLength"}, 0},
        {"ManualTime", Create<TManualWizard>("ManualTime"), {"CurveLength"}, 0},
        {"SinPosInc", Create<TSinPosIncWizard>("SinPosInc"), {"NomEncSpeed", "CamLength", "StartPoint", "EndPoint"}, 4},
        {"MinJerkPosInc", Create<TMinJerkPosIncWizard>("MinJerkPosInc"), {"NomEncSpeed", "CamLength", "StartPoint", "EndPoint"}, 5},
        {"StandstillPosInc", Create<TStandstillPosIncWizard>("StandstillPosInc"), {"NomEncSpeed", "CamLength", "StandStillPoint"}, 1},
        {"VALengthPosInc", Create<TVALengthPosIncWizard>("VALengthPosInc"), {"NomEncSpeed", "StartPoint", "EndPoint", "AccLength", "ProportionalLength", "DecLength"}, 6},
        {"ConvSyncPosInc", Create<TConvSyncPosIncWizard>("ConvSyncPosInc"), {"NomEncSpeed", "ConvVelocity", "StartPoint", "EndPoint", "AccStroke", "DecStroke"}, 7},
        {"FromFileInc", Create<TManualWizard>("FromFileInc"), {"CamLength"}, 0},
        {"ManualInc", Create<TManualPosIncWizard>("ManualInc"), {"CamLength"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        // the manual type is shared; every other entry carries its class's type
        EXPECT_EQ(c.W->FWizardType, std::string(c.Name) == "FromFileInc" ? 257 : c.W->GetWizardType());
        ASSERT_EQ(c.W->GetNoOfWizardPars(), static_cast<int>(c.Pars.size()));
        for (std::size_t i = 0; i < c.Pars.size(); ++i) {
            const TWizardPar& p = *c.W->GetPar(static_cast<int>(i));
            EXPECT_EQ(p.Name, c.Pars[i]);
            EXPECT_LE(p.MinValue, p.DefaultValue);
            EXPECT_LE(p.DefaultValue, p.MaxValue);
            EXPECT_NE(Units.GetUnitWithUUID(p.ParUUID), nullptr) << p.Name;
        }
        EXPECT_EQ(c.W->GetNoOfInfoValues(), c.Infos);
        for (int i = 0; i < c.Infos; ++i) EXPECT_NE(Units.GetUnitWithUUID(c.W->GetInfoValueUUID(i)), nullptr);
        // the defaults make a valid curve
        std::vector<double> defaults;
        for (int i = 0; i < c.W->GetNoOfWizardPars(); ++i) defaults.push_back(c.W->GetParDefaultValue(i));
        EXPECT_TRUE(c.W->DataCheck(Texts(defaults), &Units, 1000)) << (Prompt.Count() ? Prompt.Texts()[0] : "");
        Prompt.Clear();
    }
    EXPECT_EQ(Create<TSineWizard>("FromFileTime")->FWizardCaption, "FromFile...");
}

} // namespace
} // namespace vo
