#include "parameters/varDatIntf.h"

#include "kernel/CsServices.h"
#include "kernel/ExeCtrl.h"
#include "parameters/varItem.h"
#include "parameters/varService.h"
#include "platform/Cp1252.h"
#include "platform/Exception.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Rec.h"

#include <cctype>
#include <climits>
#include <utility>

namespace vo {

namespace {

constexpr const char* TypeName = "Variables";
constexpr const char* MasterUPIDKey = "MASTER_UPID";
constexpr std::uint8_t RestoredDirPermission = 3;

// The provider's update bracket, closed however the block ends.
class TServiceBracket {
public:
    explicit TServiceBracket(TVariableService& S) : FService(S) { FService.BeginUpdate(); }
    ~TServiceBracket() { FService.EndOfUpdate(); }
    TServiceBracket(const TServiceBracket&) = delete;
    TServiceBracket& operator=(const TServiceBracket&) = delete;

private:
    TVariableService& FService;
};

bool Has(const TSLNamedCollection& C, const char* Name) { return C.GetIndexOfName(Name) >= 0; }

int LiveCount(const TDirItem& Dir) {
    int n = 0;
    for (int i = 0; i < Dir.GetCount(); ++i)
        n += !Dir.GetVarItem(i).CheckFlag(vfDeleted);
    return n;
}

bool HasValidVar(const TDirItem& Dir) {
    for (int i = 0; i < Dir.GetCount(); ++i) {
        const TVarItem& v = Dir.GetVarItem(i);
        if (v.CheckFlag(vfValid) && !v.CheckFlag(vfDeleted))
            return true;
    }
    return false;
}

// The live section with that caption (a deleted one is on its way out).
TDirItem* FindLiveDirWithCaption(const TVariableService& S, const MyAnsiString& ACaption) {
    for (int i = 0; i < S.DirCount(); ++i) {
        TDirItem& d = S.GetDirItem(i);
        if (!d.CheckFlag(dfDeleted) && d.Caption() == ACaption)
            return &d;
    }
    return nullptr;
}

TVarItem* FindVarWithMasterUpid(const TDirItem& Dir, std::int64_t AUPID) {
    for (int i = 0; i < Dir.GetCount(); ++i) {
        TVarItem& v = Dir.GetVarItem(i);
        if (!v.CheckFlag(vfDeleted) && v.MasterUPID() == AUPID)
            return &v;
    }
    return nullptr;
}

const TSLNamedCollection& EntryAt(const TSLArray& Items, int Index) {
    const auto* e = dynamic_cast<const TSLNamedCollection*>(Items.GetObjAtIndex(Index));
    if (!e)
        throw Exception("TVariableDataInterface: entry " + std::to_string(Index) + " of \"Items\" is not a record");
    return *e;
}

// The entry as SetConfig of a variable from the module descriptions reads
// it: the stored device UPID as "DEVICE_UPID" and the master UPID as "UPID".
TRef<TSLDictionary> WithMasterUPID(const TSLNamedCollection& Entry) {
    TRef<TSLDictionary> d = MakeRef<TSLDictionary>();
    for (int i = 0; i < Entry.GetCount(); ++i) {
        const MyAnsiString name = Entry.GetNameAtIndex(i);
        if (!Cp1252SameText(name, "UPID") && !Cp1252SameText(name, MasterUPIDKey) && !Cp1252SameText(name, "DEVICE_UPID"))
            if (TSLObject* o = Entry.GetObjAtIndex(i))
                d->AddObject(name, o);
    }
    d->SetIntWithName("UPID", Entry.GetIntWithName(MasterUPIDKey));
    d->SetIntWithName("DEVICE_UPID", Entry.GetIntWithName("UPID"));
    return d;
}

} // namespace

// ------------------------------------------------------------------ entries

TRef<TSLRecord> TVarConfigDefs::Entry(const TVarItem& V, const MyAnsiString& AName) {
    TRef<TSLRecord> config = V.GetConfig();
    if (!config || !config->GetRecDef())
        throw Exception("TVariableDataInterface: variable '" + V.Caption() + "' has no configuration");
    MyAnsiString signature = V.VarType();
    for (int i = 0; i < config->GetCount(); ++i) signature += "/" + config->GetNameAtIndex(i);
    TRef<TSLDictionary>& def = FBySignature[signature];
    if (!def) {
        def = MakeRef<TSLDictionary>();
        const TSLDictionary& own = *config->GetRecDef();
        for (int i = 0; i < own.GetCount(); ++i) {
            TSLObject* d = own.GetObjAtIndex(i);
            def->AddObject(own.GetNameAtIndex(i), d ? d->CopyRef().Get() : nullptr);
        }
        if (!Has(*def, MasterUPIDKey))
            def->AddObject(MasterUPIDKey, MakeRef<TSLLongint>(-1).Get());
        // A file names each definition once: "VarUInt16", "VarUInt16_2" ...
        MyAnsiString base = "Var";
        for (char c : V.VarType())
            if (std::isalnum(static_cast<unsigned char>(c)))
                base += c;
        MyAnsiString name = base;
        for (int n = 2; !FNames.insert(Cp1252UpperCase(name)).second; ++n) name = base + "_" + std::to_string(n);
        def->SetIdent(name);
    }
    TRef<TSLRecord> entry = MakeRef<TSLRecord>(def.Get());
    for (int i = 0; i < config->GetCount(); ++i)
        if (TSLObject* o = config->GetObjAtIndex(i))
            entry->SetObjWithName(config->GetNameAtIndex(i), o);
    entry->SetStrWithName("Name", AName);
    entry->SetIntWithName(MasterUPIDKey, V.MasterUPID());
    return entry;
}

void TVarConfigDefs::Clear() {
    FBySignature.clear();
    FNames.clear();
}

// ------------------------------------------------------------------ sections

std::vector<TDirItem*> SaveableVarSections(const TVariableService& S) {
    std::vector<TDirItem*> out;
    const std::uint8_t mask = S.GetPermissionRead();
    for (int i = 0; i < S.DirCount(); ++i) {
        TDirItem& d = S.GetDirItem(i);
        if (d.CheckFlag(dfDeleted))
            continue;
        if (d.UserDefined() ? LiveCount(d) > 0 : (d.Permission() & mask) && HasValidVar(d))
            out.push_back(&d);
    }
    return out;
}

void SaveVarSection(const TDirItem* Dir, TSLDictionary& AData, TVarConfigDefs& Defs) {
    TRef<TSLArray> items = MakeRef<TSLArray>();
    if (Dir)
        for (int i = 0; i < Dir->GetCount(); ++i) {
            const TVarItem& v = Dir->GetVarItem(i);
            if (v.CheckFlag(vfDeleted) || (!Dir->UserDefined() && !v.CheckFlag(vfValid)))
                continue;
            items->AddObject(Defs.Entry(v, Dir->GetVarName(i)).Get());
        }
    AData.SetObjWithName("Items", items.Get());
}

void RestoreVarSection(TVariableService& S, const MyAnsiString& AName, const TSLNamedCollection& AData) {
    TServiceBracket bracket(S);
    TDirItem* dir = FindLiveDirWithCaption(S, AName);
    if (!dir)
        dir = &S.CreateDir(AName, AName, RestoredDirPermission, true);
    else if (dir->UserDefined())
        dir->Clear();
    const TSLArray* items = SLCast<TSLArray>(AData.GetObjWithName("Items"));
    for (int i = 0; i < items->GetCount(); ++i) {
        const TSLNamedCollection& entry = EntryAt(*items, i);
        const std::int64_t upid = entry.GetIntWithName("UPID");
        if (dir->UserDefined()) {
            const MyAnsiString name = entry.GetStrWithName("Name");
            TVarItem& v = dir->CreateVar(name, name, entry.GetStrWithName("VarType"), -1,
                                         upid == -1 ? vstUserDefined : vstSystem);
            if (upid != -1 && Has(entry, MasterUPIDKey))
                v.SetConfig(*WithMasterUPID(entry));
            else
                v.SetConfig(entry);
            continue;
        }
        // Files of older versions carry only the device UPID.
        TVarItem* v = Has(entry, MasterUPIDKey) ? FindVarWithMasterUpid(*dir, entry.GetIntWithName(MasterUPIDKey))
            : upid >= INT32_MIN && upid <= INT32_MAX
            ? dir->FindVarWithDeviceUpid(static_cast<std::int32_t>(upid))
            : nullptr;
        if (v && Has(entry, "Data"))
            v->SetDataCache(entry.GetStrWithName("Data"));
    }
}

// ------------------------------------------------------------------ interface

TVariableDataInterface::TVariableDataInterface(TVariableService& AOwner) : FOwner(AOwner) { FCaption = TypeName; }

TVariableDataInterface::~TVariableDataInterface() { ReleaseClient(); }

MyAnsiString TVariableDataInterface::GetTypeName(int AIndex) {
    if (AIndex != 0)
        throw Exception("index out of bounds");
    return TypeName;
}

int TVariableDataInterface::GetDataCount() { return static_cast<int>(SaveableVarSections(FOwner).size()); }

void TVariableDataInterface::GetDataInfo(int AIndex, TDataItem& ADataItem) {
    const std::vector<TDirItem*> dirs = SaveableVarSections(FOwner);
    if (AIndex < 0 || AIndex >= static_cast<int>(dirs.size()))
        throw Exception("index out of bounds");
    ADataItem.SetTypeName(TypeName);
    ADataItem.SetVersion(1);
    ADataItem.SetDataName(dirs[static_cast<std::size_t>(AIndex)]->Caption());
    ADataItem.SetDataPath(TypeName);
}

void TVariableDataInterface::Execute(TExecuteControl& ExecCtrl) {
    auto* item = dynamic_cast<TDataItem*>(ExecCtrl.FData);
    switch (ExecCtrl.FCommand) {
    case 2: // save
        if (ExecCtrl.FStatus == 0) {
            ExecCtrl.FStatus = 1;
            return;
        }
        ExecCtrl.FStatus = 0;
        if (item && item->DataDict())
            SaveVarSection(FindLiveDirWithCaption(FOwner, item->GetDataName()), *item->DataDict(), FDefs);
        return;
    case 3: // restore
        if (ExecCtrl.FStatus == 0) {
            TemporaryClient =
                FOwner.Provider().RequestClient([this](TServiceClient& Client) { ExecuteSetData(Client); });
            ExecCtrl.Wait(this);
            WaitingExecCtrl = &ExecCtrl;
            ExecCtrl.FStatus = 1;
            return;
        }
        ExecCtrl.FStatus = 0;
        try {
            if (item && item->DataDict())
                RestoreVarSection(FOwner, item->GetDataName(), *item->DataDict());
        } catch (...) {
            // A refused entry must not keep the service held for ever.
            ReleaseClient();
            throw;
        }
        ReleaseClient();
        return;
    case 4: // begin
    case 7: // end
        FDefs.Clear();
        ExecCtrl.FStatus = 0;
        return;
    default: ExecCtrl.FStatus = 0; return;
    }
}

void TVariableDataInterface::ExecuteSetData(TServiceClient& Client) {
    if (!WaitingExecCtrl || &Client != TemporaryClient) {
        Client.Release();
        return;
    }
    // Held until the item is in: the provider serves nobody else meanwhile.
    Client.Wait(INT32_MAX);
    WaitingExecCtrl->Continue(this);
}

void TVariableDataInterface::ReleaseClient() {
    WaitingExecCtrl = nullptr;
    if (TServiceClient* c = std::exchange(TemporaryClient, nullptr))
        c->Release();
}

} // namespace vo
