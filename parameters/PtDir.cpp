#include "parameters/PtDir.h"

#include "kernel/ModTree.h"
#include "kernel/PropList.h"

namespace vo {

TDirectoryParameter::TDirectoryParameter(TParameterService& AOwner, TSLRecord* ARecord) : TGenericDirParameter(AOwner, ARecord) {
    FTypeStr = "Directory";
    EnsurePropList().SetObjType("Parameter Directory");
    AddStrProperty("Name", 1);
    FModel->SetImageIndex(21);
}

} // namespace vo
