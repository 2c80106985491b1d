#pragma once
// Records: values with a fixed set of named fields whose names, order and
// default values come from a definition dictionary that many records share;
// the definition's composite name is the record's type name. Also the built-in
// "getrectype".
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"

namespace vo {

class TSLRecord : public TSLNamedCollection {
    VO_REFOBJ_CLASS(TSLRecord, TSLNamedCollection)
    VO_SL_POOLED
    VO_SL_COMPOSITE(TSLRecord, 'R')
public:
    // A record without definition and data, filled only by InitComposite.
    TSLRecord() = default;
    // A record over RecDef (retained) whose fields hold copies of the defaults.
    explicit TSLRecord(TSLDictionary* RecDef);

    TSLDictionary* GetRecDef() const noexcept { return FRecDef.Get(); }
    TSLArray* GetData() const noexcept { return FData.Get(); }
    // The definition's composite name.
    MyAnsiString GetTypeName() const;

    // The number of fields (the definition's count).
    int GetCount() const override { return FRecDef ? FRecDef->GetCount() : 0; }
    TSLObject* GetObjAtIndex(int Index) const override;
    MyAnsiString GetNameAtIndex(int Index) const override;
    // Names compare as in a dictionary, without regard to case.
    bool GetNameExists(std::string_view AName) const override { return GetIndexOfName(AName) >= 0; }
    int GetIndexOfName(std::string_view AName) const override {
        return FRecDef ? FRecDef->GetIndexOfName(AName) : -1;
    }
    int GetIndexOfObj(const TSLObject* Obj) const override { return FData ? FData->GetIndexOfObj(Obj) : -1; }
    // Every field back to a copy of its default value.
    void Clear() override;

    TSLObject* GetObjWithName(std::string_view AName) const override;
    // Replaces the field's value; refused for a name the definition lacks.
    void SetObjWithName(std::string_view AName, TSLObject* Obj) override;
    // Sets the field's value to nil (the field stays).
    void DelObjWithName(std::string_view AName) override;

    // A record over the same definition object with copies of the values.
    TRef<TSLObject> CopyRef() const override;
    TSLRecord* CopyRecord() const { return static_cast<TSLRecord*>(CopyObject()); }
    // From a record of the same definition (or into a record without one): its
    // definition and copies of its values. From any other named collection:
    // the fields it names get copies of its values, the others their defaults;
    // a name the definition lacks refuses the whole assignment.
    void AssignObject(const TSLObject* Obj) override;

    // Element 0 must be the definition dictionary, element 1 the data array.
    void InitComposite(TSLCompData* CompData) override;
    void EncodeCompositeContent(TEncoderInterface& Encoder) override;

private:
    int FieldIndex(const char* Method, std::string_view AName) const;
    // Copies of the data's values; references to this record become Target.
    TRef<TSLArray> CopyData(TSLObject* Target) const;
    void SetValues(const TSLArray& Values);

    TRef<TSLDictionary> FRecDef;
    TRef<TSLArray> FData;
};

// Built-in "getrectype": pops the record on top of the operand stack and pushes
// a literal identifier holding its type name.
class TSLGetRecordTypeProcedure : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TSLGetRecordTypeProcedure, TSLInternalProcedure)
public:
    TSLGetRecordTypeProcedure() = default;
    void Execute(TSLContext* Context) override;
};

} // namespace vo
