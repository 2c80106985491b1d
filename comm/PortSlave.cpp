#include "comm/PortSlave.h"

namespace vo {

TPortSlave::TPortSlave(TMxScheduler& AScheduler, MyAnsiString ACaption, TFrameEvent OnFrame)
    : FOnFrame(std::move(OnFrame)) {
    RxTask = std::make_unique<TMxTask>(AScheduler, std::move(ACaption));
    RxTask->SetOnExecute([this](TMxTask& Sender) { RxStep(Sender); });
    RxTask->Start();
}

TPortSlave::~TPortSlave() {
    RxTask.reset();
}

void TPortSlave::Put(const MyAnsiString& Frame) {
    TMxMessage* msg = TMxMessage::Create();
    msg->SetText(Frame);
    RxQueue.PutMessage(msg);
}

void TPortSlave::Stop() {
    if (RxTask)
        RxTask->Kill();
}

void TPortSlave::RxStep(TMxTask& Sender) {
    if (TMxMessage* msg = RxQueue.GetMessage()) {
        const MyAnsiString frame = msg->GetText();
        TMxMessage::Free(msg);
        FOnFrame(frame);
    }
    Sender.WaitFor(RxQueue, MxInfinite);
}

} // namespace vo
