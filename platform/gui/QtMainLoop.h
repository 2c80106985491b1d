#pragma once
// The main loop on Qt: the idle handler runs from the Qt event loop whenever
// it has no other events to process (a zero-interval timer, active while the
// handler reports more work), and PostWakeUp from any thread queues an event
// that restarts it. The handler is never entered again while it runs: a modal
// dialog opened from a scheduler step spins an event loop of its own, in which
// no other step runs; the loop resumes when that step has returned.
#include "platform/MainLoop.h"

#include <QObject>
#include <QTimer>

#include <atomic>

namespace vo {

class TQtMainLoop : public QObject, public TMainLoop {
public:
    // Create on the GUI thread, after the application object.
    explicit TQtMainLoop(QObject* Parent = nullptr);
    ~TQtMainLoop() override;

    void SetIdleHandler(TIdleHandler Handler) override;
    void PostWakeUp() override;

    // Idle calls made so far (diagnostics and tests).
    uint64_t IdleCalls() const { return FIdleCalls.load(); }

private:
    void RunIdle();

    QTimer FIdle;
    TIdleHandler FHandler;
    std::atomic<bool> FWakeUpQueued{false};
    std::atomic<uint64_t> FIdleCalls{0};
    bool FInHandler = false; // GUI thread only
    bool FResumeAfterStep = false;
};

} // namespace vo
