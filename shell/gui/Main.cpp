#include "shell/gui/Main.h"

#include "comm/CANMan.h"
#include "comm/gui/CanManagerView.h"
#include "devices/DevMan.h"
#include "devices/VelInit.h"
#include "devices/gui/CmdStart.h"
#include "devices/gui/Debwnd.h"
#include "kernel/Debug.h"
#include "kernel/LanguageMan.h"
#include "kernel/LogWnd.h"
#include "kernel/LoginPrompts.h"
#include "kernel/MxMLib20.h"
#include "kernel/PrgObjs.h"
#include "kernel/PrgVars.h"
#include "kernel/UserPrompt.h"
#include "kernel/gui/LoginInfo.h"
#include "kernel/gui/QtText.h"
#include "platform/ComPorts.h"
#include "platform/FileNames.h"
#include "parameters/gui/VarDrop.h"
#include "platform/gui/QtMainLoop.h"
#include "shell/PrgTasks.h"
#include "shell/StartHooks.h"
#include "shell/gui/LanguageSel.h"
#include "shell/gui/License.h"
#include "shell/gui/ModApp.h"
#include "storagelib/AutoReleaseTask.h"
#include "storagelib/CtxIntf.h"
#include "storagelib/PrgParams.h"
#include "storagelib/PrgRegs.h"
#include "storagelib/SL20Arc.h"
#include "storagelib/SL20ClipSto.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20FileSto.h"
#include "storagelib/SL20Sto.h"

#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <utility>

