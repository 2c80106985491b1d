#pragma once
// Built-in number, comparison and logic procedures of the "System" dictionary:
// arithmetic on 64-bit integers and doubles, mathematical functions, rounding,
// shifts, bitwise and boolean logic, comparisons.
//
// Integers wrap around modulo 2^64. Mixed integer and real operands give a
// real (the integer converted whole). Floating-point failures are not masked:
// "Floating point division by zero", "Invalid floating point operation" and
// "Floating point overflow" become script exceptions. Where a procedure names
// an operand class (exp, ln, idiv, shl ...) the operand must be exactly of it.
#include <cstdint>
#include <string_view>

#include "storagelib/SL20Prc.h"

namespace vo {

// ---------------------------------------------------------------- floating-point checks

// The messages of unmasked floating-point failures.
inline constexpr const char* SLFloatDivByZeroText = "Floating point division by zero";
inline constexpr const char* SLFloatInvalidText = "Invalid floating point operation";
inline constexpr const char* SLFloatOverflowText = "Floating point overflow";

// R as the result of an operation on A and B: a NaN made from numbers is an
// invalid operation, an infinity made from finite values an overflow.
double SLCheckReal(double R, double A, double B);
inline double SLCheckReal(double R, double A) { return SLCheckReal(R, A, 0.0); }
// A / B with the failures of a division (x/0 division by zero, 0/0 invalid).
double SLCheckedDivide(double A, double B);
// Natural logarithm with the failures of the logarithm (negative: invalid,
// zero: division by zero).
double SLCheckedLn(double X);
// A double as a 64-bit integer; NaN and values outside the 64-bit range are
// an invalid operation.
int64_t SLRealToInt64(double X);

// ---------------------------------------------------------------- arithmetic

// Two-operand arithmetic, chosen by the class of a (the operand below b):
// two integers give an integer (wrapping modulo 2^64), an integer with a real
// or two reals a real.
class TSLArithProcedure : public TSLPolymorphProcedure {
    VO_REFOBJ_CLASS(TSLArithProcedure, TSLPolymorphProcedure)
public:
    // Two integers go straight to ExecuteLongint (the first handler of every
    // arithmetic procedure); anything else through the handler table.
    void Execute(TSLContext* Context) override;
    void ExecuteLongint(TSLContext* Context);
    void ExecuteDouble(TSLContext* Context);

protected:
    // The common operations, worked out without a virtual call.
    enum class TOp : uint8_t { Other,
                               Add,
                               Sub,
                               Mul };
    explicit TSLArithProcedure(TOp Op = TOp::Other) noexcept : FOp(Op) {}
    void RegisterProcedures() override;
    virtual int64_t IntOp(int64_t A, int64_t B) const = 0;
    // The real operation including its failure checks.
    virtual double RealOp(double A, double B) const = 0;
    // False: two integers give a real too (div).
    virtual bool IntegerResult() const { return true; }

private:
    // The rest of Execute, apart from its common case.
    [[gnu::noinline]] void ExecuteGeneral(TSLContext* Context);
    // Two integers replaced by R when the first is held elsewhere.
    [[gnu::noinline]] static void ReplaceTopTwo(TSLContext* Context, TSLObjectList& Ops, int64_t R);

