#pragma once
// The loader: moves larger amounts of data between a file or program and a
// drive (typically an image into flash) through named plug-ins, while a
// dialog shows the action, progress and a log.
//
// TLoaderService is a device service ("LoaderService"). A TLoaderClient
// connects to it, asks for a run with Execute and is then called back once
// per scheduler turn; in each callback it gives exactly one command (hand
// over a block with PluginData, Finish, Abort, Skip, or Wait until Continue)
// and may set the dialog's action text, progress and log lines. The service
// feeds the blocks to the selected plug-in, waits while the plug-in is busy
// and serves one client at a time, in connection order. Errors of a run end
// it with a line in the dialog's log ("*** ERROR: plugin error ***") and the
// plug-in closed with abort; wrong use of the client raises in the caller.
// Everything runs on the main scheduler in the GUI thread.
#include "devices/DevMan.h"
#include "platform/AnsiString.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace vo {

class TBasicOvraService;
class TLoaderPlugin;
class TLoaderService;
class TMxSignal;
class TMxTask;

using TLoaderPluginResponse = std::function<void(TLoaderPlugin& Sender)>;

// A named plug-in of the loader service: takes the client's blocks.
class TLoaderPlugin {
public:
    virtual ~TLoaderPlugin() = default;
    virtual const char* ClassName() const = 0;
    // Prepares the plug-in; RespProc is called whenever its state changes.
    virtual void Open(TLoaderPluginResponse RespProc) = 0;
    // Ends its work; with Abort pending data is not completed.
    virtual void Close(bool Abort) = 0;
    virtual void Data(int32_t Address, void* DataPtr, int32_t Size, bool Flush) = 0;

    bool OpenFlag() const { return FOpenFlag; }
    bool BusyFlag() const { return FBusyFlag; }
    bool ErrorFlag() const { return FErrorFlag; }
    const MyAnsiString& ErrorMsg() const { return FErrorMsg; }

protected:
    bool FOpenFlag = false;
    bool FBusyFlag = false;
    bool FErrorFlag = false;
    MyAnsiString FErrorMsg;
};

// The loader dialog's model: what the form shows. The form (devices/gui)
// derives from it and mirrors every change; without a form (headless) it only
// keeps the values.
class TLoaderDialog {
public:
    virtual ~TLoaderDialog() = default;
    virtual void SetCaption(const MyAnsiString& Value) { FCaption = Value; }
    virtual void SetActionText(const MyAnsiString& Value) { FActionText = Value; }
    virtual void SetButtonText(const MyAnsiString& Value) { FButtonText = Value; }
    virtual void SetProgress(int32_t Value) { FProgress = Value; }
    virtual void ClearLogText() { FLog.clear(); }
    virtual void AddLogText(const MyAnsiString& Text) { FLog.push_back(Text); }
    virtual void Show() { FVisible = true; }
    virtual void Hide() { FVisible = false; }
    void ButtonClick() {
        if (FOnButtonClick)
            FOnButtonClick();
    }

    const MyAnsiString& Caption() const { return FCaption; }
    const MyAnsiString& GetActionText() const { return FActionText; }
    const MyAnsiString& GetButtonText() const { return FButtonText; }
    int32_t GetProgress() const { return FProgress; }
    const std::vector<MyAnsiString>& Log() const { return FLog; }
    bool Visible() const { return FVisible; }

    std::function<void()> FOnButtonClick;

private:
    MyAnsiString FCaption;
    MyAnsiString FActionText = "Loading ...";
    MyAnsiString FButtonText = "OK";
    int32_t FProgress = 0;
    std::vector<MyAnsiString> FLog;
    bool FVisible = false;
};

// Makes the dialog at a service's first run (the GUI installs the form's).
using TLoaderDialogFactory = std::function<std::unique_ptr<TLoaderDialog>()>;
TLoaderDialogFactory SetLoaderDialogFactory(TLoaderDialogFactory Factory);

enum TLoaderClientRequest : uint8_t { lcrNone,
                                      lcrData,
                                      lcrFinish,
                                      lcrAbort,
                                      lcrSkip };
enum TLoaderClientState : uint8_t { lcsIdle,
                                    lcsReady,
                                    lcsReqWait,
                                    lcsCurrent,
                                    lcsCurWait };

class TLoaderClient {
public:
    using TLoaderCallback = std::function<void(TLoaderClient& Sender)>;

    TLoaderClient() = default;
    // Disconnects when still connected and idle between runs.
    virtual ~TLoaderClient();
    TLoaderClient(const TLoaderClient&) = delete;
    TLoaderClient& operator=(const TLoaderClient&) = delete;

