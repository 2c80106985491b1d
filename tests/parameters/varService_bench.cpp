// Variables read per second in one batch of 200, against the floor of 200
// single raw read telegrams (88 01 <UPID>) sent one by one through the client
// and the communication server to the same simulated drive over a pseudo-
// terminal. Also the batch's own cost in process: the records of 200
// variables put into an actor without a server, answered and taken back.
// Prints the rates and the ratio; the goal is a batch no slower than the raw
// round trips.
#include "comm/OvraActr.h"
#include "tests/parameters/VarServiceFixture.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

namespace vo {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int VariableCount = 200;
constexpr std::uint16_t FirstUpid = 0x3000;

double Ms(Clock::time_point Since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - Since).count();
}

class Bench : public test::VarServiceTestBase {
public:
    void TestBody() override {}
    void Begin() {
        SetUp();
        SimDriveDescription drive = SimLoadDrive(SimDataDir() + "/vx41.drive");
        for (int i = 0; i < VariableCount; ++i)
            drive.drive.SetParameter(std::uint16_t(FirstUpid + i), 2, SimLE(std::uint32_t(i), 2), true);
        Attach(std::move(drive));
        Runner->Transcript().SetCapacity(64);
        Device = &LoggedIn();
        TVariableService& s = Vars(*Device);
        Dir = &s.CreateDir("Bench", "Bench", 0x41, true);
        for (int i = 0; i < VariableCount; ++i) {
            TVarItem& v = Dir->CreateVar(std::to_string(FirstUpid + i), "V", "UInt16", -1, vstSystem);
            TRef<TSLObject> conf = SLDecodeString("[D /UPID " + std::to_string(FirstUpid + i) + " ]");
            v.SetConfig(*dynamic_cast<TSLDictionary*>(conf.Get()));
        }
    }
    void End() { TearDown(); }

    // One batch reading the 200 variables, in ms.
    double BatchRead() {
        TVariableService& s = Vars(*Device);
        const auto t0 = Clock::now();
        const bool ok = Batch(s, [&] {
            for (int i = 0; i < Dir->GetCount(); ++i) Dir->GetVarItem(i).RequestRead();
        });
        for (int i = 0; i < Dir->GetCount(); ++i)
            if (!Dir->GetVarItem(i).CheckFlag(vfValid))
                return -1;
        return ok ? Ms(t0) : -1;
    }

    // The same telegrams as single raw records, one round trip each.
    double RawRoundTrips() {
        TOvraActorLease actor(*Client);
        TRawFramePattern raw(&Ovra(*Device));
        bool done = false;
        actor->SetOnResponse([&](TOvraActor&) { done = true; });
        const auto t0 = Clock::now();
        for (int i = 0; i < VariableCount; ++i) {
            const int upid = FirstUpid + i;
            actor->Clear();
            raw.Put(*actor, MyAnsiString{'\x88', '\x01', char(upid & 0xFF), char(upid >> 8)}, 0);
            done = false;
            actor->Execute();
            if (!RunUntil([&] { return done; }, std::chrono::seconds(10)))
                return -1;
        }
        return Ms(t0);
    }

    // The batch without the medium: records put, answered, taken; in ms.
    double InProcess(int Rounds) {
        test::TRecordActor actor(*Client);
        const TVarTelegramPatterns patterns = TVarTelegramPatterns::Of(Ovra(*Device));
        std::vector<std::string> answers;
        for (int i = 0; i < VariableCount; ++i) answers.push_back("88 00 34 12");
        const auto t0 = Clock::now();
        for (int r = 0; r < Rounds; ++r) {
            actor.Clear();
            for (int i = 0; i < Dir->GetCount(); ++i) {
                Dir->GetVarItem(i).RequestRead();
                Dir->GetVarItem(i).SetActorData(actor, patterns);
            }
            Answer(actor, answers);
            for (int i = 0; i < Dir->GetCount(); ++i) Dir->GetVarItem(i).GetActorData(actor, patterns);
        }
        return Ms(t0) / Rounds;
    }

    TDevice* Device = nullptr;
    TDirItem* Dir = nullptr;
};

double GBatch = 0, GRaw = 0, GLocal = 0;

void BM_VariableBatchRead(benchmark::State& State) {
    for (auto _ : State) {
        Bench b;
        b.Begin();
        GBatch = b.BatchRead();
        GRaw = b.RawRoundTrips();
        GLocal = b.InProcess(20);
        b.End();
        if (GBatch < 0 || GRaw < 0 || GLocal < 0) {
            State.SkipWithError("a run failed");
            break;
        }
    }
    State.counters["batch_vars_per_s"] = VariableCount * 1000.0 / GBatch;
    State.counters["raw_vars_per_s"] = VariableCount * 1000.0 / GRaw;
    State.counters["in_process_vars_per_s"] = VariableCount * 1000.0 / GLocal;
    State.counters["batch_to_raw"] = GBatch / GRaw;
}
BENCHMARK(BM_VariableBatchRead)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace
} // namespace vo

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    std::printf("batch of %d: %.1f ms, %d raw round trips: %.1f ms (ratio %.2f; goal <= 1); in process %.3f ms\n",
                vo::VariableCount, vo::GBatch, vo::VariableCount, vo::GRaw, vo::GBatch / vo::GRaw, vo::GLocal);
    return 0;
}
