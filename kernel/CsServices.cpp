#include "kernel/CsServices.h"

#include <algorithm>
#include <exception>
#include <string>

#include "kernel/Debug.h"
#include "kernel/UserPrompt.h"

namespace vo {

namespace {
std::string Msg(const char* Class, const char* Text) { return std::string(Class) + Text; }
} // namespace

// ---------------------------------------------------------------- client

TServiceClient::~TServiceClient() {
    try {
        Disconnect();
    } catch (...) {
    }
}

TServiceProvider& TServiceClient::Provider(const char* Operation) const {
    if (!FServiceProvider)
        throw Exception(std::string(ClassName()) + "." + Operation + ": client isn't connected");
    return *FServiceProvider;
}

void TServiceClient::Connect(TServiceProvider& AServiceProvider) {
    if (FServiceProvider) throw Exception(Msg(ClassName(), ".Connect: client already connected"));
    AServiceProvider.ClientConnect(*this);
}

void TServiceClient::Disconnect() {
    if (!FServiceProvider) return;
    if (FRequestPending) Release();
    if (FServiceProvider) FServiceProvider->ClientDisconnect(*this);
}

void TServiceClient::Request() { Provider("Request").ClientRequest(*this); }

void TServiceClient::Wait(std::int32_t ATimeout) { Provider("Wait").ClientWait(*this, ATimeout); }

void TServiceClient::Continue() { Provider("Continue").ClientContinue(*this); }

void TServiceClient::Release() {
    Provider("Release").ClientRelease(*this);
    FRequestPending = false;
    if (FClientPool) FClientPool->PutServiceClient(*this);
}

void TServiceClient::RequestUpdate() { Provider("RequestUpdate").ClientRequestUpdate(*this); }

void TServiceClient::ProviderUpdate() {
    if (FOnUpdate) FOnUpdate(*this);
}

void TServiceClient::ProviderExecute() {
    try {
        if (FOnExecute) FOnExecute(*this);
    } catch (const std::exception& e) {
        MessageDlg(e.what(), TMsgDlgType::mtError, {TMsgDlgBtn::mbOK});
    }
}

// ---------------------------------------------------------------- job

TServiceJob::~TServiceJob() {
    if (FServiceProvider) FServiceProvider->JobDestroyed(*this);
}

void TServiceJob::Announce(TServiceProvider& AServiceProvider) {
    if (FRequestPending) throw Exception(Msg(AServiceProvider.ClassName(), ".JobExecute: request already pending"));
    AServiceProvider.JobAnnounce(*this);
}

TServiceJob& TServiceJob::Announce(std::unique_ptr<TServiceJob> Job, TServiceProvider& AServiceProvider) {
    if (!Job) throw Exception(Msg(AServiceProvider.ClassName(), ".JobExecute: no job"));
    TServiceJob& j = *Job;
    j.Announce(AServiceProvider);
    AServiceProvider.FOwnedJobs.push_back(std::move(Job));
    return j;
}

void TServiceJob::ProviderJobExecute(bool& FreeJob) {
    if (FOnExecute) FOnExecute(*this, FreeJob);
}

// ---------------------------------------------------------------- pool

TServiceClientPool::~TServiceClientPool() {
    for (auto& c : FAll) {
        c->FClientPool = nullptr;
        c->FOnUpdate = nullptr;
        c->FOnExecute = nullptr;
        c->FOnNotify = nullptr;
    }
}

TServiceClient* TServiceClientPool::GetServiceClient() {
    TServiceClient* c;
    if (!ClientList.empty()) {
        c = ClientList.back();
        ClientList.pop_back();
    } else {
        FAll.push_back(std::make_unique<TServiceClient>());
        c = FAll.back().get();
    }
    c->FClientPool = this;
    return c;
}

void TServiceClientPool::PutServiceClient(TServiceClient& AClient) {
    if (AClient.FClientPool != this) throw Exception(Msg(ClassName(), ".PutServiceClient: client not from this pool"));
    AClient.FClientPool = nullptr;
    AClient.Disconnect();
    AClient.FOnUpdate = nullptr;
    AClient.FOnExecute = nullptr;
    AClient.FOnNotify = nullptr;
    ClientList.push_back(&AClient);
}

TServiceClientPool& ServiceClientPool() {
    // Program-wide; never freed, so that pooled clients outlive every provider.
    static TServiceClientPool* pool = new TServiceClientPool;
    return *pool;
}

// ---------------------------------------------------------------- provider

TServiceProvider::TServiceProvider(TObject* AData, MyAnsiString AName)
    : FName(std::move(AName)), FData(AData ? AData : this) {
    TMxScheduler* main = MxScheduler();
    if (!main) throw Exception("Main Scheduler not created!");
    Init(*main);
}

TServiceProvider::TServiceProvider(TMxScheduler& AScheduler, TObject* AData, MyAnsiString AName)
    : FName(std::move(AName)), FData(AData ? AData : this) {
    Init(AScheduler);
}

void TServiceProvider::Init(TMxScheduler& Scheduler) {
    FTimer = std::make_unique<TWaitTimer>(*this);
    FWorkTask = std::make_unique<TMxTask>(Scheduler, "ServiceProvider");
    FWorkTask->SetOnExecute([this](TMxTask& t) { Step(t); });
    FWorkTask->Start();
}

TServiceProvider::~TServiceProvider() {
    FTimer->StopAndWait();
    FWorkTask.reset();
    FTimer.reset();
    // Queued jobs that others own are only forgotten; owned ones go.
    for (TServiceItem* item : FRequestList) {
        item->FRequestPending = false;
        if (dynamic_cast<TServiceJob*>(item)) item->FServiceProvider = nullptr;
    }
    FRequestList.clear();
    if (FCurrentJob && !FCurrentJobGone) {
        FCurrentJob->FRequestPending = false;
        FCurrentJob->FServiceProvider = nullptr;
    }
    FCurrentJob = nullptr;
    for (auto& j : FOwnedJobs) j->FServiceProvider = nullptr;
    FOwnedJobs.clear();
    if (FCurrentClient) FCurrentClient->FRequestPending = false;
    FCurrentClient = nullptr;
    // Clients stay alive; they are simply no longer connected.
    for (TServiceClient* c : FClientList) {
        c->FRequestPending = false;
        c->FServiceProvider = nullptr;
    }
    FClientList.clear();
}

TProviderStatus TServiceProvider::Status() const {
    std::lock_guard l(FStatusLock);
    return FStatus;
}

void TServiceProvider::Guarded(const std::function<void()>& Handler) {
    try {
        Handler();
    } catch (const std::exception& e) {
        MessageDlg(e.what(), TMsgDlgType::mtError, {TMsgDlgBtn::mbOK});
    }
}

void TServiceProvider::BeginUpdate() {
    if (Status() == psUpdate) {
        LogInfo(FName + ": " + std::to_string(FUpdateLockCounter) + " Begin of Update");
        return;
    }
    ++FUpdateLockCounter;
}

void TServiceProvider::EndOfUpdate() {
    if (FUpdateLockCounter > 0)
        --FUpdateLockCounter;
    else
        LogInfo(FName + ": " + std::to_string(FUpdateLockCounter) + " End of Update");
    if (FUpdateLockCounter == 0) {
        FUpdateRequest = true;
        FWorkSignal.SetReady(true);
    }
}

void TServiceProvider::NotifyCurrentClient(TObject* Sender) {
    if (FCurrentClient && FCurrentClient->FOnNotify) FCurrentClient->FOnNotify(Sender);
}

TServiceClient* TServiceProvider::RequestClient(TClientEvent AExecuteEvent) {
    TServiceClient* c = ServiceClientPool().GetServiceClient();
    c->FOnExecute = std::move(AExecuteEvent);
    c->Connect(*this);
    c->Request();
    return c;
}

void TServiceProvider::ClientConnect(TServiceClient& Client) {
    if (std::find(FClientList.begin(), FClientList.end(), &Client) != FClientList.end())
        throw Exception(Msg(ClassName(), ".ClientConnect: client already connected"));
    FClientList.push_back(&Client);
    Client.FServiceProvider = this;
}

void TServiceProvider::ClientDisconnect(TServiceClient& Client) {
    if (FCurrentClient == &Client) ClientRelease(Client);
    RemoveRequest(Client);
    Client.FRequestPending = false;
    FClientList.erase(std::remove(FClientList.begin(), FClientList.end(), &Client), FClientList.end());
    Client.FServiceProvider = nullptr;
}

void TServiceProvider::ClientRequest(TServiceClient& Client) {
    if (Client.FRequestPending) throw Exception(Msg(ClassName(), ".ClientRequest: request already pending"));
    FRequestList.push_back(&Client);
    Client.FRequestPending = true;
    FWorkSignal.SetReady(true);
}

void TServiceProvider::JobAnnounce(TServiceJob& Job) {
    if (Job.FRequestPending) throw Exception(Msg(ClassName(), ".JobExecute: request already pending"));
    Job.FServiceProvider = this;
    FRequestList.push_back(&Job);
    Job.FRequestPending = true;
    FWorkSignal.SetReady(true);
}

void TServiceProvider::ClientWait(TServiceClient& Client, std::int32_t Interval) {
    if (FCurrentClient != &Client) throw Exception(Msg(ClassName(), ".ClientWait: client isn't current client"));
    std::lock_guard l(FStatusLock);
    if (FStatus != psExecClient) throw Exception(Msg(ClassName(), ".ClientWait: wrong state for this operation"));
    FStatus = psWaitClient;
    FTimer->Initialize(Interval < 0 ? 0 : Interval, false, true);
}

void TServiceProvider::ClientContinue(TServiceClient& Client) {
    if (FCurrentClient != &Client)
        throw Exception(Msg(ClassName(), ".ClientContinue: client isn't current client"));
    std::lock_guard l(FStatusLock);
    if (FStatus != psWaitClient)
        throw Exception(Msg(ClassName(), ".ClientContinue: wrong state for this operation"));
    FStatus = psExecClient;
    FTimer->Stop();
    FWorkSignal.SetReady(true);
}

void TServiceProvider::ClientRelease(TServiceClient& Client) {
    if (FCurrentClient == &Client) {
        std::lock_guard l(FStatusLock);
        FCurrentClient = nullptr;
        FStatus = psIdle;
        FTimer->Stop();
        FWorkSignal.SetReady(true);
    } else {
        RemoveRequest(Client);
    }
}

void TServiceProvider::ClientRequestUpdate(TServiceClient& Client) {
    if (FCurrentClient != &Client)
        throw Exception(Msg(ClassName(), ".ClientUpdateRequest: client isn't current client"));
    FUpdateRequest = true;
}

void TServiceProvider::RemoveRequest(TServiceItem& Item) {
    auto it = std::find(FRequestList.begin(), FRequestList.end(), &Item);
    if (it != FRequestList.end()) FRequestList.erase(it);
}

void TServiceProvider::JobDestroyed(TServiceJob& Job) {
    RemoveRequest(Job);
    if (FCurrentJob == &Job) FCurrentJobGone = true;
}

void TServiceProvider::TWaitTimer::Expiration() { FOwner.TimerExpiration(); }

void TServiceProvider::TimerExpiration() {
    // Timer thread. A late expiration (the client continued, was released or
    // waits again since) must not change anything.
    std::lock_guard l(FStatusLock);
    if (!FTimer->Current()) return;
    if (FStatus == psWaitClient && FCurrentClient) {
        FStatus = psExecClient;
        FWorkSignal.SetReady(true);
    }
}

void TServiceProvider::Step(TMxTask& Task) {
    switch (Status()) {
    case psIdle:
        if (FUpdateRequest) {
            std::lock_guard l(FStatusLock);
            FStatus = psUpdate;
        } else if (FRequestList.empty()) {
            FWorkSignal.SetReady(false);
        } else {
            TServiceItem* item = FRequestList.front();
            FRequestList.pop_front();
            std::lock_guard l(FStatusLock);
            if (auto* client = dynamic_cast<TServiceClient*>(item)) {
                FCurrentClient = client;
                FStatus = psExecClient;
            } else {
                FCurrentJob = static_cast<TServiceJob*>(item);
                FCurrentJobGone = false;
                FStatus = psExecJob;
            }
        }
        break;
    case psExecJob:
        ExecJob();
        break;
    case psExecClient:
        if (FCurrentClient) {
            FCurrentClient->ProviderExecute();
        } else {
            std::lock_guard l(FStatusLock);
            FStatus = psIdle;
        }
        break;
    case psWaitClient: {
        // Under the status lock: a wait timer that expires right now is not lost.
        std::lock_guard l(FStatusLock);
        if (FStatus == psWaitClient) FWorkSignal.SetReady(false);
        break;
    }
    case psUpdate:
        UpdatePass();
        break;
    }
    Task.WaitFor(FWorkSignal, MxInfinite);
}

void TServiceProvider::ExecJob() {
    TServiceJob* job = FCurrentJob;
    bool freeJob = false;
    if (FOnExecuteJob) Guarded([&] { FOnExecuteJob(*job, freeJob); });
    if (!freeJob && !FCurrentJobGone) {
        freeJob = true;
        Guarded([&] { job->ProviderJobExecute(freeJob); });
    }
    if (!FCurrentJobGone) {
        job->FRequestPending = false;
        auto owned = std::find_if(FOwnedJobs.begin(), FOwnedJobs.end(),
                                  [job](const std::unique_ptr<TServiceJob>& p) { return p.get() == job; });
        if (freeJob) {
            if (owned != FOwnedJobs.end()) {
                std::unique_ptr<TServiceJob> gone = std::move(*owned);
                FOwnedJobs.erase(owned);
                gone->FServiceProvider = nullptr;
            } else {
                job->FServiceProvider = nullptr; // the owner's job: only forgotten
            }
        }
    }
    FCurrentJob = nullptr;
    FCurrentJobGone = false;
    std::lock_guard l(FStatusLock);
    FStatus = psIdle;
}

void TServiceProvider::UpdatePass() {
    // A snapshot, last connected first; clients that disconnect during the
    // pass are skipped.
    std::vector<TServiceClient*> clients(FClientList.rbegin(), FClientList.rend());
    for (TServiceClient* c : clients) {
        if (std::find(FClientList.begin(), FClientList.end(), c) == FClientList.end()) continue;
        Guarded([c] { c->ProviderUpdate(); });
    }
    if (FOnUpdateDone) Guarded([this] { FOnUpdateDone(this); });
    FUpdateRequest = false;
    std::lock_guard l(FStatusLock);
    FStatus = psIdle;
}

} // namespace vo