namespace vo {

namespace {

TMainForm* GMainForm = nullptr;

// The developer digest, put together byte by byte at run time.
MD5Digest DeveloperDigest() {
    MD5Digest d{};
    const uint8_t parts[4][4] = {{0x02, 0x57, 0x48, 0x3a}, {0xac, 0xa8, 0x11, 0x29}, {0x05, 0x07, 0x44, 0xd8}, {0x16, 0x00, 0x06, 0x27}};
    for (int i = 0; i < 16; ++i)
        d[static_cast<std::size_t>(i)] = parts[i / 4][i % 4];
    return d;
}

TSLObject* Switch(const char* Name) {
    TSLDictionary* d = ProgParamDict();
    return d ? d->FindObjWithName(Name) : nullptr;
}

MyAnsiString SwitchValue(const char* Name) {
    if (auto* s = dynamic_cast<TSLString*>(Switch(Name)))
        return s->GetStringValue();
    return {};
}

bool StoredFileExists(const MyAnsiString& Name) {
    std::error_code ec;
    return !Name.empty() && std::filesystem::is_regular_file(StoredPathToRealPath(Name), ec);
}

} // namespace

TMainForm* MainForm() noexcept {
    return GMainForm;
}

TMainForm::TMainForm(TMainFormOptions Options, QObject* Parent) : QObject(Parent), FOptions(std::move(Options)) {
    setObjectName("MainForm");
}

TMainForm::~TMainForm() {
    if (GMainForm == this)
        GMainForm = nullptr;
    FMainTask.reset();
    FTaskQueue.reset();
    FAutoReleaseTask.reset();
    for (TTreeAppForm* c : FCommanders) {
        c->OnAppFormClose = nullptr;
        delete c;
    }
    FCommanders.clear();
    if (TShellServices* s = &ShellServices(); s == this)
        SetShellServices(nullptr);
    if (&LoginInfoWindow() == static_cast<TLoginInfoWindow*>(FLoginInfoForm.get()))
        SetLoginInfoWindow(nullptr);
    if (DebugManager() == FDebugManager.get())
        SetDebugManager(nullptr);
    // The device server outlives this form, and its drivers may still trace
    // through the debug manager on their threads: it stays until the process
    // ends.
    if (FDebugManager) {
        static auto* retired = new std::vector<std::unique_ptr<TDebugManager>>;
        retired->push_back(std::move(FDebugManager));
    }
    // The main scheduler lives as long as the process (the devices' tasks and
    // their timers outlive this form and still wake it from the timer
    // thread): its loop stays with it.
    if (FOwnScheduler)
        (void)FLoop.release();
}

// ------------------------------------------------------------------ start

bool TMainForm::FormCreate() {
    GMainForm = this;
    FMainFormCloseRequest = false;
    FDeveloperDigest = DeveloperDigest();
    SetShellServices(this);

    // Kernel objects and the registry.
    FDebugManager = std::make_unique<TDebugManager>();
    SetDebugManager(FDebugManager.get());
    ObjectRegistryManager().RegisterObject(FDebugManager.get(), "DebugManager", "DebugManager", 1, 0);
    FDebugManager->Enable(2);
    LogWindowManager().FOnRegWnd = [this](TShellWindow& W) { RegisterWindow(W); };
    LogWindowManager().FOnUnregWnd = [this](TShellWindow& W) { UnregisterWindow(W); };
    if (ShellStartHooks().InstallDialogs)
        ShellStartHooks().InstallDialogs();

    // Storage manager with the class path and the storage plug-ins.
    FSettings.WorkDir = FOptions.WorkDir;
    SetWorkDir(FSettings.WorkDir);
    FStorageManager = std::make_unique<TStorageManager>(FSettings.WorkDir);
    ObjectRegistryManager().RegisterObject(FStorageManager.get(), "StorageManager", "StorageManager", 1, 0);
    for (const char* sub : {"Archives\\", "Packages\\", "PackInst\\", "UnitService\\", "ParTrees\\", "Firmware\\",
                            "Actuators\\"})
        FStorageManager->AnnounceClasspath(FSettings.WorkDir + sub);
    FStorageManager->AnnounceStoragePlugin(std::make_unique<TFileStoragePlugin>(), true);
    FStorageManager->AnnounceStoragePlugin(std::make_unique<TArchiveStoragePlugin>(), true);
    FStorageManager->AnnounceStoragePlugin(std::make_unique<TClipboardStoragePlugin>(), false);
    if (ShellStartHooks().InstallScripting)
        ShellStartHooks().InstallScripting(*FStorageManager);
    if (ShellStartHooks().ListenToScriptTasks)
        ShellStartHooks().ListenToScriptTasks([this] {
            if (FMainTask && FMainTask->State() == stReady)
                FMainTask->Signal();
        });

    ReadProgramParameters(FOptions.Args);
    FSettings.UserDir = RealPathToStored(std::filesystem::current_path()) + "\\";

    // Settings and folders.
    try {
        MyAnsiString ini = SwitchValue("INIFile");
        ReadProgramConfiguration(FSettings, ini.empty() ? MyAnsiString("VelCmdr.ini") : ini);
    } catch (const EShellStartError& E) {
        LogError(E.what());
        ShowErrorMessage(E.what());
        FExitCode = 1;
        return false;
    }
    ReadVendorInfo(FSettings);
    CreateDataFolders(FSettings, FOptions.DataHome.empty() ? XdgDataHome() : FOptions.DataHome,
                      FOptions.ConfigHome.empty() ? XdgConfigHome() : FOptions.ConfigHome);
    ReadViewConfig(FSettings);

    // Main scheduler and messaging.
    if (!MxScheduler()) {
        FLoop = std::make_unique<TQtMainLoop>();
        MxCreateMainScheduler(*FLoop);
        FOwnScheduler = true;
    }
    ObjectRegistryManager().RegisterObject(MxScheduler(), "MainScheduler", "MxScheduler", 1, 0);
    MxEnsureMessaging();

    FWindowMenuList.FOnMenuClick = [](void* Object) {
        if (auto* w = dynamic_cast<QWidget*>(static_cast<TShellWindow*>(Object))) {
            w->show();
            w->raise();
            w->activateWindow();
        }
    };
    FViewMenuList.FOnMenuClick = [](void* Object) {
        if (Object)
            (*static_cast<std::function<void()>*>(Object))();
    };
    FLanguageMenuList.FOnMenuClick = [this](void* Object) {
        for (int i = 0; i < FLanguageMenuList.Count(); ++i)
            if (FLanguageMenuList.Item(i).Object == Object) {
                MyAnsiString name = FLanguageMenuList.Item(i).Caption;
                std::erase(name, '&');
                SetInfoSysLang(name);
            }
    };
    FTaskQueue = std::make_unique<TTaskQueue>();

    // The composition: serial ports named on the command line first.
    if (const MyAnsiString ports = SwitchValue("COMPORTS"); !ports.empty())
        ComPortTable::Instance().ApplyMapping(ports);
    VelInitHooks().WorkDir = FSettings.WorkDir;
    VelInitHooks().OscilloscopeSettings = FSettings.OscilloscopeSettings.Get();
    try {
        InitVelkorCommander();
    } catch (const std::exception& E) {
        LogError(E.what());
        ShowErrorMessage(MyAnsiString("The program could not be started: ") + E.what());
        FExitCode = 1;
        return false;
    }
    CreateLanguageMenuList();
    TakeViewConfig(FSettings);

    FMainTask = std::make_unique<TMainTask>(*this, FSettings);
    FMainTask->NoForm = Switch("NoForm") != nullptr;
    FMainTask->ScriptsExpectedToStart = ScriptsExpectedToStart();
    FMainTask->WindowCount = [this] { return FWindowList.size(); };
    FMainTask->ScriptsRunning = ShellStartHooks().ScriptTasksRunning;
    FMainTask->LoadOfflineConfiguration = ShellStartHooks().LoadOfflineConfiguration;
    FAutoReleaseTask = std::make_unique<TAutoReleaseTask>();
    FAutoReleaseTask->SetPriority(3);
    FAutoReleaseTask->Start();
    CreateStartProgramTasks();

    MyAnsiString vkc = SwitchValue("VKC");
    if (vkc.empty()) {
        TSLArray* args = ProgParamArray();
        if (args && args->GetCount() == 1) {
            if (auto* s = dynamic_cast<TSLString*>(args->GetObjAtIndex(0))) {
                const MyAnsiString a = s->GetStringValue();
                if (StoredFileExists(a) && a.size() >= 4 && UpperCaseText(a.substr(a.size() - 4)) == ".VKC")
                    vkc = a;
            }
        }
    }
    FMainTask->VKC_Name = vkc;
    return true;
}

int TMainForm::ScriptsExpectedToStart() const {
    return (Switch("Script") ? 1 : 0) + (Switch("NoAuto") ? 0 : 1);
}

void TMainForm::CreateStartProgramTasks() {
    AddProgramTask([this] { CreateViewMenuList(); });
    if (!Switch("NoForm")) {
        if (FSettings.ViewInfo && FSettings.ViewInfo->FindObjWithName("Name"))
            AddProgramTask([this] { CreateTreeCommander(); });
    }
    if (!Switch("NoAuto"))
        AddProgramTask([this] { ExecuteAutoStartScript(); });
    AddProgramTask([this] { ExecuteCommandLineScript(); });
}

void TMainForm::AddProgramTask(std::function<void()> Call) {
    FTaskQueue->AddTask(std::move(Call));
}

void TMainForm::CreateViewMenuList() {
    FViewActions.reserve(4);
    if (TCANManager* can = CANManager()) {
        FViewActions.push_back([this, can] {
            static QWidget* form = nullptr;
            if (!form) {
                FViewForms.push_back(std::make_unique<TCanManagerViewForm>(*can));
                form = FViewForms.back().get();
            }
            form->show();
            form->raise();
        });
        FViewMenuList.Add("&CANOvra Manager", "", &FViewActions.back());
    }
    FViewActions.push_back([this] {
        static QWidget* form = nullptr;
        if (!form) {
            FViewForms.push_back(std::make_unique<TDebugWindow>(FDebugManager.get()));
            form = FViewForms.back().get();
        }
        form->show();
        form->raise();
    });
    FViewMenuList.Add("&RSOvra Debug Window", "", &FViewActions.back());
}

void TMainForm::CreateLanguageMenuList() {
    for (const MyAnsiString& name : FSettings.InfoSysLanguages())
        FLanguageMenuList.Add(name, "", nullptr);
    // Each entry stands for itself: its index in the list.
    for (int i = 0; i < FLanguageMenuList.Count(); ++i) {
        const TMenuListItem item = FLanguageMenuList.Item(i);
        FLanguageMenuList.Delete(i);
        FLanguageMenuList.Insert(i, item.Caption, "", reinterpret_cast<void*>(static_cast<intptr_t>(i + 1)));
    }
}

void TMainForm::SetInfoSysLang(const MyAnsiString& Value) {
    FSettings.InfoSysLang = Value;
    for (TTreeAppForm* w : FCommanders)
        w->UpdateMenuLanguage();
}

void TMainForm::CreateTreeCommander() {
    const bool first = FNumberOfCommander == 0 && FCommanders.empty();
    if (first && FOptions.BeforeFirstWindow)
        std::exchange(FOptions.BeforeFirstWindow, nullptr)();
    if (first && !FirstStartDialogs())
        return; // the licence was refused: no window, so the program ends
    auto* w = new TTreeAppForm(FWindowMenuList, FViewMenuList, FLanguageMenuList, FSettings);
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    w->DeferFirstViewToPaint();
    if (first)
        w->OnFirstFrame = [] {
            if (ShellStartHooks().AfterFirstFrame)
                ShellStartHooks().AfterFirstFrame();
        };
    if (TDeviceManager* devices = DeviceManager())
        w->AddModel(devices->ModelManager());
    MyAnsiString caption = FSettings.ProductInfoStr("ProgramName");
    if (caption.empty())
        caption = "Velkor-Ovra";
    w->SetCaption(caption);
    w->Action(TTreeAction::NewCommander)->setText(ToQt(caption));
    RegisterWindow(*w);
    FCommanders.push_back(w);
    w->OnAppFormClose = [this](TTreeAppForm& W) { WindowClose(W); };
    w->OnLogin = [this] { FMainTask->CreateDevice("VelkorOnline"); };
    w->OnNewCommander = [this, w] {
        FSelectedEntry = w->PathStr();
        CreateTreeCommander();
    };
    w->CommanderCount = [this] { return FNumberOfCommander; };
    w->CanScan = [this] { return FMainTask && FMainTask->State() == stReady; };
    // Parameter and variable rows dropped on a user-defined variable section.
    w->OnDragOverEntry = [](QDropEvent& E, TEntryItem* T) { return VarDragAccepted(*E.mimeData(), T); };
    w->OnDropOnEntry = [](QDropEvent& E, TEntryItem* T) { return !VarDropOnEntry(*E.mimeData(), T).empty(); };
    ++FNumberOfCommander;
    if (FNumberOfCommander == 1 && !FMainTask->VKC_Name.empty())
        FMainTask->SetState(stOpenDevice);
    w->show();
    w->activateWindow();
    if (!FSelectedEntry.empty()) {
        w->SetPathStr(FSelectedEntry);
        FSelectedEntry.clear();
    }
}

bool TMainForm::FirstStartDialogs() {
    if (FSettings.LicenseValue != 1) {
        TLicenseForm licence(StoredPathToRealPath(FSettings.WorkDir) / "brask_ag_eula.txt");
        if (licence.exec() != QDialog::Accepted)
            return false;
        FSettings.LicenseValue = 1;
    }
    const std::vector<MyAnsiString> languages = FSettings.InfoSysLanguages();
    if (!languages.empty() && std::find(languages.begin(), languages.end(), FSettings.InfoSysLang) == languages.end()) {
        TLanguageSelForm settings(languages);
        settings.exec(); // whatever way it closes, the choice counts
        SetInfoSysLang(settings.Language());
        FSettings.AutoCheckForUpdates = settings.AutoCheckForUpdates() ? 1 : 0;
    }
    return true;
}

void TMainForm::WindowClose(TTreeAppForm& Window) {
    FMainFormCloseRequest = true;
    --FNumberOfCommander;
    UnregisterWindow(Window);
    std::erase(FCommanders, &Window);
    Window.deleteLater();
}

void TMainForm::RegisterWindow(TShellWindow& AForm) {
    MyAnsiString caption = AForm.GetCaption();
    if (FWindowList.count(caption)) {
        for (int n = 1;; ++n) {
            const MyAnsiString c = caption + "_" + std::to_string(n);
            if (!FWindowList.count(c)) {
                caption = c;
                break;
            }
        }
        AForm.SetCaption(caption);
    }
    FWindowList[caption] = &AForm;
    FWindowMenuList.Add(caption, "", &AForm);
}

void TMainForm::UnregisterWindow(TShellWindow& AForm) {
    for (auto it = FWindowList.begin(); it != FWindowList.end(); ++it)
        if (it->second == &AForm) {
            FWindowList.erase(it);
            if (FMainTask)
                FMainTask->Signal();
            break;
        }
    FWindowMenuList.RemoveObject(&AForm);
}

std::vector<MyAnsiString> TMainForm::WindowCaptions() const {
    std::vector<MyAnsiString> out;
    for (const auto& [caption, w] : FWindowList)
        out.push_back(caption);
    return out;
}

// ------------------------------------------------------------------ scripts

void TMainForm::ExecuteAutoStartScript() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::filesystem::path script = StoredPathToRealPath(FSettings.WorkDir) / exe.filename();
    script.replace_extension(".sct");
    if (!ec && std::filesystem::is_regular_file(script, ec))
        ExecuteScript(RealPathToStored(script), false);
    // Counted also when there is none: a run without window must not wait
    // for a script that will never start.
    ++FMainTask->ScriptsStarted;
}

