// Block transfers to a simulated drive (vx41: 252-byte reads, 250-byte
// writes) over the RS232 driver on a pseudo-terminal:
// BM_BlockRead64K: a 64 KB read with one block reader (one request of 261
//   records); BM_LoaderWriteFlash64K: 64 KB through the loader's "WriteFlash"
//   plug-in (512-byte loader blocks, flash erased between rounds);
// BM_BareGetBlockTelegrams: single 252-byte get-block telegrams, one per
//   request, for the telegram rate of the same line.
// Each reports bytes per second (KB/s in the output) or telegrams per second.
#include "devices/ExeRdBlk.h"
#include "devices/LoadSrv.h"

#include "tests/support/DeviceFixture.h"

#include <benchmark/benchmark.h>

namespace {

using namespace std::chrono_literals;

class TBenchDevice : public vo::test::OnlineDeviceTest {
public:
    void TestBody() override {}
    void RegisterServices() override {
        DeviceTestBase::RegisterServices();
        Manager->RegisterServiceClass("LoaderService", vo::DeviceServiceClass<vo::TLoaderService>());
    }
    void Up() { SetUp(); }
    void Down() { TearDown(); }
    void FlashOverwrite() {
        Runner->WithDrive([](vo::SimDrive& d) {
            d.SetFlashOverwrite(true);
            return 0;
        });
    }
    vo::TBasicOvraService& S() { return Ovra(*Device); }
    bool Until(const std::function<bool()>& P) { return RunUntil(P, 30s); }
    using OnlineDeviceTest::Device;
};

// Reads Size bytes from address 0 with one block reader per iteration.
void ReadLoop(benchmark::State& State, int32_t Size) {
    TBenchDevice b;
    b.Up();
    auto reader = std::make_unique<vo::TBlockReader>();
    vo::TBlockReader& r = *reader;
    bool done = false;
    r.SetOnResponse([&](vo::TBlockReader&) { done = true; });
    for (auto _ : State) {
        r.Put(b.S(), 0, Size);
        done = false;
        r.Execute();
        b.Until([&] { return done; });
        benchmark::DoNotOptimize(r.GetData(Size));
    }
    reader.reset();
    b.Down();
}

void BM_BlockRead64K(benchmark::State& State) {
    ReadLoop(State, 65536);
    State.SetBytesProcessed(int64_t(State.iterations()) * 65536);
}
BENCHMARK(BM_BlockRead64K)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoaderWriteFlash64K(benchmark::State& State) {
    TBenchDevice b;
    b.Up();
    auto* loader = b.Device->FindService<vo::TLoaderService>("LoaderService");
    b.FlashOverwrite();
    vo::MyAnsiString image(65536, '\x5A');
    vo::TLoaderClient c;
    c.Connect(*loader);
    for (auto _ : State) {
        int calls = 0;
        c.Execute([&](vo::TLoaderClient& C) {
            if (calls++ == 0) {
                C.SetPlugin("WriteFlash");
                C.PluginData(0x01000000, image.data(), 65536, false);
            } else {
                C.Finish();
            }
        });
        b.Until([&] { return c.ClientState() == vo::lcsReady; });
    }
    State.SetBytesProcessed(int64_t(State.iterations()) * 65536);
    c.Disconnect();
    b.Down();
}
BENCHMARK(BM_LoaderWriteFlash64K)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BareGetBlockTelegrams(benchmark::State& State) {
    ReadLoop(State, 252);
    State.SetItemsProcessed(int64_t(State.iterations()));
}
BENCHMARK(BM_BareGetBlockTelegrams)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
