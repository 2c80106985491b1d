#pragma once
// The program-wide settings of the shell: the read-only program configuration
// ("VelCmdr.ini") and vendor information ("VendorInfo.stx") from the program
// archive, the user's "ViewConfig.ini", and the data folders. Read once at
// start, written back at close section by section.
//
// Folders: the data folder is $XDG_DATA_HOME/Velkor/<product>/ (with
// "Configurations\VKC", "Configurations\VKW" and "DOC\RefDoc" below it);
// "ViewConfig.ini" lives in $XDG_CONFIG_HOME/Velkor/<product>/. Before the
// first save the template "ViewConfig.ini" of the program folder is read.
// All folder values are stored names with a trailing "\".
#include "platform/AnsiString.h"
#include "storagelib/RefObj.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace vo {

class TSLDictionary;
class TSLArray;

struct TShellSettings {
    MyAnsiString WorkDir; // the program folder
    MyAnsiString UserDir; // the current folder at start
    MyAnsiString AppDataDir;
    MyAnsiString ViewConfigDir; // the folder of the user's ViewConfig.ini
    MyAnsiString OpenSaveConfigDir;
    MyAnsiString OfflineConfigDir;
    MyAnsiString OpenSaveWorkspaceDir;
    MyAnsiString InfoFileName; // release information of the update check
    MyAnsiString ProductName; // "ProgramName - ProgramVersionCaption", or ""

    TRef<TSLDictionary> ViewInfo; // "ViewInfo" of the program configuration (may be null)
    TRef<TSLDictionary> AutoLogin; // "AUTOLOGIN" (may be null)
    TRef<TSLDictionary> CompanyInfo; // "CompanyInfos" (never null after reading)
    TRef<TSLDictionary> ProductInfo; // "ProductInfos" (never null after reading)
    TRef<TSLDictionary> ViewConfig; // section "ViewConfig" (live in its registry)
    TRef<TSLDictionary> OscilloscopeSettings; // section "OscilloscopeSettings"

    int32_t ProductVersion = -1;
    int32_t ProductSubVersion = -1;
    int32_t ProductBuildDate = -1;

    MyAnsiString InfoSysLang;
    MyAnsiString UPIDDispMode = "HEX";
    MyAnsiString RawDataDispMode = "HEX";
    MyAnsiString RelParFilterMode = "Disabled";
    int32_t AutoCheckForUpdates = 0;
    int32_t LicenseValue = 0;
    int32_t ExitProgramWarning = 1;
    bool InstallConfigChangedByScript = false;

    // Vendor information by name ("" / -1 / 0 when missing; never raise).
    MyAnsiString CompanyInfoStr(const MyAnsiString& Name) const;
    MyAnsiString ProductInfoStr(const MyAnsiString& Name) const;
    int32_t ProductInfoInt(const MyAnsiString& Name) const;
    int32_t CompanyID() const;
    int NumberOfContacts() const;
    TSLArray* Contact(int Index) const; // nullptr when missing
    // "InfoSystemLanguages" of ViewInfo (nullptr when missing).
    TSLArray* InfoSysLangArr() const;
    std::vector<MyAnsiString> InfoSysLanguages() const;

    // The user's ViewConfig.ini and the program folder's template.
    MyAnsiString ViewConfigFile() const;
    MyAnsiString TemplateFile() const;
};

// Raised when the program cannot start with the settings it has (a missing
// program configuration).
class EShellStartError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// 1: ProgramRegistry from "archive://Archives\Config\" + IniName; ViewInfo and
// AutoLogin. A missing or unreadable file raises EShellStartError.
void ReadProgramConfiguration(TShellSettings& S, const MyAnsiString& IniName);
// 2: CompanyRegistry; a missing file logs a warning and leaves both
// dictionaries empty.
void ReadVendorInfo(TShellSettings& S);
// 4 to 6: product name and build date; the data folder below DataHome and
// the configuration folder below ConfigHome, with their subfolders.
void CreateDataFolders(TShellSettings& S, const std::filesystem::path& DataHome,
                       const std::filesystem::path& ConfigHome);
// $XDG_DATA_HOME and $XDG_CONFIG_HOME (or their defaults below $HOME).
std::filesystem::path XdgDataHome();
std::filesystem::path XdgConfigHome();
// 7: the five ViewConfig registries, from the user's file when it exists,
// else from the template; when that read fails, all five again from the
// template. A missing section gets its defaults and a warning.
void ReadViewConfig(TShellSettings& S);
// 8: the ViewConfig values into S, adding missing keys with their defaults;
// the unit manager's unit system (metric, then the stored one; an unknown
// stored name gives a warning and stays metric).
void TakeViewConfig(TShellSettings& S);

// The values the close compares besides the fields of TShellSettings.
struct TLoginConfigValues {
    int32_t DevMACID = 0;
    MyAnsiString PortName = "COM1";
    MyAnsiString UserName = "USER";
    int32_t IPAddress = 0;
    MyAnsiString InterfaceName;
    int32_t GroupSelEnabled = 0;
    int32_t GroupNumber = 0;
    bool ShowObjectInspector = true;
};
struct TCANConfigValues {
    int32_t InterfaceSelection = 0;
    int32_t BaudRateSelection = 0;
    int32_t OvraMasterMACID = 0;
};
struct TCloseValues {
    std::optional<TLoginConfigValues> Login; // the login dialog's values
    std::optional<TCANConfigValues> CAN; // only when a CAN driver exists
    TSLDictionary* OsciDefaults = nullptr; // set when the user changed them
};
// Writes each changed section into the user's ViewConfig.ini on its own (the
// file's current content with that section replaced, through a temporary
// file renamed over it; a read-only file is made writable first). Returns
// the names of the sections that failed; later sections are still written.
std::vector<MyAnsiString> WriteSettingsAtClose(TShellSettings& S, const TCloseValues& Values);

} // namespace vo
