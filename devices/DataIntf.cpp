#include "devices/DataIntf.h"

#include "platform/Exception.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"

#include <cctype>

namespace vo {

namespace {

TImportWarnings*& WarningsLog() {
    static TImportWarnings* log = nullptr;
    return log;
}

MyAnsiString StrAt(TSLDictionary* D, const char* Key) {
    auto* s = D ? dynamic_cast<TSLString*>(D->FindObjWithName(Key)) : nullptr;
    return s ? s->GetStringValue() : MyAnsiString();
}

} // namespace

TImportWarnings* ImportWarnings() { return WarningsLog(); }
TImportWarnings* SetImportWarnings(TImportWarnings* Log) {
    TImportWarnings* before = WarningsLog();
    WarningsLog() = Log;
    return before;
}

TDataItem::~TDataItem() = default;

void TDataItem::CreateDataDict() {
    FDataDict = MakeRef<TSLDictionary>();
    FDataDict->SetObjWithName("Info", MakeRef<TSLDictionary>().Get());
}

void TDataItem::AssignDataDict(TSLDictionary* ADict) { FDataDict = TRef<TSLDictionary>(ADict); }

TSLDictionary* TDataItem::GetInfoDict() const {
    if (!FDataDict)
        throw Exception("TDataItem.GetInfoDict: no data dictionary");
    auto* info = dynamic_cast<TSLDictionary*>(FDataDict->FindObjWithName("Info"));
    if (!info) {
        TRef<TSLDictionary> fresh = MakeRef<TSLDictionary>();
        FDataDict->SetObjWithName("Info", fresh.Get());
        info = fresh.Get();
    }
    return info;
}

MyAnsiString TDataItem::GetTypeName() const { return StrAt(GetInfoDict(), "Type"); }
void TDataItem::SetTypeName(const MyAnsiString& V) { GetInfoDict()->SetStrWithName("Type", V); }
int32_t TDataItem::GetVersion() const {
    auto* n = dynamic_cast<TSLNumber*>(GetInfoDict()->FindObjWithName("Version"));
    return n ? static_cast<int32_t>(n->GetLongintValue()) : 0;
}
void TDataItem::SetVersion(int32_t V) {
    GetInfoDict()->SetIntWithName("Version", static_cast<uint16_t>(V));
}
MyAnsiString TDataItem::GetDataName() const { return StrAt(GetInfoDict(), "Name"); }
void TDataItem::SetDataName(const MyAnsiString& V) { GetInfoDict()->SetStrWithName("Name", V); }
MyAnsiString TDataItem::GetDataPath() const { return StrAt(GetInfoDict(), "Path"); }
void TDataItem::SetDataPath(const MyAnsiString& V) { GetInfoDict()->SetStrWithName("Path", V); }

bool TDataInterface::GetImpExpDataAt(int Index) const {
    if (Index < 0 || Index >= static_cast<int>(FImpExpList.size()))
        return false;
    MyAnsiString s = FImpExpList[static_cast<size_t>(Index)];
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s == "TRUE";
}

void TDataInterface::SetImpExpDataAt(int Index, bool Value) {
    if (Index < 0)
        return;
    if (Index >= static_cast<int>(FImpExpList.size()))
        FImpExpList.resize(static_cast<size_t>(Index) + 1, "FALSE");
    FImpExpList[static_cast<size_t>(Index)] = Value ? "TRUE" : "FALSE";
}

} // namespace vo
