#pragma once
// The print-document library: a document is a tree of reference-counted layout
// objects (fonts, pens, texts, boxes, tab stops, tables) measured and laid out
// in logical units and then drawn page by page through a drawing context that
// maps logical to device coordinates on an abstract canvas. All documents of
// the program use one logical unit = 0.01 mm (an A4 page is 21000 x 29700);
// the library itself only relies on the context's scale.
//
// Typical use (see prtPCtx.h for the printer):
//   TPLDocument Doc;
//   int Pen0 = Doc.CreatePen(0);          // pen index 0 stands for "no line"
//   int Font = Doc.CreateFont("Arial", 400, {});
//   Doc.GetBodyTextBox().AddText("Hello\tworld\\n");
//   Context.SetDocument(&Doc); Context.Render(); Context.Draw();
//
// Everything here runs on the GUI thread only.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "platform/AnsiString.h"
#include "platform/Exception.h"

namespace vo {

// The library's error.
class EPLError : public Exception {
public:
    using Exception::Exception;
};

struct TPoint {
    int X = 0;
    int Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize {
    int cx = 0;
    int cy = 0;
    friend bool operator==(const TSize&, const TSize&) = default;
};

// Device rectangle: left and top inside, right and bottom outside.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    friend bool operator==(const TRect&, const TRect&) = default;
};

// a * b / c rounded to the nearest integer (halves away from zero), computed
// without overflow; c = 0 gives -1.
int MulDiv(int a, int b, int c) noexcept;

// ---------------------------------------------------------------------------
// The canvas: what the library needs of a drawing surface. Coordinates and
// sizes are device pixels; texts are code page 1252.

enum TFontStyle : std::uint8_t { fsBold,
                                 fsItalic,
                                 fsUnderline,
                                 fsStrikeOut };

class TFontStyles {
public:
    constexpr TFontStyles() = default;
    constexpr TFontStyles(std::initializer_list<TFontStyle> Styles) {
        for (TFontStyle s : Styles) FBits |= Bit(s);
    }
    constexpr bool Contains(TFontStyle s) const noexcept { return (FBits & Bit(s)) != 0; }
    constexpr void Include(TFontStyle s) noexcept { FBits |= Bit(s); }
    constexpr void Exclude(TFontStyle s) noexcept { FBits &= static_cast<std::uint8_t>(~Bit(s)); }
    constexpr std::uint8_t Bits() const noexcept { return FBits; }
    friend bool operator==(const TFontStyles&, const TFontStyles&) = default;

private:
    static constexpr std::uint8_t Bit(TFontStyle s) { return static_cast<std::uint8_t>(1u << s); }
    std::uint8_t FBits = 0;
};

// A platform font. Size is in points on the canvas's device; a Size of 0 with
// a Height > 0 asks for a character height of Height device pixels.
struct TPLFontDef {
    MyAnsiString Name = "Arial";
    int Size = 10;
    int Height = 0;
    TFontStyles Styles;
    friend bool operator==(const TPLFontDef&, const TPLFontDef&) = default;
};

// Text metrics of the selected font, device pixels. Height = Ascent + Descent;
// InternalLeading is the part of Height above the characters' em size.
struct TPLTextMetrics {
    int Height = 0;
    int Ascent = 0;
    int Descent = 0;
    int InternalLeading = 0;
    int ExternalLeading = 0;
    int AveCharWidth = 0;
    int Overhang = 0;
};

// Pen styles and modes (values as the platform pen numbers them).
enum TPenStyle : std::uint8_t { psSolid,
                                psDash,
                                psDot,
                                psDashDot,
                                psDashDotDot,
                                psClear,
                                psInsideFrame };
enum TPenMode : std::uint8_t { pmBlack,
                               pmWhite,
                               pmNop,
                               pmNot,
                               pmCopy,
                               pmNotCopy,
                               pmMergePenNot,
                               pmMaskPenNot,
                               pmMergeNotPen,
                               pmMaskNotPen,
                               pmMerge,
                               pmNotMerge,
                               pmMask,
                               pmNotMask,
                               pmXor,
                               pmNotXor };

// A pen. Width is in logical units where a context takes it (SetPenDef) and in
// device pixels on the canvas. Color is 0x00BBGGRR.
struct TPenDef {
    std::int32_t Width = 0;
    std::uint32_t Color = 0;
    std::uint8_t Style = psSolid;
    std::uint8_t Mode = pmCopy;
    friend bool operator==(const TPenDef&, const TPenDef&) = default;
};

class TPLCanvas {
public:
    TPLCanvas() = default;
    TPLCanvas(const TPLCanvas&) = delete;
    TPLCanvas& operator=(const TPLCanvas&) = delete;
    virtual ~TPLCanvas() = default;

