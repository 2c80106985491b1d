// Printing speed to PDF: documents of 50 pages of words, tabs and tables
// printed through the printer context into a PDF file, in pages per second.
#include <QByteArray>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <string>

#include "kernel/gui/prtQtPrinter.h"
#include "tests/support/PrintFakes.h"

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
    test::StartPrintout(Ctx, doc);
    const int line = doc.CreatePen(20);
    const int font = doc.CreateFont("Arial", 350, {});
    const int bold = doc.CreateFont("Arial", 350, {fsBold});
    doc.FHeader->AddText("Parameter list");
    doc.FFooter->AddText("Velkor-Ovra");
    for (int p = 0; p < Pages; ++p) {
        test::AddSampleContent(doc, font, bold, line, p, 30);
        doc.GetBodyTextBox().NewPage();
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
