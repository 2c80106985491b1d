// Costs of a drive's parameter tree: building and indexing a tree of
// state.range(0) nodes (one directory per 50 integers), finding nodes by
// master UPID, and one visibility pass over the tree.
#include "devices/DevMan.h"
#include "kernel/MxTLib20.h"
#include "parameters/ParSrv.h"
#include "parameters/PtDir.h"
#include "parameters/PtGen.h"
#include "parameters/PtRoot.h"
#include "parameters/UniSrv.h"
#include "platform/MainLoop.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Rec.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

using namespace vo;

namespace {

class TBenchInt : public TGenericIntParameter {
public:
    using TGenericIntParameter::TGenericIntParameter;
    std::int64_t GetIntValue() const override { return 0; }
};

// The device side of one benchmark: a main scheduler, a device manager and
// one device with its unit service.
struct TBenchDevice {
    TBenchDevice() {
        MxCreateMainScheduler(Pump);
        Registry = SLDecodeString("[D /Profiles [D /Online [D /DeviceType 'Online' /DevVars [D /UserName 'SERVICE' ] ] ] ]");
        Manager = std::make_unique<TDeviceManager>(dynamic_cast<TSLDictionary*>(Registry.Get()));
        Device = &Manager->CreateDevice("Drive", "Online");
        Units = std::make_unique<TUnitService>(*Device, nullptr);
    }
    ~TBenchDevice() {
        Units.reset();
        Manager.reset();
        MxFreeMainScheduler();
    }
    THeadlessPump Pump;
    TRef<TSLObject> Registry;
    std::unique_ptr<TDeviceManager> Manager;
    TDevice* Device = nullptr;
    std::unique_ptr<TUnitService> Units;
};

// Builds Count nodes: a level-1 directory, then 50 integers under it, and so on.
void BuildTree(TParameterService& Service, int Count) {
    TRef<TSLObject> dirRec = SLDecodeString(
        "[R [D:Directory /UPID 65535 /Level 1 /Caption 'Class' /Permission 85 /AddrUsage 0 /UseVFlag '' ] [A 65535 1 'Class' 85 0 '' ] ]");
    TRef<TSLObject> intRec = SLDecodeString(
        "[R [D:Int /UPID 0 /Level 2 /Caption 'Value' /Permission 85 /AddrUsage 5 /UseVFlag '' /UUID 1 ] [A 0 2 'Value' 85 5 '' 1 ] ]");
    auto* dir = dynamic_cast<TSLRecord*>(dirRec.Get());
    auto* value = dynamic_cast<TSLRecord*>(intRec.Get());
    Service.AddTree("Bench-1");
    TParameter* at = nullptr;
    for (int i = 0; i < Count; ++i) {
        if (i % 51 == 0) {
            at = &Service.TreeRoot().AddChild(std::make_unique<TDirectoryParameter>(Service, dir));
        } else {
            value->SetIntWithName("UPID", i);
            at->AddChild(std::make_unique<TBenchInt>(Service, value));
        }
    }
    Service.IndexParameters();
}

void BM_BuildTree(benchmark::State& state) {
    TBenchDevice d;
    for (auto _ : state) {
        TParameterService service(*d.Device, nullptr);
        BuildTree(service, static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(service.GetParameterCount());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BuildTree)->Arg(1000)->Arg(10000);

void BM_FindParameter(benchmark::State& state) {
    TBenchDevice d;
    TParameterService service(*d.Device, nullptr);
    BuildTree(service, static_cast<int>(state.range(0)));
    std::int32_t upid = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(service.FindParameter(upid));
        upid = upid % static_cast<std::int32_t>(state.range(0)) + 1;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindParameter)->Arg(10000);

void BM_UpdateVisibility(benchmark::State& state) {
    TBenchDevice d;
    TParameterService service(*d.Device, nullptr);
    BuildTree(service, static_cast<int>(state.range(0)));
    for (auto _ : state) service.UpdateVisibility();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_UpdateVisibility)->Arg(1000)->Arg(10000);

} // namespace

BENCHMARK_MAIN();
