#pragma once
// The actor: a batch of telegram records for the drives, built on the GUI
// side, sent to the communication server as one request message and answered
// asynchronously.
//
// A user takes an actor from the client, clears it, adds records with the Put
// operations of the telegram patterns, sets OnResponse and calls Execute; the
// GUI thread returns at once. When the server's reply arrives, the actor's own
// main-scheduler task ("OvraActorImplementation") unpacks it into the records,
// marks the actor done and calls OnResponse, in which the user walks the
// records with Reset, Next and the patterns' getters. The actor is no longer
// busy there, so the handler may clear it, add records and Execute again.
//
// A reply that cannot be unpacked (it does not fit the request) never leaves
// the actor hanging: the records not yet filled get OvraResBadReply, the
// actor becomes done and OnResponse is called all the same.
//
// While busy the actor refuses everything that would change or move in its
// records (Clear, AddData, Reset, Next, Execute); GetData and SetData are
// not guarded (the unpacking uses them).
#include "comm/OvraClnt.h"
#include "kernel/MsgTools.h"
#include "kernel/MxMLib20.h"
#include "kernel/MxTLib20.h"

#include <memory>
#include <vector>

namespace vo {

class TOvraActorImplementation final : public TOvraActor {
public:
    // Logs the response queue on (domain 0) and starts the task on the main
    // scheduler. Only the client creates actors.
    explicit TOvraActorImplementation(TOvraClient& AOvraClient);
    ~TOvraActorImplementation() override;

    const char* ClassName() const override { return "TOvraActorImplementation"; }

    TOvraService* GetOvraService() override;
    // "TOvraActorImplementation.Clear: actor is busy" while busy; Name and
    // OnResponse stay.
    void Clear() override;
    // Sends every record as one request message to the server's request
    // queue. "<class>.Execute: actor is busy" while busy; a record that
    // cannot be written raises and nothing is sent.
    void Execute() override;
    void Reset() override;
    void Next() override;
    uint8_t GetResult() override;
    int32_t GetUser() override;
    uint8_t GetService() override;
    bool GetBusy() const override { return FBusy; }
    int32_t GetIndex() const override { return static_cast<int32_t>(FGetIndex); }
    int32_t GetCount() const override { return static_cast<int32_t>(FRecords.size()); }
    // "<class>.PutData: actor is busy" while busy.
    void AddData(std::unique_ptr<TActorRecord> Rec) override;

    // Not ready while a request is pending, ready after its reply.
    TMxSignal& Signal() { return FSignal; }
    TMxTask& Task() { return *FTask; }
    uint16_t QueueIdent() const { return ResponseQueue.GetQueueIdent(); }

protected:
    TActorRecord* CurrentRecord() override;

private:
    friend class TOvraClient;
    // The task's step: takes the reply and unpacks it.
    void Work(TMxTask& Sender);
    void Unpack(TMxMessage* Reply);
    TActorRecord& HeaderRecord();

    bool FBusy = false;
    bool FPoolWhenDone = false; // given back while busy: pool it after the reply
    bool FPooled = false; // in the client's pool
    std::vector<std::unique_ptr<TActorRecord>> FRecords;
    size_t FGetIndex = 0;
    TMessageWriter MessageWriter;
    TMessageReader MessageReader;
    TMxQueue ResponseQueue;
    TMxSignal FSignal;
    std::unique_ptr<TMxTask> FTask; // last: destroyed first
};

} // namespace vo
