#pragma once
// Native procedures: the polymorphic procedure that picks a handler by the
// class of an operand at a fixed stack depth, the base of the ordering
// procedures, the filling of the shared "System" dictionary, and the operand
// helpers every built-in uses.
//
// Common rules of the built-ins: operands are read by depth (0 = top) and
// tested for their class before anything is popped ("Invalid class typecast"
// leaves the stack unchanged); operands are popped after they have been read
// and results pushed last, as new objects owned by the stack. A failure inside
// Execute becomes a script exception carrying its message (the interpreter
// maps it); a procedure that reports an error of its own calls
// RaiseStandardException and returns.
#include <array>
#include <cstdint>
#include <string_view>

#include "storagelib/SL20Bas.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"

namespace vo {

// Declares a built-in procedure class without fields of its own.
#define VO_SL_PROCEDURE(Self) \
    class Self : public ::vo::TSLInternalProcedure { \
        VO_REFOBJ_CLASS(Self, ::vo::TSLInternalProcedure) \
    public: \
        Self() = default; \
        void Execute(::vo::TSLContext* Context) override; \
    }

class TSLPolymorphProcedure : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TSLPolymorphProcedure, TSLInternalProcedure)
public:
    using TPolyProcRef = void (TSLPolymorphProcedure::*)(TSLContext* Context);
    struct TProcEntry {
        const TClassInfo* AClass = nullptr;
        int32_t AIndex = 0;
        TPolyProcRef AProcedure = nullptr;
    };
    static constexpr int MaxEntries = 7;

    // Runs the handler of the first entry whose class the operand at its depth
    // is (or derives from); "Procedure '%s' doesn't work on object with class
    // %s" when none matches. The table is filled by RegisterProcedures on the
    // first call.
    void Execute(TSLContext* Context) override;
    // Appends an entry; "Procedure array has only 7 entries" beyond that.
    void RegisterProcedureForClassName(TPolyProcRef AProcedure, const TClassInfo& AClass, int32_t AIndex);
    template <class D>
    void Register(void (D::*AProcedure)(TSLContext*), const TClassInfo& AClass, int32_t AIndex) {
        RegisterProcedureForClassName(static_cast<TPolyProcRef>(AProcedure), AClass, AIndex);
    }

    int32_t GetProcedureCount() const noexcept { return ProcedureCount; }
    const TProcEntry& GetEntry(int Index) const { return ProcedureArray.at(static_cast<std::size_t>(Index)); }

protected:
    TSLPolymorphProcedure() = default;
    // Each subclass registers its handlers here. The base raises
    // "<class>.RegisterProcedures not overwritten".
    virtual void RegisterProcedures();
    void EnsureRegistered();

private:
    std::array<TProcEntry, MaxEntries> ProcedureArray{};
    int32_t ProcedureCount = 0;
    bool FRegistered = false;
    // When every entry examines the same depth, the handler is a function of
    // the operand's class alone: the last class seen and its handler are
    // remembered (FLastClass nil: nothing remembered).
    int32_t FOneDepth = -1;
    const TClassInfo* FLastClass = nullptr;
    TPolyProcRef FLastProcedure = nullptr;
};

class TSLNumber;
class TSLString;

// The base of the ordering procedures (lt, le, gt, ge).
class TSLCompare : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TSLCompare, TSLInternalProcedure)
public:
    // a b -> bool: numbers as doubles, else both strings (ASCII letters
    // compared without regard to case).
    void Execute(TSLContext* Context) override;
    virtual bool CompareNumbers(const TSLNumber* Op1, const TSLNumber* Op2) = 0;
    virtual bool CompareStrings(const TSLString* Op1, const TSLString* Op2) = 0;

protected:
    TSLCompare() = default;
    // The common orderings, worked out on numbers without a virtual call
    // (Other: CompareNumbers decides).
    enum class TOrder : uint8_t { Other,
                                  Lt,
                                  Le,
                                  Gt,
                                  Ge };
    TOrder FOrder = TOrder::Other;

private:
    // Execute apart from its common case.
    [[gnu::noinline]] void ExecuteGeneral(TSLContext* Context);
};

// ---------------------------------------------------------------- operand helpers

