// Trace lines per second from the communication server's thread into the
// debug window's memo: telegram traces of sends (allowed) and of status
// requests, which the status rules deny or allow.
#include "devices/gui/Debwnd.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTextDocument>

#include <benchmark/benchmark.h>

#include <thread>

using namespace vo;

namespace {

// state.range(0): 1 when the status rules allow the status requests.
void BM_TraceIntoDebugWindow(benchmark::State& state) {
    TDebugManager manager;
    SetDebugManager(&manager);
    manager.SetDebugingEnabled(true);
    const bool allowStatus = state.range(0) != 0;
    if (allowStatus)
        manager.Filter().DenyAllowStatusFilter();
    constexpr int Lines = 2000; // half of them status requests
    int64_t shown = 0;
    {
        TDebugWindow window(&manager);
        const TDebugHandler trace = manager.GroupMessage(1);
        for (auto _ : state) {
            // An empty memo takes the first line into its one empty block.
            const int before = window.DebugOutput1->document()->isEmpty() ? 0 : window.DebugOutput1->blockCount();
            std::thread server([&] {
                for (int i = 0; i < Lines; ++i)
                    trace(i % 2 ? 0x0103 : 0x0110, "A5 03 01 00 ");
            });
            server.join();
            const int expected = before + (allowStatus ? Lines : Lines / 2);
            while (window.DebugOutput1->blockCount() < expected)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            shown += expected - before;
            state.PauseTiming();
            window.DebugOutput1->clear();
            state.ResumeTiming();
        }
    }
    SetDebugManager(nullptr);
    state.SetItemsProcessed(state.iterations() * Lines);
    state.counters["shown"] = benchmark::Counter(static_cast<double>(shown), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TraceIntoDebugWindow)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
