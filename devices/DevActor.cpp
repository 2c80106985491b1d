#include "devices/DevActor.h"

#include "comm/OvraClnt.h"
#include "devices/QsBasic.h"
#include "platform/Exception.h"

#include <algorithm>

namespace vo {

TClientJobQueue::TClientJobQueue(int32_t MaxJobCount) : FJobs(static_cast<size_t>(std::max(MaxJobCount, 0)) + 1) {
    for (size_t i = 0; i < FJobs.size(); ++i)
        FJobs[i].Next = (i + 1) % FJobs.size();
}

TClientJob& TClientJobQueue::GetNewJob() {
    if (Full())
        throw Exception("TClientJobQueue.GetNewJob: FULL");
    return FJobs[FTail];
}

void TClientJobQueue::InsertTail() {
    if (Full())
        throw Exception("TClientJobQueue.Insert: FULL");
    FTail = FJobs[FTail].Next;
}

TClientJob& TClientJobQueue::GetTopJob() {
    if (Empty())
        throw Exception("TClientJobQueue.GetTopJob: EMPTY");
    return FJobs[FHead];
}

void TClientJobQueue::DeleteHead() {
    if (Empty())
        throw Exception("TClientJobQueue.DeleteHead: EMPTY");
    TClientJob& job = FJobs[FHead];
    job.Resp = nullptr;
    job.ReadResp = nullptr;
    job.OvraService = nullptr;
    FHead = job.Next;
}

TDeviceActor::TDeviceActor(int32_t MaxJobCount) : TDeviceActor(*OvraClient(), MaxJobCount) {}

TDeviceActor::TDeviceActor(TOvraClient& Client, int32_t MaxJobCount)
    : FClient(&Client), Actor(&Client.GetActor()), ClientJobQueue(MaxJobCount) {
    Actor->SetName("Device Actor");
    Actor->SetOnResponse([this](TOvraActor&) { ActorResponse(); });
}

TDeviceActor::~TDeviceActor() {
    Actor->SetOnResponse(nullptr);
    FClient->ReleaseActor(*Actor);
}

bool TDeviceActor::IsBusy() const { return Actor->IsBusy(); }

void TDeviceActor::NewJob(uint8_t Ident, TBasicOvraService& Service, int32_t Address, int32_t Data, int32_t User,
                          TStartResp Resp, TReadResp ReadResp) {
    TClientJob& job = ClientJobQueue.GetNewJob();
    job.Ident = Ident;
    job.OvraService = &Service;
    job.Address = Address;
    job.Data = Data;
    job.Result = 0;
    job.User = User;
    job.Resp = std::move(Resp);
    job.ReadResp = std::move(ReadResp);
    ClientJobQueue.InsertTail();
    Execute();
}

void TDeviceActor::Start(TBasicOvraService& S, int32_t Address, int32_t User, TStartResp Resp) {
    NewJob(1, S, Address, 0, User, std::move(Resp), nullptr);
}
void TDeviceActor::Stop(TBasicOvraService& S, int32_t User, TStopResp Resp) {
    NewJob(2, S, 0, 0, User, std::move(Resp), nullptr);
}
void TDeviceActor::Reset(TBasicOvraService& S, int32_t User, TResetResp Resp) {
    NewJob(3, S, 0, 0, User, std::move(Resp), nullptr);
}
void TDeviceActor::Erase(TBasicOvraService& S, int32_t Address, int32_t User, TEraseResp Resp) {
    NewJob(4, S, Address, 0, User, std::move(Resp), nullptr);
}
void TDeviceActor::Read(TBasicOvraService& S, int32_t Address, int32_t User, TReadResp Resp) {
    NewJob(5, S, Address, 0, User, nullptr, std::move(Resp));
}
void TDeviceActor::Write(TBasicOvraService& S, int32_t Address, int32_t Data, int32_t User, TWriteResp Resp) {
    NewJob(6, S, Address, Data, User, std::move(Resp), nullptr);
}
void TDeviceActor::Flash(TBasicOvraService& S, int32_t Address, int32_t Data, int32_t User, TFlashResp Resp) {
    NewJob(7, S, Address, Data, User, std::move(Resp), nullptr);
}

void TDeviceActor::Execute() {
    if (Actor->IsBusy() || ClientJobQueue.Empty())
        return;
    Actor->Clear();
    TClientJob& job = ClientJobQueue.GetTopJob();
    TBasicOvraService& s = *job.OvraService;
    switch (job.Ident) {
    case 1: s.StartProgram()->Put(*Actor, 0); break;
    case 2: s.StopProgram()->Put(*Actor, 0); break;
    case 3: s.ResetDevice()->Put(*Actor, 0); break;
    case 4: s.EraseFlash()->Put(*Actor, job.Address, 0); break;
    case 5: s.GetMemoryWord()->Put(*Actor, job.Address, 0); break;
    case 6: s.SetMemoryWord()->Put(*Actor, job.Address, job.Data, 0); break;
    case 7: s.SetFlashWord()->Put(*Actor, job.Address, job.Data, 0); break;
    default: break;
    }
    Actor->Execute();
}

void TDeviceActor::ActorResponse() {
    TClientJob& job = ClientJobQueue.GetTopJob();
    Actor->Reset();
    job.Result = Actor->GetIndex() < Actor->GetCount() ? Actor->GetResult() : OvraResBadReply;
    if (job.Ident == 5 && job.Result == 0)
        job.Data = job.OvraService->GetMemoryWord()->GetData(*Actor);
    // The job leaves the queue before its response runs, so that the
    // response may queue the next job at once.
    const TClientJob done = job;
    ClientJobQueue.DeleteHead();
    if (done.Ident == 5) {
        if (done.ReadResp)
            done.ReadResp(done.Result, done.Data, done.User);
    } else if (done.Resp) {
        done.Resp(done.Result, done.User);
    }
    Execute();
}

} // namespace vo
