#include "shell/gui/StartWarmUp.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImageReader>

#include <clocale>
#include <dlfcn.h>

namespace vo {

namespace {

// Reads the system's font configuration (its files and font caches), the
// larger part of Qt's first font lookup. The font configuration library is
// there when Qt's font database uses it; it is looked up rather than linked,
// so a Qt without it costs nothing. Qt's own call later finds it read or
// waits for it. The application object sets the program's locale meanwhile:
// the worker reads with a locale of its own thread, so numbers in the
// configuration files are read the same whatever the global locale is.
void ReadFontConfiguration() {
    using TFcInit = int (*)();
    auto init = reinterpret_cast<TFcInit>(::dlsym(RTLD_DEFAULT, "FcInit"));
    if (!init)
        return;
    locale_t c = ::newlocale(LC_ALL_MASK, "C", locale_t{});
    if (c)
        ::uselocale(c);
    (void)init();
    if (c) {
        ::uselocale(LC_GLOBAL_LOCALE);
        ::freelocale(c);
    }
}

} // namespace

TQtStartWarmUp::TQtStartWarmUp() : FFonts([this] { Fonts(); }) {}

TQtStartWarmUp::~TQtStartWarmUp() {
    Finish();
}

void TQtStartWarmUp::ApplicationReady() {
    {
        std::lock_guard lock(FLock);
        if (FApplicationReady || FFinishing)
            return;
        FApplicationReady = true;
    }
    FChanged.notify_all();
    FImages = std::thread([] { (void)QImageReader::supportedImageFormats(); });
}

void TQtStartWarmUp::WaitForFontConfiguration() {
    std::unique_lock lock(FLock);
    FChanged.wait(lock, [this] { return FFontConfigurationRead || !FFonts.joinable(); });
}

void TQtStartWarmUp::Finish() {
    {
        std::lock_guard lock(FLock);
        FFinishing = true;
    }
    FChanged.notify_all();
    if (FFonts.joinable())
        FFonts.join();
    if (FImages.joinable())
        FImages.join();
}

void TQtStartWarmUp::Fonts() {
    ReadFontConfiguration();
    {
        std::unique_lock lock(FLock);
        FFontConfigurationRead = true;
        FChanged.notify_all();
        FChanged.wait(lock, [this] { return FApplicationReady || FFinishing; });
        if (!FApplicationReady)
            return;
    }
    (void)QFontDatabase::families();
    // Measuring a text finds the application font's match and its fallbacks,
    // which Qt keeps for all threads; only the font's glyph cache is the
    // thread's own.
    (void)QFontMetrics(QGuiApplication::font()).horizontalAdvance(QStringLiteral("Project"));
}

} // namespace vo
