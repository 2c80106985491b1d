#include "shell/PrgTasks.h"

namespace vo {

TTaskQueue::TTaskQueue() {
    FTask = TMxTask::CreateMain("TaskQueue");
    FTask->SetOnExecute([this](TMxTask& Sender) { Execute(Sender); });
    FTask->Start();
}

TTaskQueue::~TTaskQueue() {
    FTask.reset();
}

void TTaskQueue::AddTask(TCall AOnExecute) {
    FQueue.push_back(std::move(AOnExecute));
    FSignal.SetReady(true);
}

void TTaskQueue::Execute(TMxTask& Sender) {
    if (!FQueue.empty()) {
        // Unlinked before the call: a call may queue further calls.
        TCall call = std::move(FQueue.front());
        FQueue.pop_front();
        if (call)
            call();
        return;
    }
    FSignal.SetReady(false);
    Sender.WaitFor(FSignal, MxInfinite);
}

} // namespace vo