void TMainForm::ExecuteCommandLineScript() {
    const MyAnsiString name = SwitchValue("script");
    if (name.empty())
        return;
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(StoredPathToRealPath(name), ec);
    std::filesystem::current_path(full.parent_path(), ec);
    if (std::filesystem::is_regular_file(full, ec))
        ExecuteScript(RealPathToStored(full), Switch("Debug") != nullptr);
    else
        ReportStartError("The script file '" + name + "' does not exist.");
    ++FMainTask->ScriptsStarted;
}

void TMainForm::ReportStartError(const MyAnsiString& Text) {
    LogError(Text);
    if (FMainTask && FMainTask->NoForm) {
        // Nobody may be looking at the screen: say it on the terminal and end
        // with a failure code.
        std::fprintf(stderr, "velkor-ovra: %s\n", Text.c_str());
        FExitCode = 1;
    } else
        ShowErrorMessage(Text);
}

void TMainForm::ExecuteScript(const MyAnsiString& FileName, bool DebugMode) {
    try {
        std::unique_ptr<TScriptTaskInterface> task = FStorageManager->CreateScriptTask();
        task->SetDebug(DebugMode);
        task->LoadScript(FileName);
        auto install = MakeRef<TSLDictionary>();
        TProgramRegistry& r = InstallConfigRegistry();
        auto intAt = [&r](const char* Path) -> int64_t {
            try {
                return r.GetIntKey(Path);
            } catch (const std::exception&) {
                return 0;
            }
        };
        auto strAt = [&r](const char* Path) -> MyAnsiString {
            try {
                return r.GetStrKey(Path);
            } catch (const std::exception&) {
                return {};
            }
        };
        install->SetObjWithName("InstIPAddress", MakeRef<TSLLongint>(intAt("InstallConfig\\InstIPAddress")).Get());
        install->SetObjWithName("InstMACID", MakeRef<TSLLongint>(intAt("InstallConfig\\InstDevMACID")).Get());
        install->SetObjWithName("InstPortName", MakeRef<TSLString>(strAt("InstallConfig\\InstPortName")).Get());
        install->SetObjWithName("InstUserName", MakeRef<TSLString>(strAt("InstallConfig\\InstUserName")).Get());
        if (TSLContext* c = task->GetContext())
            c->AddDict(install.Get());
        task->SetAutoFree(true);
        task->Start();
        (void)task.release(); // frees itself when it ends
    } catch (const std::exception& E) {
        ReportStartError(E.what());
    }
}

