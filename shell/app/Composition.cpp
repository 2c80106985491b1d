#include "shell/app/Composition.h"

#include "comm/CANMan.h"
#include "comm/CANdrv.h"
#include "comm/ETHdrv.h"
#include "comm/Qp1Drv.h"
#include "curves/CurInit.h"
#include "curves/ocCCrMan.h"
#include "devices/DevMan.h"
#include "devices/LoadSrv.h"
#include "devices/ModulSrv.h"
#include "devices/StatSrv.h"
#include "devices/VelInit.h"
#include "devices/gui/ConfXferDlgs.h"
#include "devices/gui/DevInfoForm.h"
#include "devices/gui/LoadDlg.h"
#include "devices/gui/mdChkFrm.h"
#include "kernel/LogWnd.h"
#include "kernel/LoginPrompts.h"
#include "kernel/UserPrompt.h"
#include "kernel/gui/LogWindow.h"
#include "kernel/gui/LoginMsg.h"
#include "kernel/gui/QtUserPrompt.h"
#include "kernel/gui/prtQtPrinter.h"
#include "kernel/prtPCtx.h"
#include "motorwizard/MotWizMan.h"
#include "parameters/ParInit.h"
#include "parameters/ParMan.h"
#include "parameters/gui/ParAppView.h"
#include "parameters/gui/varDirectory.h"
#include "parameters/gui/varViewer.h"
#include "parameters/varService.h"
#include "scripting/ScrMan.h"
#include "scripting/ScrTaImp.h"
#include "shell/StartHooks.h"
#include "storagelib/PrgRegs.h"
#include "storagelib/SL20Exe.h"
#include "storagelib/SL20Sto.h"

#include <memory>

namespace vo {

namespace {

// The platform printer, set up when something first prints or asks for its
// capabilities: asking the print system for its printers takes long enough
// to be felt at every start.
class TLazyQtPrinter : public TPLPrinter {
public:
    bool PrintDialog(const MyAnsiString& ATitle) override {
        FJobTitle = ATitle;
        return Real().PrintDialog(ATitle);
    }
    TPLDeviceCaps GetDeviceCaps() override { return Real().GetDeviceCaps(); }
    void BeginDoc() override { Real().BeginDoc(); }
    void NewPage() override { Real().NewPage(); }
    void EndDoc() override { Real().EndDoc(); }
    void Abort() override { Real().Abort(); }
    bool Printing() const override { return FReal && FReal->Printing(); }
    TPLCanvas& Canvas() override { return Real().Canvas(); }

private:
    TPLQtPrinter& Real() {
        if (!FReal)
            FReal = std::make_unique<TPLQtPrinter>();
        return *FReal;
    }
    std::unique_ptr<TPLQtPrinter> FReal;
};

// The login question window, made when the first question comes.
class TLazyLoginQuestion : public TLoginQuestionPrompt {
public:
    TModalResult Ask(const TLoginQuestion& Question) override {
        if (!FForm)
            FForm = new TLoginMsgForm(); // lives as long as the program
        return FForm->Ask(Question);
    }

private:
    TLoginMsgForm* FForm = nullptr;
};

} // namespace

void InstallProgramParts() {
    TVelInitHooks& h = VelInitHooks();

    // Step 5 to 7: the gateway, CAN and Ethernet drivers and the CAN manager.
    h.CreateQp1Driver = [](int32_t ComPort, uint32_t BaudRate) -> std::shared_ptr<TPortDriver> {
        return std::make_shared<TQp1Driver>(ComPort, static_cast<uint16_t>(BaudRate));
    };
    h.CreateCANDriver = [](TSLDictionary* Config) -> std::shared_ptr<TPortDriver> {
        auto can = std::make_shared<TCANDriver>();
        can->Init(Config);
        static TCANManager canManager;
        SetCANManager(&canManager);
        canManager.AssignCANDriver(can);
        return can;
    };
    h.CreateETHDriver = []() -> std::shared_ptr<TPortDriver> { return std::make_shared<TETHDriver>(); };

    // Step 9: the device manager's views.
    h.InitDeviceViews = [](TDeviceManager& Manager) {
        static TDeviceInfoFormFactory deviceInfo;
        static TProjectInfoFormFactory projectInfo;
        Manager.SetDeviceInfoFormFactory(&deviceInfo);
        Manager.SetProjectInfoFormFactory(&projectInfo);
    };

    // Step 10: the device-service classes.
    h.ServiceClasses["ModuleService"] = DeviceServiceClass<TModuleService>();
    h.ServiceClasses["StatusService"] = DeviceServiceClass<TStatusService>();
    h.ServiceClasses["LoaderService"] = DeviceServiceClass<TLoaderService>();
    // "UnitService" and "ParameterService" are registered by InitParameters
    // (step 13).
    // "VariableService" (variables) and h.InitVariableManager join here.

    // Steps 10.6 and 10.11: data objects, curves and their generators.
    h.InitDataObjectManagers = [] { InitDataObjectManagers(); };
    // The curve manager reads its files when first asked for, at the latest
    // after the first window's first frame.
    h.InitCurveManager = [] { DeferCurveManager(); };

    // The motor wizard's manager with its seven item classes.
    h.InitMotWizardManager = [] { InitMotWizardManager(); };

    // Step 13: the parameter model with the unit service and the units.
    h.CreateParameterManager = [] {
        if (TDeviceManager* m = DeviceManager())
            InitParameters(*m, ProgramRegistry().GetRegData());
        // Every parameter directory's tree node opens the parameter list view.
        // Kept until the process ends: its views are widgets, which must not
        // outlive the application object in static destruction.
        static TParAppViewFactory* parameterView = new TParAppViewFactory;
        ParameterManager().RegisterViewFactory(parameterView);
        // Every variable section's node opens the variable list view, every
        // variable service's node the section view.
        static TVarAppViewFactory* variableView = new TVarAppViewFactory;
        static TVarDirViewFactory* dirView = new TVarDirViewFactory;
        VariableManager().RegisterViewFactories(variableView, dirView);
    };

    TShellStartHooks& s = ShellStartHooks();
    s.InstallDialogs = [] {
        static TQtUserPrompt prompt;
        SetUserPrompt(&prompt);
        static TLazyLoginQuestion question;
        SetLoginQuestionPrompt(&question);
        InstallQtLogWindows(LogWindowManager());
        static TLazyQtPrinter printer;
        SetPrinter(&printer);
        // The loader's dialog and the configuration transfers' questions.
        InstallLoaderDialog();
        InstallConfigTransferDialogs();
        InstallModCheckForm();
    };
    s.InstallScripting = [](TStorageManager& Manager) {
        SLInstallScriptEngine(Manager);
        Manager.AnnounceScriptTaskFactory(std::make_unique<TScriptTaskFactory>());
        RegisterScriptClasses(Manager);
    };
    s.ListenToScriptTasks = [](std::function<void()> Listener) {
        ScriptTaskManager().AddOnChangeListener([Listener](TScriptTaskManager&) { Listener(); });
    };
    s.ScriptTasksRunning = [] { return ScriptTaskManager().GetCountRunning() > 0; };
    s.AfterFirstFrame = [] {
        (void)CurveManager();
    };
    // s.LoadOfflineConfiguration: the configuration files' loader joins here.
}

} // namespace vo
