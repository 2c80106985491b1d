#pragma once
// The devices the communication server opens (TOvraDevice: a device driver
// with a name, a handle and the off-line rule) and the server's list of them
// by handle (TOvraDeviceList).
//
// Devices are shared: the list holds each open device, and a server actor
// that executes a record for it holds it too, so closing a device while one
// of its records runs never frees it under the actor (the device is detached
// from its port at once and goes away with its last holder).
#include "comm/DevDrv.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace vo {

class TOvraDevice : public TDeviceDriver {
public:
    TOvraDevice(MyAnsiString AName, std::shared_ptr<TPortDriver> APort, int32_t AIndex, TMxQueue* MainQueue);

    // Passes the login telegram (first byte 0x01) always and every other
    // frame while on-line; otherwise Handled and 0xA0.
    uint8_t ModifyOutput(MyAnsiString& Frame, bool& Handled) override;
    void ModifyInput(MyAnsiString& Frame, bool& Handled) override;

    bool OnLine() const { return FOnLine.load(); }
    void SetOnLine(bool Value) { FOnLine.store(Value); }
    int32_t DeviceHandle() const { return FDeviceHandle.load(); }
    const MyAnsiString& DeviceName() const { return FDeviceName; }

    const char* ClassName() const override { return "TOvraDevice"; }

private:
    friend class TOvraDeviceList;
    std::atomic<bool> FOnLine{true};
    std::atomic<int32_t> FDeviceHandle{-1};
    MyAnsiString FDeviceName;
};

using TOvraDevicePtr = std::shared_ptr<TOvraDevice>;

// Devices by handle. A handle is a slot index; closing a device empties its
// slot and the list never shrinks, so handles are never reused. Guarded: the
// GUI thread's direct opening of the CAN port adds to it as well.
class TOvraDeviceList {
public:
    // The device's handle := the number of slots; appends it. Returns the handle.
    int32_t AddDevice(TOvraDevicePtr ADevice);
    // Empties the device's slot; returns what the slot held (nullptr when
    // the device is not in the list).
    TOvraDevicePtr DeleteDevice(const TOvraDevice& ADevice);
    // Empties the slot of a handle; returns what it held.
    TOvraDevicePtr DeleteHandle(int32_t AIndex);
    // The device in that slot; nullptr for a negative index, an index beyond
    // the list or an emptied slot.
    TOvraDevicePtr DeviceWithIndex(int32_t AIndex) const;
    // The first device whose name equals AName exactly (case matters).
    TOvraDevicePtr DeviceWithName(const MyAnsiString& AName) const;
    // Number of slots (emptied ones included).
    int32_t Count() const;
    // Every open device, by handle.
    std::vector<TOvraDevicePtr> Devices() const;
    // Empties every slot and returns what they held.
    std::vector<TOvraDevicePtr> TakeAll();

private:
    mutable std::mutex FLock;
    std::vector<TOvraDevicePtr> DeviceList;
};

} // namespace vo
