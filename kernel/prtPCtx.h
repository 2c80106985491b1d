#pragma once
// The printer context: the drawing context that sends a print document to a
// printer. It derives the logical page from the printer's physical page, opens
// and closes the print job and prints every page of the laid-out body.
//
// Use, in this order:
//   TPLPrintContext Ctx;                 // the current printer (SetPrinter)
//   Ctx.Setup(100);                      // one logical unit = 0.01 mm
//   Ctx.BeginPrint();                    // "already printing" while a job is open
//   TPLDocument Doc; Ctx.SetDocument(&Doc);
//   Doc.FWidth = Ctx.FPageSize.X; Doc.FHeight = Ctx.FPageSize.Y;
//   Ctx.Render();                        // fonts can be measured from here on
//   ... fonts (pen 0 of width 0 first), header, footer, body ...
//   Ctx.FinishPrint();                   // lays out, prints, ends the job
// A context destroyed with its job still open aborts the job.
#include "kernel/prtLib10.h"

namespace vo {

// What the page set-up needs of a printer, in device pixels unless named.
struct TPLDeviceCaps {
    int PhysicalWidth = 0; // the whole sheet
    int PhysicalHeight = 0;
    int PhysicalOffsetX = 0; // from the sheet's edge to the printable area
    int PhysicalOffsetY = 0;
    int HorzSize = 0; // printable area in millimetres
    int VertSize = 0;
    int HorzRes = 0; // printable area in pixels
    int VertRes = 0;
};

// A printer: its capabilities, the job sequence and its canvas, whose origin
// is the corner of the printable area. The canvas measures at any time and
// draws while a job is open.
class TPLPrinter {
public:
    TPLPrinter() = default;
    TPLPrinter(const TPLPrinter&) = delete;
    TPLPrinter& operator=(const TPLPrinter&) = delete;
    virtual ~TPLPrinter() = default;

    // Lets the user set up a job of that title (printer, copies, printing to
    // a file); false when cancelled. A printer without a dialog takes the
    // title and accepts.
    virtual bool PrintDialog(const MyAnsiString& ATitle) {
        FJobTitle = ATitle;
        return true;
    }
    const MyAnsiString& JobTitle() const noexcept { return FJobTitle; }

    virtual TPLDeviceCaps GetDeviceCaps() = 0;
    virtual void BeginDoc() = 0;
    virtual void NewPage() = 0;
    virtual void EndDoc() = 0;
    virtual void Abort() = 0;
    virtual bool Printing() const = 0;
    virtual TPLCanvas& Canvas() = 0;

protected:
    MyAnsiString FJobTitle;
};

// The current printer of the program (not owned); returns the previous one.
// The GUI installs it at start; contexts created without a printer use it.
TPLPrinter* SetPrinter(TPLPrinter* APrinter) noexcept;
// The current printer; raises EPLError when none is installed.
TPLPrinter& Printer();

class TPLPrintContext : public TPLContext {
public:
    // On the current printer, looked up when the context first needs it.
    TPLPrintContext() = default;
    explicit TPLPrintContext(TPLPrinter& APrinter) : FPrinter(&APrinter) {}
    ~TPLPrintContext() override;

    // Page and view from the printer: MS logical units per millimetre.
    void Setup(int MS);
    void BeginPrint();
    // Lays the document out and prints every page; only while a job is open.
    // An error on the way aborts the job and reaches the caller.
    void FinishPrint();
    void AbortPrint();
    // Takes the printer's canvas, then lays the document out.
    void Render() override;

    bool Printing() const noexcept { return FPrinting; }
    TPLPrinter& GetPrinter();

private:
    TPLPrinter* FPrinter = nullptr;
    bool FPrinting = false;
};

} // namespace vo
