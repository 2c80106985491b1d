#include "storagelib/SL20PrcNum.h"

#include <algorithm>
#include <cmath>

#include "platform/Cp1252.h"
#include "storagelib/SL20Arr.h"

namespace vo {

namespace {

// Floating-point failures are not masked.
double CheckReal(double R, double A, double B) {
    if (std::isnan(R) && !std::isnan(A) && !std::isnan(B)) throw Exception("Invalid floating point operation");
    if (std::isinf(R) && std::isfinite(A) && std::isfinite(B)) throw Exception("Floating point overflow");
    return R;
}

} // namespace

// ---------------------------------------------------------------- arithmetic

void TSLArithProcedure::RegisterProcedures() {
    Register(&TSLArithProcedure::ExecuteLongint, TSLLongint::ClassInfo, 1);
    Register(&TSLArithProcedure::ExecuteDouble, TSLDouble::ClassInfo, 1);
}

void TSLArithProcedure::ExecuteLongint(TSLContext* Context) {
    const int64_t a = static_cast<TSLLongint*>(SLOperand(Context, 1))->GetLongintValue();
    TSLObject* b = SLOperand(Context, 0);
    TRef<TSLObject> r;
    if (b->InheritsFrom(TSLLongint::ClassInfo)) {
        r = MakeRef<TSLLongint>(IntOp(a, static_cast<TSLLongint*>(b)->GetLongintValue()));
    } else {
        const double bd = SLCast<TSLDouble>(b)->GetDoubleValue();
        const double ad = static_cast<double>(a);
        r = MakeRef<TSLDouble>(CheckReal(RealOp(ad, bd), ad, bd));
    }
    SLPopOperands(Context, 2);
    SLPushOperand(Context, r);
}

void TSLArithProcedure::ExecuteDouble(TSLContext* Context) {
    const double a = static_cast<TSLDouble*>(SLOperand(Context, 1))->GetDoubleValue();
    TSLObject* b = SLOperand(Context, 0);
    double bd = 0;
    if (b && b->InheritsFrom(TSLLongint::ClassInfo)) bd = static_cast<double>(static_cast<TSLLongint*>(b)->GetLongintValue());
    else bd = SLCast<TSLDouble>(b)->GetDoubleValue();
    TRef<TSLObject> r = MakeRef<TSLDouble>(CheckReal(RealOp(a, bd), a, bd));
    SLPopOperands(Context, 2);
    SLPushOperand(Context, r);
}

void TSLAddProcedure::RegisterProcedures() {
    TSLArithProcedure::RegisterProcedures();
    Register(&TSLAddProcedure::ExecuteString, TSLString::ClassInfo, 1);
    Register(&TSLAddProcedure::ExecuteArray, TSLArray::ClassInfo, 1);
}

int64_t TSLAddProcedure::IntOp(int64_t A, int64_t B) const {
    return static_cast<int64_t>(static_cast<uint64_t>(A) + static_cast<uint64_t>(B));
}

int64_t TSLSubProcedure::IntOp(int64_t A, int64_t B) const {
    return static_cast<int64_t>(static_cast<uint64_t>(A) - static_cast<uint64_t>(B));
}

int64_t TSLMulProcedure::IntOp(int64_t A, int64_t B) const {
    return static_cast<int64_t>(static_cast<uint64_t>(A) * static_cast<uint64_t>(B));
}

void TSLAddProcedure::ExecuteString(TSLContext* Context) {
    const auto* b = SLOperandAs<TSLString>(Context, 0);
    const auto* a = static_cast<TSLString*>(SLOperand(Context, 1));
    MyAnsiString text;
    text.reserve(a->GetStringValue().size() + b->GetStringValue().size());
    text.append(a->GetStringValue()).append(b->GetStringValue());
    TRef<TSLString> r = MakeRef<TSLString>(std::move(text));
    SLPopOperands(Context, 2);
    SLPushOperand(Context, r);
}

void TSLAddProcedure::ExecuteArray(TSLContext* Context) {
    TRef<TSLObject> b(SLOperand(Context, 0));
    TRef<TSLArray> a(static_cast<TSLArray*>(SLOperand(Context, 1)));
    a->AddObject(b.Get());
    SLPopOperands(Context, 2);
}

// ---------------------------------------------------------------- comparison

int SLCompareTextASCII(std::string_view A, std::string_view B) noexcept {
    const std::size_t n = std::min(A.size(), B.size());
    for (std::size_t i = 0; i < n; ++i) {
        char32_t a = Cp1252ToUnicode(static_cast<unsigned char>(A[i]));
        char32_t b = Cp1252ToUnicode(static_cast<unsigned char>(B[i]));
        if (a >= U'a' && a <= U'z') a -= 32;
        if (b >= U'a' && b <= U'z') b -= 32;
        if (a != b) return a < b ? -1 : 1;
    }
    return A.size() == B.size() ? 0 : (A.size() < B.size() ? -1 : 1);
}

void TSLCompare::Execute(TSLContext* Context) {
    TSLObject* b = SLOperand(Context, 0);
    TSLObject* a = SLOperand(Context, 1);
    bool r = false;
    if (b && b->InheritsFrom(TSLNumber::ClassInfo))
        r = CompareNumbers(SLCast<TSLNumber>(a), static_cast<TSLNumber*>(b));
    else
        r = CompareStrings(SLCast<TSLString>(a), SLCast<TSLString>(b));
    SLPopOperands(Context, 2);
    SLPushOperand(Context, MakeRef<TSLBoolean>(r));
}

bool TSLLtProcedure::CompareNumbers(const TSLNumber* Op1, const TSLNumber* Op2) {
    return Op1->GetDoubleValue() < Op2->GetDoubleValue();
}
bool TSLLtProcedure::CompareStrings(const TSLString* Op1, const TSLString* Op2) {
    return SLCompareTextASCII(Op1->GetStringValue(), Op2->GetStringValue()) < 0;
}
bool TSLLeProcedure::CompareNumbers(const TSLNumber* Op1, const TSLNumber* Op2) {
    return Op1->GetDoubleValue() <= Op2->GetDoubleValue();
}
bool TSLLeProcedure::CompareStrings(const TSLString* Op1, const TSLString* Op2) {
    return SLCompareTextASCII(Op1->GetStringValue(), Op2->GetStringValue()) <= 0;
}
// gt and ge are the negations of ge and gt with the operands exchanged, so
// they hold when either value is not a number.
bool TSLGtProcedure::CompareNumbers(const TSLNumber* Op1, const TSLNumber* Op2) {
    return !(Op2->GetDoubleValue() >= Op1->GetDoubleValue());
}
bool TSLGtProcedure::CompareStrings(const TSLString* Op1, const TSLString* Op2) {
    return SLCompareTextASCII(Op1->GetStringValue(), Op2->GetStringValue()) > 0;
}
bool TSLGeProcedure::CompareNumbers(const TSLNumber* Op1, const TSLNumber* Op2) {
    return !(Op2->GetDoubleValue() > Op1->GetDoubleValue());
}
bool TSLGeProcedure::CompareStrings(const TSLString* Op1, const TSLString* Op2) {
    return SLCompareTextASCII(Op1->GetStringValue(), Op2->GetStringValue()) >= 0;
}

void TSLEqProcedure::Execute(TSLContext* Context) {
    TSLObject* b = SLOperand(Context, 0);
    TSLObject* a = SLOperand(Context, 1);
    const bool r = b ? b->IsEqual(a) : a == nullptr;
    SLPopOperands(Context, 2);
    SLPushOperand(Context, MakeRef<TSLBoolean>(r));
}

void TSLNeProcedure::Execute(TSLContext* Context) {
    TSLObject* b = SLOperand(Context, 0);
    TSLObject* a = SLOperand(Context, 1);
    const bool r = !(b ? b->IsEqual(a) : a == nullptr);
    SLPopOperands(Context, 2);
    SLPushOperand(Context, MakeRef<TSLBoolean>(r));
}

} // namespace vo
