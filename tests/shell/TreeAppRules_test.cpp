// The enabling rules of the project tree window's commands, as tables over
// the window states that matter: no drive, a connected online drive at each
// user level, port names, the two parameters that gate pages and lists.
#include "shell/TreeAppRules.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace vo {
namespace {

using A = TTreeAction;

TTreeAppState ConnectedDrive(int Level) {
    TTreeAppState s;
    s.HasDrive = s.Connected = s.Online = s.DeviceOnline = s.DeviceStarted = true;
    s.Level = Level;
    s.Services = {"ParameterService", "StatusService", "VariableService", "ControlPanelService", "OsciService",
                  "ErrorsService", "CurveService", "MessagesService", "CommandTableService"};
    s.ActiveServices = {"CurveService", "MessagesService"};
    s.CommandTableEnabled = true;
    s.PortName = "COM7";
    s.Upid0561 = 0x0110;
    s.CanScan = true;
    s.FirstNodeSelected = false;
    s.HasPreviousPath = true;
    return s;
}

std::set<A> EnabledActions(const TTreeAppState& S) {
    std::set<A> on;
    for (const TTreeActionDef& d : TreeActions())
        if (ActionRule(d.Action, S).Enabled)
            on.insert(d.Action);
    return on;
}

TEST(TreeAppRules, TableListsEveryActionOnceWithUniqueShortcuts) {
    std::set<A> seen;
    std::map<std::string, std::string> shortcuts;
    for (const TTreeActionDef& d : TreeActions()) {
        EXPECT_TRUE(seen.insert(d.Action).second) << d.Name;
        if (*d.Shortcut) {
            const auto [it, fresh] = shortcuts.emplace(d.Shortcut, d.Name);
            EXPECT_TRUE(fresh) << d.Shortcut << " on " << it->second << " and " << d.Name;
        }
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(A::Count));
    EXPECT_STREQ(TreeActionDef(A::Exit).Shortcut, ""); // Ctrl+X is Cut's
    EXPECT_STREQ(TreeActionDef(A::EditCut).Shortcut, "Ctrl+X");
    EXPECT_EQ(TreeActionDef(A::Print).Tag, 15);
}

TEST(TreeAppRules, ProjectRootLeavesOnlyTheDriveFreeCommands) {
    TTreeAppState root;
    root.CanScan = true;
    root.Level = 15; // a user level alone gives no drive command
    const std::set<A> always = {A::Login,
                                A::CreateOffline,
                                A::Scanning,
                                A::ETHScanning,
                                A::OpenWorkSpace,
                                A::InstallFirmware,
                                A::InstallAndRestore,
                                A::NewCommander,
                                A::Exit,
                                A::ShowCanManager,
                                A::UPIDDispModeDec,
                                A::UPIDDispModeHex,
                                A::RawDataDispModeDec,
                                A::RawDataDispModeHex,
                                A::ExitWarningShow,
                                A::ExitWarningHide,
                                A::HomePage,
                                A::CheckByStart,
                                A::About,
                                A::HideTree,
                                A::SwitchUser,
                                A::EditCut,
                                A::EditCopy,
                                A::EditPaste,
                                A::EditDelete};
    EXPECT_EQ(EnabledActions(root), always);
    root.CanScan = false;
    EXPECT_FALSE(ActionRule(A::Scanning, root).Enabled);
    EXPECT_FALSE(ActionRule(A::ETHScanning, root).Enabled);
    EXPECT_FALSE(ActionRule(A::SaveImage, root).Visible);
    EXPECT_FALSE(ActionRule(A::SwitchUser, root).Visible);
}

TEST(TreeAppRules, UserLevelsGateDownloadsListsAndWizard) {
    const A gated[] = {A::DownloadSoftware, A::DownloadConfiguration, A::ExportRawData, A::CreateUPIDList, A::MotorWizard};
    for (int level : {1, 3, 7, 15}) {
        SCOPED_TRACE(level);
        const TTreeAppState s = ConnectedDrive(level);
        for (A a : gated)
            EXPECT_EQ(ActionRule(a, s).Enabled, level != 1) << TreeActionDef(a).Name;
        EXPECT_EQ(ActionRule(A::SaveImage, s).Visible, level == 15);
        EXPECT_EQ(ActionRule(A::LoadImage, s).Visible, level == 15);
        EXPECT_TRUE(ActionRule(A::Reboot, s).Enabled);
    }
}

TEST(TreeAppRules, ParameterPageAtGuestLevelFollows0CCA) {
    struct {
        int Level;
        std::optional<bool> Value;
        bool Enabled;
    } cases[] = {{1, std::nullopt, true}, {1, true, true}, {1, false, false}, {3, false, true}, {15, false, true}};
    for (const auto& c : cases) {
        TTreeAppState s = ConnectedDrive(c.Level);
        s.Upid0CCA = c.Value;
        EXPECT_EQ(ActionRule(A::ShowParameters, s).Enabled, c.Enabled) << c.Level << " " << c.Value.value_or(-1);
    }
    TTreeAppState noPar = ConnectedDrive(3);
    noPar.Services.erase("ParameterService");
    EXPECT_FALSE(ActionRule(A::ShowParameters, noPar).Enabled);
}

TEST(TreeAppRules, BlinkOnlyForPortEth) {
    for (const char* port : {"ETH", "eth", "COM1", "CAN", "ETH1", ""}) {
        TTreeAppState s = ConnectedDrive(3);
        s.PortName = port;
        EXPECT_EQ(ActionRule(A::Blink, s).Enabled, std::string(port) == "ETH") << port;
    }
    TTreeAppState offline = ConnectedDrive(3);
    offline.PortName = "ETH";
    offline.Online = false;
    EXPECT_FALSE(ActionRule(A::Blink, offline).Enabled);
}

TEST(TreeAppRules, UpidListNeedsKnownMotionType) {
    struct {
        std::optional<std::int64_t> Value;
        bool Enabled;
    } cases[] = {{0x10, true}, {0x11, true}, {0x2311, true}, {0x12, false}, {0x0F, false}, {std::nullopt, false}};
    for (const auto& c : cases) {
        TTreeAppState s = ConnectedDrive(3);
        s.Upid0561 = c.Value;
        EXPECT_EQ(ActionRule(A::CreateUPIDList, s).Enabled, c.Enabled) << c.Value.value_or(-1);
    }
}

TEST(TreeAppRules, PagesNeedTheirServicesAndConnection) {
    TTreeAppState s = ConnectedDrive(3);
    for (A a : {A::ShowControlPanel, A::ShowParameters, A::ShowVariables, A::ShowOscilloscope, A::ShowMessages,
                A::ShowErrors, A::ShowCurves, A::ShowCommandTable})
        EXPECT_TRUE(ActionRule(a, s).Enabled) << TreeActionDef(a).Name;
    s.ActiveServices.clear();
    s.CommandTableEnabled = false;
    EXPECT_FALSE(ActionRule(A::ShowMessages, s).Enabled);
    EXPECT_FALSE(ActionRule(A::ShowCurves, s).Enabled);
    EXPECT_FALSE(ActionRule(A::ShowCommandTable, s).Enabled);
    s.Connected = false;
    for (A a : {A::ShowControlPanel, A::ShowVariables, A::Import, A::Export, A::ObjectInspector, A::GoOffline})
        EXPECT_FALSE(ActionRule(a, s).Enabled) << TreeActionDef(a).Name;
    TTreeAppState lost = ConnectedDrive(3);
    lost.DeviceOnline = false;
    lost.ConnectionLost = true;
    EXPECT_FALSE(ActionRule(A::Import, lost).Enabled);
    EXPECT_FALSE(ActionRule(A::MotorWizard, lost).Enabled);
    EXPECT_TRUE(ActionRule(A::GoOffline, lost).Enabled);
}

} // namespace
} // namespace vo
