#include "platform/Thread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace vo {

void SetCurrentThreadName(const std::string& Name) {
    // The kernel keeps 16 bytes including the terminating zero.
    std::string n = Name.substr(0, 15);
    pthread_setname_np(pthread_self(), n.c_str());
}

std::string GetCurrentThreadName() {
    char buf[32] = {};
    if (pthread_getname_np(pthread_self(), buf, sizeof buf) != 0)
        return {};
    return buf;
}

void SetCurrentThreadPriorityOffset(int Offset) {
    // On Linux the nice value of a normal thread can be set per thread id.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    int cur = ::getpriority(PRIO_PROCESS, tid);
    if (errno != 0)
        return;
    (void)::setpriority(PRIO_PROCESS, tid, cur + Offset);
}

// ---------------------------------------------------------------- TEvent

TEvent::TEvent(bool ManualReset, bool InitialState)
    : FManualReset(ManualReset), FSet(InitialState) {
}

void TEvent::SetEvent() {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FSet = true;
    }
    if (FManualReset)
        FCond.notify_all();
    else
        FCond.notify_one();
}

void TEvent::ResetEvent() {
    std::lock_guard<std::mutex> lock(FMutex);
    FSet = false;
}

bool TEvent::IsSet() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FSet;
}

bool TEvent::WaitFor(int64_t Milliseconds) {
    std::unique_lock<std::mutex> lock(FMutex);
    if (Milliseconds < 0) {
        FCond.wait(lock, [this] { return FSet; });
    } else if (!FCond.wait_for(lock, std::chrono::milliseconds(Milliseconds), [this] { return FSet; })) {
        return false;
    }
    if (!FManualReset)
        FSet = false;
    return true;
}

// ---------------------------------------------------------------- TThread

TThread::TThread() = default;

TThread::~TThread() {
    Terminate();
    if (FThread.joinable() && FThread.get_id() == std::this_thread::get_id())
        FThread.detach(); // destroyed from its own thread: nothing to wait for
    else
        WaitFor();
}

void TThread::Start() {
    if (FStarted)
        return;
    FStarted = true;
    FThread = std::thread([this] { Run(); });
}

void TThread::Run() {
    FThreadId.store(std::this_thread::get_id());
    try {
        Execute();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "thread '%s' ended by an exception: %s\n", GetCurrentThreadName().c_str(), e.what());
        std::lock_guard<std::mutex> lock(FFatalMutex);
        FFatal = std::current_exception();
    } catch (...) {
        std::fprintf(stderr, "thread '%s' ended by an unknown exception\n", GetCurrentThreadName().c_str());
        std::lock_guard<std::mutex> lock(FFatalMutex);
        FFatal = std::current_exception();
    }
    FFinished.store(true);
}

void TThread::WaitFor() {
    if (FThread.joinable() && FThread.get_id() != std::this_thread::get_id())
        FThread.join();
}

bool TThread::IsCurrentThread() const {
    return FThreadId.load() == std::this_thread::get_id();
}

void TThread::RenameThread(const std::string& Name) {
    if (FStarted && !FFinished.load() && FThread.joinable())
        pthread_setname_np(FThread.native_handle(), Name.substr(0, 15).c_str());
}

std::exception_ptr TThread::FatalException() const {
    std::lock_guard<std::mutex> lock(FFatalMutex);
    return FFatal;
}

} // namespace vo
