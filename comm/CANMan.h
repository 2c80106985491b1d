#pragma once
// The CAN manager: the program-wide holder of the CAN interfaces and baud
// rates, the debugging switch of the CAN report lines and the CAN driver whose
// settings the manager view edits; it also makes raw CAN ports for scripts,
// which receive on the manager's own thread manager.
#include "comm/CANdrv.h"
#include "platform/AnsiString.h"

#include <atomic>
#include <memory>
#include <vector>

namespace vo {

class TCANComDrv;
class TThreadManager;

class TCANInterface {
public:
    TCANInterface(MyAnsiString Name, TCANInterfaceData Data) : FName(std::move(Name)), FData(Data) {}
    MyAnsiString FName;
    TCANInterfaceData FData;
    bool FIsFree = true;
};

class TCANManager {
public:
    // One interface per row of the interface table, its own thread manager,
    // debugging off.
    TCANManager();
    ~TCANManager();
    TCANManager(const TCANManager&) = delete;
    TCANManager& operator=(const TCANManager&) = delete;

    void AssignCANDriver(std::shared_ptr<TCANDriver> ACANDriver);
    std::shared_ptr<TCANDriver> CANDriver() const;

    static int32_t GetNoOfBaudRates() { return static_cast<int32_t>(CANTimingDataArray.size()); }
    static MyAnsiString GetBaudRateString(int32_t Index);
    int32_t GetNoOfInterfaces() const { return static_cast<int32_t>(CANInterfaceList.size()); }
    MyAnsiString GetInterfaceName(int32_t Index) const;
    const TCANInterface* GetCANInterface(int32_t Index) const;

    bool DebugingEnabled() const { return FDebugingEnabled.load(); }
    void SetDebugingEnabled(bool Value) { FDebugingEnabled.store(Value); }

    // A new raw CAN port on the manager's thread manager (owned by the caller).
    std::unique_ptr<TCANComDrv> CreateCANComDrv();
    TThreadManager& ThreadManager() { return *FThreadManager; }

private:
    std::unique_ptr<TThreadManager> FThreadManager;
    std::shared_ptr<TCANDriver> FCANDriver;
    mutable std::mutex FLock; // FCANDriver
    std::vector<TCANInterface> CANInterfaceList;
    std::atomic<bool> FDebugingEnabled{false};
};

// The program's manager (nullptr until the composition root sets it).
TCANManager* CANManager() noexcept;
void SetCANManager(TCANManager* Manager) noexcept;

} // namespace vo
