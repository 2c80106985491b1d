#pragma once
// Printers of the print library on Qt PrintSupport: the platform printer
// (QPrinter, set up by the caller or a print dialog, PDF output included) and
// a PDF file writer (QPdfWriter). The canvas's origin is the corner of the
// printable area.
#include <QPageLayout>
#include <QString>

#include <memory>

#include "kernel/gui/prtQtCanvas.h"
#include "kernel/prtPCtx.h"

class QPainter;
class QPagedPaintDevice;
class QPdfWriter;
class QPrinter;

namespace vo {

// The painting part shared by the Qt printers.
class TPLQtPaintPrinter : public TPLPrinter {
public:
    ~TPLQtPaintPrinter() override;
    bool Printing() const override { return FPainter != nullptr; }
    TPLCanvas& Canvas() override { return FCanvas; }
    TPLQtCanvas& QtCanvas() noexcept { return FCanvas; }

protected:
    // Starts a painter on the device; raises EPLError (Who) when it cannot.
    void StartPainting(QPagedPaintDevice& Device, const char* Who);
    void NextPage(QPagedPaintDevice& Device, const char* Who);
    // Ends the painter; false when the device reports a failure.
    bool StopPainting() noexcept;

    TPLQtCanvas FCanvas;
    std::unique_ptr<QPainter> FPainter;
};

// The platform printer. Callers may set it up (printer name, paper, copies,
// a print dialog, or PDF output to a file) through Device().
class TPLQtPrinter : public TPLQtPaintPrinter {
public:
    TPLQtPrinter();
    ~TPLQtPrinter() override;
    QPrinter& Device() noexcept { return *FPrinter; }

    // The platform's print dialog (printing to a PDF file offered).
    bool PrintDialog(const MyAnsiString& ATitle) override;

    TPLDeviceCaps GetDeviceCaps() override;
    void BeginDoc() override;
    void NewPage() override;
    void EndDoc() override;
    void Abort() override;

private:
    std::unique_ptr<QPrinter> FPrinter;
};

// Prints into a PDF file: one job per file, written when the job ends; an
// aborted job leaves no file.
class TPLPdfPrinter : public TPLQtPaintPrinter {
public:
    // A4 portrait with 5 mm margins.
    static QPageLayout DefaultLayout();
    explicit TPLPdfPrinter(const QString& AFileName, int AResolution = 600,
                           const QPageLayout& ALayout = DefaultLayout());
    ~TPLPdfPrinter() override;

    const QString& FileName() const noexcept { return FFileName; }
    void SetFileName(const QString& Value) { FFileName = Value; }

    TPLDeviceCaps GetDeviceCaps() override;
    void BeginDoc() override;
    void NewPage() override;
    void EndDoc() override;
    void Abort() override;

private:
    void NewWriter();

    QString FFileName;
    int FResolution;
    QPageLayout FLayout;
    std::unique_ptr<QPdfWriter> FWriter;
};

} // namespace vo
