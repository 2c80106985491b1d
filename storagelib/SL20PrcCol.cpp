#include "storagelib/SL20PrcCol.h"

#include <algorithm>
#include <vector>

#include "storagelib/CtxIntf.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Rec.h"

namespace vo {

namespace {

int32_t LowIntAt(TSLContext* Context, int Depth) {
    return SLLow32(SLOperandAs<TSLLongint>(Context, Depth)->GetLongintValue());
}

// A count operand: its low 32 bits, nothing below 0.
int32_t CountAt(TSLContext* Context, int Depth) { return std::max<int32_t>(0, LowIntAt(Context, Depth)); }

// The operand at Depth as a name; "Invalid class typecast" otherwise.
const TSLIdent* IdentAt(TSLContext* Context, int Depth) {
    const TSLObject* o = SLOperand(Context, Depth);
    if (!o || !o->HasTrait(TSLObject::slIdent)) throw EInvalidCast();
    return static_cast<const TSLIdent*>(o);
}

void Replace(TSLContext* Context, int N, const TRef<TSLObject>& R) {
    SLPopOperands(Context, N);
    SLPushOperand(Context, R);
}

} // namespace

// ---------------------------------------------------------------- building composites

void TSLCreateDictProcedure::Execute(TSLContext* Context) {
    const int32_t n = CountAt(Context, 0);
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
    const int32_t n = CountAt(Context, 0);
    TRef<TSLArray> arr = MakeRef<TSLArray>();
    arr->SetCapacity(n);
    for (int32_t depth = n; depth >= 1; --depth) arr->AddObject(SLOperand(Context, depth));
    SLPopOperands(Context, n + 1);
    SLPushOperand(Context, arr);
}

void TSLCreateRecordProcedure::Execute(TSLContext* Context) {
    auto* recdef = SLOperandAs<TSLDictionary>(Context, 0);
    const int32_t n = CountAt(Context, 1);
    TRef<TSLRecord> rec = MakeRef<TSLRecord>(recdef);
    // The topmost pair first.
    for (int32_t k = 0; k < n; ++k) {
        const int keyDepth = 3 + 2 * k;
        const auto* key = SLOperandAs<TSLIdent>(Context, keyDepth);
        rec->SetObjWithName(key->GetIdentValue(), SLOperand(Context, keyDepth - 1));
    }
    SLPopOperands(Context, 2 * n + 2);
    SLPushOperand(Context, rec);
}

void TSLGetCompositeIdentProcedure::Execute(TSLContext* Context) {
    const auto* c = SLOperandAs<TSLComposite>(Context, 0);
    Replace(Context, 1, MakeRef<TSLIdent>(c->GetIdent(), false));
}

// ---------------------------------------------------------------- get, put, puts

void TSLGetProcedure::RegisterProcedures() {
    Register(&TSLGetProcedure::ExecuteArray, TSLArray::ClassInfo, 1);
    Register(&TSLGetProcedure::ExecuteNamedCollection, TSLDictionary::ClassInfo, 1);
    Register(&TSLGetProcedure::ExecuteNamedCollection, TSLRecord::ClassInfo, 1);
}

void TSLGetProcedure::ExecuteArray(TSLContext* Context) {
    const int32_t i = LowIntAt(Context, 0);
    TRef<TSLObject> x(static_cast<TSLArray*>(SLOperand(Context, 1))->GetObjAtIndex(i));
    Replace(Context, 2, x);
}

void TSLGetProcedure::ExecuteNamedCollection(TSLContext* Context) {
    const TSLIdent* key = IdentAt(Context, 0);
    auto* coll = static_cast<TSLNamedCollection*>(SLOperand(Context, 1));
    TRef<TSLObject> x(&coll->ClassType() == &TSLDictionary::ClassInfo
                          ? static_cast<TSLDictionary*>(coll)->GetObjWithName(key->GetIdentValue(), key->NameHash())
                          : coll->GetObjWithName(key->GetIdentValue()));
    if (TSLObjectList* a = Context->FOperandArray; a && a->size() >= 2) {
        // The value takes the collection's place; the name, then the
        // collection are released after they left the stack.
        TRef<TSLObject> name(std::move(a->back()));
        a->pop_back();
        a->back().Swap(x);
        name.Reset();
        return;
    }
    Replace(Context, 2, x);
}

void TSLPutProcedure::RegisterProcedures() {
    Register(&TSLPutProcedure::ExecuteArray, TSLArray::ClassInfo, 2);
    Register(&TSLPutProcedure::ExecuteNamedCollection, TSLDictionary::ClassInfo, 2);
    Register(&TSLPutProcedure::ExecuteNamedCollection, TSLRecord::ClassInfo, 2);
}

void TSLPutProcedure::ExecuteArray(TSLContext* Context) {
    TSLObject* x = SLOperand(Context, 0);
    const int32_t i = LowIntAt(Context, 1);
    static_cast<TSLArray*>(SLOperand(Context, 2))->SetObjAtIndex(i, x);
    SLPopOperands(Context, 3);
}

void TSLPutProcedure::ExecuteNamedCollection(TSLContext* Context) {
    TSLObject* x = SLOperand(Context, 0);
    const TSLIdent* key = IdentAt(Context, 1);
    auto* coll = static_cast<TSLNamedCollection*>(SLOperand(Context, 2));
    if (&coll->ClassType() == &TSLDictionary::ClassInfo)
        static_cast<TSLDictionary*>(coll)->SetObjWithName(key->GetIdentValue(), key->NameHash(), x);
    else
        coll->SetObjWithName(key->GetIdentValue(), x);
    SLPopOperands(Context, 3);
}

void TSLPutsProcedure::Execute(TSLContext* Context) {
    TSLObject* x = SLOperand(Context, 0);
    const auto* key = SLOperandAs<TSLIdent>(Context, 1);
    auto* dict = SLOperandAs<TSLDictionary>(Context, 2);
    dict->Define(key->GetIdentValue(), key->NameHash(), x);
    SLPopOperands(Context, 3);
}

// ---------------------------------------------------------------- del, ins, count

void TSLDelProcedure::RegisterProcedures() {
    Register(&TSLDelProcedure::ExecuteArray, TSLArray::ClassInfo, 1);
    Register(&TSLDelProcedure::ExecuteDictionary, TSLDictionary::ClassInfo, 1);
}

void TSLDelProcedure::ExecuteArray(TSLContext* Context) {
    const int32_t i = LowIntAt(Context, 0);
    static_cast<TSLArray*>(SLOperand(Context, 1))->DelObjAtIndex(i);
    SLPopOperands(Context, 2);
}

void TSLDelProcedure::ExecuteDictionary(TSLContext* Context) {
    TSLObject* key = SLOperand(Context, 0);
    MyAnsiString name;
    if (key && key->InheritsFrom(TSLIdent::ClassInfo))
        name = static_cast<TSLIdent*>(key)->GetIdentValue();
    else
        name = SLCast<TSLString>(key)->GetStringValue();
    static_cast<TSLDictionary*>(SLOperand(Context, 1))->DelObjWithName(name);
    SLPopOperands(Context, 2);
}

void TSLInsertProcedure::Execute(TSLContext* Context) {
    TSLObject* x = SLOperand(Context, 0);
    const int32_t i = LowIntAt(Context, 1);
    SLOperandAs<TSLArray>(Context, 2)->InsObjAtIndex(i, x);
    SLPopOperands(Context, 3);
}

void TSLCountProcedure::RegisterProcedures() {
    Register(&TSLCountProcedure::ExecuteCollection, TSLArray::ClassInfo, 0);
    Register(&TSLCountProcedure::ExecuteCollection, TSLDictionary::ClassInfo, 0);
}

void TSLCountProcedure::ExecuteCollection(TSLContext* Context) {
    const int n = static_cast<TSLCollection*>(SLOperand(Context, 0))->GetCount();
    Replace(Context, 1, MakeRef<TSLLongint>(n));
}

// ---------------------------------------------------------------- sub-arrays

void TSLGetSubArrProcedure::Execute(TSLContext* Context) {
    const int32_t count = LowIntAt(Context, 0);
    const int32_t start = LowIntAt(Context, 1);
    auto* arr = SLOperandAs<TSLArray>(Context, 2);
    TRef<TSLArray> part = MakeRef<TSLArray>();
    if (count > 0) part->SetCapacity(count <= arr->GetCount() ? count : arr->GetCount());
    for (int64_t i = 0; i < count; ++i) {
        const int64_t pos = int64_t{start} + i;
        // A position outside 32 bits is outside every array.
        part->AddObject(arr->GetObjAtIndex(pos > INT32_MAX ? -1 : static_cast<int>(pos)));
    }
    Replace(Context, 3, part);
}

void TSLPutSubArrProcedure::Execute(TSLContext* Context) {
    auto* source = SLOperandAs<TSLArray>(Context, 0);
    const int32_t start = LowIntAt(Context, 1);
    auto* target = SLOperandAs<TSLArray>(Context, 2);
    // The source's elements as they are now: a source that is the target
    // itself is copied once, not chased while it grows.
    TSLObjectList elements;
    elements.reserve(static_cast<std::size_t>(source->GetCount()));
    for (int i = 0; i < source->GetCount(); ++i) elements.emplace_back(source->GetObjAtIndex(i));
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const int64_t pos = int64_t{start} + static_cast<int64_t>(i);
        target->SetObjAtIndex(pos > INT32_MAX ? -1 : static_cast<int>(pos), elements[i].Get());
    }
    SLPopOperands(Context, 2);
}

