#pragma once
// A canvas with fixed metrics that records every call, and a printer that
// prints onto one: layout and printing tests do not depend on the fonts of
// the machine.
#include "kernel/prtLib10.h"
#include "kernel/prtPCtx.h"

#include <map>
#include <string>
#include <vector>

namespace vo::test {

// Every character is CharWidth pixels wide; a text's cell is Ascent + Descent
// high. The metrics do not depend on the size of the font; fonts of a name in
// ByFont use their own.
class TRecordingCanvas : public TPLCanvas {
public:
    struct Metrics {
        int CharWidth = 50;
        int Ascent = 80;
        int Descent = 20;
        int InternalLeading = 10;
    };
    struct Text {
        int X, Y;
        std::string Str;
        TPLFontDef Font;
        int Page; // the printer's page (0 first)
        bool Clipped; // a clip rectangle was in force
        TRect Clip;
    };

    void SetFont(const TPLFontDef& Font) override;
    TPLTextMetrics GetTextMetrics() override;
    TSize TextExtent(const MyAnsiString& Str) override;
    void TextOut(int X, int Y, const MyAnsiString& Str) override;
    void SetPen(const TPenDef& Pen) override;
    void MoveTo(int X, int Y) override;
    void LineTo(int X, int Y) override;
    void Rectangle(int X1, int Y1, int X2, int Y2) override;
    void Ellipse(int X1, int Y1, int X2, int Y2) override;
    void SetClipRect(const TRect& Rect) override;
    void CancelClipping() override;
    int PixelsPerInchX() const override { return PpiX; }
    int PixelsPerInchY() const override { return PpiY; }

    // The recorded calls as lines ("TextOut 10,20 word", "LineTo 5,6", ...)
    // without the text measuring calls.
    std::vector<std::string> Calls;
    std::vector<Text> Texts;
    std::vector<std::string> TextsOnPage(int Page) const;
    // Calls whose line starts with Prefix.
    std::vector<std::string> CallsStartingWith(const std::string& Prefix) const;

    Metrics Default;
    std::map<std::string, Metrics> ByFont;
    int PpiX = 600, PpiY = 600;
    bool Recording = true; // off: nothing is kept (benchmarks)
    int FailAtTextOut = -1; // raise EPLError at this TextOut (0 first)
    int Page = 0;
    TPLFontDef Font;
    TPenDef Pen;

private:
    const Metrics& Current() const;
    void Record(std::string Line);
    bool FClipped = false;
    TRect FClip;
    int FTextOuts = 0;
};

// A4 at 600 pixels per inch with 4 mm unprintable margins: its page events
// ("BeginDoc", "NewPage", "EndDoc", "Abort") go to Events and, in order with
// the drawing, to the canvas's Calls.
class TFakePrinter : public TPLPrinter {
public:
    TFakePrinter();
    TPLDeviceCaps GetDeviceCaps() override { return Caps; }
    void BeginDoc() override;
    void NewPage() override;
    void EndDoc() override;
    void Abort() override;
    bool Printing() const override { return FPrinting; }
    TPLCanvas& Canvas() override { return Paper; }

    // The pages of the last finished job (0 when it was aborted or is open).
    int PrintedPages() const { return FPrinted; }

    TPLDeviceCaps Caps;
    TRecordingCanvas Paper;
    std::vector<std::string> Events;

private:
    void Event(const std::string& Name);
    bool FPrinting = false;
    int FPrinted = 0;
};

// The start of every printout: the document on the context at the
// context's page size, measured once, and pen 0 of width 0.
void StartPrintout(TPLPrintContext& Ctx, TPLDocument& Doc);

// Sample body content for benchmarks: a heading in Bold, Lines parameter
// lines with tabs and a 3 x 3 table (a bold header row, lines of pen Pen).
void AddSampleContent(TPLDocument& Doc, int Font, int Bold, int Pen, int Index, int Lines);

// Installs a printer as the current one for the lifetime of the object.
class ScopedPrinter {
public:
    explicit ScopedPrinter(TPLPrinter& P) : FOld(SetPrinter(&P)) {}
    ~ScopedPrinter() { SetPrinter(FOld); }
    ScopedPrinter(const ScopedPrinter&) = delete;
    ScopedPrinter& operator=(const ScopedPrinter&) = delete;

private:
    TPLPrinter* FOld;
};

} // namespace vo::test
