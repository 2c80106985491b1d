#include "parameters/gui/VarDrop.h"

#include "kernel/ModTree.h"
#include "parameters/ParSrv.h"
#include "parameters/Parameter.h"
#include "parameters/gui/VarDrag.h"
#include "parameters/varService.h"

namespace vo {

namespace {

const TDevice* DeviceOf(const TVarItem& V) {
    const auto* service = dynamic_cast<const TVariableService*>(&V.Owner());
    return service ? &service->Owner() : nullptr;
}

} // namespace

TDirItem* VarDropTarget(const QMimeData& Data, const TEntryItem* Target) {
    const auto* drag = dynamic_cast<const TVarDragData*>(&Data);
    if (!drag || !Target || !drag->Device || (drag->Parameters.empty() && drag->Variables.empty()))
        return nullptr;
    auto* dir = dynamic_cast<TDirItem*>(Target->Model().Data());
    if (!dir || !dir->UserDefined() || dir->CheckFlag(dfDeleted))
        return nullptr;
    const TDevice* device = &dir->Owner().Owner();
    if (drag->Device != device)
        return nullptr;
    for (const TParameter* p : drag->Parameters)
        if (!p || &p->Owner().Owner() != device)
            return nullptr;
    for (const TVarItem* v : drag->Variables)
        if (!v || DeviceOf(*v) != device)
            return nullptr;
    return dir;
}

std::vector<TVarItem*> VarDropOnEntry(const QMimeData& Data, const TEntryItem* Target) {
    std::vector<TVarItem*> made;
    TDirItem* dir = VarDropTarget(Data, Target);
    if (!dir)
        return made;
    const auto& drag = static_cast<const TVarDragData&>(Data);
    for (const TParameter* p : drag.Parameters)
        if (TVarItem* v = dir->CreateVarFromPar(*p, vstSystem)) {
            v->ClearFlag(vfValid);
            made.push_back(v);
        }
    for (const TVarItem* source : drag.Variables) {
        TVarItem& v = dir->CreateVarCopy(*source);
        v.ClearFlag(vfValid);
        made.push_back(&v);
    }
    return made;
}

} // namespace vo
