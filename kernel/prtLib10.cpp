#include "kernel/prtLib10.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>

namespace vo {

int MulDiv(int a, int b, int c) noexcept {
    if (c == 0) return -1;
    const long long p = static_cast<long long>(a) * b;
    const long long h = std::llabs(static_cast<long long>(c)) / 2;
    long long q = (std::llabs(p) + h) / std::llabs(static_cast<long long>(c));
    if ((p < 0) != (c < 0)) q = -q;
    if (q > INT_MAX || q < INT_MIN) return -1;
    return static_cast<int>(q);
}

namespace {

[[noreturn]] void IndexError(const char* Cls, const char* Op, int Index) {
    throw EPLError(std::string(Cls) + "." + Op + ": List index out of bounds (" + std::to_string(Index) + ")");
}

// Integer scaling with a 64-bit intermediate; the division truncates toward
// zero. Results beyond 32 bits saturate.
int Scale(long long v, int num, int den) noexcept {
    const long long r = v * num / den;
    return static_cast<int>(std::clamp<long long>(r, INT_MIN, INT_MAX));
}

} // namespace

// --- TPLFont ----------------------------------------------------------------

TPLFont::TPLFont(int AIndex, const MyAnsiString& AName, int ASize, TFontStyles AStyles)
    : FIndex(AIndex), FSize(ASize) {
    FFont.Name = AName;
    FFont.Styles = AStyles;
}

void TPLFont::Execute(TGraphicAction Action, TPLContext& Context) {
    if (Action != gaRender) return;
    TPLCanvas& canvas = Context.Canvas();
    const int ppi = canvas.PixelsPerInchY();
    FFont.Size = MulDiv(Context.LsToDsY(FSize), 72, ppi);
    FFont.Height = 0;
    // A size below one point would ask the platform for its default font
    // height: draw such a font one device pixel high instead.
    if (FFont.Size <= 0 || MulDiv(FFont.Size, ppi, 72) <= 0) {
        FFont.Size = 0;
        FFont.Height = 1;
    }
    canvas.SetFont(FFont);
    FMetrics = canvas.GetTextMetrics();
    FSpace = Context.DsToLsX(canvas.TextExtent(" ").cx);
}

int TPLFont::GetHeight(const TPLContext& Context) const { return Context.DsToLsY(FMetrics.Height); }
int TPLFont::GetAscent(const TPLContext& Context) const { return Context.DsToLsY(FMetrics.Ascent); }
int TPLFont::GetDescent(const TPLContext& Context) const { return Context.DsToLsY(FMetrics.Descent); }
int TPLFont::GetIntLead(const TPLContext& Context) const { return Context.DsToLsY(FMetrics.InternalLeading); }
int TPLFont::GetOverhang(const TPLContext& Context) const { return Context.DsToLsX(FMetrics.Overhang); }

// --- TPLPen -----------------------------------------------------------------

TPLPen::TPLPen(int AIndex, int AWidth) : FIndex(AIndex), FWidth(AWidth) {}

void TPLPen::Execute(TGraphicAction Action, TPLContext& Context) {
    if (Action == gaRender) FPen.Width = Context.LsToDsY(FWidth);
}

// --- TPLText ----------------------------------------------------------------

TPLText::TPLText(const MyAnsiString& AText, int AFontIndex, TTextHorzAlign AHorzAlign, TTextVertAlign AVertAlign)
    : FText(AText), FFontIndex(AFontIndex), FHorzAlign(AHorzAlign), FVertAlign(AVertAlign) {}

void TPLText::Execute(TGraphicAction Action, TPLContext& Context) {
    switch (Action) {
    case gaRender: {
        Context.SetFont(FFontIndex);
        const TSize ext = Context.GetTextExtent(FText);
        FWidth = ext.cx;
        FHeight = ext.cy;
        const TPLFont& font = Context.GetFont(FFontIndex);
        FBase = font.GetAscent(Context);
        FSpace = font.GetSpace();
        switch (FHorzAlign) {
        case thaLeft: FOrigin.X = 0; break;
        case thaCenter: FOrigin.X = FWidth / 2; break;
        case thaRight: FOrigin.X = FWidth; break;
        }
        switch (FVertAlign) {
        case tvaTop: FOrigin.Y = 0; break;
        case tvaRoof: FOrigin.Y = font.GetIntLead(Context); break;
        case tvaMid: FOrigin.Y = font.GetMiddle(Context); break;
        case tvaBase: FOrigin.Y = FBase; break;
        case tvaBottom: FOrigin.Y = FHeight; break;
        }
        break;
    }
    case gaExtent:
        Context.AdaptExtent({0, 0});
        Context.AdaptExtent({FWidth, FHeight});
        break;
    case gaDraw: {
        const TPoint old = Context.ShiftLogicalOffset(FLeft, FTop);
        Context.SetFont(FFontIndex);
        Context.TextOut(0, 0, FText);
        Context.RestoreLogicalOffset(old);
        break;
    }
    case gaPreRender: break;
    }
}

// --- TPLCollection ----------------------------------------------------------

void TPLCollection::Execute(TGraphicAction Action, TPLContext& Context) {
    // By index: an object may add to the collection while it runs.
    for (std::size_t i = 0; i < FList.size(); ++i) FList[i]->Execute(Action, Context);
}

void TPLCollection::CheckIndex(const char* Op, int Index, int Limit) const {
    if (Index < 0 || Index >= Limit) IndexError("TPLCollection", Op, Index);
}

void TPLCollection::Add(TPLRef<TPLObject> AObject) {
    if (!AObject) throw EPLError("TPLCollection.Add: no object");
    FList.push_back(std::move(AObject));
}

void TPLCollection::Insert(int Index, TPLRef<TPLObject> AObject) {
    if (!AObject) throw EPLError("TPLCollection.Insert: no object");
    CheckIndex("Insert", Index, GetCount() + 1);
    FList.insert(FList.begin() + Index, std::move(AObject));
}

void TPLCollection::Remove(const TPLObject* AObject) {
    const int i = IndexOf(AObject);
    if (i >= 0) FList.erase(FList.begin() + i);
}

void TPLCollection::Delete(int Index) {
    CheckIndex("Delete", Index, GetCount());
    FList.erase(FList.begin() + Index);
}

TPLObject* TPLCollection::GetItem(int Index) const {
    CheckIndex("GetItem", Index, GetCount());
    return FList[static_cast<std::size_t>(Index)].get();
}

int TPLCollection::IndexOf(const TPLObject* AObject) const noexcept {
    for (std::size_t i = 0; i < FList.size(); ++i)
        if (FList[i].get() == AObject) return static_cast<int>(i);
    return -1;
}

// --- TPLBorder --------------------------------------------------------------

void TPLBorder::Draw(TPLContext& Context, int X, int Y, int W, int H) const {
    const int right = X + W;
    const int bottom = Y + H;
    auto line = [&](int pen, int x1, int y1, int x2, int y2) {
        if (pen <= 0) return;
        Context.SetPen(pen);
        Context.MoveTo(x1, y1);
        Context.LineTo(x2, y2);
    };
    line(FTopLine, X, Y, right, Y);
    line(FBottomLine, X, bottom, right, bottom);
    line(FLeftLine, X, Y, X, bottom);
    line(FRightLine, right, Y, right, bottom);
}

void TPLBorder::SetSpaces(int ALeft, int ARight, int ATop, int ABottom) noexcept {
    FLeftSpace = ALeft;
    FRightSpace = ARight;
    FTopSpace = ATop;
    FBottomSpace = ABottom;
}

void TPLBorder::SetLines(int ALeft, int ARight, int ATop, int ABottom) noexcept {
    FLeftLine = ALeft;
    FRightLine = ARight;
    FTopLine = ATop;
    FBottomLine = ABottom;
}

// --- TPLClipBox -------------------------------------------------------------

TPLClipBox::TPLClipBox() : FItems(MakePL<TPLCollection>()) {}

void TPLClipBox::Clear() { FItems->Clear(); }

int TPLClipBox::GetClientWidth() const noexcept {
    if (!FVisible) return 0;
    return FBorder ? FWidth - FBorder->FLeftSpace - FBorder->FRightSpace : FWidth;
}

int TPLClipBox::GetClientHeight() const noexcept {
    if (!FVisible) return 0;
    return FBorder ? FHeight - FBorder->FTopSpace - FBorder->FBottomSpace : FHeight;
}

void TPLClipBox::SetClientWidth(int Value) noexcept {
    FWidth = FBorder ? Value + FBorder->FLeftSpace + FBorder->FRightSpace : Value;
}

void TPLClipBox::SetClientHeight(int Value) noexcept {
    FHeight = FBorder ? Value + FBorder->FTopSpace + FBorder->FBottomSpace : Value;
}

TPLBorder& TPLClipBox::GetBorder() {
    if (!FBorder) FBorder = MakePL<TPLBorder>();
    return *FBorder;
}

void TPLClipBox::Execute(TGraphicAction Action, TPLContext& Context) {
    if (!FVisible) return;
    switch (Action) {
    case gaRender:
        FItems->Execute(gaRender, Context);
        ArrangeItems(Context);
        if (FAutoHeight) SetClientHeight(FContentHeight);
        if (FAutoWidth) SetClientWidth(FContentWidth);
        break;
    case gaDraw: {
        const TPoint outer = Context.ShiftLogicalOffset(FLeft, FTop);
        TPoint inner;
        if (FBorder) inner = Context.ShiftLogicalOffset(FBorder->FLeftSpace, FBorder->FTopSpace);
        Context.SetClipRect(0, 0, GetClientWidth(), GetClientHeight());
        DrawItems(Context);
        Context.CancelClipping();
        if (FBorder) {
            Context.RestoreLogicalOffset(inner);
            FBorder->Draw(Context, 0, 0, FWidth, FHeight);
        }
        Context.RestoreLogicalOffset(outer);
        break;
    }
    default: FItems->Execute(Action, Context); break;
    }
}

// --- TPLTabList -------------------------------------------------------------

void TPLTabList::Add(int Position, TTextHorzAlign Alignment) {
    int i = 0;
    if (Find(Position, i))
        FList[static_cast<std::size_t>(i)].Alignment = Alignment;
    else
        FList.insert(FList.begin() + i, TPLTabListItem{Position, Alignment});
}

bool TPLTabList::Find(int Position, int& Index) const noexcept {
    auto it = std::lower_bound(FList.begin(), FList.end(), Position,
                               [](const TPLTabListItem& t, int p) { return t.Position < p; });
    Index = static_cast<int>(it - FList.begin());
    return it != FList.end() && it->Position == Position;
}

int TPLTabList::GetPosition(int Index) const {
    if (Index < 0 || Index >= Count()) throw EPLError("TPLTabList.GetPosition: tabulator index error");
    return FList[static_cast<std::size_t>(Index)].Position;
}

TTextHorzAlign TPLTabList::GetAlignment(int Index) const {
    if (Index < 0 || Index >= Count()) throw EPLError("TPLTabList.GetAlignment: tabulator index error");
    return FList[static_cast<std::size_t>(Index)].Alignment;
}

void TPLTabList::NextPosition(int& Position, TTextHorzAlign& Alignment) const noexcept {
    int i = 0;
    if (Find(Position, i)) ++i;
    if (i < Count()) {
        Position = FList[static_cast<std::size_t>(i)].Position;
        Alignment = FList[static_cast<std::size_t>(i)].Alignment;
    } else if (FAutoTab > 0) {
        // The next multiple strictly after the position (floor division, so
        // that positions left of the client area work too).
        long long q = Position / FAutoTab;
        if (Position % FAutoTab != 0 && Position < 0) --q;
        Position = static_cast<int>(std::min<long long>((q + 1) * FAutoTab, INT_MAX));
        Alignment = thaLeft;
    } else {
        Alignment = thaLeft;
    }
}

// --- TPLTextBox -------------------------------------------------------------

TPLTextBox::TPLTextBox(int ALeft, int ATop, int AWidth, int AHeight) {
    FLeft = ALeft;
    FTop = ATop;
    FWidth = AWidth;
    FHeight = AHeight;
}

void TPLTextBox::Clear() {
    TPLClipBox::Clear();
    ClearPages();
    FHorzTabs = nullptr;
}

TPLTabList& TPLTextBox::HorzTabs() {
    if (!FHorzTabs) FHorzTabs = MakePL<TPLTabList>();
    return *FHorzTabs;
}

void TPLTextBox::AddWord(const MyAnsiString& AText) { FItems->Add(MakePL<TPLText>(AText, FFontIndex, thaLeft, tvaBase)); }

void TPLTextBox::AddFrame(TPLRef<TPLFrame> AFrame) {
    if (!AFrame) throw EPLError("TPLTextBox.AddFrame: no frame");
    FItems->Add(std::move(AFrame));
}

void TPLTextBox::AddTabs(int ACount) {
    for (int i = 0; i < ACount; ++i) FItems->Add(MakePL<TPLHorzTab>());
}

void TPLTextBox::AddBreak() { FItems->Add(MakePL<TPLLineBreak>()); }

void TPLTextBox::NewPage() { FItems->Add(MakePL<TPLPageBreak>()); }

void TPLTextBox::AddText(const MyAnsiString& AText) {
    constexpr std::size_t MaxWord = 255;
    MyAnsiString word;
    auto put = [&](char c) {
        if (word.size() < MaxWord) word.push_back(c);
    };
    auto flush = [&] {
        if (!word.empty()) AddWord(word);
        word.clear();
    };
    for (std::size_t i = 0; i < AText.size(); ++i) {
        const char c = AText[i];
        switch (c) {
        case ' ': flush(); break;
        case '\t':
            flush();
            AddTabs(1);
            break;
        case '\r':
            flush();
            AddBreak();
            break;
        case '\\': {
            if (i + 1 >= AText.size()) break; // a lone backslash at the end is dropped
            const char e = AText[++i];
            switch (e) {
            case '\\': put('\\'); break;
            case '_': put(' '); break;
            case 'n':
                flush();
                AddBreak();
                break;
            case 't':
                flush();
                AddTabs(1);
                break;
            default: break;
            }
            break;
        }
        default: put(c); break;
        }
    }
    flush();
}

void TPLTextBox::FinishPage(TTextBoxRenderData&) {}

namespace {

TPLItemKind KindOf(TPLObject* Item) {
    if (auto* box = dynamic_cast<TPLClipBox*>(Item)) return box->GetVisible() ? ikFrame : ikHidden;
    if (dynamic_cast<TPLFrame*>(Item)) return ikFrame;
    if (dynamic_cast<TPLHorzTab*>(Item)) return ikTab;
    if (dynamic_cast<TPLLineBreak*>(Item)) return ikLineBreak;
    if (dynamic_cast<TPLPageBreak*>(Item)) return ikPageBreak;
    return ikNone;
}

} // namespace

void TPLTextBox::ArrangeItems(TPLContext&) {
    ClearPages();
    TTextBoxRenderData d;
    const int cw = GetClientWidth();
    const int n = FItems->GetCount();
    for (d.WorkIndex = 0; d.WorkIndex < n; ++d.WorkIndex) {
        d.CurrentItem = FItems->GetItem(d.WorkIndex);
        // Other objects (a table's own entry) take no room.
        d.CurrentItemType = KindOf(d.CurrentItem);
        TPLFrame* frame = nullptr;
        switch (d.CurrentItemType) {
        case ikFrame: {
            frame = static_cast<TPLFrame*>(d.CurrentItem);
            const int x = d.WorkHorzPos + d.WorkSpace;
            frame->FLeft = x;
            if (x + frame->FWidth > cw) {
                d.LineBreakRequest = true;
                d.RepeatCurrentItem = true;
                d.WorkSpace = 0;
            } else {
                d.WorkHorzPos = x + frame->FWidth;
                d.WorkSpace = frame->FSpace;
            }
            break;
        }
        case ikTab:
            if (FHorzTabs) {
                TTextHorzAlign align = thaLeft;
                FHorzTabs->NextPosition(d.WorkHorzPos, align);
                if (d.WorkHorzPos > cw) d.LineBreakRequest = true;
                d.WorkSpace = 0;
            }
            break;
        case ikLineBreak:
            d.LineBreakRequest = true;
            d.WorkSpace = 0;
            break;
        case ikPageBreak:
            d.LineBreakRequest = true;
            d.PageBreakRequest = true;
            d.WorkSpace = 0;
            break;
        case ikHidden:
        case ikNone: break;
        }
        auto count = [&] {
            if (!frame) return;
            d.BaseHeight = std::max(d.BaseHeight, frame->FBase);
            d.LineHeight = std::max(d.LineHeight, frame->FHeight);
        };
        if (d.LineBreakRequest || d.WorkHorzPos > cw) {
            if (d.RepeatCurrentItem && d.WorkIndex != d.FirstIndex) {
                --d.WorkIndex; // the item opens the next line
            } else {
                if (frame) frame->FLeft = 0; // alone on its line
                count();
            }
            FinishLine(d);
            d.LineBreakRequest = false;
            d.RepeatCurrentItem = false;
        } else {
            count();
        }
        if (d.WorkIndex == n - 1) FinishLine(d);
    }
    FContentHeight = d.WorkVertPos;
    FContentWidth = cw;
    FinishPage(d);
}

void TPLTextBox::FinishLine(TTextBoxRenderData& d) {
    // A line that does not fit below the lines already on the page opens the
    // next one; a line taller than the page stands alone on its page.
    if (d.WorkVertPos > 0 && d.WorkVertPos + d.LineHeight > GetClientHeight()) FinishPage(d);
    int right = 0;
    const int last = std::min(d.WorkIndex, FItems->GetCount() - 1);
    for (int i = d.FirstIndex; i <= last; ++i) {
        TPLObject* item = FItems->GetItem(i);
        if (KindOf(item) != ikFrame) continue;
        auto* f = static_cast<TPLFrame*>(item);
        f->SetY(d.WorkVertPos + d.BaseHeight);
        right = f->FLeft + f->FWidth;
    }
    const int cw = GetClientWidth();
    int offset = 0;
    if (FHorzAlign == thaCenter) offset = (cw - right) / 2;
    if (FHorzAlign == thaRight) offset = cw - right;
    if (offset > 0) {
        for (int i = d.FirstIndex; i <= last; ++i) {
            TPLObject* item = FItems->GetItem(i);
            if (KindOf(item) == ikFrame) static_cast<TPLFrame*>(item)->FLeft += offset;
        }
    }
    d.WorkVertPos += d.LineHeight;
    d.LineHeight = 0;
    d.BaseHeight = 0;
    d.WorkHorzPos = 0;
    d.WorkSpace = 0;
    d.FirstIndex = d.WorkIndex + 1;
    if (d.PageBreakRequest) {
        FinishPage(d);
        d.PageBreakRequest = false;
    }
}

void TPLTextBox::DrawItems(TPLContext& Context) { FItems->Execute(gaDraw, Context); }

// --- TPLFlowPage, TPLFlowBox ------------------------------------------------

void TPLFlowPage::Execute(TGraphicAction Action, TPLContext& Context) {
    if (Action != gaDraw) return;
    const int last = std::min(FLast, FItems->GetCount() - 1);
    for (int i = std::max(FFirst, 0); i <= last; ++i) FItems->GetItem(i)->Execute(gaDraw, Context);
}

void TPLFlowBox::DrawItems(TPLContext& Context) {
    const int page = Context.FCurrentPageIndex;
    if (page >= 0 && page < GetPageCount()) FPages[static_cast<std::size_t>(page)]->Execute(gaDraw, Context);
}

void TPLFlowBox::Clear() {
    TPLTextBox::Clear();
    FPages.clear();
}

void TPLFlowBox::FinishPage(TTextBoxRenderData& Data) {
    const int first = FPages.empty() ? 0 : FPages.back()->FLast + 1;
    FPages.push_back(MakePL<TPLFlowPage>(*FItems, first, Data.FirstIndex - 1));
    Data.WorkVertPos = 0;
}

const TPLFlowPage& TPLFlowBox::GetPage(int Index) const {
    if (Index < 0 || Index >= GetPageCount()) IndexError("TPLFlowBox", "GetPage", Index);
    return *FPages[static_cast<std::size_t>(Index)];
}

// --- TPLTable ---------------------------------------------------------------

TPLTable::TPLTable(TPLTextBox& Parent, int AColCount, int AColWidth) : FParent(&Parent) {
    if (AColCount <= 0)
        throw EPLError("TPLTable.Create: column count " + std::to_string(AColCount) + " is not positive");
    if (AColWidth < 0) throw EPLError("TPLTable.Create: column width " + std::to_string(AColWidth) + " is negative");
    FCols.assign(static_cast<std::size_t>(AColCount), AColWidth);
}

void TPLTable::SetColWidth(int Index, int Value) {
    if (Index < 0 || Index >= GetColCount()) IndexError("TPLTable", "SetColWidth", Index);
    FCols[static_cast<std::size_t>(Index)] = Value;
}

int TPLTable::GetColWidth(int Index) const {
    if (Index < 0 || Index >= GetColCount()) IndexError("TPLTable", "GetColWidth", Index);
    return FCols[static_cast<std::size_t>(Index)];
}

TPLBorder& TPLTable::GetDefaultBorder() {
    if (!FDefaultBorder) FDefaultBorder = MakePL<TPLBorder>();
    return *FDefaultBorder;
}

TPLTextBox& TPLTable::GetCell(int Index) const {
    if (Index < 0 || Index >= GetCellCount()) IndexError("TPLTable", "GetCell", Index);
    return *FCells[static_cast<std::size_t>(Index)];
}

TPLTextBox& TPLTable::NextCell() {
    const int cols = GetColCount();
    auto cell = MakePL<TPLTextBox>();
    cell->FWidth = FCols[static_cast<std::size_t>(GetCellCount() % cols)];
    cell->FAutoHeight = true;
    GetDefaultBorder();
    cell->SetBorder(FDefaultBorder);
    cell->FFontIndex = FFontIndex;
    FParent->AddFrame(cell);
    FCells.push_back(cell);
    FCurrentCell = cell.get();
    if (GetCellCount() % cols == 0) {
        FParent->AddBreak();
        ++FRowCount;
    }
    return *cell;
}

void TPLTable::Finish() {
    while (GetCellCount() % GetColCount() != 0) NextCell();
    if (!FFinished) {
        FFinished = true;
        FParent->Items().Add(TPLRef<TPLObject>(this));
    }
}

void TPLTable::Execute(TGraphicAction Action, TPLContext&) {
    if (Action != gaRender) return;
    const std::size_t cols = FCols.size();
    for (int r = 0; r < FRowCount; ++r) {
        const std::size_t first = static_cast<std::size_t>(r) * cols;
        if (first + cols > FCells.size()) break;
        int height = FRowHeight;
        for (std::size_t c = 0; c < cols; ++c) height = std::max(height, FCells[first + c]->FHeight);
        for (std::size_t c = 0; c < cols; ++c) FCells[first + c]->FHeight = height;
    }
}

// --- TPLDocument ------------------------------------------------------------

TPLDocument::TPLDocument()
    : FHeader(MakePL<TPLTextBox>()), FFooter(MakePL<TPLTextBox>()), FFonts(MakePL<TPLCollection>()),
      FPens(MakePL<TPLCollection>()), FBody(MakePL<TPLFlowBox>()) {
    FHeader->FAutoHeight = true;
    FFooter->FAutoHeight = true;
    FBody->HorzTabs();
}

int TPLDocument::CreateFont(const MyAnsiString& AName, int ASize, TFontStyles Styles) {
    const int index = FFonts->GetCount();
    FFonts->Add(MakePL<TPLFont>(index, AName, ASize, Styles));
    return index;
}

int TPLDocument::CreatePen(int AWidth) {
    const int index = FPens->GetCount();
    FPens->Add(MakePL<TPLPen>(index, AWidth));
    return index;
}

void TPLDocument::ClearFont() {
    if (FFonts->GetCount() == 0) return;
    FFonts->Delete(0);
    for (int i = 0; i < FFonts->GetCount(); ++i) static_cast<TPLFont*>(FFonts->GetItem(i))->FIndex = i;
}

TPLFont& TPLDocument::GetFont(int Index) const {
    if (Index < 0 || Index >= FFonts->GetCount()) IndexError("TPLDocument", "GetFont", Index);
    return *static_cast<TPLFont*>(FFonts->GetItem(Index));
}

TPLPen& TPLDocument::GetPen(int Index) const {
    if (Index < 0 || Index >= FPens->GetCount()) IndexError("TPLDocument", "GetPen", Index);
    return *static_cast<TPLPen*>(FPens->GetItem(Index));
}

void TPLDocument::Clear() {
    FBody->Clear();
    FBody->HorzTabs();
    FHeader->Clear();
    FFooter->Clear();
    FFonts->Clear();
    FPens->Clear();
}

void TPLDocument::Execute(TGraphicAction Action, TPLContext& Context) {
    const int width = FWidth - FLeftBorder - FRightBorder;
    if (Action == gaRender) {
        FHeader->FLeft = FLeftBorder;
        FHeader->FTop = FTopBorder;
        FHeader->FWidth = width;
        FHeader->FHeight = FHeaderHeight;
        FFooter->FLeft = FLeftBorder;
        FFooter->FTop = FHeight - FBottomBorder - FFooterHeight;
        FFooter->FWidth = width;
        FFooter->FHeight = FFooterHeight;
    }
    FFonts->Execute(Action, Context);
    FPens->Execute(Action, Context);
    FHeader->Execute(Action, Context);
    FFooter->Execute(Action, Context);
    if (Action == gaRender) {
        FBody->FAutoHeight = false;
        FBody->HorzTabs().FAutoTab = FAutoTabSize;
        FBody->FTop = FHeader->FHeight + FTopBorder + FHeaderSpace;
        FBody->FHeight = FHeight - FBody->FTop - FFooterSpace - FFooter->FHeight - FBottomBorder;
        FBody->FLeft = FLeftBorder;
        FBody->FWidth = width;
        FFooter->FTop = FHeight - FBottomBorder - FFooter->FHeight;
    }
    FBody->Execute(Action, Context);
}

// --- TPLContext -------------------------------------------------------------

TPLContext::TPLContext() {
    FPageSize = {100, 100};
    FPageMax = {100, 100};
    FViewMax = {100, 100};
    ComputeScale();
}

TPLContext::~TPLContext() = default;

void TPLContext::SetDocument(TPLDocument* Value) { FDocument = Value; }

TPLDocument& TPLContext::Document() const {
    if (!FDocument) throw EPLError("TPLContext: no document");
    return *FDocument;
}

TPLCanvas& TPLContext::Canvas() const {
    if (!FCanvas) throw EPLError("TPLContext: no canvas to draw on");
    return *FCanvas;
}

void TPLContext::SetPage(TPoint Size, TPoint Min, TPoint Max) {
    FPageSize = Size;
    FPageMin = Min;
    FPageMax = Max;
    ScaleChanged = true;
}

void TPLContext::SetView(TPoint P1, TPoint P2) {
    FViewMin = P1;
    FViewMax = P2;
    ScaleChanged = true;
}

namespace {

// The scale view / page as a fraction num/den with den a power of two, within
// 0.1 %.
void ScaleFraction(const char* Axis, int PageExt, int ViewExt, int& Num, int& Den) {
    if (PageExt == 0)
        throw EPLError(std::string("TPLContext.ComputeScale: the page has no extent in ") + Axis);
    if (ViewExt == 0)
        throw EPLError(std::string("TPLContext.ComputeScale: the view has no extent in ") + Axis);
    const double scale = static_cast<double>(ViewExt) / PageExt;
    for (long long den = 1; den <= (1LL << 30); den *= 2) {
        const double num = std::nearbyint(static_cast<double>(den) * scale);
        if (std::fabs(num) > INT_MAX) break;
        if (std::fabs(num / static_cast<double>(den) - scale) / std::fabs(scale) < 0.001) {
            Num = static_cast<int>(num);
            Den = static_cast<int>(den);
            return;
        }
    }
    throw EPLError(std::string("TPLContext.ComputeScale: the scale ") + std::to_string(ViewExt) + "/" +
                   std::to_string(PageExt) + " in " + Axis + " is out of range");
}

} // namespace

void TPLContext::ComputeScale() {
    TPoint num, den;
    ScaleFraction("x", FPageMax.X - FPageMin.X, FViewMax.X - FViewMin.X, num.X, den.X);
    ScaleFraction("y", FPageMax.Y - FPageMin.Y, FViewMax.Y - FViewMin.Y, num.Y, den.Y);
    FScaleNum = num;
    FScaleDen = den;
    FDevOffs = {LsToDsX(-FPageMin.X) + FViewMin.X, LsToDsY(-FPageMin.Y) + FViewMin.Y};
    ScaleChanged = false;
}

int TPLContext::LcToDcX(int v) const noexcept {
    return Scale(static_cast<long long>(v) + FLogOffs.X, FScaleNum.X, FScaleDen.X) + FDevOffs.X;
}
int TPLContext::LcToDcY(int v) const noexcept {
    return Scale(static_cast<long long>(v) + FLogOffs.Y, FScaleNum.Y, FScaleDen.Y) + FDevOffs.Y;
}
int TPLContext::LsToDsX(int v) const noexcept { return Scale(v, FScaleNum.X, FScaleDen.X); }
int TPLContext::LsToDsY(int v) const noexcept { return Scale(v, FScaleNum.Y, FScaleDen.Y); }
int TPLContext::DsToLsX(int v) const noexcept { return Scale(v, FScaleDen.X, FScaleNum.X); }
int TPLContext::DsToLsY(int v) const noexcept { return Scale(v, FScaleDen.Y, FScaleNum.Y); }

TPoint TPLContext::ShiftLogicalOffset(int dx, int dy) noexcept {
    const TPoint old = FLogOffs;
    FLogOffs.X += dx;
    FLogOffs.Y += dy;
    return old;
}

void TPLContext::Render() {
    if (!FDocument) return;
    if (ScaleChanged) ComputeScale();
    Canvas();
    FClipStack.clear();
    FDocument->Execute(gaRender, *this);
    FMinExt = {INT_MAX, INT_MAX};
    FMaxExt = {INT_MIN, INT_MIN};
    FLogOffs = FInitLogOffs;
    FDocument->Execute(gaExtent, *this);
}

void TPLContext::Draw() {
    if (!FDocument) return;
    if (ScaleChanged) ComputeScale();
    Canvas();
    FLogOffs = FInitLogOffs;
    FClipStack.clear();
    FDocument->Execute(gaDraw, *this);
}

void TPLContext::MoveTo(int x, int y) { Canvas().MoveTo(LcToDcX(x), LcToDcY(y)); }
void TPLContext::LineTo(int x, int y) { Canvas().LineTo(LcToDcX(x), LcToDcY(y)); }
void TPLContext::Rectangle(int x1, int y1, int x2, int y2) {
    Canvas().Rectangle(LcToDcX(x1), LcToDcY(y1), LcToDcX(x2), LcToDcY(y2));
}
void TPLContext::Ellipse(int x1, int y1, int x2, int y2) {
    Canvas().Ellipse(LcToDcX(x1), LcToDcY(y1), LcToDcX(x2), LcToDcY(y2));
}
void TPLContext::TextOut(int x, int y, const MyAnsiString& AText) { Canvas().TextOut(LcToDcX(x), LcToDcY(y), AText); }

void TPLContext::SetFont(int Index) { Canvas().SetFont(GetFont(Index).FFont); }
void TPLContext::SetPen(int Index) { Canvas().SetPen(GetPen(Index).FPen); }

void TPLContext::SetPenDef(const TPenDef& APenDef) {
    TPenDef pen = APenDef;
    pen.Width = LsToDsX(APenDef.Width);
    Canvas().SetPen(pen);
}

int TPLContext::GetTextWidth(const MyAnsiString& AText) { return GetTextExtent(AText).cx; }

TSize TPLContext::GetTextExtent(const MyAnsiString& AText) {
    const TSize s = Canvas().TextExtent(AText);
    return {DsToLsX(s.cx), DsToLsY(s.cy)};
}

void TPLContext::SetClipRect(int x, int y, int dx, int dy) {
    TRect r{LcToDcX(x), LcToDcY(y), LcToDcX(dx) + 1, LcToDcY(dy) + 1};
    if (!FClipStack.empty()) {
        const TRect& o = FClipStack.back();
        r = {std::max(r.Left, o.Left), std::max(r.Top, o.Top), std::min(r.Right, o.Right), std::min(r.Bottom, o.Bottom)};
    }
    r.Right = std::max(r.Right, r.Left);
    r.Bottom = std::max(r.Bottom, r.Top);
    FClipStack.push_back(r);
    Canvas().SetClipRect(r);
}

void TPLContext::CancelClipping() {
    if (!FClipStack.empty()) FClipStack.pop_back();
    if (FClipStack.empty())
        Canvas().CancelClipping();
    else
        Canvas().SetClipRect(FClipStack.back());
}

void TPLContext::AdaptExtent(TPoint P) noexcept {
    FMinExt.X = std::min(FMinExt.X, P.X);
    FMinExt.Y = std::min(FMinExt.Y, P.Y);
    FMaxExt.X = std::max(FMaxExt.X, P.X);
    FMaxExt.Y = std::max(FMaxExt.Y, P.Y);
}

TPLFont& TPLContext::GetFont(int Index) const { return Document().GetFont(Index); }
TPLPen& TPLContext::GetPen(int Index) const { return Document().GetPen(Index); }

} // namespace vo
