#include "comm/ServActr.h"

#include "kernel/Debug.h"
#include "platform/Exception.h"

#include <thread>

namespace vo {

namespace {

// A text that can travel as one message parameter: not empty, without TAB or CR.
MyAnsiString ParameterText(MyAnsiString Text) {
    for (char& c : Text)
        if (c == '\t' || c == '\r')
            c = ' ';
    if (Text.empty())
        Text = "error";
    return Text;
}

} // namespace

TServerActor::TServerActor(TMxQueue& ARequestQueue, TOvraDeviceList& AOvraDeviceList, TMxScheduler& AScheduler)
    : RequestQueue(ARequestQueue), OvraDeviceList(AOvraDeviceList) {
    FTask = std::make_unique<TMxTask>(AScheduler, "ServerActor.Create");
    FTask->SetOnExecute([this](TMxTask& Sender) { Execute(Sender); });
    FTask->Start();
}

TServerActor::~TServerActor() {
    // No further step is scheduled after the kill; a step that runs on the
    // scheduler's thread right now is waited for before anything is touched.
    FTask->Kill();
    if (!FTask->Scheduler().IsSchedulerThread())
        while (FTask->IsActive())
            std::this_thread::yield();
    if (CurrentDevice) {
        try {
            if (CurrentService != -1)
                CurrentDevice->ReleaseCurrentService(FInputQueue);
        } catch (...) {
        }
        CurrentService = -1;
        if (CurrentDevice->IsOwner(*FTask))
            CurrentDevice->ReleaseDevice(*FTask);
        CurrentDevice.reset();
    }
    if (MessageReader.GetItem())
        MessageReader.DestroyMessage();
    if (TMxMessage* reply = MessageWriter.GetItem()) {
        MessageWriter.SetItem(nullptr);
        TMxMessage::Free(reply);
    }
    DiscardInputQueue();
    FTask.reset();
}

void TServerActor::Execute(TMxTask&) {
    try {
        switch (FState.load()) {
        case asIdle: StepIdle(); break;
        case asReply: StepReply(); break;
        case asNextRecord: StepNextRecord(); break;
        case asSend: StepSend(); break;
        case asReceive: StepReceive(); break;
        case asRecordDone: StepRecordDone(); break;
        default: FState.store(asIdle); break;
        }
    } catch (const std::exception& e) {
        // A step never leaves a record half done: the record ends with the
        // bookkeeping result, the device is released and the actor goes on.
        LogInfo(MyAnsiString(e.what()) + " - " + FTask->Caption());
        const uint8_t s = FState.load();
        if (s == asSend || s == asReceive) {
            OvraRes = OvraResBookkeeping;
            ReceiveBuffer.clear();
            FState.store(asRecordDone);
        } else if (s == asRecordDone) {
            CurrentService = -1;
            CurrentDevice.reset();
            FState.store(asNextRecord);
        } else if (s == asNextRecord) {
            try {
                EndWithError(e.what());
            } catch (const std::exception& e2) {
                LogInfo(MyAnsiString(e2.what()) + " - " + FTask->Caption());
                FState.store(asReply);
            }
        } else if (s == asReply) {
            FState.store(asIdle);
        }
    }
}

void TServerActor::StepIdle() {
    TMxMessage* msg = RequestQueue.GetMessage();
    if (!msg) {
        FTask->WaitFor(RequestQueue, MxInfinite);
        return;
    }
    MessageReader.SetItem(msg);
    MessageWriter.CreateMessage();
    MessageWriter.GetItem()->SetReceiverFromSender(*msg);
    FState.store(asNextRecord);
}

void TServerActor::StepReply() {
    if (MessageReader.GetItem())
        MessageReader.DestroyMessage();
    TMxMessage* reply = MessageWriter.GetItem();
    MessageWriter.SetItem(nullptr);
    FState.store(asIdle);
    if (!reply)
        return;
    if (!RequestQueue.LoggedOn()) {
        TMxMessage::Free(reply);
        return;
    }
    try {
        RequestQueue.SendMessage(reply); // an undeliverable reply goes back to the pool
    } catch (const std::exception& e) {
        LogInfo(MyAnsiString("TServerActor.Reply: ") + e.what());
    }
}

void TServerActor::EndWithError(const MyAnsiString& Text) {
    ReleaseCurrentService();
    ReleaseCurrentDevice();
    if (MessageWriter.GetItem()) {
        MessageWriter.PutCommand(OvraReplyError);
        MessageWriter.PutParameter(ParameterText(Text));
    }
    FState.store(asReply);
}

void TServerActor::StepNextRecord() {
    const MyAnsiString field = MessageReader.GetCommand();
    const int32_t pattern = field.empty() ? 0 : MsgTextToInt(field);
    Pattern = static_cast<uint8_t>(pattern & 0xFF);
    if (Pattern == 0) {
        FState.store(asReply);
        return;
    }
    Device = MsgGetInt(MessageReader);
    SendBuffer = MsgGetStr(MessageReader);
    if (SendBuffer.empty())
        throw EMessageFormatError("TServerActor.Execute: record without frame");
    Service = static_cast<uint8_t>(SendBuffer[0]);
    ReceiveBuffer.clear();
    OvraRes = ObtainDevice(Device);
    if (OvraRes != 0) {
        FState.store(asRecordDone);
        return;
    }
    NumberOfTries = 0;
    FState.store(asSend); // runs when the task owns the device's semaphore
}

void TServerActor::StepSend() {
    ++NumberOfTries;
    if (NumberOfTries == 1) {
        // Whatever is still queued answers an earlier record (a late or a
        // doubled answer): it must never be taken for this record's answer.
        DiscardInputQueue();
    }
    ReceiveBuffer.clear();
    OvraRes = AssignService(Service);
    if (OvraRes != 0) {
        FState.store(asRecordDone);
        return;
    }
    try {
        OvraRes = SendBufferToCurrentDevice();
    } catch (const std::exception& e) {
        LogInfo(MyAnsiString("TServerActor.Send: ") + e.what());
        OvraRes = OvraResSendFailed;
    }
    if (OvraRes != 0) {
        FState.store(asRecordDone);
        return;
    }
    FState.store(asReceive);
    FTask->WaitFor(FInputQueue, ServerActorAnswerTimeout.Milliseconds());
}

void TServerActor::StepReceive() {
    ReceiveBufferFromInputQueue();
    // No frame, an echo without a status byte, or a frame of another command
    // (the device routes only this command's frames here, but a port driver
    // may deliver anything): a missed answer. Send again while tries remain.
    if (ReceiveBuffer.size() < 2 || static_cast<uint8_t>(ReceiveBuffer[0]) != CurrentService) {
        ReceiveBuffer.clear();
        OvraRes = OvraResNoAnswer;
        if (NumberOfTries >= ServerActorMaxTries) {
            FState.store(asRecordDone);
        } else {
            ReleaseCurrentService();
            FState.store(asSend);
        }
        return;
    }
    OvraRes = static_cast<uint8_t>(ReceiveBuffer[1]);
    if (OvraRes == OvraResWaitLonger) {
        // The drive needs longer: wait again, by the third byte in units of a
        // second, or the long default for the 2-byte form.
        const int64_t wait = ReceiveBuffer.size() > 2
            ? static_cast<uint8_t>(ReceiveBuffer[2]) * ServerActorWaitLongerUnit.Milliseconds()
            : ServerActorWaitLongerDefault.Milliseconds();
        FTask->WaitFor(FInputQueue, wait);
        return; // stays in asReceive
    }
    FState.store(asRecordDone);
}

void TServerActor::StepRecordDone() {
    if (MessageWriter.GetItem()) {
        MessageWriter.PutCommand(MsgIntToText(Pattern));
        MsgPutInt(MessageWriter, OvraRes);
        if (OvraRes <= 0x7F || OvraRes == OvraResWithData)
            MsgPutStr(MessageWriter, ReceiveBuffer);
    }
    ReleaseCurrentService();
    ReleaseCurrentDevice();
    FRecordsDone.fetch_add(1);
    FState.store(asNextRecord);
}

uint8_t TServerActor::ObtainDevice(int32_t AIndex) {
    if (CurrentDevice)
        return OvraResBookkeeping;
    TOvraDevicePtr dev = OvraDeviceList.DeviceWithIndex(AIndex);
    if (!dev)
        return OvraResNoDevice;
    CurrentDevice = std::move(dev);
    CurrentDevice->ObtainDevice(*FTask, MxInfinite);
    return 0;
}

void TServerActor::ReleaseCurrentDevice() {
    if (!CurrentDevice)
        return;
    TOvraDevicePtr dev = std::move(CurrentDevice);
    CurrentDevice.reset();
    if (dev->IsOwner(*FTask))
        dev->ReleaseDevice(*FTask);
}

uint8_t TServerActor::AssignService(uint8_t ServiceId) {
    if (!CurrentDevice)
        return OvraResBookkeeping;
    if (CurrentService != -1)
        return OvraResBookkeeping;
    CurrentDevice->AssignCurrentService(FInputQueue, ServiceId);
    CurrentService = ServiceId;
    return 0;
}

void TServerActor::ReleaseCurrentService() {
    if (CurrentDevice && CurrentService != -1) {
        CurrentService = -1;
        CurrentDevice->ReleaseCurrentService(FInputQueue);
    }
    CurrentService = -1;
}

uint8_t TServerActor::SendBufferToCurrentDevice() {
    if (!CurrentDevice)
        return OvraResBookkeeping;
    return CurrentDevice->Output(*FTask, SendBuffer);
}

void TServerActor::ReceiveBufferFromInputQueue() {
    ReceiveBuffer.clear();
    if (TMxMessage* msg = FInputQueue.GetMessage()) {
        ReceiveBuffer = msg->GetText();
        TMxMessage::Free(msg);
    }
}

void TServerActor::DiscardInputQueue() {
    while (TMxMessage* msg = FInputQueue.GetMessage())
        TMxMessage::Free(msg);
}

} // namespace vo
