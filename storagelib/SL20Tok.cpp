#include "storagelib/SL20Tok.h"

#include <string>

#include "storagelib/SL20Exe.h"

namespace vo {


// ---------------------------------------------------------------- TSLTokenizer

TSLObject* TSLTokenizer::GetNextToken(TSLContextImplementation&) { RaiseMethodNotImplementedException("GetNextToken"); }

// ---------------------------------------------------------------- object

TSLObject* TSLObjectTokenizer::GetNextToken(TSLContextImplementation&) {
    if (!Run) return nullptr;
    Run = false;
    return Obj.Get();
}

// ---------------------------------------------------------------- blocks

TSLObject* TSLBlockTokenizer::GetNextToken(TSLContextImplementation&) { return NextBlockToken(); }

void TSLTryTokenizer::CleanupStacks(TSLContextImplementation& Context) {
    TSLContextStack& ops = Context.OperandStack();
    while (ops.Count() > FOpStackCount) ops.Drop();
    TSLContextStack& dicts = Context.DictStack();
    while (dicts.Count() > FDictStackCount) dicts.Drop();
}

TSLObject* TSLExceptTokenizer::GetNextToken(TSLContextImplementation& Context) {
    if (!FArmed) return nullptr;
    return TSLBlockTokenizer::GetNextToken(Context);
}

void TSLFinallyTokenizer::Arm(TSLObject* ExceptObj) {
    FState = ftExecuteArmed;
    FExceptObj = TRef<TSLObject>(ExceptObj);
}

void TSLFinallyTokenizer::ArmForExit(TSLObject* ExitProc) {
    FState = ftExecuteExit;
    FExceptObj = TRef<TSLObject>(ExitProc);
}

TSLObject* TSLFinallyTokenizer::GetNextToken(TSLContextImplementation& Context) {
    switch (FState) {
    case ftExecute:
        FStarted = true;
        return TSLBlockTokenizer::GetNextToken(Context);
    case ftExecuteArmed:
    case ftExecuteExit: {
        FStarted = true;
        if (TSLObject* t = TSLBlockTokenizer::GetNextToken(Context)) return t;
        // The block is done: what unwound through the try block goes on. An
        // exception is raised again with the same object; an exit procedure
        // runs again and finishes its unwinding.
        TRef<TSLObject> carried = std::move(FExceptObj);
        TRef<TSLTokenizer> next;
        if (FState == ftExecuteArmed) {
            Context.OperandStack().Push(carried.Get());
            TRef<TSLObjectTokenizer> reraise = MakeRef<TSLObjectTokenizer>(MakeRef<TSLIdent>("raise", true).Get());
            reraise->FCarriesException = true;
            next = reraise;
        } else {
            next = MakeRef<TSLObjectTokenizer>(carried.Get());
        }
        Context.ExecutionStack().InsObjAtIndex(0, next.Get());
        FState = ftFinished;
        return nullptr;
    }
    case ftFinished:
        break;
    }
    return nullptr;
}

// ---------------------------------------------------------------- procedures

// (Init and GetNextToken are with the interpreter: its loop inlines them.)

void TSLProcTokenizer::Exit() {
    if (TokenArray) ExecuteItem = TokenArray->GetCount() - 1;
}

// ---------------------------------------------------------------- loops

void TSLRepeatTokenizer::InitWithBlock(TSLArray* Block) {
    TokenArray = TRef<TSLArray>(Block);
    ExecuteItem = 0;
    FRepeatCount = 1;
}

TSLObject* TSLRepeatTokenizer::GetNextToken(TSLContextImplementation&) {
    if ((FRepeatCount <= 0 && FRepeatCount != -1) || !TokenArray) return nullptr;
    const int n = TokenCount(*TokenArray);
    if (ExecuteItem == n) {
        if (FRepeatCount == -1) {
            ExecuteItem = 0;
        } else {
            if (FRepeatCount > 1) ExecuteItem = 0;
            --FRepeatCount;
        }
    }
    if (ExecuteItem >= 0 && ExecuteItem < n) return TokenAt(*TokenArray, ExecuteItem++);
    return nullptr;
}

void TSLForTokenizer::InitLongint(int64_t Initial, int64_t Increment, int64_t Limit, TSLArray* AArray) {
    TokenArray = TRef<TSLArray>(AArray);
    Mode = feLongint;
    IntActual = Initial;
    IntIncrement = Increment;
    IntLimit = Limit;
    ExecuteItem = 0;
    PushDone = false;
    FPastRange = false;
}

void TSLForTokenizer::InitDouble(double Initial, double Increment, double Limit, TSLArray* AArray) {
    TokenArray = TRef<TSLArray>(AArray);
    Mode = feDouble;
    RealActual = Initial;
    RealIncrement = Increment;
    RealLimit = Limit;
    ExecuteItem = 0;
    PushDone = false;
    FPastRange = false;
}

TSLObject* TSLForTokenizer::PushValue() {
    // The last pass's value is reused when nothing but this loop holds it any
    // more (the body consumed it): nobody can tell it from a new one.
    TSLObject* last = FValue.Get();
    const bool reuse = last && last->GetRefCount() == 1 && !last->GetDbgInfo();
    if (Mode == feLongint) {
        if (reuse && last->HasTrait(slLongint)) // (the class is final)
            static_cast<TSLLongint*>(last)->TSLLongint::SetLongintValue(IntActual);
        else
            FValue = MakeRef<TSLLongint>(IntActual);
    } else {
        if (reuse && last->HasTrait(slDouble))
            static_cast<TSLDouble*>(last)->TSLDouble::SetDoubleValue(RealActual);
        else
            FValue = MakeRef<TSLDouble>(RealActual);
    }
    PushDone = true;
    return FValue.Get();
}

TSLObject* TSLForTokenizer::GetNextToken(TSLContextImplementation& Context) { return NextForToken(Context); }

void TSLForallTokenizer::Init(TSLCollection* Coll, TSLArray* Proc) {
    TokenArray = TRef<TSLArray>(Proc);
    Collection = TRef<TSLCollection>(Coll);
    FNamed = Coll && Coll->InheritsFrom(TSLNamedCollection::ClassInfo);
    ExecuteItem = 0;
    Index = 0;
    PushDone = false;
}

bool TSLForallTokenizer::CheckTerminate() const {
    // A collection that shrank below the index during the loop ends it too.
    return Index >= Collection->GetCount();
}

TSLObject* TSLForallTokenizer::PushValue() {
    if (FNamed) {
        FValue = MakeRef<TSLIdent>(static_cast<TSLNamedCollection*>(Collection.Get())->GetNameAtIndex(Index), false);
    } else {
        FValue = TRef<TSLObject>(Collection->GetObjAtIndex(Index));
    }
    PushDone = true;
    return FValue.Get();
}

TSLObject* TSLForallTokenizer::GetNextToken(TSLContextImplementation&) {
    if (ExecuteItem < 0 || !TokenArray || !Collection) return nullptr;
    if (ExecuteItem == 0 && CheckTerminate()) return nullptr;
    if (ExecuteItem != 0 || PushDone) {
        const int n = TokenCount(*TokenArray);
        TSLObject* element = nullptr;
        bool have = false;
        if (ExecuteItem < n) {
            element = TokenAt(*TokenArray, ExecuteItem++);
            have = true;
        }
        if (ExecuteItem < n) return element;
        ExecuteItem = 0;
        ++Index;
        PushDone = false;
        if (have) return element;
        if (CheckTerminate()) return nullptr;
    }
    return PushValue();
}

} // namespace vo