    virtual void SetFont(const TPLFontDef& Font) = 0;
    virtual TPLTextMetrics GetTextMetrics() = 0;
    // Size of the text in the selected font: advance width and cell height.
    virtual TSize TextExtent(const MyAnsiString& Text) = 0;
    // Writes the text with the top-left corner of its cell at (X, Y).
    virtual void TextOut(int X, int Y, const MyAnsiString& Text) = 0;
    virtual void SetPen(const TPenDef& Pen) = 0;
    virtual void MoveTo(int X, int Y) = 0;
    virtual void LineTo(int X, int Y) = 0;
    virtual void Rectangle(int X1, int Y1, int X2, int Y2) = 0;
    virtual void Ellipse(int X1, int Y1, int X2, int Y2) = 0;
    virtual void SetClipRect(const TRect& Rect) = 0;
    virtual void CancelClipping() = 0;
    virtual int PixelsPerInchX() const = 0;
    virtual int PixelsPerInchY() const = 0;
};

// ---------------------------------------------------------------------------
// Document objects.

enum TGraphicAction { gaPreRender,
                      gaRender,
                      gaExtent,
                      gaDraw };
enum TTextHorzAlign { thaLeft,
                      thaCenter,
                      thaRight };
enum TTextVertAlign { tvaTop,
                      tvaRoof,
                      tvaMid,
                      tvaBase,
                      tvaBottom };

class TPLContext;
class TPLDocument;

// Reference-counted base of every document object. A new object has count 0;
// whoever stores it takes a reference (TPLRef); the last Release frees it.
class TPLObject {
public:
    TPLObject() = default;
    TPLObject(const TPLObject&) = delete;
    TPLObject& operator=(const TPLObject&) = delete;
    virtual ~TPLObject() = default;

    virtual void Execute(TGraphicAction Action, TPLContext& Context) = 0;

    void AddRef() noexcept { ++FRefCount; }
    void Release() noexcept {
        if (--FRefCount <= 0) delete this;
    }
    int RefCount() const noexcept { return FRefCount; }

private:
    int FRefCount = 0;
};

// A counted reference to a document object.
template <class T>
class TPLRef {
public:
    TPLRef() noexcept = default;
    TPLRef(std::nullptr_t) noexcept {}
    explicit TPLRef(T* p) noexcept : FPtr(p) {
        if (FPtr) FPtr->AddRef();
    }
    TPLRef(const TPLRef& o) noexcept : TPLRef(o.FPtr) {}
    TPLRef(TPLRef&& o) noexcept : FPtr(std::exchange(o.FPtr, nullptr)) {}
    template <class U>
    TPLRef(const TPLRef<U>& o) noexcept : TPLRef(o.get()) {}
    ~TPLRef() {
        if (FPtr) FPtr->Release();
    }
    TPLRef& operator=(TPLRef o) noexcept {
        std::swap(FPtr, o.FPtr);
        return *this;
    }
    T* get() const noexcept { return FPtr; }
    T* operator->() const noexcept { return FPtr; }
    T& operator*() const noexcept { return *FPtr; }
    explicit operator bool() const noexcept { return FPtr != nullptr; }

private:
    T* FPtr = nullptr;
};

// Creates a document object and takes the first reference to it.
template <class T, class... A>
TPLRef<T> MakePL(A&&... Args) {
    return TPLRef<T>(new T(std::forward<A>(Args)...));
}

// A placed rectangle: top-left corner and size, the alignment point (origin)
// inside it, the distance from the top to the base line, and the gap that
// layout puts after it on a line.
class TPLFrame : public TPLObject {
public:
    int GetX() const noexcept { return FLeft + FOrigin.X; }
    int GetY() const noexcept { return FTop + FOrigin.Y; }
    void SetX(int Value) noexcept { FLeft = Value - FOrigin.X; }
    void SetY(int Value) noexcept { FTop = Value - FOrigin.Y; }

