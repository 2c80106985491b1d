#include "curves/ocCntMan.h"

#include "kernel/ShellServices.h"
#include "kernel/TreeView.h"

namespace vo {

namespace {
TObjCntManager* TheManager = nullptr;
}

TObjCntManager::TObjCntManager() {
    const TImageList* images = ShellServices().ImageList();
    FImageIndexOffset = images ? images->GetCount() : 0;
}

TObjCntManager* ObjCntManager() noexcept { return TheManager; }
void SetObjCntManager(TObjCntManager* Manager) noexcept { TheManager = Manager; }

} // namespace vo
