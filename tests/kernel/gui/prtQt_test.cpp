// The print library on Qt (offscreen): the canvas's measurements, layout on
// it, and documents printed to PDF through QPdfWriter and QPrinter.
#include "kernel/gui/prtQtCanvas.h"
#include "kernel/gui/prtQtPrinter.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/PrintFakes.h"


namespace vo {
namespace {

int argc = 1;
char arg0[] = "prtQt_test";
char* argv[] = {arg0, nullptr};

QApplication& App() {
    static QApplication app(argc, argv);
    return app;
}

// Pages of a PDF file (its page objects), or -1 when it cannot be read.
int PdfPages(const QString& FileName) {
    QFile f(FileName);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QString text = QString::fromLatin1(f.readAll());
    return static_cast<int>(text.count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?![a-zA-Z])"))));
}

// A document of three pages whatever the fonts measure: words, tabs, a
// table and two page breaks.
void PrintThreePages(TPLPrintContext& Ctx) {
    Ctx.Setup(100);
    Ctx.BeginPrint();
    TPLDocument doc;
    test::StartPrintout(Ctx, doc);
    const int line = doc.CreatePen(20);
    const int font = doc.CreateFont("Arial", 400, {});
    const int bold = doc.CreateFont("Arial", 400, {fsBold});
    doc.FHeader->AddText("Velkor-Ovra\tparameters");
    doc.FFooter->FHorzAlign = thaRight;
    doc.FFooter->AddText("page footer");
    TPLFlowBox& body = doc.GetBodyTextBox();
    body.FFontIndex = font;
    body.AddText("First page:\tG\\_\xE4nge \\\\ and a tab\\n");
    auto table = TPLTable::Create(body, 3, 4000);
    table->GetDefaultBorder().SetSpaces(100, 100, 50, 50);
    table->GetDefaultBorder().SetLines(line, line, line, line);
    table->FFontIndex = bold;
    for (int i = 0; i < 8; ++i) {
        table->NextCell().AddText("cell " + std::to_string(i));
        table->FFontIndex = font;
    }
    table->Finish();
    body.NewPage();
    body.AddText("Second page");
    body.NewPage();
    body.AddText("Third page");
    Ctx.FinishPrint();
    EXPECT_EQ(doc.GetPageCount(), 3);
}

TEST(PrintOnQt, PdfWriterPrintsThreePages) {
    App();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("three.pdf"));
    TPLPdfPrinter pdf(file);
    TPLPrintContext ctx(pdf);
    ctx.Setup(100);
    EXPECT_NEAR(ctx.FPageSize.X, 21000, 50);
    EXPECT_NEAR(ctx.FPageSize.Y, 29700, 50);
    EXPECT_FALSE(QFile::exists(file)); // nothing written before a job
    PrintThreePages(ctx);
    EXPECT_FALSE(pdf.Printing());
    EXPECT_EQ(PdfPages(file), 3);

    // A second job on another file; an aborted job leaves no file.
    const QString second = dir.filePath(QStringLiteral("second.pdf"));
    pdf.SetFileName(second);
    PrintThreePages(ctx);
    EXPECT_EQ(PdfPages(second), 3);
    EXPECT_EQ(PdfPages(file), 3);
    const QString aborted = dir.filePath(QStringLiteral("aborted.pdf"));
    pdf.SetFileName(aborted);
    ctx.BeginPrint();
    ctx.AbortPrint();
    EXPECT_FALSE(QFile::exists(aborted));
}

TEST(PrintOnQt, PrinterPdfOutputPrintsThreePages) {
    App();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("printer.pdf"));
    TPLQtPrinter printer;
    printer.Device().setOutputFormat(QPrinter::PdfFormat);
    printer.Device().setOutputFileName(file);
    printer.Device().setPageSize(QPageSize(QPageSize::A4));
    printer.Device().setResolution(600);
    TPLPrintContext ctx(printer);
    PrintThreePages(ctx);
    EXPECT_NEAR(ctx.FPageSize.X, 21000, 50);
    EXPECT_NEAR(ctx.FPageSize.Y, 29700, 50);
    EXPECT_FALSE(printer.Printing());
    EXPECT_EQ(PdfPages(file), 3);
}

