#pragma once
// Start-up work of Qt that the first window waits for but that needs nothing
// of the program: the font database (the system's font configuration and font
// list), the match of the application font and the image-format plug-ins (the
// style's icons are read through them). Two worker threads do it while the
// program builds its model, one for the fonts and one for the plug-ins, so
// the window finds all of it ready. Qt guards each with locks of its own: a
// window that comes first waits for the worker.
#include <thread>

namespace vo {

class TQtStartWarmUp {
public:
    // Starts the workers; the application object must exist.
    TQtStartWarmUp();
    // Waits for the workers.
    ~TQtStartWarmUp();
    TQtStartWarmUp(const TQtStartWarmUp&) = delete;
    TQtStartWarmUp& operator=(const TQtStartWarmUp&) = delete;

private:
    std::thread FFonts;
    std::thread FImages;
};

} // namespace vo
