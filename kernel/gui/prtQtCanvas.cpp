#include "kernel/gui/prtQtCanvas.h"

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QString>

#include <algorithm>

#include "platform/Cp1252.h"

namespace vo {

namespace {

QString ToQt(const MyAnsiString& Text) { return QString::fromStdString(Cp1252ToUtf8(Text)); }

Qt::PenStyle QtPenStyle(std::uint8_t Style) {
    switch (Style) {
    case psDash: return Qt::DashLine;
    case psDot: return Qt::DotLine;
    case psDashDot: return Qt::DashDotLine;
    case psDashDotDot: return Qt::DashDotDotLine;
    case psClear: return Qt::NoPen;
    default: return Qt::SolidLine;
    }
}

} // namespace

TPLQtCanvas::TPLQtCanvas(QPaintDevice* ADevice) : FDevice(ADevice) {}

TPLQtCanvas::~TPLQtCanvas() = default;

void TPLQtCanvas::SetDevice(QPaintDevice* ADevice) {
    FDevice = ADevice;
    FMetrics.reset();
}

void TPLQtCanvas::Begin(QPainter& APainter) {
    FPainter = &APainter;
    if (FFontSet) FPainter->setFont(FFont);
    FPainter->setBrush(Qt::NoBrush);
    ApplyPen();
}

void TPLQtCanvas::End() noexcept { FPainter = nullptr; }

QFont TPLQtCanvas::MakeFont(const TPLFontDef& Def) {
    QFont f(ToQt(Def.Name));
    if (Def.Size > 0)
        f.setPointSize(Def.Size);
    else
        f.setPixelSize(std::max(1, Def.Height));
    f.setBold(Def.Styles.Contains(fsBold));
    f.setItalic(Def.Styles.Contains(fsItalic));
    f.setUnderline(Def.Styles.Contains(fsUnderline));
    f.setStrikeOut(Def.Styles.Contains(fsStrikeOut));
    return f;
}

void TPLQtCanvas::SetFont(const TPLFontDef& Font) {
    if (FFontSet && Font == FFontDef && FMetrics) return;
    FFontDef = Font;
    FFontSet = true;
    FFont = MakeFont(Font);
    FMetrics.reset();
    if (FPainter) FPainter->setFont(FFont);
}

const QFontMetrics& TPLQtCanvas::Metrics() {
    if (!FFontSet) SetFont(FFontDef);
    if (!FMetrics) {
        if (FDevice)
            FMetrics.emplace(FFont, FDevice);
        else
            FMetrics.emplace(FFont);
    }
    return *FMetrics;
}

TPLTextMetrics TPLQtCanvas::GetTextMetrics() {
    const QFontMetrics& fm = Metrics();
    TPLTextMetrics m;
    m.Ascent = fm.ascent();
    m.Descent = fm.descent();
    m.Height = m.Ascent + m.Descent;
    const int em = FFontDef.Size > 0 ? MulDiv(FFontDef.Size, PixelsPerInchY(), 72) : std::max(1, FFontDef.Height);
    m.InternalLeading = std::max(0, m.Height - em);
    m.ExternalLeading = fm.leading();
    m.AveCharWidth = fm.averageCharWidth();
    return m;
}

TSize TPLQtCanvas::TextExtent(const MyAnsiString& Text) {
    const QFontMetrics& fm = Metrics();
    return {fm.horizontalAdvance(ToQt(Text)), fm.ascent() + fm.descent()};
}

void TPLQtCanvas::TextOut(int X, int Y, const MyAnsiString& Text) {
    if (!FPainter) return;
    const QFontMetrics& fm = Metrics();
    FPainter->drawText(QPoint(X, Y + fm.ascent()), ToQt(Text));
}

void TPLQtCanvas::SetPen(const TPenDef& Pen) {
    FPenDef = Pen;
    ApplyPen();
}

void TPLQtCanvas::ApplyPen() {
    if (!FPainter) return;
    const QColor color(static_cast<int>(FPenDef.Color & 0xFF), static_cast<int>((FPenDef.Color >> 8) & 0xFF),
                       static_cast<int>((FPenDef.Color >> 16) & 0xFF));
    QPen pen(color);
    pen.setWidth(std::max(0, FPenDef.Width));
    pen.setStyle(QtPenStyle(FPenDef.Style));
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    switch (FPenDef.Mode) {
    case pmBlack: pen.setColor(Qt::black); break;
    case pmWhite: pen.setColor(Qt::white); break;
    case pmNop: pen.setStyle(Qt::NoPen); break;
    case pmXor: mode = QPainter::RasterOp_SourceXorDestination; break;
    case pmNotXor: mode = QPainter::RasterOp_NotSourceXorDestination; break;
    case pmNot: mode = QPainter::RasterOp_NotDestination; break;
    default: break;
    }
    const QPaintEngine* engine = FPainter->paintEngine();
    if (mode == QPainter::CompositionMode_SourceOver ||
        (engine && engine->hasFeature(QPaintEngine::RasterOpModes)))
        FPainter->setCompositionMode(mode);
    FPainter->setPen(pen);
}

void TPLQtCanvas::MoveTo(int X, int Y) { FPos = QPoint(X, Y); }

void TPLQtCanvas::LineTo(int X, int Y) {
    const QPoint to(X, Y);
    if (FPainter) FPainter->drawLine(FPos, to);
    FPos = to;
}

void TPLQtCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
    if (FPainter) FPainter->drawRect(QRect(QPoint(X1, Y1), QPoint(X2 - 1, Y2 - 1)));
}

void TPLQtCanvas::Ellipse(int X1, int Y1, int X2, int Y2) {
    if (FPainter) FPainter->drawEllipse(QRect(QPoint(X1, Y1), QPoint(X2 - 1, Y2 - 1)));
}

void TPLQtCanvas::SetClipRect(const TRect& R) {
    if (FPainter) FPainter->setClipRect(QRect(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top));
}

void TPLQtCanvas::CancelClipping() {
    if (FPainter) FPainter->setClipping(false);
}

int TPLQtCanvas::PixelsPerInchX() const { return FDevice ? FDevice->logicalDpiX() : 96; }
int TPLQtCanvas::PixelsPerInchY() const { return FDevice ? FDevice->logicalDpiY() : 96; }

} // namespace vo
