#pragma once
// The shell's task queue: queued calls run one per step of the main-scheduler
// task "TaskQueue", in the order they were queued, so each piece of start-up
// work runs between other tasks' steps and after the message loop started.
// The task sleeps while the queue is empty; AddTask wakes it.
#include "kernel/MxTLib20.h"

#include <deque>
#include <functional>
#include <memory>

namespace vo {

class TTaskQueue {
public:
    using TCall = std::function<void()>;

    // Creates the signal and the main-scheduler task "TaskQueue" and starts it
    // (raises while there is no main scheduler).
    TTaskQueue();
    ~TTaskQueue();
    TTaskQueue(const TTaskQueue&) = delete;
    TTaskQueue& operator=(const TTaskQueue&) = delete;

    // Appends a call at the tail and wakes the task.
    void AddTask(TCall AOnExecute);
    std::size_t Count() const { return FQueue.size(); }
    TMxTask& Task() { return *FTask; }

private:
    void Execute(TMxTask& Sender);

    TMxSignal FSignal;
    std::deque<TCall> FQueue;
    std::unique_ptr<TMxTask> FTask;
};

} // namespace vo