    int FLeft = 0;
    int FTop = 0;
    int FWidth = 0;
    int FHeight = 0;
    TPoint FOrigin;
    int FBase = 0;
    int FSpace = 0;
};

class TPLFont : public TPLObject {
public:
    TPLFont(int AIndex, const MyAnsiString& AName, int ASize, TFontStyles AStyles);
    void Execute(TGraphicAction Action, TPLContext& Context) override;

    // Metrics of the last render, in logical units.
    int GetHeight(const TPLContext& Context) const;
    int GetAscent(const TPLContext& Context) const;
    int GetDescent(const TPLContext& Context) const;
    int GetIntLead(const TPLContext& Context) const;
    int GetOverhang(const TPLContext& Context) const;
    int GetMiddle(const TPLContext& Context) const { return GetAscent(Context) / 2 + GetIntLead(Context); }
    int GetSpace() const noexcept { return FSpace; }

    int FIndex;
    TPLFontDef FFont; // the platform font as last selected
    int FSize; // height in logical units
    TPLTextMetrics FMetrics;
    int FSpace = 0; // blank width, logical units
};

class TPLPen : public TPLObject {
public:
    TPLPen(int AIndex, int AWidth);
    void Execute(TGraphicAction Action, TPLContext& Context) override;

    int FIndex;
    TPenDef FPen; // the platform pen (width in device pixels after render)
    int FWidth; // logical units
};

class TPLText : public TPLFrame {
public:
    TPLText(const MyAnsiString& AText, int AFontIndex, TTextHorzAlign AHorzAlign = thaLeft,
            TTextVertAlign AVertAlign = tvaBase);
    void Execute(TGraphicAction Action, TPLContext& Context) override;

    MyAnsiString FText;
    int FFontIndex;
    TTextHorzAlign FHorzAlign;
    TTextVertAlign FVertAlign;
};

// Ordered objects, each holding one reference.
class TPLCollection : public TPLObject {
public:
    void Execute(TGraphicAction Action, TPLContext& Context) override;

    void Add(TPLRef<TPLObject> AObject);
    void Insert(int Index, TPLRef<TPLObject> AObject);
    // Drops the first occurrence of the object (nothing when absent).
    void Remove(const TPLObject* AObject);
    void Delete(int Index);
    void Clear() noexcept { FList.clear(); }
    int GetCount() const noexcept { return static_cast<int>(FList.size()); }
    TPLObject* GetItem(int Index) const;
    int IndexOf(const TPLObject* AObject) const noexcept;

private:
    void CheckIndex(const char* Op, int Index, int Limit) const;
    std::vector<TPLRef<TPLObject>> FList;
};

// Inner margins and the pens of the four lines around a box (pen index 0:
// no line).
class TPLBorder : public TPLObject {
public:
    void Execute(TGraphicAction, TPLContext&) override {}
    void Draw(TPLContext& Context, int X, int Y, int W, int H) const;
    void SetSpaces(int ALeft, int ARight, int ATop, int ABottom) noexcept;
    void SetLines(int ALeft, int ARight, int ATop, int ABottom) noexcept;

    int FLeftSpace = 0;
    int FRightSpace = 0;
    int FTopSpace = 0;
    int FBottomSpace = 0;
    int FLeftLine = 0;
    int FRightLine = 0;
    int FTopLine = 0;
    int FBottomLine = 0;
};

// A box that lays out and draws its items inside its client area (the frame
// less the border's spaces), clipped to it. A hidden box takes no part in
// layout or drawing.
class TPLClipBox : public TPLFrame {
public:
    TPLClipBox();
    void Execute(TGraphicAction Action, TPLContext& Context) override;
    virtual void ArrangeItems(TPLContext& Context) = 0;
    virtual void DrawItems(TPLContext& Context) = 0;
    virtual void Clear();

