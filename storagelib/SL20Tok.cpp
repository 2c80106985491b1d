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
    const TClassInfo* c = Coll ? &Coll->ClassType() : nullptr;
    FPlain = c == &TSLArray::ClassInfo || c == &TSLBlock::ClassInfo || c == &TSLProcedure::ClassInfo;
    FPlainDict = c == &TSLDictionary::ClassInfo;
    const TClassInfo* b = Proc ? &Proc->ClassType() : nullptr;
    FPlainBody = b == &TSLArray::ClassInfo || b == &TSLBlock::ClassInfo || b == &TSLProcedure::ClassInfo ? Proc : nullptr;
    ExecuteItem = 0;
    Index = 0;
    PushDone = false;
}

bool TSLForallTokenizer::CheckTerminate() const {
    // A collection that shrank below the index during the loop ends it too.
    return Index >= CollectionCount();
}

TSLObject* TSLForallTokenizer::PushValue() {
    if (FPlain) {
        FValue = TRef<TSLObject>(static_cast<const TSLArray*>(Collection.Get())->UncheckedAt(Index));
    } else if (FPlainDict) {
        FValue = MakeRef<TSLIdent>(static_cast<const TSLDictionary*>(Collection.Get())->NameRefAtIndex(Index), false);
    } else if (FNamed) {
        FValue = MakeRef<TSLIdent>(static_cast<TSLNamedCollection*>(Collection.Get())->GetNameAtIndex(Index), false);
    } else {
        FValue = TRef<TSLObject>(Collection->GetObjAtIndex(Index));
    }
    PushDone = true;
    return FValue.Get();
}

namespace {
// Whether the interpreter pushes Token rather than executing it (as GetToken
// tells).
bool IsLiteral(TSLObject* Token) {
    if (Token->HasTrait(TSLObject::slIdent)) return !static_cast<TSLIdent*>(Token)->TSLIdent::GetExecutable();
    return Token->HasTrait(TSLObject::slLongint | TSLObject::slDouble) || !Token->GetExecutable();
}
} // namespace

TSLObject* TSLForallTokenizer::GetNextToken(TSLContextImplementation& Context) {
    // Inside a pass over a plain body: its next token.
    if (const TSLArray* body = TokenArray.Get(); ExecuteItem > 0 && body && body == FPlainBody && Collection) {
        const int n = body->TSLArray::GetCount();
        if (ExecuteItem < n) {
            TSLObject* element = body->UncheckedAt(ExecuteItem++);
            if (ExecuteItem == n) {
                ExecuteItem = 0;
                ++Index;
                PushDone = false;
            }
            return element;
        }
    }
    return NextPass(Context);
}

TSLObject* TSLForallTokenizer::BodyToken(int Count) {
    TSLObject* element = TokenAt(*TokenArray, ExecuteItem++);
    if (ExecuteItem >= Count) {
        // The pass is complete.
        ExecuteItem = 0;
        ++Index;
        PushDone = false;
    }
    return element;
}

[[gnu::noinline]] TSLObject* TSLForallTokenizer::NextPass(TSLContextImplementation& Context) {
    if (const TSLArray* body = TokenArray.Get();
        ExecuteItem == 0 && !PushDone && FPlain && body && body == FPlainBody && Collection) {
        // A pass over a plain array with a plain body: what follows, taken
        // directly.
        const auto* coll = static_cast<const TSLArray*>(Collection.Get());
        if (Index >= coll->TSLArray::GetCount()) return nullptr;
        TSLObject* value = coll->UncheckedAt(Index);
        FValue = TRef<TSLObject>(value);
        PushDone = true;
        const int n = body->TSLArray::GetCount();
        if (!value || n == 0 || !IsLiteral(value) || !Context.TokensUnwatched()) return value;
        Context.OperandStack().Push(value);
        TSLObject* element = body->UncheckedAt(0);
        if (n == 1) {
            ++Index;
            PushDone = false;
        } else {
            ExecuteItem = 1;
        }
        return element;
    }
    if (ExecuteItem < 0 || !TokenArray || !Collection) return nullptr;
    if (ExecuteItem == 0) {
        if (CheckTerminate()) return nullptr;
        if (!PushDone) {
            TSLObject* value = PushValue();
            // A literal value is pushed here when no debugger hook could see
            // it as a token of its own; the interpreter would push it just so.
            // (Nothing runs in between, so the pass begins as it would then.)
            if (!value || !IsLiteral(value) || !Context.TokensUnwatched()) return value;
            const int n = TokenCount(*TokenArray);
            if (n == 0) return value;
            Context.OperandStack().Push(value);
            return BodyToken(n);
        }
    }
    const int n = TokenCount(*TokenArray);
    if (ExecuteItem < n) return BodyToken(n);
    // An empty body (or one that shrank): the pass is complete.
    ExecuteItem = 0;
    ++Index;
    PushDone = false;
    if (CheckTerminate()) return nullptr;
    return PushValue();
}

} // namespace vo
