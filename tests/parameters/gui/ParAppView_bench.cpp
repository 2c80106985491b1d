// The parameter list view with one directory of 2,000 integer parameters
// (offscreen, through the real list), logged in to a generated drive over a
// pseudo-terminal:
//  - refresh: every value changed between passes, then the view's refresh of
//    the value cells (the list's items and a processed paint); rows per second;
//  - rebuild: the rows again from the directory (every cell and item).
// Goal: a full refresh well under 100 ms, so that the view keeps up with
// repeated reads.
#include "parameters/PtInt.h"
#include "tests/parameters/gui/ParAppViewFixture.h"
#include "tests/support/QtTestApp.h"
#include "tools/drivesim/SimDescriptions.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <chrono>

namespace vo {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int ParameterCount = 2000;
const char* const TreeName = "BenchTree_Std_V1S0";

double Ms(Clock::time_point Since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - Since).count();
}

// One directory "Values" of 2,000 UInt16 values.
std::string GeneratedDescription() {
    std::string s = "[D /ModuleInfo [D /TreeLevel 2 /FileName '" + std::string(TreeName) + "' ] /ParameterArray [A\n";
    s += "[R [D:Directory /UPID 65536 /Level 1 /Caption '' /Permission 85 /AddrUsage 0 /UseVFlag '' ]"
         " [A 65536 1 'Values' 85 0 '' ] ]\n";
    for (int i = 0; i < ParameterCount; ++i) {
        const int upid = 0x2000 + i;
        s += i == 0 ? "[R [D:UInt16 /UPID 0 /Level 2 /Caption '' /Permission 255 /AddrUsage 15 /UseVFlag ''"
                      " /DisplayMode 'DEC' /UUID 0 /MinValue 0 /MaxValue 65535 /DefValue 0 ]"
                    : "[R @UInt16";
        s += " [A " + std::to_string(upid) + " 2 'Value " + std::to_string(upid) + "' 255 15 '' 'DEC' 0 0 65535 " +
            std::to_string(upid & 0xFF) + " ] ]\n";
    }
    return s + "] ]\n";
}

class Bench : public test::ParAppViewTestBase {
public:
    void TestBody() override {}
    bool Begin() {
        SetUp();
        SetWorkDir(RealPathToStored(Dir.Path()));
        Dir.Write(std::string("Firmware/") + TreeName + ".IN2", GeneratedDescription());
        Dir.Write("Firmware/VxIntf_Std_V1S1.IN2", "[D /ModuleInfo [D /TreeLevel 3 ] ]");
        SimDriveDescription drive = SimLoadDrive(SimDataDir() + "/vx41.drive");
        SimNodeFields f;
        f.fileType = 5;
        f.fileSubType = 2;
        f.completeName = TreeName;
        drive.drive.Poke(0x8080, SimBuildInfoNode(f, 0x41, 2));
        drive.drive.Instances()[0].treeName = TreeName;
        SimApplyDescription(drive.drive, (Dir.Path() / "Firmware" / (std::string(TreeName) + ".IN2")).string());
        Attach(std::move(drive));
        Runner->Transcript().SetCapacity(64);
        Login("USER", "user", false);
        TParAppViewForm& v = ShowDirectory("Values");
        return v.ListView->topLevelItemCount() == ParameterCount;
    }
    void End() { TearDown(); }

    // Every value one up, as a read pass would leave them.
    void ChangeValues() {
        Params(*Device).ForEachParameter([](TParameter& P, bool&) {
            if (P.IsInteger()) {
                P.SetIntValue(usSI, (P.GetIntValue() + 1) & 0xFFFF);
                P.CopyTempToData();
            }
        });
    }
    double Refresh() {
        ChangeValues();
        const auto t0 = Clock::now();
        View()->ViewModel().RefreshListView();
        QCoreApplication::processEvents();
        return Ms(t0);
    }
    double Rebuild() {
        const auto t0 = Clock::now();
        View()->ViewModel().BuildListView();
        QCoreApplication::processEvents();
        return Ms(t0);
    }

    test::TTempFolder Dir;
};

void BM_ParameterViewRefresh(benchmark::State& State) {
    Bench b;
    if (!b.Begin()) {
        State.SkipWithError("the view did not list the directory");
        b.End();
        return;
    }
    double total = 0;
    for (auto _ : State) {
        const double ms = b.Refresh();
        State.SetIterationTime(ms / 1000.0);
        total += ms;
    }
    State.counters["refresh_ms"] = total / static_cast<double>(State.iterations());
    State.counters["rows_per_s"] = benchmark::Counter(static_cast<double>(ParameterCount) * static_cast<double>(State.iterations()) /
                                                      (total / 1000.0));
    b.End();
}
BENCHMARK(BM_ParameterViewRefresh)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

void BM_ParameterViewRebuild(benchmark::State& State) {
    Bench b;
    if (!b.Begin()) {
        State.SkipWithError("the view did not list the directory");
        b.End();
        return;
    }
    double total = 0;
    for (auto _ : State) {
        const double ms = b.Rebuild();
        State.SetIterationTime(ms / 1000.0);
        total += ms;
    }
    State.counters["rebuild_ms"] = total / static_cast<double>(State.iterations());
    b.End();
}
BENCHMARK(BM_ParameterViewRebuild)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

} // namespace
} // namespace vo

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    // The Qt application of the test support, as the tests have it.
    ::testing::InitGoogleTest(&argc, argv);
    vo::test::QtAppEnvironment->SetUp();
    benchmark::RunSpecifiedBenchmarks();
    vo::test::QtAppEnvironment->TearDown();
    benchmark::Shutdown();
    return 0;
}
