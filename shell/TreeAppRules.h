#pragma once
// The commands of the project tree window without any GUI library: one table
// of every action (name, caption, shortcut, language key, view tag, menu) and
// the rule that enables or shows each one, a function of what the window
// shows (TTreeAppState). The window builds its menus from the table and runs
// the rules on idle and before a menu opens.
#include "platform/AnsiString.h"

#include <cstdint>
#include <optional>
#include <set>
#include <vector>

namespace vo {

enum class TTreeAction : std::uint8_t {
    // File
    Login,
    CreateOffline,
    Scanning,
    ETHScanning,
    Logout,
    SaveWorkSpace,
    OpenWorkSpace,
    Import,
    Export,
    Print,
    InstallFirmware,
    InstallAndRestore,
    NewCommander,
    Exit,
    // Search
    FindUPID,
    FindCaption,
    // Drive
    Reboot,
    Stop,
    Blink,
    DownloadSoftware,
    DownloadConfiguration,
    ExportRawData,
    CreateUPIDList,
    SaveImage,
    LoadImage,
    MotorWizard,
    // Services (pages of the drive)
    ShowControlPanel,
    ShowParameters,
    ShowVariables,
    ShowOscilloscope,
    ShowMessages,
    ShowErrors,
    ShowCurves,
    ShowCommandTable,
    // Options
    ShowCanManager,
    UPIDDispModeDec,
    UPIDDispModeHex,
    RawDataDispModeDec,
    RawDataDispModeHex,
    ExitWarningShow,
    ExitWarningHide,
    // Help
    ObjectInspector,
    HomePage,
    CheckForUpdates,
    CheckByStart,
    About,
    // Toolbar and popup only
    HideTree,
    Up,
    Toggle,
    GoOffline,
    SwitchUser,
    // Edit actions on the focused field (no menu)
    EditCut,
    EditCopy,
    EditPaste,
    EditDelete,
    Count
};

enum class TTreeMenu : std::uint8_t { None,
                                      File,
                                      Search,
                                      Drive,
                                      Services,
                                      Options,
                                      Help,
                                      Toolbar,
                                      Popup };

struct TTreeActionDef {
    TTreeAction Action;
    const char* Name; // object name of the action
    const char* Caption; // English caption
    const char* Shortcut; // "" for none
    const char* LanguageKey; // caption from the language texts, "" for none
    int Tag; // 10-25: the generic action a view may claim, else 0
    TTreeMenu Menu;
    // The effect is built; the others stay disabled in the window.
    bool Built;
    const char* PageSuffix; // Services menu: the page below the drive
};

// Every action, in menu order.
const std::vector<TTreeActionDef>& TreeActions();
const TTreeActionDef& TreeActionDef(TTreeAction Action);

// What the rules look at.
struct TTreeAppState {
    bool HasDrive = false; // an entry of a drive is shown
    bool Connected = false; // the status client follows the drive's status service
    bool Online = false; // the status service reports the drive online
    bool DeviceOnline = false; // dtOnline
    bool ConnectionLost = false; // dtConnectionLost
    bool DeviceStarted = false; // dstStarted
    int Level = 0; // 1 GUEST, 3 USER, 7 SERVICE, 15 DEVELOPER
    std::set<MyAnsiString> Services; // the drive's services present
    std::set<MyAnsiString> ActiveServices; // reported active by the module service
    bool CommandTableEnabled = false;
    MyAnsiString PortName; // the drive's string variable "PortName"
    std::optional<std::int64_t> Upid0561; // value of the parameter 0x0561, if any
    std::optional<bool> Upid0CCA; // value of the parameter 0x0CCA, if any
    bool CanScan = false; // the main form can start a scan
    bool FirstNodeSelected = true; // the tree's first node is selected
    bool HasPreviousPath = false;
    bool OnlineDeviceExists = false; // any online device in the device manager
    bool UpdateCheckReady = false;
    bool Has(const char* Service) const { return Services.count(Service) != 0; }
};

struct TActionRule {
    bool Enabled = true;
    bool Visible = true;
};

// The rule of one action (without a view claiming it, and regardless of
// whether its effect is built).
TActionRule ActionRule(TTreeAction Action, const TTreeAppState& S);

} // namespace vo