// ---------------------------------------------------------------- strings

MyAnsiString SLSubString(std::string_view Text, int64_t Start, int64_t Count) {
    const int64_t len = static_cast<int64_t>(Text.size());
    const int64_t p = std::max<int64_t>(Start, 0);
    if (p >= len || Count < 0) return {};
    const int64_t n = std::min(Count, len - p);
    return MyAnsiString(Text.substr(static_cast<std::size_t>(p), static_cast<std::size_t>(n)));
}

void TSLLengthProcedure::Execute(TSLContext* Context) {
    const auto* s = SLOperandAs<TSLString>(Context, 0);
    Replace(Context, 1, MakeRef<TSLLongint>(static_cast<int64_t>(s->GetStringValue().size())));
}

void TSLGetSubStrProcedure::Execute(TSLContext* Context) {
    const int32_t count = LowIntAt(Context, 0);
    const int32_t start = LowIntAt(Context, 1);
    const auto* s = SLOperandAs<TSLString>(Context, 2);
    Replace(Context, 3, MakeRef<TSLString>(SLSubString(s->GetStringValue(), start, count)));
}

void TSLPutSubStrProcedure::Execute(TSLContext* Context) {
    const auto* source = SLOperandAs<TSLString>(Context, 0);
    const int32_t start = LowIntAt(Context, 1);
    auto* target = SLOperandAs<TSLString>(Context, 2);
    const MyAnsiString& src = source->GetStringValue();
    const MyAnsiString& dst = target->GetStringValue();
    // The source must lie inside the target; nothing is written outside it.
    if (start < 0 || int64_t{start} + static_cast<int64_t>(src.size()) > static_cast<int64_t>(dst.size()))
        throw Exception(std::string(ClassName()) + ".Execute: " + std::to_string(src.size()) +
                        " characters at position " + std::to_string(start) + " do not fit into a string of length " +
                        std::to_string(dst.size()));
    MyAnsiString text = dst;
    text.replace(static_cast<std::size_t>(start), src.size(), src);
    target->SetStringValue(text);
    SLPopOperands(Context, 2);
}

