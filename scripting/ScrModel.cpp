#include "scripting/ScrModel.h"

#include <algorithm>
#include <string>

#include "storagelib/SL20Col.h"
#include "storagelib/SL20Dbg.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Exe.h"
#include "storagelib/SL20Sto.h"

namespace vo {

namespace {

TScriptDebuggerViewFactory& ViewFactory() {
    static TScriptDebuggerViewFactory factory;
    return factory;
}

// The first identifier token of Root read from StorageID whose text covers
// Pos (its end included).
TSLObject* FindIdentAt(TSLObject* Root, uint16_t StorageID, int32_t Pos) {
    auto* collection = dynamic_cast<TSLCollection*>(Root);
    if (!collection) return nullptr;
    TSLObject* found = nullptr;
    collection->ForEach(
        [&](const TForEachInfo& Info, bool& Stop) {
            TSLObject* obj = Info.Obj;
            if (!obj || !obj->InheritsFrom(TSLIdent::ClassInfo)) return;
            const TDbgInfo* info = obj->GetDbgInfo();
            if (!info || info->GetStorageID() != StorageID) return;
            if (info->GetTokPos() <= Pos && Pos <= info->GetTokPos() + info->GetTokLength()) {
                found = obj;
                Stop = true;
            }
        },
        false);
    return found;
}

} // namespace

void SetScriptDebuggerViewFactory(TScriptDebuggerViewFactory Factory) { ViewFactory() = std::move(Factory); }

// ---------------------------------------------------------------- TScriptSelection

void TScriptSelection::AddBreak(int32_t Pos, int32_t Len, int32_t UserData) {
    FBrkSelList.push_back({Pos, Len, UserData});
}

void TScriptSelection::DelBreakAtPos(int32_t Pos) {
    const auto it = std::find_if(FBrkSelList.begin(), FBrkSelList.end(),
                                 [Pos](const TTextSelection& S) { return S.Pos <= Pos && Pos < S.Pos + S.Len; });
    if (it == FBrkSelList.end())
        throw Exception(std::string(ClassName()) + ".DelBreakAtPos: no selection at pos: " + std::to_string(Pos) +
                        " found");
    FBrkSelList.erase(it);
}

// ---------------------------------------------------------------- TScrModel

void TScrModel::Notify() {
    if (FOnChange) FOnChange(*this);
}

void TScrModel::SetState(TScrMdlState Value) {
    if (FState == Value) return;
    FState = Value;
    Notify();
}

void TScrModel::Clear() {
    FFileList.clear();
    FScrSelList.clear();
    FState = smsClear;
    Notify();
}

void TScrModel::AddScript(const MyAnsiString& FileName, uint16_t ID) {
    if (std::find(FFileList.begin(), FFileList.end(), FileName) != FFileList.end()) return;
    FFileList.push_back(FileName);
    FState = smsAddFile;
    FScrSelList.push_back(std::make_unique<TScriptSelection>(ID));
    FStorageID = ID;
    Notify();
}

void TScrModel::SetStatusLine(const MyAnsiString& Msg) {
    FStatusLine = Msg;
    FState = smsSetStatusLine;
    Notify();
}

TScriptSelection* TScrModel::GetScrSel(uint16_t StorageID) const {
    for (const auto& s : FScrSelList)
        if (s->FStorageID == StorageID) return s.get();
    return nullptr;
}

void TScrModel::SelectNextInstruction(uint16_t StorageID, int32_t Pos, int32_t Len) {
    FStorageID = StorageID;
    TScriptSelection* sel = GetScrSel(StorageID);
    if (!sel) {
        TStorageManager* manager = StorageManager();
        if (manager && StorageID != 0 && StorageID <= manager->GetStorageIDManager().GetCount()) {
            const MyAnsiString name = manager->GetStorageIDManager().GetIDInfo(StorageID).Name;
            if (!name.empty()) {
                AddScript(name, StorageID);
                sel = GetScrSel(StorageID);
            }
        }
    }
    if (!sel) return;
    FStorageID = StorageID;
    if (sel->FNISel.UserData != 1) {
        // The window unmarks the old token first.
        FState = smsDeselectNextInstruction;
        Notify();
    }
    FState = smsSelectNextInstruction;
    sel->FNISel = {Pos, Len, 0};
    Notify();
}

void TScrModel::DeselectNextInstruction() {
    TScriptSelection* sel = GetScrSel(FStorageID);
    if (!sel || sel->FNISel.UserData != 0) return;
    FState = smsDisableNextInstruction;
    Notify();
    sel->FNISel.UserData = 2;
}

void TScrModel::ToggleBreak(uint16_t StorageID, int32_t Pos) {
    // The parsed scripts of the run: the task's script and the dictionaries
    // the script imported.
    TSLObject* token = nullptr;
    if (FScrTask) token = FindIdentAt(FScrTask->GetScript(), StorageID, Pos);
    if (!token && FContext) token = FindIdentAt(&FContext->NameSpaceDict(), StorageID, Pos);
    if (!token) return;
    TDbgInfo& info = *token->GetDbgInfo();
    if (info.GetBreakpoint()) {
        TScriptSelection* sel = GetScrSel(StorageID);
        int32_t index = -1;
        for (int32_t i = 0; sel && i < sel->GetBrkCount(); ++i)
            if (sel->GetBrkSel(i).Pos == info.GetTokPos()) {
                index = i;
                break;
            }
        if (index < 0) throw Exception(std::string(ClassName()) + ".ToggleBreak: internal error");
        FBrkIndex = index;
        FStorageID = StorageID;
        info.SetBreakpoint(false);
        FState = smsDeselectBreak;
        Notify();
        sel->DelBreakAtPos(info.GetTokPos());
        return;
    }
    TScriptSelection* sel = GetScrSel(StorageID);
    if (!sel) {
        // A script without a tab has nothing to mark.
        FScrSelList.push_back(std::make_unique<TScriptSelection>(StorageID));
        sel = FScrSelList.back().get();
    }
    sel->AddBreak(info.GetTokPos(), info.GetTokLength(), StorageID);
    FBrkIndex = sel->GetBrkCount() - 1;
    FStorageID = StorageID;
    info.SetBreakpoint(true);
    FState = smsSelectBreak;
    Notify();
}

// ---------------------------------------------------------------- TScriptDebugger

TScriptDebugger::TScriptDebugger() : DebuggerModel(std::make_unique<TScrModel>()) {
    if (ViewFactory()) DebuggerForm = ViewFactory()();
    if (DebuggerForm) {
        TScriptDebuggerView* view = DebuggerForm;
        DebuggerModel->FOnChange = [view](TScrModel& Sender) { view->ScrModelChange(Sender); };
        DebuggerForm->SetModel(DebuggerModel.get());
    }
}

TScriptDebugger::~TScriptDebugger() {
    if (DebuggerForm) DebuggerForm->SetModel(nullptr);
}

TSLContext* TScriptDebugger::GetContext() { return DebuggerModel->FContext.Get(); }

void TScriptDebugger::SetContext(TSLContext* Value) {
    DebuggerModel->FContext = TRef<TSLContextImplementation>(Value ? &SLContextImpl(Value) : nullptr);
}

std::unique_ptr<TScriptDebuggerInterface> TScriptDebuggerFactory::CreateScriptDebugger() {
    return std::make_unique<TScriptDebugger>();
}

} // namespace vo