    int GetClientWidth() const noexcept;
    int GetClientHeight() const noexcept;
    void SetClientWidth(int Value) noexcept;
    void SetClientHeight(int Value) noexcept;
    // Creates an empty border on first use.
    TPLBorder& GetBorder();
    TPLBorder* Border() const noexcept { return FBorder.get(); }
    void SetBorder(TPLRef<TPLBorder> Value) noexcept { FBorder = std::move(Value); }
    bool GetVisible() const noexcept { return FVisible; }
    void SetVisible(bool Value) noexcept { FVisible = Value; }
    TPLCollection& Items() noexcept { return *FItems; }
    const TPLCollection& Items() const noexcept { return *FItems; }

    bool FAutoWidth = false;
    int FContentWidth = 0;
    bool FAutoHeight = false;
    int FContentHeight = 0;

protected:
    TPLRef<TPLCollection> FItems;

private:
    bool FVisible = true;
    TPLRef<TPLBorder> FBorder;
};

// Layout commands without data.
class TPLControl : public TPLObject {
public:
    void Execute(TGraphicAction, TPLContext&) override {}
};
class TPLHorzTab : public TPLControl {};
class TPLLineBreak : public TPLControl {};
class TPLPageBreak : public TPLControl {};

struct TPLTabListItem {
    int Position = 0; // from the client area's left edge
    TTextHorzAlign Alignment = thaLeft;
};

// Tab stops ascending by position, one per position, and the step of the
// automatic stops that follow them (0 or less: none).
class TPLTabList : public TPLObject {
public:
    void Execute(TGraphicAction, TPLContext&) override {}
    // Inserts in order, or updates the stop at that position.
    void Add(int Position, TTextHorzAlign Alignment);
    void Clear() noexcept { FList.clear(); }
    int Count() const noexcept { return static_cast<int>(FList.size()); }
    // Index := the first stop at or after the position (or Count); true when a
    // stop is exactly at it.
    bool Find(int Position, int& Index) const noexcept;
    int GetPosition(int Index) const;
    TTextHorzAlign GetAlignment(int Index) const;
    // The stop after Position: the next explicit one, else the next multiple
    // of the automatic step; without either Position stays. Alignment is the
    // stop's (thaLeft for automatic stops).
    void NextPosition(int& Position, TTextHorzAlign& Alignment) const noexcept;

    int FAutoTab = 0;

private:
    std::vector<TPLTabListItem> FList;
};

enum TPLItemKind { ikNone,
                   ikFrame,
                   ikTab,
                   ikLineBreak,
                   ikPageBreak,
                   ikHidden };

// The state of one layout run of a text box.
struct TTextBoxRenderData {
    TPLObject* CurrentItem = nullptr;
    TPLItemKind CurrentItemType = ikNone;
    int FirstIndex = 0;
    int LineHeight = 0;
    int BaseHeight = 0;
    int WorkIndex = 0;
    int WorkHorzPos = 0;
    int WorkVertPos = 0;
    int WorkSpace = 0;
    bool LineBreakRequest = false;
    bool PageBreakRequest = false;
    bool RepeatCurrentItem = false;
};

// A box of words, boxes, tabs and breaks flowed into lines within its client
// width; each line aligned by FHorzAlign, the lines stacked.
class TPLTextBox : public TPLClipBox {
public:
    TPLTextBox() = default;
    TPLTextBox(int ALeft, int ATop, int AWidth, int AHeight);
    static TPLRef<TPLTextBox> CreateWithValues(int ALeft, int ATop, int AWidth, int AHeight) {
        return MakePL<TPLTextBox>(ALeft, ATop, AWidth, AHeight);
    }

    void ArrangeItems(TPLContext& Context) override;
    void DrawItems(TPLContext& Context) override;
    void Clear() override;
    virtual void ClearPages() {}
    virtual void FinishPage(TTextBoxRenderData& Data);

    // One word in the box's font, aligned on the base line.
    void AddWord(const MyAnsiString& AText);
    // Splits a text into words, tabs and line breaks: blanks separate words;
    // TAB adds a tab, CR a line break; "\\" is a backslash, "\_" a blank
    // inside the word, "\n" a line break, "\t" a tab; other escapes are
    // dropped. Words are cut at 255 characters.
    void AddText(const MyAnsiString& AText);
    void AddFrame(TPLRef<TPLFrame> AFrame);
    void AddTabs(int ACount);
    void AddBreak();
    void NewPage();