void TSLSearchProcedure::Execute(TSLContext* Context) {
    const MyAnsiString pattern = SLOperandAs<TSLString>(Context, 0)->GetStringValue();
    const MyAnsiString text = SLOperandAs<TSLString>(Context, 1)->GetStringValue();
    SLPopOperands(Context, 2);
    const std::size_t p = pattern.empty() ? MyAnsiString::npos : text.find(pattern);
    if (p == MyAnsiString::npos) {
        SLPushOperand(Context, MakeRef<TSLBoolean>(false));
        return;
    }
    SLPushOperand(Context, MakeRef<TSLString>(text.substr(0, p)));
    SLPushOperand(Context, MakeRef<TSLString>(pattern));
    SLPushOperand(Context, MakeRef<TSLString>(text.substr(p + pattern.size())));
    SLPushOperand(Context, MakeRef<TSLBoolean>(true));
}

void TSLUppercaseProcedure::Execute(TSLContext* Context) {
    MyAnsiString text = SLOperandAs<TSLString>(Context, 0)->GetStringValue();
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    Replace(Context, 1, MakeRef<TSLString>(std::move(text)));
}

void TSLChrProcedure::Execute(TSLContext* Context) {
    const int64_t n = SLOperandAs<TSLLongint>(Context, 0)->GetLongintValue();
    Replace(Context, 1, MakeRef<TSLString>(MyAnsiString(1, static_cast<char>(static_cast<uint8_t>(n & 0xFF)))));
}

void TSLOrdProcedure::Execute(TSLContext* Context) {
    const MyAnsiString text = SLOperandAs<TSLString>(Context, 0)->GetStringValue();
    SLPopOperands(Context, 1);
    if (text.size() != 1) {
        Context->FContextInterface->RaiseStandardException("operand must be of type AnsiChar (string with length 1)");
        return;
    }
    SLPushOperand(Context, MakeRef<TSLLongint>(static_cast<uint8_t>(text[0])));
}

} // namespace vo
