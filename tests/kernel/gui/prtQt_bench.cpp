// Printing speed to PDF: documents of 50 pages of words, tabs and tables
// printed through the printer context into a PDF file, in pages per second.
#include <QByteArray>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <string>

#include "kernel/gui/prtQtPrinter.h"

using namespace vo;

namespace {

QGuiApplication& App() {
    static int argc = 1;
    static char arg0[] = "prtQt_bench";
    static char* argv[] = {arg0, nullptr};
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(argc, argv);
    return app;
}

int PrintDocument(TPLPrintContext& Ctx, int Pages) {
    Ctx.BeginPrint();
    TPLDocument doc;
    Ctx.SetDocument(&doc);
    doc.FWidth = Ctx.FPageSize.X;
    doc.FHeight = Ctx.FPageSize.Y;
    Ctx.Render();
    doc.CreatePen(0);
    const int line = doc.CreatePen(20);
    const int font = doc.CreateFont("Arial", 350, {});
    const int bold = doc.CreateFont("Arial", 350, {fsBold});
    doc.FHeader->AddText("Parameter list");
    doc.FFooter->AddText("Velkor-Ovra");
    TPLFlowBox& body = doc.GetBodyTextBox();
    for (int p = 0; p < Pages; ++p) {
        body.FFontIndex = font;
        for (int i = 0; i < 30; ++i)
            body.AddText("P" + std::to_string(p * 100 + i) + "\tMaximum\\_current\t" + std::to_string(i * 17) + "\tmA\\n");
        auto table = TPLTable::Create(body, 3, 5000);
        table->GetDefaultBorder().SetSpaces(100, 100, 50, 50);
        table->GetDefaultBorder().SetLines(line, line, line, line);
        table->FFontIndex = bold;
        for (int c = 0; c < 9; ++c) {
            table->NextCell().AddText("cell " + std::to_string(c));
            table->FFontIndex = font;
        }
        table->Finish();
        body.NewPage();
    }
    Ctx.FinishPrint();
    return doc.GetPageCount();
}

void BM_PrintPdfPages(benchmark::State& state) {
    App();
    QTemporaryDir dir;
    TPLPdfPrinter pdf(dir.filePath(QStringLiteral("bench.pdf")));
    TPLPrintContext ctx(pdf);
    ctx.Setup(100);
    int pages = 0;
    for (auto _ : state) pages += PrintDocument(ctx, 50);
    state.counters["pages/s"] = benchmark::Counter(pages, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PrintPdfPages)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
