// Set-point generation: CalcSetpoints of 16001 points into a curve per
// generator against a bare loop of the same formula into a vector of
// doubles, in the same run. Prints the ratios (goal: at most 5).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>
#include <vector>

#include "curves/CurInit.h"
#include "curves/CurWizar.h"
#include "curves/Curve.h"
#include "kernel/ModTree.h"
#include "kernel/MxTLib20.h"
#include "platform/MainLoop.h"
#include "tests/curves/CurveTestUtil.h"
#include "tests/support/ScriptedPrompt.h"

namespace vo {
namespace {

constexpr int N = 16001;
constexpr double Pi = std::numbers::pi;

struct TBenchCase {
    const char* Name;
    std::unique_ptr<TCurveWizard> Wizard;
    std::vector<double> Pars;
    std::function<void(std::vector<double>&)> Bare;
    double CurveNs = 0, BareNs = 0;
};

std::vector<TBenchCase>* Cases = nullptr;
test::TSampleUnits* Units = nullptr;
TModelManager* Models = nullptr;

double X(double L, int i) { return L * i / (N - 1); }

// The minimum-jerk move over T with stroke d from 0, four equal phases.
std::function<void(std::vector<double>&)> MinJerk(double T, double d) {
    return [T, d](std::vector<double>& o) {
        const double j = 32 * d / (T * T * T) / 6, tau = T / 4, A = 8 * d / (T * T), V = d / T;
        for (int i = 0; i < N; ++i) {
            const double t = X(T, i);
            double y;
            if (t < tau) {
                y = j * t * t * t;
            } else if (t < T / 2) {
                const double u = t - tau;
                y = j * tau * tau * tau + V * u + A / 2 * u * u - j * u * u * u;
            } else if (t < 3 * T / 4) {
                const double u = 3 * T / 4 - t;
                y = d - j * tau * tau * tau - V * u - A / 2 * u * u + j * u * u * u;
            } else {
                y = d - j * (T - t) * (T - t) * (T - t);
            }
            o.push_back(y);
        }
    };
}

std::vector<TBenchCase> MakeCases(const TSLDictionary* f) {
    std::vector<TBenchCase> c;
    c.push_back({"SinPosTime", std::make_unique<TSineWizard>(f, "SinPosTime"), {0.5, 0.01, 0.06}, [](std::vector<double>& o) {
                     const double s = 0.01, d = 0.05;
                     for (int i = 0; i < N; ++i) o.push_back(s + d / 2 * (1 + std::sin(Pi * i / (N - 1) - Pi / 2)));
                 }});
    c.push_back({"VAPosTime", std::make_unique<TPToPWizard>(f, "VAPosTime"), {0, 0.2, 1, 20, 10}, [](std::vector<double>& o) {
                     const double a = 20, b = 10, v = 1, sa = v * v / (2 * a), ta = v / a;
                     const double tc = (0.2 - sa - v * v / (2 * b)) / v, T = ta + v / b + tc;
                     for (int i = 0; i < N; ++i) {
                         const double t = X(T, i);
                         o.push_back(t < ta ? a / 2 * t * t
                                            : (t < ta + tc ? sa + v * (t - ta) : 0.2 - b / 2 * (T - t) * (T - t)));
                     }
                 }});
    c.push_back({"MinJerkPosTime", std::make_unique<TMinJerkWizard>(f, "MinJerkPosTime"), {0.3, 0, 0.05}, MinJerk(0.3, 0.05)});
    c.push_back({"LimitJerkPosTime", std::make_unique<TLimitJerkWizard>(f, "LimitJerkPosTime"), {0, 0.3, 1, 10, 5, 200}, nullptr});
    c.push_back({"SinPosInc", std::make_unique<TSinPosIncWizard>(f, "SinPosInc"), {20000, 8000, 0, 0.05}, [](std::vector<double>& o) {
                     for (int i = 0; i < N; ++i) o.push_back(0.025 * (1 + std::sin(Pi * i / (N - 1) - Pi / 2)));
                 }});
    c.push_back({"MinJerkPosInc", std::make_unique<TMinJerkPosIncWizard>(f, "MinJerkPosInc"), {20000, 8000, 0, 0.05}, MinJerk(8000, 0.05)});
    c.push_back({"VALengthPosInc", std::make_unique<TVALengthPosIncWizard>(f, "VALengthPosInc"), {20000, 0, 0.05, 2000, 5000, 3000}, [](std::vector<double>& o) {
                     const double La = 2000, Lp = 5000, Ld = 3000, L = 10000, k = 0.05 / (La / 2 + Lp + Ld / 2);
                     for (int i = 0; i < N; ++i) {
                         const double x = X(L, i);
                         o.push_back(x < La ? x * x / (2 * La) * k
                                            : (x < La + Lp ? La / 2 * k + (x - La) * k
                                                           : 0.05 - (L - x) * (L - x) / (2 * Ld) * k));
                     }
                 }});
    c.push_back({"ConvSyncPosInc", std::make_unique<TConvSyncPosIncWizard>(f, "ConvSyncPosInc"), {20000, 0.2, 0, 0.05, 0.01, 0.02}, [](std::vector<double>& o) {
                     const double n = 20000, w = 0.2, Sa = 0.01, Sd = 0.02, xa = 2 * Sa * n / w, xd = 2 * Sd * n / w;
                     const double L = 5000;
                     for (int i = 0; i < N; ++i) {
                         const double x = X(L, i);
                         o.push_back(x < xa ? x * x / (4 * Sa) * (w / n) * (w / n)
                                            : (x < L - xd ? Sa + (x - xa) * w / n
                                                          : 0.05 - (L - x) * (L - x) / (4 * Sd) * (w / n) * (w / n)));
                     }
                 }});
    c.push_back({"StandstillPosTime", std::make_unique<TStandstillWizard>(f, "StandstillPosTime"), {0.2, 0.01}, [](std::vector<double>& o) { o.assign(N, 0.01); }});
    c.push_back({"StandstillPosInc", std::make_unique<TStandstillPosIncWizard>(f, "StandstillPosInc"), {20000, 5000, -0.02}, [](std::vector<double>& o) { o.assign(N, -0.02); }});
    c.push_back({"ManualTime", std::make_unique<TManualWizard>(f, "ManualTime"), {0.2}, [](std::vector<double>& o) { o.assign(N, 0.0); }});
    return c;
}

void BM_CalcSetpoints(benchmark::State& State) {
    TBenchCase& c = (*Cases)[static_cast<std::size_t>(State.range(0))];
    TCurve curve(Models);
    curve.SetUnits(Units);
    curve.SetYDimUUID(5);
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : State) {
        c.Wizard->CalcSetpoints(N, curve);
        benchmark::DoNotOptimize(curve.GetNoOfSetPoints());
    }
    c.CurveNs = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() /
        static_cast<double>(State.iterations());
    State.SetLabel(c.Name);
}

// What saving or sending adds once after a calculation: the storage-language
// array of the points is built (its point objects reused from the last time).
void BM_ArrayAfterCalc(benchmark::State& State) {
    TCurve curve(Models);
    curve.SetUnits(Units);
    curve.SetYDimUUID(5);
    TCurveWizard& sine = *(*Cases)[0].Wizard;
    for (auto _ : State) {
        State.PauseTiming();
        sine.CalcSetpoints(N, curve);
        State.ResumeTiming();
        benchmark::DoNotOptimize(curve.Data().GetCount());
    }
}

void BM_BareLoop(benchmark::State& State) {
    TBenchCase& c = (*Cases)[static_cast<std::size_t>(State.range(0))];
    std::vector<double> out;
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : State) {
        out.clear();
        out.reserve(N);
        if (c.Bare)
            c.Bare(out);
        else
            c.Wizard->CalcSIPoints(N, out); // the generator's own loop into doubles
        benchmark::DoNotOptimize(out.data());
    }
    c.BareNs = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() /
        static_cast<double>(State.iterations());
    State.SetLabel(c.Name);
}

} // namespace
} // namespace vo

