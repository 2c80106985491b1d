#include "storagelib/SL20PrcCol.h"

#include <algorithm>

#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Rec.h"

namespace vo {

void TSLCreateDictProcedure::Execute(TSLContext* Context) {
    const int32_t n = std::max<int32_t>(0, SLLow32(SLOperandAs<TSLLongint>(Context, 0)->GetLongintValue()));
    TRef<TSLDictionary> dict = MakeRef<TSLDictionary>();
    dict->SetCapacity(n);
    // The deepest pair first, so the order is the order of pushing.
    for (int32_t k = 0; k < n; ++k) {
        const int keyDepth = 2 * (n - k);
        const auto* key = SLOperandAs<TSLIdent>(Context, keyDepth);
        dict->AddObject(key->GetIdentValue(), SLOperand(Context, keyDepth - 1));
    }
    SLPopOperands(Context, 2 * n + 1);
    SLPushOperand(Context, dict);
}

void TSLCreateArrayProcedure::Execute(TSLContext* Context) {
    const int32_t n = std::max<int32_t>(0, SLLow32(SLOperandAs<TSLLongint>(Context, 0)->GetLongintValue()));
    TRef<TSLArray> arr = MakeRef<TSLArray>();
    arr->SetCapacity(n);
    for (int32_t depth = n; depth >= 1; --depth) arr->AddObject(SLOperand(Context, depth));
    SLPopOperands(Context, n + 1);
    SLPushOperand(Context, arr);
}

// ---------------------------------------------------------------- get

void TSLGetProcedure::RegisterProcedures() {
    Register(&TSLGetProcedure::ExecuteArray, TSLArray::ClassInfo, 1);
    Register(&TSLGetProcedure::ExecuteNamedCollection, TSLDictionary::ClassInfo, 1);
    Register(&TSLGetProcedure::ExecuteNamedCollection, TSLRecord::ClassInfo, 1);
}

void TSLGetProcedure::ExecuteArray(TSLContext* Context) {
    const int32_t i = SLLow32(SLOperandAs<TSLLongint>(Context, 0)->GetLongintValue());
    TRef<TSLObject> x(static_cast<TSLArray*>(SLOperand(Context, 1))->GetObjAtIndex(i));
    SLPopOperands(Context, 2);
    SLPushOperand(Context, x);
}

void TSLGetProcedure::ExecuteNamedCollection(TSLContext* Context) {
    const auto* key = SLOperandAs<TSLIdent>(Context, 0);
    TRef<TSLObject> x(static_cast<TSLNamedCollection*>(SLOperand(Context, 1))->GetObjWithName(key->GetIdentValue()));
    SLPopOperands(Context, 2);
    SLPushOperand(Context, x);
}

// ---------------------------------------------------------------- put

void TSLPutProcedure::RegisterProcedures() {
    Register(&TSLPutProcedure::ExecuteArray, TSLArray::ClassInfo, 2);
    Register(&TSLPutProcedure::ExecuteNamedCollection, TSLDictionary::ClassInfo, 2);
    Register(&TSLPutProcedure::ExecuteNamedCollection, TSLRecord::ClassInfo, 2);
}

void TSLPutProcedure::ExecuteArray(TSLContext* Context) {
    TSLObject* x = SLOperand(Context, 0);
    const int32_t i = SLLow32(SLOperandAs<TSLLongint>(Context, 1)->GetLongintValue());
    static_cast<TSLArray*>(SLOperand(Context, 2))->SetObjAtIndex(i, x);
    SLPopOperands(Context, 3);
}

void TSLPutProcedure::ExecuteNamedCollection(TSLContext* Context) {
    TSLObject* x = SLOperand(Context, 0);
    const auto* key = SLOperandAs<TSLIdent>(Context, 1);
    static_cast<TSLNamedCollection*>(SLOperand(Context, 2))->SetObjWithName(key->GetIdentValue(), x);
    SLPopOperands(Context, 3);
}

void TSLPutsProcedure::Execute(TSLContext* Context) {
    TSLObject* x = SLOperand(Context, 0);
    const auto* key = SLOperandAs<TSLIdent>(Context, 1);
    auto* dict = SLOperandAs<TSLDictionary>(Context, 2);
    const MyAnsiString& name = key->GetIdentValue();
    if (dict->GetNameExists(name)) dict->DelObjWithName(name);
    dict->AddObject(name, x);
    SLPopOperands(Context, 3);
}

// ---------------------------------------------------------------- count

void TSLCountProcedure::RegisterProcedures() {
    Register(&TSLCountProcedure::ExecuteCollection, TSLArray::ClassInfo, 0);
    Register(&TSLCountProcedure::ExecuteCollection, TSLDictionary::ClassInfo, 0);
}

void TSLCountProcedure::ExecuteCollection(TSLContext* Context) {
    const int n = static_cast<TSLCollection*>(SLOperand(Context, 0))->GetCount();
    SLPopOperands(Context, 1);
    SLPushOperand(Context, MakeRef<TSLLongint>(n));
}

} // namespace vo
