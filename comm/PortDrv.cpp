#include "comm/PortDrv.h"

namespace vo {

TPortDriver::TPortDriver(int32_t APortCount) : FPortCount(APortCount < 0 ? 0 : APortCount) {}

TPortDriver::~TPortDriver() {
    TPortDriver::Close();
}

void TPortDriver::Open(TMxScheduler& AScheduler, TThreadManager& AThreadManager) {
    std::lock_guard lock(FLock);
    if (FPortIsOpen.load())
        return;
    FScheduler = &AScheduler;
    FThreadManager = &AThreadManager;
    PInpEventArray.clear();
    PErrEventArray.clear();
    FPortIsOpen.store(true);
}

void TPortDriver::Close() {
    std::lock_guard lock(FLock);
    if (!FPortIsOpen.load())
        return;
    FPortIsOpen.store(false);
    PInpEventArray.clear();
    PErrEventArray.clear();
    FScheduler = nullptr;
}

uint8_t TPortDriver::Assign(int32_t PortIndex, TInpEvent OnInput, TErrEvent OnError) {
    std::lock_guard lock(FLock);
    const bool eth = IsEth();
    if (PortIndex < 0 || (!eth && PortIndex >= FPortCount))
        return OvraResIndexOutOfRange;
    // Ethernet positions are slave positions, bounded by the table size too.
    if (PortIndex >= FPortCount)
        return OvraResIndexOutOfRange;
    const auto idx = static_cast<size_t>(PortIndex);

    if (OnInput) {
        if (idx < PInpEventArray.size() && PInpEventArray[idx]) {
            if (FPortType == "CAN" && PortIndex == 0) {
                // The CAN scan rebinds index 0 for every probe.
                PInpEventArray[idx] = std::move(OnInput);
                PErrEventArray[idx] = std::move(OnError);
                return OvraResReplaced;
            }
            return OvraResIndexBound;
        }
        if (idx >= PInpEventArray.size()) {
            PInpEventArray.resize(idx + 1);
            PErrEventArray.resize(idx + 1);
        }
        PInpEventArray[idx] = std::move(OnInput);
        PErrEventArray[idx] = std::move(OnError);
        return 0;
    }

    if (idx >= PInpEventArray.size())
        return 0;
    if (eth && PortIndex != FPortCount - 1) {
        // The entries keep the order of the Ethernet driver's slave list: the
        // later ones move down by one and the last position becomes free.
        PInpEventArray.erase(PInpEventArray.begin() + PortIndex);
        PErrEventArray.erase(PErrEventArray.begin() + PortIndex);
    } else {
        PInpEventArray[idx] = nullptr;
        PErrEventArray[idx] = nullptr;
    }
    // Trailing unbound entries are not kept.
    while (!PInpEventArray.empty() && !PInpEventArray.back()) {
        PInpEventArray.pop_back();
        PErrEventArray.pop_back();
    }
    return 0;
}

bool TPortDriver::IsBound(int32_t PortIndex) const {
    std::lock_guard lock(FLock);
    if (PortIndex < 0)
        return false;
    const auto idx = static_cast<size_t>(PortIndex);
    return idx < PInpEventArray.size() && static_cast<bool>(PInpEventArray[idx]);
}

bool TPortDriver::SetBaudRate(uint32_t) {
    return false;
}

uint8_t TPortDriver::Output(int32_t PortIndex, const MyAnsiString& Msg) {
    if (!FPortIsOpen.load())
        return OvraResPortNotOpen;
    if (!IsEth() && (PortIndex < 0 || PortIndex >= FPortCount))
        return OvraResIndexOutOfRange;
    return Send(PortIndex, Msg);
}

void TPortDriver::Input(int32_t PortIndex, const MyAnsiString& Msg) {
    std::lock_guard lock(FLock);
    if (PortIndex < 0 || PortIndex >= FPortCount)
        return;
    const auto idx = static_cast<size_t>(PortIndex);
    if (idx >= PInpEventArray.size() || !PInpEventArray[idx])
        return;
    // Called under the lock: an unbinding on another thread waits for it.
    PInpEventArray[idx](PortIndex, Msg);
}

MyAnsiString TPortDriver::PortName() const {
    std::lock_guard lock(FLock);
    return FPortName;
}

void TPortDriver::SetPortName(const MyAnsiString& Name) {
    std::lock_guard lock(FLock);
    FPortName = Name;
}

TMxScheduler* TPortDriver::Scheduler() const {
    std::lock_guard lock(FLock);
    return FScheduler;
}

TThreadManager* TPortDriver::ThreadManager() const {
    std::lock_guard lock(FLock);
    return FThreadManager;
}

} // namespace vo
