// Linked into the programs the start-up benchmark runs: when the variable
// VO_START_REPORT_FD names a pipe, the moment the first main window is
// exposed (steady clock, the same in every process) is written to it and the
// process ends at once. Nothing else of the program changes.
#include <QCoreApplication>
#include <QEvent>
#include <QApplication>
#include <QMainWindow>
#include <QWidget>
#include <QWindow>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {

class TExposeProbe : public QObject {
public:
    explicit TExposeProbe(int Fd) : FFd(Fd) {}

    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() != QEvent::Expose)
            return false;
        auto* window = qobject_cast<QWindow*>(Watched);
        if (!window || !window->isExposed())
            return false;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->windowHandle() == window && qobject_cast<QMainWindow*>(w)) {
                const int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
                const bool written = ::write(FFd, &now, sizeof now) == static_cast<ssize_t>(sizeof now);
                ::_exit(written ? 0 : 3);
            }
        return false;
    }

private:
    int FFd;
};

void InstallExposeProbe() {
    const char* fd = std::getenv("VO_START_REPORT_FD");
    if (!fd || !*fd)
        return;
    QCoreApplication::instance()->installEventFilter(new TExposeProbe(std::atoi(fd)));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallExposeProbe)
