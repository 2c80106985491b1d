#pragma once
// Start-up work of Qt that the first window waits for but that needs nothing
// of the program: the system's font configuration, the font database (the
// font list), the match of the application font and the image-format
// plug-ins (the style's icons are read through them). Two worker threads do
// it while the program builds its model, one for the fonts and one for the
// plug-ins, so the window finds all of it ready. Reading the font
// configuration needs no application object: the fonts' worker begins with it
// while the application object is being made. Qt guards its font database
// and plug-ins with locks of its own: a window that comes first waits for the
// worker there. The font configuration does not: a second reader would read
// all of it once more (as long again, on a busy machine), so the first
// window waits for the worker's reading (WaitForFontConfiguration).
#include <condition_variable>
#include <mutex>
#include <thread>

namespace vo {

class TQtStartWarmUp {
public:
    // Starts the fonts' worker; made before the application object.
    TQtStartWarmUp();
    // Finish.
    ~TQtStartWarmUp();
    TQtStartWarmUp(const TQtStartWarmUp&) = delete;
    TQtStartWarmUp& operator=(const TQtStartWarmUp&) = delete;

    // The application object exists: the fonts' worker goes on with the font
    // database and the application font, a second worker reads the image
    // plug-ins. Without this call the fonts' worker ends after the font
    // configuration.
    void ApplicationReady();
    // Returns when the font configuration has been read (at once when the
    // worker was never started or has ended). Called before the first
    // window, whose first text needs it.
    void WaitForFontConfiguration();
    // Waits for the workers; called before the application object goes.
    void Finish();

private:
    void Fonts();

    std::mutex FLock;
    std::condition_variable FChanged;
    bool FApplicationReady = false;
    bool FFinishing = false;
    bool FFontConfigurationRead = false;
    std::thread FImages;
    std::thread FFonts; // last: starts when the rest is made
};

} // namespace vo
