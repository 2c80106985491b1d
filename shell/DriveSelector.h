#pragma once
// The drive selector of the project tree window without any GUI library: the
// drives it lists, which one it selects after the device manager changed,
// and the tree paths it sends the window to.
#include "platform/AnsiString.h"

#include <vector>

namespace vo {

class TDeviceManager;

struct TSelectorEntry {
    MyAnsiString Caption; // the drive's model caption
    MyAnsiString Suffix; // its page: "\Control Panel", "\Parameters" or ""
};

// The listed drives in the device manager's order: online drives (at the
// control panel when its service has started, else at the parameters) and
// offline drives (at the drive itself); others are not listed.
std::vector<TSelectorEntry> SelectorEntries(const TDeviceManager& Devices);

// The index to select after the list was built again from OldCount to
// NewCount items, OldIndex selected before (-1: none). When a device came or
// went (UpdatePending): the last item if the count changed or nothing was
// selected, else the old index. Otherwise the old index. -1 when the list is
// empty or the old index is gone.
int SelectorIndexAfterUpdate(int OldIndex, int OldCount, int NewCount, bool UpdatePending);

// Where the window goes for the selected item: "Project:\\" + caption + the
// item's own page suffix; the root ("Project:\\") without selection.
MyAnsiString SelectorPath(const std::vector<TSelectorEntry>& Entries, int Index);

// The path after the user picked another drive: the drive segment of
// CurrentPath is replaced by Drive and the page below it kept. A path outside
// any drive goes to the drive itself.
MyAnsiString SwitchDrivePath(const MyAnsiString& CurrentPath, const MyAnsiString& Drive);

} // namespace vo
