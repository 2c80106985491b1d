#pragma once
// The device interface: one simple handle on a drive for scripts, one
// telegram at a time. Each of the 27 operations sends one telegram; the
// answer comes back through OnResponse with the result byte in Error (0 =
// success) and, for reads, the value in Data or DataStr. A second operation
// before the answer raises "OvraInterface.<operation>: interface not ready".
//
// The factory creates an interface for a device by name; the composition root
// registers it in the object registry as "OvraInterfaceFactory" (version 1).
// The implementation is in devices/OvraImpl.h.
#include "platform/AnsiString.h"

#include <cstdint>
#include <functional>

namespace vo {

class TOvraInterface;

using TOvraInterfaceEvent = std::function<void(TOvraInterface& Sender)>;

class TOvraInterface {
public:
    TOvraInterface() = default;
    virtual ~TOvraInterface() = default;
    TOvraInterface(const TOvraInterface&) = delete;
    TOvraInterface& operator=(const TOvraInterface&) = delete;

    // The 27 operations, in their fixed order.
    virtual void ReadMemory(int32_t AAddress) = 0;
    virtual void WriteMemory(int32_t AAddress, int32_t AData) = 0;
    virtual void WriteFlash(int32_t AAddress, int32_t AData) = 0;
    virtual void StartProgram() = 0;
    virtual void StopProgram() = 0;
    virtual void OldStartProgram(int32_t AAddress) = 0;
    virtual void EraseFlash(int32_t AAddress) = 0;
    virtual void EraseFlashAll() = 0;
    virtual void ResetDevice() = 0;
    virtual void RebootDevice(int32_t Option) = 0;
    virtual void DeviceLogin(const MyAnsiString& APassword) = 0;
    virtual void DeviceLogout() = 0;
    virtual void CopyRamToFlash(int32_t RamStartAddr, int32_t FlashStartAddr, int32_t BlockSize) = 0;
    virtual void GetFirstEmptyAddr(int32_t StartAddr, int32_t EndAddr) = 0;
    virtual void BlinkDevice(const MyAnsiString& AStr) = 0;
    virtual void SetParWithUPID(const MyAnsiString& AStr) = 0;
    virtual void GetParWithUPID(const MyAnsiString& AStr) = 0;
    virtual void SetBlockUPID(const MyAnsiString& AStr) = 0;
    virtual void GetBlockUPID(const MyAnsiString& AStr) = 0;
    virtual void ClearInstancePar(int32_t Instance) = 0;
    virtual void ClearInstanceAll(int32_t Instance) = 0;
    virtual void SetInstanceDefPar(int32_t Instance) = 0;
    virtual void GetInstanceTreeName(int32_t Instance) = 0;
    virtual void UpdateUPIDList() = 0;
    virtual void EraseMemory() = 0;
    virtual void CurveSaveRamToFlash() = 0;
    virtual void CTSaveRamToFlash() = 0;

    // Called with the interface after each answer.
    void SetOnResponse(TOvraInterfaceEvent Handler) { FOnResponse = std::move(Handler); }
    const TOvraInterfaceEvent& OnResponse() const { return FOnResponse; }
    // The text result of the last read that returns text (GetParWithUPID,
    // GetBlockUPID, GetInstanceTreeName).
    const MyAnsiString& DataStr() const { return FDataStr; }
    // The number result of the last read that returns a number, or the data
    // of the last write.
    int32_t Data() const { return FData; }
    // The address of the last memory or flash operation that stores it.
    int32_t Address() const { return FAddress; }
    // The result byte of the last answer (0 = success). Read values are
    // meaningful only when it is 0.
    uint8_t Error() const { return FError; }
    int32_t Mask() const { return FMask; }

    void* UserData = nullptr; // free for the user

protected:
    TOvraInterfaceEvent FOnResponse;
    MyAnsiString FDataStr;
    int32_t FData = 0;
    int32_t FAddress = 0;
    uint8_t FError = 0;
    int32_t FMask = 0;
};

class TOvraInterfaceFactory {
public:
    TOvraInterfaceFactory() = default;
    virtual ~TOvraInterfaceFactory() = default;
    TOvraInterfaceFactory(const TOvraInterfaceFactory&) = delete;
    TOvraInterfaceFactory& operator=(const TOvraInterfaceFactory&) = delete;

    // A new interface on the named device's connection service; the caller
    // gives it back with ReleaseOvraInterface.
    virtual TOvraInterface& CreateOvraInterface(const MyAnsiString& DeviceName) = 0;
    // Frees an interface this factory created (others are ignored).
    virtual void ReleaseOvraInterface(TOvraInterface& AOvraInterface) = 0;
};

// The program's factory (nullptr until the composition root creates it).
TOvraInterfaceFactory* OvraInterfaceFactory() noexcept;
void SetOvraInterfaceFactory(TOvraInterfaceFactory* Factory) noexcept;

} // namespace vo
