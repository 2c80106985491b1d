#include "storagelib/SL20Rec.h"

#include <string>

#include "storagelib/SL20Elm.h"

namespace vo {

namespace {

TRef<TSLArray> CopiesOfDefaults(const TSLDictionary& RecDef) {
    TRef<TSLArray> data = MakeRef<TSLArray>();
    const int n = RecDef.GetCount();
    data->SetCapacity(n);
    for (int i = 0; i < n; ++i) {
        const TSLObject* def = RecDef.GetObjAtIndex(i);
        data->AddObject(def ? def->CopyRef().Get() : nullptr);
    }
    return data;
}

} // namespace

TSLRecord::TSLRecord(TSLDictionary* RecDef) : FRecDef(RecDef) {
    if (FRecDef) FData = CopiesOfDefaults(*FRecDef);
}

MyAnsiString TSLRecord::GetTypeName() const { return FRecDef ? FRecDef->GetIdent() : MyAnsiString(); }

TSLObject* TSLRecord::GetObjAtIndex(int Index) const {
    if (!FData)
        throw Exception(std::string(ClassName()) + ".ObjectAtIndex: no object to fetch at index " +
                        std::to_string(Index));
    return FData->GetObjAtIndex(Index);
}

MyAnsiString TSLRecord::GetNameAtIndex(int Index) const {
    if (Index < 0 || Index >= GetCount())
        throw Exception(std::string(ClassName()) + ".GetNameAtIndex: index (" + std::to_string(Index) +
                        ") out of bounds (" + std::to_string(GetCount()) + ")");
    return MyAnsiString(FRecDef->NameRefAtIndex(Index));
}

int TSLRecord::FieldIndex(const char* Method, std::string_view AName) const {
    const int i = GetIndexOfName(AName);
    if (i < 0 || !FData)
        throw Exception(std::string(ClassName()) + "." + Method + ": object with name '" + std::string(AName) +
                        "' not found");
    return i;
}

TSLObject* TSLRecord::GetObjWithName(std::string_view AName) const {
    return FData->GetObjAtIndex(FieldIndex("GetObjWithName", AName));
}

void TSLRecord::SetObjWithName(std::string_view AName, TSLObject* Obj) {
    FData->SetObjAtIndex(FieldIndex("SetObjWithName", AName), Obj);
}

void TSLRecord::DelObjWithName(std::string_view AName) {
    FData->SetObjAtIndex(FieldIndex("DelObjWithName", AName), nullptr);
}

void TSLRecord::Clear() {
    if (!FRecDef || !FData) return;
    TRef<TSLArray> defaults = CopiesOfDefaults(*FRecDef);
    SetValues(*defaults);
}

void TSLRecord::SetValues(const TSLArray& Values) {
    // The data array object stays (it may be shared); its values are replaced.
    const int n = Values.GetCount();
    if (FData->GetCount() < n) FData->SetCount(n);
    for (int i = 0; i < n; ++i) FData->SetObjAtIndex(i, Values.GetObjAtIndex(i));
}

TRef<TSLArray> TSLRecord::CopyData(TSLObject* Target) const {
    TSLCopyScope scope(this, Target);
    TRef<TSLArray> data = MakeRef<TSLArray>();
    const int n = FData->GetCount();
    data->SetCapacity(n);
    for (int i = 0; i < n; ++i) data->AddObject(TSLCopyScope::CopyElement(FData->GetObjAtIndex(i)).Get());
    data->SetIdent(FData->GetIdent());
    return data;
}

TRef<TSLObject> TSLRecord::CopyRef() const {
    TRef<TSLRecord> copy = MakeRef<TSLRecord>();
    copy->SetIdent(GetIdent());
    copy->FRecDef = FRecDef;
    if (FData) copy->FData = CopyData(copy.Get());
    return copy;
}

void TSLRecord::AssignObject(const TSLObject* Obj) {
    const TSLNamedCollection* src = SLCast<TSLNamedCollection>(Obj);
    if (src == this) return;
    const auto* rec = dynamic_cast<const TSLRecord*>(src);
    if (rec && (!FRecDef || rec->FRecDef == FRecDef)) {
        // Copies are made before anything of the receiver is dropped.
        TRef<TSLArray> data = rec->FData ? rec->CopyData(this) : TRef<TSLArray>();
        FRecDef = rec->FRecDef;
        FData = data;
        SetIdent(rec->GetIdent());
        return;
    }
    const int n = src->GetCount();
    for (int i = 0; i < n; ++i) {
        const MyAnsiString name = src->GetNameAtIndex(i);
        if (!GetNameExists(name) || !FData)
            throw Exception(std::string(ClassName()) + ".AssignObject: object with name '" + name + "' not found");
    }
    TRef<TSLArray> data = CopiesOfDefaults(*FRecDef);
    {
        TSLCopyScope scope(src, this);
        for (int i = 0; i < n; ++i)
            data->SetObjAtIndex(GetIndexOfName(src->GetNameAtIndex(i)),
                                TSLCopyScope::CopyElement(src->GetObjAtIndex(i)).Get());
    }
    SetValues(*data);
    SetIdent(src->GetIdent());
}

void TSLRecord::InitComposite(TSLCompData* CompData) {
    TSLDictionary* def = SLCast<TSLDictionary>(CompData->GetNextElement());
    TSLArray* data = SLCast<TSLArray>(CompData->GetNextElement());
    FRecDef = def;
    FData = data;
}

void TSLRecord::EncodeCompositeContent(TEncoderInterface& Encoder) {
    Encoder.EncodeObject(FRecDef.Get());
    Encoder.EncodeObject(FData.Get());
}

void TSLGetRecordTypeProcedure::Execute(TSLContext* Context) {
    TStackInterface* stack = Context->FOperandStackInterface;
    const TSLRecord* rec = SLCast<TSLRecord>(stack->GetObjAtIndex(0));
    TRef<TSLIdent> type = MakeRef<TSLIdent>(rec->GetTypeName(), false);
    stack->Pop(false);
    stack->Push(type.Get());
}

} // namespace vo
