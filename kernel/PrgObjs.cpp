#include "kernel/PrgObjs.h"

#include "kernel/AnsiText.h"
#include "platform/Exception.h"

namespace vo {

using ansi::Fmt;

TObjectRegistryItem::TObjectRegistryItem(void* AItem, std::type_index AItemType, MyAnsiString AName,
                                         MyAnsiString AType, int AVersion, int ARevision)
    : FItem(AItem), FItemType(AItemType), FName(std::move(AName)), FType(std::move(AType)), FVersion(AVersion),
      FRevision(ARevision) {
}

void TObjectRegistryItem::CheckVersion(int AVersion) const {
    if (AVersion != FVersion)
        throw Exception(Fmt("CheckVersion: requestet version (%d) doesn't match available version (%d) for object "
                            "'%s' of type '%s'",
                            AVersion, FVersion, FName.c_str(), FType.c_str()));
}

const TObjectRegistryItem* TObjectRegistryManager::Find(const MyAnsiString& AName) const noexcept {
    for (const auto& item : FObjectList)
        if (item->Name() == AName) return item.get();
    return nullptr;
}

TObjectRegistryItem& TObjectRegistryManager::DoRegister(void* Obj, std::type_index AItemType,
                                                        const MyAnsiString& AName, const MyAnsiString& AType,
                                                        int AVer, int ARev) {
    if (Find(AName))
        throw Exception(
            Fmt("%s:RegisterObject: object with name '%s' already registered", ClassName(), AName.c_str()));
    FObjectList.push_back(std::make_unique<TObjectRegistryItem>(Obj, AItemType, AName, AType, AVer, ARev));
    return *FObjectList.back();
}

bool TObjectRegistryManager::ObjectExists(const MyAnsiString& AName) const noexcept {
    return Find(AName) != nullptr;
}

TObjectRegistryItem& TObjectRegistryManager::GetObject(const MyAnsiString& AName) const {
    if (const auto* item = Find(AName)) return const_cast<TObjectRegistryItem&>(*item);
    throw Exception(Fmt("%s.GetObject: object with name '%s' not registered", ClassName(), AName.c_str()));
}

TObjectRegistryItem& TObjectRegistryManager::GetRegItem(int Index) const {
    if (Index < 0 || Index >= GetCount())
        throw Exception(Fmt("%s.GetRegItem: index %d out of range", ClassName(), Index));
    return *FObjectList[static_cast<std::size_t>(Index)];
}

TObjectRegistryManager& ObjectRegistryManager() {
    static TObjectRegistryManager instance;
    return instance;
}

} // namespace vo
