#include "storagelib/ScrStoObj.h"

#include <limits>

#include "storagelib/SL20PrcCnv.h"
#include "storagelib/SL20Stu.h"

namespace vo {

namespace {

int ToIndex(int64_t Value) {
    if (Value < std::numeric_limits<int>::min() || Value > std::numeric_limits<int>::max()) return -1;
    return static_cast<int>(Value);
}

TStorageManager& Manager() {
    TStorageManager* manager = StorageManager();
    if (!manager) throw Exception("no storage manager");
    return *manager;
}

// One handle reference taken by "objtoint" for a method, given back when the
// method's step is over, whatever happened.
class THandleGuard {
public:
    explicit THandleGuard(int64_t Handle) : FHandle(static_cast<int32_t>(static_cast<uint32_t>(Handle))) {}
    ~THandleGuard() { SLObjectHandles().Release(FHandle); }
    THandleGuard(const THandleGuard&) = delete;
    THandleGuard& operator=(const THandleGuard&) = delete;
    TSLObject* Object() const { return SLObjectHandles().Find(FHandle); }

private:
    int32_t FHandle;
};

// Lets "inttoobj" push Obj in place of a handle; the handle's reference is
// given back in the method's next step (FinishReturn).
void ReturnObject(std::vector<int32_t>& Pending, TSLObject* Obj, TContextInterface& Ctx) {
    const int32_t handle = SLObjectHandles().Add(Obj);
    Pending.push_back(handle);
    Ctx.PushLongint(handle);
    Ctx.SetUserValue(1);
    Ctx.ExecuteName("inttoobj");
}

void FinishReturn(std::vector<int32_t>& Pending, TContextInterface& Ctx) {
    Ctx.SetUserValue(0);
    if (Pending.empty()) return;
    const int32_t handle = Pending.back();
    Pending.pop_back();
    SLObjectHandles().Release(handle);
}

void ReleasePending(std::vector<int32_t>& Pending) noexcept {
    for (int32_t h : Pending) SLObjectHandles().Release(h);
    Pending.clear();
}

} // namespace

// ---------------------------------------------------------------- StorageObjectManager

TStorageObjectManagerScriptObject::TStorageObjectManagerScriptObject() : StoObjArr(MakeRef<TSLArray>()) {}
TStorageObjectManagerScriptObject::~TStorageObjectManagerScriptObject() { ReleasePending(PendingHandles); }

MyAnsiString TStorageObjectManagerScriptClass::GetMethodName(int32_t Id) {
    switch (Id) {
    case 0: return "GetObject";
    case 1: return "CreateObject";
    case 2: return "ObjectExists";
    case 3: return "SetData";
    case 4: return "GetData";
    case 5: return "SetFormat";
    case 6: return "GetFormat";
    case 7: return "GetName";
    case 8: return "Read";
    case 9: return "Write";
    default: return {};
    }
}

std::unique_ptr<TStorageObjectManagerScriptObject> TStorageObjectManagerScriptClass::NewObject(TContextInterface&) {
    return std::make_unique<TStorageObjectManagerScriptObject>();
}

void TStorageObjectManagerScriptClass::Execute(TStorageObjectManagerScriptObject& Obj, int32_t Id,
                                               TContextInterface& Ctx) {
    TSLArray& list = *Obj.StoObjArr;
    auto at = [&list](int64_t Index) { return SLCast<TSLStorageObject>(list.GetObjAtIndex(ToIndex(Index))); };
    const int32_t step = Ctx.GetUserValue();
    switch (Id) {
    case 0: // GetObject: name access -> index
        if (step == 0) {
            Ctx.SetUserValue(1);
            Ctx.ExecuteName("loadstoobj");
        } else if (step == 1) {
            Ctx.SetUserValue(2);
            Ctx.ExecuteName("objtoint");
        } else {
            Ctx.SetUserValue(0);
            THandleGuard handle(Ctx.PopLongint());
            list.AddObject(SLCast<TSLStorageObject>(handle.Object()));
            Ctx.PushLongint(list.GetCount() - 1);
        }
        return;
    case 1: { // CreateObject: name -> index
        const MyAnsiString name = Ctx.PopString();
        list.AddObject(Manager().CreateObject(name));
        Ctx.PushLongint(list.GetCount() - 1);
        return;
    }
    case 2: { // ObjectExists: name -> boolean
        const MyAnsiString name = Ctx.PopString();
        Ctx.PushBoolean(Manager().ObjectExists(name));
        return;
    }
    case 3: // SetData: index data ->
        if (step == 0) {
            Ctx.SetUserValue(1);
            Ctx.ExecuteName("objtoint");
        } else {
            Ctx.SetUserValue(0);
            THandleGuard handle(Ctx.PopLongint());
            const int64_t index = Ctx.PopLongint();
            at(index)->SetData(handle.Object());
        }
        return;
    case 4: // GetData: index -> data
        if (step == 0)
            ReturnObject(Obj.PendingHandles, at(Ctx.PopLongint())->GetData(), Ctx);
        else
            FinishReturn(Obj.PendingHandles, Ctx);
        return;
    case 5: { // SetFormat: index format ->
        const TStorageFormat format = ConvertFormatString(Ctx.PopString());
        at(Ctx.PopLongint())->SetFormat(format);
        return;
    }
    case 6: // GetFormat: index -> text
        Ctx.PushString(StorageFormatText(at(Ctx.PopLongint())->GetFormat()));
        return;
    case 7: // GetName: index -> name
        Ctx.PushString(at(Ctx.PopLongint())->GetName());
        return;
    case 8: // Read: index ->
        at(Ctx.PopLongint())->Read();
        return;
    case 9: // Write: index ->
        at(Ctx.PopLongint())->Write();
        return;
    default:
        throw Exception(ClassName() + ".ExecuteMethod: unknown method id " + std::to_string(Id));
    }
}

// ---------------------------------------------------------------- ArchiveManager

TArchiveManagerScriptObject::TArchiveManagerScriptObject() : ArcObjArr(MakeRef<TSLArray>()) {}
TArchiveManagerScriptObject::~TArchiveManagerScriptObject() { ReleasePending(PendingHandles); }

MyAnsiString TArchiveManagerScriptClass::GetMethodName(int32_t Id) {
    switch (Id) {
    case 0: return "GetArchive";
    case 1: return "GetIndexOfName";
    case 2: return "GetNameAtIndex";
    case 3: return "GetFormatAtIndex";
    case 4: return "GetDataAtIndex";
    case 5: return "GetCount";
    case 6: return "AddEntry";
    case 7: return "RemoveEntryWithName";
    case 8: return "RemoveEntryAtIndex";
    case 9: return "Clear";
    case 10: return "Write";
    case 11: return "AddLink";
    default: return {};
    }
}

std::unique_ptr<TArchiveManagerScriptObject> TArchiveManagerScriptClass::NewObject(TContextInterface&) {
    return std::make_unique<TArchiveManagerScriptObject>();
}

void TArchiveManagerScriptClass::Execute(TArchiveManagerScriptObject& Obj, int32_t Id, TContextInterface& Ctx) {
    TSLArray& list = *Obj.ArcObjArr;
    auto archive = [&list](int64_t Index) { return SLCast<TSLArchive>(list.GetObjAtIndex(ToIndex(Index))); };
    const int32_t step = Ctx.GetUserValue();
    switch (Id) {
    case 0: { // GetArchive: name access -> archive
        const TStreamAccess access = ConvertAccessString(Ctx.PopString());
        const MyAnsiString name = Ctx.PopString();
        list.AddObject(ArchiveManager().GetArchive(name, access));
        Ctx.PushLongint(list.GetCount() - 1);
        return;
    }
    case 1: { // GetIndexOfName: archive entryname -> index
        const MyAnsiString name = Ctx.PopString();
        Ctx.PushLongint(archive(Ctx.PopLongint())->IndexOfEntry(name));
        return;
    }
    case 2: { // GetNameAtIndex: archive index -> entryname
        const int index = ToIndex(Ctx.PopLongint());
        Ctx.PushString(archive(Ctx.PopLongint())->NameAtIndex(index));
        return;
    }
    case 3: { // GetFormatAtIndex: archive index -> text
        const int index = ToIndex(Ctx.PopLongint());
        Ctx.PushString(StorageFormatText(archive(Ctx.PopLongint())->EntryAtIndex(index)->GetFormat()));
        return;
    }
    case 4: // GetDataAtIndex: archive index -> data
        if (step == 0) {
            const int index = ToIndex(Ctx.PopLongint());
            ReturnObject(Obj.PendingHandles, archive(Ctx.PopLongint())->EntryAtIndex(index)->GetData(), Ctx);
        } else {
            FinishReturn(Obj.PendingHandles, Ctx);
        }
        return;
    case 5: // GetCount: archive -> count
        Ctx.PushLongint(archive(Ctx.PopLongint())->GetCount());
        return;
    case 6: // AddEntry: archive entryname format data -> index
        if (step == 0) {
            Ctx.SetUserValue(1);
            Ctx.ExecuteName("objtoint");
        } else {
            Ctx.SetUserValue(0);
            THandleGuard handle(Ctx.PopLongint());
            const TStorageFormat format = ConvertFormatString(Ctx.PopString());
            const MyAnsiString name = Ctx.PopString();
            TSLArchive* a = archive(Ctx.PopLongint());
            a->AddEntry(name, format, handle.Object());
            Ctx.PushLongint(a->GetCount() - 1);
        }
        return;
    case 7: { // RemoveEntryWithName: archive entryname ->
        const MyAnsiString name = Ctx.PopString();
        archive(Ctx.PopLongint())->RemoveEntryWithName(name);
        return;
    }
    case 8: { // RemoveEntryAtIndex: archive index ->
        const int index = ToIndex(Ctx.PopLongint());
        archive(Ctx.PopLongint())->RemoveEntryAtIndex(index);
        return;
    }
    case 9: // Clear: archive ->
        archive(Ctx.PopLongint())->Clear();
        return;
    case 10: // Write: archive ->
        archive(Ctx.PopLongint())->Write();
        return;
    case 11: { // AddLink: archive entryname format -> index
        const TStorageFormat format = ConvertFormatString(Ctx.PopString());
        const MyAnsiString name = Ctx.PopString();
        TSLArchive* a = archive(Ctx.PopLongint());
        a->AddEntry(name, format, nullptr)->SetLink();
        Ctx.PushLongint(a->GetCount() - 1);
        return;
    }
    default:
        throw Exception(ClassName() + ".ExecuteMethod: unknown method id " + std::to_string(Id));
    }
}

// ---------------------------------------------------------------- registration

TStorageObjectManagerScriptClass& StorageObjectManagerScriptClass() {
    static auto* c = new TStorageObjectManagerScriptClass();
    return *c;
}

TArchiveManagerScriptClass& ArchiveManagerScriptClass() {
    static auto* c = new TArchiveManagerScriptClass();
    return *c;
}

void RegisterStorageScriptClasses(TStorageManager& Manager) {
    Manager.AnnounceScriptClass("StorageObjectManager", &StorageObjectManagerScriptClass(), 1);
    Manager.AnnounceScriptClass("ArchiveManager", &ArchiveManagerScriptClass(), 1);
}

} // namespace vo
