#include "kernel/gui/prtQtPrinter.h"

#include <QFile>
#include <QMarginsF>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>

#include "kernel/gui/QtText.h"

#include <cmath>
#include <string>

namespace vo {

namespace {

int Round(double v) { return static_cast<int>(std::lround(v)); }

// Capabilities from the sheet and the printable area in device pixels, and
// the printable area in millimetres.
TPLDeviceCaps Caps(const QRect& Paper, const QRect& Page, const QRectF& PageMM) {
    TPLDeviceCaps c;
    c.PhysicalWidth = Paper.width();
    c.PhysicalHeight = Paper.height();
    c.PhysicalOffsetX = Page.left() - Paper.left();
    c.PhysicalOffsetY = Page.top() - Paper.top();
    c.HorzSize = Round(PageMM.width());
    c.VertSize = Round(PageMM.height());
    c.HorzRes = Page.width();
    c.VertRes = Page.height();
    return c;
}

} // namespace

// --- TPLQtPaintPrinter ------------------------------------------------------

TPLQtPaintPrinter::~TPLQtPaintPrinter() { StopPainting(); }

void TPLQtPaintPrinter::StartPainting(QPagedPaintDevice& Device, const char* Who) {
    if (FPainter) throw EPLError(std::string(Who) + ".BeginDoc: printing in progress");
    auto painter = std::make_unique<QPainter>();
    if (!painter->begin(&Device)) throw EPLError(std::string(Who) + ".BeginDoc: the printer cannot start a job");
    FPainter = std::move(painter);
    FCanvas.SetDevice(&Device);
    FCanvas.Begin(*FPainter);
}

void TPLQtPaintPrinter::NextPage(QPagedPaintDevice& Device, const char* Who) {
    if (!FPainter) throw EPLError(std::string(Who) + ".NewPage: printer is not printing");
    if (!Device.newPage()) throw EPLError(std::string(Who) + ".NewPage: the printer cannot start a new page");
}

bool TPLQtPaintPrinter::StopPainting() noexcept {
    FCanvas.End();
    if (!FPainter) return true;
    const bool ok = FPainter->end();
    FPainter.reset();
    return ok;
}

// --- TPLQtPrinter -----------------------------------------------------------

bool TPLQtPrinter::PrintDialog(const MyAnsiString& ATitle) {
    FJobTitle = ATitle;
    FPrinter->setDocName(ToQt(ATitle));
    QPrintDialog dialog(FPrinter.get());
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    return dialog.exec() == QDialog::Accepted;
}

TPLQtPrinter::TPLQtPrinter() : FPrinter(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    FCanvas.SetDevice(FPrinter.get());
}

TPLQtPrinter::~TPLQtPrinter() {
    if (Printing()) {
        FPrinter->abort();
        StopPainting();
    }
}

TPLDeviceCaps TPLQtPrinter::GetDeviceCaps() {
    return Caps(FPrinter->paperRect(QPrinter::DevicePixel).toRect(), FPrinter->pageRect(QPrinter::DevicePixel).toRect(),
                FPrinter->pageRect(QPrinter::Millimeter));
}

void TPLQtPrinter::BeginDoc() { StartPainting(*FPrinter, "TPLQtPrinter"); }

void TPLQtPrinter::NewPage() { NextPage(*FPrinter, "TPLQtPrinter"); }

void TPLQtPrinter::EndDoc() {
    if (!Printing()) throw EPLError("TPLQtPrinter.EndDoc: printer is not printing");
    if (!StopPainting() || FPrinter->printerState() == QPrinter::Error)
        throw EPLError("TPLQtPrinter.EndDoc: the printer reported an error");
    FCanvas.SetDevice(FPrinter.get());
}

void TPLQtPrinter::Abort() {
    if (!Printing()) return;
    FPrinter->abort();
    StopPainting();
    FCanvas.SetDevice(FPrinter.get());
}

// --- TPLPdfPrinter ----------------------------------------------------------

QPageLayout TPLPdfPrinter::DefaultLayout() {
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(5, 5, 5, 5), QPageLayout::Millimeter);
}

TPLPdfPrinter::TPLPdfPrinter(const QString& AFileName, int AResolution, const QPageLayout& ALayout)
    : FFileName(AFileName), FResolution(AResolution), FLayout(ALayout) {
    NewWriter();
}

TPLPdfPrinter::~TPLPdfPrinter() { Abort(); }

void TPLPdfPrinter::NewWriter() {
    FCanvas.SetDevice(nullptr);
    FWriter = std::make_unique<QPdfWriter>(FFileName);
    FWriter->setResolution(FResolution);
    FWriter->setPageLayout(FLayout);
    FWriter->setCreator(QStringLiteral("Velkor-Ovra"));
    FCanvas.SetDevice(FWriter.get());
}

TPLDeviceCaps TPLPdfPrinter::GetDeviceCaps() {
    return Caps(FLayout.fullRectPixels(FResolution), FLayout.paintRectPixels(FResolution),
                FLayout.paintRect(QPageLayout::Millimeter));
}

void TPLPdfPrinter::BeginDoc() {
    if (Printing()) throw EPLError("TPLPdfPrinter.BeginDoc: printing in progress");
    // One writer per job, on the file name of now; the file is written when
    // the painter ends.
    NewWriter();
    StartPainting(*FWriter, "TPLPdfPrinter");
}

void TPLPdfPrinter::NewPage() { NextPage(*FWriter, "TPLPdfPrinter"); }

void TPLPdfPrinter::EndDoc() {
    if (!Printing()) throw EPLError("TPLPdfPrinter.EndDoc: printer is not printing");
    const bool ok = StopPainting();
    NewWriter(); // closes the file
    if (!ok) throw EPLError("TPLPdfPrinter.EndDoc: cannot write '" + FFileName.toStdString() + "'");
}

void TPLPdfPrinter::Abort() {
    if (!Printing()) return;
    StopPainting();
    NewWriter();
    QFile::remove(FFileName);
}

} // namespace vo
