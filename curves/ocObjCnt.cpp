#include "curves/ocObjCnt.h"

#include <algorithm>

#include "devices/DevMan.h"
#include "kernel/ModTree.h"
#include "platform/Exception.h"

namespace vo {

namespace {
TModelManager& SpareModels() {
    static TModelManager models;
    return models;
}
TZezDataTypeList* TheList = nullptr;
} // namespace

TZezDataObject::TZezDataObject(TModelManager* AModels) {
    if (!AModels) {
        TDeviceManager* d = DeviceManager();
        AModels = d ? &d->ModelManager() : &SpareModels();
    }
    FModel = &TModelItem::Create(*AModels, this);
}

TZezDataObject::~TZezDataObject() {
    if (FModel) FModel->Release();
}

void TZezDataObject::SetModified(bool Value) {
    FChanged = Value || FModified;
    FModified = Value;
    FModel->SetImageIndex(Value ? ModifiedIndex : NoModifiedIndex);
}

void TZezDataObject::SetName(const MyAnsiString& Value) {
    if (Value == FName) return;
    FName = Value;
    FModel->SetCaption(Value);
    SetModified(true);
}

void TZezDataTypeList::RegisterZezDataTypeClass(const TZezDataTypeClass& ZezDataTypeClass) {
    if (std::find(List.begin(), List.end(), &ZezDataTypeClass) != List.end())
        throw Exception("ZezDataType already registered");
    List.push_back(&ZezDataTypeClass);
}

const TZezDataTypeClass* TZezDataTypeList::GetZezDataTypeClass(const MyAnsiString& ZezDataType) const {
    for (const TZezDataTypeClass* c : List)
        if (c->ObjectType() == ZezDataType) return c;
    return nullptr;
}

TZezDataTypeList* ZezDataTypeList() noexcept { return TheList; }
void SetZezDataTypeList(TZezDataTypeList* List) noexcept { TheList = List; }

} // namespace vo
