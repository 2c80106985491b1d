#pragma once
// Execute control: a small sequencer on the main scheduler for work that goes
// step by step and pauses while a drive request is outstanding.
//
// The owner's idle handler runs at every step while no execution is active;
// an execution started with Execute runs its handler step by step until the
// handler leaves FStatus at 0; and at any point the control can be parked
// with Wait(X) until X calls Continue(X). The module service runs the export
// and import of configuration files this way.
#include <cstdint>
#include <functional>
#include <memory>

#include "kernel/MxTLib20.h"
#include "kernel/Object.h"
#include "platform/AnsiString.h"
#include "platform/Exception.h"

namespace vo {

class TExecuteControl;

using TExecuteEvent = std::function<void(TExecuteControl& Sender)>;
using TMessageEvent = std::function<void(const MyAnsiString& Msg)>;

enum TWorkState : std::uint8_t { wsIdle,
                                 wsExec };

class TExecuteControl : public TObject {
public:
    // With AWaitingObject the control starts out waiting for it; without, it
    // starts running its idle handler. The task "ExecuteControl" runs on the
    // main scheduler (or AScheduler) and starts at once.
    explicit TExecuteControl(TObject* AWaitingObject = nullptr);
    TExecuteControl(TMxScheduler& AScheduler, TObject* AWaitingObject);
    ~TExecuteControl() override;
    TExecuteControl(const TExecuteControl&) = delete;
    TExecuteControl& operator=(const TExecuteControl&) = delete;

    virtual const char* ClassName() const { return "TExecuteControl"; }

    // The control waits for Sender; the step that called it parks when its
    // handler returns. "<class>.Wait: already in wait state",
    // "<class>.Wait: need a valid object reference".
    void Wait(TObject* Sender);
    // Ends the wait for Sender. "<class>.Continue: not in wait state",
    // "<class>.Continue: waiting object missmatch" (the control keeps waiting).
    void Continue(TObject* Sender);
    // Starts an execution (set FOnExecute, FCommand and FData before); a
    // control that waits is continued with Sender first.
    // "<class>.Execute: not in idle state" while an execution is active.
    void Execute(TObject* Sender);
    // Calls FOnMessage.
    void LogMessage(const MyAnsiString& Msg);

    TWorkState WorkState() const { return FWorkState; }
    TObject* WaitingObject() const { return FWaitingObject; }
    bool Waiting() const { return FWaitingObject != nullptr; }
    TMxTask& WorkTask() { return *FWorkTask; }

    TExecuteEvent FOnIdle;
    TExecuteEvent FOnExecute;
    TMessageEvent FOnMessage;
    std::int32_t FCommand = 0;
    TObject* FData = nullptr;
    // 0 when the execution is done, else a step number of the handler's choice.
    std::int32_t FStatus = 0;

private:
    void Init(TMxScheduler& Scheduler, TObject* AWaitingObject);
    void Step(TMxTask& Task);

    TMxSignal FWorkSignal;
    TWorkState FWorkState = wsIdle;
    TObject* FWaitingObject = nullptr;
    std::unique_ptr<TMxTask> FWorkTask;
};

} // namespace vo