int main(int argc, char** argv) {
    using namespace vo;
    THeadlessPump pump;
    MxCreateMainScheduler(pump);
    {
        test::TScriptedPromptScope prompt;
        test::TArchiveStorage storage;
        test::TSampleUnits units;
        TModelManager models;
        Units = &units;
        Models = &models;
        TRef<TSLDictionary> file = storage.Read(test::TypesFile);
        std::vector<TBenchCase> cases = MakeCases(file.Get());
        Cases = &cases;
        for (std::size_t i = 0; i < cases.size(); ++i) {
            if (!cases[i].Wizard->DataCheck(test::Texts(cases[i].Pars), &units, N)) {
                std::fprintf(stderr, "%s: %s\n", cases[i].Name, prompt.Texts().back().c_str());
                return 1;
            }
            benchmark::RegisterBenchmark(("CalcSetpoints/" + std::string(cases[i].Name)).c_str(), BM_CalcSetpoints)
                ->Arg(static_cast<int>(i));
            benchmark::RegisterBenchmark(("BareLoop/" + std::string(cases[i].Name)).c_str(), BM_BareLoop)
                ->Arg(static_cast<int>(i));
        }
        benchmark::RegisterBenchmark("ArrayAfterCalc/SinPosTime", BM_ArrayAfterCalc);
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        std::printf("\nCalcSetpoints of %d points into a curve vs a bare loop into doubles (goal <= 5):\n", N);
        for (const auto& c : cases)
            if (c.CurveNs > 0 && c.BareNs > 0)
                std::printf("  %-18s %9.1f us %9.1f us  ratio %5.2f\n", c.Name, c.CurveNs / 1000, c.BareNs / 1000,
                            c.CurveNs / c.BareNs);
        PurgeAutoReleasePool();
    }
    MxFreeMainScheduler();
    return 0;
}
