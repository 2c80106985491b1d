#pragma once
// The device-opening state machine: one main-scheduler task ("MainTask")
// whose step runs one state of MainState. It names a new device, creates it
// from a device profile, lets the device start its services, waits until the
// device has started or failed, adds it to the project tree and reports in
// the login information window. It also ends the program when no window is
// left. Requests are accepted only in stReady, so one opening runs at a time.
//
// The dialogs are the GUI's: the state machine reaches them through
// TMainTaskView (tests give their own). Messages go through the kernel's user
// prompt, the progress lines through the login information window.
#include "devices/DevMan.h"
#include "kernel/MxTLib20.h"
#include "platform/AnsiString.h"
#include "storagelib/RefObj.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace vo {

class TSLArray;
struct TShellSettings;

enum TMainState : uint8_t {
    stStartup,
    stReady,
    stOpenDevice,
    stOpenDeviceOffline,
    stOpenDeviceOfflineDragAndDrop,
    stAutoOpenDevice,
    stWaitDevice,
    stShutDown,
    stOpenDeviceWithPar,
    stCANScanForDevices,
    stSendLoginCmd,
    stCANWaitScanDevice,
    stCANScanDeviceName,
    stCANFreePorts,
    stCANScanLogin,
    stCANFreePortsBeforeLogin,
    stCANScanOpenDevice,
    stCANScanWaitDevice,
    stCreateDeviceOfflineOldRel,
    stCreateDeviceOffline,
    stETHScanForDevices,
    stSendBroadcast,
    stWaitETHScanDevice,
    stETHScanDeviceName,
    stETHScanLogin,
    stBlinking,
    stEndBlinking,
    stETHScanOpenDevice,
    stETHScanWaitDevice,
    stWorkSpaceOpenDevice,
    stWorkSpaceWaitDevice
};
const char* MainStateText(TMainState State);

// What the device login dialog answered.
struct TLoginAnswers {
    TInterfaceType Interface = ifRS232;
    MyAnsiString PortName;
    MyAnsiString DeviceType = "Online";
    MyAnsiString DefaultCommander;
    MyAnsiString UserName;
    MyAnsiString Password;
    MyAnsiString OfflineFile;
    int32_t MACID = 0;
    int32_t IPAddress = 0;
    bool ShowObjectInspector = false;
};

class TMainTaskView {
public:
    virtual ~TMainTaskView() = default;
    // Once at start: the login dialog with "Login" and "LoginConfig".
    virtual void InitLoginDialog() = 0;
    // The dialog back in its online form.
    virtual void ResetLoginDialog() = 0;
    // Modal; OfflineFile not empty: the offline form showing that file.
    // True when it ends with OK.
    virtual bool ShowLoginDialog(const MyAnsiString& DeviceCaption, const MyAnsiString& OfflineFile) = 0;
    virtual TLoginAnswers LoginAnswers() = 0;
    // Shows the login information window from the message loop (not from
    // the calling step): memo cleared, "WaitLogin", " ".
    virtual void PostShowLoginInfo() = 0;
    virtual void EnableLoginInfoClose() = 0;
    virtual void CloseLoginInfo() = 0;
    // The object inspector when the login dialog asks for it.
    virtual void ShowObjectInspector() {}
    // Ends the program (closes the main form).
    virtual void CloseMainForm() = 0;
};

class TMainTask {
public:
    // Creates the signal and the task "MainTask" and starts it.
    TMainTask(TMainTaskView& View, TShellSettings& Settings);
    ~TMainTask();
    TMainTask(const TMainTask&) = delete;
    TMainTask& operator=(const TMainTask&) = delete;

    // Requests (GUI thread).
    // The login dialog is reset in any state; in stReady: "VelkorOnline"
    // shows it and opens the device on OK, "VelkorOffline" asks for a file.
    void CreateDevice(const MyAnsiString& ProfileName);
    void CreateDeviceDragAndDrop(const MyAnsiString& AFileName);
    void CreateDeviceWithPar(const MyAnsiString& AProfileName, const MyAnsiString& APortName);
    // Accepted only in stReady (a workspace opened during another opening
    // would orphan that device).
    bool OpenWorkSpace(TSLArray* DevArray);
    bool CanStartScanning() const { return FState == stReady; }

    TMainState State() const { return FState; }
    // Sets the state and wakes the task.
    void SetState(TMainState Value);
    void Signal() { FSignal.SetReady(true); }

    // "BOX" and the smallest n >= 1 the device manager does not know.
    static MyAnsiString NewDeviceName(const TDeviceManager& Devices);
    // The offline login to a configuration file of format version 3: GUEST
    // with any password, USER with "L1PW", SERVICE with "L2PW" (missing ones
    // count as empty), DEVELOPER by the shell's digest. Raises the refusal
    // ("Wrong password!", "Unknown login ID!", the "Login aborted!" texts).
    static void CheckOfflineLogin(const MyAnsiString& File, const MyAnsiString& User, const MyAnsiString& Password);

    // Inputs from the main form.
    MyAnsiString VKC_Name; // a configuration from the command line
    bool NoForm = false;
    int ScriptsStarted = 0;
    int ScriptsExpectedToStart = 0;
    std::function<std::size_t()> WindowCount;
    std::function<bool()> ScriptsRunning;
    // Loads an offline device's configuration once it has started (the
    // configuration files' loader registers it).
    std::function<void(TDevice&)> LoadOfflineConfiguration;

    const MyAnsiString& DeviceName() const { return FDeviceName; }
    TMxTask& Task() { return *FTask; }

private:
    void Execute(TMxTask& Sender);
    void Wait(int64_t Ms);
    TDeviceManager& Devices() const;
    TDevice* CurrentDevice() const;

    void StepStartup();
    void StepReady();
    void StepOpenDevice();
    void StepOpenDeviceOffline(bool DragAndDrop);
    void StepAutoOpenDevice();
    void StepOpenDeviceWithPar();
    void StepWaitDevice();
    void StepWorkSpaceOpenDevice();
    void StepNotAvailable();

    // Creates the services, starts them and enters WaitState.
    void StartDevice(TDevice& Device, TMainState WaitState, bool PostInfo);
    void DeviceResponse(TDevice& Device);
    void DeviceResponseShutDown(TDevice& Device);

    TMainTaskView& FView;
    TShellSettings& FSettings;
    TMainState FState = stStartup;
    TMxSignal FSignal;
    MyAnsiString FDeviceName;
    MyAnsiString FProfileName;
    MyAnsiString FPortName;
    MyAnsiString FFileNameDragAndDrop;
    MyAnsiString FCurrentDevice; // the name of the device being started
    TRef<TSLArray> FDevArray;
    int WorkspaceDevIndex = 0;
    std::unique_ptr<TMxTask> FTask;
};

} // namespace vo