TEST(PrintOnQt, CanvasMeasuresTheFontItSelected) {
    App();
    QImage image(2000, 1000, QImage::Format_RGB32);
    image.setDotsPerMeterX(23622); // 600 pixels per inch
    image.setDotsPerMeterY(23622);
    TPLQtCanvas canvas(&image);
    EXPECT_EQ(canvas.PixelsPerInchY(), 600);
    canvas.SetFont({"Arial", 12, 0, {fsBold}});
    EXPECT_EQ(canvas.CurrentFont().pointSize(), 12);
    EXPECT_TRUE(canvas.CurrentFont().bold());
    const QFontMetrics fm(canvas.CurrentFont(), &image);
    const TPLTextMetrics m = canvas.GetTextMetrics();
    EXPECT_EQ(m.Ascent, fm.ascent());
    EXPECT_EQ(m.Descent, fm.descent());
    EXPECT_EQ(m.Height, m.Ascent + m.Descent);
    EXPECT_GE(m.InternalLeading, 0);
    EXPECT_LT(m.InternalLeading, m.Height);
    // 12 points at 600 pixels per inch: an em of 100 pixels.
    EXPECT_NEAR(m.Height - m.InternalLeading, 100, 2);
    const TSize hello = canvas.TextExtent("Hello");
    EXPECT_EQ(hello.cx, fm.horizontalAdvance(QStringLiteral("Hello")));
    EXPECT_EQ(hello.cy, m.Height);
    EXPECT_GT(canvas.TextExtent("Hello World").cx, hello.cx);
    // Code page 1252 converted at the boundary: a-umlaut and the euro sign.
    EXPECT_EQ(canvas.TextExtent("\xE4\x80").cx, fm.horizontalAdvance(QString::fromUtf8("\xC3\xA4\xE2\x82\xAC")));

    canvas.SetFont({"Arial", 0, 1, {}}); // one pixel high
    EXPECT_EQ(canvas.CurrentFont().pixelSize(), 1);
}

TEST(PrintOnQt, LayoutWrapsWhereTheCanvasMeasures) {
    App();
    QImage image(3000, 2000, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setDotsPerMeterX(23622);
    image.setDotsPerMeterY(23622);
    TPLQtCanvas canvas(&image);
    TPLContext ctx; // one logical unit per pixel
    ctx.FCanvas = &canvas;
    ctx.SetPage({3000, 2000}, {0, 0}, {3000, 2000});
    ctx.SetView({0, 0}, {3000, 2000});
    TPLDocument doc;
    doc.FWidth = 3000;
    doc.FHeight = 2000;
    doc.FLeftBorder = doc.FTopBorder = doc.FRightBorder = doc.FBottomBorder = 0;
    doc.CreatePen(0);
    const int font = doc.CreateFont("Arial", 80, {});
    ctx.SetDocument(&doc);
    ctx.Render();
    ctx.SetFont(font);
    const int alpha = ctx.GetTextWidth("alpha");
    const int beta = ctx.GetTextWidth("beta");
    const int space = doc.GetFont(font).GetSpace();
    const int height = ctx.GetTextExtent("alpha").cy;
    ASSERT_GT(space, 0);

    // Exactly wide enough for two words, and one pixel less.
    for (int slack : {0, -1}) {
        doc.GetBodyTextBox().Clear();
        auto box = TPLTextBox::CreateWithValues(0, 0, alpha + space + beta + slack, 1000);
        box->AddText("alpha beta gamma");
        doc.GetBodyTextBox().AddFrame(box);
        ctx.Render();
        auto word = [&](int i) -> TPLText& { return dynamic_cast<TPLText&>(*box->Items().GetItem(i)); };
        EXPECT_EQ(word(0).FWidth, alpha);
        EXPECT_EQ(word(0).FHeight, height);
        if (slack == 0) {
            EXPECT_EQ(word(1).FLeft, alpha + space);
            EXPECT_EQ(word(1).FTop, word(0).FTop);
            EXPECT_EQ(word(2).FLeft, 0);
            EXPECT_EQ(word(2).FTop, word(0).FTop + height);
        } else {
            EXPECT_EQ(word(1).FLeft, 0);
            EXPECT_EQ(word(1).FTop, word(0).FTop + height);
            EXPECT_EQ(word(2).FTop, word(0).FTop + 2 * height);
        }
    }

    // Drawing puts ink on the image.
    QPainter painter(&image);
    canvas.Begin(painter);
    ctx.FCurrentPageIndex = 0;
    ctx.Draw();
    canvas.End();
    painter.end();
    int dark = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 128) ++dark;
    EXPECT_GT(dark, 50);
}

} // namespace
} // namespace vo
