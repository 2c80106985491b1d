#pragma once
// Built-in arithmetic and comparison procedures of the "System" dictionary
// (the ones the interpreter's own work and its tests need; the rest of the
// number family joins them here).
#include "storagelib/SL20Prc.h"

namespace vo {

// Two-operand arithmetic, chosen by the class of a (the operand below b):
// two integers give an integer (wrapping modulo 2^64), an integer with a real
// or two reals a real.
class TSLArithProcedure : public TSLPolymorphProcedure {
    VO_REFOBJ_CLASS(TSLArithProcedure, TSLPolymorphProcedure)
public:
    void ExecuteLongint(TSLContext* Context);
    void ExecuteDouble(TSLContext* Context);

protected:
    TSLArithProcedure() = default;
    void RegisterProcedures() override;
    virtual int64_t IntOp(int64_t A, int64_t B) const = 0;
    virtual double RealOp(double A, double B) const = 0;
};

// "add" a b -> r; also strings (concatenation) and arrays (b is appended to a,
// nothing is pushed).
class TSLAddProcedure : public TSLArithProcedure {
    VO_REFOBJ_CLASS(TSLAddProcedure, TSLArithProcedure)
public:
    TSLAddProcedure() = default;
    void ExecuteString(TSLContext* Context);
    void ExecuteArray(TSLContext* Context);

protected:
    void RegisterProcedures() override;
    int64_t IntOp(int64_t A, int64_t B) const override;
    double RealOp(double A, double B) const override { return A + B; }
};

// "sub" a b -> r
class TSLSubProcedure : public TSLArithProcedure {
    VO_REFOBJ_CLASS(TSLSubProcedure, TSLArithProcedure)
public:
    TSLSubProcedure() = default;

protected:
    int64_t IntOp(int64_t A, int64_t B) const override;
    double RealOp(double A, double B) const override { return A - B; }
};

// "mul" a b -> r
class TSLMulProcedure : public TSLArithProcedure {
    VO_REFOBJ_CLASS(TSLMulProcedure, TSLArithProcedure)
public:
    TSLMulProcedure() = default;

protected:
    int64_t IntOp(int64_t A, int64_t B) const override;
    double RealOp(double A, double B) const override { return A * B; }
};

// "lt" "le" "gt" "ge" a b -> bool
#define VO_SL_COMPARE(Self)                                                                 \
    class Self : public TSLCompare {                                                       \
        VO_REFOBJ_CLASS(Self, TSLCompare)                                                  \
    public:                                                                                \
        Self() = default;                                                                  \
        bool CompareNumbers(const TSLNumber* Op1, const TSLNumber* Op2) override;          \
        bool CompareStrings(const TSLString* Op1, const TSLString* Op2) override;          \
    }
VO_SL_COMPARE(TSLLtProcedure);
VO_SL_COMPARE(TSLLeProcedure);
VO_SL_COMPARE(TSLGtProcedure);
VO_SL_COMPARE(TSLGeProcedure);
#undef VO_SL_COMPARE

VO_SL_PROCEDURE(TSLEqProcedure); // "eq" a b -> bool (b's IsEqual(a))
VO_SL_PROCEDURE(TSLNeProcedure); // "ne" a b -> bool

// Case-insensitive ordering of two 8-bit strings as the ordering procedures
// compare them (only the letters a to z are folded); <0, 0, >0.
int SLCompareTextASCII(std::string_view A, std::string_view B) noexcept;

} // namespace vo
