#pragma once
// The hidden main form: builds the program's object skeleton at start, holds
// the program-wide settings and shared dialogs, lists the open windows with
// the Window, View and Language menu lists, runs the device-opening task and
// ends the program when the last window is gone. It is never shown.
#include "kernel/ShellServices.h"
#include "shell/MainTask.h"
#include "shell/MenuList.h"
#include "shell/ShellSettings.h"

#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace vo {

class TDebugManager;
class TDeviceLoginDialog;
class TLoginInfoForm;
class TMxTask;
class TQtMainLoop;
class TStorageManager;
class TTaskQueue;
class TTreeAppForm;

// How the program was started.
struct TMainFormOptions {
    MyAnsiString WorkDir; // the program folder (stored name, trailing "\")
    std::vector<std::string> Args; // the command line without the program
    std::filesystem::path DataHome; // empty: $XDG_DATA_HOME
    std::filesystem::path ConfigHome; // empty: $XDG_CONFIG_HOME
    // Called once before the first project tree window is made (e.g. to
    // wait for start-up work of Qt that the window needs).
    std::function<void()> BeforeFirstWindow;
};

class TMainForm : public QObject, public TShellServices, public TMainTaskView {
    Q_OBJECT
public:
    explicit TMainForm(TMainFormOptions Options, QObject* Parent = nullptr);
    ~TMainForm() override;

    // Builds the skeleton. False when the program cannot run (a message was
    // shown; ExitCode() tells the exit code).
    bool FormCreate();
    // Saves the settings that changed; the sections that failed are reported
    // by name.
    void FormClose();
    int ExitCode() const { return FExitCode; }
    bool Closed() const { return FClosed; }

    // Window list.
    void RegisterWindow(TShellWindow& AForm) override;
    void UnregisterWindow(TShellWindow& AForm) override;
    std::vector<MyAnsiString> WindowCaptions() const;
    // A project tree window (without a model view for now).
    // Before the first: the licence (until accepted once) and the user
    // settings (while the language is none of the configured ones).
    void CreateTreeCommander();
    void AddProgramTask(std::function<void()> Call);
    // Runs a script file as a script task with the installation values.
    void ExecuteScript(const MyAnsiString& FileName, bool DebugMode);

    // Shell services.
    MyAnsiString InfoSysLang() const override { return FSettings.InfoSysLang; }
    void SetInfoSysLang(const MyAnsiString& Value);
    MyAnsiString GetProductInfoStr(const MyAnsiString& InfoName) const override;
    MyAnsiString GetCompanyInfoStr(const MyAnsiString& InfoName) const override;
    MD5Digest pswDeveloper() const override { return FDeveloperDigest; }
    void SetDeveloperDigest(const MD5Digest& Digest) { FDeveloperDigest = Digest; }
    TImageList* ImageList() const override { return nullptr; }
    bool LoginAbortRequest() const override { return FLoginAbortRequest; }
    void SetLoginAbortRequest(bool Value) override { FLoginAbortRequest = Value; }
    void StartScanning() override;
    void StartETHScanning() override;
    void BlinkETH(std::int32_t AIPAddress) override;
    std::uint8_t OvraProgramType() const override;
    TConnectionLostAnswer ShowConnectionLost(const MyAnsiString& AMessage) override;
    bool OpenDialog(TOpenDialogRequest& Request) override;
    bool SaveDialog(TSaveDialogRequest& Request) override;
    MyAnsiString UPIDDispMode() const override { return FSettings.UPIDDispMode; }
    void SetUPIDDispMode(const MyAnsiString& Value) override { FSettings.UPIDDispMode = Value; }
    MyAnsiString RawDataDispMode() const override { return FSettings.RawDataDispMode; }
    void SetRawDataDispMode(const MyAnsiString& Value) override { FSettings.RawDataDispMode = Value; }
    MyAnsiString RelParFilterMode() const override { return FSettings.RelParFilterMode; }
    void SetRelParFilterMode(const MyAnsiString& Value) override { FSettings.RelParFilterMode = Value; }

    TShellSettings& Settings() { return FSettings; }
    TMainTask& MainTask() { return *FMainTask; }
    TTaskQueue& TaskQueue() { return *FTaskQueue; }
    TMenuList& WindowMenuList() { return FWindowMenuList; }
    TMenuList& ViewMenuList() { return FViewMenuList; }
    TMenuList& LanguageMenuList() { return FLanguageMenuList; }
    TDeviceLoginDialog& LoginDialog();
    TLoginInfoForm& LoginInfoForm();
    bool LoginInfoFormVisible() const { return FLoginInfoFormVisible; }
    int NumberOfCommander() const { return FNumberOfCommander; }
    const std::vector<TTreeAppForm*>& Commanders() const { return FCommanders; }
    // The oscilloscope defaults the user changed (saved at close), or nullptr.
    void SetOsciDefaults(TSLDictionary* Dict);

    // Called when the program should end (default: quits the application).
    std::function<void(int ExitCode)> OnTerminate;

private:
    // TMainTaskView
    void InitLoginDialog() override;
    void ResetLoginDialog() override;
    bool ShowLoginDialog(const MyAnsiString& DeviceCaption, const MyAnsiString& OfflineFile) override;
    TLoginAnswers LoginAnswers() override;
    void PostShowLoginInfo() override;
    void EnableLoginInfoClose() override;
    void CloseLoginInfo() override;
    void CloseMainForm() override;

    void WindowClose(TTreeAppForm& Window);
    bool FirstStartDialogs();
    void InitializeLoginDialog(TDeviceLoginDialog& Dialog);
    void CreateStartProgramTasks();
    void CreateViewMenuList();
    void CreateLanguageMenuList();
    void ExecuteAutoStartScript();
    void ExecuteCommandLineScript();
    int ScriptsExpectedToStart() const;
    // A start script that could not run: a message, or with -NoForm a line
    // on stderr and exit code 1.
    void ReportStartError(const MyAnsiString& Text);
    void ShowInfoForm();

    TMainFormOptions FOptions;
    TShellSettings FSettings;
    MD5Digest FDeveloperDigest{};
    bool FLoginAbortRequest = false;
    bool FMainFormCloseRequest = false;
    bool FLoginInfoFormVisible = false;
    bool FLoginDialogInit = false; // the main task asked for the dialog's set-up
    bool FClosed = false;
    int FExitCode = 0;
    int FNumberOfCommander = 0;
    MyAnsiString FSelectedEntry; // where the next window opens
    TRef<TSLDictionary> FOsciDefaults;

    std::unique_ptr<TDebugManager> FDebugManager;
    std::unique_ptr<TStorageManager> FStorageManager;
    std::unique_ptr<TQtMainLoop> FLoop;
    bool FOwnScheduler = false;
    std::map<MyAnsiString, TShellWindow*> FWindowList;
    TMenuList FWindowMenuList{true, true};
    TMenuList FViewMenuList;
    TMenuList FLanguageMenuList;
    std::vector<std::function<void()>> FViewActions;
    std::unique_ptr<TTaskQueue> FTaskQueue;
    std::unique_ptr<TMainTask> FMainTask;
    std::unique_ptr<TMxTask> FAutoReleaseTask;
    std::vector<TTreeAppForm*> FCommanders;
    std::unique_ptr<TDeviceLoginDialog> FLoginDialog;
    std::unique_ptr<TLoginInfoForm> FLoginInfoForm;
    std::vector<std::unique_ptr<QWidget>> FViewForms;
};

// The program's main form (nullptr while none exists).
TMainForm* MainForm() noexcept;

} // namespace vo
