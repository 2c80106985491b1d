// Round trips of messages from a threaded-scheduler task to a main-scheduler
// task and back, through queues and the dispatcher: the telegram path that the
// communication client and server use, without any port.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "kernel/MsgTools.h"
#include "kernel/MxMLib20.h"
#include "kernel/MxTLib20.h"
#include "platform/MainLoop.h"

using namespace vo;

namespace {

constexpr int Batch = 1000; // round trips per benchmark iteration

// The main scheduler on a headless pump owned by the benchmark thread, a
// threaded scheduler, and the two tasks that play ping-pong.
struct PingPong {
    THeadlessPump Pump;
    std::unique_ptr<TMxScheduler> Threaded;
    TMxQueue MainQueue, ThreadQueue;
    std::unique_ptr<TMxTask> MainTask, ThreadTask;
    std::atomic<int> Target{0};
    std::atomic<int> Done{0};
    int Count = 0; // threaded side only
    bool TextFields;

    explicit PingPong(bool textFields) : TextFields(textFields) {
        MxEnsureMessaging();
        MxCreateMainScheduler(Pump);
        Threaded = TMxScheduler::CreateThreaded("OvraScheduler");
        MainQueue.LogOn(0);
        ThreadQueue.LogOn(0);

        // Main side: answers every message to its sender.
        MainTask = std::make_unique<TMxTask>("Answer");
        MainTask->SetOnExecute([this](TMxTask& t) {
            while (TMxMessage* m = MainQueue.GetMessage()) {
                if (TextFields) {
                    TMessageReader r;
                    r.SetItem(m);
                    const MyAnsiString cmd = r.GetCommand();
                    const std::int32_t upid = MsgGetInt(r);
                    const MyAnsiString data = MsgGetStr(r);
                    TMessageWriter w;
                    w.SetItem(m);
                    w.PutCommand(cmd);
                    MsgPutInt(w, 0);
                    MsgPutInt(w, upid);
                    MsgPutStr(w, data);
                }
                m->SetReceiverFromSender(*m);
                MainQueue.SendMessage(m);
            }
            t.WaitFor(MainQueue, MxInfinite);
        });
        MainTask->Start();

        // Threaded side: a kick starts a batch; every answer sends the next request.
        ThreadTask = std::make_unique<TMxTask>(*Threaded, "Request");
        ThreadTask->SetOnExecute([this](TMxTask& t) {
            while (TMxMessage* m = ThreadQueue.GetMessage()) {
                if (m->Info == 0xFF) {
                    Count = 0; // kick
                } else {
                    ++Count;
                }
                if (Count < Target.load(std::memory_order_relaxed)) {
                    if (TextFields) {
                        TMessageWriter w;
                        w.SetItem(m);
                        w.PutCommand("89");
                        MsgPutInt(w, 0x1234 + Count);
                        MsgPutStr(w, MyAnsiString("\x01\x02\x03\x04", 4));
                    }
                    m->SetReceiver(MainQueue.GetQueueIdent(), 0, 0x10);
                    ThreadQueue.SendMessage(m);
                } else {
                    TMxMessage::Free(m);
                    Done.store(Count, std::memory_order_release);
                }
            }
            t.WaitFor(ThreadQueue, MxInfinite);
        });
        ThreadTask->Start();
    }

    ~PingPong() {
        ThreadTask.reset();
        MainTask.reset();
        Threaded.reset();
        MxFreeMainScheduler();
    }

    bool RunBatch(int n) {
        Target.store(n);
        Done.store(-1);
        TMxMessage* kick = TMxMessage::Create();
        kick->Info = 0xFF;
        ThreadQueue.PutMessage(kick);
        return Pump.RunUntil([&] { return Done.load(std::memory_order_acquire) == n; }, std::chrono::seconds(30));
    }
};

void RoundTrip(benchmark::State& state, bool textFields) {
    PingPong pp(textFields);
    pp.RunBatch(100); // warm the pools
    for (auto _ : state) {
        if (!pp.RunBatch(Batch)) {
            state.SkipWithError("round trips did not complete");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * Batch);
    state.counters["round_trips_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations() * Batch), benchmark::Counter::kIsRate);
}

void BM_RoundTripEmptyBody(benchmark::State& state) { RoundTrip(state, false); }
void BM_RoundTripTextFields(benchmark::State& state) { RoundTrip(state, true); }

} // namespace

BENCHMARK(BM_RoundTripEmptyBody)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RoundTripTextFields)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
