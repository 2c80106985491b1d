// The cost of a native wait in a script task: 10,000 waits, each continued
// at once by another main-scheduler task, next to 10,000 bare signal round
// trips between two main-scheduler tasks. Goal: the script's waits take at
// most twice as long as the bare round trips.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "kernel/MxTLib20.h"
#include "platform/MainLoop.h"
#include "scripting/ScrTaImp.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Exe.h"
#include "storagelib/SL20Sto.h"

using namespace vo;

namespace {

constexpr int Rounds = 10000;

// A main-scheduler task that continues whatever context asked it to.
class TContinuer {
public:
    TContinuer() : FTask(TMxTask::CreateMain("Continuer")) {
        FTask->SetOnExecute([this](TMxTask& T) {
            FSignal.SetReady(false);
            if (TContextInterface* ctx = std::exchange(FWaiting, nullptr)) ctx->Continue(this);
            T.WaitFor(FSignal, MxInfinite);
        });
        FTask->Start();
    }
    void Ask(TContextInterface& Ctx) {
        FWaiting = &Ctx;
        FSignal.SetReady(true);
    }

private:
    std::unique_ptr<TMxTask> FTask;
    TMxSignal FSignal;
    TContextInterface* FWaiting = nullptr;
};

// "await": waits without time-out and asks the continuer for the answer.
class TAwait : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TAwait, TSLInternalProcedure)
public:
    explicit TAwait(TContinuer& Continuer) : FContinuer(Continuer) {}
    void Execute(TSLContext* Context) override {
        TContextInterface& ci = *Context->FContextInterface;
        ci.Wait(this, 0x7FFFFFFF);
        FContinuer.Ask(ci);
    }

private:
    TContinuer& FContinuer;
};

struct TEnvironment {
    TEnvironment() {
        MxCreateMainScheduler(Pump);
        Manager = std::make_unique<TStorageManager>("C:\\prog\\");
        SLInstallScriptEngine(*Manager);
    }
    ~TEnvironment() {
        Manager.reset();
        PurgeAutoReleasePool();
        MxFreeMainScheduler();
    }
    THeadlessPump Pump;
    std::unique_ptr<TStorageManager> Manager;
};

void BM_NativeWaitsContinuedByAnotherTask(benchmark::State& State) {
    TEnvironment env;
    TScriptTaskManager tasks;
    TContinuer continuer;
    TScriptTask task(nullptr, &tasks);
    TRef<TSLObject> block = SLDecodeString("[B " + std::to_string(Rounds) + " [B await] repeat ]");
    task.SetScript(SLCast<TSLBlock>(block.Get()));
    TRef<TSLDictionary> natives = MakeRef<TSLDictionary>();
    natives->AddObject("await", MakeRef<TAwait>(continuer).Get());
    for (auto _ : State) {
        task.SetContext(TRef<TSLContext>(env.Manager->CreateContext(false)).Get());
        SLContextImpl(task.GetContext()).AddDict(natives.Get());
        task.Start();
        env.Pump.RunUntil([&] { return !task.GetRunning(); }, std::chrono::minutes(1));
        if (task.Result != 0) State.SkipWithError(task.GetErrorMsg().c_str());
    }
    State.SetItemsProcessed(State.iterations() * Rounds);
}
BENCHMARK(BM_NativeWaitsContinuedByAnotherTask)->Unit(benchmark::kMillisecond);

void BM_BareSignalRoundTripsBetweenTwoTasks(benchmark::State& State) {
    TEnvironment env;
    TMxSignal pingSignal, pongSignal;
    int left = 0;
    auto ping = TMxTask::CreateMain("Ping");
    auto pong = TMxTask::CreateMain("Pong");
    ping->SetOnExecute([&](TMxTask& T) {
        pingSignal.SetReady(false);
        if (left > 0) {
            --left;
            pongSignal.SetReady(true);
        }
        T.WaitFor(pingSignal, MxInfinite);
    });
    pong->SetOnExecute([&](TMxTask& T) {
        pongSignal.SetReady(false);
        pingSignal.SetReady(true);
        T.WaitFor(pongSignal, MxInfinite);
    });
    ping->Start();
    pong->Start();
    env.Pump.RunPending(100);
    for (auto _ : State) {
        left = Rounds;
        pingSignal.SetReady(true);
        env.Pump.RunUntil([&] { return left == 0 && !pingSignal.Ready() && !pongSignal.Ready(); },
                          std::chrono::minutes(1));
    }
    State.SetItemsProcessed(State.iterations() * Rounds);
}
BENCHMARK(BM_BareSignalRoundTripsBetweenTwoTasks)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
