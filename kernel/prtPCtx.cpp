#include "kernel/prtPCtx.h"

#include <cmath>
#include <string>

namespace vo {

namespace {
TPLPrinter* CurrentPrinter = nullptr;
}

TPLPrinter* SetPrinter(TPLPrinter* APrinter) noexcept {
    TPLPrinter* old = CurrentPrinter;
    CurrentPrinter = APrinter;
    return old;
}

TPLPrinter& Printer() {
    if (!CurrentPrinter) throw EPLError("Printer: no printer is installed");
    return *CurrentPrinter;
}

TPLPrintContext::~TPLPrintContext() {
    if (FPrinting) {
        try {
            GetPrinter().Abort();
        } catch (...) {
        }
    }
}

TPLPrinter& TPLPrintContext::GetPrinter() {
    if (!FPrinter) FPrinter = &Printer();
    return *FPrinter;
}

void TPLPrintContext::Setup(int MS) {
    const TPLDeviceCaps c = GetPrinter().GetDeviceCaps();
    if (MS <= 0) throw EPLError("TPLPrintContext.Setup: " + std::to_string(MS) + " units per millimetre");
    if (c.HorzSize <= 0 || c.VertSize <= 0 || c.HorzRes <= 0 || c.VertRes <= 0 || c.PhysicalWidth <= 0 ||
        c.PhysicalHeight <= 0)
        throw EPLError("TPLPrintContext.Setup: the printer reports a page without extent");
    const double ppuX = static_cast<double>(c.HorzRes) / c.HorzSize / MS;
    const double ppuY = static_cast<double>(c.VertRes) / c.VertSize / MS;
    const TPoint size{static_cast<int>(std::nearbyint(c.PhysicalWidth / ppuX)),
                      static_cast<int>(std::nearbyint(c.PhysicalHeight / ppuY))};
    SetPage(size, {0, 0}, size);
    SetView({-c.PhysicalOffsetX, -c.PhysicalOffsetY},
            {c.PhysicalWidth - c.PhysicalOffsetX, c.PhysicalHeight - c.PhysicalOffsetY});
    ComputeScale();
}

void TPLPrintContext::BeginPrint() {
    if (FPrinting) throw EPLError("already printing");
    TPLPrinter& printer = GetPrinter();
    printer.BeginDoc();
    FCanvas = &printer.Canvas();
    FPrinting = true;
}

void TPLPrintContext::Render() {
    FCanvas = &GetPrinter().Canvas();
    TPLContext::Render();
}

void TPLPrintContext::FinishPrint() {
    if (!FPrinting) return;
    FPrinting = false;
    TPLPrinter& printer = GetPrinter();
    try {
        Render();
        const int pages = FDocument ? FDocument->GetPageCount() : 0;
        for (int i = 0; i < pages; ++i) {
            FCurrentPageIndex = i;
            Draw();
            if (i < pages - 1) printer.NewPage();
        }
        printer.EndDoc();
    } catch (...) {
        try {
            printer.Abort();
        } catch (...) {
        }
        throw;
    }
}

void TPLPrintContext::AbortPrint() {
    if (FPrinting) {
        FPrinting = false;
        GetPrinter().Abort();
    }
}

} // namespace vo
