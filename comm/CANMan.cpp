#include "comm/CANMan.h"

#include "comm/CANComDriver.h"
#include "kernel/ThrdMan.h"

namespace vo {

namespace {
std::atomic<TCANManager*> GCANManager{nullptr};
} // namespace

TCANManager* CANManager() noexcept {
    return GCANManager.load();
}

void SetCANManager(TCANManager* Manager) noexcept {
    GCANManager.store(Manager);
}

TCANManager::TCANManager() : FThreadManager(std::make_unique<TThreadManager>()) {
    FThreadManager->SetThreadName("CANManager");
    for (const auto& data : CANInterfaceDataArray)
        CANInterfaceList.emplace_back(data.InterfaceName, data);
}

TCANManager::~TCANManager() {
    if (CANManager() == this)
        SetCANManager(nullptr);
}

void TCANManager::AssignCANDriver(std::shared_ptr<TCANDriver> ACANDriver) {
    std::lock_guard lock(FLock);
    FCANDriver = std::move(ACANDriver);
}

std::shared_ptr<TCANDriver> TCANManager::CANDriver() const {
    std::lock_guard lock(FLock);
    return FCANDriver;
}

MyAnsiString TCANManager::GetBaudRateString(int32_t Index) {
    if (Index < 0 || Index >= GetNoOfBaudRates())
        return {};
    return CANTimingDataArray[static_cast<size_t>(Index)].BaudRateString;
}

MyAnsiString TCANManager::GetInterfaceName(int32_t Index) const {
    const TCANInterface* i = GetCANInterface(Index);
    return i ? i->FName : MyAnsiString();
}

const TCANInterface* TCANManager::GetCANInterface(int32_t Index) const {
    if (Index < 0 || Index >= GetNoOfInterfaces())
        return nullptr;
    return &CANInterfaceList[static_cast<size_t>(Index)];
}

std::unique_ptr<TCANComDrv> TCANManager::CreateCANComDrv() {
    return std::make_unique<TCANComDrv>(FThreadManager.get());
}

} // namespace vo
