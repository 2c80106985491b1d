#include "tests/support/PrintFakes.h"

#include <cmath>
#include <string>

namespace vo::test {

namespace {
std::string Pt(int X, int Y) { return std::to_string(X) + "," + std::to_string(Y); }
} // namespace

const TRecordingCanvas::Metrics& TRecordingCanvas::Current() const {
    auto it = ByFont.find(Font.Name);
    return it == ByFont.end() ? Default : it->second;
}

void TRecordingCanvas::Record(std::string Line) {
    if (Recording) Calls.push_back(std::move(Line));
}

void TRecordingCanvas::SetFont(const TPLFontDef& F) {
    Font = F;
    std::string styles;
    if (F.Styles.Contains(fsBold)) styles += "B";
    if (F.Styles.Contains(fsItalic)) styles += "I";
    if (F.Styles.Contains(fsUnderline)) styles += "U";
    if (F.Styles.Contains(fsStrikeOut)) styles += "S";
    Record("Font " + F.Name + " " + std::to_string(F.Size) + "pt h" + std::to_string(F.Height) +
           (styles.empty() ? "" : " " + styles));
}

TPLTextMetrics TRecordingCanvas::GetTextMetrics() {
    const Metrics& m = Current();
    TPLTextMetrics t;
    t.Ascent = m.Ascent;
    t.Descent = m.Descent;
    t.Height = m.Ascent + m.Descent;
    t.InternalLeading = m.InternalLeading;
    t.AveCharWidth = m.CharWidth;
    return t;
}

TSize TRecordingCanvas::TextExtent(const MyAnsiString& Str) {
    const Metrics& m = Current();
    return {static_cast<int>(Str.size()) * m.CharWidth, m.Ascent + m.Descent};
}

void TRecordingCanvas::TextOut(int X, int Y, const MyAnsiString& Str) {
    if (FTextOuts++ == FailAtTextOut) throw EPLError("TRecordingCanvas.TextOut: device failure");
    Record("TextOut " + Pt(X, Y) + " " + Str);
    if (Recording) Texts.push_back({X, Y, Str, Font, Page, FClipped, FClip});
}

void TRecordingCanvas::SetPen(const TPenDef& P) {
    Pen = P;
    Record("Pen w" + std::to_string(P.Width) + " c" + std::to_string(P.Color) + " s" + std::to_string(P.Style) +
           " m" + std::to_string(P.Mode));
}

void TRecordingCanvas::MoveTo(int X, int Y) { Record("MoveTo " + Pt(X, Y)); }
void TRecordingCanvas::LineTo(int X, int Y) { Record("LineTo " + Pt(X, Y)); }
void TRecordingCanvas::Rectangle(int X1, int Y1, int X2, int Y2) { Record("Rectangle " + Pt(X1, Y1) + " " + Pt(X2, Y2)); }
void TRecordingCanvas::Ellipse(int X1, int Y1, int X2, int Y2) { Record("Ellipse " + Pt(X1, Y1) + " " + Pt(X2, Y2)); }

void TRecordingCanvas::SetClipRect(const TRect& R) {
    FClipped = true;
    FClip = R;
    Record("Clip " + Pt(R.Left, R.Top) + " " + Pt(R.Right, R.Bottom));
}

void TRecordingCanvas::CancelClipping() {
    FClipped = false;
    Record("NoClip");
}

std::vector<std::string> TRecordingCanvas::TextsOnPage(int P) const {
    std::vector<std::string> r;
    for (const Text& t : Texts)
        if (t.Page == P) r.push_back(t.Str);
    return r;
}

std::vector<std::string> TRecordingCanvas::CallsStartingWith(const std::string& Prefix) const {
    std::vector<std::string> r;
    for (const std::string& c : Calls)
        if (c.rfind(Prefix, 0) == 0) r.push_back(c);
    return r;
}

TFakePrinter::TFakePrinter() {
    // A4 (210 x 297 mm) at 600 pixels per inch; 4 mm margins all round.
    auto px = [](double mm) { return static_cast<int>(std::lround(mm * 600 / 25.4)); };
    Caps.PhysicalWidth = px(210);
    Caps.PhysicalHeight = px(297);
    Caps.PhysicalOffsetX = px(4);
    Caps.PhysicalOffsetY = px(4);
    Caps.HorzSize = 202;
    Caps.VertSize = 289;
    Caps.HorzRes = px(202);
    Caps.VertRes = px(289);
}

void TFakePrinter::Event(const std::string& Name) {
    Events.push_back(Name);
    Paper.Calls.push_back(Name);
}

void TFakePrinter::BeginDoc() {
    if (FPrinting) throw EPLError("TFakePrinter.BeginDoc: printing in progress");
    FPrinting = true;
    FPrinted = 0;
    Paper.Page = 0;
    Event("BeginDoc");
}

void TFakePrinter::NewPage() {
    if (!FPrinting) throw EPLError("TFakePrinter.NewPage: printer is not printing");
    ++Paper.Page;
    Event("NewPage");
}

void TFakePrinter::EndDoc() {
    if (!FPrinting) throw EPLError("TFakePrinter.EndDoc: printer is not printing");
    FPrinting = false;
    FPrinted = Paper.Page + 1;
    Event("EndDoc");
}

void TFakePrinter::Abort() {
    FPrinting = false;
    FPrinted = 0;
    Event("Abort");
}

void StartPrintout(TPLPrintContext& Ctx, TPLDocument& Doc) {
    Ctx.SetDocument(&Doc);
    Doc.FWidth = Ctx.FPageSize.X;
    Doc.FHeight = Ctx.FPageSize.Y;
    Ctx.Render();
    Doc.CreatePen(0);
}

void AddSampleContent(TPLDocument& Doc, int Font, int Bold, int Pen, int Index, int Lines) {
    TPLFlowBox& body = Doc.GetBodyTextBox();
    body.FFontIndex = Bold;
    body.AddText("Section " + std::to_string(Index) + "\\n");
    body.FFontIndex = Font;
    for (int i = 0; i < Lines; ++i)
        body.AddText("P" + std::to_string(Index * 100 + i) + "\tMaximum\\_current of the axis\t" + std::to_string(i * 17) +
                     "\tmA\\n");
    auto table = TPLTable::Create(body, 3, 5000);
    table->GetDefaultBorder().SetSpaces(100, 100, 50, 50);
    table->GetDefaultBorder().SetLines(Pen, Pen, Pen, Pen);
    table->FFontIndex = Bold;
    for (int c = 0; c < 9; ++c) {
        table->NextCell().AddText(c < 3 ? "Header" : "value " + std::to_string(c));
        table->FFontIndex = Font;
    }
    table->Finish();
}

} // namespace vo::test
