#include "parameters/varView.h"

#include "devices/DevMan.h"
#include "kernel/CsServices.h"
#include "kernel/Debug.h"
#include "kernel/MxTLib20.h"
#include "kernel/ShellServices.h"
#include "kernel/UserPrompt.h"
#include "kernel/prtPCtx.h"
#include "parameters/ParSrv.h"
#include "parameters/Parameter.h"
#include "parameters/varService.h"
#include "platform/FileNames.h"

#include <ctime>
#include <exception>

namespace vo {

namespace {

using S = TVarViewStatus;
using W = TVarWorkState;

constexpr int BoolTypeCode = 7; // "Bool16"
constexpr std::int32_t DeviceTypeUPID = 1020;
constexpr std::int32_t SerialNumberUPID = 1040;

// A text for the print library's word splitter: backslashes kept as they are.
MyAnsiString PrintText(const MyAnsiString& S) {
    MyAnsiString r;
    for (char c : S) {
        if (c == '\\')
            r += '\\';
        r += c;
    }
    return r;
}

// "dd/mm/yyyy hh:mm" of now, local time (GUI thread only).
MyAnsiString NowText() {
    const std::time_t t = std::time(nullptr);
    char buf[32] = "";
    if (const std::tm* tm = std::localtime(&t))
        std::strftime(buf, sizeof buf, "%d/%m/%Y %H:%M", tm);
    return buf;
}

// The position of V in its section (-1 when it is not there).
int IndexIn(const TDirItem& Dir, const TVarItem& V) {
    for (int i = 0; i < Dir.GetCount(); ++i)
        if (&Dir.GetVarItem(i) == &V)
            return i;
    return -1;
}

} // namespace

TVarViewModel::TVarViewModel()
    : FClient(std::make_unique<TVariableClient>()), FWorkSignal(std::make_unique<TMxSignal>()) {
    FClient->FOnExecute = [this](TServiceClient& C) { ServiceClientExecute(C); };
    FClient->FOnUpdate = [this](TServiceClient&) { ServiceClientUpdate(); };
}

TVarViewModel::~TVarViewModel() {
    FWorkTask.reset();
    if (FClient->GetConnected())
        FClient->Disconnect();
}

void TVarViewModel::Create(const TVariableManager& AManager) {
    FClient->FShowDetails = AManager.ShowDetails();
    for (int i = 0; i < VarColumnCount; ++i) FClient->SetColWidth(i, AManager.GetColWidth(i));
    FClient->SetColWidth(VarColumnCount, 0);
    FWorkState = W::wsReady;
    FWorkTask = TMxTask::CreateMain("VarViewer");
    FWorkTask->SetOnExecute([this](TMxTask& T) { Work(T); });
    FWorkTask->Start();
}

TDevice* TVarViewModel::Device() const { return FService ? &FService->Owner() : nullptr; }

void TVarViewModel::FillContext() {
    FContext.UPIDDispMode = ShellServices().UPIDDispMode();
    FContext.RawDataDispMode = ShellServices().RawDataDispMode();
    FContext.WriteMask = FMasks.Write;
    FContext.Variables = FService;
    TDevice* d = Device();
    FContext.Developer = d && d->GetUserPermission() == 15;
    FContext.Parameters = d ? d->FindService<TParameterService>("ParameterService") : nullptr;
}

void TVarViewModel::Show(TDirItem& ADir, const MyAnsiString& AUserName) {
    FCyclicIndex.Reset();
    FMasks = VarViewMasks(AUserName);
    FDir = &ADir;
    FService = &ADir.Owner();
    FillContext();
    FStatus = S::stReady;
    FWaitFlag = false;
    if (!FClient->GetConnected())
        FClient->Connect(FService->Provider());
    FSelVarItem = nullptr;
    FSelected = -1;
    UpdateListView();
    FSelected = -1;
    FSelVarItem = nullptr;
    if (OnRowsChanged)
        OnRowsChanged(-1);
    FReadAndSave = false;
    FWorkState = W::wsShow;
    Wake();
}

void TVarViewModel::Hide() {
    FWorkState = W::wsReady;
    if (FClient->GetConnected())
        FClient->Disconnect();
    FStatus = S::stReady;
    FDir = nullptr;
    FService = nullptr;
    FSelVarItem = nullptr;
    FSelected = -1;
    FRows.Refresh({}, FContext);
    FContext.Parameters = nullptr;
    FContext.Variables = nullptr;
}

// ------------------------------------------------------------------ actions

bool TVarViewModel::Online() const {
    const TDevice* d = Device();
    return d && d->DeviceType() == dtOnline;
}

bool TVarViewModel::Writable(const TVarItem& V) const { return VarWritable(V, FMasks.Write); }

bool TVarViewModel::ReadVarEnabled() const { return Online() && SelectedVar(); }

bool TVarViewModel::WriteVarEnabled() const {
    const TVarItem* v = SelectedVar();
    return v && Online() && Writable(*v);
}

bool TVarViewModel::RemoveEnabled() const {
    const TVarItem* v = SelectedVar();
    return v && (v->SourceType() == vstUserDefined || (FDir && FDir->UserDefined()));
}

bool TVarViewModel::NewEnabled() const { return FDir && FDir->UserDefined(); }

bool TVarViewModel::EditPropertiesEnabled() const {
    const TVarItem* v = SelectedVar();
    return v && v->SourceType() == vstUserDefined;
}

bool TVarViewModel::Start(TVarViewStatus St) {
    if (FStatus != S::stReady || !FService || !FClient->GetConnected())
        return false;
    FStatus = St;
    if (!FClient->RequestPending())
        FClient->Request();
    return true;
}

bool TVarViewModel::ReadVar() { return ReadVarEnabled() && Start(S::stReadVar); }
bool TVarViewModel::WriteVar() { return WriteVarEnabled() && Start(S::stWriteVar); }
bool TVarViewModel::ReadAll(bool Ctrl) { return ReadAllEnabled() && Start(Ctrl ? S::stReadAllAndSave : S::stReadAll); }
bool TVarViewModel::Remove() { return RemoveEnabled() && Start(S::stRemoveVar); }

TVarItem* TVarViewModel::NewVar(const MyAnsiString& ATypeName) {
    if (!NewEnabled())
        return nullptr;
    TVarItem* after = SelectedVar();
    const int index = after ? IndexIn(*FDir, *after) : -1;
    TVarItem& v = FDir->CreateVar("", "", ATypeName, index, vstUserDefined);
    FSelVarItem = &v;
    return &v;
}

TVarItem* TVarViewModel::CopyVar() {
    TVarItem* src = SelectedVar();
    if (!FDir || !src || src->SourceType() != vstUserDefined)
        return nullptr;
    TVarItem& v = CopyUserVar(*FDir, *src, IndexIn(*FDir, *src));
    FSelVarItem = &v;
    return &v;
}

TNewWithUPID TVarViewModel::NewWithUPID(std::int32_t AUPID) {
    if (!NewEnabled())
        return {};
    TDevice* d = Device();
    const MyAnsiString level = d ? d->GetStrVar("UserName") : MyAnsiString();
    TNewWithUPID r = NewVarsWithUPID(*FDir, FContext.Parameters, *FService, AUPID, VarUPIDUserMask(level),
                                     ShellServices().UPIDDispMode() == "HEX");
    if (!r.Message.empty())
        ShowMessage(r.Message);
    if (!r.Created.empty())
        FSelVarItem = r.Created.back();
    return r;
}

void TVarViewModel::SetCyclic(bool Value) {
    FCyclic = Value;
    if (Value)
        Wake();
}

bool TVarViewModel::CheckDisplayModes() {
    if (FContext.UPIDDispMode == ShellServices().UPIDDispMode() &&
        FContext.RawDataDispMode == ShellServices().RawDataDispMode())
        return false;
    FContext.UPIDDispMode = ShellServices().UPIDDispMode();
    FContext.RawDataDispMode = ShellServices().RawDataDispMode();
    UpdateListView();
    return true;
}

// ------------------------------------------------------------------ rows

void TVarViewModel::UpdateListView() {
    if (!FService || !FDir) {
        ShowMessage("VariableService not assigned!");
        return;
    }
    TVarItem* select = FService->FSearchedVariable;
    if (select)
        FService->FSearchedVariable = nullptr;
    else if (FSelVarItem)
        select = FSelVarItem;
    else
        select = SelectedVar();
    FRows.Refresh(ListedVars(*FDir, FMasks.Read), FContext);
    FSelected = FRows.RowOf(select);
    FSelVarItem = FRows.Var(FSelected);
    if (OnRowsChanged)
        OnRowsChanged(FSelected);
}

void TVarViewModel::SetSelected(int Row) {
    FSelected = Row >= 0 && Row < FRows.Count() ? Row : -1;
    FSelVarItem = FRows.Var(FSelected);
}

// ------------------------------------------------------------------ value entry

bool TVarViewModel::EditorShown() const {
    const TVarItem* v = SelectedVar();
    return v && Writable(*v);
}

MyAnsiString TVarViewModel::EditorText() const {
    const TVarItem* v = SelectedVar();
    return v ? v->GetValueStr() : MyAnsiString();
}

bool TVarViewModel::StoreValue(const MyAnsiString& Text) {
    TVarItem* v = SelectedVar();
    if (!v || !Writable(*v))
        return false;
    if (Text == v->GetValueStr())
        return true;
    try {
        v->SetValueStr(Text);
    } catch (const std::exception& e) {
        ShowMessage(e.what());
        return false;
    }
    UpdateListView();
    return true;
}

MyAnsiString TVarViewModel::ToggleBool(const MyAnsiString& Text) {
    TVarItem* v = SelectedVar();
    if (!v || !Writable(*v) || TVariableManager::StrToVarType(v->VarType()) != BoolTypeCode)
        return Text;
    MyAnsiString upper = Text;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    MyAnsiString next = Text;
    if (upper == "TRUE")
        next = "FALSE";
    else if (upper == "FALSE")
        next = "TRUE";
    else
        return Text;
    StoreValue(next);
    return next;
}

// ------------------------------------------------------------------ client

void TVarViewModel::ServiceClientExecute(TServiceClient& Client) {
    try {
        switch (FStatus) {
        case S::stReady: Client.Release(); return;
        case S::stReadVar:
            FService->PrepareValueRequest();
            if (TVarItem* v = SelectedVar()) {
                v->RequestRead();
                FSelVarItem = v;
            }
            FService->ExecuteValueRequest();
            break;
        case S::stWriteVar:
            FService->PrepareValueRequest();
            if (TVarItem* v = SelectedVar(); v && Writable(*v)) {
                FSelVarItem = v;
                v->RequestWrite();
            }
            FService->ExecuteValueRequest();
            break;
        case S::stReadAll:
        case S::stReadAllAndSave: {
            TVarItem* keep = FSelVarItem;
            FService->PrepareValueRequest();
            for (int i = 0; i < FRows.Count(); ++i) FRows.Var(i)->RequestRead();
            FService->ExecuteValueRequest();
            FSelVarItem = keep;
            if (FStatus == S::stReadAllAndSave)
                FReadAndSave = true;
            break;
        }
        case S::stRemoveVar:
            if (TVarItem* v = SelectedVar()) {
                FSelVarItem = FRows.Var(RowToSelectAfterRemove(FSelected, FRows.Count()));
                v->Delete();
            }
            break;
        case S::stCycledUpdate: ExecuteCycledUpdate(); break;
        }
        FStatus = S::stReady;
    } catch (const std::exception& e) {
        // The turn must end, or the service would serve nobody else.
        FStatus = S::stReady;
        LogWarning(MyAnsiString("TVarAppViewForm: ") + e.what());
        if (Client.ServiceProvider() && Client.ServiceProvider()->CurrentClient() == &Client)
            Client.Release();
    }
}

void TVarViewModel::ExecuteCycledUpdate() {
    const int row = FCyclicIndex.Next(FRows.Count());
    if (row < 0)
        return;
    FService->PrepareValueRequest();
    FRows.Var(row)->RequestRead();
    FService->ExecuteValueRequest();
    if (FCyclicIndex.TakePause())
        FWaitFlag = true;
}

void TVarViewModel::ServiceClientUpdate() {
    if (!FService)
        return;
    UpdateListView();
    if (FReadAndSave) {
        FReadAndSave = false;
        Wake();
        SaveCsv();
    } else if (FStatus == S::stReady) {
        Wake();
    }
}

void TVarViewModel::SaveCsv() {
    TSaveDialogRequest r;
    r.Filter = "Variable values(*.csv)|*.csv";
    r.DefaultExt = ".csv";
    if (!ShellServices().SaveDialog(r) || r.FileName.empty())
        return;
    std::vector<const TVarItem*> rows;
    for (int i = 0; i < FRows.Count(); ++i) rows.push_back(FRows.Var(i));
    try {
        SaveVarCsv(StoredPathToRealPath(r.FileName).string(), rows, FContext.RawDataDispMode);
    } catch (const std::exception& e) {
        ShowMessage(e.what());
    }
}

// ------------------------------------------------------------------ worker

void TVarViewModel::Wake() { FWorkSignal->SetReady(true); }

void TVarViewModel::WaitWork(TMxTask& Task, std::int64_t Timeout) {
    FWorkSignal->SetReady(false);
    Task.WaitFor(*FWorkSignal, Timeout);
}

void TVarViewModel::Work(TMxTask& Task) {
    std::int64_t timeout = MxInfinite;
    if (FWorkState == W::wsShow && FService) {
        timeout = VarViewerIdleWait.Milliseconds();
        try {
            const TDevice& d = FService->Owner();
            if (FService->ServiceStatus() != dsStarted) {
                // Not started yet: look again later (a step that returned at
                // once would keep the scheduler busy).
            } else if (d.DeviceType() != dtOnline) {
                if (d.DeviceType() != dtConnectionLost)
                    FWorkState = W::wsReady;
            } else if ((FStatus == S::stReady || FStatus == S::stCycledUpdate) && FCyclic) {
                if (FWaitFlag) {
                    FWaitFlag = false;
                    timeout = VarViewerPassPause.Milliseconds();
                } else {
                    FStatus = S::stCycledUpdate;
                    if (!FClient->RequestPending())
                        FClient->Request();
                    timeout = MxInfinite;
                }
            }
        } catch (const std::exception& e) {
            LogWarning(MyAnsiString("VarViewer: ") + e.what());
            const TDeviceType t = FService->Owner().DeviceType();
            if (t != dtOnline && t != dtConnectionLost)
                FWorkState = W::wsReady;
        }
    }
    WaitWork(Task, timeout);
}

// ------------------------------------------------------------------ print

MyAnsiString TVarViewModel::PrintTitle() const {
    const TDevice* d = Device();
    return (d ? d->Caption() : MyAnsiString()) + "/Variables";
}

void TVarViewModel::Print() {
    TPLPrinter& printer = Printer();
    if (!printer.PrintDialog(PrintTitle()))
        return;
    TPLPrintContext ctx(printer);
    ctx.Setup(100);
    ctx.BeginPrint();
    TPLDocument doc;
    ctx.SetDocument(&doc);
    doc.FWidth = ctx.FPageSize.X;
    doc.FHeight = ctx.FPageSize.Y;
    doc.FLeftBorder = 2000;
    doc.FRightBorder = 1000;
    doc.FTopBorder = 1500;
    doc.FBottomBorder = 1500;
    doc.FHeaderSpace = 500;
    doc.FFooterSpace = 500;
    doc.FAutoTabSize = 400;
    ctx.Render();
    const int regular = doc.CreateFont("Arial", 300, {});
    const int bold = doc.CreateFont("Arial", 300, {fsBold});
    doc.CreatePen(0);
    const int line = doc.CreatePen(25);

    doc.FHeader->FFontIndex = bold;
    doc.FHeader->FHorzAlign = thaLeft;
    doc.FHeader->GetBorder().SetLines(0, 0, 0, line);
    doc.FHeader->AddText("Variables");

    TPLFlowBox& body = doc.GetBodyTextBox();
    auto table = TPLTable::Create(body, 3, 4000);
    table->SetColWidth(2, 5000);
    table->GetDefaultBorder().SetSpaces(100, 100, 50, 50);
    table->GetDefaultBorder().SetLines(0, 0, 0, 0);
    table->FFontIndex = bold;
    auto row = [&](const MyAnsiString& A, const MyAnsiString& B, const MyAnsiString& C) {
        table->NextCell().AddText(PrintText(A));
        table->NextCell().AddText(PrintText(B));
        table->NextCell().AddText(PrintText(C));
    };
    TDevice* d = Device();
    row("Device Name:", d ? d->Caption() : MyAnsiString(), "");
    if (const TParameterService* ps = FContext.Parameters) {
        if (const TParameter* p = ps->FindParameter(DeviceTypeUPID))
            row("Device Type:", p->GetStrValue(), "");
        if (const TParameter* p = ps->FindParameter(SerialNumberUPID))
            row("Serial Number:", p->GetStrValue(), "");
    }
    if (FDir)
        row("Variable Directory Name:", FDir->Caption(), "");
    row("\\_", "\\_", "\\_");
    row("\\_", "\\_", "\\_");
    row("Variable Name", "Variable UPID", "Variable Value");
    table->FFontIndex = regular;
    for (int i = 0; i < FRows.Count(); ++i) {
        const TVarRowTexts& t = FRows.Texts(i);
        row(t[vcName], t[vcUPID], t[vcValue]);
    }
    table->Finish();

    doc.FFooter->FFontIndex = bold;
    doc.FFooter->FHorzAlign = thaCenter;
    doc.FFooter->GetBorder().SetLines(0, 0, line, 0);
    doc.FFooter->AddText(NowText());
    ctx.FinishPrint();
}

} // namespace vo
