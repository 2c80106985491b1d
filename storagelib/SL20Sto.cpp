#include "storagelib/SL20Sto.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "storagelib/SL20DbgHlp.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Stu.h"

namespace vo {

namespace {

TStorageManager*& CurrentManager() noexcept {
    static TStorageManager* manager = nullptr;
    return manager;
}

MyAnsiString JoinStored(const MyAnsiString& Dir, const MyAnsiString& Name) {
    if (!Dir.empty() && Dir.back() == '\\') return Dir + Name;
    return Dir + "\\" + Name;
}

} // namespace

TStorageManager* StorageManager() noexcept { return CurrentManager(); }

MyAnsiString ExecutableFolder() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::filesystem::path dir = ec ? std::filesystem::current_path(ec) : exe.parent_path();
    MyAnsiString s = RealPathToStored(dir);
    if (s.empty() || s.back() != '\\') s.push_back('\\');
    return s;
}

// ---------------------------------------------------------------- TStorageIDManager

uint16_t TStorageIDManager::CreateStorageID(const MyAnsiString& Name, TSLObject* Data) {
    (void)Data; // the object read is not kept: a pointer nobody retains would dangle
    uint16_t id = 0;
    if (NameExist(Name, id)) return id;
    if (IDList.size() >= 65535) return 0;
    IDList.push_back(TStorageIDInfo{Name});
    id = static_cast<uint16_t>(IDList.size());
    FIndex.emplace(Name, id);
    return id;
}

bool TStorageIDManager::NameExist(const MyAnsiString& Name, uint16_t& ID) const {
    ID = 65535;
    const auto it = FIndex.find(Name);
    if (it == FIndex.end()) return false;
    ID = it->second;
    return true;
}

const TStorageIDInfo& TStorageIDManager::GetIDInfo(uint16_t StorageID) const {
    if (StorageID == 0 || StorageID > IDList.size())
        throw Exception(std::string(ClassName()) + ".GetIDInfo: ID " + std::to_string(StorageID) + " does not exist");
    return IDList[StorageID - 1];
}

// ---------------------------------------------------------------- TStorageManager

TStorageManager::TStorageManager(const MyAnsiString& ProgramDir)
    : Encoder(MakeRef<TSLStreamEncoder>()),
      Decoder(TSLStreamDecoder::CreateStandard()),
      FSystemDict(MakeRef<TSLDictionary>()),
      FDictionaries(MakeRef<TSLDictionary>()),
      FClasspathArray(MakeRef<TSLArray>()),
      FScriptClassDict(MakeRef<TSLDictionary>()),
      FStorageIDManager(std::make_unique<TStorageIDManager>()),
      FProgramDir(ProgramDir.empty() ? ExecutableFolder() : ProgramDir) {
    if (FProgramDir.back() != '\\') FProgramDir.push_back('\\');
    FSystemDict->SetIdent("System");
    FScriptClassDict->SetIdent("Create");
    FClasspathArray->AddObject(MakeRef<TSLString>(FProgramDir).Get());
    CurrentManager() = this;
    SetStorageNameLookup([this](uint16_t ID) -> MyAnsiString {
        if (ID == 0 || ID > FStorageIDManager->GetCount()) return {};
        return FStorageIDManager->GetIDInfo(ID).Name;
    });
}

TStorageManager::~TStorageManager() {
    if (CurrentManager() == this) {
        CurrentManager() = nullptr;
        SetStorageNameLookup({});
    }
    FDefaultStoragePluginList.clear();
    FStoragePluginList.clear();
    FScrTskFactory.reset();
}

TStoragePluginInterface* TStorageManager::SchemePlugin(const MyAnsiString& Name, MyAnsiString& Rest) const {
    for (const auto& plugin : FStoragePluginList) {
        const MyAnsiString scheme = plugin->GetScheme();
        if (!scheme.empty() && Name.compare(0, scheme.size(), scheme) == 0) {
            Rest = Name.substr(scheme.size());
            return plugin.get();
        }
    }
    return nullptr;
}

TSLStorageObject* TStorageManager::GetObject(const MyAnsiString& Name, TStreamAccess Access, bool Debug) {
    MyAnsiString rest;
    if (TStoragePluginInterface* plugin = SchemePlugin(Name, rest)) return plugin->GetObject(rest, Access, Debug);
    for (TStoragePluginInterface* plugin : FDefaultStoragePluginList)
        if (plugin->ObjectExists(Name)) return plugin->GetObject(Name, Access, Debug);
    throw Exception(std::string(ClassName()) + ".GetObject: object with name '" + Name + "' not found");
}

TSLStorageObject* TStorageManager::CreateObject(const MyAnsiString& Name) {
    MyAnsiString rest;
    if (TStoragePluginInterface* plugin = SchemePlugin(Name, rest)) return plugin->CreateObject(rest);
    for (TStoragePluginInterface* plugin : FDefaultStoragePluginList)
        if (plugin->CanCreate(Name)) return plugin->CreateObject(Name);
    throw Exception(std::string(ClassName()) + ".CreateObject: could not create object '" + Name + "'");
}

bool TStorageManager::ObjectExists(const MyAnsiString& Name) {
    MyAnsiString rest;
    if (TStoragePluginInterface* plugin = SchemePlugin(Name, rest)) return plugin->ObjectExists(rest);
    for (TStoragePluginInterface* plugin : FDefaultStoragePluginList)
        if (plugin->ObjectExists(Name)) return true;
    return false;
}