    // Created on first use.
    TPLTabList& HorzTabs();
    TPLTabList* GetHorzTabs() const noexcept { return FHorzTabs.get(); }
    void SetHorzTabs(TPLRef<TPLTabList> Value) noexcept { FHorzTabs = std::move(Value); }

    int FFontIndex = 0;
    TTextHorzAlign FHorzAlign = thaLeft;

protected:
    void FinishLine(TTextBoxRenderData& Data);

private:
    TPLRef<TPLTabList> FHorzTabs;
};

// The items of one page of a flow box.
class TPLFlowPage : public TPLObject {
public:
    TPLFlowPage(const TPLCollection& AItems, int AFirst, int ALast) : FItems(&AItems), FFirst(AFirst), FLast(ALast) {}
    void Execute(TGraphicAction Action, TPLContext& Context) override;

    const TPLCollection* FItems;
    int FFirst;
    int FLast;
};

// A text box that cuts its lines into pages; it draws only the context's
// current page.
class TPLFlowBox : public TPLTextBox {
public:
    void DrawItems(TPLContext& Context) override;
    void Clear() override;
    void ClearPages() override { FPages.clear(); }
    void FinishPage(TTextBoxRenderData& Data) override;

    int GetPageCount() const noexcept { return static_cast<int>(FPages.size()); }
    const TPLFlowPage& GetPage(int Index) const;

private:
    std::vector<TPLRef<TPLFlowPage>> FPages;
};

// A table inside a text box: cells are text boxes appended to the parent row
// by row, a line break after each full row. Finish completes the last row and
// appends the table itself, which makes each row as tall as its tallest cell
// when the parent is laid out. The table refers to its parent without owning
// it: the parent must outlive the table's use.
class TPLTable : public TPLObject {
public:
    // AColCount columns of AColWidth each, at the end of the parent's items.
    static TPLRef<TPLTable> Create(TPLTextBox& Parent, int AColCount, int AColWidth) {
        return TPLRef<TPLTable>(new TPLTable(Parent, AColCount, AColWidth));
    }
    void Execute(TGraphicAction Action, TPLContext& Context) override;

    void SetColWidth(int Index, int Value);
    int GetColWidth(int Index) const;
    int GetColCount() const noexcept { return static_cast<int>(FCols.size()); }
    TPLBorder& GetDefaultBorder();
    void SetDefaultBorder(TPLRef<TPLBorder> Value) noexcept { FDefaultBorder = std::move(Value); }
    TPLTextBox& NextCell();
    void Finish();

    int GetRowCount() const noexcept { return FRowCount; }
    int GetCellCount() const noexcept { return static_cast<int>(FCells.size()); }
    TPLTextBox& GetCell(int Index) const;

    int FRowHeight = 0; // minimum row height
    int FFontIndex = 0; // font of new cells
    TPLTextBox* FCurrentCell = nullptr;

private:
    // Only counted references may hold a table: Finish hands one to the parent.
    TPLTable(TPLTextBox& Parent, int AColCount, int AColWidth);

    TPLRef<TPLBorder> FDefaultBorder;
    std::vector<int> FCols;
    int FRowCount = 0;
    TPLTextBox* FParent;
    std::vector<TPLRef<TPLTextBox>> FCells;
    bool FFinished = false;
};

// A document: fonts and pens by index, header and footer on every page, and
// the body cut into pages.
class TPLDocument : public TPLObject {
public:
    TPLDocument();
    void Execute(TGraphicAction Action, TPLContext& Context) override;

    // Appends a font (height in logical units) and returns its index.
    int CreateFont(const MyAnsiString& AName, int ASize, TFontStyles Styles);
    // Appends a pen (width in logical units) and returns its index.
    int CreatePen(int AWidth);
    // Removes font 0 (if any); the others move down and take their new index.
    void ClearFont();
    TPLFont& GetFont(int Index) const;
    TPLPen& GetPen(int Index) const;
    int GetFontCount() const noexcept { return FFonts->GetCount(); }
    int GetPenCount() const noexcept { return FPens->GetCount(); }
    int GetPageCount() const noexcept { return FBody->GetPageCount(); }
    TPLFlowBox& GetBodyTextBox() noexcept { return *FBody; }
    TPLFlowBox& GetBody() noexcept { return *FBody; }
    // Empties body, header, footer, fonts and pens.
    void Clear();

