#pragma once
// The print library's canvas on a Qt paint device: it measures with the
// device's font metrics at any time and draws through a painter while one is
// attached. Texts arrive in code page 1252 and are converted here.
#include <QFont>
#include <QFontMetrics>
#include <QPen>
#include <QPoint>

#include <optional>

#include "kernel/prtLib10.h"

class QPainter;
class QPaintDevice;

namespace vo {

class TPLQtCanvas : public TPLCanvas {
public:
    explicit TPLQtCanvas(QPaintDevice* ADevice = nullptr);
    ~TPLQtCanvas() override;

    // The device that fonts are measured for (and whose resolution counts).
    void SetDevice(QPaintDevice* ADevice);
    QPaintDevice* Device() const noexcept { return FDevice; }
    // Draws through the painter (active on the device) until End.
    void Begin(QPainter& APainter);
    void End() noexcept;
    QPainter* Painter() const noexcept { return FPainter; }
    // The Qt font of the last SetFont.
    const QFont& CurrentFont() const noexcept { return FFont; }

    void SetFont(const TPLFontDef& Font) override;
    TPLTextMetrics GetTextMetrics() override;
    TSize TextExtent(const MyAnsiString& Text) override;
    void TextOut(int X, int Y, const MyAnsiString& Text) override;
    void SetPen(const TPenDef& Pen) override;
    void MoveTo(int X, int Y) override;
    void LineTo(int X, int Y) override;
    void Rectangle(int X1, int Y1, int X2, int Y2) override;
    void Ellipse(int X1, int Y1, int X2, int Y2) override;
    void SetClipRect(const TRect& Rect) override;
    void CancelClipping() override;
    int PixelsPerInchX() const override;
    int PixelsPerInchY() const override;

    // The Qt font for a platform font (points resolve on the device).
    static QFont MakeFont(const TPLFontDef& Font);

private:
    const QFontMetrics& Metrics();
    void ApplyPen();

    QPaintDevice* FDevice;
    QPainter* FPainter = nullptr;
    TPLFontDef FFontDef;
    bool FFontSet = false;
    QFont FFont;
    std::optional<QFontMetrics> FMetrics;
    TPenDef FPenDef;
    QPoint FPos;
};

} // namespace vo
