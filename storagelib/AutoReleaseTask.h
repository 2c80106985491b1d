#pragma once
// "AutoReleaseTask": the main-scheduler task that empties the autorelease pool
// once a second for as long as the program runs.
#include <cstdint>

#include "kernel/MxTLib20.h"
#include "storagelib/RefObj.h"

namespace vo {

class TAutoReleaseTask : public TMxTask {
public:
    // On the main scheduler; Interval in milliseconds between two purges.
    explicit TAutoReleaseTask(int32_t Interval = AutoReleaseIntervalDefault);
    TAutoReleaseTask(TMxScheduler& Scheduler, int32_t Interval = AutoReleaseIntervalDefault);

    int32_t Interval() const { return FInterval; }
    void SetInterval(int32_t Value) { FInterval = Value; }
    // Purges run so far.
    uint64_t PurgeCount() const { return FPurgeCount; }

private:
    void Step();

    int32_t FInterval;
    uint64_t FPurgeCount = 0;
};

} // namespace vo
