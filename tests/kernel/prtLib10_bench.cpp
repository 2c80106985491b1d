// Layout speed of the print library: a body of 500 pages of words, tabs and
// tables laid out on a canvas with fixed metrics (nothing recorded), in pages
// per second; and drawing all its pages.
#include <benchmark/benchmark.h>

#include <string>

#include "kernel/prtLib10.h"
#include "tests/support/PrintFakes.h"

using namespace vo;

namespace {

struct Bench {
    test::TRecordingCanvas Canvas;
    TPLContext Ctx;
    TPLDocument Doc;
    Bench() {
        Canvas.Recording = false;
        Ctx.FCanvas = &Canvas;
        Ctx.SetPage({21000, 29700}, {0, 0}, {21000, 29700});
        Ctx.SetView({0, 0}, {4961, 7016});
        Ctx.SetDocument(&Doc);
        Doc.CreatePen(0);
        const int line = Doc.CreatePen(20);
        const int font = Doc.CreateFont("Arial", 400, {});
        const int bold = Doc.CreateFont("Arial", 400, {fsBold});
        Doc.FHeader->AddText("Parameter list");
        Doc.FFooter->AddText("Velkor-Ovra");
        for (int chunk = 0; Doc.GetPageCount() < 500; ++chunk) {
            test::AddSampleContent(Doc, font, bold, line, chunk, 40);
            if (chunk % 50 == 49) Ctx.Render();
        }
    }
};

void BM_LayoutPages(benchmark::State& state) {
    Bench b;
    b.Ctx.Render();
    const int pages = b.Doc.GetPageCount();
    for (auto _ : state) {
        b.Ctx.Render();
        benchmark::DoNotOptimize(b.Doc.GetPageCount());
    }
    state.counters["pages"] = pages;
    state.counters["pages/s"] = benchmark::Counter(static_cast<double>(pages) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LayoutPages)->Unit(benchmark::kMillisecond);

void BM_DrawPages(benchmark::State& state) {
    Bench b;
    b.Ctx.Render();
    const int pages = b.Doc.GetPageCount();
    for (auto _ : state) {
        for (int p = 0; p < pages; ++p) {
            b.Ctx.FCurrentPageIndex = p;
            b.Ctx.Draw();
        }
    }
    state.counters["pages/s"] = benchmark::Counter(static_cast<double>(pages) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DrawPages)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
