#include "storagelib/AutoReleaseTask.h"

#include "storagelib/SL20Pool.h"

namespace vo {

TAutoReleaseTask::TAutoReleaseTask(int32_t Interval) : TMxTask("AutoReleaseTask"), FInterval(Interval) {
    SetOnExecute([this](TMxTask&) { Step(); });
}

TAutoReleaseTask::TAutoReleaseTask(TMxScheduler& Scheduler, int32_t Interval)
    : TMxTask(Scheduler, "AutoReleaseTask"), FInterval(Interval) {
    SetOnExecute([this](TMxTask&) { Step(); });
}

void TAutoReleaseTask::Step() {
    // The sleep is registered first and takes effect when the step returns, so
    // a failing purge (logged by the kernel) does not end the cycle.
    Sleep(FInterval);
    ++FPurgeCount;
    PurgeAutoReleasePool();
    // Memory of values freed a while ago goes back to the system.
    TSLSmallPool::Trim();
}

} // namespace vo
