#include "parameters/ParMan.h"

#include "platform/Exception.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"

namespace vo {

TParameterManager::TParameterManager() {
    ColsWidth.fill(ParDefaultColWidth);
}

TParameterManager::~TParameterManager() = default;

void ReadDisplayInfo(const TSLDictionary& Dict, bool& ShowDetails, std::int32_t* Widths, int ColumnCount) {
    if (!Dict.NameExists("DisplayInfo"))
        return;
    auto* info = dynamic_cast<TSLDictionary*>(Dict.GetObjWithName("DisplayInfo"));
    if (!info)
        throw EInvalidCast();
    ShowDetails = info->GetBoolWithName("ShowDetails");
    auto* widths = dynamic_cast<TSLArray*>(info->GetObjWithName("WidthsArray"));
    if (!widths)
        throw EInvalidCast();
    for (int i = 0; i < widths->GetCount() && i < ColumnCount; ++i) {
        auto* element = dynamic_cast<TSLDictionary*>(widths->GetObjAtIndex(i));
        if (!element)
            throw EInvalidCast();
        Widths[i] = static_cast<std::int32_t>(element->GetIntWithName("Width"));
    }
}

void TParameterManager::Initialize(const TSLDictionary& Dict) {
    ReadDisplayInfo(Dict, FShowDetails, ColsWidth.data(), ParColumnCount);
}

int TParameterManager::Find(const MyAnsiString& AName, bool& Found) const {
    int lo = 0, hi = static_cast<int>(ParameterClassList.size());
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (SLCompareNames(ParameterClassList[static_cast<std::size_t>(mid)].Name, AName) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    Found = lo < static_cast<int>(ParameterClassList.size()) &&
        SLSameName(ParameterClassList[static_cast<std::size_t>(lo)].Name, AName);
    return lo;
}

void TParameterManager::RegisterParameterClass(const TParameterClass& AClass, const MyAnsiString& AName) {
    bool found = false;
    const int at = Find(AName, found);
    if (found)
        throw Exception(MyAnsiString(ClassName()) + ".RegisterParameterClass: parameter class with name " + AName +
                        " already registered");
    ParameterClassList.insert(ParameterClassList.begin() + at, TEntry{AName, AClass});
}

bool TParameterManager::ParameterClassExists(const MyAnsiString& AName) const {
    bool found = false;
    Find(AName, found);
    return found;
}

const TParameterClass& TParameterManager::GetParameterClass(const MyAnsiString& AName) const {
    bool found = false;
    const int at = Find(AName, found);
    if (!found)
        throw Exception(MyAnsiString(ClassName()) + ".GetParameterClass: parameter class with name " + AName +
                        " doesn't exist");
    return ParameterClassList[static_cast<std::size_t>(at)].Class;
}

MyAnsiString TParameterManager::GetName(const TParameterClass& AClass) const {
    for (const TEntry& e : ParameterClassList)
        if (e.Class == AClass)
            return e.Name;
    return {};
}

std::int32_t TParameterManager::GetColWidth(int Index) const {
    if (Index < 0 || Index >= ParColumnCount)
        throw Exception(MyAnsiString(ClassName()) + ".GetColWidth: index out of bounds");
    return ColsWidth[static_cast<std::size_t>(Index)];
}

TParameterManager& ParameterManager() {
    static TParameterManager* instance = new TParameterManager(); // lives until the process ends
    return *instance;
}

// ------------------------------------------------------------------ client

TParameterClient::TParameterClient() {
    FColsWidth.fill(ParDefaultColWidth);
}

void TParameterClient::CopySettings(const TParameterManager& AManager) {
    FShowDetails = AManager.ShowDetails();
    for (int i = 0; i < ParColumnCount; ++i) FColsWidth[static_cast<std::size_t>(i)] = AManager.GetColWidth(i);
}

std::int32_t TParameterClient::GetColWidth(int Index) const {
    if (Index < 0 || Index >= ParColumnCount)
        throw Exception(MyAnsiString(ClassName()) + ".GetColWidth: index out of bounds");
    return FColsWidth[static_cast<std::size_t>(Index)];
}

void TParameterClient::SetColWidth(int Index, std::int32_t Value) {
    if (Index < 0 || Index >= ParColumnCount)
        throw Exception(MyAnsiString(ClassName()) + ".SetColWidth: index out of bounds");
    FColsWidth[static_cast<std::size_t>(Index)] = Value;
}

} // namespace vo
