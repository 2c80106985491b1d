#include "storagelib/SL20PrcCtl.h"

#include <string>

#include "storagelib/SL20Exe.h"
#include "storagelib/SL20PrcCol.h"

namespace vo {

namespace {

template <class T>
bool Is(const TSLObject* Obj) noexcept {
    return Obj && Obj->InheritsFrom(T::ClassInfo);
}

} // namespace

// ---------------------------------------------------------------- exec

void TSLExecProcedure::RegisterProcedures() {
    Register(&TSLExecProcedure::ExecuteIdent, TSLIdent::ClassInfo, 0);
    Register(&TSLExecProcedure::ExecuteBlock, TSLBlock::ClassInfo, 0);
    Register(&TSLExecProcedure::ExecuteProcedure, TSLProcedure::ClassInfo, 0);
}

void TSLExecProcedure::ExecuteIdent(TSLContext* Context) {
    const auto* ident = SLOperandAs<TSLIdent>(Context, 0);
    TRef<TSLIdent> name = MakeRef<TSLIdent>(ident->GetIdentValue(), true);
    SLPopOperands(Context, 1);
    SLContextImpl(Context).PushTokenizer(MakeRef<TSLObjectTokenizer>(name.Get()).Get());
}

void TSLExecProcedure::ExecuteBlock(TSLContext* Context) {
    // A procedure arrives here too (a procedure is a block) and runs as a
    // procedure: parameters from the stack, results back.
    auto* block = SLOperandAs<TSLBlock>(Context, 0);
    TRef<TSLObject> frame = block->InheritsFrom(TSLProcedure::ClassInfo)
        ? Context->CreateProcedureFrame(static_cast<TSLProcedure*>(block))
        : Context->CreateBlockFrame(block);
    SLPopOperands(Context, 1);
    Context->FExecutionStackInterface->Push(frame.Get());
}

void TSLExecProcedure::ExecuteProcedure(TSLContext* Context) { ExecuteBlock(Context); }

// ---------------------------------------------------------------- conditionals

namespace {
// The operand at Depth as a block ("Invalid class typecast" otherwise).
TSLBlock* BlockOperand(TSLContext* Context, int Depth) {
    TSLObject* o = SLOperand(Context, Depth);
    if (o && o->HasTrait(TSLObject::slBlock)) return static_cast<TSLBlock*>(o);
    return SLCast<TSLBlock>(o);
}
// Drops a popped condition that is exactly a boolean: kept as a spare when
// nobody else holds it.
void DropCondition(TSLContext* Context, TSLObject* Cond) {
    if (Cond->GetRefCount() != 1 || Cond->HasTrait(TSLObject::slHasDbgInfo) || !Context->FSpareBooleans.Keep(Cond))
        Cond->Release();
}

// if and ifelse in the common case: blocks and a plain boolean on the
// interpreter's plain operand stack, read and popped directly. Runs the chosen
// block (none when a false if) and returns true; false leaves everything to
// the general path.
template <bool WithElse>
bool PlainBranch(TSLContext* Context) {
    constexpr std::size_t n = WithElse ? 3 : 2;
    TSLObjectList* ops = Context->FOperandArray;
    if (!ops || ops->size() < n || &Context->ClassType() != &TSLContextImplementation::ClassInfo) return false;
    TRef<TSLObject>* args = ops->data() + (ops->size() - n);
    TSLObject* c = args[0].Get();
    TSLObject* yes = args[1].Get();
    TSLObject* no = WithElse ? args[2].Get() : nullptr;
    if (!c || !yes || &c->ClassType() != &TSLBoolean::ClassInfo || !yes->HasTrait(TSLObject::slBlock) ||
        (WithElse && (!no || !no->HasTrait(TSLObject::slBlock))))
        return false;
    if (TSLObject* chosen = static_cast<const TSLBoolean*>(c)->GetBooleanValue() ? yes : no)
        static_cast<TSLContextImplementation*>(Context)->PushBlockFrame(static_cast<TSLBlock*>(chosen));
    // (Each operand is released after it left the stack.)
    for (std::size_t i = n - 1; i > 0; --i) {
        TSLObject* block = args[i].Detach();
        ops->pop_back();
        block->Release();
    }
    args[0].Detach();
    ops->pop_back();
    DropCondition(Context, c);
    return true;
}
} // namespace

void TSLIfProcedure::Execute(TSLContext* Context) {
    if (PlainBranch<false>(Context)) return;
    auto* block = BlockOperand(Context, 0);
    const bool cond = SLOperandAs<TSLBoolean>(Context, 1)->GetBooleanValue();
    // (A procedure handed to a control structure runs its elements as a block.)
    if (cond) SLContextImpl(Context).PushBlockFrame(block);
    SLPopOperands(Context, 2);
}

namespace {
// ifelse apart from its common case.
[[gnu::noinline]] void IfElseGeneral(TSLContext* Context) {
    auto* block2 = BlockOperand(Context, 0);
    auto* block1 = BlockOperand(Context, 1);
    const bool cond = SLOperandAs<TSLBoolean>(Context, 2)->GetBooleanValue();
    SLContextImpl(Context).PushBlockFrame(cond ? block1 : block2);
    SLPopOperands(Context, 3);
}
} // namespace

void TSLIfElseProcedure::Execute(TSLContext* Context) {
    if (PlainBranch<true>(Context)) return;
    IfElseGeneral(Context);
}

void TSLCaseProcedure::RegisterProcedures() {
    Register(&TSLCaseProcedure::ExecuteLongint, TSLLongint::ClassInfo, 2);
    Register(&TSLCaseProcedure::ExecuteString, TSLString::ClassInfo, 2);
}

namespace {
bool KeyEquals(const TSLLongint* A, const TSLLongint* B) { return A->GetLongintValue() == B->GetLongintValue(); }
bool KeyEquals(const TSLString* A, const TSLString* B) { return A->GetStringValue() == B->GetStringValue(); }
} // namespace

template <class T>
void TSLCaseProcedure::Select(TSLContext* Context) {
    auto* deflt = SLOperandAs<TSLBlock>(Context, 0);
    auto* cases = SLOperandAs<TSLBlock>(Context, 1);
    const auto* value = SLOperandAs<T>(Context, 2);
    TSLBlock* chosen = deflt;
    const int n = cases->GetCount();
    for (int i = 0; i + 1 < n; i += 2) {
        TSLObject* key = cases->GetObjAtIndex(i);
        if (const auto* name = dynamic_cast<const TSLIdent*>(key)) key = Context->ResolveName(name->GetIdentValue());
        if (KeyEquals(value, SLCast<T>(key))) {
            chosen = SLCast<TSLBlock>(cases->GetObjAtIndex(i + 1));
            break;
        }
    }
    SLContextImpl(Context).PushBlockFrame(chosen);
    SLPopOperands(Context, 3);
}

void TSLCaseProcedure::ExecuteLongint(TSLContext* Context) { Select<TSLLongint>(Context); }

void TSLCaseProcedure::ExecuteString(TSLContext* Context) { Select<TSLString>(Context); }

// ---------------------------------------------------------------- loops

void TSLLoopProcedure::Execute(TSLContext* Context) {
    auto* block = SLOperandAs<TSLBlock>(Context, 0);
    TRef<TSLRepeatTokenizer> t = MakeRef<TSLRepeatTokenizer>();
    t->InitWithBlock(block);
    t->FRepeatCount = -1;
    SLContextImpl(Context).PushTokenizer(t.Get());
    SLPopOperands(Context, 1);
}

void TSLRepeatProcedure::Execute(TSLContext* Context) {
    auto* block = SLOperandAs<TSLBlock>(Context, 0);
    const int64_t n = SLOperandAs<TSLLongint>(Context, 1)->GetLongintValue();
    TRef<TSLRepeatTokenizer> t = MakeRef<TSLRepeatTokenizer>();
    t->InitWithBlock(block);
    t->FRepeatCount = n;
    SLContextImpl(Context).PushTokenizer(t.Get());
    SLPopOperands(Context, 2);
}

void TSLForProcedure::Execute(TSLContext* Context) {
    auto* body = SLOperandAs<TSLArray>(Context, 0);
    TSLObject* limit = SLOperand(Context, 1);
    TRef<TSLForTokenizer> t = MakeRef<TSLForTokenizer>();
    if (Is<TSLLongint>(limit)) {
        const auto* increment = SLOperandAs<TSLNumber>(Context, 2);
        const auto* initial = SLOperandAs<TSLNumber>(Context, 3);
        t->InitLongint(initial->GetLongintValue(), increment->GetLongintValue(),
                       static_cast<TSLLongint*>(limit)->GetLongintValue(), body);
    } else {
        const double lim = SLCast<TSLDouble>(limit)->GetDoubleValue();
        const double increment = SLOperandAs<TSLDouble>(Context, 2)->GetDoubleValue();
        const double initial = SLOperandAs<TSLDouble>(Context, 3)->GetDoubleValue();
        t->InitDouble(initial, increment, lim, body);
    }
    SLPopOperands(Context, 4);
    SLContextImpl(Context).PushTokenizer(t.Get());
}

void TSLForallProcedure::Execute(TSLContext* Context) {
    auto* body = SLOperandAs<TSLArray>(Context, 0);
    auto* coll = SLOperandAs<TSLCollection>(Context, 1);
    TRef<TSLForallTokenizer> t = MakeRef<TSLForallTokenizer>();
    t->Init(coll, body);
    SLPopOperands(Context, 2);
    SLContextImpl(Context).PushTokenizer(t.Get());
}

// ---------------------------------------------------------------- exits

namespace {

enum class TExitKind { Block,
                       Loop,
                       Proc };

bool IsTarget(TExitKind Kind, const TSLObject* T) {
    switch (Kind) {
    case TExitKind::Block: return Is<TSLLoopTokenizer>(T) || Is<TSLBlockTokenizer>(T);
    case TExitKind::Loop: return Is<TSLLoopTokenizer>(T);
    case TExitKind::Proc: return Is<TSLProcTokenizer>(T);
    }
    return false;
}

// Pops the top tokenizer for an exit. A procedure left this way delivers no
// results, but its local dictionary (and what its body opened) goes with it,
// so that its names do not stay visible to the code after the exit.
void PopForExit(TSLContextImplementation& C) {
    TRef<TSLTokenizer> t(C.TopTokenizer());
    C.PopTokenizer();
    if (auto* proc = dynamic_cast<TSLProcTokenizer*>(t.Get()); proc && proc->FLocalDict) {
        TSLContextStack& dicts = C.DictStack();
        while (dicts.Count() > proc->FDictStackCount) dicts.Drop();
    }
}

// The unwinding of exitblock, exitloop and exitproc. A finally block whose
// try block the exit leaves runs first; then Self is executed again and goes
// on from there.
void Unwind(TSLInternalProcedure* Self, TSLContext* Context, TExitKind Kind, const char* Missing) {
    TSLContextImplementation& C = SLContextImpl(Context);
    TSLContextStack& exec = C.ExecutionStack();
    bool found = false;
    for (int i = 0, n = exec.Count(); i < n && !found; ++i) found = IsTarget(Kind, exec.At(i));
    if (!found) {
        // Nothing to leave: every frame goes and the error ends the run.
        while (exec.Count() > 0) C.PopTokenizer();
        Context->FContextInterface->RaiseStandardException(Missing);
        return;
    }
    for (;;) {
        TSLTokenizer* t = C.TopTokenizer();
        if (Kind == TExitKind::Proc && Is<TSLProcTokenizer>(t)) {
            static_cast<TSLProcTokenizer*>(t)->Exit();
            return;
        }
        if (auto* fin = dynamic_cast<TSLFinallyTokenizer*>(t); fin && fin->Pending()) {
            fin->ArmForExit(Self);
            return;
        }
        const bool target = IsTarget(Kind, t);
        PopForExit(C);
        if (target) return;
    }
}

} // namespace

void TSLExitBlockProcedure::Execute(TSLContext* Context) {
    Unwind(this, Context, TExitKind::Block, "exitblock called without enclosing block");
}

void TSLExitLoopProcedure::Execute(TSLContext* Context) {
    Unwind(this, Context, TExitKind::Loop, "exitloop called without enclosing loop");
}

void TSLExitProcProcedure::Execute(TSLContext* Context) {
    Unwind(this, Context, TExitKind::Proc, "exitproc called without enclosing procedure");
}

// ---------------------------------------------------------------- exceptions

namespace {

MyAnsiString ExceptionMessage(const TSLObject* Obj) {
    if (const auto* dict = dynamic_cast<const TSLDictionary*>(Obj)) {
        if (TSLObject* msg = dict->FindObjWithName("Msg")) return SLCast<TSLString>(msg)->GetStringValue();
        if (dict->GetNameExists("Msg")) throw EInvalidCast();
    } else if (const auto* s = dynamic_cast<const TSLString*>(Obj)) {
        return s->GetStringValue();
    }
    return "exception object is not a dictionary";
}

} // namespace

void TSLRaiseProcedure::Execute(TSLContext* Context) {
    TSLContextImplementation& C = SLContextImpl(Context);
    try {
        TRef<TSLObject> obj(SLOperand(Context, 0));
        SLPopOperands(Context, 1);
        // The raising name is the failure's place; a re-raise after a finally
        // block keeps the place of the original raise.
        TSLTokenizer* top = C.TopTokenizer();
        auto* scheduled = dynamic_cast<TSLObjectTokenizer*>(top);
        if (!C.FExceptionMapped && !(scheduled && scheduled->FCarriesException))
            C.SetExceptToken(C.LocationToken(top));
        while (C.TopTokenizer() && !Is<TSLTryTokenizer>(C.TopTokenizer())) C.PopTokenizer();
        top = C.TopTokenizer();
        if (!top) throw Exception(ExceptionMessage(obj.Get()));
        static_cast<TSLTryTokenizer*>(top)->CleanupStacks(C);
        C.PopTokenizer();
        TSLTokenizer* handler = C.TopTokenizer();
        if (auto* except = dynamic_cast<TSLExceptTokenizer*>(handler)) {
            except->Arm();
            C.OperandStack().Push(obj.Get());
        } else if (auto* fin = dynamic_cast<TSLFinallyTokenizer*>(handler)) {
            fin->Arm(obj.Get());
        }
        // A handler has the exception now: a later native failure of this run
        // becomes a script exception of its own again.
        C.FExceptionMapped = false;
    } catch (...) {
        // Not turned into a script exception again: the run ends with it.
        C.FExceptionMapped = true;
        throw;
    }
}

TSLRaiseSEProcedure::TSLRaiseSEProcedure()
    : RaiseExceptionProc(MakeRef<TSLRaiseProcedure>()), CreateDictProc(MakeRef<TSLCreateDictProcedure>()) {}

TSLRaiseSEProcedure::~TSLRaiseSEProcedure() = default;

void TSLRaiseSEProcedure::Execute(TSLContext* Context) {
    TRef<TSLString> msg(SLOperandAs<TSLString>(Context, 0));
    SLPopOperands(Context, 1);
    SLPushOperand(Context, MakeRef<TSLIdent>("Msg", true));
    SLPushOperand(Context, msg);
    SLPushOperand(Context, MakeRef<TSLLongint>(1));
    CreateDictProc->Execute(Context);
    RaiseExceptionProc->Execute(Context);
}

namespace {

template <class THandler>
void PushTry(TSLContext* Context) {
    auto* handlerBlock = SLOperandAs<TSLBlock>(Context, 0);
    auto* tryBlock = SLOperandAs<TSLBlock>(Context, 1);
    TRef<TSLTryTokenizer> tryTok = MakeRef<TSLTryTokenizer>();
    tryTok->InitWithBlock(tryBlock);
    TRef<THandler> handler = MakeRef<THandler>();
    handler->InitWithBlock(handlerBlock);
    SLPopOperands(Context, 2);
    TSLContextImplementation& C = SLContextImpl(Context);
    tryTok->FOpStackCount = C.OperandStack().GetCount();
    tryTok->FDictStackCount = C.DictStack().GetCount();
    C.PushTokenizer(handler.Get());
    C.PushTokenizer(tryTok.Get());
}

} // namespace

void TSLTryExceptProcedure::Execute(TSLContext* Context) { PushTry<TSLExceptTokenizer>(Context); }

void TSLTryFinallyProcedure::Execute(TSLContext* Context) { PushTry<TSLFinallyTokenizer>(Context); }

// ---------------------------------------------------------------- waiting

void TSLWaitProcedure::Execute(TSLContext* Context) {
    if (Context->GetUserValue() != 0) return;
    const int32_t ms = SLLow32(SLOperandAs<TSLLongint>(Context, 0)->GetLongintValue());
    SLPopOperands(Context, 1);
    Context->Wait(this, ms);
}

void TSLTestProcedure::Execute(TSLContext* Context) {
    TContextInterface& ci = *Context->FContextInterface;
    int64_t value = 0;
    int32_t next = 0;
    switch (Context->GetUserValue()) {
    case 0:
        value = 100;
        next = 1;
        break;
    case 1:
        value = 200;
        next = 2;
        break;
    default:
        value = 300;
        next = 0;
        break;
    }
    ci.PushLongint(value);
    ci.PushLongint(value);
    ci.SetUserValue(next);
    ci.ExecuteName("wait");
}

void TSLAbortProcedure::Execute(TSLContext* Context) {
    TSLContextImplementation& C = SLContextImpl(Context);
    if (C.FScriptTask) {
        C.FScriptTask->Abort();
        return;
    }
    // No task runs this context: the run ends here.
    C.FExceptionMapped = true;
    throw Exception("script task aborted");
}

} // namespace vo
