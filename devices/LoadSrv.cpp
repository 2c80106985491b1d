#include "devices/LoadSrv.h"

#include "devices/LoadAct.h"
#include "devices/LoadMem.h"
#include "devices/QsBasic.h"
#include "kernel/Debug.h"
#include "kernel/MxTLib20.h"
#include "platform/Exception.h"

#include <algorithm>
#include <cctype>

namespace vo {

namespace {

TLoaderDialogFactory& DialogFactory() {
    static TLoaderDialogFactory factory;
    return factory;
}

MyAnsiString Upper(MyAnsiString S) {
    for (char& c : S)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return S;
}

} // namespace

TLoaderDialogFactory SetLoaderDialogFactory(TLoaderDialogFactory Factory) {
    TLoaderDialogFactory before = std::move(DialogFactory());
    DialogFactory() = std::move(Factory);
    return before;
}

// ------------------------------------------------------------------ client

TLoaderClient::~TLoaderClient() {
    if (FLoaderService && FClientState == lcsReady) {
        try {
            Disconnect();
        } catch (const std::exception&) {
        }
    }
}

void TLoaderClient::Fail(const char* Operation, const char* What) const {
    throw Exception(MyAnsiString(ClassName()) + "." + Operation + ": " + What);
}

void TLoaderClient::RequireConnected(const char* Operation) const {
    if (!FLoaderService)
        Fail(Operation, "not connected to loader service");
}

void TLoaderClient::Connect(TLoaderService& ALoaderService) {
    if (FLoaderService)
        Fail("Connect", "already connected");
    ALoaderService.ClientAction(*this, TLoaderService::caConnect);
}

void TLoaderClient::Disconnect() {
    RequireConnected("Disconnect");
    FLoaderService->ClientAction(*this, TLoaderService::caDisconnect);
}

void TLoaderClient::Execute(TLoaderCallback Callback) {
    RequireConnected("Execute");
    FLoaderService->ClientAction(*this, TLoaderService::caExecute);
    FLoaderCallback = std::move(Callback);
}

void TLoaderClient::Wait() {
    RequireConnected("Wait");
    FLoaderService->ClientAction(*this, TLoaderService::caWait);
}

void TLoaderClient::Continue() {
    RequireConnected("Continue");
    FLoaderService->ClientAction(*this, TLoaderService::caContinue);
}

void TLoaderClient::Command(const char* Operation, TLoaderClientRequest Request) {
    if (!FInCallback)
        Fail(Operation, "command is only allowed in callback method");
    if (FLoaderClientRequest != lcrNone)
        Fail(Operation, "only one command allowed in callback method");
    FLoaderClientRequest = Request;
}

void TLoaderClient::PluginData(int32_t Address, void* Data, int32_t Size, bool Flush) {
    Command("SetData", lcrData);
    FDataAddress = Address;
    FDataPointer = Data;
    FDataSize = Size;
    FDataFlush = Flush;
}

void TLoaderClient::Finish() { Command("Finish", lcrFinish); }
void TLoaderClient::Abort() { Command("Abort", lcrAbort); }
void TLoaderClient::Skip() { Command("Skip", lcrSkip); }

void TLoaderClient::RequireCurrent(const char* Operation) const {
    if (FClientState != lcsCurrent)
        throw Exception(MyAnsiString(ClassName()) + "." + Operation + ": not current client");
}

void TLoaderClient::SetPlugin(const MyAnsiString& PluginName) {
    RequireCurrent("SetPlugin");
    FPluginName = PluginName;
    FLoaderService->ClientAction(*this, TLoaderService::caSetPlugin);
}

void TLoaderClient::SetActionText(const MyAnsiString& Msg) {
    RequireCurrent("SetActionText");
    FActionText = Msg;
    FLoaderService->ClientAction(*this, TLoaderService::caSetActionText);
}

void TLoaderClient::SetProgress(int32_t Value) {
    RequireCurrent("SetProgress");
    FProgress = Value;
    FLoaderService->ClientAction(*this, TLoaderService::caSetProgress);
}

void TLoaderClient::AddLogText(const MyAnsiString& Msg) {
    RequireCurrent("AddLogText");
    FLogText = Msg;
    FLoaderService->ClientAction(*this, TLoaderService::caAddLogText);
}

// ------------------------------------------------------------------ service

TLoaderService::TLoaderService(TDevice& AOwner, TSLDictionary* AProfDict)
    : TDeviceService(AOwner, AProfDict), WorkSignal(std::make_unique<TMxSignal>()) {
    WorkTask = std::make_unique<TMxTask>("LoaderService.Create");
    WorkTask->SetOnExecute([this](TMxTask& Sender) { Work(Sender); });
    WorkTask->Start();
}

TLoaderService::~TLoaderService() {
    WorkTask.reset();
    for (TLoaderClient* c : ClientList) {
        c->FLoaderService = nullptr;
        c->FClientState = lcsIdle;
    }
    FreePlugins();
}

void TLoaderService::Fail(const char* What) const { throw Exception(MyAnsiString(ClassName()) + What); }

void TLoaderService::StartUp(bool& Wait) {
    switch (ServiceStatus()) {
    case dsStopped:
        FOvraService = Owner().FindService<TBasicOvraService>("OvraService");
        if (!FOvraService) {
            LogError("couldn't start loader service: OvraService is missing");
            SetServiceStatus(dsError);
            return;
        }
        SetServiceStatus(dsStarting);
        break;
    case dsStarting:
        if (FOvraService->ServiceStatus() != dsStarted)
            return;
        FreePlugins();
        if (FOvraService->DeviceOnline()) {
            AddPlugin("WriteMemory", std::make_unique<TMemoryWriterPlugin>(*FOvraService, false, false));
            AddPlugin("WriteFlash", std::make_unique<TMemoryWriterPlugin>(*FOvraService, true, false));
            AddPlugin("WriteFlashEnc", std::make_unique<TMemoryWriterPlugin>(*FOvraService, true, true));
            AddPlugin("ReadMemory", std::make_unique<TMemoryReaderPlugin>(*FOvraService));
            AddPlugin("OvraCommand", std::make_unique<TOvraCommandPlugin>(*FOvraService));
        }
        SetServiceStatus(dsStarted);
        break;
    default: break;
    }
    (void)Wait;
}

void TLoaderService::ShutDown(bool& Wait) {
    (void)Wait;
    Kill();
}

void TLoaderService::Kill() {
    if (FWorkState == stReady || !FCurrentPlugin || !FCurrentPlugin->BusyFlag()) {
        FCurrentPlugin = nullptr;
        FreePlugins();
    }
    SetServiceStatus(dsStopped);
}

void TLoaderService::FreePlugins() {
    if (FCurrentPlugin)
        return;
    PluginList.clear();
}

void TLoaderService::AddPlugin(const MyAnsiString& Name, std::unique_ptr<TLoaderPlugin> Plugin) {
    if (!PluginList.emplace(Upper(Name), std::move(Plugin)).second)
        Fail((".AddPlugin: plugin " + Name + " already exists").c_str());
}

TLoaderPlugin* TLoaderService::FindPlugin(const MyAnsiString& Name) const {
    auto it = PluginList.find(Upper(Name));
    return it == PluginList.end() ? nullptr : it->second.get();
}

void TLoaderService::SetClientState(TLoaderClient& Client, TLoaderClientState State) {
    if (Client.FLoaderService != this)
        throw Exception(MyAnsiString(Client.ClassName()) + ".SetClientState");
    Client.FClientState = State;
}

void TLoaderService::ClientAction(TLoaderClient& Client, int Action) {
    auto require = [&](TLoaderClientState S) {
        if (Client.FClientState != S)
            Fail(": client state error");
    };
    switch (Action) {
    case caConnect:
        require(lcsIdle);
        ClientList.push_back(&Client);
        Client.FLoaderService = this;
        SetClientState(Client, lcsReady);
        break;
    case caDisconnect:
        require(lcsReady);
        SetClientState(Client, lcsIdle);
        ClientList.erase(std::remove(ClientList.begin(), ClientList.end(), &Client), ClientList.end());
        Client.FLoaderService = nullptr;
        break;
    case caExecute:
        require(lcsReady);
        SetClientState(Client, lcsReqWait);
        WorkSignal->SetReady(true);
        FErrorMessage = "*** ERROR ***";
        break;
    case caContinue:
        require(lcsCurWait);
        if (FWorkState != stCurWait)
            Fail(": service state error");
        SetClientState(Client, lcsCurrent);
        WorkSignal->SetReady(true);
        break;
    case caSetActionText:
        if (&Client == FCurrentClient && FLoaderDialog)
            FLoaderDialog->SetActionText(Client.FActionText);
        break;
    case caSetProgress:
        if (&Client == FCurrentClient && FLoaderDialog)
            FLoaderDialog->SetProgress(Client.FProgress);
        break;
    case caAddLogText:
        if (&Client == FCurrentClient && FLoaderDialog)
            FLoaderDialog->AddLogText(Client.FLogText);
        break;
    case caSetPlugin:
        require(lcsCurrent);
        if (FWorkState != stCurrent)
            Fail(": work state error");
        SetCurrentPlugin(Client.FPluginName);
        break;
    case caWait:
        require(lcsCurrent);
        if (FWorkState != stCurrent)
            Fail(": service state error");
        SetClientState(Client, lcsCurWait);
        break;
    default: Fail(".ClientAction: unknown action");
    }
}

void TLoaderService::SetCurrentPlugin(const MyAnsiString& Name) {
    if (FCurrentPlugin && FCurrentPlugin->OpenFlag())
        throw Exception(MyAnsiString(ClassName()) + ".SetCurrentPlugin: plugin " + FCurrentPlugin->ClassName() +
                        " contains unprocessed data");
    TLoaderPlugin* p = FindPlugin(Name);
    if (!p)
        throw Exception(MyAnsiString(ClassName()) + ".SetCurrentPlugin: plugin " + Name + " not found");
    FCurrentPlugin = p;
}

void TLoaderService::PluginResponse(TLoaderPlugin&) { WorkSignal->SetReady(true); }

void TLoaderService::Error(const char* Text) {
    FErrorMessage = Text;
    FWorkState = stCurError;
}

void TLoaderService::ShowLoaderDialog() {
    if (!FCurrentClient)
        Fail(".ShowLoaderDialog: no current client");
    if (!FLoaderDialog) {
        FLoaderDialog = DialogFactory() ? DialogFactory()() : nullptr;
        if (!FLoaderDialog)
            FLoaderDialog = std::make_unique<TLoaderDialog>();
        FLoaderDialog->FOnButtonClick = [this] { ButtonClick(); };
    }
    FLoaderDialog->SetCaption(FCurrentClient->FCaption);
    FLoaderDialog->SetActionText("");
    FLoaderDialog->ClearLogText();
    FLoaderDialog->SetProgress(0);
    FLoaderDialog->SetButtonText("Abort");
    FLoaderDialog->Show();
}

void TLoaderService::ButtonClick() {
    if (FCurrentClient)
        FCurrentClient->FAbortRequest = true;
    else if (FLoaderDialog)
        FLoaderDialog->Hide();
}

void TLoaderService::Work(TMxTask& Sender) {
    try {
        Step();
    } catch (const std::exception& e) {
        // Wrong use by a client inside its callback ends its run.
        LogError(MyAnsiString(ClassName()) + ".Work: " + e.what());
        if (FCurrentClient && FWorkState != stReady) {
            if (FCurrentClient->FClientState == lcsCurWait)
                FCurrentClient->FClientState = lcsCurrent;
            FErrorMessage = MyAnsiString("*** ERROR: ") + e.what() + " ***";
            FWorkState = stCurError;
        }
        if (FCurrentClient)
            FCurrentClient->FInCallback = false;
    }
    Sender.WaitFor(*WorkSignal, MxInfinite);
}

void TLoaderService::Step() {
    switch (FWorkState) {
    case stReady: {
        if (FCurrentClient) {
            if (FCurrentClient->FClientState != lcsCurrent)
                Fail(".StopCurrentClient: client state error");
            SetClientState(*FCurrentClient, lcsReady);
            FCurrentClient = nullptr;
            FCurrentPlugin = nullptr;
            if (FLoaderDialog)
                FLoaderDialog->SetButtonText("Close");
        }
        auto it = std::find_if(ClientList.begin(), ClientList.end(),
                               [](TLoaderClient* c) { return c->FClientState == lcsReqWait; });
        if (it == ClientList.end()) {
            WorkSignal->SetReady(false);
            return;
        }
        FCurrentClient = *it;
        SetClientState(*FCurrentClient, lcsCurrent);
        FCurrentClient->FAbortRequest = false;
        FWorkState = stCurrent;
        ShowLoaderDialog();
        return;
    }
    case stCurrent: {
        TLoaderClient& c = *FCurrentClient;
        c.FLoaderClientRequest = lcrNone;
        if (!c.FLoaderCallback)
            Fail(".ExecuteLoaderCallback: not assigned");
        c.FInCallback = true;
        try {
            c.FLoaderCallback(c);
        } catch (...) {
            c.FInCallback = false;
            throw;
        }
        c.FInCallback = false;
        switch (c.FLoaderClientRequest) {
        case lcrNone:
            if (c.FClientState == lcsCurrent)
                Error("*** ERROR: missing client action ***");
            break;
        case lcrData:
            if (!FCurrentPlugin) {
                Error("*** ERROR: no plugin selected ***");
                break;
            }
            if (!FCurrentPlugin->OpenFlag())
                FCurrentPlugin->Open([this](TLoaderPlugin& P) { PluginResponse(P); });
            FCurrentPlugin->Data(c.FDataAddress, c.FDataPointer, c.FDataSize, c.FDataFlush);
            if (FCurrentPlugin->ErrorFlag())
                Error("*** ERROR: plugin error ***");
            else if (FCurrentPlugin->BusyFlag())
                FWorkState = stCurWait;
            break;
        case lcrFinish:
        case lcrAbort: {
            const bool abort = c.FLoaderClientRequest == lcrAbort;
            if (c.FClientState != lcsCurrent)
                throw Exception(abort ? "Don't use Wait and Abort together!" : "Don't use Wait and Finish together!");
            if (FCurrentPlugin && !FCurrentPlugin->BusyFlag())
                FCurrentPlugin->Close(abort);
            FWorkState = stCurDone;
            break;
        }
        case lcrSkip:
            if (c.FClientState != lcsCurrent)
                Error("*** ERROR: skip not allowed in this state ***");
            break;
        }
        if (c.FClientState == lcsCurWait && FWorkState == stCurrent)
            FWorkState = stCurWait;
        return;
    }
    case stCurWait:
        if (FCurrentClient->FClientState != lcsCurWait) {
            if (FCurrentPlugin && FCurrentPlugin->ErrorFlag())
                Error("*** ERROR: plugin error ***");
            else if (!FCurrentPlugin || !FCurrentPlugin->BusyFlag())
                FWorkState = stCurrent;
        }
        if (FWorkState == stCurWait)
            WorkSignal->SetReady(false);
        return;
    case stCurDone:
        if (FCurrentPlugin && FCurrentPlugin->BusyFlag()) {
            WorkSignal->SetReady(false);
            return;
        }
        FWorkState = stReady;
        return;
    case stCurError:
        if (FLoaderDialog)
            FLoaderDialog->AddLogText(FErrorMessage);
        FWorkState = stCurDone;
        if (FCurrentClient && FCurrentClient->FClientState == lcsCurWait)
            SetClientState(*FCurrentClient, lcsCurrent);
        if (FCurrentPlugin && FCurrentPlugin->OpenFlag() && !FCurrentPlugin->BusyFlag())
            FCurrentPlugin->Close(true);
        return;
    }
}

} // namespace vo