// The operand at Depth (0 = top); the stack's error when it is not that deep.
inline TSLObject* SLOperand(TSLContext* Context, int Depth) {
    if (const TSLObjectList* a = Context->FOperandArray) {
        const std::size_t n = a->size();
        if (static_cast<std::size_t>(static_cast<unsigned>(Depth)) < n)
            return (*a)[n - 1 - static_cast<std::size_t>(Depth)].Get();
    }
    return Context->FOperandStackInterface->GetObjAtIndex(Depth);
}
// The operand at Depth as a T; "Invalid class typecast" otherwise.
template <class T>
T* SLOperandAs(TSLContext* Context, int Depth) {
    return SLCast<T>(SLOperand(Context, Depth));
}
// Whether the operand at Depth is a T (or derives from it).
template <class T>
bool SLOperandIs(TSLContext* Context, int Depth) {
    const TSLObject* o = SLOperand(Context, Depth);
    return o && o->InheritsFrom(T::ClassInfo);
}
// Pops N operands.
void SLPopOperandsSlow(TSLContext* Context, int N);
inline void SLPopOperands(TSLContext* Context, int N) {
    if (TSLObjectList* a = Context->FOperandArray; a && N >= 0 && static_cast<std::size_t>(N) <= a->size()) {
        // Each is released after it left the stack.
        for (int i = 0; i < N; ++i) {
            TSLObject* top = a->back().Detach();
            a->pop_back();
            if (top) Context->DropValue(top);
        }
        return;
    }
    SLPopOperandsSlow(Context, N);
}
// Pushes Obj (the stack takes its own reference).
inline void SLPushOperand(TSLContext* Context, TSLObject* Obj) {
    if (TSLObjectList* a = Context->FOperandArray)
        a->emplace_back(Obj);
    else
        Context->FOperandStackInterface->Push(Obj);
}
// Pushes Obj (not nil), handing the caller's reference to the stack.
inline void SLPushOwnedOperand(TSLContext* Context, TSLObject* Obj) {
    if (TSLObjectList* a = Context->FOperandArray) {
        a->push_back(TRef<TSLObject>::Adopt(Obj));
        return;
    }
    TRef<TSLObject> owned = TRef<TSLObject>::Adopt(Obj);
    Context->FOperandStackInterface->Push(Obj);
}
// New result values (count 1, the caller's reference): a spare of the
// context when it has one.
inline TSLLongint* SLNewLongint(TSLContext* Context, int64_t Value) {
    if (TSLObject* p = Context->FSpareLongints.Take()) {
        auto* r = static_cast<TSLLongint*>(p);
        r->TSLLongint::SetLongintValue(Value);
        return r;
    }
    return MakeRef<TSLLongint>(Value).Detach();
}
inline TSLDouble* SLNewDouble(TSLContext* Context, double Value) {
    if (TSLObject* p = Context->FSpareDoubles.Take()) {
        auto* r = static_cast<TSLDouble*>(p);
        r->TSLDouble::SetDoubleValue(Value);
        return r;
    }
    return MakeRef<TSLDouble>(Value).Detach();
}
inline TSLBoolean* SLNewBoolean(TSLContext* Context, bool Value) {
    if (TSLObject* p = Context->FSpareBooleans.Take()) {
        auto* r = static_cast<TSLBoolean*>(p);
        r->SetBooleanValue(Value);
        return r;
    }
    return MakeRef<TSLBoolean>(Value).Detach();
}
template <class T>
void SLPushOperand(TSLContext* Context, const TRef<T>& Obj) {
    SLPushOperand(Context, static_cast<TSLObject*>(Obj.Get()));
}
// The low 32 bits of an integer operand, as the built-ins read counts and sizes.
inline int32_t SLLow32(int64_t Value) noexcept { return static_cast<int32_t>(static_cast<uint32_t>(Value)); }

// ---------------------------------------------------------------- the System dictionary

// The built-in procedure names in the order of the System dictionary (128).
const std::array<std::string_view, 128>& SLSystemProcedureNames();
// A new built-in procedure object for Name; nil for a name that is no
// built-in procedure.
TRef<TSLInternalProcedure> SLCreateSystemProcedure(std::string_view Name);
// Adds one new procedure object per name, in the order above, to Dict.
void CreateSystemProcedures(TSLDictionary* Dict);
// Adds "true" and "false".
void CreateSystemValues(TSLDictionary* Dict);

} // namespace vo
