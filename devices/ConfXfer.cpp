#include "devices/ConfXfer.h"

#include "devices/DevMan.h"
#include "devices/ModulSrv.h"
#include "devices/StatSrv.h"
#include "kernel/Debug.h"
#include "kernel/ExeCtrl.h"
#include "kernel/LanguageMan.h"
#include "kernel/LogWnd.h"
#include "kernel/UserPrompt.h"
#include "kernel/functions.h"
#include "platform/Exception.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Sto.h"

#include <algorithm>
#include <cctype>

namespace vo {

namespace {

TConfigPasswordPrompt& PasswordPrompt() {
    static TConfigPasswordPrompt prompt;
    return prompt;
}
TImportWarningsPrompt& WarningsPrompt() {
    static TImportWarningsPrompt prompt;
    return prompt;
}
TConfigItemSelector& ItemSelector() {
    static TConfigItemSelector selector;
    return selector;
}

MyAnsiString Upper(MyAnsiString S) {
    for (char& c : S)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return S;
}

MyAnsiString TrimRight(MyAnsiString S) {
    while (!S.empty() && (S.back() == ' ' || S.back() == '\0'))
        S.pop_back();
    return S;
}

MyAnsiString StrOf(TSLObject* O) {
    if (auto* s = dynamic_cast<TSLString*>(O))
        return s->GetStringValue();
    if (auto* n = dynamic_cast<TSLNumber*>(O))
        return n->GetStringValue();
    return {};
}

MyAnsiString FileNameOnly(const MyAnsiString& Name) {
    const size_t p = Name.find_last_of("\\/");
    return p == MyAnsiString::npos ? Name : Name.substr(p + 1);
}

TModalResult Ask(const MyAnsiString& Text, TMsgDlgType Kind, TMsgDlgButtons Buttons, const MyAnsiString& Caption = {}) {
    TPromptRequest r;
    r.Text = Text;
    r.Kind = Kind;
    r.Buttons = Buttons;
    r.Caption = Caption;
    return UserPrompt().Prompt(r);
}

} // namespace

TConfigPasswordPrompt SetConfigPasswordPrompt(TConfigPasswordPrompt Prompt) {
    TConfigPasswordPrompt before = std::move(PasswordPrompt());
    PasswordPrompt() = std::move(Prompt);
    return before;
}

TImportWarningsPrompt SetImportWarningsPrompt(TImportWarningsPrompt Prompt) {
    TImportWarningsPrompt before = std::move(WarningsPrompt());
    WarningsPrompt() = std::move(Prompt);
    return before;
}

TConfigItemSelector SetConfigItemSelector(TConfigItemSelector Selector) {
    TConfigItemSelector before = std::move(ItemSelector());
    ItemSelector() = std::move(Selector);
    return before;
}

TConfigTransfer::TConfigTransfer(TDevice& ADevice)
    : FDevice(ADevice), FExecuteControl(std::make_unique<TExecuteControl>(this)) {
    FExecuteControl->FOnIdle = [this](TExecuteControl& C) { ExecuteWork(C); };
    FExecuteControl->FOnMessage = [this](const MyAnsiString& Msg) { Log(Msg); };
}

TConfigTransfer::~TConfigTransfer() {
    FExecuteControl.reset();
    if (LogWindowId)
        LogWindowManager().HideLogWindow(LogWindowId);
}

void TConfigTransfer::Log(const MyAnsiString& Msg) {
    if (LogWindowId)
        LogWindowManager().PrintMessage(LogWindowId, Msg);
    LogInfo(Msg);
}

void TConfigTransfer::RegisterDataInterface(TDataInterface& AInterface) {
    if (std::find(FInterfaceList.begin(), FInterfaceList.end(), &AInterface) != FInterfaceList.end())
        throw Exception(MyAnsiString(ClassName()) + ".RegisterDataInterface: interface '" + AInterface.FCaption +
                        "' already registered");
    for (int i = 0; i < AInterface.GetTypeCount(); ++i)
        if (GetInterfaceForType(AInterface.GetTypeName(i)))
            throw Exception(MyAnsiString(ClassName()) + ".RegisterDataInterface: type '" + AInterface.GetTypeName(i) +
                            "' already registered");
    FInterfaceList.push_back(&AInterface);
}

void TConfigTransfer::UnregisterDataInterface(TDataInterface& AInterface) {
    FInterfaceList.erase(std::remove(FInterfaceList.begin(), FInterfaceList.end(), &AInterface), FInterfaceList.end());
}

void TConfigTransfer::RegisterServiceInterfaces() {
    for (int k = 0; k < FDevice.GetServiceCount(); ++k) {
        auto* source = dynamic_cast<TDataInterfaceSource*>(&FDevice.GetServiceWithIndex(k));
        TDataInterface* i = source ? source->GetDataInterface() : nullptr;
        if (i && std::find(FInterfaceList.begin(), FInterfaceList.end(), i) == FInterfaceList.end())
            RegisterDataInterface(*i);
    }
}

TDataInterface* TConfigTransfer::GetInterfaceForType(const MyAnsiString& TypeName) const {
    const MyAnsiString wanted = Upper(TypeName);
    for (TDataInterface* i : FInterfaceList)
        for (int t = 0; t < i->GetTypeCount(); ++t)
            if (Upper(i->GetTypeName(t)) == wanted)
                return i;
    return nullptr;
}

void TConfigTransfer::Start(TExecuteCommand Command, bool AllItems) {
    if (FExecuteCommand != ecIdle)
        return;
    FExecuteCommand = Command;
    LoadAllFlag = AllItems;
    ExecuteState = 0;
    ExecuteIndex = 0;
    if (FExecuteControl->Waiting())
        FExecuteControl->Continue(this);
}

void TConfigTransfer::Save() {
    if (FExecuteCommand != ecIdle)
        return;
    EndOfLoadFeedback = false;
    Start(ecSave, false);
}

void TConfigTransfer::StartLoad(bool AllItems, bool Feedback) {
    if (FExecuteCommand != ecIdle)
        return;
    FActionSuccess = false;
    EndOfLoadFeedback = Feedback;
    Start(ecLoad, AllItems);
}

void TConfigTransfer::Load() { StartLoad(false, false); }

void TConfigTransfer::LoadAll() { StartLoad(true, false); }

void TConfigTransfer::LoadAllWithFeedback(const MyAnsiString& AFileName, TEndOfLoadResponse RespProc) {
    if (FExecuteCommand != ecIdle)
        return;
    FFileName = AFileName;
    FOnEndOfLoadFeedback = std::move(RespProc);
    StartLoad(true, true);
}

// One step of an interface: its Execute runs on the control (again while it
// leaves FStatus non-zero); an exception ends the step with a warning.
void TConfigTransfer::RunStep(TExecuteControl& Ctrl, TDataInterface& Interface, int32_t Command, TDataItem* Item) {
    Ctrl.FCommand = Command;
    Ctrl.FData = Item;
    Ctrl.FOnExecute = [i = &Interface](TExecuteControl& C) {
        try {
            i->FCurrentExecCtrl = &C;
            i->Execute(C);
        } catch (const std::exception& e) {
            LogWarning(e.what());
            C.FStatus = 0;
        }
    };
    Ctrl.Execute(this);
}

bool TConfigTransfer::RunInterfaces(TExecuteControl& Ctrl, int32_t Command) {
    if (ExecuteIndex >= static_cast<int>(FInterfaceList.size())) {
        ExecuteIndex = 0;
        return true;
    }
    RunStep(Ctrl, *FInterfaceList[static_cast<size_t>(ExecuteIndex++)], Command, nullptr);
    return false;
}

bool TConfigTransfer::RunItems(TExecuteControl& Ctrl, int32_t Command) {
    while (ExecuteIndex < static_cast<int>(FDataItemList.size())) {
        TDataItem* item = FDataItemList[static_cast<size_t>(ExecuteIndex++)].get();
        if (FExecuteCommand == ecLoad && FImportAborted)
            continue;
        TDataInterface* i = nullptr;
        try {
            i = GetInterfaceForType(item->GetTypeName());
            if (!i) {
                LogWarning("no data interface found for type with name '" + item->GetTypeName() + "'");
                continue;
            }
        } catch (const std::exception& e) {
            LogWarning(e.what());
            continue;
        }
        RunStep(Ctrl, *i, Command, item);
        return false;
    }
    ExecuteIndex = 0;
    return true;
}

bool TConfigTransfer::FirmwareRunning() const {
    auto* s = FDevice.FindService<TStatusService>("StatusService");
    return s && s->GetRunning();
}

void TConfigTransfer::ExecuteWork(TExecuteControl& Ctrl) {
    try {
        if (FExecuteCommand == ecIdle) {
            if (auto r = std::move(FResponseEvent)) {
                FResponseEvent = nullptr;
                r();
            }
            if (!Ctrl.Waiting())
                Ctrl.Wait(this);
            ExecuteState = 0;
            ExecuteIndex = 0;
            return;
        }
        if (FExecuteCommand == ecSave) {
            switch (ExecuteState) {
            case 0:
                SaveAbort = false;
                LogWindowId = LogWindowManager().ShowLogWindow("Save", nullptr);
                ExecuteState = 1;
                break;
            case 1:
                if (RunInterfaces(Ctrl, 4))
                    ExecuteState = 2;
                break;
            case 2:
                GetDataItems();
                ExecuteState = SaveAbort ? 5 : 3;
                break;
            case 3:
                if (RunItems(Ctrl, 2))
                    ExecuteState = 4;
                break;
            case 4:
                SaveToFile();
                ExecuteState = 5;
                break;
            default:
                if (RunInterfaces(Ctrl, 7))
                    Finish();
                break;
            }
            return;
        }
        switch (ExecuteState) {
        case 0:
            FImportAborted = false;
            FUserAbort = false;
            LogWindowId = LogWindowManager().ShowLogWindow("Load", [this](int) { FUserAbort = true; });
            ExecuteState = 1;
            break;
        case 1:
            if (RunInterfaces(Ctrl, 4))
                ExecuteState = 2;
            break;
        case 2:
            if (TImportWarnings* w = ImportWarnings())
                w->Clear();
            LoadFromFile();
            if (StopRequest && !FImportAborted) {
                if (auto* s = FDevice.FindService<TStatusService>("StatusService"))
                    s->StopDevice();
                StopSeen = false;
                ExecuteState = 6;
            } else {
                ExecuteState = 3;
            }
            break;
        case 6: {
            // Waits for the stopped firmware; a lost drive or "Abort" in the
            // log window ends the import as aborted. The firmware counts as
            // stopped when a status answer read after the running bit went
            // off still says so: the answer to the stop clears the bit
            // itself, and an unanswered poll clears it too.
            auto* s = FDevice.FindService<TStatusService>("StatusService");
            if (FUserAbort || FDevice.DeviceType() != dtOnline || !s || !s->GetOnline()) {
                Log("Import aborted while waiting for the firmware to stop");
                FImportAborted = true;
                ExecuteState = 3;
            } else if (s->GetRunning()) {
                StopSeen = false;
            } else if (!StopSeen) {
                StopSeen = true;
                StopSeenAt = s->StatusAnswerCount();
            } else if (s->StatusAnswerCount() > StopSeenAt) {
                ExecuteState = 3;
            }
            break;
        }
        case 3:
            if (RunItems(Ctrl, 5))
                ExecuteState = 4;
            break;
        case 4:
            if (RunItems(Ctrl, 3))
                ExecuteState = 5;
            break;
        default:
            if (RunInterfaces(Ctrl, 7))
                Finish();
            break;
        }
    } catch (const std::exception& e) {
        LogWarning(e.what());
    }
}

void TConfigTransfer::Finish() {
    const TExecuteCommand was = FExecuteCommand;
    FExecuteCommand = ecIdle;
    ExecuteState = 0;
    ExecuteIndex = 0;
    if (LogWindowId) {
        LogWindowManager().HideLogWindow(LogWindowId);
        LogWindowId = 0;
    }
    if (was != ecLoad)
        return;
    TImportWarnings* w = ImportWarnings();
    if (w) {
        w->AFileName = FFileName;
        w->SaveWarnings(false);
    }
    if (FImportAborted) {
        if (!EndOfLoadFeedback)
            ShowMessage("Error by configuration download!");
        else if (FOnEndOfLoadFeedback)
            FOnEndOfLoadFeedback(FDevice, false);
        return;
    }
    if (!EndOfLoadFeedback) {
        if (!w || w->MsgCount() == 0) {
            Ask(LangText("ImportSuccessfully"), TMsgDlgType::mtInformation, {TMsgDlgBtn::mbOK}, "Information");
        } else {
            // The log's name: SaveWarnings turned it into the log file's.
            const MyAnsiString text = LangTextFmt("ImportSuccessfullyWithWarnings", {FileNameOnly(w->AFileName)});
            bool show = false;
            if (WarningsPrompt())
                show = WarningsPrompt()(text, LangText("ShowLogFile"));
            else
                Ask(text, TMsgDlgType::mtWarning, {TMsgDlgBtn::mbOK});
            if (show) {
                w->ShowWindow();
                w->UpdateAll();
            }
        }
    }
    if (FOnEndOfLoadFeedback && EndOfLoadFeedback)
        FOnEndOfLoadFeedback(FDevice, true);
}

// ------------------------------------------------------------------ export

void TConfigTransfer::GetDataItems() {
    FDataItemList.clear();
    std::vector<MyAnsiString> names;
    for (TDataInterface* i : FInterfaceList)
        if (std::find(names.begin(), names.end(), i->FCaption) == names.end())
            names.push_back(i->FCaption);
    if (ItemSelector()) {
        if (!ItemSelector()(*this, nullptr)) {
            SaveAbort = true;
            return;
        }
    } else {
        for (TDataInterface* i : FInterfaceList) {
            i->ClearImpExpList();
            for (int k = 0; k < i->GetDataCount(); ++k)
                i->AddToImpExpList("TRUE");
        }
    }
    auto* status = FDevice.FindService<TStatusService>("StatusService");
    const bool online = status && status->GetOnline();
    for (TDataInterface* i : FInterfaceList) {
        if (std::find(names.begin(), names.end(), i->FCaption) == names.end())
            continue;
        for (int k = 0; k < i->ImpExpCount(); ++k) {
            if (!i->GetImpExpDataAt(k))
                continue;
            if (i->FCaption == "Curves") {
                auto* curves = dynamic_cast<TCurveDownloadState*>(FDevice.FindService<TDeviceService>("CurveService"));
                if (curves && k >= curves->GetNumberOfHelpCurves()) {
                    if (online && !curves->GetDownloadDone()) {
                        ShowMessage("The curves in the download window are not downloaded in the drive!\rDownload the "
                                    "curves into the drive before you export the configuration!");
                        SaveAbort = true;
                        return;
                    }
                    if (!online && !curves->AreIDUnique()) {
                        ShowMessage(MyAnsiString("Curve ID must be unique. One or more IDs are used more than once in "
                                                 "the download window!\r") +
                                    "Please give correct IDs or remove not used curves before you export the "
                                    "configuration!");
                        SaveAbort = true;
                        return;
                    }
                }
            } else if (i->FCaption == "Command Table") {
                auto* table =
                    dynamic_cast<TCommandTableSaveCheck*>(FDevice.FindService<TDeviceService>("CommandTableService"));
                if (table && !table->SaveAbortCheck()) {
                    SaveAbort = true;
                    return;
                }
            }
            auto item = std::make_unique<TDataItem>();
            item->CreateDataDict();
            i->GetDataInfo(k, *item);
            FDataItemList.push_back(std::move(item));
        }
    }
}

void TConfigTransfer::SaveToFile() {
    try {
        auto* params = dynamic_cast<TParameterLookup*>(FDevice.FindService<TDeviceService>("ParameterService"));
        if (!params)
            throw Exception("no parameter service");
        auto need = [&](int32_t UPID) {
            TConfigParameter* p = params->FindConfigParameter(UPID);
            if (!p)
                throw Exception("parameter " + std::to_string(UPID) + " does not exist");
            return p;
        };
        auto text = [&](int32_t UPID) {
            TConfigParameter* p = params->FindConfigParameter(UPID);
            return p ? p->GetStrValue() : MyAnsiString();
        };
        TRef<TSLDictionary> file = MakeRef<TSLDictionary>();
        TRef<TSLDictionary> info = MakeRef<TSLDictionary>();
        info->SetStrWithName("Type", "Velkor configuration");
        info->SetIntWithName("Version", 3);
        TRef<TSLArray> trees = MakeRef<TSLArray>();
        if (auto* modules = FDevice.FindService<TModuleService>("ModuleService"))
            for (int m = 0; m < modules->GetModuleCount(); ++m) {
                TRef<TSLDictionary> t = MakeRef<TSLDictionary>();
                t->SetIntWithName("TreeLevel", modules->GetModule(m).FTreeLevel);
                t->SetStrWithName("TreeName", modules->GetModule(m).FName);
                trees->AddObject(t.Get());
            }
        info->SetObjWithName("Trees", trees.Get());
        info->SetStrWithName("DeviceType", need(1020)->GetStrValue());
        info->SetIntWithName("ControllerType", need(8)->GetIntValue());
        info->SetIntWithName("ControllerVersion", need(1)->GetIntValue());
        TRef<TSLDictionary> software = MakeRef<TSLDictionary>();
        const struct {
            const char* Key;
            int32_t Name, Tree;
        } parts[] = {{"OS_Info", 1070, 1300}, {"MC_Info", 1120, 1340}, {"INTF_Info", 1180, 1380}, {"APP_Info", 1240, 1420}};
        for (const auto& part : parts) {
            TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
            if (TConfigParameter* p = params->FindConfigParameter(part.Name))
                d->SetStrWithName("SoftwareName", p->GetStrValue());
            if (TConfigParameter* p = params->FindConfigParameter(part.Tree))
                d->SetStrWithName("TreeName", p->GetStrValue());
            software->SetObjWithName(part.Key, d.Get());
        }
        info->SetObjWithName("Software", software.Get());
        info->SetStrWithName("L1PW", text(3264));
        info->SetStrWithName("L2PW", text(3269));
        info->SetStrWithName("FirmwareRelease", TrimRight(text(1060)));
        file->SetObjWithName("Info", info.Get());
        TRef<TSLArray> items = MakeRef<TSLArray>();
        for (const auto& item : FDataItemList)
            items->AddObject(item->DataDict());
        file->SetObjWithName("Items", items.Get());

        TStorageManager* storage = StorageManager();
        if (!storage)
            throw Exception("no storage manager");
        TSLStorageObject* object = storage->CreateObject(FFileName);
        object->SetData(file.Get());
        object->Write();
        Log("Configuration saved to '" + FFileName + "'");
    } catch (const std::exception& e) {
        LogError("couldn't save file '" + FFileName + "' (" + e.what() + ")");
    }
}

// ------------------------------------------------------------------ import

void TConfigTransfer::LoadFromFile() {
    TRef<TSLDictionary> file;
    try {
        TStorageManager* storage = StorageManager();
        TSLStorageObject* o = storage ? storage->GetObject(FFileName) : nullptr;
        file = TRef<TSLDictionary>(o ? dynamic_cast<TSLDictionary*>(o->GetData()) : nullptr);
    } catch (const std::exception&) {
        file = nullptr;
    }
    ReadConfiguration(file.Get());
}

void TConfigTransfer::ReadConfiguration(TSLDictionary* File) {
    FImportAborted = true;
    StopRequest = false;
    FDataItemList.clear();
    try {
        if (!File)
            throw Exception("File corrupted!");
        if (LoadFromFileChecked(*File)) {
            FActionSuccess = true;
            FImportAborted = false;
        }
    } catch (const std::exception& e) {
        const MyAnsiString msg = "Importing aborted: '" + FFileName + "' (" + e.what() + ")";
        LogError(msg);
        ShowErrorMessage(msg);
        FDataItemList.clear();
        FImportAborted = true;
    }
}

TConfigTreeCheck CheckConfigTrees(const std::vector<MyAnsiString>& Sources, const std::vector<MyAnsiString>& Modules,
                                  int Permission) {
    TConfigTreeCheck r;
    for (const MyAnsiString& t : Sources)
        for (const MyAnsiString& m : Modules) {
            bool n = false;
            bool ok = false;
            try {
                ok = AreTreesCompatible(t, m, Permission, n);
            } catch (const std::exception&) {
            }
            if (ok) {
                r.Compatible.push_back(t);
                r.Newer = r.Newer || n;
                break;
            }
        }
    return r;
}

bool TConfigTransfer::LoadFromFileChecked(TSLDictionary& File) {
    auto* info = dynamic_cast<TSLDictionary*>(File.FindObjWithName("Info"));
    if (!info)
        throw Exception("File corrupted!");
    auto* params = dynamic_cast<TParameterLookup*>(FDevice.FindService<TDeviceService>("ParameterService"));
    auto text = [&](int32_t UPID) {
        TConfigParameter* p = params ? params->FindConfigParameter(UPID) : nullptr;
        return p ? p->GetStrValue() : MyAnsiString();
    };
    auto* versionObj = dynamic_cast<TSLNumber*>(info->FindObjWithName("Version"));
    const int64_t version = versionObj ? versionObj->GetLongintValue() : 0;
    const MyAnsiString fileRelease = StrOf(info->FindObjWithName("FirmwareRelease"));
    const MyAnsiString driveRelease = TrimRight(text(1060));

    if (version < 3) {
        ShowErrorMessage("Import aborted!\rOld configuration format version!");
        return false;
    }
    if (version > 3) {
        ShowErrorMessage(fileRelease.empty() ? MyAnsiString("Import aborted!\rUnknown configuration format version!")
                                             : "Import aborted!\rThis configuration was set up with the software "
                                               "version: " +
                                 fileRelease + " and cannot be imported.\r" +
                                 TModuleService::GetUpdateRequestString());
        return false;
    }

    const int permission = FDevice.GetUserPermission();
    const bool online = FDevice.DeviceType() == dtOnline;
    if (permission == 3 || permission == 7) {
        const char* key = permission == 3 ? "L1PW" : "L2PW";
        const MyAnsiString stored = StrOf(info->FindObjWithName(key));
        if (!stored.empty() && online && stored != text(permission == 3 ? 3264 : 3269)) {
            TConfigPasswordQuestion q;
            q.Caption = "Configuration Password";
            q.Info = "The configuration is protected by password!\rPlease give the password or log in as \"Guest\" "
                     "to import it!";
            q.UserName = permission == 3 ? "USER" : "SERVICE";
            MyAnsiString typed;
            if (!PasswordPrompt() || !PasswordPrompt()(q, typed))
                return false;
            if (typed != stored) {
                ShowErrorMessage("Import aborted!\rWrong password!");
                return false;
            }
        }
    }

    auto* items = dynamic_cast<TSLArray*>(File.FindObjWithName("Items"));
    TRef<TSLArray> kept = MakeRef<TSLArray>();
    std::vector<TSLDictionary*> taken;
    if (items)
        for (int k = 0; k < items->GetCount(); ++k) {
            auto* d = dynamic_cast<TSLDictionary*>(items->GetObjAtIndex(k));
            auto* dInfo = d ? dynamic_cast<TSLDictionary*>(d->FindObjWithName("Info")) : nullptr;
            TDataInterface* i = dInfo ? GetInterfaceForType(StrOf(dInfo->FindObjWithName("Type"))) : nullptr;
            if (!i)
                continue;
            if (online && (!(i->FImportPermission & ipOnline) || permission < i->FMinUserPermissionImport))
                continue;
            if (FDevice.DeviceType() == dtOffline && !(i->FImportPermission & ipOffline))
                continue;
            taken.push_back(d);
        }

    // Parameter trees of the file against the device's modules.
    auto treeOf = [](TSLDictionary* d) {
        auto* ptd = dynamic_cast<TSLDictionary*>(d->FindObjWithName("ParameterTreeData"));
        if (!ptd)
            if (auto* data = dynamic_cast<TSLDictionary*>(d->FindObjWithName("Data")))
                ptd = dynamic_cast<TSLDictionary*>(data->FindObjWithName("ParameterTreeData"));
        return ptd ? StrOf(ptd->FindObjWithName("TreeName")) : MyAnsiString();
    };
    auto isParameters = [](TSLDictionary* d) {
        auto* dInfo = dynamic_cast<TSLDictionary*>(d->FindObjWithName("Info"));
        return Upper(StrOf(dInfo->FindObjWithName("Type"))) == "PARAMETERS";
    };
    std::vector<MyAnsiString> sources, compatible, modules;
    if (auto* m = FDevice.FindService<TModuleService>("ModuleService"))
        for (int k = 0; k < m->GetModuleCount(); ++k)
            modules.push_back(m->GetModule(k).FName);
    for (TSLDictionary* d : taken)
        if (isParameters(d)) {
            const MyAnsiString t = treeOf(d);
            if (!t.empty() && std::find(sources.begin(), sources.end(), t) == sources.end())
                sources.push_back(t);
        }
    TConfigTreeCheck check = CheckConfigTrees(sources, modules, permission);
    compatible = std::move(check.Compatible);
    const bool newer = check.Newer;
    taken.erase(std::remove_if(taken.begin(), taken.end(),
                               [&](TSLDictionary* d) {
                                   return isParameters(d) && std::find(compatible.begin(), compatible.end(), treeOf(d)) == compatible.end();
                               }),
                taken.end());
    if (!sources.empty()) {
        if (newer &&
            Ask(LangTextFmt(online ? "ImportWarningNewerFirmwareOnline" : "ImportWarningNewerFirmwareOffline",
                            {fileRelease, driveRelease}),
                TMsgDlgType::mtWarning, {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo}) != mrYes)
            return false;
        if (compatible.size() != sources.size() || newer) {
            MyAnsiString t = "This configuration was set up with the software version: " + fileRelease + "!\r\r";
            if (compatible.empty())
                t += MyAnsiString("The parameter trees in the source system are not compatible ") +
                    "with those in the destination system!\rThis configuration cannot be imported!\r" +
                    TModuleService::GetUpdateRequestString() + "\r\r";
            else if (compatible.size() != sources.size())
                t += "The parameter trees in the source system are not all compatible with those in the destination "
                     "system!\rOnly the compatible parameter trees can be imported! Continue?\r\r";
            t += "Source system parameter trees: \r";
            for (const auto& s : sources)
                t += "   " + s + "\r";
            t += "\rDestination system parameter trees: \r";
            for (const auto& s : modules)
                t += "   " + s + "\r";
            t += "\rCompatible parameter trees: \r";
            for (const auto& s : compatible)
                t += "   " + s + "\r";
            if (Ask(t, TMsgDlgType::mtConfirmation, {TMsgDlgBtn::mbOK, TMsgDlgBtn::mbCancel}) != mrOk)
                return false;
        }
    }

    for (TSLDictionary* d : taken)
        kept->AddObject(d);
    if (!LoadAllFlag && ItemSelector() && !ItemSelector()(*this, kept.Get()))
        return false;

    for (int k = 0; k < kept->GetCount(); ++k) {
        auto* d = dynamic_cast<TSLDictionary*>(kept->GetObjAtIndex(k));
        if (!d)
            continue;
        if (isParameters(d) && !StopRequest && FirmwareRunning()) {
            if (!EndOfLoadFeedback &&
                Ask(LangText("StopBeforeDownload"), TMsgDlgType::mtWarning, {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbCancel}) !=
                    mrYes)
                return false;
            StopRequest = true;
        }
        auto item = std::make_unique<TDataItem>();
        item->AssignDataDict(d);
        if (TDataInterface* i = GetInterfaceForType(item->GetTypeName()))
            i->FBackup = false;
        FDataItemList.push_back(std::move(item));
    }
    return true;
}

} // namespace vo
