#pragma once
// The device actor: runs one-telegram jobs on drives one after the other
// (start, stop, reset, erase a flash sector, read, write or flash one memory
// word). A caller queues a job with its response method and returns at once;
// the jobs go out in queue order through the device actor's own actor, one
// telegram per request, and each response method is called once with the
// record's result. Jobs of any number of drives may share one device actor.
// Runs on the main scheduler in the GUI thread.
#include <cstdint>
#include <functional>
#include <vector>

namespace vo {

class TBasicOvraService;
class TOvraActor;
class TOvraClient;

using TStartResp = std::function<void(uint8_t Result, int32_t User)>;
using TStopResp = TStartResp;
using TResetResp = TStartResp;
using TEraseResp = TStartResp;
using TWriteResp = TStartResp;
using TFlashResp = TStartResp;
using TReadResp = std::function<void(uint8_t Result, int32_t Data, int32_t User)>;

struct TClientJob {
    uint8_t Ident = 0; // 1 start, 2 stop, 3 reset, 4 erase, 5 read, 6 write, 7 flash
    TBasicOvraService* OvraService = nullptr;
    int32_t Address = 0;
    int32_t Data = 0; // a read's word lands here
    uint8_t Result = 0;
    int32_t User = 0;
    TStartResp Resp; // every kind but read
    TReadResp ReadResp; // read
    size_t Next = 0; // the next slot of the ring
};

// A ring of MaxJobCount + 1 reused slots: Head is the oldest queued job,
// Tail the free slot for the next one. It holds at most MaxJobCount jobs.
class TClientJobQueue {
public:
    explicit TClientJobQueue(int32_t MaxJobCount);
    bool Empty() const { return FTail == FHead; }
    bool Full() const { return FJobs[FTail].Next == FHead; }
    // The free tail slot; "TClientJobQueue.GetNewJob: FULL" when full.
    TClientJob& GetNewJob();
    // The filled tail slot becomes queued; "TClientJobQueue.Insert: FULL".
    void InsertTail();
    // The head job; "TClientJobQueue.GetTopJob: EMPTY".
    TClientJob& GetTopJob();
    // "TClientJobQueue.DeleteHead: EMPTY".
    void DeleteHead();
    size_t Count() const { return (FTail + FJobs.size() - FHead) % FJobs.size(); }

private:
    std::vector<TClientJob> FJobs;
    size_t FHead = 0;
    size_t FTail = 0;
};

class TDeviceActor {
public:
    explicit TDeviceActor(int32_t MaxJobCount);
    TDeviceActor(TOvraClient& Client, int32_t MaxJobCount);
    ~TDeviceActor();
    TDeviceActor(const TDeviceActor&) = delete;
    TDeviceActor& operator=(const TDeviceActor&) = delete;

    // Each queues one job (raising "TClientJobQueue.GetNewJob: FULL" when the
    // queue is full, which leaves it unchanged) and runs the queue.
    void Start(TBasicOvraService& OvraService, int32_t Address, int32_t User, TStartResp Resp);
    void Stop(TBasicOvraService& OvraService, int32_t User, TStopResp Resp);
    void Reset(TBasicOvraService& OvraService, int32_t User, TResetResp Resp);
    void Erase(TBasicOvraService& OvraService, int32_t Address, int32_t User, TEraseResp Resp);
    void Read(TBasicOvraService& OvraService, int32_t Address, int32_t User, TReadResp Resp);
    void Write(TBasicOvraService& OvraService, int32_t Address, int32_t Data, int32_t User, TWriteResp Resp);
    void Flash(TBasicOvraService& OvraService, int32_t Address, int32_t Data, int32_t User, TFlashResp Resp);

    const TClientJobQueue& Queue() const { return ClientJobQueue; }
    bool IsBusy() const;

private:
    void NewJob(uint8_t Ident, TBasicOvraService& Service, int32_t Address, int32_t Data, int32_t User,
                TStartResp Resp, TReadResp ReadResp);
    void Execute();
    void ActorResponse();

    TOvraClient* FClient;
    TOvraActor* Actor;
    TClientJobQueue ClientJobQueue;
};

} // namespace vo
