#include "devices/ConfWiz.h"

#include "kernel/AnsiText.h"
#include "platform/Exception.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"

namespace vo {

namespace {

[[noreturn]] void WrongFileType() {
    throw Exception("Wrong file type!");
}

// Typed entries of a dictionary; a missing entry or one of another kind is a
// wrong file.
TSLObject* Entry(TSLDictionary* Dict, std::string_view Name) {
    TSLObject* o = Dict ? Dict->FindObjWithName(Name) : nullptr;
    if (!o)
        WrongFileType();
    return o;
}

MyAnsiString Str(TSLDictionary* Dict, std::string_view Name) {
    auto* s = dynamic_cast<TSLString*>(Entry(Dict, Name));
    if (!s)
        WrongFileType();
    return s->GetStringValue();
}

int64_t Int(TSLObject* O) {
    auto* n = dynamic_cast<TSLNumber*>(O);
    if (!n)
        WrongFileType();
    return n->GetLongintValue();
}

int64_t Int(TSLDictionary* Dict, std::string_view Name) {
    return Int(Entry(Dict, Name));
}

// An optional number (Default when absent).
int64_t IntOr(TSLDictionary* Dict, std::string_view Name, int64_t Default) {
    TSLObject* o = Dict ? Dict->FindObjWithName(Name) : nullptr;
    return o ? Int(o) : Default;
}

TSLDictionary* Dict(TSLObject* O) {
    auto* d = dynamic_cast<TSLDictionary*>(O);
    if (!d)
        WrongFileType();
    return d;
}

MyAnsiString Dec(int64_t V) {
    return ansi::Fmt("%lld", static_cast<long long>(V));
}

// "_V<main>S<sub>"
MyAnsiString VersionPart(int64_t Main, int64_t Sub) {
    return "_V" + Dec(Main) + "S" + Dec(Sub);
}

} // namespace

TConfWizard::TConfWizard() = default;
TConfWizard::~TConfWizard() = default;

TSLObject* TConfWizard::GetObjectFromBlock(const MyAnsiString& Name) const {
    if (!FInfoBlock)
        return nullptr;
    const int n = FInfoBlock->GetCount();
    for (int i = 0; i + 1 < n; ++i) {
        auto* id = dynamic_cast<TSLIdent*>(FInfoBlock->GetObjAtIndex(i));
        if (id && id->GetIdentValue() == Name)
            return FInfoBlock->GetObjAtIndex(i + 1);
    }
    return nullptr;
}

void TConfWizard::Initialize(TSLBlock* InfoBlock, int32_t FirmwareScriptVersion) {
    FFirmwareScriptVersion = FirmwareScriptVersion;
    FInfoBlock = TRef<TSLBlock>(InfoBlock);
    FControllers.Reset();
    FOffered.clear();
    FControllerNames.clear();
    FIniFileList.clear();
    auto* controllers = dynamic_cast<TSLArray*>(GetObjectFromBlock("Controllers"));
    if (!controllers)
        WrongFileType();
    FControllers = TRef<TSLArray>(controllers);
    for (int i = 0; i < controllers->GetCount(); ++i) {
        auto* c = dynamic_cast<TSLDictionary*>(controllers->GetObjAtIndex(i));
        if (!c)
            continue;
        if (IntOr(c, "TypeSupported", 0) != 1 || IntOr(c, "HideOffline", 0) != 0)
            continue;
        FOffered.push_back(c);
        FControllerNames.push_back(Str(c, "Name"));
    }
    FControllerIndex = -1;
    FInterfaceEntries.clear();
    FApplicationEntries.clear();
    FInterfaceCaptions.clear();
    FApplicationCaptions.clear();
    FInterfaceIndex = FApplicationIndex = -1;
    FInterfacesEnabled = FApplicationsEnabled = false;
    if (!FOffered.empty())
        SelectController(0);
}

void TConfWizard::SelectController(int Index) {
    if (Index < 0 || Index >= static_cast<int>(FOffered.size()))
        return;
    FControllerIndex = Index;
    TSLDictionary* c = FOffered[static_cast<size_t>(Index)];
    auto fill = [&](const char* Key, std::vector<TSLDictionary*>& Entries, std::vector<MyAnsiString>& Captions,
                    bool& Enabled, int& Selected) {
        Entries.clear();
        Captions.clear();
        Enabled = true;
        Selected = -1;
        auto* names = dynamic_cast<TSLArray*>(c->FindObjWithName(Key));
        if (!names) {
            Enabled = false;
            return;
        }
        for (int i = 0; i < names->GetCount(); ++i) {
            auto* name = dynamic_cast<TSLString*>(names->GetObjAtIndex(i));
            TSLDictionary* entry = name ? Dict(GetObjectFromBlock(name->GetStringValue())) : Dict(nullptr);
            Entries.push_back(entry);
            Captions.push_back(Str(entry, "Caption"));
        }
        if (!Entries.empty())
            Selected = 0;
    };
    fill("Interfaces", FInterfaceEntries, FInterfaceCaptions, FInterfacesEnabled, FInterfaceIndex);
    fill("Applications", FApplicationEntries, FApplicationCaptions, FApplicationsEnabled, FApplicationIndex);
}

void TConfWizard::SelectInterface(int Index) {
    if (Index >= -1 && Index < static_cast<int>(FInterfaceEntries.size()))
        FInterfaceIndex = Index;
}

void TConfWizard::SelectApplication(int Index) {
    if (Index >= -1 && Index < static_cast<int>(FApplicationEntries.size()))
        FApplicationIndex = Index;
}

TSLDictionary* TConfWizard::SelectedController() const {
    if (FControllerIndex < 0 || FControllerIndex >= static_cast<int>(FOffered.size()))
        WrongFileType();
    return FOffered[static_cast<size_t>(FControllerIndex)];
}

const MyAnsiString& TConfWizard::GetNameAtIndex(int Index) const {
    if (Index < 0 || Index >= GetNumberOfIniFile())
        throw Exception("TConfWizard.GetNameAtIndex: index out of bounds");
    return FIniFileList[static_cast<size_t>(Index)];
}

void TConfWizard::AddModuleTree(const char* Kind, TSLDictionary* Controller, const MyAnsiString& E,
                                TSLDictionary* Item, int32_t& Main, int32_t& Sub) {
    const MyAnsiString k(Kind);
    const MyAnsiString x = FFirmwareScriptVersion == 2 ? E : Str(Controller, k + "TypeExt");
    const int64_t main = Int(Item, k + "TreeVersion");
    const int64_t sub = Int(Item, k + "TreeSubVersion");
    MyAnsiString name = Str(Item, k + "TreeFileName") + x + VersionPart(main, sub);
    const MyAnsiString beta = Str(Item, k + "TreeBetaInfo");
    if (!beta.empty())
        name += "_" + beta;
    FIniFileList.push_back(name);
    Main = static_cast<int32_t>(main);
    Sub = static_cast<int32_t>(sub);
}

void TConfWizard::BuildNames() {
    FOSMainVersion = FOSSubVersion = FMCMainVersion = FMCSubVersion = 0;
    FIntfMainVersion = FIntfSubVersion = FApplMainVersion = FApplSubVersion = 0;
    FReleaseVersion = FReleaseSubVersion = 0;
    FReleaseBuildInfo.clear();
    FDeviceType.clear();
    FIniFileList.clear();
    const int32_t v = FFirmwareScriptVersion;
    if (v < 2 || v > 4)
        return;
    TSLDictionary* c = SelectedController();
    const MyAnsiString e = Str(c, "ZezTypeExt");
    auto blockStr = [&](const char* Name) {
        auto* s = dynamic_cast<TSLString*>(GetObjectFromBlock(Name));
        if (!s)
            WrongFileType();
        return s->GetStringValue();
    };
    auto blockInt = [&](const char* Name) { return Int(GetObjectFromBlock(Name)); };
    // "S" + the last supported QTR version in hexadecimal + the power extension.
    auto power = [&]() {
        auto* versions = dynamic_cast<TSLArray*>(Entry(c, "SupportedQTRVersions"));
        if (!versions || versions->GetCount() == 0)
            WrongFileType();
        return ansi::Fmt("S%llX", static_cast<unsigned long long>(Int(versions->GetObjAtIndex(versions->GetCount() - 1)))) +
            Str(c, "PowerExtension");
    };

    // Operating system.
    if (v == 2) {
        const int64_t main = blockInt("OSTreeVersion"), sub = blockInt("OSTreeSubVersion");
        MyAnsiString name = blockStr("OSTreeFileName") + e + VersionPart(main, sub);
        const MyAnsiString beta = blockStr("OSTreeBetaInfo");
        if (!beta.empty())
            name += "_" + beta;
        FIniFileList.push_back(name);
        FOSMainVersion = static_cast<int32_t>(main);
        FOSSubVersion = static_cast<int32_t>(sub);
    } else {
        TSLDictionary* d = Dict(Entry(Dict(GetObjectFromBlock("OSInfoDict")), e));
        const int64_t main = Int(d, "TreeVersion"), sub = Int(d, "TreeSubVersion");
        FIniFileList.push_back(Str(d, "TreeFileName") + e + VersionPart(main, sub) + "_" + Str(d, "TreeBetaInfo"));
        FOSMainVersion = static_cast<int32_t>(main);
        FOSSubVersion = static_cast<int32_t>(sub);
    }

    // Motion control.
    if (v == 2) {
        const int64_t main = blockInt("MCTreeVersion"), sub = blockInt("MCTreeSubVersion");
        MyAnsiString name = blockStr("MCTreeFileName") + power() + VersionPart(main, sub);
        const MyAnsiString beta = blockStr("MCTreeBetaInfo");
        if (!beta.empty())
            name += "_" + beta;
        FIniFileList.push_back(name);
        FMCMainVersion = static_cast<int32_t>(main);
        FMCSubVersion = static_cast<int32_t>(sub);
    } else if (TSLObject* entry = Dict(GetObjectFromBlock("MCInfoDict"))->FindObjWithName(e)) {
        TSLDictionary* d = Dict(entry);
        const int64_t main = Int(d, "TreeVersion"), sub = Int(d, "TreeSubVersion");
        FIniFileList.push_back(Str(d, "TreeFileName") + power() + VersionPart(main, sub) + "_" + Str(d, "TreeBetaInfo"));
        FMCMainVersion = static_cast<int32_t>(main);
        FMCSubVersion = static_cast<int32_t>(sub);
    }

    // Interface and application.
    if (FInterfaceIndex >= 0 && FInterfaceCaptions[static_cast<size_t>(FInterfaceIndex)] != "None")
        AddModuleTree("Intf", c, e, FInterfaceEntries[static_cast<size_t>(FInterfaceIndex)], FIntfMainVersion,
                      FIntfSubVersion);
    if (FApplicationIndex >= 0 && FApplicationCaptions[static_cast<size_t>(FApplicationIndex)] != "None")
        AddModuleTree("Appl", c, e, FApplicationEntries[static_cast<size_t>(FApplicationIndex)], FApplMainVersion,
                      FApplSubVersion);

    if (auto* name = dynamic_cast<TSLString*>(c->FindObjWithName("Name")))
        FDeviceType = name->GetStringValue();

    // Release.
    if (v == 2) {
        if (TSLObject* o = GetObjectFromBlock("ReleaseVersion"))
            FReleaseVersion = static_cast<int32_t>(Int(o));
        if (TSLObject* o = GetObjectFromBlock("ReleaseSubVersion"))
            FReleaseSubVersion = static_cast<int32_t>(Int(o));
        if (auto* s = dynamic_cast<TSLString*>(GetObjectFromBlock("ReleaseBuildInfo")))
            FReleaseBuildInfo = s->GetStringValue();
    } else {
        TSLDictionary* d = Dict(Entry(Dict(GetObjectFromBlock("RelInfoDict")), e));
        FReleaseVersion = static_cast<int32_t>(Int(d, "RelVersion"));
        FReleaseSubVersion = static_cast<int32_t>(Int(d, "RelSubVersion"));
        FReleaseBuildInfo = Str(d, "RelBuildInfo");
        FFirmwareRelease = Str(d, "RelString");
    }
}

TConfWizard& ConfWizard() {
    static TConfWizard wizard;
    return wizard;
}

} // namespace vo
