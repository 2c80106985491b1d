#pragma once
// TPortSlave: one bound device of a port driver that reassembles or receives
// frames on another thread (CAN, Ethernet). Complete frames are put into its
// queue from any thread; its receive task on the driver's scheduler takes
// them one by one and hands each to the driver.
#include "kernel/MxMLib20.h"
#include "kernel/MxTLib20.h"
#include "platform/AnsiString.h"

#include <functional>
#include <memory>

namespace vo {

class TPortSlave {
public:
    using TFrameEvent = std::function<void(const MyAnsiString& Frame)>;

    // Starts the receive task (caption ACaption) on AScheduler; OnFrame runs
    // in its steps.
    TPortSlave(TMxScheduler& AScheduler, MyAnsiString ACaption, TFrameEvent OnFrame);
    virtual ~TPortSlave();
    TPortSlave(const TPortSlave&) = delete;
    TPortSlave& operator=(const TPortSlave&) = delete;

    // A complete frame for the device (any thread).
    void Put(const MyAnsiString& Frame);
    // The receive task runs no further step.
    void Stop();
    int Pending() const { return RxQueue.MessageCount(); }

private:
    void RxStep(TMxTask& Sender);

    TFrameEvent FOnFrame;
    TMxQueue RxQueue;
    std::unique_ptr<TMxTask> RxTask; // declared after the queue: goes first
};

} // namespace vo
