// Costs of the task kernel: one scheduler step, a signal wait and resumption
// across threads, and a timer insertion into a queue of 10,000 timers.
#include "kernel/MxTLib20.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace vo;

namespace {

// One step of one ready task (the step itself does nothing), with
// state.range(0) tasks ready at the same priority.
void BM_SchedulerStep(benchmark::State& state) {
    TMxScheduler scheduler;
    std::vector<std::unique_ptr<TMxTask>> tasks;
    for (int64_t i = 0; i < state.range(0); ++i) {
        tasks.push_back(std::make_unique<TMxTask>(scheduler, "Bench"));
        tasks.back()->SetOnExecute([](TMxTask&) {});
        tasks.back()->Start();
    }
    for (auto _ : state)
        scheduler.Execute();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SchedulerStep)->Arg(1)->Arg(100);

// A step that waits on a signal that is ready (decided at once) and one that
// suspends and is resumed from the same thread: the wait/resume bookkeeping.
void BM_SignalWaitResumeSameThread(benchmark::State& state) {
    TMxScheduler scheduler;
    TMxSignal signal;
    TMxTask task(scheduler, "Bench");
    task.Start();
    for (auto _ : state) {
        task.WaitFor(signal, MxInfinite); // suspends (no timer)
        signal.SetReady(true); // resumes
        signal.SetReady(false);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SignalWaitResumeSameThread);

// A task on a threaded scheduler waits on a signal; this thread sets it and
// spins until the task has run its next step: one full round trip.
void BM_SignalWaitResumeAcrossThreads(benchmark::State& state) {
    auto scheduler = TMxScheduler::CreateThreaded("BenchSched");
    TMxSignal signal;
    std::atomic<uint64_t> resumed{0};
    TMxTask task(*scheduler, "Bench");
    task.SetOnExecute([&](TMxTask& t) {
        if (t.ExecuteInfo() == eiSuccess && signal.Ready()) {
            signal.SetReady(false);
            resumed.fetch_add(1, std::memory_order_release);
        }
        t.WaitFor(signal, MxInfinite);
    });
    task.Start();
    while (signal.WaitingCount() == 0)
        std::this_thread::yield();
    for (auto _ : state) {
        const uint64_t before = resumed.load(std::memory_order_acquire);
        signal.SetReady(true);
        while (resumed.load(std::memory_order_acquire) == before)
            std::this_thread::yield();
        while (signal.WaitingCount() == 0) // back in its wait
            std::this_thread::yield();
    }
    task.Kill();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SignalWaitResumeAcrossThreads)->UseRealTime();

// Inserting (Start) one timer into a queue that holds 10,000 timers, expiring
// last (the common case), in the middle, or first.
void BM_TimerInsert10k(benchmark::State& state) {
    TMxTimerQueue queue("BenchTimers");
    std::vector<std::unique_ptr<TMxTimer>> timers;
    for (int i = 0; i < 10000; ++i) {
        timers.push_back(std::make_unique<TMxTimer>(&queue));
        timers.back()->Initialize(3'600'000 + i * 10, false, true);
    }
    int64_t interval = 0;
    switch (state.range(0)) {
    case 0: interval = 3'600'000 + 200'000; break; // after every queued timer
    case 1: interval = 3'600'000 + 50'000; break; // in the middle
    default: interval = 1'000'000; break; // before every queued timer
    }
    TMxTimer probe(&queue);
    probe.Initialize(interval, false, false);
    for (auto _ : state) {
        probe.Start();
        benchmark::DoNotOptimize(probe.Pending());
        probe.Stop();
    }
    state.SetLabel(state.range(0) == 0 ? "last" : state.range(0) == 1 ? "middle"
                                                                      : "first");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TimerInsert10k)->Arg(0)->Arg(1)->Arg(2);

} // namespace

BENCHMARK_MAIN();
