#include "comm/OvraActr.h"

#include "comm/OvraServ.h"
#include "kernel/Debug.h"

#include <string>

namespace vo {

TOvraActorImplementation::TOvraActorImplementation(TOvraClient& AOvraClient) : TOvraActor(AOvraClient) {
    ResponseQueue.LogOn(0);
    FSignal.SetReady(true);
    FTask = std::make_unique<TMxTask>("OvraActorImplementation");
    FTask->SetOnExecute([this](TMxTask& Sender) { Work(Sender); });
    FTask->Start();
}

TOvraActorImplementation::~TOvraActorImplementation() {
    FTask.reset();
    if (MessageWriter.GetItem()) {
        TMxMessage::Free(MessageWriter.GetItem());
        MessageWriter.SetItem(nullptr);
    }
    if (MessageReader.GetItem())
        MessageReader.DestroyMessage();
}

TActorRecord* TOvraActorImplementation::CurrentRecord() {
    return FGetIndex < FRecords.size() ? FRecords[FGetIndex].get() : nullptr;
}

TActorRecord& TOvraActorImplementation::HeaderRecord() {
    TActorRecord* rec = CurrentRecord();
    if (!rec)
        throw Exception("Index Error");
    return *rec;
}

TOvraService* TOvraActorImplementation::GetOvraService() {
    TActorRecord* rec = CurrentRecord();
    if (!rec)
        throw Exception(std::string(ClassName()) + ".GetOvraService: tried to read at the end");
    return rec->Header.OvraSrv.Get();
}

void TOvraActorImplementation::Clear() {
    if (FBusy)
        throw Exception(std::string(ClassName()) + ".Clear: actor is busy");
    FRecords.clear();
    // A batch that grew large gives its memory back.
    if (FRecords.capacity() > 1024)
        FRecords.shrink_to_fit();
    FGetIndex = 0;
    FInfo = astReady;
}

void TOvraActorImplementation::AddData(std::unique_ptr<TActorRecord> Rec) {
    if (FBusy)
        throw Exception(std::string(ClassName()) + ".PutData: actor is busy");
    if (!Rec)
        throw Exception(std::string(ClassName()) + ".PutData: no record");
    FRecords.push_back(std::move(Rec));
    FGetIndex = FRecords.size() - 1;
    FInfo = astInit;
}

void TOvraActorImplementation::Reset() {
    if (FBusy)
        throw Exception(std::string(ClassName()) + ".Reset: actor is busy");
    FGetIndex = 0;
}

void TOvraActorImplementation::Next() {
    if (FBusy)
        throw Exception(std::string(ClassName()) + ".Next: actor is busy");
    if (FGetIndex >= FRecords.size())
        throw Exception(std::string(ClassName()) + ".Next: end of data set");
    ++FGetIndex;
}

uint8_t TOvraActorImplementation::GetResult() {
    return HeaderRecord().Header.OvraRes;
}

int32_t TOvraActorImplementation::GetUser() {
    return HeaderRecord().Header.OvraUsr;
}

uint8_t TOvraActorImplementation::GetService() {
    return HeaderRecord().Header.OvraIdt;
}

void TOvraActorImplementation::Execute() {
    if (FBusy)
        throw Exception(std::string(ClassName()) + ".Execute: actor is busy");
    const size_t index = FGetIndex;
    MessageWriter.CreateMessage();
    try {
        for (FGetIndex = 0; FGetIndex < FRecords.size(); ++FGetIndex)
            FOvraClient.PutRequestData(*this, MessageWriter);
    } catch (...) {
        TMxMessage::Free(MessageWriter.GetItem());
        MessageWriter.SetItem(nullptr);
        FGetIndex = index;
        throw;
    }
    TMxMessage* msg = MessageWriter.GetItem();
    MessageWriter.SetItem(nullptr);
    msg->SetReceiver(OvraServerIdent, OvraServerDomain, 0);
    FGetIndex = 0;
    FBusy = true;
    // The reply is handled by this actor's task on the main scheduler, so
    // nothing can see the actor between the send and the state change below.
    try {
        ResponseQueue.SendMessage(msg); // an undeliverable message goes back to the pool
    } catch (...) {
        FBusy = false;
        FGetIndex = index;
        throw;
    }
    FInfo = astExecuting;
    FSignal.SetReady(false);
}

void TOvraActorImplementation::Work(TMxTask& Sender) {
    TMxMessage* reply = ResponseQueue.GetMessage();
    if (!reply) {
        Sender.WaitFor(ResponseQueue, MxInfinite);
        return;
    }
    if (!FBusy) {
        // Nobody waits for it: drop it, and go on serving.
        TMxMessage::Free(reply);
        LogInfo(std::string(ClassName()) + ".Work: unexpected response - " + Sender.Caption());
        Sender.WaitFor(ResponseQueue, MxInfinite);
        return;
    }

    Unpack(reply);

    FGetIndex = 0;
    FBusy = false;
    FInfo = astDone;
    FSignal.SetReady(true);
    // Wait for the next reply before the handler runs: it may Execute again.
    Sender.WaitFor(ResponseQueue, MxInfinite);

    if (FPoolWhenDone) {
        // Given back while busy: its user is gone.
        try {
            Clear();
            FOvraClient.Pool(*this);
        } catch (const std::exception& e) {
            LogInfo(MyAnsiString(e.what()) + " - " + Sender.Caption());
        }
        return;
    }
    if (FOnResponse) {
        try {
            TActorEvent handler = FOnResponse; // the handler may replace itself
            handler(*this);
        } catch (const std::exception& e) {
            LogInfo(MyAnsiString(e.what()) + " - " + Sender.Caption());
        }
    }
}

void TOvraActorImplementation::Unpack(TMxMessage* Reply) {
    MessageReader.SetItem(Reply);
    try {
        for (FGetIndex = 0; FGetIndex < FRecords.size(); ++FGetIndex)
            FOvraClient.GetResponseData(MessageReader, *this);
    } catch (const std::exception& e) {
        // The reply does not fit the request: the records from this one on
        // get no answer from it.
        LogInfo(MyAnsiString(e.what()) + " - " + FTask->Caption());
        for (; FGetIndex < FRecords.size(); ++FGetIndex)
            FRecords[FGetIndex]->Header.OvraRes = OvraResBadReply;
    }
    MessageReader.DestroyMessage();
}

} // namespace vo
