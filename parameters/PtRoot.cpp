#include "parameters/PtRoot.h"

#include "kernel/ModTree.h"

namespace vo {

TRootDirParameter::TRootDirParameter(TParameterService& AOwner) : TGenericDirParameter(AOwner, nullptr) {
    FModel->SetImageIndex(20);
    SetAttrFlag(AttrVisible);
}

void TRootDirParameter::GetScaledValue(TValueRec& V, TUnitSystem, const MyAnsiString&) const {
    V = {};
}

void TRootDirParameter::GetDefaultStr(TValueRec& V, TUnitSystem, const MyAnsiString&) const {
    V = {};
}

} // namespace vo
