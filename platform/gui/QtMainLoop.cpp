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
            if (FInHandler)
                FResumeAfterStep = true; // taken up when the step returns
            else if (FHandler && !FIdle.isActive())
                FIdle.start();
        },
        Qt::QueuedConnection);
}

void TQtMainLoop::RunIdle() {
    if (FInHandler) {
        // A modal dialog opened from a step runs its own event loop: no
        // other step may run until the step that opened it has returned.
        FIdle.stop();
        FResumeAfterStep = true;
        return;
    }
    bool done = true;
    if (FHandler) {
        FIdleCalls.fetch_add(1);
        FInHandler = true;
        try {
            FHandler(done);
        } catch (...) {
            FInHandler = false;
            throw;
        }
        FInHandler = false;
    }
    if (FResumeAfterStep) {
        FResumeAfterStep = false;
        done = false; // wake-ups came while the step ran
    }
    if (done)
        FIdle.stop(); // sleep until the next wake-up
    else if (!FIdle.isActive())
        FIdle.start();
}

} // namespace vo
