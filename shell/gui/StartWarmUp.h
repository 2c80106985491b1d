#pragma once
// Start-up work of Qt that the first window waits for but that needs nothing
// of the program: the font database (the system's font configuration and font
// list) and the image-format plug-ins (the style's icons are read through
// them). A worker thread does it while the program builds its model, so the
// window finds both ready. Qt guards both with locks of its own: a window that
// comes first waits for the worker.
#include <thread>

namespace vo {

class TQtStartWarmUp {
public:
    // Starts the worker; the application object must exist.
    TQtStartWarmUp();
    // Waits for the worker.
    ~TQtStartWarmUp();
    TQtStartWarmUp(const TQtStartWarmUp&) = delete;
    TQtStartWarmUp& operator=(const TQtStartWarmUp&) = delete;

private:
    std::thread FWorker;
};

} // namespace vo
