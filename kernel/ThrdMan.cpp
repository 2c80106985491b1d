#include "kernel/ThrdMan.h"

#include "kernel/Debug.h"
#include "platform/Exception.h"

#include <cerrno>
#include <chrono>

namespace vo {

// ---------------------------------------------------------------- TOurThread

void TOurThread::SetName() const {
    SetCurrentThreadName(ThreadName());
}

void TOurThread::SetThreadName(std::string Name) {
    {
        std::lock_guard<std::mutex> lock(FNameMutex);
        FThreadName = Name;
    }
    RenameThread(Name);
}

std::string TOurThread::ThreadName() const {
    std::lock_guard<std::mutex> lock(FNameMutex);
    return FThreadName;
}

// ---------------------------------------------------------------- TThreadClient

void TThreadClient::SetOnEvent(TNotifyEvent Handler) {
    std::lock_guard<std::recursive_mutex> lock(FHandlerMutex);
    FOnEvent = std::move(Handler);
}

void TThreadClient::AttachWaitHandle(int Fd, short Events) {
    {
        std::lock_guard<std::mutex> lock(FOwner->FListMutex);
        FWaitFd = Fd;
        FWaitEvents = Events;
        FOwner->FChanges.fetch_add(1);
    }
    FOwner->Wake();
}

void TThreadClient::Release() {
    TThreadManager* owner = FOwner;
    {
        std::lock_guard<std::mutex> lock(owner->FListMutex);
        FReleaseRequest.store(true);
        owner->FChanges.fetch_add(1);
    }
    owner->Wake(); // the client may be freed from here on
}

void TThreadClient::DoEvent() {
    std::lock_guard<std::recursive_mutex> lock(FHandlerMutex);
    if (FOnEvent && !FReleaseRequest.load())
        FOnEvent(*this);
}

// ---------------------------------------------------------------- TThreadManager

TThreadManager::TThreadManager() : TOurThread("ThreadManager") {
    Start();
}

TThreadManager::~TThreadManager() {
    Terminate();
    Wake();
    WaitFor();
}

TThreadClient* TThreadManager::NewThreadClient() {
    TThreadClient* client;
    {
        std::lock_guard<std::mutex> lock(FListMutex);
        size_t live = 0;
        for (const auto& c : FClientList)
            if (!c->FReleaseRequest.load())
                ++live;
        if (live >= MaxClients)
            throw Exception(std::string(ClassName()) + ".NewThreadClient: maximum of clients reached");
        FClientList.push_back(std::unique_ptr<TThreadClient>(new TThreadClient(this)));
        client = FClientList.back().get();
        FChanges.fetch_add(1);
    }
    Wake();
    return client;
}

size_t TThreadManager::ListedClients() const {
    std::lock_guard<std::mutex> lock(FListMutex);
    return FClientList.size();
}

bool TThreadManager::WaitUntilSettled(int64_t TimeoutMs) {
    const uint64_t target = FChanges.load();
    std::unique_lock<std::mutex> lock(FSettleMutex);
    return FSettleCond.wait_for(lock, std::chrono::milliseconds(TimeoutMs), [&] { return FSettled.load() >= target; });
}

void TThreadManager::Rebuild() {
    std::vector<std::unique_ptr<TThreadClient>> dropped;
    uint64_t seen;
    {
        std::lock_guard<std::mutex> lock(FListMutex);
        seen = FChanges.load();
        // Walk from the last to the first and drop the released clients.
        for (size_t i = FClientList.size(); i-- > 0;) {
            if (FClientList[i]->FReleaseRequest.load()) {
                dropped.push_back(std::move(FClientList[i]));
                FClientList.erase(FClientList.begin() + static_cast<long>(i));
            }
        }
        unsigned n = 0;
        for (const auto& c : FClientList) {
            if (n == MaxClients)
                break; // cannot happen: NewThreadClient keeps the limit
            ++n;
            FArrayClients[n] = c.get();
            if (c->FWaitFd >= 0) {
                FEventArray[n] = pollfd{c->FWaitFd, c->FWaitEvents, 0};
                FOwnEvent[n] = false;
            } else {
                FEventArray[n] = pollfd{c->FEventHandle.Handle(), POLLIN, 0};
                FOwnEvent[n] = true;
            }
        }
        FClientCount.store(n);
    }
    dropped.clear(); // frees the released clients outside the lock
    {
        std::lock_guard<std::mutex> lock(FSettleMutex);
        FSettled.store(seen);
    }
    FSettleCond.notify_all();
}

void TThreadManager::Execute() {
    SetName();
    FEventArray[0] = pollfd{FControlEvent.Handle(), POLLIN, 0};
    Rebuild();
    while (!Terminated()) {
        const unsigned count = FClientCount.load();
        for (unsigned i = 0; i <= count; ++i)
            FEventArray[i].revents = 0;
        int r = ::poll(FEventArray.data(), count + 1, -1);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            // The wait itself failed: report it and end the thread cleanly.
            LogError("TThreadManager: WaitForMultipleObjects failed");
            return;
        }
        if (Terminated())
            break;
        if (FEventArray[0].revents) {
            FControlEvent.ResetEvent();
            Rebuild(); // the array changed: wait again before serving clients
            continue;
        }
        // Serve every signalled client, lowest index first.
        for (unsigned k = 1; k <= count; ++k) {
            if (!FEventArray[k].revents)
                continue;
            TThreadClient* c = FArrayClients[k];
            if (FOwnEvent[k]) {
                c->FEventHandle.ResetEvent();
            } else if (FEventArray[k].revents & POLLNVAL) {
                // The outside descriptor was closed under us: wait on the
                // client's own event again instead of spinning on it.
                LogError(ThreadName() + ": client descriptor is not open any more");
                {
                    std::lock_guard<std::mutex> lock(FListMutex);
                    c->FWaitFd = -1;
                    FChanges.fetch_add(1);
                }
                Wake();
                continue;
            }
            try {
                c->DoEvent();
            } catch (const std::exception& e) {
                LogError(ThreadName() + ": client handler failed: " + e.what());
            } catch (...) {
                LogError(ThreadName() + ": client handler failed");
            }
        }
    }
}

} // namespace vo
