#include "parameters/UniMan.h"

#include "kernel/UserPrompt.h"
#include "platform/Exception.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Sto.h"

namespace vo {

namespace {

const TSLDictionary& AsDictionary(TSLObject* Obj) {
    auto* d = dynamic_cast<TSLDictionary*>(Obj);
    if (!d)
        throw EInvalidCast();
    return *d;
}

const TSLArray& AsArray(TSLObject* Obj) {
    auto* a = dynamic_cast<TSLArray*>(Obj);
    if (!a)
        throw EInvalidCast();
    return *a;
}

} // namespace

// ------------------------------------------------------------------ display units

TDisplayUnit::TDisplayUnit(const TSLDictionary& Dict)
    : FName(Dict.GetStrWithName("Name")), FOffset(GetNumberWithName(Dict, "Offset")),
      FScale(GetNumberWithName(Dict, "Scale")), FUnitSystem(Dict.GetStrWithName("UnitSystem")) {
    if (FScale == 0.0)
        throw Exception(MyAnsiString(ClassName()) + ".Create: display unit '" + FName + "' has scale 0");
}

// ------------------------------------------------------------------ base units

TBaseUnit::TBaseUnit(const TSLDictionary& Dict)
    : FName(Dict.GetStrWithName("Name")), FCaption(Dict.GetStrWithName("Caption")) {
    const TSLArray& units = AsArray(Dict.GetObjWithName("DisplayUnits"));
    for (int i = 0; i < units.GetCount(); ++i) {
        const TSLDictionary& d = AsDictionary(units.GetObjAtIndex(i));
        if (GetNumberWithName(d, "Scale") == 0.0) {
            ShowErrorMessage(MyAnsiString(ClassName()) + ".Create: display unit '" + d.GetStrWithName("Name") +
                             "' of base unit '" + FName + "' has scale 0 and is left out");
            continue;
        }
        FDisplayUnits.push_back(std::make_unique<TDisplayUnit>(d));
    }
}

TBaseUnit::~TBaseUnit() = default;

TDisplayUnit& TBaseUnit::GetUnitAtIndex(int AIndex) const {
    if (AIndex < 0 || AIndex >= GetCount())
        throw Exception(MyAnsiString(ClassName()) + ".GetUnitAtIndex: index out of bounds");
    return *FDisplayUnits[static_cast<std::size_t>(AIndex)];
}

TDisplayUnit* TBaseUnit::GetUnitWithName(const MyAnsiString& AName) const {
    for (const auto& u : FDisplayUnits)
        if (SLSameName(u->Name(), AName))
            return u.get();
    return nullptr;
}

// ------------------------------------------------------------------ manager

TUnitManager::TUnitManager() = default;
TUnitManager::~TUnitManager() = default;

void TUnitManager::Initialize(const MyAnsiString& FileName) {
    try {
        TStorageManager* m = StorageManager();
        if (!m)
            throw Exception(MyAnsiString(ClassName()) + ".Initialize: no storage manager");
        TRef<TSLStorageObject> o = m->GetObject(FileName, saRead);
        o->Read();
        TRef<TSLObject> data = o->GetData(); // kept while the catalogue is built
        LoadFromDictionary(AsDictionary(data.Get()));
    } catch (const std::exception& e) {
        ShowErrorMessage(e.what());
    }
}

void TUnitManager::LoadFromDictionary(const TSLDictionary& Dict) {
    if (!Dict.NameExists("BaseUnitsArr"))
        return;
    const TSLArray& arr = AsArray(Dict.GetObjWithName("BaseUnitsArr"));
    for (int i = 0; i < arr.GetCount(); ++i) {
        const TSLDictionary& d = AsDictionary(arr.GetObjAtIndex(i));
        const MyAnsiString name = d.GetStrWithName("Name");
        bool found = false;
        const int at = Find(name, found);
        if (found)
            continue;
        auto unit = std::make_unique<TBaseUnit>(d);
        FBaseUnitsList.insert(FBaseUnitsList.begin() + at, std::move(unit));
    }
}

int TUnitManager::Find(const MyAnsiString& AName, bool& Found) const {
    int lo = 0, hi = GetNumberOfBaseUnits();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        const int c = SLCompareNames(FBaseUnitsList[static_cast<std::size_t>(mid)]->Name(), AName);
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    Found = lo < GetNumberOfBaseUnits() && SLSameName(FBaseUnitsList[static_cast<std::size_t>(lo)]->Name(), AName);
    return lo;
}

TBaseUnit& TUnitManager::GetBaseUnitAtIndex(int AIndex) const {
    if (AIndex < 0 || AIndex >= GetNumberOfBaseUnits())
        throw Exception(MyAnsiString(ClassName()) + ".GetBaseUnitAtIndex: index out of bounds");
    return *FBaseUnitsList[static_cast<std::size_t>(AIndex)];
}

TBaseUnit* TUnitManager::GetBaseUnitWithName(const MyAnsiString& AName) const {
    bool found = false;
    const int at = Find(AName, found);
    return found ? FBaseUnitsList[static_cast<std::size_t>(at)].get() : nullptr;
}

TUnitManager& UnitManager() {
    static TUnitManager* instance = new TUnitManager(); // lives until the process ends
    return *instance;
}

} // namespace vo
