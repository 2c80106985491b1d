// Fuzz target of the print layout: a text (as scripts hand it to a text box)
// split into words, tabs and breaks and laid out in a body and in a table on
// pages of any size. Layout ends, the pages cover the body's items in order
// without gaps, no word is longer than 255 characters, and drawing every page
// stays inside the canvas's clip balance.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kernel/prtLib10.h"

namespace {

[[noreturn]] void Fail(const char* What, const std::string& Detail) {
    std::fprintf(stderr, "fuzz check failed: %s\n%s\n", What, Detail.c_str());
    std::abort();
}

// Every character CharWidth pixels wide, cells 10 high; counts the clip
// rectangles in force.
class TFixedCanvas : public vo::TPLCanvas {
public:
    explicit TFixedCanvas(int ACharWidth) : CharWidth(ACharWidth) {}
    void SetFont(const vo::TPLFontDef&) override {}
    vo::TPLTextMetrics GetTextMetrics() override { return {10, 8, 2, 1, 0, CharWidth, 0}; }
    vo::TSize TextExtent(const vo::MyAnsiString& Text) override { return {static_cast<int>(Text.size()) * CharWidth, 10}; }
    void TextOut(int, int, const vo::MyAnsiString&) override { ++Texts; }
    void SetPen(const vo::TPenDef&) override {}
    void MoveTo(int, int) override {}
    void LineTo(int, int) override {}
    void Rectangle(int, int, int, int) override {}
    void Ellipse(int, int, int, int) override {}
    void SetClipRect(const vo::TRect& R) override {
        if (R.Right < R.Left || R.Bottom < R.Top) Fail("inverted clip rectangle", "");
        Clipped = true;
    }
    void CancelClipping() override { Clipped = false; }
    int PixelsPerInchX() const override { return 600; }
    int PixelsPerInchY() const override { return 600; }

    int CharWidth;
    int Texts = 0;
    bool Clipped = false;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    using namespace vo;
    if (Size < 4) return 0;
    TFixedCanvas canvas(Data[0] % 64);
    TPLContext ctx;
    ctx.FCanvas = &canvas;
    TPLDocument doc;
    doc.FWidth = 100 + Data[1] * 20;
    doc.FHeight = 100 + Data[2] * 20;
    doc.FLeftBorder = doc.FRightBorder = doc.FTopBorder = doc.FBottomBorder = 10;
    doc.FHeaderSpace = doc.FFooterSpace = 10;
    doc.FAutoTabSize = Data[3] & 0x3F;
    doc.CreatePen(0);
    doc.CreateFont("Arial", 10, {});
    const std::string text(reinterpret_cast<const char*>(Data) + 4, Size - 4);
    TPLFlowBox& body = doc.GetBodyTextBox();
    body.FHorzAlign = static_cast<TTextHorzAlign>((Data[3] >> 6) % 3);
    body.AddText(text);
    auto table = TPLTable::Create(body, 1 + Data[3] % 4, 10 + Data[1]);
    for (std::size_t i = 0; i < text.size() && i < 64; i += 8) table->NextCell().AddText(text.substr(i, 8));
    table->Finish();
    body.AddText(text);
    doc.FHeader->AddText(text.substr(0, 16));
    ctx.SetDocument(&doc);
    ctx.Render();

    const int items = body.Items().GetCount();
    const int pages = doc.GetPageCount();
    if (pages < 1) Fail("a body without pages", text);
    int next = 0;
    for (int p = 0; p < pages; ++p) {
        const TPLFlowPage& page = body.GetPage(p);
        if (page.FFirst != next) Fail("pages leave a gap or overlap", text);
        next = page.FLast + 1;
    }
    if (next != items) Fail("the pages do not end with the last item", text);
    for (int i = 0; i < items; ++i)
        if (auto* word = dynamic_cast<TPLText*>(body.Items().GetItem(i)); word && word->FText.size() > 255)
            Fail("a word longer than 255 characters", text);

    for (int p = 0; p < pages; ++p) {
        ctx.FCurrentPageIndex = p;
        ctx.Draw();
        if (canvas.Clipped) Fail("clipping left in force after a page", text);
    }
    return 0;
}
