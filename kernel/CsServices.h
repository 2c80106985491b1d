#pragma once
// Service provider and clients.
//
// A service (parameters, variables, oscilloscope, status, ...) serves its
// views through a provider that gives the service to one client at a time: a
// client asks for a turn (Request), and while it is the current client it may
// start drive operations and pause until they complete (Wait / Continue);
// nobody else uses the service meanwhile. Between turns the provider runs
// update passes that tell every connected client that the service's data
// changed. Small one-off operations are queued as jobs in the same queue as
// client requests.
//
// The provider's work runs as the main-scheduler task "ServiceProvider", so
// every handler runs in the GUI thread; only the wait timer expires on the
// timer thread. A handler's exception never stops the provider: it is shown
// to the user (kernel/UserPrompt.h) and the provider goes on.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "kernel/MxTLib20.h"
#include "kernel/Object.h"
#include "platform/AnsiString.h"
#include "platform/Exception.h"

namespace vo {

enum TProviderStatus : std::uint8_t { psIdle,
                                      psExecJob,
                                      psExecClient,
                                      psWaitClient,
                                      psUpdate };

class TServiceProvider;
class TServiceClient;
class TServiceJob;
class TServiceClientPool;

using TClientEvent = std::function<void(TServiceClient& Client)>;
using TJobExecuteEvent = std::function<void(TServiceJob& Job, bool& FreeJob)>;
using TNotifyEvent = std::function<void(TObject* Sender)>;

class TServiceItem : public TObject {
public:
    TServiceProvider* ServiceProvider() const { return FServiceProvider; }
    // Queued or current.
    bool RequestPending() const { return FRequestPending; }

protected:
    friend class TServiceProvider;
    TServiceProvider* FServiceProvider = nullptr;
    bool FRequestPending = false;
};

class TServiceClient : public TServiceItem {
public:
    TServiceClient() = default;
    // Disconnects.
    ~TServiceClient() override;
    TServiceClient(const TServiceClient&) = delete;
    TServiceClient& operator=(const TServiceClient&) = delete;

    // "<client>.Connect: client already connected" when connected.
    void Connect(TServiceProvider& AServiceProvider);
    // Releases a pending request, then leaves the provider's client list.
    void Disconnect();
    // Asks for a turn. "<provider>.ClientRequest: request already pending".
    void Request();
    // The current client pauses for at most ATimeout ms.
    void Wait(std::int32_t ATimeout);
    // The current client ends its pause.
    void Continue();
    // Ends the turn or withdraws the queued request; a pooled client goes
    // back to its pool.
    void Release();
    // The current client asks for an update pass once its turn ends.
    void RequestUpdate();
    bool GetConnected() const { return FServiceProvider != nullptr; }
    TServiceClientPool* ClientPool() const { return FClientPool; }

    virtual const char* ClassName() const { return "TServiceClient"; }

    // Calls FOnUpdate.
    virtual void ProviderUpdate();
    // Calls FOnExecute; an exception is shown to the user.
    virtual void ProviderExecute();

    TClientEvent FOnUpdate;
    TClientEvent FOnExecute;
    TNotifyEvent FOnNotify;

private:
    friend class TServiceClientPool;
    TServiceProvider& Provider(const char* Operation) const;
    TServiceClientPool* FClientPool = nullptr;
};

class TServiceJob : public TServiceItem {
public:
    TServiceJob() = default;
    // A job destroyed while queued is withdrawn.
    ~TServiceJob() override;
    TServiceJob(const TServiceJob&) = delete;
    TServiceJob& operator=(const TServiceJob&) = delete;

    // Queues the job; the caller keeps ownership (FreeJob only tells the
    // provider to forget it). "<provider>.JobExecute: request already pending".
    void Announce(TServiceProvider& AServiceProvider);
    // Queues a job that the provider owns: after execution it is destroyed
    // when FreeJob is true; a handler that clears FreeJob keeps it alive
    // (owned by the provider, ready to be announced again).
    static TServiceJob& Announce(std::unique_ptr<TServiceJob> Job, TServiceProvider& AServiceProvider);

    // Calls FOnExecute(Self, FreeJob).
    virtual void ProviderJobExecute(bool& FreeJob);

    TJobExecuteEvent FOnExecute;
    std::int32_t FInfoTag = 0;
    MyAnsiString FInfoStr;
    TObject* FInfoObj = nullptr;
};

// Released clients ready for reuse. The pool owns every client it created.
class TServiceClientPool {
public:
    TServiceClientPool() = default;
    ~TServiceClientPool();
    TServiceClientPool(const TServiceClientPool&) = delete;
    TServiceClientPool& operator=(const TServiceClientPool&) = delete;

