#pragma once
// Object registry: the program-wide directory of the few singleton services
// that other parts look up by name (debug manager, storage manager, main
// scheduler, device-interface factory). Each entry names an object, its type
// text and its interface version. The registry does not own what it lists.
#include <cstddef>
#include <memory>
#include <typeindex>
#include <typeinfo>
#include <vector>

#include "platform/AnsiString.h"

namespace vo {

class TObjectRegistryItem {
public:
    TObjectRegistryItem(void* AItem, std::type_index AItemType, MyAnsiString AName, MyAnsiString AType,
                        int AVersion, int ARevision);

    // The registered object. Item<T>() answers it only when it was registered
    // as exactly T (register the interface type callers will ask for);
    // otherwise it returns nullptr.
    template <class T>
    T* Item() const noexcept {
        return FItemType == std::type_index(typeid(T)) ? static_cast<T*>(FItem) : nullptr;
    }
    void* RawItem() const noexcept { return FItem; }
    std::type_index ItemType() const noexcept { return FItemType; }

    const MyAnsiString& Name() const noexcept { return FName; }
    const MyAnsiString& Type() const noexcept { return FType; }
    int Version() const noexcept { return FVersion; }
    int Revision() const noexcept { return FRevision; }

    // A caller states the interface version it was written for; another
    // version raises. The revision is not compared.
    void CheckVersion(int AVersion) const;

private:
    void* FItem;
    std::type_index FItemType;
    MyAnsiString FName;
    MyAnsiString FType;
    int FVersion;
    int FRevision;
};

class TObjectRegistryManager {
public:
    TObjectRegistryManager() = default;
    TObjectRegistryManager(const TObjectRegistryManager&) = delete;
    TObjectRegistryManager& operator=(const TObjectRegistryManager&) = delete;

    // Appends an entry; a name already present (exact comparison) raises.
    template <class T>
    TObjectRegistryItem& RegisterObject(T* Obj, const MyAnsiString& AName, const MyAnsiString& AType, int AVer,
                                        int ARev) {
        return DoRegister(static_cast<void*>(Obj), std::type_index(typeid(T)), AName, AType, AVer, ARev);
    }

    bool ObjectExists(const MyAnsiString& AName) const noexcept;
    // The entry with that exact name; none raises.
    TObjectRegistryItem& GetObject(const MyAnsiString& AName) const;

    int GetCount() const noexcept { return static_cast<int>(FObjectList.size()); }
    // Entries in registration order; an index out of range raises.
    TObjectRegistryItem& GetRegItem(int Index) const;

    static const char* ClassName() noexcept { return "TObjectRegistryManager"; }

private:
    TObjectRegistryItem& DoRegister(void* Obj, std::type_index AItemType, const MyAnsiString& AName,
                                    const MyAnsiString& AType, int AVer, int ARev);
    const TObjectRegistryItem* Find(const MyAnsiString& AName) const noexcept;

    std::vector<std::unique_ptr<TObjectRegistryItem>> FObjectList;
};

// The program-wide registry; created on first use, lives until the process ends.
TObjectRegistryManager& ObjectRegistryManager();

} // namespace vo