// ------------------------------------------------------------------ shell services

MyAnsiString TMainForm::GetProductInfoStr(const MyAnsiString& InfoName) const {
    return FSettings.ProductInfoStr(InfoName);
}

MyAnsiString TMainForm::GetCompanyInfoStr(const MyAnsiString& InfoName) const {
    return FSettings.CompanyInfoStr(InfoName);
}

void TMainForm::StartScanning() {
    if (FMainTask && FMainTask->State() == stReady)
        FMainTask->SetState(stCANScanForDevices);
}

void TMainForm::StartETHScanning() {
    if (FMainTask && FMainTask->State() == stReady)
        FMainTask->SetState(stETHScanForDevices);
}

void TMainForm::BlinkETH(std::int32_t) {
    LogWarning("TMainForm.BlinkETH: the Ethernet discovery is not available in this build");
}

std::uint8_t TMainForm::OvraProgramType() const {
    return vo::OvraProgramType();
}

TConnectionLostAnswer TMainForm::ShowConnectionLost(const MyAnsiString& AMessage) {
    const TModalResult r = MessageDlg(AMessage, TMsgDlgType::mtWarning, {TMsgDlgBtn::mbRetry, TMsgDlgBtn::mbCancel});
    return r == mrRetry ? TConnectionLostAnswer::Retry : TConnectionLostAnswer::GoOffline;
}

