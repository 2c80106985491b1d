// The printer context on a fake A4 printer at 600 pixels per inch.
#include "kernel/prtPCtx.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/KernelFixtures.h"
#include "tests/support/PrintFakes.h"

namespace vo {
namespace {

using test::ExpectError;
using test::TFakePrinter;
using Events = std::vector<std::string>;

// Builds a document the way the program's printouts do: page size from the
// context, a first Render to measure, then pen 0, fonts, header, footer and
// body of Lines lines.
struct Printout {
    explicit Printout(TPLPrintContext& Ctx, int Lines = 0) {
        test::StartPrintout(Ctx, Doc);
        Font = Doc.CreateFont("Arial", 400, {});
        Doc.FHeader->AddText("HEAD");
        Doc.FFooter->AddText("FOOT");
        for (int i = 0; i < Lines; ++i) Doc.GetBodyTextBox().AddText("line" + std::to_string(i) + "\\n");
    }
    TPLDocument Doc;
    int Font = 0;
};

TEST(PrintContextOnPrinter, SetupMapsTheSheetOntoTheDevice) {
    TFakePrinter printer;
    TPLPrintContext ctx(printer);
    ctx.Setup(100);
    EXPECT_NEAR(ctx.FPageSize.X, 21000, 50);
    EXPECT_NEAR(ctx.FPageSize.Y, 29700, 50);
    // The sheet's corner lies left of and above the printable area's origin.
    EXPECT_EQ(ctx.LcToDcX(0), -printer.Caps.PhysicalOffsetX);
    EXPECT_EQ(ctx.LcToDcY(0), -printer.Caps.PhysicalOffsetY);
    // The scale is exact to 0.1 %.
    EXPECT_NEAR(ctx.LcToDcX(ctx.FPageSize.X), printer.Caps.PhysicalWidth - printer.Caps.PhysicalOffsetX, 5);
    EXPECT_NEAR(ctx.LcToDcY(ctx.FPageSize.Y), printer.Caps.PhysicalHeight - printer.Caps.PhysicalOffsetY, 7);
    // 10 mm are about 236 pixels.
    EXPECT_NEAR(ctx.LsToDsX(1000), 236, 1);
    EXPECT_NEAR(ctx.LsToDsY(1000), 236, 1);

    printer.Caps.VertSize = 0;
    ExpectError([&] { ctx.Setup(100); }, "TPLPrintContext.Setup: the printer reports a page without extent");
    EXPECT_TRUE(printer.Events.empty());
}

TEST(PrintContextOnPrinter, PrintsEveryPageOfTheBody) {
    struct Case {
        int Lines;
        Events Expected;
    } cases[] = {
        {0, {"BeginDoc", "EndDoc"}}, // an empty body is one page
        {1, {"BeginDoc", "EndDoc"}},
        {120, {"BeginDoc", "NewPage", "NewPage", "EndDoc"}},
    };
    for (const Case& c : cases) {
        TFakePrinter printer;
        TPLPrintContext ctx(printer);
        ctx.Setup(100);
        ctx.BeginPrint();
        EXPECT_TRUE(ctx.Printing());
        Printout p(ctx, c.Lines);
        ctx.FinishPrint();
        EXPECT_FALSE(ctx.Printing());
        EXPECT_EQ(printer.Events, c.Expected) << c.Lines;
        const int pages = static_cast<int>(c.Expected.size()) - 1;
        EXPECT_EQ(printer.PrintedPages(), pages);
        EXPECT_EQ(p.Doc.GetPageCount(), pages);
        // Header and footer on every page, the body's lines in order.
        std::vector<std::string> body;
        for (int page = 0; page < pages; ++page) {
            const auto texts = printer.Paper.TextsOnPage(page);
            ASSERT_GE(texts.size(), 2u);
            EXPECT_EQ(texts[0], "HEAD");
            EXPECT_EQ(texts[1], "FOOT");
            body.insert(body.end(), texts.begin() + 2, texts.end());
        }
        ASSERT_EQ(static_cast<int>(body.size()), c.Lines);
        for (int i = 0; i < c.Lines; ++i) EXPECT_EQ(body[static_cast<std::size_t>(i)], "line" + std::to_string(i));
    }
}

TEST(PrintContextOnPrinter, DrawsInPrinterPixels) {
    TFakePrinter printer;
    TPLPrintContext ctx(printer);
    ctx.Setup(100);
    ctx.BeginPrint();
    Printout p(ctx, 1);
    ctx.FinishPrint();
    const auto& head = printer.Paper.Texts.at(0);
    // The header sits at the document's borders (20 mm), counted from the
    // sheet's edge, so 20 mm less the unprintable margin on the device.
    EXPECT_NEAR(head.X, ctx.LsToDsX(2000) - printer.Caps.PhysicalOffsetX, 1);
    EXPECT_NEAR(head.Y, ctx.LsToDsY(2000) - printer.Caps.PhysicalOffsetY, 1);
    // 4 mm high text: 94 pixels, 11 points at 600 pixels per inch.
    EXPECT_EQ(head.Font.Size, 11);
}

TEST(PrintContextOnPrinter, JobSequence) {
    TFakePrinter printer;
    {
        TPLPrintContext ctx(printer);
        ctx.Setup(100);
        ctx.FinishPrint(); // without a job: nothing
        ctx.AbortPrint();
        EXPECT_TRUE(printer.Events.empty());

        ctx.BeginPrint();
        Printout p(ctx, 3);
        ExpectError([&] { ctx.BeginPrint(); }, "already printing");
        EXPECT_TRUE(ctx.Printing()); // the job goes on
        ctx.FinishPrint();
        EXPECT_EQ(printer.Events, (Events{"BeginDoc", "EndDoc"}));

        printer.Events.clear();
        ctx.BeginPrint();
        ctx.AbortPrint();
        EXPECT_FALSE(ctx.Printing());
        ctx.FinishPrint();
        EXPECT_EQ(printer.Events, (Events{"BeginDoc", "Abort"}));
        EXPECT_EQ(printer.PrintedPages(), 0);

        printer.Events.clear();
        ctx.BeginPrint(); // left open
    }
    EXPECT_EQ(printer.Events, (Events{"BeginDoc", "Abort"}));
    EXPECT_FALSE(printer.Printing());
}

TEST(PrintContextOnPrinter, AnErrorWhilePrintingAbortsTheJob) {
    // On the second page's drawing, and while laying out (a word in a font
    // that does not exist).
    for (bool layout : {false, true}) {
        TFakePrinter printer;
        TPLPrintContext ctx(printer);
        ctx.Setup(100);
        ctx.BeginPrint();
        Printout p(ctx, 120);
        if (layout) {
            p.Doc.GetBodyTextBox().FFontIndex = 7;
            p.Doc.GetBodyTextBox().AddWord("lost");
        } else {
            printer.Paper.FailAtTextOut = 60; // page 0 has 56 texts
        }
        const std::string error = test::ExceptionText([&] { ctx.FinishPrint(); });
        EXPECT_EQ(error, layout ? "TPLDocument.GetFont: List index out of bounds (7)" : "TRecordingCanvas.TextOut: device failure");
        EXPECT_EQ(printer.Events.back(), "Abort");
        EXPECT_FALSE(printer.Printing());
        EXPECT_FALSE(ctx.Printing());
        if (!layout) {
            EXPECT_EQ(printer.Events, (Events{"BeginDoc", "NewPage", "Abort"}));
        }
        // The context can print again.
        printer.Paper.FailAtTextOut = -1;
        printer.Events.clear();
        ctx.BeginPrint();
        ctx.AbortPrint();
        EXPECT_EQ(printer.Events, (Events{"BeginDoc", "Abort"}));
    }
}

TEST(PrintContextOnPrinter, UsesTheCurrentPrinter) {
    {
        TPLPrintContext ctx;
        ExpectError([&] { ctx.Setup(100); }, "Printer: no printer is installed");
        ctx.AbortPrint(); // nothing open: no printer needed
    }
    TFakePrinter printer;
    test::ScopedPrinter installed(printer);
    EXPECT_EQ(&Printer(), &printer);
    TPLPrintContext ctx;
    ctx.Setup(100);
    ctx.BeginPrint();
    Printout p(ctx);
    ctx.FinishPrint();
    EXPECT_EQ(printer.PrintedPages(), 1);
}

} // namespace
} // namespace vo
