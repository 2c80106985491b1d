#pragma once
// Data objects: self-contained pieces of drive data that a device service
// keeps in a list. Each has a node of its own in the project tree and is
// saved as two dictionaries (a header and a content) from which it can be
// opened again. TZezDataTypeList is the program-wide registry of the data
// object classes. GUI thread only.
#include <cstdint>
#include <memory>
#include <vector>

#include "kernel/Object.h"
#include "platform/AnsiString.h"

namespace vo {

class TModelItem;
class TModelManager;
class TSLDictionary;

class TZezDataObject : public TObject {
public:
    ~TZezDataObject() override;
    TZezDataObject(const TZezDataObject&) = delete;
    TZezDataObject& operator=(const TZezDataObject&) = delete;

    virtual const char* ClassName() const { return "TZezDataObject"; }
    // Type name of the data object class.
    virtual MyAnsiString ObjectType() const = 0;
    // Adds the object's header entries to a dictionary the caller owns.
    virtual void SaveInfoToDict(TSLDictionary& ObjInfo) const = 0;
    // Adds the object's content to a dictionary the caller owns.
    virtual void SaveDataToDict(TSLDictionary& ObjData) const = 0;

    // FChanged becomes true when Value is true or the object was modified
    // before; the node shows ModifiedIndex or NoModifiedIndex.
    void SetModified(bool Value);
    bool GetModified() const noexcept { return FModified; }
    // A different name (case-sensitive) is stored, shown on the node and
    // marks the object modified; the same name changes nothing.
    void SetName(const MyAnsiString& Value);
    const MyAnsiString& GetName() const noexcept { return FName; }

    int ModifiedIndex = 0;
    int NoModifiedIndex = 0;
    TObject* FOwner = nullptr;
    bool FModified = false;
    bool FChanged = false; // cleared by the owning service after a transfer
    MyAnsiString FName;
    std::int32_t FVersion = 0;

    TModelItem& Model() const noexcept { return *FModel; }

protected:
    // Creates the object's tree node on AModels (the device manager's model
    // manager when null, or the program's spare one when there is none).
    explicit TZezDataObject(TModelManager* AModels = nullptr);

    TModelItem* FModel = nullptr; // released with the object
};

// A data object class: its type name and how to open an object of it.
struct TZezDataTypeClass {
    MyAnsiString (*ObjectType)();
    std::unique_ptr<TZezDataObject> (*CreateOpen)(TSLDictionary& ObjInfo, TSLDictionary& ObjData);
};

class TZezDataTypeList {
public:
    static const char* ClassName() noexcept { return "TZezDataTypeList"; }
    // Raises "ZezDataType already registered" for a class listed already.
    void RegisterZezDataTypeClass(const TZezDataTypeClass& ZezDataTypeClass);
    // The first class whose type name equals ZezDataType exactly, or null.
    const TZezDataTypeClass* GetZezDataTypeClass(const MyAnsiString& ZezDataType) const;
    int GetCount() const noexcept { return static_cast<int>(List.size()); }

private:
    std::vector<const TZezDataTypeClass*> List;
};

// The program's registry; null until the composition root creates it.
TZezDataTypeList* ZezDataTypeList() noexcept;
void SetZezDataTypeList(TZezDataTypeList* List) noexcept;

} // namespace vo
