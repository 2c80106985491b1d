// Print documents on a recording canvas with fixed metrics: every character
// 50 pixels wide, cells 100 high (ascent 80), 600 pixels per inch. A fresh
// context maps one logical unit to one pixel.
#include "kernel/prtLib10.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/KernelFixtures.h"
#include "tests/support/PrintFakes.h"

namespace vo {
namespace {

using test::ExpectError;
using test::TRecordingCanvas;

// The items of a box as short texts: "w:<word>", "tab", "br", "page", "box".
std::vector<std::string> ItemsOf(const TPLTextBox& Box) {
    std::vector<std::string> r;
    for (int i = 0; i < Box.Items().GetCount(); ++i) {
        TPLObject* o = Box.Items().GetItem(i);
        if (auto* t = dynamic_cast<TPLText*>(o))
            r.push_back("w:" + t->FText);
        else if (dynamic_cast<TPLHorzTab*>(o))
            r.push_back("tab");
        else if (dynamic_cast<TPLLineBreak*>(o))
            r.push_back("br");
        else if (dynamic_cast<TPLPageBreak*>(o))
            r.push_back("page");
        else if (dynamic_cast<TPLClipBox*>(o))
            r.push_back("box");
        else
            r.push_back("other");
    }
    return r;
}

TPLText& WordAt(const TPLTextBox& Box, int Index) { return dynamic_cast<TPLText&>(*Box.Items().GetItem(Index)); }

class PrintDoc : public ::testing::Test {
protected:
    PrintDoc() {
        Ctx.FCanvas = &Canvas;
        Doc.CreatePen(0);
        Font = Doc.CreateFont("Arial", 300, {});
        Ctx.SetDocument(&Doc);
    }
    // A document on a page of Width x Height without borders or spaces.
    void SmallPage(int Width, int Height) {
        Doc.FWidth = Width;
        Doc.FHeight = Height;
        Doc.FLeftBorder = Doc.FRightBorder = Doc.FTopBorder = Doc.FBottomBorder = 0;
        Doc.FHeaderSpace = Doc.FFooterSpace = 0;
    }
    // A plain text box of the given client size inside the body.
    TPLTextBox& BoxInBody(int Width, int Height) {
        auto box = TPLTextBox::CreateWithValues(0, 0, Width, Height);
        Doc.GetBodyTextBox().AddFrame(box);
        return *box;
    }

