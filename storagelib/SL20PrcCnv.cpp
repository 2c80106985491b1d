#include "storagelib/SL20PrcCnv.h"

#include <cmath>
#include <limits>

#include "storagelib/SL20PrcNum.h"
#include "storagelib/SL20Str.h"

namespace vo {

namespace {

void Replace(TSLContext* Context, int N, const TRef<TSLObject>& R) {
    SLPopOperands(Context, N);
    SLPushOperand(Context, R);
}

const MyAnsiString& StringAt(TSLContext* Context, int Depth) {
    return SLOperandAs<TSLString>(Context, Depth)->GetStringValue();
}

int64_t IntAt(TSLContext* Context, int Depth) { return SLOperandAs<TSLLongint>(Context, Depth)->GetLongintValue(); }

// The fill character of "pad" and "padr": the first of a non-empty text.
char FillAt(TSLContext* Context, int Depth, const char* Procedure) {
    const MyAnsiString& fill = StringAt(Context, Depth);
    if (fill.empty()) throw Exception(std::string(Procedure) + ": fill text is empty");
    return fill.front();
}

} // namespace

bool SLTryStrToInt64(std::string_view Text, int64_t& Value) {
    try {
        Value = SLStrToInt64(Text);
        return true;
    } catch (const EConvertError&) {
        return false;
    }
}

// ---------------------------------------------------------------- cvi, cvr, cvs

void TSLCviProcedure::RegisterProcedures() {
    Register(&TSLCviProcedure::ExecuteDouble, TSLDouble::ClassInfo, 0);
    Register(&TSLCviProcedure::ExecuteLongint, TSLLongint::ClassInfo, 0);
    Register(&TSLCviProcedure::ExecuteString, TSLString::ClassInfo, 0);
}

void TSLCviProcedure::ExecuteDouble(TSLContext* Context) {
    const double x = static_cast<TSLDouble*>(SLOperand(Context, 0))->GetDoubleValue();
    Replace(Context, 1, MakeRef<TSLLongint>(SLRealToInt64(std::trunc(x))));
}

void TSLCviProcedure::ExecuteLongint(TSLContext*) {}

void TSLCviProcedure::ExecuteString(TSLContext* Context) {
    const MyAnsiString& text = static_cast<TSLString*>(SLOperand(Context, 0))->GetStringValue();
    int64_t value = 0;
    if (!SLTryStrToInt64(text, value)) throw EConvertError("''" + text + "'' is not a valid integer value");
    Replace(Context, 1, MakeRef<TSLLongint>(value));
}

void TSLCvrProcedure::RegisterProcedures() {
    Register(&TSLCvrProcedure::ExecuteDouble, TSLDouble::ClassInfo, 0);
    Register(&TSLCvrProcedure::ExecuteLongint, TSLLongint::ClassInfo, 0);
    Register(&TSLCvrProcedure::ExecuteString, TSLString::ClassInfo, 0);
}

void TSLCvrProcedure::ExecuteDouble(TSLContext*) {}

void TSLCvrProcedure::ExecuteLongint(TSLContext* Context) {
    // The whole 64-bit value (not only its low 32 bits).
    const int64_t x = static_cast<TSLLongint*>(SLOperand(Context, 0))->GetLongintValue();
    Replace(Context, 1, MakeRef<TSLDouble>(static_cast<double>(x)));
}

void TSLCvrProcedure::ExecuteString(TSLContext* Context) {
    const double x = SLStrToFloat(static_cast<TSLString*>(SLOperand(Context, 0))->GetStringValue());
    Replace(Context, 1, MakeRef<TSLDouble>(x));
}

void TSLCvsProcedure::RegisterProcedures() {
    Register(&TSLCvsProcedure::ExecuteNumber, TSLLongint::ClassInfo, 0);
    Register(&TSLCvsProcedure::ExecuteNumber, TSLDouble::ClassInfo, 0);
    Register(&TSLCvsProcedure::ExecuteIdent, TSLIdent::ClassInfo, 0);
}

void TSLCvsProcedure::ExecuteNumber(TSLContext* Context) {
    const MyAnsiString text = static_cast<TSLNumber*>(SLOperand(Context, 0))->GetStringValue();
    Replace(Context, 1, MakeRef<TSLString>(text));
}

void TSLCvsProcedure::ExecuteIdent(TSLContext* Context) {
    const MyAnsiString text = static_cast<TSLIdent*>(SLOperand(Context, 0))->GetIdentValue();
    Replace(Context, 1, MakeRef<TSLString>(text));
}

void TSLCvnProcedure::Execute(TSLContext* Context) {
    const MyAnsiString text = StringAt(Context, 0);
    Replace(Context, 1, MakeRef<TSLIdent>(text, false));
}

void TSLChkiProcedure::Execute(TSLContext* Context) {
    int64_t value = 0;
    const bool ok = SLTryStrToInt64(StringAt(Context, 0), value);
    Replace(Context, 1, MakeRef<TSLBoolean>(ok));
}

void TSLChkrProcedure::Execute(TSLContext* Context) {
    bool ok = true;
    try {
        (void)SLStrToFloat(StringAt(Context, 0));
    } catch (const EConvertError&) {
        ok = false;
    }
    Replace(Context, 1, MakeRef<TSLBoolean>(ok));
}

// ---------------------------------------------------------------- radix texts

void TSLCvriProcedure::Execute(TSLContext* Context) {
    const int32_t base = SLLow32(IntAt(Context, 0));
    const int64_t value = StrBaseXToInt(StringAt(Context, 1), base);
    Replace(Context, 2, MakeRef<TSLLongint>(value));
}

void TSLCvrsProcedure::Execute(TSLContext* Context) {
    const int32_t base = SLLow32(IntAt(Context, 0));
    MyAnsiString text = IntToStrBaseX(base, IntAt(Context, 1));
    Replace(Context, 2, MakeRef<TSLString>(std::move(text)));
}

void TSLCvrliProcedure::Execute(TSLContext* Context) {
    const int64_t value = StrChArrToInt(StringAt(Context, 0), SLCharArray35);
    Replace(Context, 1, MakeRef<TSLLongint>(value));
}

void TSLCvrlsProcedure::Execute(TSLContext* Context) {
    MyAnsiString text = IntToStrChArr(SLCharArray35, IntAt(Context, 0));
    Replace(Context, 1, MakeRef<TSLString>(std::move(text)));
}

void TSLPadProcedure::Execute(TSLContext* Context) {
    const char fill = FillAt(Context, 0, "pad");
    const int32_t width = SLLow32(IntAt(Context, 1));
    MyAnsiString text = AddLeadingChars(StringAt(Context, 2), width, fill);
    Replace(Context, 3, MakeRef<TSLString>(std::move(text)));
}

void TSLPadrProcedure::Execute(TSLContext* Context) {
    const char fill = FillAt(Context, 0, "padr");
    const int32_t width = SLLow32(IntAt(Context, 1));
    MyAnsiString text = AddTrailingChars(StringAt(Context, 2), width, fill);
    Replace(Context, 3, MakeRef<TSLString>(std::move(text)));
}

// ---------------------------------------------------------------- object handles

void TSLObjToIntProcedure::Execute(TSLContext* Context) {
    const int32_t handle = SLObjectHandles().Add(SLOperand(Context, 0));
    Replace(Context, 1, MakeRef<TSLLongint>(handle));
}

void TSLIntToObjProcedure::Execute(TSLContext* Context) {
    const int32_t handle = SLLow32(IntAt(Context, 0));
    TRef<TSLObject> obj(SLObjectHandles().Find(handle));
    SLPopOperands(Context, 1);
    SLPushOperand(Context, obj.Get());
}

int32_t TSLObjectHandles::Add(TSLObject* Obj) {
    if (!Obj) return 0;
    if (const auto it = FByObject.find(Obj); it != FByObject.end()) {
        ++FEntries.at(it->second).Refs;
        return it->second;
    }
    for (;;) {
        const int32_t handle = FNext;
        FNext = FNext == std::numeric_limits<int32_t>::max() ? 1 : FNext + 1;
        if (FEntries.count(handle)) continue;
        FEntries.emplace(handle, TEntry{TRef<TSLObject>(Obj), 1});
        FByObject.emplace(Obj, handle);
        return handle;
    }
}

TSLObject* TSLObjectHandles::Find(int32_t Handle) const {
    if (Handle == 0) return nullptr;
    const auto it = FEntries.find(Handle);
    if (it == FEntries.end())
        throw Exception(std::string(ClassName()) + ".Find: unknown object handle " + std::to_string(Handle));
    return it->second.Obj.Get();
}

void TSLObjectHandles::Release(int32_t Handle) noexcept {
    const auto it = FEntries.find(Handle);
    if (it == FEntries.end() || --it->second.Refs > 0) return;
    // Out of the table first, released after: the object's destructor may
    // reach the table again.
    TRef<TSLObject> obj = std::move(it->second.Obj);
    FByObject.erase(obj.Get());
    FEntries.erase(it);
}

void TSLObjectHandles::Clear() noexcept {
    std::unordered_map<int32_t, TEntry> entries;
    entries.swap(FEntries);
    FByObject.clear();
}

TSLObjectHandles& SLObjectHandles() {
    static auto* table = new TSLObjectHandles();
    return *table;
}

} // namespace vo
