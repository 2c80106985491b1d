#include "shell/DriveSelector.h"

#include "devices/DevMan.h"
#include "kernel/ModTree.h"

namespace vo {

namespace {
const MyAnsiString RootPath = "Project:\\\\";
}

std::vector<TSelectorEntry> SelectorEntries(const TDeviceManager& Devices) {
    std::vector<TSelectorEntry> out;
    for (int i = 0; i < Devices.GetDeviceCount(); ++i) {
        const TDevice& d = Devices.GetDeviceAtIndex(i);
        if (d.DeviceType() == dtOnline) {
            const auto* panel = d.FindService<TDeviceService>("ControlPanelService");
            out.push_back({d.Model().Caption(),
                           panel && panel->ServiceStatus() == dsStarted ? "\\Control Panel" : "\\Parameters"});
        } else if (d.DeviceType() == dtOffline)
            out.push_back({d.Model().Caption(), ""});
    }
    return out;
}

int SelectorIndexAfterUpdate(int OldIndex, int OldCount, int NewCount, bool UpdatePending) {
    int index = OldIndex;
    if (UpdatePending && (NewCount != OldCount || OldIndex < 0))
        index = NewCount - 1;
    return index >= 0 && index < NewCount ? index : -1;
}

MyAnsiString SelectorPath(const std::vector<TSelectorEntry>& Entries, int Index) {
    if (Index < 0 || Index >= static_cast<int>(Entries.size()))
        return RootPath;
    return RootPath + Entries[static_cast<std::size_t>(Index)].Caption + Entries[static_cast<std::size_t>(Index)].Suffix;
}

MyAnsiString SwitchDrivePath(const MyAnsiString& CurrentPath, const MyAnsiString& Drive) {
    const std::size_t at = CurrentPath.find(":\\\\");
    if (at == MyAnsiString::npos)
        return RootPath + Drive;
    const std::size_t driveStart = at + 3;
    const std::size_t rest = CurrentPath.find('\\', driveStart);
    return CurrentPath.substr(0, driveStart) + Drive + (rest == MyAnsiString::npos ? MyAnsiString() : CurrentPath.substr(rest));
}

} // namespace vo