    virtual const char* ClassName() const { return "TLoaderClient"; }

    void Connect(TLoaderService& ALoaderService);
    void Disconnect();
    void Execute(TLoaderCallback Callback);
    void Wait();
    void Continue();

    // Commands, one per callback.
    void PluginData(int32_t Address, void* Data, int32_t Size, bool Flush);
    void Finish();
    void Abort();
    void Skip();

    // Only during the client's run.
    void SetPlugin(const MyAnsiString& PluginName);
    void SetActionText(const MyAnsiString& Msg);
    void SetProgress(int32_t Value);
    void AddLogText(const MyAnsiString& Msg);

    MyAnsiString FCaption;
    bool FAbortRequest = false;

    TLoaderService* LoaderService() const { return FLoaderService; }
    TLoaderClientState ClientState() const { return FClientState; }
    TLoaderClientRequest Request() const { return FLoaderClientRequest; }
    const MyAnsiString& ActionText() const { return FActionText; }
    int32_t Progress() const { return FProgress; }
    const MyAnsiString& LogText() const { return FLogText; }
    const MyAnsiString& PluginName() const { return FPluginName; }

private:
    friend class TLoaderService;
    [[noreturn]] void Fail(const char* Operation, const char* What) const;
    void RequireConnected(const char* Operation) const;
    void Command(const char* Operation, TLoaderClientRequest Request);
    void RequireCurrent(const char* Operation) const;

    TLoaderService* FLoaderService = nullptr;
    MyAnsiString FActionText;
    int32_t FProgress = 0;
    MyAnsiString FLogText;
    TLoaderClientRequest FLoaderClientRequest = lcrNone;
    int32_t FDataAddress = 0;
    void* FDataPointer = nullptr;
    int32_t FDataSize = 0;
    bool FDataFlush = false;
    MyAnsiString FPluginName;
    TLoaderClientState FClientState = lcsIdle;
    TLoaderCallback FLoaderCallback;
    bool FInCallback = false;
};

class TLoaderService : public TDeviceService {
public:
    enum TWorkState : uint8_t { stReady,
                                stCurrent,
                                stCurWait,
                                stCurDone,
                                stCurError };
    enum TClientAction : uint8_t {
        caConnect,
        caDisconnect,
        caExecute,
        caContinue,
        caSetActionText,
        caSetProgress,
        caAddLogText,
        caSetPlugin,
        caWait
    };

    TLoaderService(TDevice& AOwner, TSLDictionary* AProfDict);
    ~TLoaderService() override;

    const char* ClassName() const override { return "TLoaderService"; }

    void StartUp(bool& Wait) override;
    // Frees the plug-ins, so that a later start makes them anew.
    void ShutDown(bool& Wait) override;
    void Kill() override;

    // The client's operations end here.
    void ClientAction(TLoaderClient& Client, int Action);

    // Adds a plug-in under a name (names are unique, case ignored).
    void AddPlugin(const MyAnsiString& Name, std::unique_ptr<TLoaderPlugin> Plugin);
    TLoaderPlugin* FindPlugin(const MyAnsiString& Name) const;
    size_t PluginCount() const { return PluginList.size(); }

    TWorkState WorkState() const { return FWorkState; }
    TLoaderClient* CurrentClient() const { return FCurrentClient; }
    TLoaderPlugin* CurrentPlugin() const { return FCurrentPlugin; }
    // Made at the first run, then kept (nullptr before).
    TLoaderDialog* LoaderDialog() const { return FLoaderDialog.get(); }
    TBasicOvraService* OvraService() const { return FOvraService; }

private:
    [[noreturn]] void Fail(const char* What) const;
    void SetClientState(TLoaderClient& Client, TLoaderClientState State);
    void Work(TMxTask& Sender);
    void Step();
    void Error(const char* Text);
    void SetCurrentPlugin(const MyAnsiString& Name);
    void ShowLoaderDialog();
    void ButtonClick();
    void PluginResponse(TLoaderPlugin& Sender);
    void FreePlugins();

    TBasicOvraService* FOvraService = nullptr;
    std::vector<TLoaderClient*> ClientList; // not owned
    TLoaderClient* FCurrentClient = nullptr;
    std::map<MyAnsiString, std::unique_ptr<TLoaderPlugin>> PluginList; // upper-case name
    TLoaderPlugin* FCurrentPlugin = nullptr;
    std::unique_ptr<TLoaderDialog> FLoaderDialog;
    MyAnsiString FErrorMessage;
    TWorkState FWorkState = stReady;
    std::unique_ptr<TMxSignal> WorkSignal;
    std::unique_ptr<TMxTask> WorkTask;
};

} // namespace vo
