#include "comm/OvraDev.h"

#include <utility>

namespace vo {

TOvraDevice::TOvraDevice(MyAnsiString AName, std::shared_ptr<TPortDriver> APort, int32_t AIndex, TMxQueue* MainQueue)
    : TDeviceDriver(std::move(APort), AIndex, MainQueue), FDeviceName(std::move(AName)) {
}

uint8_t TOvraDevice::ModifyOutput(MyAnsiString& Frame, bool& Handled) {
    const bool login = !Frame.empty() && static_cast<uint8_t>(Frame[0]) == 0x01;
    if (login || FOnLine.load()) {
        Handled = false;
        return 0;
    }
    Handled = true;
    return OvraResOffLine;
}

void TOvraDevice::ModifyInput(MyAnsiString&, bool&) {}

int32_t TOvraDeviceList::AddDevice(TOvraDevicePtr ADevice) {
    std::lock_guard lock(FLock);
    const auto handle = static_cast<int32_t>(DeviceList.size());
    if (ADevice)
        ADevice->FDeviceHandle.store(handle);
    DeviceList.push_back(std::move(ADevice));
    return handle;
}

TOvraDevicePtr TOvraDeviceList::DeleteDevice(const TOvraDevice& ADevice) {
    std::lock_guard lock(FLock);
    for (auto& slot : DeviceList)
        if (slot.get() == &ADevice)
            return std::exchange(slot, nullptr);
    return nullptr;
}

TOvraDevicePtr TOvraDeviceList::DeleteHandle(int32_t AIndex) {
    std::lock_guard lock(FLock);
    if (AIndex < 0 || static_cast<size_t>(AIndex) >= DeviceList.size())
        return nullptr;
    return std::exchange(DeviceList[static_cast<size_t>(AIndex)], nullptr);
}

TOvraDevicePtr TOvraDeviceList::DeviceWithIndex(int32_t AIndex) const {
    std::lock_guard lock(FLock);
    if (AIndex < 0 || static_cast<size_t>(AIndex) >= DeviceList.size())
        return nullptr;
    return DeviceList[static_cast<size_t>(AIndex)];
}

TOvraDevicePtr TOvraDeviceList::DeviceWithName(const MyAnsiString& AName) const {
    std::lock_guard lock(FLock);
    for (const auto& d : DeviceList)
        if (d && d->DeviceName() == AName)
            return d;
    return nullptr;
}

int32_t TOvraDeviceList::Count() const {
    std::lock_guard lock(FLock);
    return static_cast<int32_t>(DeviceList.size());
}

std::vector<TOvraDevicePtr> TOvraDeviceList::Devices() const {
    std::lock_guard lock(FLock);
    std::vector<TOvraDevicePtr> out;
    for (const auto& d : DeviceList)
        if (d)
            out.push_back(d);
    return out;
}

std::vector<TOvraDevicePtr> TOvraDeviceList::TakeAll() {
    std::lock_guard lock(FLock);
    std::vector<TOvraDevicePtr> out;
    for (auto& d : DeviceList)
        if (d)
            out.push_back(std::exchange(d, nullptr));
    return out;
}

} // namespace vo