    TRecordingCanvas Canvas;
    TPLContext Ctx;
    TPLDocument Doc;
    int Font = 0;
};

TEST(PrintContext, ScaleIsAPowerOfTwoFractionWithinOnePerMille) {
    TRecordingCanvas canvas;
    TPLContext ctx;
    ctx.FCanvas = &canvas;
    EXPECT_EQ(ctx.GetScaleNum(), (TPoint{1, 1}));
    EXPECT_EQ(ctx.GetScaleDen(), (TPoint{1, 1}));

    ctx.SetPage({21000, 29700}, {0, 0}, {21000, 29700});
    ctx.SetView({0, 0}, {4961, 7016});
    ctx.ComputeScale();
    EXPECT_EQ(ctx.GetScaleNum().X, 121);
    EXPECT_EQ(ctx.GetScaleDen().X, 512);
    const double y = static_cast<double>(ctx.GetScaleNum().Y) / ctx.GetScaleDen().Y;
    EXPECT_NEAR(y, 7016.0 / 29700, 7016.0 / 29700 / 1000);

    // Conversions truncate toward zero on both sides of it.
    EXPECT_EQ(ctx.LcToDcX(1000), 236); // 236.33
    EXPECT_EQ(ctx.LcToDcX(-1000), -236);
    EXPECT_EQ(ctx.LsToDsX(-1000), -236);
    EXPECT_EQ(ctx.DsToLsX(100), 423); // 423.1
    EXPECT_EQ(ctx.DsToLsX(-100), -423);

    // The page's minimum corner maps onto the view's.
    ctx.SetPage({2000, 2000}, {-1000, 500}, {1000, 2500});
    ctx.SetView({10, 20}, {210, 220});
    ctx.ComputeScale();
    EXPECT_EQ(ctx.LcToDcX(-1000), 10);
    EXPECT_EQ(ctx.LcToDcY(500), 20);
    EXPECT_EQ(ctx.LcToDcX(1000), 210);
    const TPoint old = ctx.ShiftLogicalOffset(100, -100);
    EXPECT_EQ(ctx.LcToDcX(-1000), 20);
    EXPECT_EQ(ctx.LcToDcY(600), 20);
    ctx.RestoreLogicalOffset(old);
    EXPECT_EQ(ctx.LcToDcX(-1000), 10);
}

TEST(PrintContext, PageOrViewWithoutExtentIsAnError) {
    TRecordingCanvas canvas;
    TPLDocument doc;
    struct Case {
        TPoint PageMin, PageMax, ViewMin, ViewMax;
        const char* Text;
    } cases[] = {
        {{0, 0}, {0, 100}, {0, 0}, {100, 100}, "TPLContext.ComputeScale: the page has no extent in x"},
        {{0, 50}, {100, 50}, {0, 0}, {100, 100}, "TPLContext.ComputeScale: the page has no extent in y"},
        {{0, 0}, {100, 100}, {7, 0}, {7, 100}, "TPLContext.ComputeScale: the view has no extent in x"},
        {{0, 0}, {100, 100}, {0, 0}, {100, 0}, "TPLContext.ComputeScale: the view has no extent in y"},
    };
    for (const Case& c : cases) {
        TPLContext ctx;
        ctx.FCanvas = &canvas;
        ctx.SetDocument(&doc);
        ctx.SetPage({100, 100}, c.PageMin, c.PageMax);
        ctx.SetView(c.ViewMin, c.ViewMax);
        ExpectError([&] { ctx.Render(); }, c.Text);
        ExpectError([&] { ctx.Draw(); }, c.Text);
    }
    // A scale that no 32-bit fraction reaches.
    TPLContext ctx;
    ctx.SetPage({2000000000, 1}, {0, 0}, {2000000000, 1});
    ctx.SetView({0, 0}, {1, 1});
    EXPECT_NE(test::ExceptionText([&] { ctx.ComputeScale(); }).find("out of range"), std::string::npos);
}

TEST_F(PrintDoc, FontSizeInPointsFromTheDeviceHeight) {
    const int tiny = Doc.CreateFont("Arial", 1, {fsBold, fsItalic});
    Ctx.Render();
    // 300 pixels at 600 pixels per inch are 36 points.
    EXPECT_EQ(Doc.GetFont(Font).FFont.Size, 36);
    EXPECT_EQ(Doc.GetFont(Font).FFont.Height, 0);
    // Less than one point: one device pixel high.
    EXPECT_EQ(Doc.GetFont(tiny).FFont.Size, 0);
    EXPECT_EQ(Doc.GetFont(tiny).FFont.Height, 1);
    EXPECT_EQ(Canvas.CallsStartingWith("Font Arial 0pt").back(), "Font Arial 0pt h1 BI");
    // The metrics in logical units; the blank measured.
    const TPLFont& f = Doc.GetFont(Font);
    EXPECT_EQ(f.GetHeight(Ctx), 100);
    EXPECT_EQ(f.GetAscent(Ctx), 80);
    EXPECT_EQ(f.GetDescent(Ctx), 20);
    EXPECT_EQ(f.GetIntLead(Ctx), 10);
    EXPECT_EQ(f.GetMiddle(Ctx), 50);
    EXPECT_EQ(f.GetSpace(), 50);

    // On paper scale (121/512) 3 mm are 70 pixels, 8 points.
    Ctx.SetPage({21000, 29700}, {0, 0}, {21000, 29700});
    Ctx.SetView({0, 0}, {4961, 7016});
    Ctx.Render();
    EXPECT_EQ(Doc.GetFont(Font).FFont.Size, 8);
    EXPECT_EQ(Doc.GetFont(Font).GetSpace(), Ctx.DsToLsX(50));
}

TEST_F(PrintDoc, ClearFontDropsTheFirstAndRenumbers) {
    Doc.CreateFont("B", 300, {});
    Doc.CreateFont("C", 300, {});
    ASSERT_EQ(Doc.GetFontCount(), 3);
    Doc.ClearFont();
    ASSERT_EQ(Doc.GetFontCount(), 2);
    EXPECT_EQ(Doc.GetFont(0).FFont.Name, "B");
    EXPECT_EQ(Doc.GetFont(0).FIndex, 0);
    EXPECT_EQ(Doc.GetFont(1).FFont.Name, "C");
    EXPECT_EQ(Doc.GetFont(1).FIndex, 1);
    ExpectError([&] { Doc.GetFont(2); }, "TPLDocument.GetFont: List index out of bounds (2)");
    ExpectError([&] { Doc.GetPen(-1); }, "TPLDocument.GetPen: List index out of bounds (-1)");
    Doc.ClearFont();
    Doc.ClearFont();
    Doc.ClearFont(); // nothing left: no error
    EXPECT_EQ(Doc.GetFontCount(), 0);
    EXPECT_EQ(Doc.CreateFont("D", 300, {}), 0);
}

TEST(PrintObjects, ReferencesKeepObjectsAlive) {
    struct Probe : TPLControl {
        explicit Probe(bool& d) : Dead(d) {}
        ~Probe() override { Dead = true; }
        bool& Dead;
    };
    bool dead = false;
    {
        auto list = MakePL<TPLCollection>();
        {
            auto p = MakePL<Probe>(dead);
            list->Add(p);
            EXPECT_EQ(p->RefCount(), 2);
        }
        EXPECT_FALSE(dead);
        EXPECT_EQ(list->GetCount(), 1);
        ExpectError([&] { list->GetItem(1); }, "TPLCollection.GetItem: List index out of bounds (1)");
        list->Remove(list->GetItem(0));
        EXPECT_TRUE(dead);
    }
}

TEST(PrintText, AddTextSplitsIntoItems) {
    struct Case {
        std::string Text;
        std::vector<std::string> Items;
    } cases[] = {
        {"one two\tthree\\nfour", {"w:one", "w:two", "tab", "w:three", "br", "w:four"}},
        {"a\\_b", {"w:a b"}},
        {"x\ny", {"w:x\ny"}}, // a line feed is an ordinary character
        {"a\rb", {"w:a", "br", "w:b"}},
        {"a\\tb c", {"w:a", "tab", "w:b", "w:c"}},
        {"a\\\\b", {"w:a\\b"}},
        {"a\\qb", {"w:ab"}}, // unknown escapes are dropped
        {"end\\", {"w:end"}}, // a lone backslash at the end
        {"\\", {}},
        {"  a   b  ", {"w:a", "w:b"}},
        {"\t\t", {"tab", "tab"}},
        {"", {}},
    };
    for (const Case& c : cases) {
        TPLTextBox box;
        box.AddText(c.Text);
        EXPECT_EQ(ItemsOf(box), c.Items) << c.Text;
    }
    TPLTextBox box;
    box.AddText("a\\_b");
    EXPECT_EQ(WordAt(box, 0).FText.size(), 3u);

    TPLTextBox longWord;
    longWord.FFontIndex = 4;
    longWord.AddText(std::string(300, 'x') + " y");
    ASSERT_EQ(longWord.Items().GetCount(), 2);
    EXPECT_EQ(WordAt(longWord, 0).FText, std::string(255, 'x'));
    EXPECT_EQ(WordAt(longWord, 0).FFontIndex, 4);
    EXPECT_EQ(WordAt(longWord, 0).FVertAlign, tvaBase);
    EXPECT_EQ(WordAt(longWord, 1).FText, "y");
}

TEST_F(PrintDoc, WordsFlowIntoLines) {
    // Client width 1000; words of 400 and a blank of 50.
    TPLTextBox& box = BoxInBody(1000, 5000);
    box.AddText("AAAAAAAA BBBBBBBB CCCCCCCC");
    Ctx.Render();
    EXPECT_EQ(WordAt(box, 0).FLeft, 0);
    EXPECT_EQ(WordAt(box, 1).FLeft, 450);
    EXPECT_EQ(WordAt(box, 2).FLeft, 0);
    EXPECT_EQ(WordAt(box, 0).FTop, 0);
    EXPECT_EQ(WordAt(box, 1).FTop, 0);
    EXPECT_EQ(WordAt(box, 2).FTop, 100);
    EXPECT_EQ(box.FContentHeight, 200);
}

TEST_F(PrintDoc, AWordWiderThanTheBoxStandsAlone) {
    TPLTextBox& box = BoxInBody(1000, 5000);
    box.AddText("ab " + std::string(30, 'L') + " cd");
    Ctx.Render();
    EXPECT_EQ(WordAt(box, 0).FTop, 0);
    EXPECT_EQ(WordAt(box, 1).FTop, 100);
    EXPECT_EQ(WordAt(box, 1).FLeft, 0);
    EXPECT_EQ(WordAt(box, 2).FTop, 200);
    EXPECT_EQ(WordAt(box, 2).FLeft, 0);

    // Drawn clipped to the box.
    Ctx.Draw();
    const auto& t = Canvas.Texts.at(1);
    EXPECT_EQ(t.Str, std::string(30, 'L'));
    EXPECT_TRUE(t.Clipped);
    EXPECT_EQ(t.Clip.Right, 2000 + 1000 + 1);
}

TEST_F(PrintDoc, LinesAlignAndShareOneBaseLine) {
    Canvas.ByFont["Big"] = {100, 160, 40, 20};
    const int big = Doc.CreateFont("Big", 600, {});
    struct Case {
        TTextHorzAlign Align;
        int Left;
    } cases[] = {{thaLeft, 0}, {thaCenter, 325}, {thaRight, 650}};
    for (const Case& c : cases) {
        Doc.GetBodyTextBox().Clear();
        TPLTextBox& box = BoxInBody(1000, 5000);
        box.FHorzAlign = c.Align;
        box.AddWord("ab"); // 100 wide
        box.FFontIndex = big;
        box.AddWord("cd"); // 200 wide after a blank of 50
        Ctx.Render();
        EXPECT_EQ(WordAt(box, 0).FLeft, c.Left);
        EXPECT_EQ(WordAt(box, 1).FLeft, c.Left + 150);
        // Base line at 160 for both.
        EXPECT_EQ(WordAt(box, 0).FTop, 80);
        EXPECT_EQ(WordAt(box, 1).FTop, 0);
        EXPECT_EQ(box.FContentHeight, 200);
    }
}

TEST(PrintTabs, StopsAndAutomaticSteps) {
    TPLTabList tabs;
    tabs.FAutoTab = 500;
    struct Case {
        int From, To;
    } autoCases[] = {{730, 1000}, {1000, 1500}, {0, 500}, {499, 500}, {-200, 0}};
    for (const Case& c : autoCases) {
        int p = c.From;
        TTextHorzAlign a = thaRight;
        tabs.NextPosition(p, a);
        EXPECT_EQ(p, c.To) << c.From;
        EXPECT_EQ(a, thaLeft);
    }

    tabs.Add(300, thaCenter);
    tabs.Add(100, thaLeft);
    tabs.Add(300, thaRight); // updates the stop at 300
    ASSERT_EQ(tabs.Count(), 2);
    EXPECT_EQ(tabs.GetPosition(0), 100);
    EXPECT_EQ(tabs.GetPosition(1), 300);
    EXPECT_EQ(tabs.GetAlignment(1), thaRight);
    int index = -1;
    EXPECT_TRUE(tabs.Find(300, index));
    EXPECT_EQ(index, 1);
    EXPECT_FALSE(tabs.Find(301, index));
    EXPECT_EQ(index, 2);
    int p = 100;
    TTextHorzAlign a = thaLeft;
    tabs.NextPosition(p, a); // exactly at a stop: the next one
    EXPECT_EQ(p, 300);
    EXPECT_EQ(a, thaRight);
    tabs.NextPosition(p, a); // past the last stop: automatic
    EXPECT_EQ(p, 500);
    tabs.FAutoTab = 0;
    p = 300;
    tabs.NextPosition(p, a); // neither: stays
    EXPECT_EQ(p, 300);
    EXPECT_EQ(a, thaLeft);

    ExpectError([&] { tabs.GetPosition(2); }, "TPLTabList.GetPosition: tabulator index error");
    ExpectError([&] { tabs.GetAlignment(-1); }, "TPLTabList.GetAlignment: tabulator index error");
}

TEST_F(PrintDoc, TabsInTheBodyUseTheAutomaticStep) {
    SmallPage(2900, 5000);
    TPLFlowBox& body = Doc.GetBodyTextBox();
    body.AddText(std::string(14, 'a') + "\tb\\n" + std::string(20, 'c') + "\td\\n" + std::string(50, 'e') + " f\tg");
    Ctx.Render();
    EXPECT_EQ(WordAt(body, 2).FLeft, 1000); // after 700
    EXPECT_EQ(WordAt(body, 6).FLeft, 1500); // after exactly 1000
    // Line 3 ends at 2600; its tab goes to 3000, past the client width, and
    // "g" opens the next line.
    EXPECT_EQ(WordAt(body, 11).FText, "g");
    EXPECT_EQ(WordAt(body, 11).FLeft, 0);
    EXPECT_EQ(WordAt(body, 11).FTop, 300);

    // Without a tab list a tab does nothing.
    TPLTextBox& plain = BoxInBody(2000, 1000);
    plain.AddText("ab\tcd");
    Ctx.Render();
    EXPECT_EQ(plain.GetHorzTabs(), nullptr);
    EXPECT_EQ(WordAt(plain, 2).FLeft, 150);
}

TEST_F(PrintDoc, BodyIsCutIntoPages) {
    SmallPage(3000, 2000); // 20 lines of 100 a page
    TPLFlowBox& body = Doc.GetBodyTextBox();
    Ctx.Render();
    EXPECT_EQ(Doc.GetPageCount(), 1); // empty body

    for (int i = 0; i < 50; ++i) body.AddText("line" + std::to_string(i) + "\\n");
    Ctx.Render();
    ASSERT_EQ(Doc.GetPageCount(), 3);
    EXPECT_EQ(body.GetPage(0).FFirst, 0);
    EXPECT_EQ(body.GetPage(1).FFirst, 40);
    EXPECT_EQ(WordAt(body, 40).FText, "line20");
    EXPECT_EQ(WordAt(body, 40).FTop, 0); // each page starts at the top

    Ctx.FCurrentPageIndex = 2;
    Ctx.Draw();
    std::vector<std::string> expected;
    for (int i = 40; i < 50; ++i) expected.push_back("line" + std::to_string(i));
    EXPECT_EQ(Canvas.TextsOnPage(0), expected);
    Canvas.Texts.clear();
    Ctx.FCurrentPageIndex = 3; // out of range: nothing
    Ctx.Draw();
    EXPECT_TRUE(Canvas.Texts.empty());

    body.NewPage();
    Ctx.Render();
    ASSERT_EQ(Doc.GetPageCount(), 4);
    EXPECT_GT(body.GetPage(3).FFirst, body.GetPage(3).FLast); // empty

    body.AddText("after");
    Ctx.Render();
    ASSERT_EQ(Doc.GetPageCount(), 4);
    Canvas.Texts.clear();
    Ctx.FCurrentPageIndex = 3;
    Ctx.Draw();
    EXPECT_EQ(Canvas.TextsOnPage(0), std::vector<std::string>{"after"});
}

TEST_F(PrintDoc, ALineTallerThanThePageStandsOnItsOwnPage) {
    SmallPage(3000, 2000);
    TPLFlowBox& body = Doc.GetBodyTextBox();
    body.AddFrame(TPLTextBox::CreateWithValues(0, 0, 500, 2500));
    body.AddText("\\nnext");
    Ctx.Render();
    ASSERT_EQ(Doc.GetPageCount(), 2);
    EXPECT_EQ(body.GetPage(0).FFirst, 0); // no empty page before it
    EXPECT_EQ(ItemsOf(body).at(static_cast<std::size_t>(body.GetPage(1).FFirst)), "w:next");

    body.Clear();
    body.AddText("first\\n");
    body.AddFrame(TPLTextBox::CreateWithValues(0, 0, 500, 2500));
    Ctx.Render();
    ASSERT_EQ(Doc.GetPageCount(), 2);
    EXPECT_EQ(ItemsOf(body).at(static_cast<std::size_t>(body.GetPage(1).FFirst)), "box");
}

TEST_F(PrintDoc, HeaderAndFooterOnEveryPage) {
    Doc.FWidth = 3000;
    Doc.FHeight = 2000;
    Doc.FLeftBorder = 100;
    Doc.FRightBorder = 200;
    Doc.FTopBorder = 150;
    Doc.FBottomBorder = 120;
    Doc.FHeaderSpace = 50;
    Doc.FFooterSpace = 30;
    Doc.FHeader->AddText("HEAD");
    Doc.FFooter->FHorzAlign = thaRight;
    Doc.FFooter->AddText("FOOT");
    TPLFlowBox& body = Doc.GetBodyTextBox();
    for (int i = 0; i < 40; ++i) body.AddText("L" + std::to_string(i) + "\\n");
    Ctx.Render();
    // Body: top 100 + 150 + 50 = 300, height 2000 - 300 - 30 - 100 - 120.
    EXPECT_EQ(body.FTop, 300);
    EXPECT_EQ(body.FHeight, 1450);
    EXPECT_EQ(body.FLeft, 100);
    EXPECT_EQ(body.FWidth, 2700);
    ASSERT_EQ(Doc.GetPageCount(), 3); // 14 lines a page

    for (int page = 0; page < 3; ++page) {
        Canvas.Texts.clear();
        Ctx.FCurrentPageIndex = page;
        Ctx.Draw();
        ASSERT_GE(Canvas.Texts.size(), 3u);
        const auto& head = Canvas.Texts[0];
        EXPECT_EQ(head.Str, "HEAD");
        EXPECT_EQ(head.X, 100);
        EXPECT_EQ(head.Y, 150);
        const auto& foot = Canvas.Texts[1];
        EXPECT_EQ(foot.Str, "FOOT");
        EXPECT_EQ(foot.X, 100 + 2700 - 200); // right-aligned
        EXPECT_EQ(foot.Y, 2000 - 120 - 100);
        const auto& first = Canvas.Texts[2];
        EXPECT_EQ(first.Str, "L" + std::to_string(page * 14));
        EXPECT_EQ(first.Y, 300);
    }
}

TEST_F(PrintDoc, HiddenBoxTakesNoPart) {
    TPLTextBox& box = BoxInBody(1000, 1000);
    auto hidden = TPLTextBox::CreateWithValues(0, 0, 400, 300);
    hidden->AddText("secret");
    hidden->SetVisible(false);
    box.AddWord("ab");
    box.AddFrame(hidden);
    box.AddWord("cd");
    Ctx.Render();
    EXPECT_EQ(hidden->GetClientWidth(), 0);
    EXPECT_EQ(hidden->GetClientHeight(), 0);
    EXPECT_EQ(WordAt(*hidden, 0).FWidth, 0); // never measured
    EXPECT_EQ(WordAt(box, 2).FLeft, 150);
    EXPECT_EQ(box.FContentHeight, 100);
    Ctx.Draw();
    for (const auto& t : Canvas.Texts) EXPECT_NE(t.Str, "secret");
}

TEST_F(PrintDoc, BordersDrawTheirLinesAndMoveTheContent) {
    for (int w : {10, 20, 30, 40}) Doc.CreatePen(w);
    auto box = TPLTextBox::CreateWithValues(1000, 2000, 800, 600);
    box->GetBorder().SetSpaces(100, 30, 200, 40);
    box->AddWord("x");
    Doc.GetBodyTextBox().AddFrame(box);
    Doc.GetBodyTextBox().FHorzAlign = thaRight; // the box moves to the right edge
    Ctx.Render();
    EXPECT_EQ(box->GetClientWidth(), 670);
    EXPECT_EQ(box->GetClientHeight(), 360);
    const int left = 2000 + (17000 - 800); // body left + right alignment
    Canvas.Calls.clear();
    Ctx.Draw();
    EXPECT_TRUE(Canvas.CallsStartingWith("LineTo").empty()); // pens 0: no lines
    EXPECT_EQ(Canvas.CallsStartingWith("TextOut"), std::vector<std::string>{"TextOut " + std::to_string(left + 100) + ",3000 x"});

    box->GetBorder().SetLines(1, 2, 3, 4); // left, right, top, bottom
    Canvas.Calls.clear();
    Ctx.Draw();
    auto at = [&](int x, int y) { return std::to_string(x) + "," + std::to_string(y); };
    const int t = 2000 + 800; // the body's top: border and header space
    const int r = left + 800, b = t + 600;
    const std::vector<std::string> lines = {
        "Pen w30 c0 s0 m4", "MoveTo " + at(left, t), "LineTo " + at(r, t),
        "Pen w40 c0 s0 m4", "MoveTo " + at(left, b), "LineTo " + at(r, b),
        "Pen w10 c0 s0 m4", "MoveTo " + at(left, t), "LineTo " + at(left, b),
        "Pen w20 c0 s0 m4", "MoveTo " + at(r, t), "LineTo " + at(r, b)};
    std::vector<std::string> drawn;
    for (const auto& c : Canvas.Calls)
        if (c.rfind("Pen", 0) == 0 || c.rfind("MoveTo", 0) == 0 || c.rfind("LineTo", 0) == 0) drawn.push_back(c);
    EXPECT_EQ(drawn, lines);
}

TEST_F(PrintDoc, NestedClippingComesBackToTheOuterBox) {
    TPLTextBox& outer = BoxInBody(1000, 1000);
    auto inner = TPLTextBox::CreateWithValues(0, 0, 300, 200);
    inner->AddWord("in");
    outer.AddFrame(inner);
    outer.AddWord("out");
    Ctx.Render();
    Ctx.Draw();
    ASSERT_EQ(Canvas.Texts.size(), 2u);
    // "out" is drawn after the inner box, still clipped to the outer one.
    EXPECT_EQ(Canvas.Texts[1].Str, "out");
    EXPECT_TRUE(Canvas.Texts[1].Clipped);
    EXPECT_EQ(Canvas.Texts[1].Clip.Right - Canvas.Texts[1].Clip.Left, 1001);
}

TEST_F(PrintDoc, TableRowsAndCells) {
    TPLFlowBox& body = Doc.GetBodyTextBox();
    auto table = TPLTable::Create(body, 3, 700);
    table->GetDefaultBorder().SetSpaces(100, 60, 50, 30);
    EXPECT_EQ(table->GetColWidth(2), 700);
    table->SetColWidth(1, 900);
    const int bold = Doc.CreateFont("Arial", 300, {fsBold});
    table->FFontIndex = bold;
    for (int i = 0; i < 7; ++i) {
        TPLTextBox& cell = table->NextCell();
        cell.AddText(i == 4 ? "two\\nlines" : "c" + std::to_string(i));
        table->FFontIndex = Font; // header row bold, the rest plain
    }
    EXPECT_EQ(table->GetRowCount(), 2);
    EXPECT_EQ(table->GetCellCount(), 7);
    EXPECT_EQ(ItemsOf(body), (std::vector<std::string>{"box", "box", "box", "br", "box", "box", "box", "br", "box"}));
    table->Finish();
    EXPECT_EQ(table->GetRowCount(), 3);
    EXPECT_EQ(table->GetCellCount(), 9);
    EXPECT_EQ(ItemsOf(body).size(), 9u + 3u + 1u);
    EXPECT_EQ(ItemsOf(body).back(), "other");
    table->Finish(); // once only
    EXPECT_EQ(ItemsOf(body).size(), 13u);

    Ctx.Render();
    // Widths by column, cells touch, rows as tall as their tallest cell.
    for (int c = 0; c < 9; ++c) {
        const TPLTextBox& cell = table->GetCell(c);
        EXPECT_EQ(cell.FWidth, c % 3 == 1 ? 900 : 700) << c;
        EXPECT_EQ(cell.FLeft, (c % 3 == 0 ? 0 : c % 3 == 1 ? 700
                                                           : 1600))
            << c;
        EXPECT_EQ(cell.FHeight, c / 3 == 1 ? 280 : 180) << c;
        EXPECT_EQ(cell.FTop, c / 3 == 0 ? 0 : c / 3 == 1 ? 180
                                                         : 460)
            << c;
        EXPECT_EQ(cell.FFontIndex, c == 0 ? bold : Font);
    }
    EXPECT_EQ(body.FContentHeight, 640); // the table's own entry takes no room

    table->FRowHeight = 400;
    Ctx.Render();
    EXPECT_EQ(table->GetCell(8).FHeight, 400);
    EXPECT_EQ(table->GetCell(8).FTop, 800);

    ExpectError([&] { table->SetColWidth(3, 1); }, "TPLTable.SetColWidth: List index out of bounds (3)");
    ExpectError([&] { TPLTable::Create(body, 0, 700); }, "TPLTable.Create: column count 0 is not positive");
}

TEST_F(PrintDoc, ATableRowWiderThanItsBoxWraps) {
    TPLTextBox& box = BoxInBody(1000, 5000);
    auto table = TPLTable::Create(box, 2, 600);
    table->NextCell().AddWord("a");
    table->NextCell().AddWord("b");
    table->Finish();
    Ctx.Render();
    EXPECT_EQ(table->GetCell(0).FLeft, 0);
    EXPECT_EQ(table->GetCell(1).FLeft, 0);
    EXPECT_EQ(table->GetCell(1).FTop, 100);
}

TEST_F(PrintDoc, ClearEmptiesTheDocumentForReuse) {
    Doc.GetBodyTextBox().AddText("a b c");
    Doc.FHeader->AddText("h");
    Ctx.Render();
    Doc.Clear();
    EXPECT_EQ(Doc.GetFontCount(), 0);
    EXPECT_EQ(Doc.GetPenCount(), 0);
    EXPECT_EQ(Doc.GetBodyTextBox().Items().GetCount(), 0);
    EXPECT_EQ(Doc.FHeader->Items().GetCount(), 0);
    EXPECT_EQ(Doc.GetPageCount(), 0);
    ASSERT_NE(Doc.GetBodyTextBox().GetHorzTabs(), nullptr);
    Doc.CreateFont("Arial", 300, {});
    Doc.GetBodyTextBox().AddText("again");
    Ctx.Render();
    EXPECT_EQ(Doc.GetPageCount(), 1);
}

} // namespace
} // namespace vo
