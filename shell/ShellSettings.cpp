#include "shell/ShellSettings.h"

#include "kernel/Debug.h"
#include "parameters/DatTypes.h"
#include "parameters/UniMan.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "storagelib/PrgRegs.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Enc.h"

#include <cstdlib>
#include <system_error>

namespace fs = std::filesystem;

namespace vo {

namespace {

const char* const SectionNames[] = {"ViewConfig", "LoginConfig", "InstallConfig", "CANDriverConfig",
                                    "OscilloscopeSettings"};

TProgramRegistry& SectionRegistry(int Index) {
    switch (Index) {
    case 0: return ViewConfigRegistry();
    case 1: return LoginConfigRegistry();
    case 2: return InstallConfigRegistry();
    case 3: return CANDriverConfigRegistry();
    default: return OscilloscopeSettingsRegistry();
    }
}

TSLDictionary* SubDict(TSLDictionary* D, const char* Name) {
    return D ? dynamic_cast<TSLDictionary*>(D->FindObjWithName(Name)) : nullptr;
}

bool HasKey(TSLDictionary* D, const char* Name) {
    return D && D->FindObjWithName(Name) != nullptr;
}

MyAnsiString StrOf(TSLObject* O) {
    if (auto* s = dynamic_cast<TSLString*>(O))
        return s->GetStringValue();
    if (auto* n = dynamic_cast<TSLNumber*>(O))
        return n->GetStringValue();
    return {};
}

std::optional<int64_t> IntOf(TSLObject* O) {
    if (auto* n = dynamic_cast<TSLNumber*>(O))
        return n->GetLongintValue();
    if (auto* s = dynamic_cast<TSLString*>(O)) {
        try {
            return s->GetLongintValue();
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

void Replace(TSLDictionary* D, const char* Name, TSLObject* Value) {
    if (D->FindObjWithName(Name))
        D->DelObjWithName(Name);
    D->SetObjWithName(Name, Value);
}

void PutStr(TSLDictionary* D, const char* Name, const MyAnsiString& Value) {
    Replace(D, Name, MakeRef<TSLString>(Value).Get());
}

void PutInt(TSLDictionary* D, const char* Name, int64_t Value) {
    Replace(D, Name, MakeRef<TSLLongint>(Value).Get());
}

// The string at Name, or Default added under Name.
MyAnsiString TakeStr(TSLDictionary* D, const char* Name, const MyAnsiString& Default) {
    if (TSLObject* o = D->FindObjWithName(Name))
        return StrOf(o);
    PutStr(D, Name, Default);
    return Default;
}

int32_t TakeInt(TSLDictionary* D, const char* Name, int32_t Default) {
    if (TSLObject* o = D->FindObjWithName(Name))
        if (auto v = IntOf(o))
            return static_cast<int32_t>(*v);
    PutInt(D, Name, Default);
    return Default;
}

fs::path RealDir(const MyAnsiString& Stored) {
    return StoredPathToRealPath(Stored);
}

MyAnsiString StoredDir(const fs::path& Real) {
    MyAnsiString s = RealPathToStored(Real);
    if (s.empty() || s.back() != '\\')
        s += '\\';
    return s;
}

void EnsureDir(const fs::path& P) {
    std::error_code ec;
    fs::create_directories(P, ec);
    if (ec)
        LogWarning("Could not create the folder '" + P.string() + "': " + ec.message());
}

// The defaults of a section that the file lacks.
TRef<TSLDictionary> DefaultSection(int Index) {
    auto d = MakeRef<TSLDictionary>();
    if (Index == 1) {
        const TLoginConfigValues v;
        PutInt(d.Get(), "DevMACID", v.DevMACID);
        PutStr(d.Get(), "PortName", v.PortName);
        PutStr(d.Get(), "UserName", v.UserName);
        PutInt(d.Get(), "IPAddress", v.IPAddress);
        PutStr(d.Get(), "InterfaceName", v.InterfaceName);
        PutInt(d.Get(), "GroupSelEnabled", v.GroupSelEnabled);
        PutInt(d.Get(), "GroupNumber", v.GroupNumber);
        PutStr(d.Get(), "ShowObjectInspector", "TRUE");
    } else if (Index == 3) {
        PutInt(d.Get(), "InterfaceSelection", 0);
        PutInt(d.Get(), "BaudRateSelection", 0);
        PutInt(d.Get(), "OvraMasterMACID", 0);
    } else if (Index == 4) {
        d->SetObjWithName("DefaultSettings", MakeRef<TSLDictionary>().Get());
    }
    return d;
}

bool FileExists(const MyAnsiString& Stored) {
    std::error_code ec;
    return fs::is_regular_file(StoredPathToRealPath(Stored), ec);
}

} // namespace

// ------------------------------------------------------------------ vendor information

MyAnsiString TShellSettings::CompanyInfoStr(const MyAnsiString& Name) const {
    return CompanyInfo ? StrOf(CompanyInfo->FindObjWithName(Name)) : MyAnsiString();
}

MyAnsiString TShellSettings::ProductInfoStr(const MyAnsiString& Name) const {
    return ProductInfo ? StrOf(ProductInfo->FindObjWithName(Name)) : MyAnsiString();
}

int32_t TShellSettings::ProductInfoInt(const MyAnsiString& Name) const {
    if (!ProductInfo)
        return -1;
    const auto v = IntOf(ProductInfo->FindObjWithName(Name));
    return v ? static_cast<int32_t>(*v) : -1;
}

int32_t TShellSettings::CompanyID() const {
    if (!CompanyInfo)
        return 0;
    const auto v = IntOf(CompanyInfo->FindObjWithName("CompanyID"));
    return v ? static_cast<int32_t>(*v) : 0;
}

int TShellSettings::NumberOfContacts() const {
    auto* a = CompanyInfo ? dynamic_cast<TSLArray*>(CompanyInfo->FindObjWithName("Contacts")) : nullptr;
    return a ? a->GetCount() : 0;
}

TSLArray* TShellSettings::Contact(int Index) const {
    auto* a = CompanyInfo ? dynamic_cast<TSLArray*>(CompanyInfo->FindObjWithName("Contacts")) : nullptr;
    if (!a || Index < 0 || Index >= a->GetCount())
        return nullptr;
    return dynamic_cast<TSLArray*>(a->GetObjAtIndex(Index));
}

TSLArray* TShellSettings::InfoSysLangArr() const {
    return ViewInfo ? dynamic_cast<TSLArray*>(ViewInfo->FindObjWithName("InfoSystemLanguages")) : nullptr;
}

std::vector<MyAnsiString> TShellSettings::InfoSysLanguages() const {
    std::vector<MyAnsiString> out;
    if (TSLArray* a = InfoSysLangArr())
        for (int i = 0; i < a->GetCount(); ++i)
            out.push_back(StrOf(a->GetObjAtIndex(i)));
    return out;
}

MyAnsiString TShellSettings::ViewConfigFile() const {
    return ViewConfigDir + "ViewConfig.ini";
}

MyAnsiString TShellSettings::TemplateFile() const {
    return WorkDir + "ViewConfig.ini";
}

// ------------------------------------------------------------------ reading

void ReadProgramConfiguration(TShellSettings& S, const MyAnsiString& IniName) {
    const MyAnsiString name = "archive://Archives\\Config\\" + IniName;
    try {
        ProgramRegistry().ReadFromFile(name);
    } catch (const std::exception& E) {
        throw EShellStartError("The program configuration '" + IniName +
                               "' could not be read; the installation is incomplete: " + E.what());
    }
    TSLDictionary* root = ProgramRegistry().GetRegData();
    S.ViewInfo = SubDict(root, "ViewInfo");
    S.AutoLogin = SubDict(root, "AUTOLOGIN");
}

void ReadVendorInfo(TShellSettings& S) {
    try {
        CompanyRegistry().ReadFromFile("archive://Archives\\Config\\VendorInfo.stx");
    } catch (const std::exception& E) {
        LogWarning(MyAnsiString("The vendor information could not be read; product information stays empty: ") +
                   E.what());
    }
    TSLDictionary* root = CompanyRegistry().GetRegData();
    S.CompanyInfo = SubDict(root, "CompanyInfos");
    S.ProductInfo = SubDict(root, "ProductInfos");
    if (!S.CompanyInfo)
        S.CompanyInfo = MakeRef<TSLDictionary>();
    if (!S.ProductInfo)
        S.ProductInfo = MakeRef<TSLDictionary>();
}

fs::path XdgDataHome() {
    if (const char* v = std::getenv("XDG_DATA_HOME"); v && *v)
        return v;
    const char* home = std::getenv("HOME");
    return fs::path(home ? home : "/tmp") / ".local" / "share";
}

fs::path XdgConfigHome() {
    if (const char* v = std::getenv("XDG_CONFIG_HOME"); v && *v)
        return v;
    const char* home = std::getenv("HOME");
    return fs::path(home ? home : "/tmp") / ".config";
}

void CreateDataFolders(TShellSettings& S, const fs::path& DataHome, const fs::path& ConfigHome) {
    S.ProductVersion = S.ProductSubVersion = S.ProductBuildDate = -1;
    S.ProductName.clear();
    const MyAnsiString program = S.ProductInfoStr("ProgramName");
    if (!program.empty()) {
        const MyAnsiString caption = S.ProductInfoStr("ProgramVersionCaption");
        S.ProductName = caption.empty() ? program : program + " - " + caption;
        S.ProductBuildDate = S.ProductInfoInt("ProgramBuildDate");
    }
    fs::path data = DataHome / "Velkor";
    fs::path config = ConfigHome / "Velkor";
    if (!S.ProductName.empty()) {
        data /= StoredPathToRealPath(S.ProductName, "/").filename();
        config /= StoredPathToRealPath(S.ProductName, "/").filename();
    }
    EnsureDir(data);
    S.AppDataDir = StoredDir(data);
    S.ViewConfigDir = StoredDir(config);
    S.InfoFileName = S.AppDataDir + "velkorovra4releaseinfo.txt";
    std::error_code ec;
    if (!fs::is_directory(data / "DOC" / "RefDoc", ec))
        EnsureDir(data / "DOC" / "RefDoc");
    if (!fs::is_directory(data / "Configurations" / "VKC", ec))
        EnsureDir(data / "Configurations" / "VKC");
    if (!fs::is_directory(data / "Configurations" / "VKW", ec))
        EnsureDir(data / "Configurations" / "VKW");
    S.OfflineConfigDir = S.AppDataDir + "Configurations\\VKC\\";
    S.OpenSaveConfigDir = S.OfflineConfigDir;
    S.OpenSaveWorkspaceDir = S.AppDataDir + "Configurations\\VKW\\";
}

void ReadViewConfig(TShellSettings& S) {
    const MyAnsiString user = S.ViewConfigFile();
    const MyAnsiString first = FileExists(user) ? user : S.TemplateFile();
    // Each section's registry holds the whole file: it is read once, the
    // others take copies of what it holds.
    auto readAll = [](const MyAnsiString& File) {
        TProgramRegistry& first = SectionRegistry(0);
        first.ReadFromFile(File);
        TSLDictionary* read = first.GetRegData();
        for (int i = 1; i < 5; ++i) {
            TSLDictionary* d = SectionRegistry(i).GetRegData();
            d->Clear();
            for (int n = 0; n < read->GetCount(); ++n)
                d->SetObjWithName(read->GetNameAtIndex(n), read->GetObjAtIndex(n)->CopyRef().Get());
        }
    };
    try {
        readAll(first);
    } catch (const std::exception& E) {
        LogWarning("The view settings '" + first + "' could not be read (" + E.what() +
                   "); the program folder's template is used");
        try {
            readAll(S.TemplateFile());
        } catch (const std::exception& E2) {
            LogWarning("The template of the view settings could not be read either (" + MyAnsiString(E2.what()) +
                       "); defaults are used");
        }
    }
    for (int i = 0; i < 5; ++i) {
        TProgramRegistry& r = SectionRegistry(i);
        if (!dynamic_cast<TSLDictionary*>(r.GetRegData()->FindObjWithName(SectionNames[i]))) {
            LogWarning(MyAnsiString("The view settings have no section '") + SectionNames[i] +
                       "'; its defaults are used");
            if (r.GetRegData()->FindObjWithName(SectionNames[i]))
                r.RemoveObject(SectionNames[i]);
            r.AddObject(SectionNames[i], DefaultSection(i).Get());
        }
    }
    S.OscilloscopeSettings = SubDict(OscilloscopeSettingsRegistry().GetRegData(), "OscilloscopeSettings");
    S.ViewConfig = SubDict(ViewConfigRegistry().GetRegData(), "ViewConfig");
}

void TakeViewConfig(TShellSettings& S) {
    TSLDictionary* v = S.ViewConfig.Get();
    S.InfoSysLang = TakeStr(v, "InfoSysLanguage", "");
    S.UPIDDispMode = TakeStr(v, "UPIDDispMode", "HEX");
    S.RawDataDispMode = TakeStr(v, "RawDataDispMode", "HEX");
    S.RelParFilterMode = TakeStr(v, "RelParFilterMode", "Disabled");
    UnitManager().SetUnitSystem(usMetric);
    if (TSLObject* o = v->FindObjWithName("UnitSystem")) {
        const MyAnsiString text = StrOf(o);
        try {
            UnitManager().SetUnitSystem(StrToUnitSystem(text));
        } catch (const std::exception& E) {
            LogWarning("Unknown unit system '" + text + "' in the view settings; the metric one is used (" +
                       E.what() + ")");
        }
    }
    std::error_code ec;
    if (TSLObject* o = v->FindObjWithName("ConfigurationDir")) {
        const MyAnsiString dir = StrOf(o);
        S.OpenSaveConfigDir = (!dir.empty() && fs::is_directory(RealDir(dir), ec)) ? dir : S.OfflineConfigDir;
    } else {
        PutStr(v, "ConfigurationDir", S.OpenSaveConfigDir);
    }
    if (TSLObject* o = v->FindObjWithName("WorkspaceDir")) {
        const MyAnsiString dir = StrOf(o);
        if (!dir.empty() && fs::is_directory(RealDir(dir), ec))
            S.OpenSaveWorkspaceDir = dir;
    } else {
        PutStr(v, "WorkspaceDir", S.OpenSaveWorkspaceDir);
    }
    S.AutoCheckForUpdates = TakeInt(v, "CheckForUpdates", 0);
    S.LicenseValue = TakeInt(v, "LICOK", 0);
    S.ExitProgramWarning = TakeInt(v, "ExitWarning", 1);
}

// ------------------------------------------------------------------ writing

namespace {

// The file's current content with Section replaced by Dict, written through
// a temporary file of this section, renamed over the file.
void WriteSection(const TShellSettings& S, const char* Section, TSLDictionary* Dict) {
    const MyAnsiString user = S.ViewConfigFile();
    const fs::path real = StoredPathToRealPath(user);
    TProgramRegistry content;
    const bool exists = FileExists(user);
    if (exists || FileExists(S.TemplateFile())) {
        try {
            content.ReadFromFile(exists ? user : S.TemplateFile());
        } catch (const std::exception& E) {
            // An unreadable file is rebuilt from the sections written now.
            LogWarning("The view settings could not be read before writing: " + MyAnsiString(E.what()));
        }
    }
    if (content.GetRegData()->FindObjWithName(Section))
        content.RemoveObject(Section);
    content.AddObject(Section, Dict);

    std::error_code ec;
    fs::create_directories(real.parent_path(), ec);
    if (ec)
        throw Exception("The folder '" + real.parent_path().string() + "' could not be created: " + ec.message());
    if (exists) {
        const fs::perms p = fs::status(real, ec).permissions();
        if (!ec && (p & fs::perms::owner_write) == fs::perms::none)
            fs::permissions(real, fs::perms::owner_write, fs::perm_options::add, ec);
    }
    const fs::path tmp = real.parent_path() / (real.filename().string() + "." + Section + ".tmp");
    fs::remove(tmp, ec);
    content.WriteToFile(RealPathToStored(tmp));
    fs::rename(tmp, real, ec);
    if (ec) {
        fs::remove(tmp, ec);
        throw Exception("'" + real.string() + "' could not be replaced: " + ec.message());
    }
}

TRef<TSLDictionary> CopyOf(TSLDictionary* D) {
    if (!D)
        return MakeRef<TSLDictionary>();
    TRef<TSLObject> c = D->CopyRef();
    return TRef<TSLDictionary>(dynamic_cast<TSLDictionary*>(c.Get()));
}

// Sets Name to Value when it differs; true when it did.
bool SetStrChanged(TSLDictionary* D, const char* Name, const MyAnsiString& Value) {
    TSLObject* o = D->FindObjWithName(Name);
    if (o && dynamic_cast<TSLString*>(o) && StrOf(o) == Value)
        return false;
    PutStr(D, Name, Value);
    return true;
}

bool SetIntChanged(TSLDictionary* D, const char* Name, int64_t Value) {
    TSLObject* o = D->FindObjWithName(Name);
    if (o && dynamic_cast<TSLNumber*>(o) && IntOf(o) == Value)
        return false;
    PutInt(D, Name, Value);
    return true;
}

} // namespace

std::vector<MyAnsiString> WriteSettingsAtClose(TShellSettings& S, const TCloseValues& Values) {
    std::vector<MyAnsiString> failed;
    auto write = [&](const char* Section, TSLDictionary* Dict) {
        try {
            WriteSection(S, Section, Dict);
        } catch (const std::exception& E) {
            LogError(MyAnsiString("The view settings' section '") + Section + "' could not be written: " + E.what());
            failed.push_back(Section);
        }
    };

    // ViewConfig: every key that differs from the stored one.
    {
        TRef<TSLDictionary> d = CopyOf(S.ViewConfig.Get());
        bool changed = false;
        changed |= SetStrChanged(d.Get(), "UnitSystem", UnitSystemToStr(UnitManager().GetUnitSystem()));
        changed |= SetStrChanged(d.Get(), "InfoSysLanguage", S.InfoSysLang);
        changed |= SetStrChanged(d.Get(), "UPIDDispMode", S.UPIDDispMode);
        changed |= SetStrChanged(d.Get(), "RawDataDispMode", S.RawDataDispMode);
        changed |= SetStrChanged(d.Get(), "RelParFilterMode", S.RelParFilterMode);
        changed |= SetStrChanged(d.Get(), "ConfigurationDir", S.OpenSaveConfigDir);
        changed |= SetIntChanged(d.Get(), "CheckForUpdates", S.AutoCheckForUpdates);
        changed |= SetStrChanged(d.Get(), "WorkspaceDir", S.OpenSaveWorkspaceDir);
        changed |= SetIntChanged(d.Get(), "LICOK", S.LicenseValue);
        changed |= SetIntChanged(d.Get(), "ExitWarning", S.ExitProgramWarning);
        // A missing "UnitSystem" only counts when the unit system is not the
        // metric one that its absence stands for.
        if (changed && !HasKey(S.ViewConfig.Get(), "UnitSystem") &&
            UnitManager().GetUnitSystem() == usMetric) {
            TRef<TSLDictionary> probe = CopyOf(S.ViewConfig.Get());
            PutStr(probe.Get(), "UnitSystem", UnitSystemToStr(usMetric));
            changed = SLEncodeToString(probe.Get()) != SLEncodeToString(d.Get());
        }
        if (changed)
            write("ViewConfig", d.Get());
    }

    // OscilloscopeSettings: when the user changed the default settings.
    if (Values.OsciDefaults) {
        TRef<TSLDictionary> d = CopyOf(S.OscilloscopeSettings.Get());
        Replace(d.Get(), "DefaultSettings", CopyOf(Values.OsciDefaults).Get());
        write("OscilloscopeSettings", d.Get());
    }

    // InstallConfig: when a script changed it.
    if (S.InstallConfigChangedByScript) {
        S.InstallConfigChangedByScript = false;
        write("InstallConfig", CopyOf(SubDict(InstallConfigRegistry().GetRegData(), "InstallConfig")).Get());
    }

    // LoginConfig: the login and adapter dialogs' choices.
    if (Values.Login) {
        TRef<TSLDictionary> d = CopyOf(SubDict(LoginConfigRegistry().GetRegData(), "LoginConfig"));
        const TLoginConfigValues& v = *Values.Login;
        bool changed = false;
        changed |= SetIntChanged(d.Get(), "DevMACID", v.DevMACID);
        changed |= SetStrChanged(d.Get(), "PortName", v.PortName);
        changed |= SetStrChanged(d.Get(), "UserName", v.UserName);
        changed |= SetIntChanged(d.Get(), "IPAddress", v.IPAddress);
        changed |= SetStrChanged(d.Get(), "InterfaceName", v.InterfaceName);
        changed |= SetIntChanged(d.Get(), "GroupSelEnabled", v.GroupSelEnabled);
        changed |= SetIntChanged(d.Get(), "GroupNumber", v.GroupNumber);
        changed |= SetStrChanged(d.Get(), "ShowObjectInspector", v.ShowObjectInspector ? "TRUE" : "FALSE");
        if (changed)
            write("LoginConfig", d.Get());
    }

    // CANDriverConfig: only with a CAN driver.
    if (Values.CAN) {
        TRef<TSLDictionary> d = CopyOf(SubDict(CANDriverConfigRegistry().GetRegData(), "CANDriverConfig"));
        bool changed = false;
        changed |= SetIntChanged(d.Get(), "InterfaceSelection", Values.CAN->InterfaceSelection);
        changed |= SetIntChanged(d.Get(), "BaudRateSelection", Values.CAN->BaudRateSelection);
        changed |= SetIntChanged(d.Get(), "OvraMasterMACID", Values.CAN->OvraMasterMACID);
        if (changed)
            write("CANDriverConfig", d.Get());
    }
    return failed;
}

} // namespace vo