    TPLRef<TPLTextBox> FHeader;
    TPLRef<TPLTextBox> FFooter;
    int FWidth = 21000;
    int FHeight = 29700;
    int FHeaderHeight = 0;
    int FHeaderSpace = 800;
    int FFooterHeight = 0;
    int FFooterSpace = 800;
    int FTopBorder = 2000;
    int FBottomBorder = 2000;
    int FLeftBorder = 2000;
    int FRightBorder = 2000;
    int FAutoTabSize = 500;

private:
    TPLRef<TPLCollection> FFonts;
    TPLRef<TPLCollection> FPens;
    TPLRef<TPLFlowBox> FBody;
};

// The drawing context: maps the logical page onto a device rectangle of a
// canvas, lays a document out (Render) and draws its current page (Draw).
class TPLContext {
public:
    TPLContext();
    TPLContext(const TPLContext&) = delete;
    TPLContext& operator=(const TPLContext&) = delete;
    virtual ~TPLContext();

    // The context does not own the document.
    virtual void SetDocument(TPLDocument* Value);
    // Lays the document out: gaRender, then gaExtent from FInitLogOffs.
    virtual void Render();
    // Draws page FCurrentPageIndex of the body with header and footer.
    void Draw();

    // Logical page size and its corners; the device rectangle the page maps
    // to. A page or view of zero extent raises EPLError when the scale is
    // computed.
    void SetPage(TPoint Size, TPoint Min, TPoint Max);
    void SetView(TPoint P1, TPoint P2);
    void ComputeScale();

    int LcToDcX(int v) const noexcept;
    int LcToDcY(int v) const noexcept;
    int LsToDsX(int v) const noexcept;
    int LsToDsY(int v) const noexcept;
    int DsToLsX(int v) const noexcept;
    int DsToLsY(int v) const noexcept;
    TPoint ShiftLogicalOffset(int dx, int dy) noexcept;
    void RestoreLogicalOffset(TPoint Value) noexcept { FLogOffs = Value; }
    TPoint GetLogicalOffset() const noexcept { return FLogOffs; }

    // Drawing in logical coordinates on the canvas.
    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void Rectangle(int x1, int y1, int x2, int y2);
    void Ellipse(int x1, int y1, int x2, int y2);
    void TextOut(int x, int y, const MyAnsiString& AText);
    void SetFont(int Index);
    void SetPen(int Index);
    void SetPenDef(const TPenDef& APenDef);
    int GetTextWidth(const MyAnsiString& AText);
    TSize GetTextExtent(const MyAnsiString& AText);
    // Clips to the device rectangle of (x, y)..(dx, dy), one pixel added on
    // the right and bottom, within the clipping already in force; each
    // CancelClipping goes back to the clipping before the matching SetClipRect.
    void SetClipRect(int x, int y, int dx, int dy);
    void CancelClipping();
    void AdaptExtent(TPoint P) noexcept;
    TPLFont& GetFont(int Index) const;
    TPLPen& GetPen(int Index) const;

    // The canvas; raises EPLError when there is none.
    TPLCanvas& Canvas() const;
    TPoint GetScaleNum() const noexcept { return FScaleNum; }
    TPoint GetScaleDen() const noexcept { return FScaleDen; }
    TPoint GetDevOffs() const noexcept { return FDevOffs; }
    TPoint GetMinExt() const noexcept { return FMinExt; }
    TPoint GetMaxExt() const noexcept { return FMaxExt; }

    TPLDocument* FDocument = nullptr;
    TPLCanvas* FCanvas = nullptr;
    int FCurrentPageIndex = 0;
    TPoint FPageSize;
    TPoint FInitLogOffs;

private:
    TPLDocument& Document() const;

    TPoint FPageMin, FPageMax, FViewMin, FViewMax;
    TPoint FDevOffs, FLogOffs;
    TPoint FScaleNum{1, 1}, FScaleDen{1, 1};
    bool ScaleChanged = true;
    TPoint FMinExt, FMaxExt;
    std::vector<TRect> FClipStack;
};

} // namespace vo
