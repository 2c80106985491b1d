#include "shell/gui/StartWarmUp.h"

#include <QFontDatabase>
#include <QImageReader>

namespace vo {

TQtStartWarmUp::TQtStartWarmUp()
    : FWorker([] {
          (void)QFontDatabase::families();
          (void)QImageReader::supportedImageFormats();
      }) {}

TQtStartWarmUp::~TQtStartWarmUp() {
    if (FWorker.joinable())
        FWorker.join();
}

} // namespace vo