bool TStorageManager::FindFile(const MyAnsiString& Name, MyAnsiString& CompleteName) const {
    if (Name.empty()) return false;
    if (HasRootSlash(Name)) {
        CompleteName = Name;
        return StoredFileExists(Name);
    }
    const MyAnsiString inCurrent = JoinStored(CurrentStoredDir(), Name);
    if (StoredFileExists(inCurrent)) {
        CompleteName = inCurrent;
        return true;
    }
    for (int i = 0; i < FClasspathArray->GetCount(); ++i) {
        const auto* dir = dynamic_cast<const TSLString*>(FClasspathArray->GetObjAtIndex(i));
        if (!dir) continue;
        const MyAnsiString candidate = dir->GetStringValue() + Name;
        if (StoredFileExists(candidate)) {
            CompleteName = candidate;
            return true;
        }
    }
    return false;
}

TScriptTaskFactoryInterface& TStorageManager::RequireScriptTaskFactory() const {
    if (!FScrTskFactory)
        throw Exception(std::string(ClassName()) + ".CreateScriptTask: no ScriptClassFactory announced");
    return *FScrTskFactory;
}

TSLContext* TStorageManager::CreateContext(bool AutoRelease) {
    if (!FInterpreter) throw Exception(std::string(ClassName()) + ".CreateContext: no script engine announced");
    TSLContext* context = FInterpreter->CreateContextImplementation(AutoRelease);
    TRef<TSLDictionary> global = MakeRef<TSLDictionary>();
    global->SetIdent("Global");
    context->AddNamedDict("System", FSystemDict.Get());
    context->AddNamedDict("Create", FScriptClassDict.Get());
    context->AddNamedDict("Global", global.Get());
    return context;
}

void TStorageManager::ImportIntoContext(const MyAnsiString& Name, TSLContext* Context) {
    if (auto* dict = dynamic_cast<TSLDictionary*>(FDictionaries->FindObjWithName(Name))) {
        Context->ImportDict(Name, dict);
        return;
    }
    const MyAnsiString stored = Name + ".stx";
    if (!ObjectExists(stored))
        throw Exception(std::string(ClassName()) + ".ImportIntoContext: No storage object with name:" + Name +
                        " found");
    const bool debug = FInterpreter && FInterpreter->GetContextDebug(Context);
    TRef<TSLStorageObject> object = GetObject(stored, saRead, debug);
    Context->ImportDict(ExtractStoredFileName(Name), SLCast<TSLDictionary>(object->GetData()));
    uint16_t id = 0;
    if (debug && FStorageIDManager->NameExist(object->GetName(), id))
        FInterpreter->AddScriptToDebugger(Context, stored, id);
}

void TStorageManager::AnnounceClasspath(const MyAnsiString& Path) {
    FClasspathArray->AddObject(MakeRef<TSLString>(Path).Get());
}

void TStorageManager::AnnounceDictionary(const MyAnsiString& Name, TSLDictionary* Dict) {
    FDictionaries->AddObject(Name, Dict);
}

void TStorageManager::AnnounceScriptTaskFactory(std::unique_ptr<TScriptTaskFactoryInterface> ScrTskFactory) {
    FScrTskFactory = std::move(ScrTskFactory);
}

void TStorageManager::AnnounceStoragePlugin(std::unique_ptr<TStoragePluginInterface> StoragePlugin,
                                            bool IncludeInDefaultSearch) {
    if (!StoragePlugin) return;
    StoragePlugin->FStorageManager = this;
    if (IncludeInDefaultSearch) FDefaultStoragePluginList.push_back(StoragePlugin.get());
    FStoragePluginList.push_back(std::move(StoragePlugin));
}

void TStorageManager::AnnounceSystemProcedure(const MyAnsiString& AName, TSLInternalProcedure* AProc) {
    FSystemDict->AddObject(AName, AProc);
}

void TStorageManager::AnnounceScriptClass(const MyAnsiString& AName, TScriptClass* AClass, int32_t AVersion) {
    if (FScriptClassDict->NameExists(AName))
        throw Exception(std::string(ClassName()) + ".AnnounceScriptClass: class with name '" + AName +
                        "' already announced");
    if (!FInterpreter)
        throw Exception(std::string(ClassName()) + ".AnnounceScriptClass: no script engine announced");
    TRef<TSLObject> factory = FInterpreter->CreateScriptClassFactory(AName, AClass, AVersion);
    FScriptClassDict->AddObject(AName, factory.Get());
}

bool TStorageManager::ScriptClassExists(const MyAnsiString& AName) const { return FScriptClassDict->NameExists(AName); }

void TStorageManager::AnnounceScriptEngine(TScriptEngineInterface* Engine) { FInterpreter = Engine; }

TRef<TSLObject> TStorageManager::DecodeStringToObject(const MyAnsiString& Str) {
    TRef<TSLStringStream> stream = MakeRef<TSLStringStream>();
    stream->SetBuffer(Str);
    TRef<TSLLookaheadStream> look = MakeRef<TSLLookaheadStream>(stream.Get());
    TRef<TSLObject> obj = Decoder->ReadSingleObjectRef(look.Get(), false);
    stream->Close();
    return obj;
}

MyAnsiString TStorageManager::EncodeObjectToString(TSLObject* Obj) {
    TRef<TSLStringStream> stream = MakeRef<TSLStringStream>();
    Encoder->WriteObject(stream.Get(), Obj);
    return stream->TakeBuffer();
}

} // namespace vo
