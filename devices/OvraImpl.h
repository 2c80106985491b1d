#pragma once
// The device interface on a drive's connection service: each operation puts
// one record of the service's pattern object into the interface's own actor
// and executes it; the actor's answer fills Error (and the read value) and
// calls OnResponse. Main scheduler only.
//
// An operation whose telegram the drive's protocol generation does not have
// (the UPID block transfers on 0x2x and 0x3x drives) sends nothing: it ends
// with the result OvraResNotSupported, delivered through OnResponse on the
// next scheduler turn like any answer.
#include "devices/OvraIntf.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vo {

class TBasicOvraService;
class TDeviceManager;
class TMxTask;
class TOvraActor;

// The drive's protocol generation has no telegram for the operation (client
// side; nothing was sent).
inline constexpr uint8_t OvraResNotSupported = 0xBD;

enum class TOvraInterfaceState : uint8_t {
    stIdle,
    stRead,
    stWrite,
    stFlash,
    stStart,
    stStop,
    stErase,
    stEraseAll,
    stReset,
    stReboot,
    stBlinkDevice,
    stLogin,
    stLogout,
    stClearPar,
    stClearAll,
    stSetDefPar,
    stCopyRamToFlash,
    stGetFirstEmptyAddr,
    stUpdateUPID,
    stSetParWithUPID,
    stGetParWithUPID,
    stSetBlockUPID,
    stGetBlockUPID,
    stGetInstanceTreeName,
    stEraseMemory,
    stEraseMemoryAll,
    stCurveSaveRamToFlash,
    stCTSaveRamToFlash,
    stError
};

class TOvraInterfaceImplementation final : public TOvraInterface {
public:
    // Takes an actor from the program's client (OvraClient()).
    explicit TOvraInterfaceImplementation(TBasicOvraService& AOvraService);
    // Gives the actor back (a pending answer is then dropped).
    ~TOvraInterfaceImplementation() override;

    void ReadMemory(int32_t AAddress) override;
    void WriteMemory(int32_t AAddress, int32_t AData) override;
    void WriteFlash(int32_t AAddress, int32_t AData) override;
    void StartProgram() override;
    void StopProgram() override;
    void OldStartProgram(int32_t AAddress) override;
    void EraseFlash(int32_t AAddress) override;
    void EraseFlashAll() override;
    void ResetDevice() override;
    void RebootDevice(int32_t Option) override;
    // The answer's protocol version, address and data widths, address
    // increment and flash base become the service's login facts, only when
    // the login succeeded.
    void DeviceLogin(const MyAnsiString& APassword) override;
    void DeviceLogout() override;
    void CopyRamToFlash(int32_t RamStartAddr, int32_t FlashStartAddr, int32_t BlockSize) override;
    void GetFirstEmptyAddr(int32_t StartAddr, int32_t EndAddr) override;
    void BlinkDevice(const MyAnsiString& AStr) override;
    void SetParWithUPID(const MyAnsiString& AStr) override;
    void GetParWithUPID(const MyAnsiString& AStr) override;
    void SetBlockUPID(const MyAnsiString& AStr) override;
    // Delivers Error only; DataStr keeps its value.
    void GetBlockUPID(const MyAnsiString& AStr) override;
    void ClearInstancePar(int32_t Instance) override;
    void ClearInstanceAll(int32_t Instance) override;
    void SetInstanceDefPar(int32_t Instance) override;
    void GetInstanceTreeName(int32_t Instance) override;
    void UpdateUPIDList() override;
    void EraseMemory() override;
    void CurveSaveRamToFlash() override;
    void CTSaveRamToFlash() override;

    TOvraInterfaceState State() const { return FState; }
    TBasicOvraService& OvraService() const { return *FOvraService; }

private:
    // Raises the operation's not-ready error unless idle, then clears the
    // actor.
    TOvraActor& Begin(const char* Operation);
    // Sets the state and executes the actor.
    void Send(TOvraInterfaceState AState);
    // The telegram does not exist for the drive: ends with
    // OvraResNotSupported on the next scheduler turn.
    void Refuse(TOvraInterfaceState AState);
    void Answer(TOvraActor& Actor);
    void Finish(uint8_t Result);

    TOvraActor* FActor;
    TBasicOvraService* FOvraService;
    TOvraInterfaceState FState = TOvraInterfaceState::stIdle;
    std::unique_ptr<TMxTask> FRefusal; // delivers refused operations
};

class TOvraInterfaceFactoryImplementation final : public TOvraInterfaceFactory {
public:
    // Devices are looked up in Manager, or in the program's device manager
    // when none is given.
    explicit TOvraInterfaceFactoryImplementation(TDeviceManager* Manager = nullptr);
    ~TOvraInterfaceFactoryImplementation() override;

    // The device's "OvraService" must be a TBasicOvraService, else raises
    // "TOvraInterfaceFactory.CreateOvraInterface: service OvraService of
    // device <name> is no TBasicOvraService"; a missing device or service
    // raises the device manager's error.
    TOvraInterface& CreateOvraInterface(const MyAnsiString& DeviceName) override;
    void ReleaseOvraInterface(TOvraInterface& AOvraInterface) override;
    size_t InterfaceCount() const { return FInterfaces.size(); }

private:
    TDeviceManager* FManager;
    std::vector<std::unique_ptr<TOvraInterface>> FInterfaces;
};

// Creates the program's factory, stores it in OvraInterfaceFactory() and
// registers it in the object registry as "OvraInterfaceFactory" (type
// "OvraInterfaceFactory", version 1, revision 0). Once per run.
void InitOvraInterfaceServer();

} // namespace vo
