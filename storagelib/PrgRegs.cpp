#include "storagelib/PrgRegs.h"

#include <string>

#include "platform/Exception.h"
#include "storagelib/SL20Sto.h"

namespace vo {

TProgramRegistry::TProgramRegistry() : RegData(MakeRef<TSLDictionary>()) {}

TProgramRegistry::~TProgramRegistry() = default;

TSLObject* TProgramRegistry::KeyAccess(std::string_view Path, TKeyMode Mode, TSLObject* Obj) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t sep = Path.find('\\', start);
        if (sep == std::string_view::npos) {
            parts.push_back(Path.substr(start));
            break;
        }
        parts.push_back(Path.substr(start, sep - start));
        start = sep + 1;
    }
    TSLDictionary* dict = RegData.Get();
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        TSLObject* next = dict->FindObjWithName(parts[i]);
        if (!next) {
            if (Mode != TKeyMode::Add)
                throw Exception(std::string(ClassName()) + ": key " + std::string(Path) + " not found");
            TRef<TSLDictionary> created = MakeRef<TSLDictionary>();
            dict->AddObject(parts[i], created.Get());
            next = created.Get();
        }
        dict = SLCast<TSLDictionary>(next);
    }
    const std::string_view last = parts.back();
    switch (Mode) {
    case TKeyMode::Get: return dict->GetObjWithName(last);
    case TKeyMode::Add: dict->AddObject(last, Obj); return Obj;
    case TKeyMode::Remove: dict->RemoveObject(last); return nullptr;
    }
    return nullptr;
}

TSLObject* TProgramRegistry::GetObject(std::string_view Path) { return KeyAccess(Path, TKeyMode::Get, nullptr); }

void TProgramRegistry::AddObject(std::string_view Path, TSLObject* Obj) { KeyAccess(Path, TKeyMode::Add, Obj); }

void TProgramRegistry::RemoveObject(std::string_view Path) { KeyAccess(Path, TKeyMode::Remove, nullptr); }

int32_t TProgramRegistry::GetIntKey(std::string_view Path) {
    const int64_t v = SLCast<TSLLongint>(GetObject(Path))->GetLongintValue();
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}

MyAnsiString TProgramRegistry::GetStrKey(std::string_view Path) {
    return SLCast<TSLString>(GetObject(Path))->GetStringValue();
}

TSLDictionary* TProgramRegistry::GetDictKey(std::string_view Path) {
    return dynamic_cast<TSLDictionary*>(GetObject(Path));
}

std::vector<MyAnsiString> TProgramRegistry::GetKeyNames(std::string_view Path) {
    std::vector<MyAnsiString> names;
    if (const auto* dict = dynamic_cast<const TSLDictionary*>(GetObject(Path))) {
        names.reserve(static_cast<std::size_t>(dict->GetCount()));
        for (int i = 0; i < dict->GetCount(); ++i) names.emplace_back(dict->NameRefAtIndex(i));
    }
    return names;
}

void TProgramRegistry::SetIntKey(std::string_view Path, int32_t Value) {
    SLCast<TSLLongint>(GetObject(Path))->SetLongintValue(Value);
}

void TProgramRegistry::SetStrKey(std::string_view Path, std::string_view Value) {
    SLCast<TSLString>(GetObject(Path))->SetStringValue(Value);
}

void TProgramRegistry::AddIntKey(std::string_view Path, int32_t Value) {
    AddObject(Path, MakeRef<TSLLongint>(Value).Get());
}

void TProgramRegistry::AddStrKey(std::string_view Path, std::string_view Value) {
    AddObject(Path, MakeRef<TSLString>(Value).Get());
}

void TProgramRegistry::SetDictKey(std::string_view Path, TSLDictionary* Dict) {
    TRef<TSLObject> copy = Dict ? Dict->CopyRef() : TRef<TSLObject>();
    RemoveObject(Path);
    AddObject(Path, copy.Get());
}

void TProgramRegistry::ReadFromFile(const MyAnsiString& FileName) {
    RegData->Clear();
    TStorageManager* m = StorageManager();
    if (!m) throw Exception(std::string(ClassName()) + ".ReadFromFile: no storage manager");
    TRef<TSLStorageObject> obj = m->GetObject(FileName, saRead);
    obj->Read();
    if (auto* dict = dynamic_cast<TSLDictionary*>(obj->GetData())) RegData = dict;
}

void TProgramRegistry::WriteToFile(const MyAnsiString& FileName) {
    TStorageManager* m = StorageManager();
    if (!m) throw Exception(std::string(ClassName()) + ".WriteToFile: no storage manager");
    TRef<TSLStorageObject> obj = m->CreateObject(FileName);
    obj->SetData(RegData.Get());
    obj->Write();
}

namespace {
TProgramRegistry& Global(TProgramRegistry*& Slot) {
    if (!Slot) Slot = new TProgramRegistry(); // kept until the process ends
    return *Slot;
}
} // namespace

#define VO_GLOBAL_REGISTRY(Name) \
    TProgramRegistry& Name() { \
        static TProgramRegistry* slot; \
        return Global(slot); \
    }

VO_GLOBAL_REGISTRY(ProgramRegistry)
VO_GLOBAL_REGISTRY(CompanyRegistry)
VO_GLOBAL_REGISTRY(ViewConfigRegistry)
VO_GLOBAL_REGISTRY(LoginConfigRegistry)
VO_GLOBAL_REGISTRY(InstallConfigRegistry)
VO_GLOBAL_REGISTRY(CANDriverConfigRegistry)
VO_GLOBAL_REGISTRY(OscilloscopeSettingsRegistry)

#undef VO_GLOBAL_REGISTRY

} // namespace vo