bool TMainForm::OpenDialog(TOpenDialogRequest& Request) {
    const MyAnsiString dir = Request.ConfigDir ? FSettings.OpenSaveConfigDir : FSettings.OpenSaveWorkspaceDir;
    QString filter = ToQt(Request.Filter);
    filter.replace('|', ";;");
    const QStringList parts = filter.split(";;");
    QString qtFilter;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        qtFilter += (qtFilter.isEmpty() ? "" : ";;") + parts[i];
    const QString file = QFileDialog::getOpenFileName(nullptr, "Open", QString::fromStdString(StoredPathToRealPath(dir).string()), qtFilter);
    if (file.isEmpty())
        return false;
    Request.FileName = RealPathToStored(std::filesystem::path(file.toStdString()));
    return true;
}

bool TMainForm::SaveDialog(TSaveDialogRequest& Request) {
    QString filter = ToQt(Request.Filter);
    filter.replace('|', ";;");
    const QStringList parts = filter.split(";;");
    QString qtFilter;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        qtFilter += (qtFilter.isEmpty() ? "" : ";;") + parts[i];
    const QString start = Request.FileName.empty() ? QString() : QString::fromStdString(StoredPathToRealPath(Request.FileName).string());
    // The dialog asks before overwriting a file.
    QFileDialog dialog(nullptr, "Save As", start, qtFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    MyAnsiString ext = Request.DefaultExt;
    if (!ext.empty() && ext.front() == '.')
        ext.erase(0, 1);
    dialog.setDefaultSuffix(ToQt(ext));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    Request.FileName = RealPathToStored(std::filesystem::path(dialog.selectedFiles().first().toStdString()));
    return true;
}

void TMainForm::SetOsciDefaults(TSLDictionary* Dict) {
    FOsciDefaults = Dict;
}

// ------------------------------------------------------------------ login dialogs

TDeviceLoginDialog& TMainForm::LoginDialog() {
    if (!FLoginDialog) {
        // Made when first needed: a start without login does not pay for it.
        LoginInfoForm();
        FLoginDialog = std::make_unique<TDeviceLoginDialog>();
        if (FLoginDialogInit)
            InitializeLoginDialog(*FLoginDialog);
    }
    return *FLoginDialog;
}

TLoginInfoForm& TMainForm::LoginInfoForm() {
    if (!FLoginInfoForm) {
        FLoginInfoForm = std::make_unique<TLoginInfoForm>();
        SetLoginInfoWindow(FLoginInfoForm.get());
    }
    return *FLoginInfoForm;
}

void TMainForm::InitLoginDialog() {
    FLoginDialogInit = true;
    if (FLoginDialog)
        InitializeLoginDialog(*FLoginDialog);
}

void TMainForm::InitializeLoginDialog(TDeviceLoginDialog& Dialog) {
    TSLDictionary* login = nullptr;
    TSLDictionary* root = ProgramRegistry().GetRegData();
    if (root)
        login = dynamic_cast<TSLDictionary*>(root->FindObjWithName("Login"));
    TSLDictionary* cfgRoot = LoginConfigRegistry().GetRegData();
    auto* config = cfgRoot ? dynamic_cast<TSLDictionary*>(cfgRoot->FindObjWithName("LoginConfig")) : nullptr;
    Dialog.Initialize(login, config);
}

void TMainForm::ResetLoginDialog() {
    LoginDialog().EnableInterfaces();
}

bool TMainForm::ShowLoginDialog(const MyAnsiString& DeviceCaption, const MyAnsiString& OfflineFile) {
    TDeviceLoginDialog& d = LoginDialog();
    d.FDeviceCaption = DeviceCaption;
    if (!OfflineFile.empty())
        d.PresetOffline(OfflineFile);
    return d.exec() == QDialog::Accepted;
}

TLoginAnswers TMainForm::LoginAnswers() {
    TDeviceLoginDialog& d = LoginDialog();
    TLoginAnswers a;
    a.Interface = d.GetInterfaceType();
    a.PortName = d.GetPortName();
    a.UserName = d.FUserName;
    a.Password = d.FPassword;
    a.OfflineFile = d.GetOfflineFileName();
    a.MACID = d.GetDeviceMACID();
    if (a.Interface == ifEthernet)
        a.IPAddress = d.GetIPAddress();
    a.ShowObjectInspector = d.GetShowObjInsp();
    return a;
}

void TMainForm::PostShowLoginInfo() {
    LoginInfoForm(); // takes the login's lines from now on
    QTimer::singleShot(0, this, [this] { ShowInfoForm(); });
}

void TMainForm::ShowInfoForm() {
    if (FLoginInfoFormVisible)
        return;
    FLoginInfoFormVisible = true;
    TLoginInfoForm& f = LoginInfoForm();
    f.Memo1->clear();
    f.AddString(LangText("WaitLogin"));
    f.AddString(" ");
    f.CloseBtn->setEnabled(false);
    f.exec();
    FLoginInfoFormVisible = false;
}

void TMainForm::EnableLoginInfoClose() {
    LoginInfoForm().CloseBtn->setEnabled(true);
}

void TMainForm::CloseLoginInfo() {
    if (FLoginInfoForm && FLoginInfoForm->isVisible())
        FLoginInfoForm->accept();
}

// ------------------------------------------------------------------ close

void TMainForm::CloseMainForm() {
    if (FClosed)
        return;
    QTimer::singleShot(0, this, [this] {
        if (FClosed)
            return;
        FormClose();
        if (OnTerminate)
            OnTerminate(FExitCode);
        else
            QCoreApplication::exit(FExitCode);
    });
}

void TMainForm::FormClose() {
    FClosed = true;
    TCloseValues v;
    if (FLoginDialog) {
        TLoginConfigValues l;
        l.DevMACID = FLoginDialog->GetDeviceMACID();
        l.PortName = FLoginDialog->FSelectedRSPort.empty() ? MyAnsiString("COM1") : FLoginDialog->FSelectedRSPort;
        l.UserName = FLoginDialog->FUserName.empty() ? MyAnsiString("USER") : FLoginDialog->FUserName;
        try {
            l.IPAddress = FLoginDialog->GetIPAddress();
        } catch (const std::exception&) {
            l.IPAddress = 0;
        }
        l.ShowObjectInspector = FLoginDialog->GetShowObjInsp();
        TSLDictionary* root = LoginConfigRegistry().GetRegData();
        auto* stored = root ? dynamic_cast<TSLDictionary*>(root->FindObjWithName("LoginConfig")) : nullptr;
        if (stored) {
            if (auto* s = dynamic_cast<TSLString*>(stored->FindObjWithName("InterfaceName")))
                l.InterfaceName = s->GetStringValue();
            if (auto* n = dynamic_cast<TSLNumber*>(stored->FindObjWithName("GroupSelEnabled")))
                l.GroupSelEnabled = static_cast<int32_t>(n->GetLongintValue());
            if (auto* n = dynamic_cast<TSLNumber*>(stored->FindObjWithName("GroupNumber")))
                l.GroupNumber = static_cast<int32_t>(n->GetLongintValue());
        }
        v.Login = l;
    }
    v.OsciDefaults = FOsciDefaults.Get();
    const std::vector<MyAnsiString> failed = WriteSettingsAtClose(FSettings, v);
    if (!failed.empty()) {
        MyAnsiString names;
        for (const MyAnsiString& n : failed)
            names += (names.empty() ? "" : ", ") + n;
        ShowErrorMessage("These sections of the view settings could not be saved: " + names);
    }
}

} // namespace vo
