#include "kernel/ExeCtrl.h"

#include <exception>
#include <string>

#include "kernel/Debug.h"

namespace vo {

TExecuteControl::TExecuteControl(TObject* AWaitingObject) {
    TMxScheduler* main = MxScheduler();
    if (!main) throw Exception("Main Scheduler not created!");
    Init(*main, AWaitingObject);
}

TExecuteControl::TExecuteControl(TMxScheduler& AScheduler, TObject* AWaitingObject) {
    Init(AScheduler, AWaitingObject);
}

void TExecuteControl::Init(TMxScheduler& Scheduler, TObject* AWaitingObject) {
    FWaitingObject = AWaitingObject;
    FWorkSignal.SetReady(AWaitingObject == nullptr);
    FWorkTask = std::make_unique<TMxTask>(Scheduler, "ExecuteControl");
    FWorkTask->SetOnExecute([this](TMxTask& t) { Step(t); });
    FWorkTask->Start();
}

TExecuteControl::~TExecuteControl() { FWorkTask.reset(); }

void TExecuteControl::Wait(TObject* Sender) {
    if (FWaitingObject) throw Exception(std::string(ClassName()) + ".Wait: already in wait state");
    if (!Sender) throw Exception(std::string(ClassName()) + ".Wait: need a valid object reference");
    FWaitingObject = Sender;
}

void TExecuteControl::Continue(TObject* Sender) {
    if (!FWaitingObject) throw Exception(std::string(ClassName()) + ".Continue: not in wait state");
    if (Sender != FWaitingObject) throw Exception(std::string(ClassName()) + ".Continue: waiting object missmatch");
    FWaitingObject = nullptr;
    FWorkSignal.SetReady(true);
}

void TExecuteControl::Execute(TObject* Sender) {
    if (FWorkState != wsIdle) throw Exception(std::string(ClassName()) + ".Execute: not in idle state");
    if (FWaitingObject) Continue(Sender);
    FWorkState = wsExec;
    FStatus = 0;
    FWorkSignal.SetReady(true);
}

void TExecuteControl::LogMessage(const MyAnsiString& Msg) {
    if (FOnMessage) FOnMessage(Msg);
}

void TExecuteControl::Step(TMxTask& Task) {
    // A handler's exception is logged like a task step's. A failing execution
    // ends (back to idle) instead of failing again at every step.
    auto report = [&Task](const std::exception& e) { LogInfo(MyAnsiString(e.what()) + " - " + Task.Caption()); };
    if (FWaitingObject) {
        // Parked (from the start, or by a Wait outside a step): no handler runs.
        FWorkSignal.SetReady(false);
    } else if (FWorkState == wsIdle) {
        try {
            if (FOnIdle) FOnIdle(*this);
        } catch (const std::exception& e) {
            report(e);
        }
        if (FWaitingObject) FWorkSignal.SetReady(false);
    } else {
        try {
            if (FOnExecute) FOnExecute(*this);
        } catch (const std::exception& e) {
            report(e);
            FStatus = 0;
        }
        if (FWaitingObject) FWorkSignal.SetReady(false);
        if (FStatus == 0) FWorkState = wsIdle;
    }
    Task.WaitFor(FWorkSignal, MxInfinite);
}

} // namespace vo
