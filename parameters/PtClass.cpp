#include "parameters/PtClass.h"

#include "kernel/ModTree.h"

namespace vo {

TClassDirParameter::TClassDirParameter(TParameterService& AOwner, TSLRecord* ARecord) : TGenericDirParameter(AOwner, ARecord) {
    FTypeStr = "ClassDir";
    if (ARecord) {
        FModel->SetImageIndex(21);
    } else {
        FExtension = "cfg";
        FModel->SetImageIndex(20);
        SetAttrFlag(AttrVisible);
    }
}

} // namespace vo
