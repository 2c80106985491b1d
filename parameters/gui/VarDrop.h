#pragma once
// Parameters and variables dragged out of a list view (TVarDragData) and
// dropped on a user-defined variable section of the same drive in the project
// tree: a parameter becomes a new variable of the section, a variable is
// copied into it; either way the new variable is read again on the next pass.
// The project window asks these through its drag-over and drop hooks.
#include <vector>

class QMimeData;

namespace vo {

class TDirItem;
class TEntryItem;
class TVarItem;

// The section the dragged rows may go to: the entry's section when it is
// user-defined and every dragged row belongs to its drive; else nullptr.
TDirItem* VarDropTarget(const QMimeData& Data, const TEntryItem* Target);
inline bool VarDragAccepted(const QMimeData& Data, const TEntryItem* Target) {
    return VarDropTarget(Data, Target) != nullptr;
}
// Makes the variables (in drag order; parameters without a variable
// counterpart are left out), each with vfValid cleared. Nothing for a drop
// that is not accepted.
std::vector<TVarItem*> VarDropOnEntry(const QMimeData& Data, const TEntryItem* Target);

} // namespace vo