    TOp FOp;
};

// "add" a b -> r; also strings (concatenation) and arrays (b is appended to a,
// nothing is pushed).
class TSLAddProcedure : public TSLArithProcedure {
    VO_REFOBJ_CLASS(TSLAddProcedure, TSLArithProcedure)
public:
    TSLAddProcedure() noexcept : TSLArithProcedure(TOp::Add) {}
    void ExecuteString(TSLContext* Context);
    void ExecuteArray(TSLContext* Context);

protected:
    void RegisterProcedures() override;
    int64_t IntOp(int64_t A, int64_t B) const override;
    double RealOp(double A, double B) const override { return SLCheckReal(A + B, A, B); }
};

// "sub" a b -> r
class TSLSubProcedure : public TSLArithProcedure {
    VO_REFOBJ_CLASS(TSLSubProcedure, TSLArithProcedure)
public:
    TSLSubProcedure() noexcept : TSLArithProcedure(TOp::Sub) {}

protected:
    int64_t IntOp(int64_t A, int64_t B) const override;
    double RealOp(double A, double B) const override { return SLCheckReal(A - B, A, B); }
};

// "mul" a b -> r
class TSLMulProcedure : public TSLArithProcedure {
    VO_REFOBJ_CLASS(TSLMulProcedure, TSLArithProcedure)
public:
    TSLMulProcedure() noexcept : TSLArithProcedure(TOp::Mul) {}

protected:
    int64_t IntOp(int64_t A, int64_t B) const override;
    double RealOp(double A, double B) const override { return SLCheckReal(A * B, A, B); }
};

// "div" a b -> r: always a real (7 2 div gives 3.5).
class TSLDivProcedure : public TSLArithProcedure {
    VO_REFOBJ_CLASS(TSLDivProcedure, TSLArithProcedure)
public:
    TSLDivProcedure() = default;

protected:
    int64_t IntOp(int64_t, int64_t) const override { return 0; }
    double RealOp(double A, double B) const override { return SLCheckedDivide(A, B); }
    bool IntegerResult() const override { return false; }
};

// One-operand procedures polymorphic on the class of the top (integer, real).
class TSLUnaryNumberProcedure : public TSLPolymorphProcedure {
    VO_REFOBJ_CLASS(TSLUnaryNumberProcedure, TSLPolymorphProcedure)
public:
    void ExecuteLongint(TSLContext* Context);
    void ExecuteDouble(TSLContext* Context);

protected:
    TSLUnaryNumberProcedure() = default;
    void RegisterProcedures() override;
    // The result for an integer / a real operand (a new object).
    virtual TRef<TSLObject> OfLongint(int64_t X) const = 0;
    virtual TRef<TSLObject> OfDouble(double X) const = 0;
};

#define VO_SL_UNARY_NUMBER(Self) \
    class Self : public TSLUnaryNumberProcedure { \
        VO_REFOBJ_CLASS(Self, TSLUnaryNumberProcedure) \
    public: \
        Self() = default; \
\
    protected: \
        TRef<TSLObject> OfLongint(int64_t X) const override; \
        TRef<TSLObject> OfDouble(double X) const override; \
    }
VO_SL_UNARY_NUMBER(TSLNegProcedure); // "neg"   x -> -x (the smallest integer stays)
VO_SL_UNARY_NUMBER(TSLAbsProcedure); // "abs"   x -> abs x (the smallest integer stays)
VO_SL_UNARY_NUMBER(TSLSqrtProcedure); // "sqrt"  x -> real square root
VO_SL_UNARY_NUMBER(TSLCeilProcedure); // "ceil"  x -> smallest whole number >= x (64-bit)
VO_SL_UNARY_NUMBER(TSLFloorProcedure); // "floor" x -> largest whole number <= x (64-bit)
VO_SL_UNARY_NUMBER(TSLRoundProcedure); // "round" x -> nearest integer, halves to even
VO_SL_UNARY_NUMBER(TSLTruncProcedure); // "trunc" x -> integer truncated toward zero
#undef VO_SL_UNARY_NUMBER

VO_SL_PROCEDURE(TSLIDivProcedure); // "idiv"  a b -> a / b truncated ("Division by zero")
VO_SL_PROCEDURE(TSLModProcedure); // "mod"   a b -> remainder with the sign of a
VO_SL_PROCEDURE(TSLPowerProcedure); // "power" a b -> a multiplied by itself b times (wrapping); b <= 0 gives 1
VO_SL_PROCEDURE(TSLExpProcedure); // "exp"   a b -> a raised to the power b (reals)
VO_SL_PROCEDURE(TSLLnProcedure); // "ln"    x -> natural logarithm (real)
VO_SL_PROCEDURE(TSLLog2Procedure); // "log2"  x -> base-2 logarithm (real)
VO_SL_PROCEDURE(TSLLog10Procedure); // "log10" x -> base-10 logarithm (real)
VO_SL_PROCEDURE(TSLLogXProcedure); // "logx"  base x -> logarithm of x to base (integers)
VO_SL_PROCEDURE(TSLSinProcedure); // "sin"   x -> sine (radians)
VO_SL_PROCEDURE(TSLCosProcedure); // "cos"   x -> cosine (radians)
VO_SL_PROCEDURE(TSLAtanProcedure); // "atan"  y x -> angle of (x, y), -pi to pi
VO_SL_PROCEDURE(TSLShlProcedure); // "shl"   a n -> a shifted left by n mod 64
VO_SL_PROCEDURE(TSLShrProcedure); // "shr"   a n -> a shifted right by n mod 64, zeros from the left

// The integer power as "power" computes it: 1 multiplied Exponent times by
// Base, wrapping modulo 2^64; 1 for an exponent <= 0.
int64_t SLIntPower(int64_t Base, int64_t Exponent) noexcept;

// ---------------------------------------------------------------- logic

// "and" "or" "xor" a b -> r: two integers bitwise (64 bits), two booleans
// logically; b must be of the class a selected.
class TSLLogicProcedure : public TSLPolymorphProcedure {
    VO_REFOBJ_CLASS(TSLLogicProcedure, TSLPolymorphProcedure)
public:
    void ExecuteLongint(TSLContext* Context);
    void ExecuteBoolean(TSLContext* Context);

protected:
    TSLLogicProcedure() = default;
    void RegisterProcedures() override;
    virtual uint64_t Op(uint64_t A, uint64_t B) const = 0;
};

#define VO_SL_LOGIC(Self) \
    class Self : public TSLLogicProcedure { \
        VO_REFOBJ_CLASS(Self, TSLLogicProcedure) \
    public: \
        Self() = default; \
\
    protected: \
        uint64_t Op(uint64_t A, uint64_t B) const override; \
    }
VO_SL_LOGIC(TSLAndProcedure);
VO_SL_LOGIC(TSLOrProcedure);
VO_SL_LOGIC(TSLXorProcedure);
#undef VO_SL_LOGIC

// "not" x -> r: integer bitwise complement, boolean negation.
class TSLNotProcedure : public TSLPolymorphProcedure {
    VO_REFOBJ_CLASS(TSLNotProcedure, TSLPolymorphProcedure)
public:
    TSLNotProcedure() = default;
    void ExecuteLongint(TSLContext* Context);
    void ExecuteBoolean(TSLContext* Context);

protected:
    void RegisterProcedures() override;
};

// ---------------------------------------------------------------- comparison

// "lt" "le" "gt" "ge" a b -> bool
#define VO_SL_COMPARE(Self, Order) \
    class Self : public TSLCompare { \
        VO_REFOBJ_CLASS(Self, TSLCompare) \
    public: \
        Self() noexcept { FOrder = TOrder::Order; } \
        bool CompareNumbers(const TSLNumber* Op1, const TSLNumber* Op2) override; \
        bool CompareStrings(const TSLString* Op1, const TSLString* Op2) override; \
    }
VO_SL_COMPARE(TSLLtProcedure, Lt);
VO_SL_COMPARE(TSLLeProcedure, Le);
VO_SL_COMPARE(TSLGtProcedure, Gt);
VO_SL_COMPARE(TSLGeProcedure, Ge);
#undef VO_SL_COMPARE

VO_SL_PROCEDURE(TSLEqProcedure); // "eq" a b -> bool (b's IsEqual(a))
VO_SL_PROCEDURE(TSLNeProcedure); // "ne" a b -> bool

// Case-insensitive ordering of two 8-bit strings as the ordering procedures
// compare them (only the letters a to z are folded); <0, 0, >0.
int SLCompareTextASCII(std::string_view A, std::string_view B) noexcept;

} // namespace vo