    // The last released client, or a new one.
    TServiceClient* GetServiceClient();
    // Disconnects the client, clears its handlers and keeps it for reuse.
    // "<pool>.PutServiceClient: client not from this pool".
    void PutServiceClient(TServiceClient& AClient);
    std::size_t FreeCount() const { return ClientList.size(); }
    std::size_t CreatedCount() const { return FAll.size(); }
    virtual const char* ClassName() const { return "TServiceClientPool"; }

private:
    std::vector<TServiceClient*> ClientList; // released, ready for reuse
    std::vector<std::unique_ptr<TServiceClient>> FAll;
};

// The program-wide client pool (created on first use, lives until the
// process ends; GUI thread only).
TServiceClientPool& ServiceClientPool();

class TServiceProvider : public TObject {
public:
    // AData: the served object (the provider itself when nil). The work task
    // runs on the main scheduler (or AScheduler) and starts at once.
    TServiceProvider(TObject* AData, MyAnsiString AName);
    TServiceProvider(TMxScheduler& AScheduler, TObject* AData, MyAnsiString AName);
    // Stops the timer, kills the task, disconnects every client.
    ~TServiceProvider() override;
    TServiceProvider(const TServiceProvider&) = delete;
    TServiceProvider& operator=(const TServiceProvider&) = delete;

    virtual const char* ClassName() const { return "TServiceProvider"; }

    // Update brackets; the pass runs after the outermost bracket closes.
    void BeginUpdate();
    void EndOfUpdate();
    // Calls the current client's FOnNotify(Sender).
    void NotifyCurrentClient(TObject* Sender);
    // A pooled client with AExecuteEvent as FOnExecute, connected, with a
    // request queued.
    TServiceClient* RequestClient(TClientEvent AExecuteEvent);
    int GetClientCount() const { return static_cast<int>(FClientList.size()); }

    // The operations behind the client and job calls.
    void ClientConnect(TServiceClient& Client);
    void ClientDisconnect(TServiceClient& Client);
    void ClientRequest(TServiceClient& Client);
    void ClientWait(TServiceClient& Client, std::int32_t Interval);
    void ClientContinue(TServiceClient& Client);
    void ClientRelease(TServiceClient& Client);
    void ClientRequestUpdate(TServiceClient& Client);
    void JobAnnounce(TServiceJob& Job);

    TProviderStatus Status() const;
    const MyAnsiString& Name() const { return FName; }
    TObject* Data() const { return FData; }
    TServiceClient* CurrentClient() const { return FCurrentClient; }
    TServiceJob* CurrentJob() const { return FCurrentJob; }
    int UpdateLockCounter() const { return FUpdateLockCounter; }
    bool UpdateRequested() const { return FUpdateRequest; }
    std::size_t RequestCount() const { return FRequestList.size(); }
    TMxTask& WorkTask() { return *FWorkTask; }

    TNotifyEvent FOnUpdateDone;
    TJobExecuteEvent FOnExecuteJob;

private:
    friend class TServiceJob;
    class TWaitTimer : public TMxTimer {
    public:
        explicit TWaitTimer(TServiceProvider& Owner) : FOwner(Owner) {}
        void Expiration() override;
        bool Current() const { return IsCurrentExpiration(); }

    private:
        TServiceProvider& FOwner;
    };

    void Init(TMxScheduler& Scheduler);
    void Step(TMxTask& Task);
    void ExecJob();
    void UpdatePass();
    void TimerExpiration();
    void RemoveRequest(TServiceItem& Item);
    void JobDestroyed(TServiceJob& Job);
    void SetStatus(TProviderStatus S) { FStatus = S; }
    // Runs a handler; an exception is shown to the user.
    static void Guarded(const std::function<void()>& Handler);

    MyAnsiString FName;
    std::vector<TServiceClient*> FClientList;
    std::deque<TServiceItem*> FRequestList;
    mutable std::mutex FStatusLock; // status and its timer (the timer thread)
    TProviderStatus FStatus = psIdle;
    TMxSignal FWorkSignal;
    TObject* FData;
    TServiceClient* FCurrentClient = nullptr;
    TServiceJob* FCurrentJob = nullptr;
    bool FCurrentJobGone = false;
    bool FUpdateRequest = false;
    int FUpdateLockCounter = 0;
    std::vector<std::unique_ptr<TServiceJob>> FOwnedJobs;
    std::unique_ptr<TWaitTimer> FTimer;
    std::unique_ptr<TMxTask> FWorkTask;
};

} // namespace vo
