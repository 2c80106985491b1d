#include "shell/TreeAppRules.h"

#include <stdexcept>

namespace vo {

namespace {

using A = TTreeAction;
using M = TTreeMenu;

const std::vector<TTreeActionDef> GActions = {
    {A::Login, "LoginAct", "&Login/Offline...", "Ctrl+L", "MenuCap_Login", 0, M::File, true, ""},
    {A::CreateOffline, "acCreateOffline", "Create Offline...", "Ctrl+O", "MenuCap_CreateOffline", 0, M::File, false, ""},
    {A::Scanning, "ScanningAct", "Scanning (with CANusb)", "Ctrl+K", "", 0, M::File, false, ""},
    {A::ETHScanning, "ETHScanningAct", "Scanning (via Ethernet)", "Ctrl+E", "", 0, M::File, false, ""},
    {A::Logout, "LogoutAct", "Lo&gout", "Ctrl+T", "MenuCap_Logout", 0, M::File, false, ""},
    {A::SaveWorkSpace, "SaveWorkSpace", "Save Login...", "", "", 0, M::File, false, ""},
    {A::OpenWorkSpace, "OpenWorkSpace", "Open Login...", "", "", 0, M::File, false, ""},
    {A::Import, "AcOpen2", "&Import...", "Ctrl+Alt+I", "", 0, M::File, false, ""},
    {A::Export, "AcSave2", "&Export ...", "Ctrl+Alt+E", "", 0, M::File, false, ""},
    {A::Print, "FilePrint", "&Print", "Ctrl+P", "", 15, M::File, true, ""},
    {A::InstallFirmware, "AcRunScript", "Install Firmware ...", "Ctrl+Alt+F", "MenuCap_Install_Firmware", 0, M::File, false, ""},
    {A::InstallAndRestore, "InstallAndRestore", "Install and Restore", "", "", 0, M::File, false, ""},
    {A::NewCommander, "NewCommanderAct", "Com&mander", "Ctrl+N", "", 0, M::File, true, ""},
    // Ctrl+X stays with Cut: a shortcut on two actions fires neither.
    {A::Exit, "ExitAct", "E&xit", "", "MenuCap_Exit", 0, M::File, true, ""},
    {A::FindUPID, "FindAct", "Find UPID...", "Ctrl+U", "MenuCap_Find_UPID", 0, M::Search, false, ""},
    {A::FindCaption, "FindCapAct", "Find Caption...", "Ctrl+F", "MenuCap_Find_Caption", 0, M::Search, false, ""},
    {A::Reboot, "ResetAct", "&Reboot...", "Ctrl+Alt+R", "", 0, M::Drive, false, ""},
    {A::Stop, "AcStop", "S&top...", "Ctrl+Alt+S", "", 0, M::Drive, false, ""},
    {A::Blink, "BlinkDeviceAct", "&Blink", "Ctrl+Alt+B", "", 0, M::Drive, false, ""},
    {A::DownloadSoftware, "SetupAct", "Software ...", "Ctrl+Alt+W", "", 0, M::Drive, false, ""},
    {A::DownloadConfiguration, "LoadMotDefAct", "Configuration ...", "Ctrl+Alt+C", "", 0, M::Drive, false, ""},
    {A::ExportRawData, "ExportRawDataAct", "Export Raw Data...", "Ctrl+R", "", 0, M::Drive, false, ""},
    {A::CreateUPIDList, "CreateUPIDList", "Create UPID List...", "Ctrl+D", "", 0, M::Drive, false, ""},
    {A::SaveImage, "Backup", "Save Image...", "", "", 0, M::Drive, false, ""},
    {A::LoadImage, "Restore", "Load Image...", "", "", 0, M::Drive, false, ""},
    {A::MotorWizard, "MotorWizardAct", "Motor &Wizard...", "Ctrl+W", "", 0, M::Drive, false, ""},
    {A::ShowControlPanel, "ShowCtrlPnl", "Control &Panel", "F3", "", 0, M::Services, true, "\\Control Panel"},
    {A::ShowParameters, "ShowParameterService", "&Parameters", "F4", "", 0, M::Services, true, "\\Parameters"},
    {A::ShowVariables, "ShowVariableService", "&Variables", "F5", "", 0, M::Services, true, "\\Variables"},
    {A::ShowOscilloscope, "StartOscilloscopeAct", "&Oscilloscope", "F6", "", 0, M::Services, true,
     "\\Oscilloscopes\\Default"},
    {A::ShowMessages, "ShowMessageService", "&Messages", "F7", "", 0, M::Services, true, "\\Messages"},
    {A::ShowErrors, "ShowErrorService", "&Errors", "F8", "", 0, M::Services, true, "\\Errors"},
    {A::ShowCurves, "ShowCurveSector", "&Curves", "F9", "", 0, M::Services, true, "\\Curves"},
    {A::ShowCommandTable, "ShowCommandTableService", "Command &Table", "F10", "", 0, M::Services, true, "\\Command Table"},
    {A::ShowCanManager, "ShowCanManager", "CANOvra Settings...", "", "MenuCap_CANOvra_Settings", 0, M::Options, true, ""},
    {A::UPIDDispModeDec, "SetUPIDDispModeDecAct", "Decimal", "", "MenuCap_Decimal", 0, M::Options, true, ""},
    {A::UPIDDispModeHex, "SetUPIDDispModeHexAct", "Hexadecimal", "", "MenuCap_Hexadecimal", 0, M::Options, true, ""},
    {A::RawDataDispModeDec, "SetRawDataDispModeDecAct", "Decimal", "", "MenuCap_Decimal", 0, M::Options, true, ""},
    {A::RawDataDispModeHex, "SetRawDataDispModeHexAct", "Hexadecimal", "", "MenuCap_Hexadecimal", 0, M::Options, true, ""},
    {A::ExitWarningShow, "ExitWarningShow", "Show", "", "", 0, M::Options, true, ""},
    {A::ExitWarningHide, "ExitWarningHide", "Hide", "", "", 0, M::Options, true, ""},
    {A::ObjectInspector, "ObjectInspectorAct", "Show Object Inspector", "F1", "MenuCap_Show_Object_Inspector", 0, M::Help,
     false, ""},
    {A::HomePage, "VelkorHomePage1", "&Home Page", "", "", 0, M::Help, true, ""},
    {A::CheckForUpdates, "CheckForUpdates", "Check For Updates", "", "", 0, M::Help, false, ""},
    {A::CheckByStart, "CheckByStartItem", "Check For Updates at Program Startup", "", "", 0, M::Help, true, ""},
    {A::About, "AboutMenuItem", "&About...", "", "MenuCap_About", 0, M::Help, false, ""},
    {A::HideTree, "HideTreeAct", "Hide Tree", "", "", 0, M::Toolbar, true, ""},
    {A::Up, "UpAct", "Up", "", "", 0, M::Toolbar, true, ""},
    {A::Toggle, "ToggleAct", "Toggle", "", "", 0, M::Toolbar, true, ""},
    {A::GoOffline, "AcGoOffline", "Go offline", "", "", 0, M::Toolbar, false, ""},
    {A::SwitchUser, "SwitchUser", "Switch User...", "", "", 0, M::Popup, false, ""},
    {A::EditCut, "EditCut", "Cu&t", "Ctrl+X", "", 22, M::None, true, ""},
    {A::EditCopy, "EditCopy", "&Copy", "Ctrl+C", "", 23, M::None, true, ""},
    {A::EditPaste, "EditPaste", "&Paste", "Ctrl+V", "", 24, M::None, true, ""},
    {A::EditDelete, "EditDelete", "&Delete", "Del", "", 25, M::None, true, ""},
};

bool Level1(const TTreeAppState& S) {
    return S.Level == 1;
}

} // namespace

const std::vector<TTreeActionDef>& TreeActions() {
    return GActions;
}

const TTreeActionDef& TreeActionDef(TTreeAction Action) {
    for (const TTreeActionDef& d : GActions)
        if (d.Action == Action)
            return d;
    throw std::out_of_range("TreeActionDef: unknown action");
}

TActionRule ActionRule(TTreeAction Action, const TTreeAppState& S) {
    const bool c = S.Connected;
    const bool co = c && S.Online;
    const bool hasPar = S.Has("ParameterService");
    switch (Action) {
    case A::Scanning:
    case A::ETHScanning: return {S.CanScan, true};
    case A::Logout: return {c && S.DeviceStarted, true};
    case A::SaveWorkSpace: return {S.OnlineDeviceExists, false};
    case A::OpenWorkSpace: return {true, false};
    case A::Import: return {c && !S.ConnectionLost, true};
    case A::Export: return {c, true};
    case A::Print: return {false, true}; // only a view that claims it enables it
    case A::InstallAndRestore: return {true, false};
    case A::FindUPID:
    case A::FindCaption: return {S.HasDrive && (hasPar || S.Has("VariableService")), true};
    case A::Reboot:
    case A::Stop: return {co, true};
    case A::Blink: return {co && S.PortName == "ETH", true};
    case A::DownloadSoftware:
    case A::DownloadConfiguration: return {co && !Level1(S), true};
    case A::ExportRawData: return {S.HasDrive && hasPar && !Level1(S), true};
    case A::CreateUPIDList: {
        const bool known = S.Upid0561 && ((*S.Upid0561 & 0xFF) == 0x10 || (*S.Upid0561 & 0xFF) == 0x11);
        return {S.HasDrive && hasPar && known && !Level1(S), true};
    }
    case A::SaveImage:
    case A::LoadImage: {
        const bool v = S.HasDrive && S.Level == 15;
        return {v, v};
    }
    case A::MotorWizard: return {c && !S.ConnectionLost && !Level1(S), true};
    case A::ShowControlPanel: return {c && S.Has("ControlPanelService"), true};
    case A::ShowParameters: return {c && hasPar && (S.Level > 1 || !S.Upid0CCA || *S.Upid0CCA), true};
    case A::ShowVariables: return {c && S.Has("VariableService"), true};
    case A::ShowOscilloscope: return {c && S.Has("OsciService"), true};
    case A::ShowMessages: return {c && S.Has("MessagesService") && S.ActiveServices.count("MessagesService"), true};
    case A::ShowErrors: return {c && S.Has("ErrorsService"), true};
    case A::ShowCurves: return {c && S.Has("CurveService") && S.ActiveServices.count("CurveService"), true};
    case A::ShowCommandTable: return {c && S.Has("CommandTableService") && S.CommandTableEnabled, true};
    case A::ObjectInspector: return {c, true};
    case A::CheckForUpdates: return {S.UpdateCheckReady, true};
    case A::Up: return {!S.FirstNodeSelected, true};
    case A::Toggle: return {S.HasPreviousPath, true};
    case A::GoOffline: return {c && (S.DeviceOnline || S.ConnectionLost), true};
    case A::SwitchUser: return {true, c};
    default: return {true, true};
    }
}

} // namespace vo
