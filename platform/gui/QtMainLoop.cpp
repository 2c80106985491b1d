#include "platform/gui/QtMainLoop.h"

namespace vo {

TQtMainLoop::TQtMainLoop(QObject* Parent) : QObject(Parent) {
    FIdle.setInterval(0);
    QObject::connect(&FIdle, &QTimer::timeout, this, [this] { RunIdle(); });
}

TQtMainLoop::~TQtMainLoop() {
    FIdle.stop();
}

void TQtMainLoop::SetIdleHandler(TIdleHandler Handler) {
    FHandler = std::move(Handler);
    if (FHandler)
        FIdle.start(); // look once: work may be ready already
    else
        FIdle.stop();
}

void TQtMainLoop::PostWakeUp() {
    if (FWakeUpQueued.exchange(true))
        return; // one queued wake-up is enough
    QMetaObject::invokeMethod(
        this,
        [this] {
            FWakeUpQueued.store(false);
            if (FHandler && !FIdle.isActive())
                FIdle.start();
        },
        Qt::QueuedConnection);
}

void TQtMainLoop::RunIdle() {
    bool done = true;
    if (FHandler) {
        FIdleCalls.fetch_add(1);
        FHandler(done);
    }
    if (done)
        FIdle.stop(); // sleep until the next wake-up
}

} // namespace vo
