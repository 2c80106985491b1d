#include "shell/gui/StartWarmUp.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImageReader>

namespace vo {

TQtStartWarmUp::TQtStartWarmUp()
    : FFonts([] {
          (void)QFontDatabase::families();
          // Measuring a text finds the application font's match and its
          // fallbacks, which Qt keeps for all threads; only the font's glyph
          // cache is the thread's own.
          (void)QFontMetrics(QGuiApplication::font()).horizontalAdvance(QStringLiteral("Project"));
      }),
      FImages([] { (void)QImageReader::supportedImageFormats(); }) {}

TQtStartWarmUp::~TQtStartWarmUp() {
    FFonts.join();
    FImages.join();
}

} // namespace vo
