#include "storagelib/SL20PrcNum.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

#include "platform/Cp1252.h"
#include "storagelib/SL20Arr.h"

namespace vo {

// ---------------------------------------------------------------- floating-point checks

double SLCheckReal(double R, double A, double B) {
    if (std::isnan(R) && !std::isnan(A) && !std::isnan(B)) throw Exception(SLFloatInvalidText);
    if (std::isinf(R) && std::isfinite(A) && std::isfinite(B)) throw Exception(SLFloatOverflowText);
    return R;
}

double SLCheckedDivide(double A, double B) {
    if (B == 0.0 && !std::isnan(A)) {
        if (A == 0.0) throw Exception(SLFloatInvalidText);
        if (std::isfinite(A)) throw Exception(SLFloatDivByZeroText);
    }
    return SLCheckReal(A / B, A, B);
}

double SLCheckedLn(double X) {
    if (X < 0.0) throw Exception(SLFloatInvalidText);
    if (X == 0.0) throw Exception(SLFloatDivByZeroText);
    return std::log(X);
}

int64_t SLRealToInt64(double X) {
    // [-2^63, 2^63): both bounds are exact doubles.
    constexpr double lo = -9223372036854775808.0;
    constexpr double hi = 9223372036854775808.0;
    if (!(X >= lo && X < hi)) throw Exception(SLFloatInvalidText);
    return static_cast<int64_t>(X);
}

namespace {

int64_t Wrap(uint64_t V) noexcept { return static_cast<int64_t>(V); }

// A real operand that must be exactly a TSLDouble.
double RealAt(TSLContext* Context, int Depth) { return SLOperandAs<TSLDouble>(Context, Depth)->GetDoubleValue(); }
// An integer operand that must be exactly a TSLLongint.
int64_t IntAt(TSLContext* Context, int Depth) { return SLOperandAs<TSLLongint>(Context, Depth)->GetLongintValue(); }

// Replaces the top N operands by R.
void Replace(TSLContext* Context, int N, const TRef<TSLObject>& R) {
    SLPopOperands(Context, N);
    SLPushOperand(Context, R);
}
// The same with a new number (a spare of the context when it has one, which
// the operands popped first may have just become).
void ReplaceReal(TSLContext* Context, int N, double R) {
    SLPopOperands(Context, N);
    SLPushOwnedOperand(Context, SLNewDouble(Context, R));
}
void ReplaceInt(TSLContext* Context, int N, int64_t R) {
    SLPopOperands(Context, N);
    SLPushOwnedOperand(Context, SLNewLongint(Context, R));
}
void ReplaceBool(TSLContext* Context, int N, bool R) {
    SLPopOperands(Context, N);
    SLPushOwnedOperand(Context, SLNewBoolean(Context, R));
}

// The operand at Depth when it is exactly a T that only the operand stack
// holds (count 1, no debug record): a result may be written into it instead of
// into a new object, and nobody can tell the difference.
template <class T>
T* Reusable(TSLContext* Context, int Depth) {
    TSLObject* o = SLOperand(Context, Depth);
    // (The value classes are final: their trait names the class exactly.)
    static_assert(std::is_final_v<T>);
    constexpr uint8_t trait = std::is_same_v<T, TSLLongint> ? TSLObject::slLongint : TSLObject::slDouble;
    if (o && o->HasTrait(trait) && o->GetRefCount() == 1 && !o->GetDbgInfo()) return static_cast<T*>(o);
    return nullptr;
}
// Replaces the two top operands by the integer R.
void ReplaceInt2(TSLContext* Context, int64_t R) {
    if (auto* a = Reusable<TSLLongint>(Context, 1)) {
        a->TSLLongint::SetLongintValue(R);
        SLPopOperands(Context, 1);
        return;
    }
    ReplaceInt(Context, 2, R);
}
// Replaces the two top operands by the real R.
void ReplaceReal2(TSLContext* Context, double R) {
    if (auto* a = Reusable<TSLDouble>(Context, 1)) {
        a->TSLDouble::SetDoubleValue(R);
        SLPopOperands(Context, 1);
        return;
    }
    ReplaceReal(Context, 2, R);
}

} // namespace

// ---------------------------------------------------------------- arithmetic

void TSLArithProcedure::RegisterProcedures() {
    Register(&TSLArithProcedure::ExecuteLongint, TSLLongint::ClassInfo, 1);
    Register(&TSLArithProcedure::ExecuteDouble, TSLDouble::ClassInfo, 1);
}

void TSLArithProcedure::Execute(TSLContext* Context) {
    // Two integers on a plain operand stack, the loops' case, worked out here.
    if (TSLObjectList* ops = Context->FOperandArray; ops && ops->size() >= 2 && FOp != TOp::Other) [[likely]] {
        TRef<TSLObject>* top = ops->data() + ops->size();
        TSLObject* ao = top[-2].Get();
        TSLObject* bo = top[-1].Get();
        if (ao && bo && ao->HasTrait(slLongint) && bo->HasTrait(slLongint) && GetProcedureCount() > 0) [[likely]] {
            const auto ua = static_cast<uint64_t>(static_cast<TSLLongint*>(ao)->TSLLongint::GetLongintValue());
            const auto ub = static_cast<uint64_t>(static_cast<TSLLongint*>(bo)->TSLLongint::GetLongintValue());
            const int64_t r = Wrap(FOp == TOp::Add ? ua + ub : FOp == TOp::Sub ? ua - ub
                                                                               : ua * ub);
            if (ao->GetRefCount() == 1 && !ao->HasTrait(slHasDbgInfo)) [[likely]] {
                // Only the stack holds a: the result is written into it.
                static_cast<TSLLongint*>(ao)->TSLLongint::SetLongintValue(r);
                top[-1].Detach();
                ops->pop_back();
                Context->DropValue(bo);
                return;
            }
            ReplaceTopTwo(Context, *ops, r);
            return;
        }
    }
    ExecuteGeneral(Context);
}

void TSLArithProcedure::ReplaceTopTwo(TSLContext* Context, TSLObjectList& Ops, int64_t R) {
    TSLObject* top = Ops.back().Detach();
    Ops.pop_back();
    Context->DropValue(top);
    // (The first operand is held elsewhere: the result takes its slot.)
    TRef<TSLObject> old = TRef<TSLObject>::Adopt(SLNewLongint(Context, R));
    Ops.back().Swap(old);
    if (TSLObject* a = old.Detach()) Context->DropValue(a);
}

void TSLArithProcedure::ExecuteGeneral(TSLContext* Context) {
    const TSLObject* a = SLOperand(Context, 1);
    if (a && a->HasTrait(slLongint) && GetProcedureCount() > 0) {
        ExecuteLongint(Context);
        return;
    }
    TSLPolymorphProcedure::Execute(Context);
}

void TSLArithProcedure::ExecuteLongint(TSLContext* Context) {
    const int64_t a = static_cast<TSLLongint*>(SLOperand(Context, 1))->GetLongintValue();
    TSLObject* b = SLOperand(Context, 0);
    if (b && b->HasTrait(slLongint)) {
        const int64_t bi = static_cast<TSLLongint*>(b)->GetLongintValue();
        const auto ua = static_cast<uint64_t>(a), ub = static_cast<uint64_t>(bi);
        switch (FOp) {
        case TOp::Add: ReplaceInt2(Context, Wrap(ua + ub)); return;
        case TOp::Sub: ReplaceInt2(Context, Wrap(ua - ub)); return;
        case TOp::Mul: ReplaceInt2(Context, Wrap(ua * ub)); return;
        case TOp::Other: break;
        }
        if (IntegerResult())
            ReplaceInt2(Context, IntOp(a, bi));
        else
            ReplaceReal(Context, 2, RealOp(static_cast<double>(a), static_cast<double>(bi)));
    } else {
        const double bd = SLCast<TSLDouble>(b)->GetDoubleValue();
        ReplaceReal(Context, 2, RealOp(static_cast<double>(a), bd));
    }
}

void TSLArithProcedure::ExecuteDouble(TSLContext* Context) {
    const double a = static_cast<TSLDouble*>(SLOperand(Context, 1))->GetDoubleValue();
    TSLObject* b = SLOperand(Context, 0);
    double bd = 0;
    if (b && b->HasTrait(slDouble))
        bd = static_cast<TSLDouble*>(b)->GetDoubleValue();
    else
        bd = static_cast<double>(SLCast<TSLLongint>(b)->GetLongintValue());
    ReplaceReal2(Context, RealOp(a, bd));
}

void TSLAddProcedure::RegisterProcedures() {
    TSLArithProcedure::RegisterProcedures();
    Register(&TSLAddProcedure::ExecuteString, TSLString::ClassInfo, 1);
    Register(&TSLAddProcedure::ExecuteArray, TSLArray::ClassInfo, 1);
}

int64_t TSLAddProcedure::IntOp(int64_t A, int64_t B) const {
    return Wrap(static_cast<uint64_t>(A) + static_cast<uint64_t>(B));
}

int64_t TSLSubProcedure::IntOp(int64_t A, int64_t B) const {
    return Wrap(static_cast<uint64_t>(A) - static_cast<uint64_t>(B));
}

int64_t TSLMulProcedure::IntOp(int64_t A, int64_t B) const {
    return Wrap(static_cast<uint64_t>(A) * static_cast<uint64_t>(B));
}

void TSLAddProcedure::ExecuteString(TSLContext* Context) {
    const auto* b = SLOperandAs<TSLString>(Context, 0);
    const auto* a = static_cast<TSLString*>(SLOperand(Context, 1));
    MyAnsiString text;
    text.reserve(a->GetStringValue().size() + b->GetStringValue().size());
    text.append(a->GetStringValue()).append(b->GetStringValue());
    Replace(Context, 2, MakeRef<TSLString>(std::move(text)));
}

void TSLAddProcedure::ExecuteArray(TSLContext* Context) {
    TRef<TSLObject> b(SLOperand(Context, 0));
    TRef<TSLArray> a(static_cast<TSLArray*>(SLOperand(Context, 1)));
    a->AddObject(b.Get());
    SLPopOperands(Context, 2);
}

// ---------------------------------------------------------------- one-operand numbers

void TSLUnaryNumberProcedure::RegisterProcedures() {
    Register(&TSLUnaryNumberProcedure::ExecuteLongint, TSLLongint::ClassInfo, 0);
    Register(&TSLUnaryNumberProcedure::ExecuteDouble, TSLDouble::ClassInfo, 0);
}

void TSLUnaryNumberProcedure::ExecuteLongint(TSLContext* Context) {
    Replace(Context, 1, OfLongint(static_cast<TSLLongint*>(SLOperand(Context, 0))->GetLongintValue()));
}

void TSLUnaryNumberProcedure::ExecuteDouble(TSLContext* Context) {
    Replace(Context, 1, OfDouble(static_cast<TSLDouble*>(SLOperand(Context, 0))->GetDoubleValue()));
}

TRef<TSLObject> TSLNegProcedure::OfLongint(int64_t X) const {
    return MakeRef<TSLLongint>(Wrap(0u - static_cast<uint64_t>(X)));
}
TRef<TSLObject> TSLNegProcedure::OfDouble(double X) const { return MakeRef<TSLDouble>(-X); }

TRef<TSLObject> TSLAbsProcedure::OfLongint(int64_t X) const {
    return MakeRef<TSLLongint>(X < 0 ? Wrap(0u - static_cast<uint64_t>(X)) : X);
}
TRef<TSLObject> TSLAbsProcedure::OfDouble(double X) const { return MakeRef<TSLDouble>(std::fabs(X)); }

TRef<TSLObject> TSLSqrtProcedure::OfLongint(int64_t X) const { return OfDouble(static_cast<double>(X)); }
TRef<TSLObject> TSLSqrtProcedure::OfDouble(double X) const {
    if (X < 0.0) throw Exception(SLFloatInvalidText);
    return MakeRef<TSLDouble>(std::sqrt(X));
}

// An integer is its own ceiling, floor, rounding and truncation (all 64 bits).
TRef<TSLObject> TSLCeilProcedure::OfLongint(int64_t X) const { return MakeRef<TSLLongint>(X); }
TRef<TSLObject> TSLCeilProcedure::OfDouble(double X) const {
    return MakeRef<TSLLongint>(SLRealToInt64(std::ceil(X)));
}

TRef<TSLObject> TSLFloorProcedure::OfLongint(int64_t X) const { return MakeRef<TSLLongint>(X); }
TRef<TSLObject> TSLFloorProcedure::OfDouble(double X) const {
    return MakeRef<TSLLongint>(SLRealToInt64(std::floor(X)));
}

TRef<TSLObject> TSLRoundProcedure::OfLongint(int64_t X) const { return MakeRef<TSLLongint>(X); }
TRef<TSLObject> TSLRoundProcedure::OfDouble(double X) const {
    // Halves to the even neighbour, independent of the rounding mode.
    double r = std::round(X);
    if (std::fabs(X - std::trunc(X)) == 0.5) r = 2.0 * std::round(X / 2.0);
    return MakeRef<TSLLongint>(SLRealToInt64(r));
}

TRef<TSLObject> TSLTruncProcedure::OfLongint(int64_t X) const { return MakeRef<TSLLongint>(X); }
TRef<TSLObject> TSLTruncProcedure::OfDouble(double X) const {
    return MakeRef<TSLLongint>(SLRealToInt64(std::trunc(X)));
}

// ---------------------------------------------------------------- integers

void TSLIDivProcedure::Execute(TSLContext* Context) {
    const int64_t b = IntAt(Context, 0);
    const int64_t a = IntAt(Context, 1);
    if (b == 0) throw Exception("Division by zero");
    // The smallest integer divided by -1 wraps to itself.
    const int64_t q = (b == -1) ? Wrap(0u - static_cast<uint64_t>(a)) : a / b;
    ReplaceInt(Context, 2, q);
}

void TSLModProcedure::Execute(TSLContext* Context) {
    const int64_t b = IntAt(Context, 0);
    const int64_t a = IntAt(Context, 1);
    if (b == 0) throw Exception("Division by zero");
    ReplaceInt(Context, 2, b == -1 ? 0 : a % b);
}

int64_t SLIntPower(int64_t Base, int64_t Exponent) noexcept {
    // Squaring gives the same wrapped product as repeated multiplication.
    uint64_t result = 1;
    uint64_t base = static_cast<uint64_t>(Base);
    for (uint64_t e = Exponent > 0 ? static_cast<uint64_t>(Exponent) : 0; e != 0; e >>= 1) {
        if (e & 1u) result *= base;
        base *= base;
    }
    return Wrap(result);
}

void TSLPowerProcedure::Execute(TSLContext* Context) {
    const int64_t b = IntAt(Context, 0);
    const int64_t a = IntAt(Context, 1);
    ReplaceInt(Context, 2, SLIntPower(a, b));
}

void TSLExpProcedure::Execute(TSLContext* Context) {
    const double b = RealAt(Context, 0);
    const double a = RealAt(Context, 1);
    if (a == 0.0 && b < 0.0) throw Exception(SLFloatDivByZeroText);
    ReplaceReal(Context, 2, SLCheckReal(std::pow(a, b), a, b));
}

void TSLLnProcedure::Execute(TSLContext* Context) {
    const double x = RealAt(Context, 0);
    ReplaceReal(Context, 1, SLCheckedLn(x));
}

void TSLLog2Procedure::Execute(TSLContext* Context) {
    const double x = RealAt(Context, 0);
    (void)SLCheckedLn(x);
    ReplaceReal(Context, 1, std::log2(x));
}

void TSLLog10Procedure::Execute(TSLContext* Context) {
    const double x = RealAt(Context, 0);
    (void)SLCheckedLn(x);
    ReplaceReal(Context, 1, std::log10(x));
}

void TSLLogXProcedure::Execute(TSLContext* Context) {
    // Both integers taken whole (64 bits).
    const double x = static_cast<double>(IntAt(Context, 0));
    const double base = static_cast<double>(IntAt(Context, 1));
    const double lx = SLCheckedLn(x);
    const double lb = SLCheckedLn(base);
    ReplaceReal(Context, 2, SLCheckedDivide(lx, lb));
}

void TSLSinProcedure::Execute(TSLContext* Context) {
    const double x = RealAt(Context, 0);
    ReplaceReal(Context, 1, SLCheckReal(std::sin(x), x));
}

void TSLCosProcedure::Execute(TSLContext* Context) {
    const double x = RealAt(Context, 0);
    ReplaceReal(Context, 1, SLCheckReal(std::cos(x), x));
}

void TSLAtanProcedure::Execute(TSLContext* Context) {
    const double x = RealAt(Context, 0);
    const double y = RealAt(Context, 1);
    ReplaceReal(Context, 2, SLCheckReal(std::atan2(y, x), y, x));
}

void TSLShlProcedure::Execute(TSLContext* Context) {
    const int64_t n = IntAt(Context, 0);
    const int64_t a = IntAt(Context, 1);
    ReplaceInt(Context, 2, Wrap(static_cast<uint64_t>(a) << (static_cast<uint64_t>(n) & 63u)));
}

void TSLShrProcedure::Execute(TSLContext* Context) {
    const int64_t n = IntAt(Context, 0);
    const int64_t a = IntAt(Context, 1);
    ReplaceInt(Context, 2, Wrap(static_cast<uint64_t>(a) >> (static_cast<uint64_t>(n) & 63u)));
}

// ---------------------------------------------------------------- logic

void TSLLogicProcedure::RegisterProcedures() {
    Register(&TSLLogicProcedure::ExecuteLongint, TSLLongint::ClassInfo, 1);
    Register(&TSLLogicProcedure::ExecuteBoolean, TSLBoolean::ClassInfo, 1);
}

void TSLLogicProcedure::ExecuteLongint(TSLContext* Context) {
    const int64_t b = IntAt(Context, 0);
    const int64_t a = static_cast<TSLLongint*>(SLOperand(Context, 1))->GetLongintValue();
    ReplaceInt(Context, 2, Wrap(Op(static_cast<uint64_t>(a), static_cast<uint64_t>(b))));
}

void TSLLogicProcedure::ExecuteBoolean(TSLContext* Context) {
    const bool b = SLOperandAs<TSLBoolean>(Context, 0)->GetBooleanValue();
    const bool a = static_cast<TSLBoolean*>(SLOperand(Context, 1))->GetBooleanValue();
    ReplaceBool(Context, 2, Op(a ? 1u : 0u, b ? 1u : 0u) != 0);
}

uint64_t TSLAndProcedure::Op(uint64_t A, uint64_t B) const { return A & B; }
uint64_t TSLOrProcedure::Op(uint64_t A, uint64_t B) const { return A | B; }
uint64_t TSLXorProcedure::Op(uint64_t A, uint64_t B) const { return A ^ B; }

void TSLNotProcedure::RegisterProcedures() {
    Register(&TSLNotProcedure::ExecuteLongint, TSLLongint::ClassInfo, 0);
    Register(&TSLNotProcedure::ExecuteBoolean, TSLBoolean::ClassInfo, 0);
}

void TSLNotProcedure::ExecuteLongint(TSLContext* Context) {
    const int64_t x = static_cast<TSLLongint*>(SLOperand(Context, 0))->GetLongintValue();
    ReplaceInt(Context, 1, ~x);
}

void TSLNotProcedure::ExecuteBoolean(TSLContext* Context) {
    const bool x = static_cast<TSLBoolean*>(SLOperand(Context, 0))->GetBooleanValue();
    ReplaceBool(Context, 1, !x);
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
    // Two numbers on a plain operand stack, the common case, without lookups.
    if (TSLObjectList* ops = Context->FOperandArray; ops && ops->size() >= 2 && FOrder != TOrder::Other) [[likely]] {
        TRef<TSLObject>* top = ops->data() + ops->size();
        TSLObject* ao = top[-2].Get();
        TSLObject* bo = top[-1].Get();
        constexpr uint8_t number = slLongint | slDouble;
        if (ao && bo && ao->HasTrait(number) && bo->HasTrait(number)) [[likely]] {
            // (The number classes are final: the trait names the class.)
            const auto asDouble = [](const TSLObject* o) {
                return o->HasTrait(slLongint)
                    ? static_cast<double>(static_cast<const TSLLongint*>(o)->TSLLongint::GetLongintValue())
                    : static_cast<const TSLDouble*>(o)->TSLDouble::GetDoubleValue();
            };
            const double x = asDouble(ao), y = asDouble(bo);
            // (gt and ge as in their CompareNumbers: true when either is NaN.)
            bool r = false;
            switch (FOrder) {
            case TOrder::Lt: r = x < y; break;
            case TOrder::Le: r = x <= y; break;
            case TOrder::Gt: r = !(y >= x); break;
            case TOrder::Ge: r = !(y > x); break;
            case TOrder::Other: break;
            }
            // The result takes a's slot; the operands are released after
            // they left the stack.
            TRef<TSLObject> a = TRef<TSLObject>::Adopt(SLNewBoolean(Context, r));
            top[-2].Swap(a);
            top[-1].Detach();
            ops->pop_back();
            Context->DropValue(bo);
            Context->DropValue(a.Detach());
            return;
        }
    }
    ExecuteGeneral(Context);
}

void TSLCompare::ExecuteGeneral(TSLContext* Context) {
    TSLObject* b = SLOperand(Context, 0);
    TSLObject* a = SLOperand(Context, 1);
    bool r = false;
    if (b && b->InheritsFrom(TSLNumber::ClassInfo))
        r = CompareNumbers(SLCast<TSLNumber>(a), static_cast<TSLNumber*>(b));
    else
        r = CompareStrings(SLCast<TSLString>(a), SLCast<TSLString>(b));
    SLPopOperands(Context, 2);
    SLPushOwnedOperand(Context, SLNewBoolean(Context, r));
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
    SLPushOwnedOperand(Context, SLNewBoolean(Context, r));
}

void TSLNeProcedure::Execute(TSLContext* Context) {
    TSLObject* b = SLOperand(Context, 0);
    TSLObject* a = SLOperand(Context, 1);
    const bool r = !(b ? b->IsEqual(a) : a == nullptr);
    SLPopOperands(Context, 2);
    SLPushOwnedOperand(Context, SLNewBoolean(Context, r));
}

} // namespace vo
